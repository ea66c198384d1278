#!/usr/bin/env bash
# `make test-windows`: vantorel-convert.exe, under Wine, converts the corpus given as a
# Windows path (Z:\..., Wine's drive for /); the Linux build converts it too; libpff's
# pffexport reads both PSTs back on Linux and tests/windows/compare_psts.py compares their messages field by
# field. The exit status, the summary, and pst-verify's verdict on both PSTs must agree. Before that,
# the engine and library tests built for Windows run under Wine.
#   test.sh [NATIVE_BUILD_DIR]   (default: build; build-windows must hold `make windows`)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
native=$(realpath -m "${1:-$repo/build}")
win="$repo/build-windows"
out="$win/test"
corpus="$repo/tests/data/corpus"

wine=$(command -v wine64 || command -v wine || true)
[ -n "$wine" ] || { echo "test-windows: Wine is not installed (apt-get install wine wine64)" >&2; exit 1; }
command -v pffexport >/dev/null || { echo "test-windows: pffexport is missing (apt-get install pff-tools)" >&2; exit 1; }
# A private Wine prefix under the build folder, made once; no Mono or Gecko prompts, no debug noise.
export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX/drive_c" ] || "$wine" wineboot --init >/dev/null 2>&1
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

rm -rf "$out"
mkdir -p "$out/linux" "$out/windows" "$out/windows-slashes"
status=0

# The engine and library tests, built for Windows, under Wine: every test but those that
# tests/windows/known-test-differences.txt names with the reason Wine differs from Windows.
cmake --build "$win" --parallel "${JOBS:-2}" --target windows-tests >/dev/null
known=$(grep -v '^#' "$repo/tests/windows/known-test-differences.txt" | cut -f1 | paste -sd: -)
while read -r program; do
  [ -n "$program" ] || continue
  if "$wine" "$win/bin/$program.exe" --gtest_brief=1 --gtest_filter="-$known" >"$out/$program.log" 2>&1; then
    echo "Windows: $program: $(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests*\..*/\1/p' "$out/$program.log") tests passed under Wine"
  else
    echo "test-windows: $program failed under Wine:" >&2
    grep -a -A12 'Failure\|FAILED' "$out/$program.log" | head -n 60 >&2
    status=1
  fi
done <"$win/windows-tests.txt"
for test in ${known//:/ }; do
  program=$(grep -l -a "${test#*.}" "$win"/bin/*_tests.exe 2>/dev/null | head -n1 || true)
  [ -n "$program" ] || continue
  if "$wine" "$program" --gtest_filter="$test" >"$out/known.log" 2>&1; then
    echo "test-windows: $test passes under Wine now; remove it from tests/windows/known-test-differences.txt" >&2
    status=1
  fi
done
set +e
"$native/bin/vantorel-convert" -o "$out/linux" "$corpus" >"$out/linux.out" 2>"$out/linux.err"
linux_rc=$?
"$wine" "$win/bin/vantorel-convert.exe" -o "$(windows_path "$out/windows")" "$(windows_path "$corpus")" \
  >"$out/windows.out" 2>"$out/windows.err"
windows_rc=$?
# The same path written with forward slashes, as D:/MDaemon/Users.
"$wine" "$win/bin/vantorel-convert.exe" -o "Z:$out/windows-slashes" "Z:$corpus" \
  >"$out/windows-slashes.out" 2>"$out/windows-slashes.err"
slashes_rc=$?
set -e

linux_summary=$(tail -n1 "$out/linux.err")
windows_summary=$(tail -n1 "$out/windows.err" | tr -d '\r')
slashes_summary=$(tail -n1 "$out/windows-slashes.err" | tr -d '\r')
echo "Linux:   exit status $linux_rc, $linux_summary"
echo "Windows: exit status $windows_rc, $windows_summary (Z:\\...); $slashes_rc, $slashes_summary (Z:/...)"
if [ "$linux_rc" != "$windows_rc" ] || [ "$linux_rc" != "$slashes_rc" ] ||
   [ "$linux_summary" != "$windows_summary" ] || [ "$linux_summary" != "$slashes_summary" ]; then
  echo "test-windows: the runs ended differently" >&2; status=1
fi

for side in linux windows windows-slashes; do
  pst=$(find "$out/$side" -maxdepth 1 -name '*.pst' | head -n1)
  if [ -z "$pst" ]; then echo "test-windows: no PST from the $side run" >&2; status=1; continue; fi
  "$native/bin/pst-verify" "$pst" >"$out/$side.verify" || { echo "test-windows: pst-verify rejects the $side PST" >&2; status=1; }
  pffexport -q -t "$out/$side" "$pst" >/dev/null 2>&1 || { echo "test-windows: pffexport cannot read the $side PST" >&2; status=1; }
done
for side in windows windows-slashes; do
  python3 "$repo/tests/windows/compare_psts.py" "$out/linux.export" "$out/$side.export" "$corpus" \
    "$repo/tests/windows/known-pst-differences.txt" | sed "s/^/$side: /" || status=1
done
# The ledger (SQLite) under Windows: a second run over the same files finds nothing new.
mkdir -p "$out/ledger"
ledger_args=(-o "$(windows_path "$out/ledger")" --ledger="$(windows_path "$out/ledger/ledger.db")" "$(windows_path "$corpus/gmime")")
"$wine" "$win/bin/vantorel-convert.exe" "${ledger_args[@]}" >"$out/ledger.1.out" 2>"$out/ledger.1.err" || true
"$wine" "$win/bin/vantorel-convert.exe" "${ledger_args[@]}" >"$out/ledger.2.out" 2>"$out/ledger.2.err" || true
if grep -q "nothing new or changed to convert" "$out/ledger.2.err"; then
  echo "Windows: a second run with --ledger finds nothing new"
else
  echo "test-windows: a second run with --ledger converted again: $(tail -n1 "$out/ledger.2.err")" >&2; status=1
fi

# Names beyond ASCII everywhere: the store, its mailbox and folders, a message file, the output
# folder and the ledger; the run as one PST and per mailbox.
converted() { tail -n1 "$1" | tr -d '\r' | grep -q "^vantorel-convert: $2 of $2 file(s) converted$"; }
store="$out/Grüße ✓"
mkdir -p "$store/Users/example.com/jürgen/Entwürfe.IMAP" "$out/Ausgabe ü" "$out/je Postfach"
cp "$corpus/gmime/pgp--signed-message.msg" "$store/Users/example.com/jürgen/Nachricht 日本.msg"
cp "$corpus/gmime/photo-discuss--message-partial.0.msg" "$store/Users/example.com/jürgen/Entwürfe.IMAP/1.msg"
cp "$corpus/gmime/photo-discuss--message-partial.1.msg" "$store/Users/example.com/jürgen/Entwürfe.IMAP/2.msg"
names_args=(-o "$(windows_path "$out/Ausgabe ü")" --ledger="$(windows_path "$out/Ausgabe ü/Büro.db")"
            "$(windows_path "$store")")
"$wine" "$win/bin/vantorel-convert.exe" "${names_args[@]}" >"$out/names.out" 2>"$out/names.err" || true
"$wine" "$win/bin/vantorel-convert.exe" --per-mailbox -o "$(windows_path "$out/je Postfach")" \
  "$(windows_path "$store/Users")" >"$out/mailbox.out" 2>"$out/mailbox.err" || true
"$wine" "$win/bin/vantorel-convert.exe" "${names_args[@]}" >"$out/names.2.out" 2>"$out/names.2.err" || true
pst=$(find "$out/Ausgabe ü" -maxdepth 1 -name '*.pst' | head -n1)
if converted "$out/names.err" 3 && [ -n "$pst" ] && pffexport -q -t "$out/names" "$pst" >/dev/null 2>&1 &&
   find "$out/names.export" -type d -name 'Entwürfe.IMAP' | grep -q . &&
   [ -f "$out/je Postfach/jürgen@example.com.pst" ] && grep -q "nothing new or changed" "$out/names.2.err"; then
  echo "Windows: names beyond ASCII: 3 of 3 converted into Entwürfe.IMAP, jürgen@example.com.pst per mailbox, ledger Büro.db"
else
  echo "test-windows: a store with names beyond ASCII did not convert whole: $(tail -n1 "$out/names.err")" >&2; status=1
fi

# A share as Windows users name it: Wine shows $WINEPREFIX/dosdevices/unc/<server>/<share> as
# \\<server>\<share>. The PST's folders start below the share, as they do below a drive.
mkdir -p "$WINEPREFIX/dosdevices/unc/server" "$out/share-out"
ln -sfn "$store" "$WINEPREFIX/dosdevices/unc/server/MDaemon"
ln -sfn "$out/share-out" "$WINEPREFIX/dosdevices/unc/server/out"
"$wine" "$win/bin/vantorel-convert.exe" -o '\\server\out' '\\server\MDaemon\Users' >"$out/share.out" 2>"$out/share.err" || true
pst=$(find "$out/share-out" -maxdepth 1 -name '*.pst' | head -n1)
if converted "$out/share.err" 3 && [ -n "$pst" ] && pffexport -q -t "$out/share" "$pst" >/dev/null 2>&1 &&
   find "$out/share.export" -type d -path '*/Users/example.com/jürgen/Entwürfe.IMAP' | grep -q .; then
  echo "Windows: \\\\server\\MDaemon\\Users into \\\\server\\out: 3 of 3 converted, folders from Users down"
else
  echo "test-windows: the share run did not convert whole: $(tail -n1 "$out/share.err")" >&2; status=1
fi

# A path longer than Windows' old 260-character limit.
long="$out/long"
for i in 1 2 3 4 5 6; do long="$long/Ordner mit einem recht langen Namen, Nummer $i"; done
mkdir -p "$long"
cp "$corpus/gmime/pgp--signed-message.msg" "$long/1.msg"
"$wine" "$win/bin/vantorel-convert.exe" -o "$(windows_path "$long")" "$(windows_path "$long")" >"$out/long.out" 2>"$out/long.err" || true
if converted "$out/long.err" 1 && find "$long" -maxdepth 1 -name '*.pst' | grep -q .; then
  echo "Windows: a path of $(( ${#long} + 2 )) characters: converted, and the PST written there"
else
  echo "test-windows: the long path did not convert: $(tail -n1 "$out/long.err")" >&2; status=1
fi

# Ctrl+C (Wine turns SIGINT into the console's Ctrl+C): the PST keeps what was converted, exit 130.
# The readers' test switch holds each run at the last file, so that the stop comes mid-run.
mkdir -p "$out/stop-store"
for i in 1 2 3; do cp "$corpus/gmime/photo-discuss--message-partial.0.msg" "$out/stop-store/$i.msg"; done
cp "$corpus/gmime/pgp--signed-message.msg" "$out/stop-store/z-hang-here.msg"
held_run() {  # held_run NAME SECOND_CTRL_C(yes/no): converts the stop store into $out/NAME; its exit status
  local name=$1 twice=$2 runner pid="" i
  rm -rf "${out:?}/$name" && mkdir -p "$out/$name"
  VANTOREL_READER_FAULT=hang:hang-here "$wine" "$win/bin/vantorel-convert.exe" -o "$(windows_path "$out/$name")" \
    "$(windows_path "$out/stop-store")" >"$out/$name.out" 2>"$out/$name.err" &
  runner=$!
  for i in $(seq 1 300); do
    find "$out/$name" -name '*.part' | grep -q . && pid=$(pgrep -f "vantorel-convert.exe -o Z:.*.$name " | head -n1)
    [ -n "$pid" ] && break
    sleep 0.1
  done
  sleep 2  # the three messages in, the reader held at the fourth
  if [ -n "$pid" ]; then
    kill -INT "$pid"
    if [ "$twice" = yes ]; then sleep 0.01; kill -INT "$pid" 2>/dev/null; fi
  fi
  wait "$runner"
}
set +e
held_run stopped no
stopped_rc=$?
set -e
summary=$(tail -n1 "$out/stopped.err" | tr -d '\r')
if [ "$stopped_rc" = 130 ] && [ "$summary" = "vantorel-convert: 3 of 4 file(s) converted, 1 skipped, stopped on request" ] &&
   find "$out/stopped" -name '*.pst' | grep -q . && ! find "$out/stopped" -name '*.part' | grep -q .; then
  echo "Windows: Ctrl+C: exit 130, 3 of 4 converted, the PST completed"
else
  echo "test-windows: Ctrl+C ended otherwise: exit $stopped_rc ($summary)" >&2
  status=1
fi
# A second Ctrl+C removes the unfinished PST, exit 3. Two signals sent too close together reach
# the program as one (exit 130 then): up to three tries.
for attempt in 1 2 3; do
  set +e
  held_run stopped-twice yes
  twice=$?
  set -e
  [ "$twice" = 130 ] || break
done
# The PST's table rows wait in a temporary file that Windows deletes as the program ends;
# Wine's server does so a moment after.
for i in $(seq 1 30); do
  find "$out/stopped-twice" -name '.vantorel-rows-*' | grep -q . || break
  sleep 0.1
done
# The first stop may complete the PST before the second comes: then it stays, and is said so.
left=$(ls -A "$out/stopped-twice")
if [ "$twice" = 3 ] && ! find "$out/stopped-twice" -name '*.part' | grep -q . &&
   { { [ -z "$left" ] && grep -q "stopped at once; the PST file being written was removed" "$out/stopped-twice.err"; } ||
     { [ -n "$left" ] && grep -q "stopped at once; no PST file was being written" "$out/stopped-twice.err"; }; }; then
  echo "Windows: Ctrl+C twice: exit 3, $(tail -n1 "$out/stopped-twice.err" | tr -d '\r' | sed 's/.*stopped at once; //') (try $attempt)"
else
  echo "test-windows: Ctrl+C twice ended otherwise: exit $twice ($(tail -n1 "$out/stopped-twice.err"));" \
    "left: ${left:-nothing}" >&2
  status=1
fi
[ $status -eq 0 ] && echo "test-windows: passed" || echo "test-windows: FAILED (details in $out)" >&2
exit $status

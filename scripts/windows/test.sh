#!/usr/bin/env bash
# `make test-windows`: vantorel-convert.exe, under Wine, converts the corpus given as a
# Windows path (Z:\..., Wine's drive for /); the Linux build converts it too; libpff's
# pffexport reads both PSTs back on Linux and tests/windows/compare_psts.py compares their messages field by
# field. The exit status, the summary, and pst-verify's verdict on both PSTs must agree.
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
[ $status -eq 0 ] && echo "test-windows: passed" || echo "test-windows: FAILED (details in $out)" >&2
exit $status

#!/usr/bin/env bash
# Proves the Windows tool chain end to end: builds tests/windows/gmime_smoke
# natively and with cmake/mingw-w64-x86_64.cmake against the cross-built GMime,
# copies the DLLs it needs beside the .exe, runs it under Wine on the corpus and
# compares its report with the native one, line by line.
#   smoke.sh [BUILD_DIR]   (default: build-windows-smoke in the clone)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$(realpath -m "${1:-$repo/build-windows-smoke}")
corpus="$repo/tests/data/corpus"

prefix=$(bash "$repo/scripts/windows/build-deps.sh" | tail -n1)

cmake -S "$repo/tests/windows" -B "$out/native" -G Ninja >/dev/null
cmake --build "$out/native" >/dev/null
cmake -S "$repo/tests/windows" -B "$out/windows" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DVANTOREL_MINGW_PREFIX="$prefix" >/dev/null
cmake --build "$out/windows" >/dev/null

exe="$out/windows/gmime_smoke.exe"
echo "DLLs beside gmime_smoke.exe:"
bash "$repo/scripts/windows/copy-dlls.sh" "$exe" "$prefix" | sed 's/^/  /'

wine=$(command -v wine64 || command -v wine || true)
if [ -z "$wine" ]; then
  echo "smoke: Wine is not installed (apt-get install wine wine64)" >&2
  exit 1
fi
# A private Wine prefix, made once; no Mono or Gecko prompts, no debug noise.
export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || "$wine" wineboot --init >/dev/null 2>&1

"$out/native/gmime_smoke" "$corpus" >"$out/native.txt"
"$wine" "$exe" "Z:${corpus//\//\\}" >"$out/windows.txt"

diff -u "$out/native.txt" "$out/windows.txt" >"$out/diff.txt" || true

# Messages read differently, by path, against the list of known causes.
differing=$(sed -n 's/^[-+]\([^-+][^\t]*\)\t.*/\1/p' "$out/diff.txt" | sort -u)
known=$(grep -v '^#' "$repo/tests/windows/known-differences.txt" | cut -f1 | sort -u)
unexpected=$(comm -23 <(echo "$differing") <(echo "$known") | sed '/^$/d')
gone=$(comm -13 <(echo "$differing") <(echo "$known") | sed '/^$/d')

echo "native:  $(tail -n1 "$out/native.txt")"
echo "windows: $(tail -n1 "$out/windows.txt") (under $(basename "$wine"))"
if [ -z "$unexpected$gone" ]; then
  echo "read differently: $(echo "$differing" | sed '/^$/d' | wc -l) messages, each for its known" \
       "cause (tests/windows/known-differences.txt); every other line is the same"
fi
status=0
if [ "$(tail -n1 "$out/native.txt")" != "$(tail -n1 "$out/windows.txt")" ]; then
  echo "smoke: the Windows build parses a different number of messages" >&2; status=1
fi
if [ -n "$unexpected" ]; then
  echo "smoke: the Windows build reads these differently from Linux (see $out/diff.txt):" >&2
  echo "$unexpected" | sed 's/^/  /' >&2; status=1
fi
if [ -n "$gone" ]; then
  echo "smoke: these now read the same; remove them from tests/windows/known-differences.txt:" >&2
  echo "$gone" | sed 's/^/  /' >&2; status=1
fi
exit $status

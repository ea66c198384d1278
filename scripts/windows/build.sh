#!/usr/bin/env bash
# `make windows`: cross-builds vantorel-convert.exe, pst-verify.exe and the reader
# helper into build-windows/bin/, puts every DLL they need beside them, and packs
# build-windows/vantorel-<version>-windows-x64.zip with README-windows.txt.
#   build.sh [BUILD_DIR]   (default: build-windows in the clone)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$(realpath -m "${1:-$repo/build-windows}")
JOBS=${JOBS:-2}
programs=(vantorel-convert pst-verify vantorel-reader)

prefix=$(bash "$repo/scripts/windows/build-deps.sh" | tail -n1)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$repo" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DVANTOREL_MINGW_PREFIX="$prefix" "${launcher[@]}" >/dev/null
cmake --build "$out" --parallel "$JOBS" --target "${programs[@]}"

bin="$out/bin"
# Only the programs and what they import: a DLL left from an earlier build is not packed.
find "$bin" -maxdepth 1 -iname '*.dll' -delete
for p in "${programs[@]}"; do
  bash "$repo/scripts/windows/copy-dlls.sh" "$bin/$p.exe" "$prefix" >/dev/null
done

version=$(sed -n 's/^project(Vantorel VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
name="vantorel-$version-windows-x64"
stage="$out/stage/$name"
rm -rf "$out/stage" "$out/$name.zip"
mkdir -p "$stage"
# The programs only: the test programs beside them in bin/ stay out of the package.
for p in "${programs[@]}"; do
  [ -f "$bin/$p.exe" ] || { echo "windows: $p.exe was not built" >&2; exit 1; }
  cp "$bin/$p.exe" "$stage/"
done
cp "$bin"/*.dll "$stage/"
sed 's/$/\r/' "$repo/scripts/windows/README-windows.txt" >"$stage/README-windows.txt"
(cd "$out/stage" && zip -q -r -X "$out/$name.zip" "$name")
echo "$out/$name.zip: $(du -k "$out/$name.zip" | cut -f1) KB"
unzip -l "$out/$name.zip" | sed -n 's/^ *\([0-9]\+\) .*  \(.*\)$/  \2 (\1 bytes)/p'

#!/bin/sh
# Time to build, update and write a 200,000-row table context, file bytes and builder memory per
# row, and linear scaling (100,000 vs 200,000 vs 400,000 rows); the 200,000-row file is then
# checked by pst-verify when the main build (build/bin/pst-verify) exists. Then the rate of
# message-sized property contexts.
# Usage: bench/ltp/run.sh [BUILD_DIR_OF_MAIN_BUILD]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
main_build=${1:-$root/build}
out=$root/build-bench-ltp
cmake -S "$root/bench/ltp" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out" -j2 >/dev/null
for rows in 100000 200000 400000; do
  rm -f "$out/table.pst"
  nice -n 19 "$out/ltp-table-bench" "$out/table.pst" "$rows"
  if [ "$rows" = 200000 ] && [ -x "$main_build/bin/pst-verify" ]; then
    s=$(date +%s.%N)
    "$main_build/bin/pst-verify" "$out/table.pst" | tail -1
    echo "pst-verify: $(awk -v s="$s" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }') s"
  fi
done
rm -f "$out/table.pst"
rm -f "$out/pcs.pst"
nice -n 19 "$out/ltp-pc-bench" "$out/pcs.pst" 100000
rm -f "$out/pcs.pst"

#!/bin/sh
# Writer throughput against dd on the same disk, and a file over 4 GiB checked by pst-verify and
# pffinfo. Needs the main build (for pst-verify) in build/ and about 7 GB free in the scratch folder.
# Usage: bench/pst-writer/run.sh [SCRATCH_DIR] [TOTAL_BYTES] [BIG_BYTES]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=${1:-$root/build-bench/scratch}
total=${2:-2147483648}
big=${3:-4563402752}   # 4.25 GiB of node data
mkdir -p "$scratch"
cmake -S "$root/bench/pst-writer" -B "$root/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build-bench" -j2 >/dev/null
bench=$root/build-bench/pst-writer-bench

rate() {  # bytes seconds -> MB/s
  awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1e6 }'
}
ddrate() {  # block size, count -> MB/s of a plain sequential write with fsync
  rm -f "$scratch/dd.bin"
  s=$(date +%s.%N)
  dd if=/dev/zero of="$scratch/dd.bin" bs="$1" count="$2" conv=fsync status=none
  e=$(date +%s.%N)
  rm -f "$scratch/dd.bin"
  rate "$total" "$(awk -v s="$s" -v e="$e" 'BEGIN { print e - s }')"
}

for value in 8192 1048576; do
  rm -f "$scratch/bench.pst"
  sync
  dd_mbs=$(ddrate "$value" $((total / value)))
  line=$("$bench" "$scratch/bench.pst" "$total" "$value")
  rm -f "$scratch/bench.pst"
  w_mbs=$(echo "$line" | sed 's/.*= \([0-9.]*\) MB\/s/\1/')
  echo "$line; dd bs=$value: $dd_mbs MB/s; ratio $(awk -v a="$w_mbs" -v b="$dd_mbs" 'BEGIN { printf "%.2f", a / b }')"
done

rm -f "$scratch/big.pst"
"$bench" "$scratch/big.pst" "$big" 1048576 --store
ls -l "$scratch/big.pst"
time "$root/build/bin/pst-verify" "$scratch/big.pst" | tail -3
pffinfo "$scratch/big.pst" | head -12 && echo "pffinfo: ok"
/usr/bin/python3 "$root/tests/pst_ndb/read_store_with_pypff.py" "$scratch/big.pst" 100000 && echo "pypff: store values past 4 GiB read back intact"
rm -f "$scratch/big.pst"

#!/usr/bin/env bash
# Importer: peak memory for a message with a 100 MB attachment (must stay a small multiple of
# the attachment) and for messages crafted against the reader, corpus throughput, and growth
# with recipients, attachments, header lines and other repeated pieces.
# Usage: bench/mail/run.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
bench="$build/bin/bench_mail"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$bench" make "$scratch/large.msg" 100
/usr/bin/time -v "$bench" import "$scratch/large.msg" 2> "$scratch/time.txt"
peak_kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$scratch/time.txt")
ratio=$(awk -v p="$peak_kb" 'BEGIN { printf "%.2f", p * 1024 / (100 * 1048576) }')
echo "100 MB attachment: peak memory $((peak_kb / 1024)) MB = ${ratio} x the attachment"
awk -v r="$ratio" 'BEGIN { exit !(r < 4) }' || { echo "peak memory above 4x the attachment"; exit 1; }

# peak_of FILE: the importer's peak resident memory in KB reading FILE; fails when it crashes.
peak_of() {
  /usr/bin/time -v "$bench" read "$1" > "$scratch/read.txt" 2> "$scratch/time.txt" ||
    { echo "reading $(basename "$1") failed:"; cat "$scratch/read.txt" "$scratch/time.txt"; exit 1; }
  sed -n 's/.*Maximum resident set size (kbytes): //p' "$scratch/time.txt"
}

# hostile KIND N MAX_RATIO LABEL: peak memory for a crafted message, at most MAX_RATIO x its size.
hostile() {
  local file="$scratch/$1.msg"
  "$bench" hostile "$1" "$file" "$2"
  local size peak ratio
  size=$(stat -c %s "$file")
  peak=$(peak_of "$file")
  ratio=$(awk -v p="$peak" -v s="$size" 'BEGIN { printf "%.1f", p * 1024 / s }')
  echo "$4: $((size / 1024)) KB message, peak memory $((peak / 1024)) MB = ${ratio} x the message ($(cat "$scratch/read.txt"))"
  rm -f "$file"
  awk -v r="$ratio" -v m="$3" 'BEGIN { exit !(r <= m) }' || { echo "peak memory above ${3}x the message"; exit 1; }
}
hostile recipients 500000 10 "500,000 recipients"
hostile long-subject 50 10 "50 MB one-line subject"
hostile text 256 3 "256 MB plain text body"
hostile nested-groups 45000 400 "45,000 nested address groups"  # tiny message: the ratio is the process itself

# A message file above the limit is refused from its size: a sparse 2 GiB file is never read.
truncate -s 2147483648 "$scratch/huge.msg"
peak=$(peak_of "$scratch/huge.msg")
echo "2 GiB file: peak memory $((peak / 1024)) MB ($(cat "$scratch/read.txt"))"
[ "$peak" -lt 65536 ] || { echo "the 2 GiB file was read before it was refused"; exit 1; }
rm -f "$scratch/huge.msg"

"$bench" corpus "$here/../../tests/data/corpus" 3
"$bench" scaling

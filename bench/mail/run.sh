#!/usr/bin/env bash
# Importer: peak memory for a message with a 100 MB attachment (must stay a small multiple of
# the attachment), corpus throughput, and growth with recipients, attachments and header lines.
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

"$bench" corpus "$here/../../tests/data/corpus" 3
"$bench" scaling

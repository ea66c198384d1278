#!/usr/bin/env bash
# Converts the public corpus with vantorel-convert and prints messages per second: once as it
# is, then as 25 and 50 copies (links to its files, each copy its own folder tree), so a
# slow-down that grows with the number of messages shows. Fails when the rate of the larger
# run drops below half that of the smaller one.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
corpus=$(cd "${VANTOREL_CORPUS:-$here/../../tests/data/corpus}" && pwd)
convert="$build/bin/vantorel-convert"
work=$(mktemp -d "${TMPDIR:-/tmp}/vantorel-bench-conv.XXXXXX")
trap 'rm -rf "$work"' EXIT

copies() {  # copies N -> a tree of N copies of the corpus made of links to its files
  local n=$1 dir="$work/src$1"
  mkdir -p "$dir"
  for i in $(seq 1 "$n"); do cp -rs "$corpus" "$dir/copy$i"; done
  echo "$dir"
}

measure() {  # measure LABEL SOURCE -> prints and returns messages per second
  local label=$1 src=$2 out="$work/out-$1"
  mkdir -p "$out"
  local start end status=0
  start=$(date +%s.%N)
  "$convert" -o "$out" "$src" >"$work/stdout" 2>"$work/stderr" || status=$?
  end=$(date +%s.%N)
  if [ "$status" -gt 1 ]; then
    cat "$work/stderr" >&2
    exit 1
  fi
  local converted size
  converted=$(sed -n 's/^vantorel-convert: \([0-9]*\) of [0-9]* file(s) converted.*/\1/p' "$work/stderr")
  size=$(stat -c %s "$(tail -n 1 "$work/stdout")")
  rm -rf "$out"
  awk -v l="$label" -v n="$converted" -v s="$start" -v e="$end" -v b="$size" \
    'BEGIN { t = e - s; printf "%-12s %7d messages  %6.2f s  %8.0f messages/s  PST %.1f MB\n", l, n, t, n / t, b / 1e6 }' >&2
  awk -v n="$converted" -v s="$start" -v e="$end" 'BEGIN { printf "%.0f\n", n / (e - s) }'
}

measure corpus "$corpus" >/dev/null
small=$(measure x25 "$(copies 25)")
large=$(measure x50 "$(copies 50)")
if [ "$large" -lt $((small / 2)) ]; then
  echo "FAIL: $large messages/s at 50 copies against $small at 25: the run slows down as it grows" >&2
  exit 1
fi
echo "conversion: $large messages/s"

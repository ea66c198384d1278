#!/usr/bin/env bash
# Memory and time of the PST writer at scale: 200,000 messages into one folder, then 1,000,000
# messages across 41 folders of which one holds 200,000. Reports seconds, file size, memory per
# message and peak resident memory; fails when the second half takes much longer than the first,
# memory per message exceeds its budget or the peak exceeds 256 MiB.
# Usage: bench/messaging/run.sh BUILD_DIR [SCRATCH_DIR] [MESSAGES]   (MESSAGES: only the first run)
set -euo pipefail
build=$1
scratch=${2:-$(mktemp -d)}
cmake --build "$build" --target bench_messaging -j2 >/dev/null
rm -f "$scratch/messaging-bench.pst"
nice -n 19 "$build/bin/bench_messaging" "$scratch/messaging-bench.pst" "${3:-200000}"
rm -f "$scratch/messaging-bench.pst"
if [ -z "${3:-}" ]; then
  nice -n 19 "$build/bin/bench_messaging" "$scratch/messaging-bench.pst" 1000000 41
  rm -f "$scratch/messaging-bench.pst"
fi

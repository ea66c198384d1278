#!/usr/bin/env bash
# 200,000 messages into one folder: seconds, file size and memory per message; fails when the
# second 100,000 take much longer than the first or memory per message exceeds its budget.
# Usage: bench/messaging/run.sh BUILD_DIR [SCRATCH_DIR] [MESSAGES]
set -euo pipefail
build=$1
scratch=${2:-$(mktemp -d)}
cmake --build "$build" --target bench_messaging -j2 >/dev/null
rm -f "$scratch/messaging-bench.pst"
nice -n 19 "$build/bin/bench_messaging" "$scratch/messaging-bench.pst" "${3:-200000}"
rm -f "$scratch/messaging-bench.pst"

#!/usr/bin/env bash
# Runs every benchmark executable (bench_*) of a build, one after the other.
set -euo pipefail
build="${1:-build}"
status=0
for exe in "$build"/bin/bench_*; do
  [ -x "$exe" ] || continue
  echo "== $(basename "$exe")"
  QT_QPA_PLATFORM=offscreen "$exe" || status=1
done
exit $status

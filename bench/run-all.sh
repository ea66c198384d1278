#!/usr/bin/env bash
# Runs every area's benchmark (bench/<area>/run.sh <build dir>), then converts the standard
# store (bench/run), and fails if any of them fails.
# VANTOREL_BENCH_MESSAGES sets the standard store's size (default 100000; 0 skips it). The
# store is made once under <build dir>/bench-store and kept for later runs; each conversion
# run is appended to bench/RESULTS.md.
# VANTOREL_BENCH_JOBS_MESSAGES sets the store that --per-mailbox --jobs 1 and --jobs 2 are timed
# on, in the same run (default 20000, 58 mailboxes; 0 skips it); made and kept the same way.
set -u
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
status=0
for script in "$here"/*/run.sh; do
  [ -e "$script" ] || continue
  echo "== $(basename "$(dirname "$script")")"
  bash "$script" "$build" || status=1
done

messages=${VANTOREL_BENCH_MESSAGES:-100000}
if [ "$messages" != 0 ]; then
  echo "== standard store ($messages messages)"
  store=$build/bench-store/store-$messages-seed1
  if [ ! -d "$store" ]; then
    "$here/make-store" --out "$store" --messages "$messages" --seed 1 || status=1
  fi
  if [ -d "$store" ]; then
    label="standard store, $messages messages"
    [ "$messages" = 100000 ] || label="SMALL run, $messages messages (not the standard 100,000)"
    "$here/run" "$store" --build "$build" --libpff --record "$here/RESULTS.md" --label "$label" || status=1
  fi
fi

# The store of the migration options' runs (--jobs, --ledger): VANTOREL_BENCH_JOBS_MESSAGES.
jobs_messages=${VANTOREL_BENCH_JOBS_MESSAGES:-20000}
if [ "$jobs_messages" != 0 ]; then
  echo "== --per-mailbox, --jobs 1 against --jobs 2 ($jobs_messages messages)"
  store=$build/bench-store/store-$jobs_messages-seed1
  if [ ! -d "$store" ]; then
    "$here/make-store" --out "$store" --messages "$jobs_messages" --seed 1 || status=1
  fi
  if [ -d "$store" ]; then
    label="--per-mailbox, --jobs 1 against --jobs 2, $jobs_messages messages"
    "$here/run-jobs" "$store" --build "$build" --jobs 1,2 --rounds 2 --record "$here/RESULTS.md" --label "$label" || status=1
    echo "== --ledger: its cost on a full run, and delta runs ($jobs_messages messages)"
    "$here/run-ledger" "$store" --build "$build" --rounds 2 --record "$here/RESULTS.md" \
      --label "--ledger: its cost and its delta runs, $jobs_messages messages" || status=1
  fi
fi
exit $status

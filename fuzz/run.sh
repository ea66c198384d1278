#!/usr/bin/env bash
# Builds the importer fuzzer with clang and runs it on a working copy of the seed corpus.
# Usage: fuzz/run.sh [SECONDS] [EXTRA_SEED_DIR...]   (long runs: prefix with nice -n 19)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-1800}
shift || true
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVANTOREL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target mail_import_fuzzer -j2
work="$build/fuzz-work"
mkdir -p "$work/corpus" "$work/artifacts"
cp -n "$root"/fuzz/seeds/mail_import/* "$work/corpus/"
for extra in "$@"; do cp -n "$extra"/* "$work/corpus/" 2>/dev/null || true; done
# Generous timeout: on a busy shared machine a slow unit is not yet a hang.
exec "$build/bin/mail_import_fuzzer" -max_len=16384 -timeout=60 -rss_limit_mb=2048 \
  -artifact_prefix="$work/artifacts/" -max_total_time="$seconds" -print_final_stats=1 "$work/corpus"

#!/usr/bin/env bash
# Builds a fuzz target with clang and runs it on a working copy of the seed corpus.
# Usage: fuzz/run.sh [SECONDS] [TARGET] [EXTRA_SEED_DIR...]   (long runs: prefix with nice)
# Seeds are fuzz/seeds/mail_import and every file below the extra folders, for example
# tests/data/corpus.
# TARGET is conversion_path_fuzzer (the default: importer, PST writer and verifier) or
# mail_import_fuzzer (the importer alone).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-1800}
target=${2:-conversion_path_fuzzer}
shift 2 || shift $# || true
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVANTOREL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$build" --target "$target" -j2
work="$build/fuzz-work/$target"
mkdir -p "$work/corpus" "$work/artifacts"
cp -n "$root"/fuzz/seeds/mail_import/* "$work/corpus/"
for extra in "$@"; do
  (cd "$extra" && find . -type f -name '*.msg') | while read -r file; do
    cp -n "$extra/$file" "$work/corpus/$(echo "${file#./}" | tr / _)"
  done
done
# The conversion target writes and closes a store for each input; in memory the closing
# fsync costs nothing.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
# Generous timeout: on a busy shared machine a slow unit is not yet a hang.
exec "$build/bin/$target" -max_len=16384 -timeout=60 -rss_limit_mb=2048 \
  -artifact_prefix="$work/artifacts/" -max_total_time="$seconds" -print_final_stats=1 "$work/corpus"

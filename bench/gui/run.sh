#!/usr/bin/env bash
# The message grid with a million paths: add, scroll, read back, clear.
set -eu
build=$(cd "${1:-build}" && pwd)
QT_QPA_PLATFORM=offscreen "$build/bin/bench_message_grid"

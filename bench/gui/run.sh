#!/usr/bin/env bash
# The message grid with a million paths: add, scroll, read back, clear. Then the
# add-folder command over 200,000 files and the window's side of a run over them.
set -eu
build=$(cd "${1:-build}" && pwd)
QT_QPA_PLATFORM=offscreen "$build/bin/bench_message_grid"
QT_QPA_PLATFORM=offscreen "$build/bin/bench_window_commands"

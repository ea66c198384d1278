#!/usr/bin/env bash
# Scan and filter of 100,000 and 200,000 files; fails when the time grows faster than linearly.
set -euo pipefail
exec "$1/bin/bench_scan" "${2:-}"

#!/usr/bin/env bash
# Starts the window, or says in one line why it cannot.
set -u
exe="$1"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found (DISPLAY is not set): start Vantorel from a desktop session, or under xvfb-run." >&2
  exit 1
fi
exec "$exe"

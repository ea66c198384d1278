#!/usr/bin/env bash
# Starts the window, or says in one line why it cannot and ends with status 1, so that a
# script calling `make run` can tell that no window opened.
set -u
exe="$1"
no_display="No display found: start Vantorel from a desktop session, or under xvfb-run (see README, Troubleshooting)."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "$no_display" >&2
  exit 1
fi
# A display that is named but cannot be reached makes Qt abort with several
# lines of its own; keep them for other failures only.
errors="$(mktemp)"
trap 'rm -f "$errors"' EXIT
{ "$exe" 2>"$errors"; } 2>/dev/null
status=$?
if [ $status -ne 0 ] && grep -q "could not connect to display\|no Qt platform plugin could be initialized" "$errors"; then
  echo "$no_display" >&2
  exit 1
fi
grep -v "XDG_RUNTIME_DIR not set" "$errors" >&2
exit $status

#!/usr/bin/env bash
# Times what a new user waits for: `make programs` and then `make test`, in a fresh clone in
# a temporary folder, without a compiler cache (a new user has none). The README's build times
# come from this script, so they can be measured again whenever the build grows.
#
#   scripts/measure-setup.sh            # both steps
#   scripts/measure-setup.sh programs   # only `make programs`
#
# The clone is of the last commit: changes not committed are not measured. Each figure is
# printed with the machine and its load average, since on a shared machine the same build
# takes several times as long.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
steps=("$@")
[ ${#steps[@]} -eq 0 ] && steps=(programs test)
for step in "${steps[@]}"; do
  case "$step" in
    programs|test) ;;
    *) echo "measure-setup: unknown step '$step' (programs or test)" >&2; exit 2 ;;
  esac
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vantorel-measure.XXXXXX")
sampler=
cleanup() {
  [ -n "$sampler" ] && kill "$sampler" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
git clone --quiet --no-hardlinks "$repo" "$work/vantorel"
export CCACHE_DISABLE=1

load1() { cut -d' ' -f1 /proc/loadavg; }
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
memory=$(awk '/^MemTotal:/ { printf "%.0f GB RAM", $2 / 1048576 }' /proc/meminfo)
echo "machine: $(nproc) cores, ${cpu:-unknown CPU}, $memory; commit $(git -C "$repo" rev-parse --short HEAD)"

for step in "${steps[@]}"; do
  before=$(load1)
  # The load over the step, sampled every 10 seconds, says more than its two ends.
  samples="$work/load-$step"
  (while :; do load1 >>"$samples"; sleep 10; done) &
  sampler=$!
  start=$(date +%s)
  # The subshell's `times` adds up the CPU time of every compiler and test the step waited for.
  if ! (make -C "$work/vantorel" "$step" >"$work/log-$step" 2>&1; status=$?; times >"$work/cpu-$step"; exit $status); then
    # The clone goes away; its log stays for the reason.
    kept="${TMPDIR:-/tmp}/vantorel-measure-$step.log"
    cp "$work/log-$step" "$kept"
    echo "make $step failed; its last lines (the whole log is $kept):" >&2
    tail -n 20 "$kept" >&2
    exit 1
  fi
  seconds=$(( $(date +%s) - start ))
  kill "$sampler" 2>/dev/null; wait "$sampler" 2>/dev/null || true
  sampler=
  after=$(load1)
  mean=$(awk '{ sum += $1 } END { if (NR) printf "%.1f", sum / NR; else print "-" }' "$samples")
  # The second line of `times` holds the children's user and system time, as "1m2.345s".
  cpu_seconds=$(awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); sum += t[1] * 60 + t[2] } printf "%d", sum }' \
    "$work/cpu-$step")
  printf 'make %-8s %d min %02d s  (CPU time %d min %02d s; load average %s before, %s during, %s after)\n' \
    "$step:" $((seconds / 60)) $((seconds % 60)) $((cpu_seconds / 60)) $((cpu_seconds % 60)) "$before" "$mean" "$after"
done

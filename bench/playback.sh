#!/usr/bin/env bash
# CPU cost of playing one clip: Tembrio against the bare mpv command line, in
# the same private X server, one after the other. Reports each as a share of
# one core and the ratio Tembrio / mpv. Not a test: numbers, not verdicts.
#
#   bash bench/playback.sh [build-dir] [seconds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
seconds=${2:-8}
clip=$build/demo/2-video.avi
[ -x "$build/tembrio" ] && [ -f "$clip" ] || { echo "build first: bash build.sh test" >&2; exit 1; }

if [ -z "${TEMBRIO_BENCH_INSIDE:-}" ]; then
  TEMBRIO_BENCH_INSIDE=1 exec "$here/../tests/x11-session.sh" bash "$0" "$build" "$seconds"
fi

# CPU seconds (user + system) a process has used so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat"; }

# measure NAME COMMAND...: start it, let it play, read its CPU time, stop it.
# Leaves the CPU seconds used in $used.
measure() {
  local name=$1; shift
  "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep 1  # start-up is not what we measure
  local before; before=$(cpu "$pid")
  sleep "$seconds"
  local after; after=$(cpu "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  used=$(awk -v a="$after" -v b="$before" 'BEGIN { printf "%.3f", a - b }')
  awk -v u="$used" -v s="$seconds" -v n="$name" 'BEGIN { printf "%-8s %5.1f%% of a core\n", n, 100 * u / s }'
}

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
cp "$build/tembrio" "$work/"
echo "$clip" > "$work/list.m3u"

echo "clip: $clip, ${seconds} s each, software GL under Xvfb"
measure tembrio "$work/tembrio"; t=$used
measure mpv mpv --no-config --ao=null --vo=gpu --gpu-sw=yes --hwdec=no \
      --geometry=348x285 --no-osc --no-input-default-bindings "$clip"; m=$used
awk -v t="$t" -v m="$m" 'BEGIN { printf "ratio tembrio/mpv: %.2f\n", (m > 0 ? t / m : 0) }'

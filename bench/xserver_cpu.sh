#!/usr/bin/env bash
# The display's share of a flood: runs the frame's text-view flood (bench_wirelog --run frame)
# with its window on a private Xvfb, and prints the X server's CPU seconds per MB next to the
# program's own figures.
#   bench/xserver_cpu.sh [BUILD_DIR] [MB]
set -eu
build=${1:-build}
mb=${2:-10}
bench=$build/bench/bench_wirelog
[ -x "$bench" ] || { echo "no $bench: run make bench first" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "Xvfb is missing" >&2; exit 2; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null; wait $xpid 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks $xpid)
figures=$(DISPLAY=$display QT_QPA_PLATFORM=xcb QT_NO_GLIB=1 WIRELOG_BENCH_MB=$mb \
    "$bench" --run frame text text 2>/dev/null)
after=$(ticks $xpid)

echo "$figures"
awk -v t=$((after - before)) -v hz="$hz" -v mb="$mb" \
    'BEGIN { printf "xserver_cpu_s %.3f\nxserver_cpu_s_per_mb %.5f\n", t / hz, t / hz / mb }'

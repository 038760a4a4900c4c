#!/bin/sh
# The screenshot the metainfo shows, taken from the running program:
#
#   tools/screenshot.sh BUILD-DIR OUT.png
#
# Wirelog runs in a private X server (Xvfb, with matchbox-window-manager) on COM1, a
# pseudo-terminal whose far end plays a board that boots and then echoes what it gets. The
# port map folder and the settings store are temporary: nothing of yours is read or touched.
set -eu

build=${1:-build}
out=${2:-dist/screenshots/main.png}
wirelog=$build/wirelog
if [ ! -x "$wirelog" ]; then
    echo "screenshot: $wirelog is missing; build first (make build)" >&2
    exit 1
fi
for tool in Xvfb xdpyinfo matchbox-window-manager socat import; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "screenshot: $tool is missing (make deps installs it)" >&2
        exit 1
    }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/wirelog-shot.XXXXXX")
pids=
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# What the board prints once the port has been open for a while (the splash comes first).
cat >"$tmp/board.sh" <<'EOF'
sleep 7
printf 'Boot ROM 1.4 (rev B)\r\n'
printf 'DRAM:  512 MiB\r\nFlash: 16 MiB\r\n'
printf 'Net:   eth0 link up, 100 Mbit/s full duplex\r\n'
printf 'Loading kernel from flash... done\r\n'
printf 'Starting kernel ...\r\n\r\n'
printf '[    0.000000] Booting on CPU 0x0\r\n'
printf '[    0.412118] serial: ttyS0 at MMIO 0x1c28000, base baud 1500000\r\n'
printf '[    1.027734] Run /sbin/init as init process\r\n\r\n'
printf 'board login: '
exec cat
EOF
mkdir "$tmp/ports"
socat PTY,link="$tmp/ports/COM1",raw,echo=0 SYSTEM:"sh $tmp/board.sh" >/dev/null 2>&1 &
pids="$pids $!"
i=0
while [ ! -e "$tmp/ports/COM1" ]; do
    i=$((i + 1))
    [ $i -le 50 ] || { echo "screenshot: the board's port did not appear" >&2; exit 1; }
    sleep 0.1
done

display=
for n in $(seq 70 99); do
    [ -e /tmp/.X$n-lock ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 960x600x24 -nolisten tcp >/dev/null 2>&1 &
pids="$pids $!"
i=0
until xdpyinfo -display "$display" >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -le 50 ] || { echo "screenshot: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
DISPLAY=$display matchbox-window-manager -use_titlebar no >/dev/null 2>&1 &
pids="$pids $!"

DISPLAY=$display QT_QPA_PLATFORM=xcb WIRELOG_PORTS=$tmp/ports \
    WIRELOG_REGISTRY=$tmp/registry.reg \
    "$wirelog" --settings 115200,n,8,1 --open COM1 >/dev/null 2>&1 &
pids="$pids $!"
sleep 11
DISPLAY=$display import -window root "$out"
echo "saved $out"

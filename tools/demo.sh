#!/bin/sh
# Wirelog on COM1, wired to the simulated modem over a pseudo-terminal.
#
#   tools/demo.sh BUILD-DIR
#
# The modem's COM1 lives in a temporary port map folder, so nothing of yours is touched but
# the settings store, which is your usual one: what you change in the demo stays, as in any
# other run. The modem stops when Wirelog ends.
set -eu

build=${1:-build}
wirelog=$build/wirelog
simmodem=$build/tools/simmodem
for exe in "$wirelog" "$simmodem"; do
    if [ ! -x "$exe" ]; then
        echo "demo: $exe is missing; build first (make build)" >&2
        exit 1
    fi
done

ports=$(mktemp -d "${TMPDIR:-/tmp}/wirelog-demo.XXXXXX")
modem=
cleanup() {
    if [ -n "$modem" ]; then
        kill "$modem" 2>/dev/null || true
        wait "$modem" 2>/dev/null || true
    fi
    rm -rf "$ports"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fifo=$ports/ready
mkfifo "$fifo"
"$simmodem" --ports "$ports" --com 1 >"$fifo" &
modem=$!
# The modem says "COM1 /dev/pts/N" once its port is linked.
if ! read -r line <"$fifo"; then
    echo "demo: the simulated modem did not start" >&2
    exit 1
fi
rm -f "$fifo"

cat <<EOF
The simulated modem is on COM1 ($line).
In Wirelog: Settings > Port Settings... shows port 1; Communication > Port Open opens it.
Type AT and Enter (OK), then Communication > Dial Phone... and any number (CONNECT 9600);
what you type then comes back as the far end's echo. +++ and a pause, then ATH, hangs up.
Closing the port drops the line too. The modem's own notes appear below.
EOF

WIRELOG_PORTS=$ports "$wirelog"

#!/usr/bin/python3
"""End-to-end scenario of a file sent to a boot loader's YMODEM receiver (lrzsz's rb on a
second pseudo-terminal, joined to the port's by a relay paced at 115,200 baud).

    filetransfer.py ymodem_send --wirelog PATH --artifacts DIR [--shots]
"""

import os
import shutil
import subprocess
import sys
import threading
import time
import tty

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import SKIP, wait_for  # noqa: E402
from scenarios import check, choose_file, open_port_by_menu, plain, shot  # noqa: E402

RATE = 11520  # bytes a second each way: a 115,200 baud line


class PacedRelay(threading.Thread):
    """Carries bytes between two pty masters, at most RATE bytes a second each way."""

    def __init__(self, a, b):
        super().__init__(daemon=True)
        self.ends = (a, b)
        self.stop = False
        for fd in self.ends:
            os.set_blocking(fd, False)

    def run(self):
        # A bucket of at most 20 ms of the line's bytes: time spent idle (a dialog open) does
        # not let a burst through later.
        last = time.monotonic()
        credit = [0.0, 0.0]
        pending = [b"", b""]
        while not self.stop:
            now = time.monotonic()
            for i in (0, 1):
                credit[i] = min(credit[i] + RATE * (now - last), RATE * 0.02)
                allowed = int(credit[i]) - len(pending[i])
                if allowed > 0:
                    try:
                        got = os.read(self.ends[i], min(allowed, 4096))
                        pending[i] += got
                        credit[i] -= len(got)
                    except (BlockingIOError, OSError):
                        pass
                if pending[i]:
                    try:
                        n = os.write(self.ends[1 - i], pending[i])
                        pending[i] = pending[i][n:]
                    except (BlockingIOError, OSError):
                        pass
            last = now
            time.sleep(0.002)


def ymodem_send(s):
    """File > Send File > YMODEM through the menus and the file dialog: the progress window
    shows while the file goes, the file arrives byte for byte, and the log view shows one line
    for it and none of the protocol's bytes."""
    if shutil.which("rb") is None:
        raise SystemExit(SKIP)
    reads = s.start_accessibility()
    pty = s.add_pty(1)
    s.start_app()
    open_port_by_menu(s)

    far_master, far_slave = os.openpty()
    tty.setraw(far_slave)
    peer_dir = os.path.join(s.tmp, "board")
    os.makedirs(peer_dir)
    with open(os.path.join(s.tmp, "rb.log"), "wb") as log:
        rb = subprocess.Popen(["rb"], stdin=far_slave, stdout=far_slave, stderr=log,
                              cwd=peer_dir)
    relay = PacedRelay(pty.master, far_master)
    relay.start()

    image = os.path.join(s.tmp, "u-boot.bin")
    body = os.urandom(60000)
    with open(image, "wb") as f:
        f.write(body)
    s.key("alt+f")
    time.sleep(0.3)
    s.key("f")  # Send &File
    time.sleep(0.2)
    s.key("y")  # &YMODEM...
    choose_file(s, image)
    window = wait_for("the transfer window",
                      lambda: [w for w in s.app_windows() if w != s.window], 5)
    arriving = os.path.join(peer_dir, "u-boot.bin")
    wait_for("a third of the file at the board",
             lambda: os.path.exists(arriving) and os.path.getsize(arriving) > 20000, 30)
    shot(s, "progress")
    check(rb.wait(timeout=30) == 0, "rb failed")
    with open(os.path.join(peer_dir, "u-boot.bin"), "rb") as f:
        check(f.read() == body, "the file arrived changed")
    wait_for("the transfer window to go", lambda: window[0] not in s.app_windows(), 5)
    if reads:
        # rb's requests from before the transfer stand above it, as they came.
        lines = plain(s.screen_text()).strip().split("\n")
        check(lines[-1] == "YMODEM sent u-boot.bin (60,000 bytes).",
              "no summary line: %r" % lines[-3:])
        check(all(set(line) <= {"C"} for line in lines[:-1]),
              "protocol bytes on the screen: %r" % lines[:5])
    shot(s, "after")
    relay.stop = True
    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")


CASES = {"ymodem_send": ymodem_send}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in CASES:
        sys.exit("usage: filetransfer.py ymodem_send --wirelog PATH --artifacts DIR")
    name = sys.argv[1]
    sys.exit(e2elib.run(name, CASES[name], sys.argv[2:]))

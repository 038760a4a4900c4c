#!/usr/bin/python3
"""Keystroke to wire as a user feels it: a key pressed into a private X server through XTEST,
to the byte read on the far end of the port (a pseudo-terminal), with the program idle and
while it receives a flood of text. Prints the median, 90th and 99th percentiles in ms.

    bench/xkeys.py [--wirelog build/wirelog] [--keys 300]
"""

import argparse
import ctypes
import os
import random
import select
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import e2elib  # noqa: E402

LINE = b"[  12.345678] usb 1-1: new high-speed USB device number 7 using ehci-pci\r\n"


class XTest:
    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise e2elib.Failure("cannot open display %s" % display)
        self.code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(b"a"))

    def press(self, down):
        self.xtst.XTestFakeKeyEvent(self.dpy, self.code, 1 if down else 0, 0)
        self.x11.XFlush(self.dpy)


def drain(fd):
    try:
        while os.read(fd, 65536):
            pass
    except BlockingIOError:
        pass


def measure(xt, master, keys):
    """Seconds from each key press to its byte on the wire."""
    times = []
    for _ in range(keys):
        drain(master)
        t0 = time.perf_counter()
        xt.press(True)
        got = False
        deadline = t0 + 2
        while not got and time.perf_counter() < deadline:
            ready, _, _ = select.select([master], [], [], 0.5)
            if ready:
                try:
                    got = b"a" in os.read(master, 4096)
                except BlockingIOError:
                    pass
        t1 = time.perf_counter()
        xt.press(False)
        if not got:
            raise e2elib.Failure("a key press never reached the wire")
        times.append(t1 - t0)
        time.sleep(random.uniform(0.004, 0.012))  # keys come at a typist's pace, unevenly
    return times


def flood(master, stop_after):
    """A child that writes text to the port until killed or `stop_after` seconds pass."""
    pid = os.fork()
    if pid:
        return pid
    block = LINE * 800
    end = time.monotonic() + stop_after
    while time.monotonic() < end:
        try:
            os.write(master, block)
        except BlockingIOError:
            select.select([], [master], [], 0.1)
    os._exit(0)


def figures(label, times):
    times = sorted(times)
    at = lambda q: times[min(len(times) - 1, int(q * len(times)))] * 1000
    print("%-34s median %6.3f   p90 %6.3f   p99 %6.3f   max %6.3f  (ms, %d keys)"
          % (label, at(0.5), at(0.9), at(0.99), times[-1] * 1000, len(times)))


def run(xt, pty, keys, who):
    measure(xt, pty.master, 20)  # warm up: fonts, first paints
    idle = measure(xt, pty.master, keys)
    child = flood(pty.master, 120)
    time.sleep(0.3)
    try:
        busy = measure(xt, pty.master, keys)
    finally:
        os.kill(child, 9)
        os.waitpid(child, 0)
    figures(who + ", idle", idle)
    figures(who + ", during a flood", busy)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wirelog", default="build/wirelog")
    ap.add_argument("--keys", type=int, default=300)
    args = ap.parse_args()
    for tool in ("Xvfb", "matchbox-window-manager", "xdotool"):
        if shutil.which(tool) is None:
            print("skipped: %s is not installed" % tool)
            return 0
    artifacts = tempfile.mkdtemp(prefix="wirelog-xkeys-")
    s = e2elib.Stand("xkeys", os.path.abspath(args.wirelog), artifacts)
    # Measured as a user runs it: no screen reader listening.
    for k in ("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "QT_ACCESSIBILITY"):
        s.env.pop(k, None)
    s.env["NO_AT_BRIDGE"] = "1"
    try:
        s.start_display()
        xt = XTest(s.display)
        pty = s.add_pty(1)
        s.start_app(args=["--open", "COM1"])
        s.wait_title("Wirelog - COM1,9600,n,8,1")
        print("XTEST key press to byte on the wire (a pseudo-terminal), nothing else running")
        run(xt, pty, args.keys, "Wirelog, log view")
        print("targets: p90 <= 1 ms idle, <= 2 ms during the flood")
    finally:
        s.close()
        shutil.rmtree(artifacts, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

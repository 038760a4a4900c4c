"""The stand for the end-to-end tests: a private X server with a window manager, an
accessibility bus, a pseudo-terminal in a temporary port map, a temporary settings store, and
the real wirelog executable, driven with xdotool the way a person would.

Every wait is bounded; everything started here is ended by Stand.close(), and each child also
dies with the test (PR_SET_PDEATHSIG) should the test itself be killed.
"""

import ctypes
import ctypes.util
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time
import tty

PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


SKIP = 77  # CTest's SKIP_RETURN_CODE


class Failure(Exception):
    pass


def wait_for(what, predicate, timeout=5.0, interval=0.05):
    """Polls predicate until it returns something true, and returns that; fails after
    timeout seconds naming what was awaited (and the last value seen)."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise Failure("timed out after %.1f s waiting for %s (last: %r)"
                          % (timeout, what, last))
        time.sleep(interval)


class Pty:
    """A pseudo-terminal whose slave the program opens through the port map; the test keeps
    the master (the far end of the wire) and holds the slave open too, so that the master
    never reads EIO while the program has the port closed."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.path = os.ttyname(self.slave)

    def write(self, data):
        view = memoryview(data)
        deadline = time.monotonic() + 5
        while view:
            try:
                n = os.write(self.master, view)
                view = view[n:]
            except BlockingIOError:
                if time.monotonic() > deadline:
                    raise Failure("the program does not read the port")
                select.select([], [self.master], [], 0.1)

    def read_available(self):
        out = b""
        while True:
            try:
                chunk = os.read(self.master, 65536)
            except (BlockingIOError, OSError):
                return out
            if not chunk:
                return out
            out += chunk

    def read_exactly(self, n, timeout=5.0):
        """Reads until n bytes have come, or fails naming what did come."""
        out = b""
        deadline = time.monotonic() + timeout
        while len(out) < n:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure("wanted %d bytes from the wire, got %d: %r"
                              % (n, len(out), out[:200]))
            select.select([self.master], [], [], min(left, 0.1))
            out += self.read_available()
        return out

    def expect(self, data, timeout=5.0):
        got = self.read_exactly(len(data), timeout)
        if got != data:
            raise Failure("on the wire: expected %r, got %r" % (data, got))
        return got

    def quiet(self, seconds=0.3):
        """Fails when anything arrives within the given time."""
        time.sleep(seconds)
        extra = self.read_available()
        if extra:
            raise Failure("unexpected bytes on the wire: %r" % extra)

    def termios(self):
        return termios.tcgetattr(self.master)

    def speed(self):
        """The line's output speed in baud, as set through termios2 (a speed code of BOTHER in
        the classic interface)."""
        import fcntl
        import struct
        TCGETS2 = 0x802C542A  # _IOR('T', 0x2A, struct termios2), 44 bytes
        raw = fcntl.ioctl(self.master, TCGETS2, bytes(44))
        cflag = struct.unpack_from("I", raw, 8)[0]
        ispeed, ospeed = struct.unpack_from("II", raw, 36)
        if cflag & termios.CBAUD == 0o010000:  # BOTHER
            return ospeed
        codes = {getattr(termios, "B%d" % b): b for b in
                 (300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)}
        return codes.get(cflag & termios.CBAUD)

    def close(self):
        for fd in (self.master, self.slave):
            try:
                os.close(fd)
            except OSError:
                pass


class Stand:
    def __init__(self, name, wirelog, artifacts, simmodem=None):
        self.name = name
        self.wirelog = wirelog
        self.simmodem_exe = simmodem
        self.artifacts = artifacts
        os.makedirs(artifacts, exist_ok=True)
        self.tmp = tempfile.mkdtemp(prefix="wirelog-e2e-%s-" % name)
        self.ports = os.path.join(self.tmp, "ports")
        os.makedirs(self.ports)
        self.registry = os.path.join(self.tmp, "registry.reg")
        self.procs = []  # (name, Popen), ended in reverse order
        self.ptys = []
        self.app = None
        self.window = None
        self.display = None
        self.mapped = set()  # characters given keys of their own (map_keysyms)
        self.env = dict(os.environ)
        for k in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SESSION_MANAGER"):
            self.env.pop(k, None)
        self.env.update({
            "WIRELOG_PORTS": self.ports,
            "WIRELOG_REGISTRY": self.registry,
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "config"),
            "XDG_RUNTIME_DIR": self._runtime_dir(),
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
            "NO_AT_BRIDGE": "0",
            "LC_ALL": "C.UTF-8",
        })
        self.atspi = None
        for f in os.listdir(artifacts):
            if f.startswith(name + ".") or f.startswith(name + "-"):
                os.remove(os.path.join(artifacts, f))

    def _runtime_dir(self):
        d = os.path.join(self.tmp, "run")
        os.makedirs(d, mode=0o700)
        return d

    # ----- processes -----

    def spawn(self, name, argv, **kw):
        log = open(os.path.join(self.artifacts, "%s.%s.log" % (self.name, name)), "ab")
        kw.setdefault("stdout", log)
        kw.setdefault("stderr", log)
        p = subprocess.Popen(argv, env=self.env, preexec_fn=_die_with_parent,
                             stdin=subprocess.DEVNULL, **kw)
        self.procs.append((name, p))
        return p

    def stop(self, p, timeout=5.0):
        if p.poll() is not None:
            return p.returncode
        p.terminate()
        try:
            return p.wait(timeout)
        except subprocess.TimeoutExpired:
            p.kill()
            return p.wait(5)

    def start_display(self):
        r, w = os.pipe()
        xvfb = self.spawn("xvfb", ["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24",
                                   "-nolisten", "tcp", "-noreset"], pass_fds=(w,))
        os.close(w)
        got = b""
        deadline = time.monotonic() + 10
        while not got.endswith(b"\n"):
            left = deadline - time.monotonic()
            ready, _, _ = select.select([r], [], [], max(left, 0))
            if not ready or xvfb.poll() is not None:
                raise Failure("Xvfb did not start")
            chunk = os.read(r, 16)
            if not chunk:
                raise Failure("Xvfb did not report its display")
            got += chunk
        os.close(r)
        self.display = ":" + got.decode().strip()
        self.env["DISPLAY"] = self.display
        # Only Alt+F4 as the window manager's key: its usual set takes Alt+C, Alt+P and
        # others, which are the program's own menu and dialog keys.
        keys = os.path.join(self.tmp, "kbdconfig")
        with open(keys, "w") as f:
            f.write("<alt>f4=close\n")
        wm = self.spawn("wm", ["matchbox-window-manager", "-use_titlebar", "no",
                               "-use_cursor", "no", "-use_dialog_mode", "free",
                               "-kbdconfig", keys])
        wait_for("the window manager", lambda: wm.poll() is not None or self._wm_running(),
                 timeout=10)
        if wm.poll() is not None:
            raise Failure("matchbox-window-manager ended at once")

    def _wm_running(self):
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                             capture_output=True, text=True, timeout=5).stdout
        return "window id" in out

    def start_accessibility(self):
        """Starts a session bus and the accessibility bus, and connects this process to it.
        Returns False (and the test reads the program through the window title, the dump and
        the wire only) when the Python bindings for AT-SPI are missing."""
        try:
            import gi
            gi.require_version("Atspi", "2.0")
        except (ImportError, ValueError):
            print("note: python3-gi or gir1.2-atspi-2.0 missing; screen text not read")
            return False
        r, w = os.pipe()
        self.spawn("dbus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                            "--print-address=%d" % w], pass_fds=(w,))
        os.close(w)
        ready, _, _ = select.select([r], [], [], 10)
        if not ready:
            raise Failure("dbus-daemon did not start")
        address = os.read(r, 4096).decode().strip()
        os.close(r)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
        os.environ["DISPLAY"] = self.display
        self.spawn("atspi-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        self.spawn("atspi-registry", ["/usr/libexec/at-spi2-registryd"])
        from gi.repository import Atspi
        Atspi.init()
        Atspi.set_timeout(2000, 4000)
        self.atspi = Atspi
        return True

    def add_pty(self, com):
        pty = Pty()
        os.symlink(pty.path, os.path.join(self.ports, "COM%d" % com))
        self.ptys.append(pty)
        return pty

    def add_unmapped_pty(self):
        """A pseudo-terminal that the port map does not know: the program reaches it only
        by its device path."""
        pty = Pty()
        self.ptys.append(pty)
        return pty

    def start_modem(self, com=1):
        p = self.spawn("simmodem", [self.simmodem_exe, "--ports", self.ports, "--com", str(com),
                                    "--delay", "300", "--guard", "500"],
                       stdout=subprocess.PIPE)
        ready, _, _ = select.select([p.stdout], [], [], 10)
        line = p.stdout.readline().decode() if ready else ""
        if not line.startswith("COM%d " % com):
            raise Failure("simmodem did not start: %r" % line)
        return p

    def start_app(self, dismiss_splash=True, args=()):
        self.app = self.spawn("wirelog", [self.wirelog] + list(args))
        self.window = wait_for("the main window", self._main_window, timeout=15)
        if dismiss_splash:
            self.dismiss_splash()
        return self.app

    def _main_window(self):
        if self.app.poll() is not None:
            raise Failure("wirelog ended at start with code %d" % self.app.returncode)
        for wid in self.app_windows():
            if self.window_type(wid) == "NORMAL" and self.title(wid).startswith("Wirelog"):
                return wid
        return None

    def window_type(self, wid):
        out = subprocess.run(["xprop", "-id", wid, "_NET_WM_WINDOW_TYPE"], env=self.env,
                             capture_output=True, text=True, timeout=5).stdout
        m = re.search(r"_NET_WM_WINDOW_TYPE_(\w+)", out)
        return m.group(1) if m else None

    def app_windows(self):
        """The program's shown top-level windows: the main window, dialogs, boxes."""
        ids = self.xdo_out("search", "--onlyvisible", "--pid", str(self.app.pid),
                           "--name", ".").split()
        return [w for w in ids if self.window_type(w) in ("NORMAL", "DIALOG")]

    def dismiss_splash(self):
        """The splash stays three seconds; Escape ends it at once. Waits until the main window
        has the focus."""
        deadline = time.monotonic() + 8
        while time.monotonic() < deadline:
            active = self.xdo_out("getactivewindow").strip()
            if active == self.window and len(self.app_windows()) == 1:
                return
            if active and active != self.window:
                self.key("Escape")
            time.sleep(0.15)
        raise Failure("the splash screen did not go, or the main window never got the focus")

    def wait_exit(self, timeout=10.0):
        try:
            return self.app.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("wirelog did not end within %.0f s" % timeout)

    # ----- X -----

    def xdo(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=True, timeout=10,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def xdo_out(self, *args):
        r = subprocess.run(["xdotool", *args], env=self.env, timeout=10,
                           capture_output=True, text=True)
        return r.stdout

    def geometry(self, wid):
        """(x, y, width, height) of a window on the screen."""
        out = self.xdo_out("getwindowgeometry", "--shell", wid)
        v = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return tuple(int(v[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def title(self, wid=None):
        return self.xdo_out("getwindowname", wid or self.window).rstrip("\n")

    def wait_title(self, expected, timeout=5.0):
        return wait_for("the caption %r" % expected,
                        lambda: self.title() == expected and self.title(), timeout)

    def key(self, *keys):
        for k in keys:
            self.xdo("key", "--delay", "30", k)
            time.sleep(0.05)

    def type(self, text):
        self.map_keysyms(text)
        self.xdo("type", "--delay", "25", text)

    def map_keysyms(self, text):
        """Gives every character of `text` that the keyboard map lacks a key of its own, and
        lets the program see the new map: xdotool would otherwise map a spare key for each
        such character and take it back at once, and a program that reads the key after the
        map changed back gets nothing."""
        wanted = sorted({ord(c) for c in text if ord(c) > 0x7E} - self.mapped)
        if not wanted:
            return
        x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
        dpy = x11.XOpenDisplay(self.display.encode())
        if not dpy:
            raise Failure("cannot open the display to map keys")
        lo, hi = ctypes.c_int(), ctypes.c_int()
        x11.XDisplayKeycodes(ctypes.c_void_p(dpy), ctypes.byref(lo), ctypes.byref(hi))
        per = ctypes.c_int()
        count = hi.value - lo.value + 1
        syms = x11.XGetKeyboardMapping(ctypes.c_void_p(dpy), lo.value, count, ctypes.byref(per))
        free = [lo.value + i for i in range(count)
                if all(syms[i * per.value + j] == 0 for j in range(per.value))]
        x11.XFree(syms)
        for code, cp in zip(reversed(free), wanted):
            keysym = cp if cp <= 0xFF else 0x01000000 | cp
            one = (ctypes.c_ulong * 2)(keysym, keysym)
            x11.XChangeKeyboardMapping(ctypes.c_void_p(dpy), code, 2, one, 1)
            self.mapped.add(cp)
        x11.XSync(ctypes.c_void_p(dpy), 0)
        x11.XCloseDisplay(ctypes.c_void_p(dpy))
        time.sleep(0.3)  # the program reads the new map when it hears of it

    def active_window(self):
        return self.xdo_out("getactivewindow").strip()

    def wait_dialog(self, title_prefix, timeout=5.0):
        """Waits for a window of the program other than the main one to be active, whose
        title starts as given; returns its id."""
        def find():
            wid = self.active_window()
            if wid and wid != self.window and self.title(wid).startswith(title_prefix):
                return wid
            return None
        return wait_for("a window %r" % title_prefix, find, timeout)

    def wait_main_active(self, timeout=5.0):
        wait_for("the main window to be active again",
                 lambda: self.active_window() == self.window and len(self.app_windows()) == 1,
                 timeout)

    def menu(self, alt_letter, item_letter):
        """Opens a top-level menu with Alt and its letter, then picks an item by its letter,
        as a person would."""
        self.key("alt+" + alt_letter)
        time.sleep(0.25)
        self.key(item_letter)
        time.sleep(0.1)

    def click(self, x, y):
        self.xdo("mousemove", "--sync", str(int(x)), str(int(y)))
        time.sleep(0.05)
        self.xdo("click", "1")

    def screenshot(self, label):
        path = os.path.join(self.artifacts, "%s-%s.png" % (self.name, label))
        if self.display:
            subprocess.run(["import", "-window", "root", path], env=self.env, timeout=20,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    # ----- accessibility -----

    def _app_node(self):
        desktop = self.atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            a = desktop.get_child_at_index(i)
            if a is not None and a.get_process_id() == self.app.pid:
                return a
        return None

    def find_nodes(self, role=None, name=None, limit=2000):
        """Depth-first walk of the program's accessible tree."""
        root = self._app_node()
        found = []
        if root is None:
            return found
        stack = [root]
        seen = 0
        while stack and seen < limit:
            node = stack.pop()
            seen += 1
            try:
                r = node.get_role_name()
                n = node.get_name()
            except Exception:
                continue
            if (role is None or r == role) and (name is None or n == name):
                found.append(node)
            try:
                count = node.get_child_count()
            except Exception:
                continue
            for i in reversed(range(min(count, 200))):
                c = node.get_child_at_index(i)
                if c is not None:
                    stack.append(c)
        return found

    def screen_text(self):
        """The shown screen's whole text as assistive technology reads it (the log view, or
        the terminal view while it is switched on: the other one is hidden)."""
        for node in self.find_nodes(role="text"):
            t = node.get_text_iface()
            if t is None:
                continue
            states = node.get_state_set()
            if not states.contains(self.atspi.StateType.VISIBLE):
                continue
            editable = states.contains(self.atspi.StateType.EDITABLE) \
                or states.contains(self.atspi.StateType.MULTI_LINE)
            if editable:
                return t.get_text(0, t.get_character_count())
        return None

    def wait_screen(self, predicate, what, timeout=5.0):
        seen = [None]

        def probe():
            seen[0] = self.screen_text()
            return (seen[0],) if seen[0] is not None and predicate(seen[0]) else None
        try:
            return wait_for("the screen to show " + what, probe, timeout)[0]
        except Failure:
            raise Failure("timed out after %.1f s waiting for the screen to show %s; it shows "
                          "%r" % (timeout, what, (seen[0] or "")[-400:]))

    def button_centre(self, name, roles=("push button", "toggle button")):
        """The centre of a button (a tool bar button, a radio button) found by its accessible
        name, in screen coordinates."""
        nodes = [n for n in self.find_nodes(name=name) if n.get_role_name() in roles]
        if not nodes:
            raise Failure("no button named %r is exposed" % name)
        e = nodes[0].get_extents(self.atspi.CoordType.SCREEN)
        return e.x + e.width / 2, e.y + e.height / 2

    # ----- the end -----

    def close(self):
        for pty in self.ptys:
            pty.close()
        for name, p in reversed(self.procs):
            try:
                self.stop(p)
            except Exception:
                pass
            if p.stdout:
                p.stdout.close()
        shutil.rmtree(self.tmp, ignore_errors=True)


def read_store(path):
    """The values of the program's settings key in the store file: name -> text after '='."""
    values = {}
    with open(path, encoding="latin-1") as f:
        section = None
        for line in f:
            line = line.rstrip("\r\n")
            if line.startswith("["):
                section = line
            elif section == "[HKEY_USERS\\.DEFAULT\\Software\\K-W\\Wirelog\\Settings]" \
                    and line.startswith('"') and "=" in line:
                name, value = line.split("=", 1)
                values[name.strip('"')] = value
    return values


def hex_bytes(value):
    """Decodes a stored hex: value."""
    assert value.startswith("hex:"), value
    text = value[4:].replace("\\", "").replace(" ", "")
    return bytes(int(h, 16) for h in text.split(",") if h)


def run(name, body, argv):
    """Runs one scenario: body(stand). On failure saves a screenshot into the artifacts folder
    and prints its path; ends everything started in every case."""
    import argparse
    ap = argparse.ArgumentParser()
    ap.add_argument("--wirelog", required=True)
    ap.add_argument("--simmodem")
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("--shots", action="store_true",
                    help="save screenshots along the way, for a person to look at")
    args = ap.parse_args(argv)
    missing = [t for t in ("Xvfb", "xdotool", "matchbox-window-manager", "xprop")
               if shutil.which(t) is None]
    if missing:
        print("skipped: %s not installed (make deps installs them)" % ", ".join(missing))
        return SKIP
    stand = Stand(name, os.path.abspath(args.wirelog), os.path.abspath(args.artifacts),
                  args.simmodem and os.path.abspath(args.simmodem))
    stand.shots = args.shots
    # The test ends itself before CTest's timeout would, so that it still cleans up.
    signal.signal(signal.SIGALRM, lambda *_: (_ for _ in ()).throw(Failure("scenario too slow")))
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(Failure("terminated")))
    signal.alarm(100)
    started = time.monotonic()
    try:
        stand.start_display()
        body(stand)
        signal.alarm(0)
        print("%s passed in %.1f s" % (name, time.monotonic() - started))
        return 0
    except BaseException as e:
        signal.alarm(0)
        print("FAILED %s: %s" % (name, e), file=sys.stderr)
        import traceback
        traceback.print_exc()
        try:
            shot = stand.screenshot("failure")
            print("screenshot: %s" % shot, file=sys.stderr)
        except Exception as s:
            print("no screenshot: %s" % s, file=sys.stderr)
        log = os.path.join(stand.artifacts, "%s.wirelog.log" % name)
        if os.path.exists(log):
            with open(log, errors="replace") as f:
                tail = f.read()[-3000:]
            if tail:
                print("--- wirelog's output:\n" + tail, file=sys.stderr)
        return 1
    finally:
        stand.close()

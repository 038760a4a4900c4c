#!/usr/bin/python3
"""End-to-end scenarios of the real wirelog executable under Xvfb.

    scenarios.py CASE --wirelog PATH --artifacts DIR [--simmodem PATH] [--shots]

Each case starts its own X server, window manager, accessibility bus, port map and settings
store, drives the program with keys and clicks, and reads back what a user or assistive
technology can see: the caption, the screen's text, the wire, the dump and the store.
"""

import os
import sys
import termios
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Failure, wait_for  # noqa: E402

DEFAULT_CAPTION = "Wirelog - COM1,9600,n,8,1"


def check(condition, message):
    if not condition:
        raise Failure(message)


def plain(screen):
    """The screen's text with line breaks as '\\n': the screen draws CR as an invisible
    character before the break."""
    return screen.replace("\u2029", "\n").replace("\u200b", "")


def shot(s, label):
    if s.shots:
        print("screenshot: " + s.screenshot(label))


def enabled(s, name, role="push button"):
    nodes = [n for n in s.find_nodes(name=name) if n.get_role_name() == role]
    check(nodes, "no %s %r exposed" % (role, name))
    return nodes[0].get_state_set().contains(s.atspi.StateType.ENABLED)


def wait_enabled(s, name, want, role="push button"):
    wait_for("%r to be %s" % (name, "enabled" if want else "disabled"),
             lambda: enabled(s, name, role) == want, timeout=5)


def open_port_by_menu(s, caption=DEFAULT_CAPTION):
    s.menu("c", "p")  # Communication > &Port Open
    s.wait_title(caption)


def choose_file(s, path):
    """Answers the program's file dialog by typing the path into its name field and pressing
    Enter; waits until the dialog has gone."""
    dialog = s.wait_dialog("")
    time.sleep(0.2)
    s.key("ctrl+a")
    s.type(path)
    time.sleep(0.1)
    s.key("Return")
    wait_for("the file dialog to go", lambda: dialog not in s.app_windows(), 5)


def type_into_dialog(s, title, text):
    """Waits for the program's dialog, replaces what its focused field holds and presses
    Enter."""
    s.wait_dialog(title)
    time.sleep(0.2)
    s.key("ctrl+a")
    s.type(text)
    time.sleep(0.1)
    s.key("Return")
    s.wait_main_active()


# ---------------------------------------------------------------------------------------------

def port_and_screen(s):
    """Open and close the port from the menu and from the tool bar; typed keys go out and are
    not shown; the keys of the accelerator table send nothing; received text and hexadecimal
    bytes appear on the screen."""
    s.start_accessibility()
    pty = s.add_pty(1)
    s.start_app(dismiss_splash=False)
    # The splash, whole on the screen even though the window under it is still small.
    splash = wait_for("the splash screen",
                      lambda: [w for w in s.app_windows() if w != s.window], 5)[0]
    time.sleep(0.2)
    shot(s, "splash")
    x, y, w, h = s.geometry(splash)
    check(x >= 0 and y >= 0 and x + w <= 1024 and y + h <= 768,
          "the splash reaches off the screen: %r" % ((x, y, w, h),))
    s.dismiss_splash()
    s.wait_title("Wirelog")
    wait_enabled(s, "Open Port", True)
    check(not enabled(s, "Close Port"), "Close Port is enabled while the port is closed")
    check(not enabled(s, "Dial Phone"), "Dial Phone is enabled while the port is closed")

    open_port_by_menu(s)
    wait_enabled(s, "Close Port", True)
    check(not enabled(s, "Open Port"), "Open Port stays enabled with the port open")
    check(pty.speed() == 9600, "the line is not at 9600 baud: %r" % pty.speed())

    s.type("hello")
    pty.expect(b"hello")
    s.key("Return")
    pty.expect(b"\r")
    # Copy, paste, save: taken by the accelerator table, so nothing reaches the port.
    s.key("ctrl+c", "ctrl+v", "ctrl+s", "ctrl+z", "shift+Insert")
    pty.quiet(0.4)
    check(plain(s.screen_text()) == "", "typed keys were shown without local echo: %r"
          % s.screen_text())

    pty.write(b"line one\r\nline two\r\n")
    s.wait_screen(lambda t: plain(t) == "line one\nline two\n", "the two received lines")
    # A NUL and a backspace: the NUL is not shown; the backspace takes the character before.
    pty.write(b"abc\x00d\x08e")
    s.wait_screen(lambda t: plain(t).endswith("line two\nabce"), "\"abce\" after the lines")
    shot(s, "received")

    s.menu("c", "p")  # Communication > &Port Close
    s.wait_title("Wirelog")
    wait_enabled(s, "Open Port", True)

    # The tool bar, with the mouse.
    s.click(*s.button_centre("Open Port"))
    s.wait_title(DEFAULT_CAPTION)

    s.menu("v", "h")  # View > &HEX View
    pty.write(bytes([0x00, 0x41, 0xFF, 0x0A, 0x0D]))
    s.wait_screen(lambda t: plain(t).endswith("abce00 41 FF 0A \n0D "),
                  "the bytes in hexadecimal")
    s.key("x")
    pty.expect(b"x")
    s.menu("v", "c")  # View > &Clear Screen
    s.wait_screen(lambda t: t == "", "an empty screen")
    pty.quiet(0.2)  # clearing sends nothing

    s.click(*s.button_centre("Close Port"))
    s.wait_title("Wirelog")
    # With the port closed a typed key is shown and goes nowhere.
    s.menu("v", "h")  # hex view off again
    s.type("q")
    s.wait_screen(lambda t: plain(t) == "q", "the key typed with the port closed")
    pty.quiet(0.2)

    s.menu("h", "a")  # Help > &About Wirelog...
    about = s.wait_dialog("About")
    shot(s, "about")
    s.key("Return")
    s.wait_main_active()
    check(about not in s.app_windows(), "the About box stayed")

    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")


def dump_file(s):
    """Record a dump through the file dialog: every byte received, all 256 values, lands in
    the file in order, nothing typed or shown does, and the caption names the file."""
    s.start_accessibility()
    pty = s.add_pty(1)
    s.start_app()
    open_port_by_menu(s)
    path = os.path.join(s.tmp, "session one.dmp")
    s.menu("f", "o")  # File > &Open Dump File...
    choose_file(s, path)
    s.wait_main_active()
    caption = '%s - dumping to "%s"' % (DEFAULT_CAPTION, path)
    s.wait_title(caption)
    wait_for("Open Log disabled, Close Log enabled",
             lambda: not enabled(s, "Open Log") and enabled(s, "Close Log"))

    sent = bytes(range(256)) + b"text\r\nmore\bx\r\n" + bytes(range(255, -1, -1))
    for i in range(0, len(sent), 37):
        pty.write(sent[i:i + 37])
        time.sleep(0.01)
    s.type("typed")
    pty.expect(b"typed")
    s.wait_screen(lambda t: "text\nmorx" in t, "the text among the binary bytes")
    s.menu("v", "h")  # hex view changes the screen, not the dump
    tail = b"\x00\x01hex\r\n"
    pty.write(tail)
    sent += tail
    s.wait_screen(lambda t: plain(t).endswith("00 01 68 65 78 0D 0A \n"), "the tail in hex")
    shot(s, "dumping")

    s.menu("f", "c")  # File > &Close Dump File
    s.wait_title(DEFAULT_CAPTION)
    pty.write(b"after the dump")
    s.wait_screen(lambda t: t.endswith("72 20 74 68 65 20 64 75 6D 70 "), "the later bytes")
    with open(path, "rb") as f:
        got = f.read()
    if got != sent:
        first = next((i for i in range(min(len(got), len(sent))) if got[i] != sent[i]),
                     min(len(got), len(sent)))
        raise Failure("the dump differs from what was received: %d bytes against %d, first "
                      "difference at %d" % (len(got), len(sent), first))

    # A dump in a folder that does not exist: the box names the failure, nothing changes.
    s.menu("f", "o")
    s.wait_dialog("")
    time.sleep(0.2)
    s.key("ctrl+a")
    s.type(os.path.join(s.tmp, "no such folder", "x.dmp"))
    s.key("Return")
    box = wait_for("a message box", lambda: [n for n in s.find_nodes(role="alert")] or
                   [n for n in s.find_nodes(role="dialog") if "Failed" in _texts(n)], 5)
    check(any("Failed to open file!" in _texts(b) for b in box),
          "no \"Failed to open file!\" box: %r" % [_texts(b) for b in box])
    shot(s, "failed-to-open")
    s.key("Return")
    # The file dialog may still be open when it refuses a missing folder itself.
    deadline = time.monotonic() + 5
    while s.active_window() != s.window and time.monotonic() < deadline:
        s.key("Escape")
        time.sleep(0.3)
    s.wait_main_active()
    s.wait_title(DEFAULT_CAPTION)
    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")


def _texts(node):
    out = [node.get_name() or ""]
    for c in range(node.get_child_count()):
        child = node.get_child_at_index(c)
        if child is not None:
            out.append(_texts(child))
    return " ".join(out)


def settings_persist(s):
    """Change the port settings in the dialog and a value in its prompt, see them in the
    caption and on the line, close the program with Alt+F4 and find them in the store, start
    again and find them applied; File > Exit saves as well."""
    s.start_accessibility()
    pty = s.add_pty(3)
    s.start_app()
    s.menu("s", "s")  # Settings: the first S is SThreshold...
    s.key("s", "Return")  # ... the second Port Settings
    s.wait_dialog("Communication Settings")
    time.sleep(0.2)
    shot(s, "settings-dialog")
    s.click(*s.button_centre("19200", roles=("radio button",)))  # the baud rate with the mouse
    s.key("alt+p", "Down", "Down")  # parity: None -> Odd -> Even
    s.key("alt+s", "Right")  # stop bits: 1 -> 2
    s.key("alt+c", "ctrl+a")
    s.type("3")
    shot(s, "settings-changed")
    s.key("Return")
    s.wait_main_active()

    s.menu("s", "i")  # Settings > &Input Len...
    type_into_dialog(s, "", "7")

    s.menu("c", "p")
    caption = wait_for("a caption for COM3", lambda: s.title().startswith("Wirelog - COM3,")
                       and s.title(), 5)
    check(caption == "Wirelog - COM3,19200,e,8,2",
          "the caption does not show the chosen settings: %r" % caption)
    check(pty.speed() == 19200, "the line is not at 19200 baud: %r" % pty.speed())
    check(pty.termios()[2] & termios.CSTOPB, "the line does not have two stop bits")
    s.type("ok")
    pty.expect(b"ok")

    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")
    store = e2elib.read_store(s.registry)
    check(e2elib.hex_bytes(store.get("Settings", "hex:")) == b"19200,e,8,2",
          "stored Settings: %r" % store.get("Settings"))
    check(store.get("CommPort") == "dword:00000003", "stored CommPort: %r" % store.get("CommPort"))
    check(store.get("InputLen") == "dword:00000007", "stored InputLen: %r" % store.get("InputLen"))

    s.start_app()
    s.wait_title("Wirelog")
    s.menu("c", "p")
    s.wait_title("Wirelog - COM3,19200,e,8,2")
    check(pty.speed() == 19200, "after the restart the line is not at 19200 baud")
    # DTR off this time; then File > Exit with the port open: the close drain, the port
    # closed, the settings saved again.
    s.menu("s", "d")  # Settings > &DTR Enable
    s.menu("f", "x")  # File > E&xit
    check(s.wait_exit() == 0, "wirelog ended with an error")
    store = e2elib.read_store(s.registry)
    check(store.get("DTREnable") == "dword:00000000",
          "File > Exit did not save DTREnable: %r" % store.get("DTREnable"))
    check(e2elib.hex_bytes(store.get("Settings", "hex:")) == b"19200,e,8,2",
          "Settings changed by a run that did not touch them: %r" % store.get("Settings"))


def transmit(s):
    """Send a text file through the file dialog: the exact bytes reach the wire; a long one
    shows the progress dialog while the line is full and keeps the frame disabled, and Cancel
    stops it part way."""
    s.start_accessibility()
    pty = s.add_pty(1)
    s.start_app()
    open_port_by_menu(s)

    small = os.path.join(s.tmp, "small.txt")
    text = b"".join(b"line %04d of the small file, plain text\r\n" % i for i in range(31))
    text = text[:1300]
    with open(small, "wb") as f:
        f.write(text)
    s.menu("f", "t")  # File > &Transmit Text File...
    choose_file(s, small)
    pty.expect(text)
    s.wait_main_active()
    pty.quiet(0.3)

    # The far end stops reading: the line fills and the transmission waits with its
    # progress dialog.
    big = os.path.join(s.tmp, "big.txt")
    body = b"".join(b"%06d the quick brown fox jumps over the lazy dog\r\n" % i
                    for i in range(4000))
    with open(big, "wb") as f:
        f.write(body)
    s.menu("f", "t")
    choose_file(s, big)
    progress = wait_for("the progress dialog",
                        lambda: [w for w in s.app_windows() if w != s.window], 5)
    time.sleep(0.3)
    shot(s, "progress")
    got = pty.read_exactly(len(body), timeout=20)
    check(got == body, "the big file arrived changed (%d bytes)" % len(got))
    s.wait_main_active(timeout=5)
    check(progress[0] not in s.app_windows(), "the progress dialog stayed")

    # Cancelled part way: less than the whole file, and a prefix of it.
    s.menu("f", "t")
    choose_file(s, big)
    wait_for("the progress dialog", lambda: [w for w in s.app_windows() if w != s.window], 5)
    time.sleep(0.3)
    s.key("Escape")
    s.wait_main_active()
    got = b""
    deadline = time.monotonic() + 1.5
    while time.monotonic() < deadline:
        got += pty.read_available()
        time.sleep(0.05)
    check(0 < len(got) < len(body), "cancel did not stop the transmission: %d of %d bytes"
          % (len(got), len(body)))
    check(body.startswith(got), "the cancelled transmission sent something else")
    s.type("z")
    pty.expect(b"z")  # the frame takes keys again
    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")


def modem(s):
    """Dial the simulated modem, talk through the line, hang up, redial and hang up with the
    modem's own commands; the dump holds the whole conversation, byte for byte."""
    s.start_accessibility()
    s.start_modem(1)
    s.start_app()
    open_port_by_menu(s)
    path = os.path.join(s.tmp, "call.dmp")
    s.menu("f", "o")
    choose_file(s, path)
    s.wait_main_active()

    s.menu("c", "d")  # Communication > &Dial Phone...
    s.wait_dialog("")
    time.sleep(0.2)
    shot(s, "dial-prompt")
    s.type("555-1234")
    s.key("Return")
    s.wait_main_active()
    s.wait_screen(lambda t: "CONNECT 9600" in t, "CONNECT 9600")
    s.type("hi there")
    s.wait_screen(lambda t: plain(t).endswith("CONNECT 9600\nhi there"), "the echoed data")

    s.menu("c", "h")  # Communication > &Hang Up
    time.sleep(0.3)
    check(len(s.app_windows()) == 1, "Hang Up put up a box")

    # The number is offered again, selected: Enter dials it. The modem escapes on "+++".
    s.menu("c", "d")
    s.wait_dialog("")
    time.sleep(0.2)
    s.key("Return")
    s.wait_main_active()
    s.wait_screen(lambda t: plain(t).count("CONNECT 9600") == 2, "the second CONNECT")
    s.type("+++")
    s.wait_screen(lambda t: plain(t).endswith("\n\nOK\n"), "OK after the escape")
    s.type("ATH")
    s.key("Return")
    s.wait_screen(lambda t: plain(t).endswith("ATH\n\nOK\n"), "OK after ATH")
    shot(s, "modem")
    s.menu("f", "c")
    s.wait_title(DEFAULT_CAPTION)
    with open(path, "rb") as f:
        got = f.read()
    want = (b"+++ATDT555-1234\r\r\nCONNECT 9600\r\n" b"hi there"
            b"ATDT555-1234\r\r\nCONNECT 9600\r\n" b"\r\nOK\r\n" b"ATH\r\r\nOK\r\n")
    check(got == want, "the dump of the call:\n%r\nexpected:\n%r" % (got, want))

    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")
    store = e2elib.read_store(s.registry)
    check(store.get("DTREnable") == "dword:00000001",
          "DTREnable after the hang-up: %r" % store.get("DTREnable"))


CASES = {f.__name__: f for f in (port_and_screen, dump_file, settings_persist, transmit, modem)}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in CASES:
        sys.exit("usage: scenarios.py {%s} --wirelog PATH --artifacts DIR [--simmodem PATH]"
                 % ",".join(CASES))
    name = sys.argv[1]
    sys.exit(e2elib.run(name, CASES[name], sys.argv[2:]))

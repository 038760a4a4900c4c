#!/usr/bin/python3
"""End-to-end scenarios of the real wirelog executable under Xvfb.

    scenarios.py CASE --wirelog PATH --artifacts DIR [--simmodem PATH] [--shots]

Each case starts its own X server, window manager, accessibility bus, port map and settings
store, drives the program with keys and clicks, and reads back what a user or assistive
technology can see: the caption, the screen's text, the wire, the dump and the store.
"""

import os
import subprocess
import sys
import termios
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
import re
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


def keys(s):
    """The keys a person meets first: Alt with a key that no menu takes, F10 and the Escapes
    that leave the menu send nothing; AltGr's characters on a German layout are typed; Enter
    on a focused Cancel cancels; Tab enters a radio group at its checked button and the arrows
    check what they reach."""
    s.start_accessibility()
    pty = s.add_pty(1)
    s.start_app()
    open_port_by_menu(s)
    s.key("alt+q", "alt+z", "alt+1", "alt+Return")
    s.key("F10")
    time.sleep(0.3)
    shot(s, "f10")
    check(s.find_nodes(role="menu item", name="Open Dump File..."),
          "F10 did not open the menu bar")
    s.key("Escape")
    time.sleep(0.2)
    s.key("Escape")
    time.sleep(0.2)
    s.type("x")
    check(pty.read_exactly(1) == b"x", "Alt chords, F10 or Escape put bytes on the wire")
    pty.quiet(0.3)
    check(plain(s.screen_text()) == "", "menu keys were shown: %r" % s.screen_text())

    # AltGr on a German keyboard: the third level of Q is '@', of E the euro sign, in the
    # character set the program's locale chose (no stored one): UTF-8 or Windows-1252.
    subprocess.run(["setxkbmap", "-layout", "de"], env=s.env, check=True, timeout=10)
    time.sleep(0.5)
    s.key("ISO_Level3_Shift+q", "ISO_Level3_Shift+e")
    locale = next((s.env[k] for k in ("LC_ALL", "LC_CTYPE", "LANG") if s.env.get(k)), "C")
    codeset = locale.partition(".")[2].partition("@")[0].lower().replace("-", "").replace("_", "")
    euro = "@\u20ac".encode("utf-8" if codeset == "utf8" else "cp1252")
    check(pty.read_exactly(len(euro)) == euro,
          "AltGr+Q, AltGr+E did not give '@' and the euro sign")
    s.key("alt+q")
    pty.quiet(0.3)

    # Enter on a focused Cancel cancels: the value stays.
    s.menu("s", "s")  # Settings: the first S is SThreshold...
    s.key("Return")
    s.wait_dialog("")
    time.sleep(0.2)
    s.type("7")
    s.key("shift+Tab")  # from the field back to Cancel
    s.key("Return")
    s.wait_main_active()

    # Port settings: it opens on the checked 9600, the arrows check what they reach, Tab goes
    # to the checked data bits. The port is closed for that.
    s.menu("c", "p")
    s.wait_title("Wirelog")
    s.menu("s", "s")  # Settings: the first S is SThreshold...
    s.key("s", "Return")  # ... the second Port Settings
    s.wait_dialog("Communication Settings")
    time.sleep(0.3)
    s.key("Down")       # 9600 -> 19200
    s.key("Tab", "Tab", "Up")  # past the Other rate field; data bits 8 -> 7
    time.sleep(0.2)
    shot(s, "settings")
    for name in ("19200", "7"):
        node = [n for n in s.find_nodes(name=name) if n.get_role_name() == "radio button"]
        check(node and node[0].get_state_set().contains(s.atspi.StateType.CHECKED),
              "the arrows did not check %s" % name)
    s.key("Escape")
    s.wait_main_active()
    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")
    store = e2elib.read_store(s.registry)
    check(store.get("SThreshold") == "dword:00000000",
          "Enter on Cancel applied the value: %r" % store.get("SThreshold"))


def _fake_devices(root):
    """A device tree as /dev and /sys look with one FTDI adapter (ttyUSB0, which COM33 maps)
    and an on-chip UART that no COM number reaches (ttyAMA0)."""
    def put(path, text=""):
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write(text)

    def link(path, target):
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        os.symlink(target, full)
    put("dev/ttyUSB0")
    put("dev/ttyAMA0")
    link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0")
    usb = "sys/devices/pci0000:00/usb1/1-1/"
    put(usb + "manufacturer", "FTDI\n")
    put(usb + "product", "FT232R USB UART\n")
    put(usb + "1-1:1.0/ttyUSB0/uevent")
    link("sys/class/tty/ttyUSB0/device", "../../../devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0")
    put("sys/devices/platform/fe201000.serial/uevent")
    link("sys/class/tty/ttyAMA0/device", "../../../devices/platform/fe201000.serial")


def _checked(s, name):
    nodes = [n for n in s.find_nodes(name=name) if n.get_role_name() == "radio button"]
    check(nodes, "no radio button %r exposed" % name)
    return nodes[0].get_state_set().contains(s.atspi.StateType.CHECKED)


def _box_text(s):
    boxes = s.find_nodes(role="alert")
    return " ".join(_texts(b) for b in boxes)


def port_dialog(s):
    """Any baud rate through "Other" (a bad one refused with a box, the dialog kept), the
    list of ports present with their descriptions, picking one; the rate on the line."""
    s.start_accessibility()
    root = os.path.join(s.tmp, "devices")
    _fake_devices(root)
    s.env["WIRELOG_DEVICE_ROOT"] = root
    pty = s.add_pty(1)
    s.start_app()
    s.menu("s", "s")
    s.key("s", "Return")  # Settings > Port Settings...
    dialog = s.wait_dialog("Communication Settings")
    time.sleep(0.2)
    check(_checked(s, "9600") and not _checked(s, "Other:"), "9600 is not the rate shown")

    s.key("alt+o")
    s.type("1e6")
    s.key("Return")
    wait_for("the invalid rate box", lambda: "Invalid baud rate!" in _box_text(s), 5)
    shot(s, "invalid-rate")
    s.key("Return")
    wait_for("the dialog back", lambda: s.active_window() == dialog, 5)
    check(_checked(s, "Other:"), "Alt+O did not select Other")
    s.key("alt+o")
    s.type("921600")
    time.sleep(0.2)
    shot(s, "other-rate")

    s.key("alt+c", "alt+Down")  # the port list, open
    time.sleep(0.5)
    dash = " \u2014 "
    items = [n.get_name() for n in s.find_nodes(role="list item")]
    want = ["COM1" + dash + pty.path,
            "COM33" + dash + "/dev/ttyUSB0" + dash + "FTDI FT232R USB UART",
            "/dev/ttyAMA0" + dash + "ln -s /dev/ttyAMA0 " + os.path.join(s.ports, "COM97")]
    check(all(w in items for w in want), "the port list shows %r" % items)
    shot(s, "port-list")
    s.key("Down", "Return")  # COM1 -> COM33
    time.sleep(0.3)
    fields = [n.get_text_iface() for n in s.find_nodes(role="text")]
    texts = [t.get_text(0, t.get_character_count()) for t in fields if t is not None]
    check("33" in texts, "picking COM33 did not put 33 in the field: %r" % texts)
    s.key("ctrl+a")
    s.type("1")
    s.key("Return")
    s.wait_main_active()

    open_port_by_menu(s, "Wirelog - COM1,921600,n,8,1")
    check(pty.speed() == 921600, "the line is not at 921600 baud: %r" % pty.speed())
    s.menu("c", "p")  # close again: the dialog opens only with the port closed
    s.wait_title("Wirelog")

    s.menu("s", "s")
    s.key("s", "Return")
    s.wait_dialog("Communication Settings")
    time.sleep(0.2)
    check(_checked(s, "Other:") and not _checked(s, "9600"),
          "921600 does not start under Other")
    s.key("Escape")
    s.wait_main_active()
    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")


def reconnect(s):
    """Pull the device out from under the open port: the status bar says the program waits for
    it, the caption says "(waiting)", a key typed meanwhile is shown, and a new device under
    the same name is opened by itself; the dump holds what came before and after. Port Close
    ends a second wait; the option switched off is stored."""
    s.start_accessibility()
    pty = s.add_pty(1)
    s.start_app()
    open_port_by_menu(s)
    path = os.path.join(s.tmp, "replug.dmp")
    s.menu("f", "o")
    choose_file(s, path)
    s.wait_main_active()
    dumping = ' - dumping to "%s"' % path
    s.wait_title(DEFAULT_CAPTION + dumping)
    pty.write(b"before\r\n")
    s.wait_screen(lambda t: plain(t) == "before\n", "the text before the unplug")

    # Unplugged: the device and its link go.
    pty.close()
    os.unlink(os.path.join(s.ports, "COM1"))
    s.wait_title(DEFAULT_CAPTION + " (waiting)" + dumping)
    waiting = "COM1 (%s) has gone away; waiting for it to return..." % pty.path
    wait_for("the waiting status", lambda: s.find_nodes(role="label", name=waiting), 5)
    check(not s.find_nodes(role="alert"), "a box came with the unplug")
    # A key typed while waiting reaches no one: not shown as if echoed, and the pane says so.
    s.type("x")
    not_sent = "Not sent: COM1 (%s) is waiting to reconnect." % pty.path
    wait_for("the not-sent status", lambda: s.find_nodes(role="label", name=not_sent), 5)
    check(plain(s.screen_text()) == "before\n", "the key typed while waiting was shown")
    time.sleep(0.3)
    shot(s, "waiting")

    # Plugged in again: a new device under the same name.
    again = s.add_pty(1)
    s.wait_title(DEFAULT_CAPTION + dumping)
    wait_for("the reopened status", lambda: s.find_nodes(role="label", name="COM1 reopened"), 5)
    again.write(b"after\r\n")
    s.wait_screen(lambda t: plain(t) == "before\nafter\n", "the text after the replug")
    s.type("y")
    again.expect(b"y")
    shot(s, "reopened")

    # Gone again; Port Close on the tool bar ends the wait.
    again.close()
    s.wait_title(DEFAULT_CAPTION + " (waiting)" + dumping)
    s.click(*s.button_centre("Close Port"))
    s.wait_title("Wirelog" + dumping)
    wait_enabled(s, "Open Port", True)
    check(not enabled(s, "Close Port"), "Close Port stays enabled after the wait ended")

    s.menu("c", "r")  # Communication > &Reconnect Automatically: off
    s.menu("f", "c")
    s.wait_title("Wirelog")
    with open(path, "rb") as f:
        got = f.read()
    check(got == b"before\r\nafter\r\n", "the dump across the replug: %r" % got)
    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")
    store = e2elib.read_store(s.registry)
    check(store.get("Reconnect") == "dword:00000000",
          "the option switched off is not stored: %r" % store.get("Reconnect"))


def command_line(s):
    """Start on a device path with settings, --open and --dump: the port is open at once as the
    first free run-only COM number, the line has the settings, the dump records what arrives,
    and the settings are saved at close but the run-only port is not. A bad value first: one
    line on standard error, status 2, no window and no store."""
    bad = subprocess.run([s.wirelog, "--settings", "9600,x,9,3", "COM1"], env=s.env,
                         capture_output=True, text=True, timeout=20)
    check(bad.returncode == 2, "a bad --settings ended with %d" % bad.returncode)
    check(bad.stderr.count("\n") == 1 and "9600,x,9,3" in bad.stderr,
          "standard error for a bad --settings: %r" % bad.stderr)
    check(not os.path.exists(s.registry), "a refused command line wrote the store")

    s.start_accessibility()
    pty = s.add_unmapped_pty()
    dump = os.path.join(s.tmp, "from the command line.dmp")
    s.start_app(args=["--settings", "115200,e,7,2", "--open", "--dump", dump, pty.path])
    caption = 'Wirelog - COM97,115200,e,7,2 - dumping to "%s"' % dump
    s.wait_title(caption)
    shot(s, "command-line")
    check(pty.speed() == 115200, "the line is not at 115200 baud: %r" % pty.speed())
    check(pty.termios()[2] & termios.CSTOPB, "the line does not have two stop bits")
    check(os.listdir(s.ports) == [], "the run-only port was written to the port map folder")

    sent = b"over the wire\r\n\x00\xff"
    pty.write(sent)
    s.wait_screen(lambda t: "over the wire" in t, "the received line")
    s.type("k")
    pty.expect(b"k")
    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")
    with open(dump, "rb") as f:
        got = f.read()
    check(got == sent, "the dump holds %r, not %r" % (got, sent))
    store = e2elib.read_store(s.registry)
    check(e2elib.hex_bytes(store.get("Settings", "hex:")) == b"115200,e,7,2",
          "stored Settings: %r" % store.get("Settings"))
    check("CommPort" not in store, "the run-only port was saved: %r" % store.get("CommPort"))


def text_log(s):
    """A text log beside the dump while talking to the simulated modem: one stamped line per
    received line, an open line written with a trailing backslash once the data pauses, the
    dump still the raw bytes; Time Stamps and the line-break choice are kept in the store."""
    s.start_accessibility()
    s.start_modem(1)
    s.start_app()
    open_port_by_menu(s)
    s.type("ATE0")  # no echo from here on, so that only the modem's answers arrive
    s.key("Return")
    s.wait_screen(lambda t: plain(t).endswith("ATE0\n\nOK\n"), "OK after ATE0")

    dump = os.path.join(s.tmp, "talk.dmp")
    log = os.path.join(s.tmp, "talk.log")
    s.menu("f", "o")  # File > &Open Dump File...
    choose_file(s, dump)
    s.wait_main_active()
    s.menu("f", "l")  # File > Open &Log File...
    choose_file(s, log)
    s.wait_main_active()
    s.wait_title('%s - dumping to "%s" - logging to "%s"' % (DEFAULT_CAPTION, dump, log))
    s.menu("v", "m")  # View > Time Sta&mps
    s.menu("s", "b")  # Settings > Line &Breaks From Device >
    s.key("Up", "Return")  # ... Auto, the last of the three

    s.type("ATI")
    s.key("Return")
    s.wait_screen(lambda t: plain(t).endswith("Wirelog simulated modem\n\nOK\n"), "ATI's answer")
    s.type("ATDT5551234")
    s.key("Return")
    s.wait_screen(lambda t: plain(t).endswith("CONNECT 9600\n"), "CONNECT 9600")
    s.type("hi")  # echoed by the far end, with no line break after it

    def read_log():
        with open(log, "rb") as f:
            return f.read().decode("utf-8")
    wait_for("the open line written after the pause", lambda: read_log().endswith("\\\n"), 5)
    shot(s, "text-log")
    s.menu("f", "g")  # File > Close Lo&g File
    s.wait_title('%s - dumping to "%s"' % (DEFAULT_CAPTION, dump))
    s.menu("f", "c")  # File > &Close Dump File
    s.wait_title(DEFAULT_CAPTION)

    stamp = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  ")
    lines = read_log().split("\n")
    check(lines[-1] == "", "the log does not end with a line feed: %r" % lines[-1])
    check(all(stamp.match(line) for line in lines[:-1]), "a log line without its stamp: %r"
          % lines)
    # Lines cut by a pause join their continuation; the last one was cut, the rest were not.
    texts, joined = [line[25:] for line in lines[:-1]], []
    carry = ""
    for text in texts:
        if text.endswith("\\"):
            carry += text[:-1]
            continue
        joined.append(carry + text)
        carry = ""
    if carry:
        joined.append(carry)
    want = ["", "Wirelog simulated modem", "", "OK", "", "CONNECT 9600", "hi"]
    check(joined == want, "the log's lines: %r (as written: %r)" % (joined, texts))
    check(texts[-1].endswith("\\"), "the open line was not cut by the pause: %r" % texts)

    with open(dump, "rb") as f:
        got = f.read()
    raw = b"\r\nWirelog simulated modem\r\n\r\nOK\r\n\r\nCONNECT 9600\r\nhi"
    check(got == raw, "the dump:\n%r\nexpected:\n%r" % (got, raw))

    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")
    store = e2elib.read_store(s.registry)
    check(store.get("TimeStamps") == "dword:00000001", "stored TimeStamps: %r"
          % store.get("TimeStamps"))
    check(store.get("LineBreaks") == "dword:00000002", "stored LineBreaks: %r"
          % store.get("LineBreaks"))


CASES = {f.__name__: f for f in (
    port_and_screen,
    dump_file,
    settings_persist,
    transmit,
    modem,
    keys,
    port_dialog,
    reconnect,
    command_line,
    text_log,
)}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in CASES:
        sys.exit("usage: scenarios.py {%s} --wirelog PATH --artifacts DIR [--simmodem PATH]"
                 % ",".join(CASES))
    name = sys.argv[1]
    sys.exit(e2elib.run(name, CASES[name], sys.argv[2:]))

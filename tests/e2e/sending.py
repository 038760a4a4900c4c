#!/usr/bin/python3
"""End-to-end scenario of sending more than keys: the send bar, a macro button and Break.

    sending.py sending --wirelog PATH --artifacts DIR [--shots]
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Failure, wait_for  # noqa: E402
from scenarios import check, enabled, open_port_by_menu, shot  # noqa: E402

STORE = r'''REGEDIT4

[HKEY_USERS\.DEFAULT\Software\K-W\Wirelog\Settings]
"CommPort"=dword:00000004
"SendBar"=dword:00000001
"MacroBar"=dword:00000001
"SendLineEnd"=dword:00000001
"SendHistory1"="ATI"
"SendHistory2"="AT+GMR"
"MacroName1"="Reset"
"MacroText1"="ATZ\\r\\d400AT\\r"
'''


def sending(s):
    """The send bar recalls the stored history with Up and sends it with the line ending; a
    macro button sends its bytes with the pause between; Send Break is offered only while the
    port is open; the history sent is kept in the store."""
    with open(s.registry, "w") as f:
        f.write(STORE)
    s.start_accessibility()
    pty = s.add_pty(4)
    s.start_app()
    s.key("alt+c")
    time.sleep(0.3)
    check(not enabled(s, "Send Break", role="menu item"), "Send Break enabled while closed")
    s.key("Escape")
    open_port_by_menu(s, "Wirelog - COM4,9600,n,8,1")
    s.key("alt+c")
    time.sleep(0.3)
    check(enabled(s, "Send Break", role="menu item"), "Send Break disabled while open")
    s.key("Escape", "Escape")

    # The send bar's field, with the mouse: Up recalls the newest line, Up again the one before.
    s.click(*s.button_centre("Send", roles=("text",)))
    s.key("Up", "Up", "Return")
    pty.expect(b"ATI\r")
    s.type("AT&V")
    s.key("Return")
    pty.expect(b"AT&V\r")
    shot(s, "send-bar")

    where = s.button_centre("Reset")
    clicked = time.monotonic()
    s.click(*where)
    check(pty.read_exactly(4) == b"ATZ\r", "the macro's first line")
    check(pty.read_exactly(3) == b"AT\r", "the macro's second line")
    check(time.monotonic() - clicked >= 0.4, "the macro's pause was not kept")
    check(pty.read_available() == b"", "more than the macro on the line")

    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")
    store = e2elib.read_store(s.registry)
    history = [store.get("SendHistory%d" % i) for i in range(1, 5)]
    check(history == ['"AT+GMR"', '"ATI"', '"AT&V"', '""'], "stored history: %r" % history)


CASES = {"sending": sending}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in CASES:
        sys.exit("usage: sending.py sending --wirelog PATH --artifacts DIR")
    name = sys.argv[1]
    sys.exit(e2elib.run(name, CASES[name], sys.argv[2:]))

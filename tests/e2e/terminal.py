#!/usr/bin/python3
"""End-to-end scenario of the terminal view against a real shell: bash behind a pseudo-terminal
made by socat, reached through the port map, keys typed through the X server.

    terminal.py terminal_shell --wirelog PATH --artifacts DIR [--shots]
"""

import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import wait_for  # noqa: E402
from scenarios import check, shot  # noqa: E402

# A shell that reads nothing of the machine's own settings and keeps no history file.
RC = r"""PS1='$ '
export TERM=xterm-256color LC_ALL=C.UTF-8 HISTFILE=/dev/null
"""


def start_shell(s, com):
    """bash on the pseudo-terminal that the port map calls COM<com>."""
    rc = os.path.join(s.tmp, "bashrc")
    with open(rc, "w") as f:
        f.write(RC)
    link = os.path.join(s.ports, "COM%d" % com)
    shell = "bash --noprofile --rcfile %s -i" % rc
    s.spawn("socat", ["socat", "PTY,link=%s,raw,echo=0" % link,
                      "EXEC:%s,pty,stderr,setsid,sigint,sane,ctty" % shell])
    wait_for("socat's port link", lambda: os.path.exists(link), timeout=10)


def lines(s):
    return (s.screen_text() or "").split("\n")


def enter(s, text):
    s.type(text)
    s.key("Return")


def wait_lines(s, predicate, what, timeout=10.0):
    return s.wait_screen(lambda t: predicate(t.split("\n")), what, timeout)


def terminal_shell(s):
    """Coloured output shows without escape characters in the screen's text; Up recalls the
    last command; Ctrl+C stops a sleeping job; vi opens on the alternate screen and quits back
    to the same scrollback; a typed UTF-8 line comes back whole."""
    if shutil.which("socat") is None or shutil.which("bash") is None:
        print("skipped: socat or bash not installed")
        sys.exit(e2elib.SKIP)
    check(s.start_accessibility(), "no AT-SPI: the screen's text cannot be read")
    start_shell(s, 5)
    s.start_app(args=["--terminal", "--open", "COM5"])
    s.wait_title("Wirelog - COM5,9600,n,8,1")
    # The first prompt went out before the port was open: Enter asks for another.
    s.key("Return")
    wait_lines(s, lambda ls: "$" in [l.rstrip() for l in ls], "the prompt")

    enter(s, r"printf '\e[31mred\e[0m \e[1;38;5;208mamber\e[0m\n'")
    text = wait_lines(s, lambda ls: "red amber" in ls, "the coloured line")
    check("\x1b" not in text, "an escape character in the screen's text")
    enter(s, "ls --color=always -F /dev /; echo listed")
    wait_lines(s, lambda ls: "listed" in ls, "ls's listing")
    shot(s, "ls-color")

    enter(s, "echo recall-$((6*7))")
    wait_lines(s, lambda ls: ls.count("recall-42") == 1, "the first echo")
    s.key("Up", "Return")
    wait_lines(s, lambda ls: ls.count("recall-42") == 2, "the recalled echo")

    enter(s, "sleep 100; echo slept")
    wait_for("sleep to run", lambda: subprocess.run(["pgrep", "-f", "^sleep 100$"],
                                                    capture_output=True).returncode == 0,
             timeout=10)
    time.sleep(0.3)
    s.key("ctrl+c")
    enter(s, "echo after")
    wait_lines(s, lambda ls: "after" in ls, "the shell back after Ctrl+C", timeout=5)
    check("slept" not in lines(s), "the sleep was not interrupted")

    enter(s, "echo \"<café → 😀>\"")
    wait_lines(s, lambda ls: "<café → 😀>" in ls, "the UTF-8 line echoed back")

    # vi last: on its way out it may flush what is typed before the shell reads again.
    for _ in range(2):
        enter(s, "seq 1 30")
    before = wait_lines(s, lambda ls: ls.count("30") == 2 and ls[-1].rstrip() == "$",
                        "two listings of seq").split("\n")
    enter(s, "vi -u NONE")
    wait_lines(s, lambda ls: sum(l.startswith("~") for l in ls) > 5, "vi's empty buffer")
    shot(s, "vi")
    enter(s, ":q")
    after = wait_lines(s, lambda ls: ls.count("30") == 2 and ls[-1].rstrip() == "$"
                       and not any(l.startswith("~") for l in ls), "the shell after vi")
    after = after.split("\n")
    check(after[:len(before) - 1] == before[:len(before) - 1],
          "the scrollback changed across vi: %r" % after[-10:])

    if s.shots:
        select_some(s)
        shot(s, "selection")
    s.key("alt+F4")
    check(s.wait_exit() == 0, "wirelog ended with an error")


def select_some(s):
    """Drags the mouse over a few lines in the middle of the window."""
    x, y, w, h = s.geometry(s.window)
    s.xdo("mousemove", "--sync", str(x + 30), str(y + h // 3))
    s.xdo("mousedown", "1")
    s.xdo("mousemove", "--sync", str(x + w // 2), str(y + h // 2))
    s.xdo("mouseup", "1")
    time.sleep(0.3)


CASES = {"terminal_shell": terminal_shell}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in CASES:
        sys.exit("usage: terminal.py terminal_shell --wirelog PATH --artifacts DIR")
    name = sys.argv[1]
    sys.exit(e2elib.run(name, CASES[name], sys.argv[2:]))

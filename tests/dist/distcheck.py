"""Shared helpers of the install and package checks: running tools, reading PNG sizes,
desktop entries and the program's --help, with a temporary folder that goes at the end."""

import os
import re
import shutil
import struct
import subprocess
import sys

SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def need_tools(*tools):
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        print("SKIP: missing %s (make deps installs them)" % " ".join(missing))
        sys.exit(SKIP)


def run(argv, env=None, cwd=None, timeout=300):
    """Runs a command; returns (status, stdout, stderr) as text."""
    p = subprocess.run(argv, env=env, cwd=cwd, capture_output=True, text=True, timeout=timeout)
    return p.returncode, p.stdout, p.stderr


def run_ok(argv, **kw):
    status, out, err = run(argv, **kw)
    check(status == 0, "%s ended with %d:\n%s%s" % (" ".join(argv), status, out, err))
    return out


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR", "%s is not a PNG" % path)
    return struct.unpack(">II", head[16:24])


def desktop_entry(path):
    """The keys of the [Desktop Entry] group."""
    keys, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]" and "=" in line and not line.startswith("#"):
                k, v = line.split("=", 1)
                keys[k.strip()] = v.strip()
    return keys


def no_display_env():
    """The environment of a shell with no display: --help and --version must not need one."""
    env = dict(os.environ)
    for k in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(k, None)
    env["QT_QPA_PLATFORM"] = "xcb"
    return env


def check_runs(executable, version):
    """--version and --help of an installed executable, with no display."""
    status, out, err = run([executable, "--version"], env=no_display_env(), timeout=30)
    check(status == 0 and out == "Wirelog %s\n" % version and err == "",
          "%s --version: status %d, %r, %r" % (executable, status, out, err))
    status, out, err = run([executable, "--help"], env=no_display_env(), timeout=30)
    check(status == 0 and out.startswith("Usage: wirelog"),
          "%s --help: status %d, %r" % (executable, status, err))
    return out


def options_of(help_text):
    return sorted(set(re.findall(r"--[a-z][a-z-]+", help_text)))


def main(body):
    try:
        body()
    except Failure as e:
        print("FAIL: %s" % e)
        return 1
    print("PASS")
    return 0

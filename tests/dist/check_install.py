#!/usr/bin/python3
"""Installs the build into a temporary DESTDIR and checks the tree: the executable runs with no
display, the desktop entry, AppStream metainfo and manual page pass their validators without a
warning, the icons are there at every size, and the manual page documents every option that
--help lists.

    check_install.py --build DIR --app-id ID --version V
"""

import argparse
import gzip
import os
import subprocess
import tempfile
import xml.etree.ElementTree as ET

from distcheck import (Failure, check, check_runs, desktop_entry, main, need_tools,  # noqa
                       options_of, png_size, run, run_ok)

SIZES = (16, 32, 48, 64, 128, 256)


def body():
    a = argparse.ArgumentParser()
    a.add_argument("--build", required=True)
    a.add_argument("--app-id", required=True)
    a.add_argument("--version", required=True)
    a.add_argument("--cmake", default="cmake")
    args = a.parse_args()
    need_tools("desktop-file-validate", "appstreamcli", "groff", "man")

    with tempfile.TemporaryDirectory(prefix="wirelog-install-") as dest:
        env = dict(os.environ, DESTDIR=dest)
        run_ok([args.cmake, "--install", args.build, "--prefix", "/usr"], env=env)
        usr = os.path.join(dest, "usr")
        share = os.path.join(usr, "share")

        exe = os.path.join(usr, "bin", "wirelog")
        check(os.access(exe, os.X_OK), "no executable %s" % exe)
        help_text = check_runs(exe, args.version)

        desktop = os.path.join(share, "applications", args.app_id + ".desktop")
        check(os.path.isfile(desktop), "no desktop entry %s" % desktop)
        status, out, err = run(["desktop-file-validate", desktop])
        check(status == 0 and "error:" not in out + err and "warning:" not in out + err,
              "desktop-file-validate: %s%s" % (out, err))
        keys = desktop_entry(desktop)
        check(keys.get("Name") == "Wirelog", "desktop Name: %r" % keys.get("Name"))
        check(keys.get("GenericName") == "Serial Terminal",
              "desktop GenericName: %r" % keys.get("GenericName"))
        check(keys.get("Comment"), "the desktop entry has no Comment")
        check(keys.get("Exec", "").split()[0] == "wirelog", "desktop Exec: %r" % keys.get("Exec"))
        categories = keys.get("Categories", "").split(";")
        check("Utility" in categories and "Development" in categories,
              "desktop Categories: %r" % keys.get("Categories"))
        keywords = keys.get("Keywords", "").split(";")
        for k in ("serial", "terminal", "modem", "COM", "tty"):
            check(k in keywords, "desktop Keywords lack %r: %r" % (k, keys.get("Keywords")))

        icon = keys.get("Icon", "")
        hicolor = os.path.join(share, "icons", "hicolor")
        svg = os.path.join(hicolor, "scalable", "apps", icon + ".svg")
        check(os.path.isfile(svg), "no scalable icon %s" % svg)
        check(ET.parse(svg).getroot().tag.endswith("svg"), "%s is not an SVG" % svg)
        for size in SIZES:
            png = os.path.join(hicolor, "%dx%d" % (size, size), "apps", icon + ".png")
            check(os.path.isfile(png), "no %d px icon %s" % (size, png))
            check(png_size(png) == (size, size), "%s is %r" % (png, png_size(png)))

        metainfo = os.path.join(share, "metainfo", args.app_id + ".metainfo.xml")
        check(os.path.isfile(metainfo), "no metainfo %s" % metainfo)
        status, out, err = run(["appstreamcli", "validate", "--no-net", "--strict", metainfo])
        check(status == 0, "appstreamcli validate: %s%s" % (out, err))
        root = ET.parse(metainfo).getroot()
        check(root.findtext("id") == args.app_id, "metainfo id: %r" % root.findtext("id"))
        check(root.findtext("launchable") == args.app_id + ".desktop",
              "metainfo launchable: %r" % root.findtext("launchable"))
        check(root.findtext("summary"), "metainfo has no summary")
        check(root.find("description/p") is not None, "metainfo has no description")
        check(root.findtext("screenshots/screenshot/image", "").startswith("https://"),
              "metainfo has no screenshot reference")
        releases = [r.get("version") for r in root.findall("releases/release")]
        check(args.version in releases, "metainfo releases: %r" % releases)

        page = os.path.join(share, "man", "man1", "wirelog.1.gz")
        check(os.path.isfile(page), "no manual page %s" % page)
        with gzip.open(page, "rt", encoding="utf-8") as f:
            source = f.read()
        p = subprocess.run(["groff", "-ww", "-z", "-man"], input=source, capture_output=True,
                           text=True, timeout=30)
        check(p.returncode == 0 and p.stderr == "", "groff -ww: %s" % p.stderr)
        env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
        status, out, err = run(["man", "--warnings=w", "-l", page], env=env, timeout=30)
        check(status == 0 and err == "", "man -l: status %d, %s" % (status, err))
        for section in ("SYNOPSIS", "OPTIONS", "COM PORT MAP", "ENVIRONMENT", "FILES",
                        "EXAMPLES"):
            check(section in out, "the manual page has no %s" % section)
        for option in options_of(help_text):
            check(option in out, "--help lists %s but the manual page does not" % option)


if __name__ == "__main__":
    raise SystemExit(main(body))

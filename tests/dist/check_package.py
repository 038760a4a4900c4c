#!/usr/bin/python3
"""Builds the Debian package with CPack into a temporary folder and checks it: its name, its
control fields with dependencies found from the executable's libraries, its contents (the
program's files under /usr and nothing of the tests or tools), and that the executable
unpacked with dpkg-deb -x runs --version and --help with no display.

    check_package.py --build DIR --app-id ID --version V [--cpack PATH]
"""

import argparse
import os
import re
import tempfile

from distcheck import check, check_runs, main, need_tools, run_ok  # noqa


def body():
    a = argparse.ArgumentParser()
    a.add_argument("--build", required=True)
    a.add_argument("--app-id", required=True)
    a.add_argument("--version", required=True)
    a.add_argument("--cpack", default="cpack")
    args = a.parse_args()
    need_tools("dpkg-deb", "dpkg-shlibdeps", "dpkg")

    with tempfile.TemporaryDirectory(prefix="wirelog-package-") as tmp:
        run_ok([args.cpack, "-G", "DEB", "-B", tmp, "--config",
                os.path.join(args.build, "CPackConfig.cmake")], cwd=args.build)
        arch = run_ok(["dpkg", "--print-architecture"]).strip()
        deb = os.path.join(tmp, "wirelog_%s_%s.deb" % (args.version, arch))
        check(os.path.isfile(deb), "no %s among %r" % (deb, os.listdir(tmp)))

        fields = {}
        for line in run_ok(["dpkg-deb", "-f", deb]).splitlines():
            if ":" in line and not line.startswith(" "):
                k, v = line.split(":", 1)
                fields[k] = v.strip()
        check(fields.get("Package") == "wirelog", "Package: %r" % fields.get("Package"))
        # The version --version prints (checked below), not one of its own.
        check(fields.get("Version") == args.version, "Version: %r" % fields.get("Version"))
        check(fields.get("Architecture") == arch, "Architecture: %r" % fields.get("Architecture"))
        check(fields.get("Maintainer"), "no Maintainer")
        # What apt show prints: the summary, then the long description's lines, none of them
        # a CMake list's ";".
        description = run_ok(["dpkg-deb", "-f", deb, "Description"]).splitlines()
        check(len(description) > 1, "no long description: %r" % description)
        check(not any(line.lstrip().startswith(";") for line in description),
              "Description lines start with ';': %r" % description)
        depends = fields.get("Depends", "")
        # Found by dpkg-shlibdeps from what the executable links; Qt and the C library with
        # the least version that has every symbol used.
        for lib, versioned in (("libc6", True), ("libstdc\\+\\+6", True),
                               ("libqt6core6", True), ("libqt6gui6", True),
                               ("libqt6widgets6", True), ("libx11-6", False)):
            pattern = r"(^|, )%s[a-z0-9]*%s(,|$)" % (lib, r" \(>= [^)]+\)" if versioned else "")
            check(re.search(pattern, depends), "Depends lacks %s%s: %r"
                  % (lib.replace("\\", ""), " with a version" if versioned else "", depends))

        listing = run_ok(["dpkg-deb", "-c", deb])
        files = sorted(line.split()[-1] for line in listing.splitlines()
                       if not line.startswith("d"))
        want = ["./usr/bin/wirelog",
                "./usr/share/applications/%s.desktop" % args.app_id,
                "./usr/share/metainfo/%s.metainfo.xml" % args.app_id,
                "./usr/share/man/man1/wirelog.1.gz",
                "./usr/share/icons/hicolor/scalable/apps/wirelog.svg"] + \
               ["./usr/share/icons/hicolor/%dx%d/apps/wirelog.png" % (s, s)
                for s in (16, 32, 48, 64, 128, 256)]
        check(files == sorted(want), "the package holds %r, expected %r" % (files, sorted(want)))

        root = os.path.join(tmp, "root")
        run_ok(["dpkg-deb", "-x", deb, root])
        exe = os.path.join(root, "usr", "bin", "wirelog")
        check_runs(exe, args.version)
        # Stripped for the package: no debugging sections left.
        with open(exe, "rb") as f:
            check(b".debug_info" not in f.read(), "the packaged executable is not stripped")


if __name__ == "__main__":
    raise SystemExit(main(body))

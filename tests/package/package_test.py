#!/usr/bin/env python3
"""The Debian package built from this tree, unpacked into a temporary root and checked there.

Run under an X server (xvfb-run). Usage: package_test.py BUILD_DIR QELVU_LIST SERVE_PY SITE_DIR

The package is built with CPack from the built tree, as scripts/package builds it, and unpacked
with dpkg-deb -x (never installed). Debian's own checks (lintian, desktop-file-validate,
appstreamcli) run on it; the unpacked programs run against the demo directory on 127.0.0.1, and
the program starts from its menu entry's Exec line.
"""
import gzip
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

BUILD, BUILT_LIST, SERVE_PY, SITE = sys.argv[1:5]
APP_ID = "org.qelvu.Qelvu"
DEB_NAME = "qelvu_3.2.0.0_amd64.deb"
PLAYLIST_TYPES = {"audio/x-mpegurl", "audio/mpegurl", "application/vnd.apple.mpegurl",
                  "application/x-mpegurl"}
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kwargs)


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def desktop_entry(path):
    with open(path, encoding="utf-8") as f:
        return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="qelvu-package-")
        out = os.path.join(cls.dir, "out")
        built = run(["cpack", "-G", "DEB", "-B", out], cwd=BUILD)
        assert built.returncode == 0, built.stdout + built.stderr
        cls.deb = os.path.join(out, DEB_NAME)
        assert os.path.exists(cls.deb), "no %s in %s" % (DEB_NAME, os.listdir(out))
        cls.root = os.path.join(cls.dir, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)
        cls.share = os.path.join(cls.root, "usr", "share")

        port_file = os.path.join(cls.dir, "port")
        cls.server_log = open(os.path.join(cls.dir, "server.log"), "wb")
        cls.server = subprocess.Popen([sys.executable, SERVE_PY, SITE, port_file],
                                      stderr=cls.server_log)
        port = wait_for(lambda: os.path.exists(port_file) and read_text(port_file), 10,
                        "the demo server")
        cls.site = "http://127.0.0.1:%s/" % port

    @classmethod
    def tearDownClass(cls):
        cls.server.kill()
        cls.server.wait()
        cls.server_log.close()
        shutil.rmtree(cls.dir, ignore_errors=True)

    def program(self, name):
        return os.path.join(self.root, "usr", "bin", name)

    def test_control_names_the_package_and_every_run_time_dependency(self):
        info = run(["dpkg-deb", "-f", self.deb])
        fields = dict(re.findall(r"^(\S+): (.*)$", info.stdout, re.M))
        for name, value in [("Package", "qelvu"), ("Version", "3.2.0.0"),
                            ("Architecture", "amd64"), ("Section", "video"),
                            ("Priority", "optional")]:
            self.assertEqual(fields.get(name), value, name)
        self.assertRegex(fields["Maintainer"], r"^Qelvu developers <[^@>]+@[^>]+>$")
        depends = {re.sub(r"\s*\(.*\)", "", d).strip() for d in fields["Depends"].split(",")}
        # What dpkg-shlibdeps finds in the binaries, and what they load without linking it.
        for package in ["libc6", "libstdc++6", "libqt6webenginewidgets6", "libpcre2-8-0",
                        "libpsl5", "libssl3", "ca-certificates", "libqt6webenginecore6-bin",
                        "fonts-wqy-zenhei", "publicsuffix", "xdg-utils"]:
            self.assertIn(package, depends)

    def test_package_holds_what_a_desktop_application_installs(self):
        files = ["usr/bin/qelvu", "usr/bin/qelvu-fetch", "usr/bin/qelvu-list",
                 "usr/share/applications/%s.desktop" % APP_ID,
                 "usr/share/metainfo/%s.metainfo.xml" % APP_ID,
                 "usr/share/icons/hicolor/scalable/apps/%s.svg" % APP_ID,
                 "usr/share/doc/qelvu/copyright", "usr/share/doc/qelvu/changelog.gz"]
        files += ["usr/share/man/man1/%s.1.gz" % page for page in ("qelvu", "qelvu-fetch",
                                                                   "qelvu-list")]
        for path in files:
            self.assertTrue(os.path.isfile(os.path.join(self.root, path)), path)
        for size in ICON_SIZES:
            png = os.path.join(self.share, "icons/hicolor/%dx%d/apps/%s.png" % (size, size, APP_ID))
            with open(png, "rb") as f:
                head = f.read(24)
            self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n", png)
            self.assertEqual(struct.unpack(">II", head[16:24]), (size, size), png)
        with gzip.open(os.path.join(self.share, "doc/qelvu/changelog.gz"), "rt") as f:
            self.assertTrue(f.readline().startswith("qelvu (3.2.0.0) "))

    def test_debian_checks_pass(self):
        lint = run(["lintian", "--fail-on", "error", self.deb])
        sys.stderr.write("lintian:\n" + lint.stdout)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)
        self.assertNotRegex(lint.stdout, r"(?m)^E: ")
        desktop = os.path.join(self.share, "applications", APP_ID + ".desktop")
        checked = run(["desktop-file-validate", desktop])
        self.assertEqual((checked.returncode, checked.stdout), (0, ""), checked.stderr)
        metainfo = os.path.join(self.share, "metainfo", APP_ID + ".metainfo.xml")
        checked = run(["appstreamcli", "validate", "--no-net", metainfo])
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

    def test_menu_entry_and_metadata_agree(self):
        entry = desktop_entry(os.path.join(self.share, "applications", APP_ID + ".desktop"))
        self.assertEqual(entry["Exec"], "qelvu %U")
        self.assertEqual(entry["Icon"], APP_ID)
        self.assertEqual(set(filter(None, entry["MimeType"].split(";"))), PLAYLIST_TYPES)
        metainfo = read_text(os.path.join(self.share, "metainfo", APP_ID + ".metainfo.xml"))
        self.assertIn("<id>%s</id>" % APP_ID, metainfo)
        self.assertIn('<launchable type="desktop-id">%s.desktop</launchable>' % APP_ID, metainfo)
        self.assertRegex(metainfo, r'<release version="3\.2\.0\.0"')

    def test_unpacked_programs_run(self):
        version = run([self.program("qelvu"), "--version"],
                      env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        self.assertEqual((version.returncode, version.stdout.strip()), (0, "qelvu 3.2.0.0"),
                         version.stderr)
        listed = run([self.program("qelvu-list"), self.site])
        self.assertEqual(listed.returncode, 0, listed.stderr)
        lines = listed.stdout.splitlines()
        self.assertGreater(len(lines), 10)
        self.assertTrue(all(len(line.split("\t")) == 3 for line in lines), listed.stdout)
        self.assertEqual(listed.stdout, run([BUILT_LIST, self.site]).stdout)

    def test_program_starts_from_its_menu_entry(self):
        entry = desktop_entry(os.path.join(self.share, "applications", APP_ID + ".desktop"))
        command = [arg for arg in shlex.split(entry["Exec"]) if arg != "%U"]
        home = os.path.join(self.dir, "home")
        os.makedirs(os.path.join(home, "run"), mode=0o700)
        env = dict(os.environ,
                   PATH=os.path.join(self.root, "usr", "bin") + os.pathsep + os.environ["PATH"],
                   HOME=home, XDG_RUNTIME_DIR=os.path.join(home, "run"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"),
                   XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_DATA_HOME=os.path.join(home, "data"),
                   XDG_DESKTOP_DIR=os.path.join(home, "desktop"),
                   QELVU_DIRECTORY_URL=self.site, QELVU_NOTICE_URL=self.site + "tvtq/tq.asp",
                   QELVU_SERVICE_URL=self.site + "service/",
                   QELVU_PRODUCT_URL=self.site[len("http://"):] + "pemblo/")
        log_path = os.path.join(home, "stderr.log")
        with open(log_path, "wb") as log:
            app = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=log)

        def shown():
            if app.poll() is not None:
                self.fail("the program ended with %d:\n%s" % (app.returncode, read_text(log_path)))
            return run(["xdotool", "search", "--onlyvisible", "--pid", str(app.pid)]).stdout.split()

        try:
            window = wait_for(shown, 180, "the window")[0]
            # The icon from the window's resources, as the desktop shows it: its width and height
            # lead the property.
            icon = run(["xprop", "-id", window, "-notype", "-f", "_NET_WM_ICON", "32c",
                        " = $0, $1\n", "_NET_WM_ICON"]).stdout
            self.assertRegex(icon, r"_NET_WM_ICON = [1-9]\d*, [1-9]\d*")
            wm_class = run(["xprop", "-id", window, "-notype", "WM_CLASS"]).stdout
            self.assertIn('"%s"' % entry["StartupWMClass"], wm_class)
        finally:
            app.kill()
            app.wait()


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)

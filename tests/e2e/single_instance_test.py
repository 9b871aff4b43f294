#!/usr/bin/env python3
"""One window per user: later starts of the real program hand their sources to it and exit.

Run under an X server (xvfb-run). Usage: single_instance_test.py PROGRAM

The first window is killed as a crash would end it, leaving its socket behind; the next start
must take that socket over, and two later starts (with playlists, and without) must reach it.
"""
import glob
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PROGRAM = sys.argv[1]


def dead_address():
    """An address on 127.0.0.1 where nothing listens, so the program's requests fail at once."""
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return "http://127.0.0.1:%d/" % port


def read_text(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except FileNotFoundError:
        return ""


class Instance:
    """A running program whose standard error is collected as it comes."""

    def __init__(self, env, args=(), cwd=None):
        self.lines = []
        self.process = subprocess.Popen([PROGRAM, *args], env=env, cwd=cwd, text=True,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE)
        threading.Thread(target=self.collect, daemon=True).start()

    def collect(self):
        for line in self.process.stderr:
            self.lines.append(line.rstrip("\n"))

    def wait_for_line(self, pattern, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for line in self.lines:
                match = re.search(pattern, line)
                if match:
                    return match
            if self.process.poll() is not None:
                time.sleep(0.2)  # what it wrote last may still be on its way
                break
            time.sleep(0.1)
        for line in self.lines:
            match = re.search(pattern, line)
            if match:
                return match
        raise AssertionError("no line matching %r; stderr was:\n%s"
                             % (pattern, "\n".join(self.lines)))

    def received(self):
        return [m.group(1) for m in map(re.compile(r"received source: (.*)").search, self.lines) if m]

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


class SingleInstanceTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qelvu-instance-")
        runtime = os.path.join(self.dir, "runtime")
        os.mkdir(runtime, 0o700)
        base = dead_address()
        self.env = dict(os.environ,
                        QELVU_DIRECTORY_URL=base,
                        QELVU_NOTICE_URL=base + "tvtq/tq.asp",
                        QELVU_SERVICE_URL=base + "service/",
                        QELVU_PRODUCT_URL=base[len("http://"):] + "pemblo/",
                        XDG_RUNTIME_DIR=runtime,
                        XDG_CACHE_HOME=os.path.join(self.dir, "cache"),
                        XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                        XDG_DATA_HOME=os.path.join(self.dir, "data"),
                        XDG_DESKTOP_DIR=os.path.join(self.dir, "desktop"),
                        QT_LOGGING_RULES="qelvu.instance.info=true")
        self.sockets = os.path.join(runtime, "qelvu", "instance-*[!k]")  # not the .lock
        self.instances = []

    def tearDown(self):
        for instance in self.instances:
            instance.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def start(self, *args, cwd=None):
        instance = Instance(self.env, args, cwd)
        self.instances.append(instance)
        return instance

    def later_start(self, *args, cwd=None):
        """A start while the window runs: it must hand over and exit 0, quickly."""
        later = self.start(*args, cwd=cwd)
        try:
            status = later.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.fail("a later start did not exit; stderr:\n" + "\n".join(later.lines))
        self.assertEqual(status, 0, "\n".join(later.lines))
        later.wait_for_line(r"handed to the running instance")
        return later

    def test_later_starts_reach_the_window_that_took_over_a_crashed_runs_socket(self):
        crashed = self.start()
        crashed.wait_for_line(r"listening on")
        crashed.process.kill()
        crashed.process.wait()
        self.assertEqual(len(glob.glob(self.sockets)), 1, "the crashed run left its socket")

        window = self.start()
        window.wait_for_line(r"listening on")

        lists = os.path.join(self.dir, "lists")
        os.mkdir(lists)
        self.later_start("news.m3u", "file://" + lists + "/%E9%A2%91%E9%81%93.m3u8",
                         "http://127.0.0.1:9/live.m3u8", cwd=lists)
        window.wait_for_line(r"received source: http://127.0.0.1:9/live.m3u8")
        self.assertEqual(window.received(),
                         [lists + "/news.m3u", lists + "/频道.m3u8", "http://127.0.0.1:9/live.m3u8"])

        # The window keeps what it was handed among the user's sources.
        settings = os.path.join(self.env["XDG_CONFIG_HOME"], "qelvu", "qelvu.conf")
        deadline = time.monotonic() + 30
        while lists + "/news.m3u" not in read_text(settings) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertIn(lists + "/news.m3u", read_text(settings))
        self.assertIn("http://127.0.0.1:9/live.m3u8", read_text(settings))

        window.lines.clear()
        self.later_start()
        window.wait_for_line(r"received from a later start: 0 sources")
        self.assertEqual(window.received(), [])
        self.assertIsNone(window.process.poll(), "the window still runs")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)

"""The program installed into a temporary prefix (cmake --install with DESTDIR) and run as an
unprivileged user whose HOME is a temporary folder: it reads its resources and plug-ins from the
prefix, writes everything into the user's data folder (XDG_DATA_HOME or ~/.local/share), checks
mail through Dovecot, and leaves the prefix exactly as it was installed."""

import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (PROGRAM_DIR, SOURCE_DIR, Dovecot, crlf, fetch_all, free_port,  # noqa: E402
                     make_certificate, wait_for_greeting)
import poplib  # noqa: E402

BUILD_DIR = os.path.dirname(PROGRAM_DIR)
USER = pwd.getpwnam("nobody")
# Until the program makes its own certificate at the first start, the test gives it one.
PROGRAM_MAKES_CERTIFICATE = os.path.exists(os.path.join(SOURCE_DIR, "net", "LocalCertificate.h"))


def built_with_qt():
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt")) as f:
        return "CORVANTHELIX_WITH_QT:BOOL=ON\n" in f.read()


def snapshot(root):
    """Every path under `root` with its kind, size, mode and modification time."""
    entries = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            entries[os.path.relpath(path, root)] = (st.st_mode, st.st_size, st.st_mtime_ns)
    return entries


def chown_tree(path):
    for folder, dirs, files in os.walk(path):
        os.chown(folder, USER.pw_uid, USER.pw_gid)
        for name in files:
            os.chown(os.path.join(folder, name), USER.pw_uid, USER.pw_gid)


class InstalledProgram:
    """One run of the installed program as the unprivileged user."""

    runs = 0

    def __init__(self, prefix, home, log_folder, xdg_data_home=None):
        env = {"HOME": home, "PATH": "/usr/bin:/bin", "LANG": "C"}
        if xdg_data_home:
            env["XDG_DATA_HOME"] = xdg_data_home
        # The test's Dovecot shows a certificate of the harness's own CA.
        if os.environ.get("SSL_CERT_FILE"):
            env["SSL_CERT_FILE"] = os.environ["SSL_CERT_FILE"]
        InstalledProgram.runs += 1
        self.log_path = os.path.join(log_folder, "program-%d.log" % InstalledProgram.runs)
        with open(self.log_path, "wb") as err:
            self.process = subprocess.Popen(
                ["setpriv", "--reuid=%d" % USER.pw_uid, "--regid=%d" % USER.pw_gid, "--clear-groups",
                 os.path.join(prefix, "bin", "corvanthelix"), "--headless"],
                env=env, cwd="/", stdin=subprocess.DEVNULL, stdout=err, stderr=err)

    def log(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def wait_running(self, timeout=15):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if "running in " in self.log():
                return
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        raise AssertionError("the installed program did not come up:\n" + self.log())

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode


class InstalledLayout(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="corvanthelix-install-")
        os.chmod(cls.root, 0o755)
        cls.destdir = os.path.join(cls.root, "dest")
        env = dict(os.environ, DESTDIR=cls.destdir)
        done = subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", "/usr"], env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 0:
            raise AssertionError("cmake --install failed:\n" + done.stdout)
        cls.prefix = os.path.join(cls.destdir, "usr")
        # A system installation is read-only for users: make sure a write would be refused.
        subprocess.run(["chmod", "-R", "go-w", cls.destdir], check=True)
        cls.installed = snapshot(cls.destdir)

    @classmethod
    def tearDownClass(cls):
        if not os.environ.get("CORVANTHELIX_KEEP_TEMP"):
            shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="home-", dir=self.root)
        os.chmod(self.home, 0o700)
        os.chown(self.home, USER.pw_uid, USER.pw_gid)

    def tearDown(self):
        self.assertEqual(snapshot(self.destdir), self.installed, "the program changed its installed files")
        for folder, dirs, files in os.walk(self.home):
            for name in dirs + files:
                path = os.path.join(folder, name)
                self.assertEqual(os.lstat(path).st_uid, USER.pw_uid, path)

    def assert_private_folder(self, path):
        self.assertTrue(os.path.isdir(path), path)
        self.assertEqual(os.stat(path).st_mode & 0o777, 0o700, path)

    def test_installed_tree(self):
        expected = ["bin/corvanthelix", "lib/corvanthelix/libvexolindra.so",
                    "lib/corvanthelix/plugins/quillatrest.so", "lib/corvanthelix/plugins/quillatrest.txt",
                    "share/corvanthelix/spampoints.ini", "share/corvanthelix/deutsch.corvanthelix.language",
                    "share/applications/corvanthelix.desktop", "share/man/man1/corvanthelix.1"]
        if built_with_qt():
            expected += ["share/corvanthelix/icons/mini.ico", "share/corvanthelix/bitmaps/bubble.bmp",
                         "lib/corvanthelix/plugins/newsletter.ico", "lib/corvanthelix/plugins/quillatrest.ico",
                         "share/icons/hicolor/16x16/apps/corvanthelix.png",
                         "share/icons/hicolor/256x256/apps/corvanthelix.png"]
        for rel in expected:
            self.assertTrue(os.path.isfile(os.path.join(self.prefix, rel)), rel)
        # The build's certificate is the build's: every user's start makes or gets its own.
        names = [name for rel in self.installed for name in [os.path.basename(rel)]]
        self.assertNotIn("key.server.pem", names)
        self.assertNotIn("corvanthelix.ini", names)

    def test_first_starts_make_the_private_data_folder(self):
        # XDG_DATA_HOME names the data home; its missing parents are made too.
        xdg = os.path.join(self.home, "xdg", "data")
        run = InstalledProgram(self.prefix, self.home, self.root, xdg_data_home=xdg)
        run.wait_running()
        self.assertEqual(run.stop(), 0, run.log())
        self.assertIn("running in %s/corvanthelix" % xdg, run.log())
        self.assert_private_folder(os.path.join(xdg, "corvanthelix"))
        self.assertFalse(os.path.exists(os.path.join(self.home, ".local")))

        # Without it, ~/.local/share.
        run = InstalledProgram(self.prefix, self.home, self.root)
        run.wait_running()
        self.assertEqual(run.stop(), 0, run.log())
        data = os.path.join(self.home, ".local", "share", "corvanthelix")
        self.assertIn("running in %s" % data, run.log())
        self.assert_private_folder(data)

    def test_mail_check_keeps_everything_under_home(self):
        data = os.path.join(self.home, ".local", "share", "corvanthelix")
        os.makedirs(data, mode=0o700)
        port = free_port()
        with open(os.path.join(data, "corvanthelix.ini"), "w") as f:
            f.write("[SERVER]\nPort=%d\nPortSSL=%d\nEnablePort=1\nEnablePortSSL=1\nTimeout=10\n"
                    "[CORVANTHELIX]\nAutoCheckForUpdates=0\nLanguage=default\n" % (port, free_port()))
        if not PROGRAM_MAKES_CERTIFICATE:
            make_certificate(data, "cert.server.pem", "key.server.pem")
            os.chmod(os.path.join(data, "key.server.pem"), 0o600)
        chown_tree(os.path.join(self.home, ".local"))

        with Dovecot({"alice": "pw"}) as dovecot:
            dovecot.deliver("alice", crlf("From: Bob <bob@example.org>\nTo: alice@example.org\n"
                                          "Subject: minutes\nMessage-ID: <ham@example.org>\n\n"
                                          "The minutes of the meeting are attached below.\n"))
            # Words only the predefined list in the prefix knows.
            dovecot.deliver("alice", crlf("From: Deals <deals@example.net>\nTo: alice@example.org\n"
                                          "Subject: act now\nMessage-ID: <spam@example.net>\n\n"
                                          "100% free, 100% guaranteed, adult content, act now!\n"))
            run = InstalledProgram(self.prefix, self.home, self.root)
            try:
                run.wait_running()
                wait_for_greeting(port)
                client = poplib.POP3("127.0.0.1", port, timeout=30)
                client.user("127.0.0.1&alice&%d" % dovecot.port)
                client.pass_("pw")
                messages = fetch_all(client)
            finally:
                code = run.stop()
            self.assertEqual(code, 0, run.log())
            self.assertEqual(len(messages), 1, run.log())
            self.assertIn(b"<ham@example.org>", messages[0])
            self.assertEqual(dovecot.mailbox("alice"), [])

        self.assertIn("running in %s" % data, run.log())
        recycled = os.listdir(os.path.join(data, "recycle"))
        self.assertTrue(any(name.endswith(".recycle") for name in recycled), recycled)
        self.assertTrue(os.listdir(os.path.join(data, "uid")))
        for name in ("server.log", "client.log", "cert.server.pem", "key.server.pem"):
            self.assertTrue(os.path.isfile(os.path.join(data, name)), name)
        self.assertEqual(os.stat(os.path.join(data, "key.server.pem")).st_mode & 0o777, 0o600)
        for folder in ("recycle", "training", "uid"):
            self.assert_private_folder(os.path.join(data, folder))


if __name__ == "__main__":
    unittest.main()

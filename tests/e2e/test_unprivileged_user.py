"""The real program run as an ordinary user (nobody, through setpriv), the way a desktop user runs
it: with no ports stored it must listen where such a user may (1110 and 1995); a stored low port is
tried as it stands and refused with a helpful message; a language file whose translations are
printf attacks must not crash it; a program folder it cannot write is named in the message."""

import os
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import PROGRAM_DIR, Proxy, crlf, fetch_all, wait_for_greeting  # noqa: E402
from fakepop3 import FakePop3  # noqa: E402
from faults import BLOCKED  # noqa: E402
import test_desktop_tray as desktop  # noqa: E402
import xscreen  # noqa: E402

USER = "nobody"


def port_free(port):
    import socket
    with socket.socket() as probe:
        # Connections that ended a moment ago do not keep a listener out, as they do not the program.
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind(("127.0.0.1", port))
        except OSError:
            return False
    return True


def as_user(command):
    return ["setpriv", "--reuid=" + USER, "--regid=nogroup", "--clear-groups", "--"] + command


def mail(sender, subject):
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\n\nHello there.\n" % (sender, subject))


class UserProxy(Proxy):
    """The headless program started as the unprivileged user in a folder that user owns.
    `stored_ports`: False writes no Port/PortSSL, so the program's defaults apply."""

    def __init__(self, stored_ports=True, **kwargs):
        super().__init__(**kwargs)
        self.stored_ports = stored_ports

    def write_settings(self, sections):
        if not self.stored_ports:
            sections["SERVER"].pop("Port", None)
            sections["SERVER"].pop("PortSSL", None)
            self.port, self.ssl_port = 1110, 1995
        else:
            self.port = int(sections["SERVER"]["Port"])
        super().write_settings(sections)

    def start(self, wait=True):
        self.prepare()
        subprocess.run(["chown", "-R", USER + ":nogroup", self.folder], check=True)
        self.stderr_path = os.path.join(self.folder, "stderr.txt")
        with open(self.stderr_path, "ab") as err:
            self.process = subprocess.Popen(
                as_user([os.path.join(PROGRAM_DIR, "corvanthelix"), "--headless", "--home", self.folder]),
                stdin=subprocess.DEVNULL, stdout=err, stderr=err)
        if wait:
            # The plain port, unless it is the low port under test.
            if self.port == 110:
                wait_for_greeting(self.ssl_port, use_tls=True)
            else:
                wait_for_greeting(self.port)


# Every translated format text the program fills during start-up and a mail check, translated as
# an attack on printf: wrong kinds, too many conversions, %n, huge widths.
HOSTILE_LANGUAGE = "\n".join([
    "NAME: Hostile", "LANGUAGEID: 407", "",
    "Corvanthelix %s", "=%n%n%n%s%s%s%s",
    "Connecting to \"%s\"...", "=%s%s%s%s%s%s%n",
    "Receiving %i (%i kb) of %i messages...", "=%s %s %s",
    "%.1f kb of %.1f kb (%.1f kb/s)", "=%s %s %s %999999999f",
    "%i%% done.", "=%s%%",
    "Spam messages: %i", "=%s",
    "- %i messages deleted", "=%s%n",
    "Corvanthelix is not receiving mail on port %i", "=%s",
    "",
])


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("setpriv"), "needs root to become another user")
class UnprivilegedUser(unittest.TestCase):
    def test_without_stored_ports_it_listens_on_ports_a_user_may_open(self):
        if not (port_free(1110) and port_free(1995)):
            self.skipTest("1110 or 1995 is taken on this machine")
        good = mail("Friend <f@example.org>", "Lunch")
        with FakePop3([good]) as server, UserProxy(stored_ports=False) as proxy:
            received = fetch_all(proxy.pop(server.port, "alice", "pw"))
            self.assertEqual(received, [good])
            wait_for_greeting(1995, use_tls=True)
            self.assertNotIn("administrator", proxy.stderr())
            self.assertIsNone(proxy.process.poll())

    def test_a_stored_low_port_is_tried_and_the_message_names_one_to_use(self):
        with UserProxy(settings={"SERVER": {"Port": 110}}) as proxy:
            deadline = time.monotonic() + 10
            while "administrator" not in proxy.stderr() and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertIn("The local port 110 can only be opened with administrator rights.", proxy.stderr())
            self.assertIn("such as 1110", proxy.stderr())
            self.assertIsNone(proxy.process.poll())

    def test_hostile_language_file_neither_crashes_nor_leaks_into_texts(self):
        good = mail("Friend <f@example.org>", "Lunch")
        spam = mail("Spammer <s@bad.example>", "Cheap")
        settings = dict(BLOCKED)
        settings["CORVANTHELIX"] = {"AutoCheckForUpdates": 0, "Language": "hostile.corvanthelix.language"}
        with FakePop3([good, spam]) as server, \
                UserProxy(settings=settings, extra_files={"hostile.corvanthelix.language": HOSTILE_LANGUAGE}) as proxy:
            for _ in range(2):
                received = fetch_all(proxy.pop(server.port, "alice", "pw"))
                self.assertIn(good, received)
                server.deliver(good)
            self.assertIsNone(proxy.process.poll(), proxy.stderr())
            self.assertEqual(proxy.stop(), 0, proxy.stderr())

    def test_a_folder_it_cannot_write_is_named_and_nothing_else_claimed(self):
        proxy = Proxy()
        proxy.prepare()  # owned by root: nobody may read it but not write it
        os.chmod(proxy.folder, 0o755)
        try:
            run = subprocess.run(
                as_user([os.path.join(PROGRAM_DIR, "corvanthelix"), "--headless", "--home", proxy.folder]),
                stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30)
            self.assertEqual(run.returncode, 1)
            self.assertIn("cannot write to its program folder", run.stderr)
            self.assertIn(proxy.folder, run.stderr)
            self.assertNotIn("already running", run.stderr)
        finally:
            proxy.cleanup()

    @unittest.skipUnless(shutil.which("Xvfb") and os.environ.get("CORVANTHELIX_DESKTOP") != "0",
                         "needs Xvfb and a program built with its desktop")
    def test_on_the_desktop_the_unwritable_folder_is_told_in_a_box(self):
        proxy = Proxy()
        proxy.prepare()
        os.chmod(proxy.folder, 0o755)
        try:
            with desktop.Xvfb() as x:
                blank = xscreen.grab(x.display)[2]
                env = dict(os.environ)
                env.pop("QT_QPA_PLATFORM", None)
                env["DISPLAY"] = x.display
                program = subprocess.Popen(
                    as_user([os.path.join(PROGRAM_DIR, "corvanthelix"), "--home", proxy.folder]),
                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, text=True)
                try:
                    deadline = time.monotonic() + 15
                    while xscreen.grab(x.display)[2] == blank and time.monotonic() < deadline:
                        time.sleep(0.1)
                    time.sleep(0.3)
                    os.makedirs(desktop.SHOTS, exist_ok=True)
                    xscreen.save(x.display, os.path.join(desktop.SHOTS, "unwritable_folder_box.png"))
                    self.assertNotEqual(xscreen.grab(x.display)[2], blank, "no box on the screen")
                    self.assertIsNone(program.poll(), "the program left without waiting for the box")
                finally:
                    program.kill()
                    _, err = program.communicate(timeout=10)
                self.assertIn("cannot write to its program folder", err)
                self.assertIn(proxy.folder, err)
        finally:
            proxy.cleanup()


if __name__ == "__main__":
    unittest.main()

"""The desktop program under a virtual X display with a tray host: a real mail check through the
program (Dovecot behind a slowed relay, Python's poplib as the mail client) animates the tray icon
and shows the status window while it runs; afterwards the window is gone and the tray shows the
number of spam messages. Screenshots of the tray icon and the status window mid-check are saved
as PNG files in the build folder ("screenshots" beside the program folder)."""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import PROGRAM_DIR, Dovecot, Proxy, crlf, fetch_all, free_port, wait_for_greeting  # noqa: E402
import xscreen  # noqa: E402

SCREEN_W, SCREEN_H = 1024, 768
TRAY_W, TRAY_H = 96, 24
TRAY_RECT = (SCREEN_W - TRAY_W, 0, TRAY_W, TRAY_H)          # trayer at the top right
BUBBLE_RECT = (SCREEN_W - 330, SCREEN_H - 270, 330, 270)    # around the status window's corner
BUBBLE_COLOUR = bytes((255, 234, 195))
SHOTS = os.path.join(os.path.dirname(PROGRAM_DIR), "screenshots")


def start_trayer(display):
    """A tray panel (trayer) at the top right of `display`, where the program docks its icon."""
    return subprocess.Popen(
        ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", str(TRAY_W),
         "--heighttype", "pixel", "--height", str(TRAY_H), "--transparent", "false",
         "--tint", "0x303030", "--SetDockType", "true", "--expand", "false"],
        env=dict(os.environ, DISPLAY=display), stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def tray_panel(test, display):
    """Waits until trayer has painted its strip (it may take long on a loaded machine), before the
    program docks into it, and returns the pixels of the empty panel."""
    test.assertTrue(test.wait_for(lambda: xscreen.grab(display, *TRAY_RECT)[2][12][-3:] != b"\0\0\0",
                                  timeout=60.0), "the tray panel did not appear")
    return b"".join(xscreen.grab(display, *TRAY_RECT)[2])


def bubble_pixels(rows):
    return sum(row[i:i + 3] == BUBBLE_COLOUR for row in rows for i in range(0, len(row), 3))


class Xvfb:
    """A virtual X display on a free display number."""

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (SCREEN_W, SCREEN_H),
             "-nolisten", "tcp"], pass_fds=(write_end,), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(timeout=10)


class SlowRelay:
    """Forwards one TCP port to another, passing the server's bytes at `rate` bytes per second, so
    that a mail check takes long enough to be watched."""

    def __init__(self, target_port, rate):
        self.target_port = target_port
        self.rate = rate
        self.port = free_port()
        self.listener = socket.create_server(("127.0.0.1", self.port))
        self.stopping = False
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while not self.stopping:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            server = socket.create_connection(("127.0.0.1", self.target_port))
            threading.Thread(target=self._pump, args=(client, server, None), daemon=True).start()
            threading.Thread(target=self._pump, args=(server, client, self.rate), daemon=True).start()

    @staticmethod
    def _pump(source, sink, rate):
        chunk = 4096
        try:
            while True:
                data = source.recv(chunk)
                if not data:
                    break
                sink.sendall(data)
                if rate:
                    time.sleep(len(data) / rate)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def close(self):
        self.stopping = True
        self.listener.close()


class DesktopProxy(Proxy):
    """The program with its desktop on `display` (no --headless)."""

    def __init__(self, display, **kwargs):
        super().__init__(**kwargs)
        self.display = display

    def start(self, wait=True):
        self.prepare()
        runtime = os.path.join(self.folder, "xdg-runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = dict(os.environ)
        env.pop("QT_QPA_PLATFORM", None)  # the tests' offscreen platform would hide everything
        env.update(DISPLAY=self.display, XDG_RUNTIME_DIR=runtime)
        self.stderr_path = os.path.join(self.folder, "stderr.txt")
        with open(self.stderr_path, "ab") as err:
            self.process = subprocess.Popen([os.path.join(PROGRAM_DIR, "corvanthelix"), "--home", self.folder],
                                            stdin=subprocess.DEVNULL, stdout=err, stderr=err, env=env)
        if wait:
            wait_for_greeting(self.port)


class Sampler:
    """Grabs the tray and the status window's corner every 40 ms in the background."""

    def __init__(self, display):
        self.display = display
        self.samples = []
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while self.running:
            _, _, tray = xscreen.grab(self.display, *TRAY_RECT)
            _, _, corner = xscreen.grab(self.display, *BUBBLE_RECT)
            self.samples.append((b"".join(tray), bubble_pixels(corner)))
            time.sleep(0.04)

    def stop(self):
        self.running = False
        self.thread.join()
        return self.samples


def message(sender, subject, size, number):
    body = "\n".join("line %05d of a longer message about the quarterly budget" % i for i in range(size // 60))
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\nMessage-ID: <d%d@example.org>\n\n%s\n"
                % (sender, subject, number, body))


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("trayer"), "needs Xvfb and trayer")
class DesktopTray(unittest.TestCase):
    def wait_for(self, predicate, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate():
                return True
            time.sleep(0.05)
        return False

    def check_tray_menu(self, display, empty_tray, tray):
        """A right click on the icon opens the tray menu; Escape closes it."""
        columns = [i // 3 % TRAY_W for i in range(0, len(tray), 3) if tray[i:i + 3] != empty_tray[i:i + 3]]
        self.assertTrue(columns, "no icon in the tray")
        icon_x = TRAY_RECT[0] + (min(columns) + max(columns)) // 2
        below = (SCREEN_W - 400, 0, 400, 340)
        before = xscreen.grab(display, *below)[2]
        xscreen.click(display, icon_x, TRAY_H // 2, button=3)
        self.assertTrue(self.wait_for(lambda: xscreen.grab(display, *below)[2] != before, timeout=5),
                        "no menu opened on a right click")
        time.sleep(0.3)
        xscreen.save(display, os.path.join(SHOTS, "tray_menu.png"), *below)
        xscreen.press_key(display, 0xff1b)
        self.assertTrue(self.wait_for(lambda: xscreen.grab(display, *below)[2] == before, timeout=5),
                        "the menu did not close on Escape")

    def test_mail_check_animates_the_tray_and_shows_the_status_window(self):
        os.makedirs(SHOTS, exist_ok=True)
        settings = {"SENDERS": {"*@bad.example": "Bad,1"}, "CORVANTHELIX": {"TrayNumSeconds": 600}}
        with Xvfb() as x, Dovecot({"alice": "pw"}) as dovecot:
            trayer = start_trayer(x.display)
            relay = SlowRelay(dovecot.port, rate=500 * 1024)
            try:
                # trayer paints its strip before the program docks into it.
                # The panel may take long to appear on a loaded machine.
                empty_tray = tray_panel(self, x.display)
                for i in range(10):
                    dovecot.deliver("alice", message("Carol <carol@work.example>", "report %d" % i, 150000, i))
                for i in range(2):
                    dovecot.deliver("alice", message("Spammer <s%d@bad.example>" % i, "offer %d" % i, 20000, 50 + i))

                with DesktopProxy(x.display, settings=settings) as proxy:
                    grab_tray = lambda: b"".join(xscreen.grab(x.display, *TRAY_RECT)[2])  # noqa: E731
                    self.assertTrue(self.wait_for(lambda: grab_tray() != empty_tray),
                                    "the tray icon never docked: " + proxy.stderr())
                    time.sleep(0.5)
                    idle_tray = grab_tray()
                    xscreen.save(x.display, os.path.join(SHOTS, "tray_idle.png"), *TRAY_RECT, scale=4)

                    sampler = Sampler(x.display)
                    client = proxy.pop(relay.port, "alice", "pw")
                    stat = {}
                    checker = threading.Thread(target=lambda: stat.update(reply=client.stat()))
                    checker.start()
                    # Mid-check: the download through the relay takes about three seconds.
                    time.sleep(1.5)
                    self.assertTrue(checker.is_alive(), "the check ended too early to be watched")
                    xscreen.save(x.display, os.path.join(SHOTS, "desktop_mid_check.png"))
                    xscreen.save(x.display, os.path.join(SHOTS, "tray_mid_check.png"), *TRAY_RECT, scale=4)
                    _, _, corner = xscreen.save(x.display, os.path.join(SHOTS, "status_window_mid_check.png"),
                                                *BUBBLE_RECT)
                    checker.join(timeout=60)
                    self.assertEqual(stat["reply"][0], 10)
                    delivered = fetch_all(client)
                    self.assertEqual(len(delivered), 10)
                    time.sleep(1.0)
                    samples = sampler.stop()

                    # The status window stood in the corner during the check and is gone now.
                    self.assertGreater(bubble_pixels(corner), 20000)
                    self.assertGreater(max(count for _, count in samples), 20000)
                    self.assertEqual(samples[-1][1], 0)
                    # The tray icon went through several animation frames ...
                    during = {tray for tray, count in samples if count > 0}
                    self.assertGreaterEqual(len(during), 3, "tray pictures seen during the check: %d" % len(during))
                    # ... and rests on the number icon for the two spam messages.
                    after = grab_tray()
                    time.sleep(0.3)
                    self.assertEqual(grab_tray(), after)
                    self.assertNotEqual(after, idle_tray)
                    xscreen.save(x.display, os.path.join(SHOTS, "tray_after_check.png"), *TRAY_RECT, scale=4)
                    if xscreen.input_available():
                        self.check_tray_menu(x.display, empty_tray, after)
                    self.assertEqual(proxy.stop(), 0, proxy.stderr())
            finally:
                relay.close()
                trayer.terminate()
                trayer.wait(timeout=10)


if __name__ == "__main__":
    unittest.main()

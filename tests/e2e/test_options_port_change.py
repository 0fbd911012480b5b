"""The options dialog of the desktop program under a virtual X display, driven by real input: the
tray menu's Settings opens it, the keyboard walks its tree to the Connection page and types a new
local port, OK and the restart notice's OK. The program starts itself again: the old port stops
answering, the new one greets, and a message delivered to Dovecot is fetched through the new port.
A PNG of the Connection page as shown is saved in the build folder's "screenshots"."""

import os
import shutil
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import crlf, Dovecot, fetch_all, free_port, wait_for_greeting  # noqa: E402
from test_desktop_tray import SCREEN_H, SCREEN_W, SHOTS, TRAY_H, TRAY_RECT, TRAY_W, DesktopProxy, Xvfb, start_trayer, tray_panel  # noqa: E402
import xscreen  # noqa: E402

KEY_S, KEY_DOWN, KEY_TAB, KEY_END, KEY_BACKSPACE, KEY_RETURN = 0x73, 0xFF54, 0xFF09, 0xFF57, 0xFF08, 0xFF0D
KEY_DIGIT = 0x30
# The pages above Connection in the tree: General with its Status window, Tray area and Language.
PAGES_ABOVE_CONNECTION = 4
# From the tree, Tab passes OK, Cancel and Help (Apply is disabled until a change) and then
# reaches the shown page's first field, its port.
TABS_TO_PORT = 4
# Below the tray panel and away from the menu, where the dialog is centred.
SCREEN = (0, TRAY_H, SCREEN_W, SCREEN_H - TRAY_H)


def answers(port):
    """True when something accepts a connection on the local port."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1.0):
            return True
    except OSError:
        return False


def changed_pixels(before, after):
    return sum(old[i:i + 3] != new[i:i + 3] for old, new in zip(before, after) if old != new
               for i in range(0, len(new), 3))


def changed_box(before, after):
    """The bounding box (x, y, w, h) of the pixels that differ between two grabs of SCREEN."""
    xs, ys = [], []
    for y, (old, new) in enumerate(zip(before, after)):
        if old == new:
            continue
        columns = [i // 3 for i in range(0, len(new), 3) if new[i:i + 3] != old[i:i + 3]]
        xs += (columns[0], columns[-1])
        ys.append(y)
    if not xs:
        return None
    return SCREEN[0] + min(xs), SCREEN[1] + min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("trayer") and xscreen.input_available(),
                     "needs Xvfb, trayer and XTEST")
class OptionsPortChange(unittest.TestCase):
    def wait_for(self, predicate, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate():
                return True
            time.sleep(0.05)
        return False

    def keys(self, display, *keysyms):
        for keysym in keysyms:
            xscreen.press_key(display, keysym)
            time.sleep(0.15)

    def test_a_new_port_from_the_dialog_takes_over_after_the_restart(self):
        os.makedirs(SHOTS, exist_ok=True)
        settings = {"CORVANTHELIX": {"AlphaBlending": 0}}
        with Xvfb() as x, Dovecot({"alice": "pw"}) as dovecot:
            trayer = start_trayer(x.display)
            proxy = DesktopProxy(x.display, settings=settings)
            try:
                empty_tray = tray_panel(self, x.display)
                proxy.start()
                old_port, new_port = proxy.port, free_port()
                self.assertNotEqual(old_port, new_port)
                grab_tray = lambda: b"".join(xscreen.grab(x.display, *TRAY_RECT)[2])  # noqa: E731
                self.assertTrue(self.wait_for(lambda: grab_tray() != empty_tray), "no tray icon: " + proxy.stderr())
                time.sleep(0.5)
                tray = grab_tray()
                columns = [i // 3 % TRAY_W for i in range(0, len(tray), 3) if tray[i:i + 3] != empty_tray[i:i + 3]]
                icon_x = TRAY_RECT[0] + (min(columns) + max(columns)) // 2

                # The tray menu, then its Settings item by the access key.
                empty_screen = xscreen.grab(x.display, *SCREEN)[2]
                xscreen.click(x.display, icon_x, TRAY_H // 2, button=3)
                self.assertTrue(self.wait_for(lambda: self.settled(x.display) != empty_screen),
                                "no menu on a right click: " + proxy.stderr())
                menu_screen = self.settled(x.display)
                self.keys(x.display, KEY_S)
                self.assertTrue(self.wait_for(lambda: self.settled(x.display) not in (empty_screen, menu_screen)),
                                "no dialog opened: " + proxy.stderr())
                time.sleep(0.5)

                # The tree has the focus: down to Connection, over to its port, and a new number.
                self.keys(x.display, *[KEY_DOWN] * PAGES_ABOVE_CONNECTION)
                self.keys(x.display, *[KEY_TAB] * TABS_TO_PORT)
                self.keys(x.display, KEY_END, *[KEY_BACKSPACE] * 6)
                self.keys(x.display, *[KEY_DIGIT + int(d) for d in str(new_port)])
                time.sleep(0.3)
                page_screen = xscreen.grab(x.display, *SCREEN)[2]
                box = changed_box(empty_screen, page_screen)
                xscreen.save(x.display, os.path.join(SHOTS, "e2e_options_connection_page.png"), *box)

                # OK, then OK on the notice that the program restarts.
                self.keys(x.display, KEY_RETURN)
                # More than the port field's blinking cursor: the notice is drawn.
                self.assertTrue(self.wait_for(lambda: changed_pixels(page_screen, self.settled(x.display)) > 1000),
                                "no restart notice: " + proxy.stderr())
                self.keys(x.display, KEY_RETURN)
                self.assertTrue(self.wait_for(lambda: not answers(old_port), 30),
                                "the old port still answers: " + proxy.stderr())
                wait_for_greeting(new_port, timeout=30)
                # The same process, run again on the same program folder.
                self.assertIsNone(proxy.process.poll(), proxy.stderr())
                with open("/proc/%d/cmdline" % proxy.process.pid, "rb") as f:
                    arguments = f.read().decode().split("\0")[1:-1]
                self.assertEqual(len(arguments), 2, arguments)
                self.assertEqual(arguments[0], "--home")
                self.assertEqual(os.path.realpath(arguments[1]), os.path.realpath(proxy.folder))
                self.assertIn("Port=%d" % new_port, proxy.read("corvanthelix.ini").decode())

                dovecot.deliver("alice", crlf("From: Carol <carol@work.example>\nTo: alice@example.org\n"
                                              "Subject: after the restart\nMessage-ID: <p1@example.org>\n\n"
                                              "The agenda for the quarterly budget meeting.\n"))
                proxy.port = new_port
                delivered = fetch_all(proxy.pop(dovecot.port, "alice", "pw"))
                self.assertEqual(len(delivered), 1)
                self.assertIn(b"Subject: after the restart", delivered[0])
                self.assertEqual(dovecot.mailbox("alice"), [])
                self.assertEqual(proxy.stop(), 0, proxy.stderr())
            finally:
                proxy.stop()
                proxy.cleanup()
                trayer.terminate()
                trayer.wait(timeout=10)

    def settled(self, display):
        """The screen below the tray once two grabs 0.2 s apart agree (nothing is being drawn)."""
        first = xscreen.grab(display, *SCREEN)[2]
        for _ in range(25):
            time.sleep(0.2)
            second = xscreen.grab(display, *SCREEN)[2]
            if second == first:
                break
            first = second
        return first

if __name__ == "__main__":
    unittest.main()

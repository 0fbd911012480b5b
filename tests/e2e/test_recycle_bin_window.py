"""The recycle bin window of the desktop program under a virtual X display: a real mail check
against Dovecot hides two spam messages; a double click on the tray icon opens the window, which
lists them in bold; Restore on one; the next check delivers it to the mail client byte for byte and
its row leaves the window. After a restart the remaining row is drawn in the normal face. PNGs of
the window are saved in the build folder's "screenshots"."""

import os
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Dovecot, fetch_all  # noqa: E402
from test_desktop_tray import SHOTS, TRAY_H, TRAY_RECT, TRAY_W, DesktopProxy, Xvfb, message, start_trayer, tray_panel  # noqa: E402
import xscreen  # noqa: E402

# Where the window is placed (no window manager: the placement is the window's geometry).
WIN_LEFT, WIN_TOP, WIN_W, WIN_H = 20, 60, 960, 580
RESTORE_BUTTON = (WIN_LEFT + 138, WIN_TOP + 30)
LIST_TOP = WIN_TOP + 84      # first row, below the toolbar and the header
ROW_H = 20
ROW_W = 700                  # sender, subject and date columns
WHITE = b"\xff\xff\xff"


def ink(rows):
    """Pixels of a row strip that differ from its commonest colour (its background)."""
    pixels = [row[i:i + 3] for row in rows for i in range(0, len(row), 3)]
    background = max(set(pixels), key=pixels.count)
    return sum(p != background for p in pixels)


def solid_text(rows):
    """Pixels of a selected row's strip fully covered by its white text: bold strokes cover many
    more than the normal face's, whose strokes are mostly antialiased edges."""
    return sum(row[i:i + 3] == WHITE for row in rows for i in range(0, len(row), 3))


def row_strip(display, index):
    return xscreen.grab(display, WIN_LEFT + 2, LIST_TOP + index * ROW_H + 2, ROW_W, ROW_H - 4)[2]


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("trayer") and xscreen.input_available(),
                     "needs Xvfb, trayer and XTEST")
class RecycleBinWindow(unittest.TestCase):
    def wait_for(self, predicate, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate():
                return True
            time.sleep(0.05)
        return False

    def open_window(self, display, empty_tray, proxy):
        grab_tray = lambda: b"".join(xscreen.grab(display, *TRAY_RECT)[2])  # noqa: E731
        self.assertTrue(self.wait_for(lambda: grab_tray() != empty_tray), "no tray icon: " + proxy.stderr())
        time.sleep(0.5)
        tray = grab_tray()
        columns = [i // 3 % TRAY_W for i in range(0, len(tray), 3) if tray[i:i + 3] != empty_tray[i:i + 3]]
        icon_x = TRAY_RECT[0] + (min(columns) + max(columns)) // 2
        area = (WIN_LEFT, WIN_TOP, WIN_W, WIN_H)
        before = xscreen.grab(display, *area)[2]
        xscreen.click(display, icon_x, TRAY_H // 2)
        xscreen.click(display, icon_x, TRAY_H // 2)
        self.assertTrue(self.wait_for(lambda: xscreen.grab(display, *area)[2] != before),
                        "no window opened on a double click: " + proxy.stderr())
        time.sleep(0.8)

    def test_restore_from_the_window_reaches_the_mail_client(self):
        os.makedirs(SHOTS, exist_ok=True)
        settings = {
            "SENDERS": {"*@bad.example": "Bad,1"},
            "RecycleBinWindow": {"left": WIN_LEFT, "top": WIN_TOP, "right": WIN_LEFT + WIN_W,
                                 "bottom": WIN_TOP + WIN_H, "maximized": 0},
            # The question and the notice of Restore keep their default answers (Yes, OK).
            "OPTIONALMESSAGEBOXES": {"RecycleBinRestoreQuestion": 1, "RecycleBinRestoredInformation": 1},
        }
        spam = [message("Spammer %d <s%d@bad.example>" % (i, i), "offer %d" % i, 3000, 50 + i) for i in range(2)]
        with Xvfb() as x, Dovecot({"alice": "pw"}) as dovecot:
            trayer = start_trayer(x.display)
            try:
                # The panel may take long to appear on a loaded machine.
                empty_tray = tray_panel(self, x.display)
                dovecot.deliver("alice", message("Carol <carol@work.example>", "report", 3000, 1))
                for m in spam:
                    dovecot.deliver("alice", m)
                proxy = DesktopProxy(x.display, settings=settings)
                try:
                    proxy.start()
                    delivered = fetch_all(proxy.pop(dovecot.port, "alice", "pw"))
                    self.assertEqual(len(delivered), 1, "the two spam messages are hidden")

                    self.open_window(x.display, empty_tray, proxy)
                    xscreen.save(x.display, os.path.join(SHOTS, "e2e_recycle_bin_window.png"),
                                 WIN_LEFT, WIN_TOP, WIN_W, WIN_H)
                    # Two rows, the third row position empty.
                    self.assertGreater(ink(row_strip(x.display, 0)), 100)
                    self.assertGreater(ink(row_strip(x.display, 1)), 100)
                    self.assertEqual(ink(row_strip(x.display, 2)), 0)
                    # The selected first row in bold, to be compared with the same kind of row later.
                    bold_selected = solid_text(row_strip(x.display, 0))

                    # Restore the selected first row with the toolbar button: its icon appears.
                    first_before = row_strip(x.display, 0)
                    xscreen.click(x.display, *RESTORE_BUTTON)
                    self.assertTrue(self.wait_for(lambda: row_strip(x.display, 0) != first_before),
                                    "the restored row did not change")
                    xscreen.save(x.display, os.path.join(SHOTS, "e2e_recycle_bin_restored.png"),
                                 WIN_LEFT, WIN_TOP, WIN_W, WIN_H)

                    # The next check delivers the restored message exactly as it was sent.
                    again = fetch_all(proxy.pop(dovecot.port, "alice", "pw"))
                    self.assertEqual(len(again), 1)
                    self.assertIn(again[0], spam)
                    # Its row leaves the open window; one row stays.
                    gone = self.wait_for(lambda: ink(row_strip(x.display, 1)) == 0)
                    xscreen.save(x.display, os.path.join(SHOTS, "e2e_recycle_bin_after_delivery.png"),
                                 WIN_LEFT, WIN_TOP, WIN_W, WIN_H)
                    self.assertTrue(gone, "the delivered message's row stayed in the window")
                    self.assertGreater(ink(row_strip(x.display, 0)), 100)
                    self.assertEqual(proxy.stop(), 0, proxy.stderr())

                    # Closed with the program, the window has marked its rows seen: after a restart
                    # the remaining row is drawn in the normal face.
                    proxy.start()
                    self.open_window(x.display, empty_tray, proxy)
                    self.assertEqual(ink(row_strip(x.display, 1)), 0)
                    normal_selected = solid_text(row_strip(x.display, 0))
                    self.assertLess(normal_selected * 1.5, bold_selected,
                                    "bold %d against normal %d" % (bold_selected, normal_selected))
                    self.assertEqual(proxy.stop(), 0, proxy.stderr())
                finally:
                    proxy.stop()
                    proxy.cleanup()
            finally:
                trayer.terminate()
                trayer.wait(timeout=10)


if __name__ == "__main__":
    unittest.main()

"""The training area and statistics windows of the desktop program under a virtual X display: a
real check against Dovecot files two look-alike spam messages and a ham message, which no filter
judges yet, in the training area; the window opened by a double click on the tray icon lists them;
S, S and N mark them and Learn from the context menu teaches the learning filter, which then
judges a third look-alike spam at the next check (the filter log names it). The statistics window
opened after a restart shows today's bar. PNGs are saved in the build folder's "screenshots"."""

import datetime
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Dovecot, crlf, fetch_all  # noqa: E402
from test_desktop_tray import SCREEN_H, SCREEN_W, SHOTS, TRAY_H, TRAY_RECT, TRAY_W, DesktopProxy, Xvfb, start_trayer, tray_panel  # noqa: E402
import xscreen  # noqa: E402

WIN_LEFT, WIN_TOP, WIN_W, WIN_H = 20, 60, 820, 520
LIST_TOP = WIN_TOP + 84      # first row, below the toolbar and the header
ROW_H = 20
ROW_W = 600
KEY_S, KEY_N, KEY_L, KEY_MENU = 0x73, 0x6E, 0x6C, 0xFF67
BAR_FILL = bytes((170, 220, 255))
SPAM_WORDS = "zorblax quintessa florbinator vexmarl drubbling yantrix glomphire spindlecrank"
HAM_WORDS = "agenda quarterly budget meeting minutes project review timeline"


def message(sender, subject, body, minutes_ago, number):
    when = datetime.datetime.now(datetime.timezone.utc) - datetime.timedelta(minutes=minutes_ago)
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\nDate: %s\nMessage-ID: <t%d@example.org>\n\n%s\n"
                % (sender, subject, when.strftime("%a, %d %b %Y %H:%M:%S +0000"), number, body))


def ink(rows):
    pixels = [row[i:i + 3] for row in rows for i in range(0, len(row), 3)]
    background = max(set(pixels), key=pixels.count)
    return sum(p != background for p in pixels)


def row_strip(display, index):
    return xscreen.grab(display, WIN_LEFT + 2, LIST_TOP + index * ROW_H + 2, ROW_W, ROW_H - 4)[2]


def training_entries(proxy):
    try:
        return proxy.read("training/training.xml").decode(errors="replace").count("<message ")
    except OSError:
        return 0


def filter_lines(proxy):
    log = proxy.read("filter.log").decode(errors="replace").split("\r\n")
    return [line for line in log if line.startswith("\t")]


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("trayer") and xscreen.input_available(),
                     "needs Xvfb, trayer and XTEST")
class TrainingAreaWindow(unittest.TestCase):
    def wait_for(self, predicate, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if predicate():
                return True
            time.sleep(0.05)
        return False

    def double_click_tray(self, display, empty_tray, proxy, area):
        grab_tray = lambda: b"".join(xscreen.grab(display, *TRAY_RECT)[2])  # noqa: E731
        self.assertTrue(self.wait_for(lambda: grab_tray() != empty_tray), "no tray icon: " + proxy.stderr())
        time.sleep(0.5)
        tray = grab_tray()
        columns = [i // 3 % TRAY_W for i in range(0, len(tray), 3) if tray[i:i + 3] != empty_tray[i:i + 3]]
        icon_x = TRAY_RECT[0] + (min(columns) + max(columns)) // 2
        before = xscreen.grab(display, *area)[2]
        xscreen.click(display, icon_x, TRAY_H // 2)
        xscreen.click(display, icon_x, TRAY_H // 2)
        self.assertTrue(self.wait_for(lambda: xscreen.grab(display, *area)[2] != before),
                        "no window opened on a double click: " + proxy.stderr())
        time.sleep(0.8)

    def test_marks_teach_the_learning_filter_and_the_chart_counts_the_day(self):
        os.makedirs(SHOTS, exist_ok=True)
        settings = {
            "CORVANTHELIX": {"TrayDblClk": 40014, "LogFilterResults": 1},
            "TrainingAreaWindow": {"left": WIN_LEFT, "top": WIN_TOP, "right": WIN_LEFT + WIN_W,
                                   "bottom": WIN_TOP + WIN_H, "maximized": 0},
            "OPTIONALMESSAGEBOXES": {"TrainingAreaHasLearned": 1},
        }
        spam = [message("Seller %d <seller%d@sellers.example>" % (i, i), "vexmarl %d" % i,
                        " ".join([SPAM_WORDS] * 3), 3 - i, i) for i in range(2)]
        ham = message("Carol <carol@work.example>", "budget", " ".join([HAM_WORDS] * 3), 10, 5)
        lookalike = message("Other Seller <other@sellers.example>", "yantrix news", SPAM_WORDS, 1, 9)
        window = (WIN_LEFT, WIN_TOP, WIN_W, WIN_H)
        with Xvfb() as x, Dovecot({"alice": "pw"}) as dovecot:
            trayer = start_trayer(x.display)
            try:
                # The panel may take long to appear on a loaded machine.
                empty_tray = tray_panel(self, x.display)
                for m in spam + [ham]:
                    dovecot.deliver("alice", m)
                proxy = DesktopProxy(x.display, settings=settings)
                try:
                    proxy.start()
                    # No filter knows these words yet: everything reaches the client and the
                    # training area.
                    self.assertEqual(len(fetch_all(proxy.pop(dovecot.port, "alice", "pw"))), 3)
                    self.assertTrue(all(", 0, " in line for line in filter_lines(proxy)), filter_lines(proxy))
                    # The training copies are filed just after the answer to QUIT.
                    self.assertTrue(self.wait_for(lambda: training_entries(proxy) == 3), training_entries(proxy))

                    self.double_click_tray(x.display, empty_tray, proxy, window)
                    for row in range(3):
                        self.assertGreater(ink(row_strip(x.display, row)), 100, "row %d is empty" % row)
                    self.assertEqual(ink(row_strip(x.display, 3)), 0)

                    # Newest first: the two spam messages, then the ham. S marks and moves down.
                    xscreen.click(x.display, WIN_LEFT + 200, LIST_TOP + ROW_H // 2)
                    time.sleep(0.3)
                    for key in (KEY_S, KEY_S, KEY_N):
                        xscreen.press_key(x.display, key)
                        time.sleep(0.3)
                    xscreen.save(x.display, os.path.join(SHOTS, "e2e_training_area_marked.png"), *window)
                    # Learn from the context menu (the menu key, then its access key).
                    xscreen.press_key(x.display, KEY_MENU)
                    time.sleep(0.5)
                    xscreen.press_key(x.display, KEY_L)
                    self.assertTrue(self.wait_for(lambda: training_entries(proxy) == 0, 20),
                                    "the marked messages stayed: " + proxy.stderr())
                    self.assertTrue(self.wait_for(lambda: ink(row_strip(x.display, 0)) == 0),
                                    "the learned rows stayed in the window")
                    xscreen.save(x.display, os.path.join(SHOTS, "e2e_training_area_learned.png"), *window)

                    # The next check: the learning filter now judges the look-alike spam.
                    dovecot.deliver("alice", lookalike)
                    self.assertEqual(fetch_all(proxy.pop(dovecot.port, "alice", "pw")), [])
                    last = filter_lines(proxy)[-1]
                    self.assertIn('"yantrix_news"', last)
                    # Judged spam by the learning filter, whose reason names the learned words.
                    self.assertRegex(last, r', -1, "[^"]*", "[^"]*zorblax[^"]*", [0-9.]+\)$')
                    self.assertEqual(proxy.stop(), 0, proxy.stderr())

                    # The statistics window, opened after a restart by the same double click,
                    # draws today's bar at the right of its chart.
                    text = proxy.read("corvanthelix.ini").decode().replace("TrayDblClk=40014", "TrayDblClk=40007")
                    with open(proxy.path("corvanthelix.ini"), "w") as f:
                        f.write(text)
                    self.assertRegex(text, r"Mails=1,")
                    proxy.start()
                    screen = (0, TRAY_H, SCREEN_W, SCREEN_H - TRAY_H)
                    self.double_click_tray(x.display, empty_tray, proxy, screen)
                    rows = xscreen.grab(x.display, *screen)[2]
                    bars = [(i // 3, y) for y, row in enumerate(rows) for i in range(0, len(row), 3)
                            if row[i:i + 3] == BAR_FILL]
                    xscreen.save(x.display, os.path.join(SHOTS, "e2e_statistics_window.png"), *screen)
                    self.assertTrue(bars, "no bar in the chart")
                    # One day only: every bar pixel in one column, and the window's right side.
                    xs = sorted(set(b[0] for b in bars))
                    self.assertLess(xs[-1] - xs[0], 40, xs)
                    self.assertEqual(proxy.stop(), 0, proxy.stderr())
                finally:
                    proxy.stop()
                    proxy.cleanup()
            finally:
                trayer.terminate()
                trayer.wait(timeout=10)


if __name__ == "__main__":
    unittest.main()

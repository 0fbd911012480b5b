"""The chi-square plug-in learning from the training area window of the desktop program under a
virtual X display: a check files two spam messages and a ham message, which no filter judges, in the
training area; S, S and N mark them and Learn from the context menu teaches the host, which passes
them to the plug-in; at the next check the plug-in, first in the chain, blocks a look-alike of the
spam from another sender, and its word database holds the two spam and the one ham."""

import os
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Dovecot, fetch_all  # noqa: E402
from test_desktop_tray import DesktopProxy, Xvfb, start_trayer, tray_panel  # noqa: E402
import test_training_area_window as area  # noqa: E402
import xscreen  # noqa: E402


def learned_counts(database):
    """The spam and non-spam message counts at the start of a word database file: after the magic
    and the 4-byte format version, two varints."""
    assert database.startswith(b"CVXCHISQ"), database[:16]
    rest, counts = database[12:], []
    for _ in range(2):
        value, shift = 0, 0
        while True:
            byte, rest = rest[0], rest[1:]
            value |= (byte & 0x7F) << shift
            shift += 7
            if not byte & 0x80:
                break
        counts.append(value)
    return tuple(counts)


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("trayer") and xscreen.input_available(),
                     "needs Xvfb, trayer and XTEST")
class ChiSquareFromTrainingArea(unittest.TestCase):
    wait_for = area.TrainingAreaWindow.wait_for
    double_click_tray = area.TrainingAreaWindow.double_click_tray

    def test_two_spam_learned_in_the_window_let_the_plugin_block_a_look_alike(self):
        settings = {
            "CORVANTHELIX": {"TrayDblClk": 40014, "LogFilterResults": 1},
            "TrainingAreaWindow": {"left": area.WIN_LEFT, "top": area.WIN_TOP, "right": area.WIN_LEFT + area.WIN_W,
                                   "bottom": area.WIN_TOP + area.WIN_H, "maximized": 0},
            "OPTIONALMESSAGEBOXES": {"TrainingAreaHasLearned": 1},
        }
        spam = [area.message("Seller %d <seller%d@sellers.example>" % (i, i), "vexmarl %d" % i,
                             " ".join([area.SPAM_WORDS] * 3), 3 - i, i) for i in range(2)]
        ham = area.message("Carol <carol@work.example>", "budget", " ".join([area.HAM_WORDS] * 3), 10, 5)
        lookalike = area.message("Other Seller <other@sellers.example>", "yantrix news", area.SPAM_WORDS, 1, 9)
        window = (area.WIN_LEFT, area.WIN_TOP, area.WIN_W, area.WIN_H)
        with Xvfb() as x, Dovecot({"alice": "pw"}) as dovecot:
            trayer = start_trayer(x.display)
            try:
                empty_tray = tray_panel(self, x.display)
                for m in spam + [ham]:
                    dovecot.deliver("alice", m)
                proxy = DesktopProxy(x.display, settings=settings)
                try:
                    proxy.start()
                    # Untrained, the plug-in says nothing: all three pass and wait in the training area.
                    self.assertEqual(len(fetch_all(proxy.pop(dovecot.port, "alice", "pw"))), 3)
                    self.assertTrue(all(", 0, " in line for line in area.filter_lines(proxy)),
                                    area.filter_lines(proxy))
                    self.assertTrue(self.wait_for(lambda: area.training_entries(proxy) == 3),
                                    area.training_entries(proxy))

                    self.double_click_tray(x.display, empty_tray, proxy, window)
                    self.assertTrue(self.wait_for(lambda: all(area.ink(area.row_strip(x.display, row)) > 100
                                                              for row in range(3))), "the list is not filled")
                    # Newest first: the two spam messages, then the ham.
                    xscreen.click(x.display, area.WIN_LEFT + 200, area.LIST_TOP + area.ROW_H // 2)
                    time.sleep(0.3)
                    for key in (area.KEY_S, area.KEY_S, area.KEY_N):
                        xscreen.press_key(x.display, key)
                        time.sleep(0.3)
                    xscreen.press_key(x.display, area.KEY_MENU)
                    time.sleep(0.5)
                    xscreen.press_key(x.display, area.KEY_L)
                    self.assertTrue(self.wait_for(lambda: area.training_entries(proxy) == 0, 20),
                                    "the marked messages stayed: " + proxy.stderr())

                    dovecot.deliver("alice", lookalike)
                    self.assertEqual(fetch_all(proxy.pop(dovecot.port, "alice", "pw")), [])
                    last = area.filter_lines(proxy)[-1]
                    self.assertIn('"yantrix_news"', last)
                    self.assertIn(', -1, "Chi-Square Filter", "chi-square ', last)
                    self.assertEqual(proxy.stop(), 0, proxy.stderr())
                    self.assertEqual(learned_counts(proxy.read("plugins/chisquare/words.db")), (2, 1))
                finally:
                    proxy.stop()
                    proxy.cleanup()
            finally:
                trayer.terminate()
                trayer.wait(timeout=10)


if __name__ == "__main__":
    unittest.main()

"""Slow servers: one that falls silent at each stage of a check and commit (the time-out path, with
AutoAbortOnTimeout=1 and a time-out of one second), and ones that trickle their answers a few
bytes at a time or in pieces that together take longer than the time-out. No message may be lost
or altered, and a clean check follows."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Proxy  # noqa: E402
from fakepop3 import Action, FakePop3  # noqa: E402
from faults import (BLOCKED, assert_invariant, clean_restart_and_check, fetch_everything, ham,  # noqa: E402
                    mail, spam)

SETTINGS = dict(BLOCKED, SERVER={"Timeout": 1}, CORVANTHELIX={"AutoAbortOnTimeout": 1})
MESSAGES = [ham(1), spam(2), ham(3), spam(4)]

NOT_RECEIVED = b"-ERR Corvanthelix: One or more messages could not be received"
NOT_DELETED = (b"-ERR Corvanthelix: One or more messages could not be deleted from the server due to "
               b"connection loss")

# (name, command of the server, part of its answer sent before the silence, the client's answer)
SILENT = [
    ("before the greeting", "CONNECT", 0.0, b"-ERR Corvanthelix: Server is unreachable"),
    ("after PASS", "PASS pw", 0.0, b"-ERR Corvanthelix: Server is unreachable"),
    ("before LIST", "LIST", 0.0, NOT_RECEIVED),
    ("inside UIDL", "UIDL", 0.5, NOT_RECEIVED),
    ("inside RETR", "RETR 3", 0.5, NOT_RECEIVED),
    ("at a DELE of the commit", "DELE 4", 0.0, NOT_DELETED),
    ("at QUIT", "QUIT", 0.0, b"+OK Everything done."),
]


class SlowServers(unittest.TestCase):
    def test_silent_server(self):
        for name, command, part, told in SILENT:
            with self.subTest(name), FakePop3(MESSAGES) as server, Proxy(settings=SETTINGS) as proxy:
                server.on(command, Action(send=part, then="silent"))
                received = []
                started = time.monotonic()
                self.assertEqual(fetch_everything(proxy.port, server.port, received), told)
                # The time-out ended the wait, not anything faster or slower.
                self.assertGreaterEqual(time.monotonic() - started, 0.9)
                self.assertLess(time.monotonic() - started, 10)
                self.assertIsNone(proxy.process.poll(), "the program is still running")
                binned = clean_restart_and_check(self, proxy, server, received)
                assert_invariant(self, MESSAGES, server.messages(), received, binned)

    def test_trickling_server(self):
        long_letter = mail(5, "long letter", body="".join(
            "%s line %d of a long letter\n" % ("." if i % 7 == 0 else "", i) for i in range(300)))
        cases = [
            # A few bytes at a time: every block boundary falls somewhere else, the end line too.
            ("three bytes at a time", MESSAGES, (3, 0.0002)),
            # Pieces that together take three times the time-out: the time-out guards each wait.
            ("pieces slower than the time-out in sum", [long_letter, spam(6)], (3000, 0.6)),
        ]
        for name, messages, trickle in cases:
            with self.subTest(name), FakePop3(messages) as server, Proxy(settings=SETTINGS) as proxy:
                server.trickle = trickle
                received = []
                self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
                server.trickle = None
                binned = clean_restart_and_check(self, proxy, server, received)
                assert_invariant(self, messages, server.messages(), received, binned)
                # Nothing was lost on the way, so nothing was left for the second check.
                self.assertEqual(len(received) + len(binned), len(messages))


if __name__ == "__main__":
    unittest.main()

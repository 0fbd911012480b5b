"""Dropped connections: the mail server closes the connection before LIST, during UIDL and RETR,
before a DELE of the commit and at QUIT; the mail client goes away at each stage of its session.
After each run the program checks again cleanly, and no message may be lost or altered. Also the
server's own refusal of a wrong password reaches the client as the server said it."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Proxy  # noqa: E402
from fakepop3 import Action, FakePop3  # noqa: E402
from faults import (BLOCKED, ClientGone, Pop3Error, Pop3Wire, assert_invariant,  # noqa: E402
                    clean_restart_and_check, fetch_everything, ham, mail, spam, wait_for)

# Server order: ham 1, spam 2, ham 3, spam 4. The check downloads 4 down to 1; the client sees
# ham 3 and 1 as 1 and 2 (its DELE 1 and 2 reach the server as DELE 3 and 1); the commit deletes
# spam 4 and 2.
MESSAGES = [ham(1), spam(2), ham(3), spam(4)]
# For the client's drops, a last message large enough that the client can leave in its middle.
BIG = MESSAGES + [mail(5, "big", body="".join("line %d of a long letter\n" % i for i in range(120000)))]


def drop(send=0.0, update=True):
    return Action(send=send, then="drop", update=update)


NOT_RECEIVED = b"-ERR Corvanthelix: One or more messages could not be received"

# (name, command of the server, its action, what the client must be told first, whether the
# client's own deletions must have reached the server then)
UPSTREAM = [
    ("before LIST", "LIST", drop(), NOT_RECEIVED, False),
    ("during UIDL", "UIDL", drop(0.5), NOT_RECEIVED, False),
    ("during RETR", "RETR 3", drop(0.5), NOT_RECEIVED, False),
    ("before RETR", "RETR 2", drop(), NOT_RECEIVED, False),
    # The commit connects again and repeats there the deletions the lost connection never
    # committed: its own and the client's.
    ("before a DELE of the commit", "DELE 4", drop(), b"+OK Everything done.", True),
    ("after a DELE of the commit", "DELE 2", drop(1.0), b"+OK Everything done.", True),
    # A QUIT lost with the connection committed nothing: the deletions are made good on a new one.
    ("before QUIT", "QUIT", drop(update=False), b"+OK Everything done.", True),
    # A QUIT that arrived: the deletions it committed are not repeated.
    ("after QUIT arrived", "QUIT", drop(), b"+OK Everything done.", True),
]


class DroppedConnections(unittest.TestCase):
    def test_server_drops(self):
        for name, command, action, told, client_deletions_hold in UPSTREAM:
            with self.subTest(name), FakePop3(MESSAGES) as server, Proxy(settings=BLOCKED) as proxy:
                server.on(command, action)
                received = []
                self.assertEqual(fetch_everything(proxy.port, server.port, received), told)
                if client_deletions_hold:
                    self.assertEqual([m for m in received if m in server.messages()], [],
                                     "the client's deletions were forgotten")
                binned = clean_restart_and_check(self, proxy, server, received)
                assert_invariant(self, MESSAGES, server.messages(), received, binned)

    def test_client_drops(self):
        # (name, the client's steps before it closes the connection without QUIT)
        stages = [
            ("after USER", ["USER"]),
            ("after PASS", ["USER", "PASS"]),
            ("after STAT", ["USER", "PASS", "STAT"]),
            ("during RETR", ["USER", "PASS", "STAT", "RETR-HALF"]),
            ("after RETR", ["USER", "PASS", "STAT", "RETR"]),
            ("after DELE", ["USER", "PASS", "STAT", "RETR", "DELE"]),
            ("right after sending QUIT", ["USER", "PASS", "STAT", "RETR", "DELE", "QUIT-SENT"]),
        ]
        for name, steps in stages:
            with self.subTest(name), FakePop3(BIG) as server, Proxy(settings=BLOCKED) as proxy:
                received = []
                client = Pop3Wire(proxy.port)
                try:
                    for step in steps:
                        if step == "USER":
                            client.command("USER 127.0.0.1&alice&%d" % server.port)
                        elif step == "PASS":
                            client.command("PASS pw")
                        elif step == "STAT":
                            client.stat()
                        elif step == "RETR-HALF":
                            client.sock.sendall(b"RETR 1\r\n")
                            client.line()
                            client._fill()  # part of the text, then gone
                        elif step == "RETR":
                            received.append(client.retr(1))
                        elif step == "DELE":
                            client.dele(1)
                        elif step == "QUIT-SENT":
                            client.sock.sendall(b"QUIT\r\n")
                finally:
                    client.close()
                if steps[-1] == "QUIT-SENT":
                    # The commit runs to its end without a client to tell.
                    self.assertTrue(wait_for(lambda: server.received("QUIT") == 1, timeout=10))
                binned = clean_restart_and_check(self, proxy, server, received)
                assert_invariant(self, BIG, server.messages(), received, binned)

    def test_wrong_password_is_relayed_as_the_server_said_it(self):
        with FakePop3(MESSAGES) as server, Proxy(settings=BLOCKED) as proxy:
            client = Pop3Wire(proxy.port)
            try:
                client.command("USER 127.0.0.1&alice&%d" % server.port)
                with self.assertRaises(Pop3Error) as refused:
                    client.command("PASS wrong")
                self.assertEqual(refused.exception.args[0], b"-ERR [AUTH] Authentication failed.")
                with self.assertRaises(ClientGone):
                    client.line()
            finally:
                client.close()
            self.assertEqual(server.messages(), MESSAGES)


if __name__ == "__main__":
    unittest.main()

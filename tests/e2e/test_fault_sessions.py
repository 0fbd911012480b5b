"""Faults of one mail client or one account that must not spoil the others: a client that connects
and says nothing, or stalls in its TLS handshake, while a second client checks its mail; bad
command arguments, which must leave the session (and its deletions) alone; login attempts that
must not grow the host list; a server whose greeting never ends; a server that refuses to send
one message of several; and answers that never end, which must not fill the memory."""

import os
import socket
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Proxy, free_port  # noqa: E402
from fakepop3 import Action, FakePop3  # noqa: E402
from faults import Pop3Error, Pop3Wire, assert_invariant, fetch_everything, ham  # noqa: E402

MESSAGES = [ham(1), ham(2), ham(3), ham(4)]
UNREACHABLE = b"-ERR Corvanthelix: Server is unreachable"
TOO_LONG = b"-ERR Corvanthelix: The mail server sent an answer without end; the mailbox was left as it is"


def raw_reply(client, text):
    """Sends one command and gives the reply line, -ERR or not."""
    try:
        return client.command(text)
    except Pop3Error as refused:
        return refused.args[0]


class IdleClients(unittest.TestCase):
    def test_silent_clients_do_not_hold_up_a_check(self):
        with FakePop3(MESSAGES) as server, Proxy() as proxy:
            # One client reads the greeting and says nothing; another opens the TLS port and never
            # starts its handshake.
            idle = Pop3Wire(proxy.port)
            stalled = socket.create_connection(("127.0.0.1", proxy.ssl_port))
            try:
                received = []
                started = time.monotonic()
                self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
                self.assertLess(time.monotonic() - started, 5, "the second client waited for the first")
                self.assertEqual(sorted(received), sorted(MESSAGES))
                # The idle client is still served once it speaks.
                self.assertTrue(idle.command("USER 127.0.0.1&alice&%d" % server.port).startswith(b"+OK"))
                idle.quit()
            finally:
                idle.close()
                stalled.close()


class BadArguments(unittest.TestCase):
    def test_bad_arguments_are_refused_and_the_session_goes_on(self):
        with FakePop3(MESSAGES[:2]) as server, Proxy() as proxy:
            client = Pop3Wire(proxy.port)
            try:
                # Before the login the transaction commands are refused, and the connection stays.
                for command in ("STAT", "LIST", "RETR 1"):
                    self.assertTrue(raw_reply(client, command).startswith(b"-ERR"), command)
                client.login(server.port)
                self.assertEqual(client.stat()[0], 2)
                delivered = [client.retr(1), client.retr(2)]
                client.dele(1)
                client.dele(2)
                for command in ("RETR -1", "RETR", "RETR 99", "DELE 0", "DELE 99", "DELE -1",
                                "DELE 9223372036854775808", "TOP 0 0", "TOP", "TOP 99 1", "LIST 99",
                                "UIDL 99"):
                    self.assertTrue(raw_reply(client, command).startswith(b"-ERR"), command)
                self.assertEqual(client.stat()[0], 2, "the session and its numbers are intact")
                self.assertEqual(client.quit(), b"+OK Everything done.")
            finally:
                client.close()
            self.assertEqual(sorted(delivered), sorted(MESSAGES[:2]))
            # The deletions were committed: the next check delivers nothing again.
            self.assertEqual(server.messages(), [])
            again = []
            self.assertEqual(fetch_everything(proxy.port, server.port, again), b"+OK Everything done.")
            self.assertEqual(again, [])


class HostList(unittest.TestCase):
    def test_only_accepted_logins_are_recorded(self):
        with FakePop3(MESSAGES[:1]) as server, Proxy() as proxy:
            attempts = [("127.0.0.1", "alice", free_port(), "pw"),   # nothing listens there
                        ("127.0.0.1", "alice", server.port, "wrong"),
                        ("127.0.0.1", "nobody", server.port, "pw"),
                        ("", "alice", server.port, "pw")]
            for host, user, port, password in attempts:
                client = Pop3Wire(proxy.port)
                try:
                    client.command("USER %s&%s&%d" % (host, user, port))
                    raw_reply(client, "PASS %s" % password)
                except Exception:
                    pass
                finally:
                    client.close()
            path = proxy.path("hostlist.xml")

            def hosts():
                with open(path, errors="replace") as f:
                    return f.read().count("<host ")
            self.assertEqual(hosts() if os.path.exists(path) else 0, 0)
            self.assertEqual(fetch_everything(proxy.port, server.port, []), b"+OK Everything done.")
            self.assertEqual(hosts(), 1, "the account that logged in is recorded")


class BrokenServers(unittest.TestCase):
    def test_endless_greeting_is_no_wrong_password(self):
        with FakePop3(MESSAGES[:1]) as server, Proxy() as proxy:
            # 17 MB without a line end: longer than any answer line may be.
            server.greeting = b"+OK " + b"x" * (17 << 20)
            self.assertEqual(fetch_everything(proxy.port, server.port, []), UNREACHABLE)
            self.assertIsNone(proxy.process.poll(), "the program is still running")
            server.greeting = b"+OK fake POP3 ready\r\n"
            received = []
            self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
            self.assertEqual(received, MESSAGES[:1])

    def test_one_refused_message_does_not_block_the_others(self):
        with FakePop3(MESSAGES) as server, Proxy() as proxy:
            received = []
            server.on("RETR 2", Action(reply=b"-ERR cannot read message 2\r\n"))
            self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
            self.assertEqual(sorted(received), sorted([MESSAGES[0], MESSAGES[2], MESSAGES[3]]))
            self.assertEqual(server.messages(), [MESSAGES[1]], "the refused message stays on the server")
            log = proxy.read("server.log").decode(errors="replace")
            self.assertIn("Message 2 was left on the server", log)
            # Once the server sends it, it is filtered and delivered like any new message.
            self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
            assert_invariant(self, MESSAGES, server.messages(), received, [])
            self.assertEqual(len(received), 4)


def endless(first, piece, seconds=8.0):
    """An answer that does not end: `first`, then `piece` again and again for `seconds` at most
    (or until the peer closes)."""
    def send(conn):
        conn.sendall(first)
        chunk = piece * max(1, (1 << 18) // len(piece))
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            conn.sendall(chunk)
    return send


def resident_megabytes(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) // 1024
    return 0


class EndlessAnswers(unittest.TestCase):
    def test_endless_answers_are_abandoned_with_bounded_memory(self):
        cases = [
            ("RETR that never ends", "RETR 1", endless(b"+OK\r\n", b"x" * 78 + b"\r\n")),
            ("LIST that never ends", "LIST", endless(b"+OK\r\n", b"7 1000\r\n")),
            ("UIDL that never ends", "UIDL", endless(b"+OK\r\n", b"7 uid-endless\r\n")),
        ]
        for name, command, answer in cases:
            with self.subTest(name), FakePop3(MESSAGES[:1]) as server, Proxy() as proxy:
                server.on(command, Action(reply=answer))
                peak = [0]
                done = threading.Event()

                def watch():
                    while not done.is_set():
                        peak[0] = max(peak[0], resident_megabytes(proxy.process.pid))
                        time.sleep(0.05)
                watcher = threading.Thread(target=watch)
                watcher.start()
                try:
                    reply = fetch_everything(proxy.port, server.port, [])
                finally:
                    done.set()
                    watcher.join()
                self.assertEqual(reply, TOO_LONG)
                self.assertLess(peak[0], 200, "resident MB at the peak")
                self.assertIsNone(proxy.process.poll(), "the program is still running")
                self.assertEqual(server.messages(), MESSAGES[:1], "left on the server")
                received = []
                self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
                self.assertEqual(received, MESSAGES[:1])


if __name__ == "__main__":
    unittest.main()

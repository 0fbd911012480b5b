"""The program killed with SIGKILL at many moments of a mail check and its commit: during the
downloads, while the client fetches, during the recycle bin and training area writes, between the
server deletions, around the QUIT. After each kill the program is started again on the same folder
and checks the mailbox again; then no message may be lost or altered, and the stores load."""

import os
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Dovecot, Proxy  # noqa: E402
from fakepop3 import Action, FakePop3  # noqa: E402
from faults import (BLOCKED, ClientGone, Pop3Error, Pop3Wire, assert_invariant,  # noqa: E402
                    clean_restart_and_check, fetch_everything, kill_program, mail, mark_in_bin, wait_for)


def body(number):
    lines = ["Paragraph %d of message %d: the agenda, the budget and the review." % (i, number)
             for i in range(60)]
    lines[10] = "."
    lines[20] = ".leading dot"
    lines[30] = "..two leading dots"
    return "\n".join(lines) + "\n"


# Server order: ham 1, spam 2, ham 3, spam 4, ham 5, spam 6. The check downloads 6 down to 1; the
# client sees ham 5, 3, 1 as 1, 2, 3 (its DELE n reaches the server as DELE 5, 3, 1); the commit
# files spam 6, 4, 2 in the bin and deletes them in that order.
MESSAGES = [mail(n, "offer %d" % n, sender="Spammer <s%d@bad.example>" % n, body=body(n)) if n % 2 == 0
            else mail(n, "notes %d" % n, sender="Carol <carol@work.example>", body=body(n))
            for n in range(1, 7)]


def files_in(folder, suffix):
    def found():
        try:
            return any(name.endswith(suffix) or suffix in name for name in os.listdir(folder))
        except OSError:
            return False
    return found


def grown(path):
    def found():
        try:
            return os.path.getsize(path) > 0
        except OSError:
            return False
    return found


# (name, kind, where, action arguments). kind "server": an Action at that upstream command, the
# kill before the answer ("before") or once the given part of it was sent ("after"); "client": a
# kill once the mail client reached that stage; "watch": a kill when a file of the program folder
# appears during the commit.
CASES = [
    ("upstream connection greeted", "server", "CONNECT", "after", {}),
    ("USER upstream", "server", "USER alice", "before", {}),
    ("PASS upstream", "server", "PASS pw", "before", {}),
    ("LIST asked", "server", "LIST", "before", {}),
    ("UIDL half answered", "server", "UIDL", "after", {"send": 0.5}),
    ("first download asked", "server", "RETR 6", "before", {}),
    ("second download half sent", "server", "RETR 5", "after", {"send": 0.5}),
    ("third download sent whole", "server", "RETR 4", "after", {}),
    ("last download sent whole", "server", "RETR 1", "after", {}),
    ("client has the message count", "client", "stat", None, {}),
    ("client has message 1", "client", "retr 1", None, {}),
    ("client's DELE reaches the server", "server", "DELE 3", "before", {}),
    ("client sent QUIT", "client", "quit", None, {}),
    ("first bin file being written", "watch", ("recycle", ".recycle"), None, {}),
    ("first bin entry in the journal", "watch", ("recycle/recyclebin.journal", None), None, {}),
    ("first spam DELE", "server", "DELE 6", "before", {}),
    ("between the spam DELEs", "server", "DELE 4", "after", {}),
    ("last spam DELE answered", "server", "DELE 2", "after", {}),
    ("training area file written", "watch", ("training", ".eml"), None, {}),
    ("UID list written", "watch", ("uid", "uidlist"), None, {}),
    ("QUIT reached the server", "server", "QUIT", "before", {}),
    ("QUIT lost on the way", "server", "QUIT", "before", {"update": False}),
    ("QUIT answered by the server", "server", "QUIT", "after", {}),
]


class KilledProgram(unittest.TestCase):
    def run_case(self, name, kind, where, when, options):
        received = []
        killed = threading.Event()

        with FakePop3(MESSAGES) as server, Proxy(settings=BLOCKED) as proxy:
            def kill():
                kill_program(proxy)
                killed.set()

            if kind == "server":
                hook = {"before": kill} if when == "before" else {"after": kill}
                server.on(where, Action(**hook, **options))
            watcher = None
            if kind == "watch":
                rel, suffix = where
                path = proxy.path(rel)
                predicate = files_in(path, suffix) if suffix else grown(path)

                def watch():
                    if wait_for(predicate, timeout=20, step=0.0002):
                        kill()
                watcher = threading.Thread(target=watch)

            def stage(reached):
                if kind == "client" and where == reached:
                    kill()
                if reached == "quit" and watcher:
                    watcher.start()

            try:
                client = Pop3Wire(proxy.port)
                client.login(server.port)
                count, _ = client.stat()
                stage("stat")
                for number in range(1, count + 1):
                    received.append(client.retr(number))
                    stage("retr %d" % number)
                    client.dele(number)
                client.sock.sendall(b"QUIT\r\n")
                stage("quit")
                client.line()
            except (ClientGone, Pop3Error):
                pass
            if watcher:
                watcher.join()
            # A kill from the server's thread may still be waiting for the process to end.
            self.assertTrue(killed.wait(10), "the program was not killed at: " + name)

            binned = clean_restart_and_check(self, proxy, server, received)
            assert_invariant(self, MESSAGES, server.messages(), received, binned)

    def test_kill_at_each_moment(self):
        for name, kind, where, when, options in CASES:
            with self.subTest(name):
                self.run_case(name, kind, where, when, options)

    def test_kill_while_a_restored_message_is_delivered(self):
        # Large enough that the client can be killed away in its middle.
        restored = mail(1, "wanted after all", sender="Spammer <s1@bad.example>",
                        body="".join(".%d a line of the letter\n" % i for i in range(100000)))
        # (name, the client's stage at which the program dies)
        stages = [("half of it sent", "half"), ("all of it sent", "whole"), ("its removal from the bin", "quit")]
        for name, stage in stages:
            with self.subTest(name), FakePop3([restored]) as server, Proxy(settings=BLOCKED) as proxy:
                received = []
                fetch_everything(proxy.port, server.port, received)
                self.assertEqual((received, server.messages()), ([], []))
                self.assertEqual(proxy.stop(), 0)
                mark_in_bin(proxy.folder, "restored")
                proxy.start()

                journal = proxy.path("recycle/recyclebin.journal")
                client = Pop3Wire(proxy.port)
                try:
                    client.login(server.port)
                    self.assertEqual(client.stat()[0], 1)
                    if stage == "half":
                        client.sock.sendall(b"RETR 1\r\n")
                        client.line()
                        client._fill()
                        kill_program(proxy)
                    else:
                        received.append(client.retr(1))
                        if stage == "whole":
                            kill_program(proxy)
                        else:
                            client.sock.sendall(b"QUIT\r\n")
                            self.assertTrue(wait_for(lambda: os.path.exists(journal), step=0.0002))
                            kill_program(proxy)
                finally:
                    client.close()
                binned = clean_restart_and_check(self, proxy, server, received)
                assert_invariant(self, [restored], server.messages(), received, binned)

    def test_kill_against_a_real_server(self):
        # Dovecot cannot say when a command comes: the program dies when its folder shows a moment.
        moments = [("first bin file being written", "recycle", ".recycle"),
                   ("training area file written", "training", ".eml"),
                   ("UID list written", "uid", "uidlist")]
        for name, rel, suffix in moments:
            with self.subTest(name), Dovecot({"alice": "pw"}) as dovecot, Proxy(settings=BLOCKED) as proxy:
                for m in MESSAGES:
                    dovecot.deliver("alice", m)
                watch = threading.Thread(target=lambda: wait_for(files_in(proxy.path(rel), suffix), timeout=20,
                                                                  step=0.0002) and kill_program(proxy))
                received = []
                watch.start()
                try:
                    fetch_everything(proxy.port, dovecot.port, received)
                except (ClientGone, Pop3Error):
                    pass
                watch.join()
                self.assertIsNotNone(proxy.process.poll(), "the program was not killed at: " + name)
                binned = clean_restart_and_check(self, proxy, dovecot, received)
                assert_invariant(self, MESSAGES, dovecot.mailbox("alice"), received, binned)


if __name__ == "__main__":
    unittest.main()

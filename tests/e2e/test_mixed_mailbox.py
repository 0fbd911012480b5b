"""A mixed mailbox through the real program: friends and clean mail reach the client byte for
byte, blocked senders, spam words and learned spam go to the recycle bin and leave the server,
the training area and the filter log record the new mail, and a second check of the unchanged
mailbox downloads nothing."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import server_commands, Dovecot, Proxy, crlf, fetch_all  # noqa: E402

SPAM_WORDS = "zorblax quintessa florbinator vexmarl drubbling yantrix glomphire spindlecrank"
HAM_WORDS = "agenda quarterly budget meeting minutes project review timeline"


def message(sender, subject, body, number):
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\n"
                "Date: Mon, 05 Jan 2026 10:%02d:00 +0000\nMessage-ID: <m%d@example.org>\n\n%s\n"
                % (sender, subject, number % 60, number, body))


class MixedMailbox(unittest.TestCase):
    def test_mixed_mailbox(self):
        settings = {"SENDERS": {"friend@example.org": "Friend,2", "*@bad.example": "Bad,1"},
                    "CORVANTHELIX": {"LogFilterResults": 1}}
        with Dovecot({"alice": "pw"}) as dovecot, Proxy(settings=settings) as proxy:
            # First check: blocked senders teach the learning filter spam, friends teach it ham.
            for i in range(6):
                dovecot.deliver("alice", message("Spammer <s%d@bad.example>" % i, "offer %d" % i,
                                                 SPAM_WORDS, i))
                dovecot.deliver("alice", message("Friend <friend@example.org>", "notes %d" % i,
                                                 HAM_WORDS, 30 + i))
            client = proxy.pop(dovecot.port, "alice", "pw")
            first = fetch_all(client)
            self.assertEqual(len(first), 6)
            self.assertTrue(all(b"friend@example.org" in m for m in first))
            self.assertEqual(dovecot.mailbox("alice"), [])

            friend = message("Friend <friend@example.org>", "lunch", "see you at noon", 20)
            blocked = message("Spammer <x@bad.example>", "hello", "a blocked sender", 21)
            spam_words = message("Offers <deals@shop.example>", "act now: 100% free big bucks",
                                 "act now, 100% free, big bucks", 22)
            learned = message("Someone <someone@elsewhere.example>", "news", SPAM_WORDS, 23)
            ham1 = message("Carol <carol@work.example>", "budget", HAM_WORDS, 24)
            ham2 = message("Dave <dave@work.example>", "timeline", HAM_WORDS + " review", 25)
            for m in (friend, blocked, spam_words, learned, ham1, ham2):
                dovecot.deliver("alice", m)

            client = proxy.pop(dovecot.port, "alice", "pw")
            received = fetch_all(client, delete=False)
            self.assertEqual(sorted(received), sorted([friend, ham1, ham2]))
            # Numbered from the last server message to the first.
            self.assertEqual(received, [ham2, ham1, friend])
            self.assertEqual(sorted(dovecot.mailbox("alice")), sorted([friend, ham1, ham2]))

            # One filter log line per new message of this check, after its header line.
            log = proxy.read("filter.log").decode(errors="replace").split("\r\n")
            headers = [i for i, line in enumerate(log) if line.startswith("alice @ 127.0.0.1 (")]
            self.assertEqual(len(headers), 2)
            lines = [line for line in log[headers[1] + 1:] if line]
            self.assertEqual(len(lines), 6, lines)
            self.assertTrue(all(line.startswith('\t"') for line in lines))
            by_subject = {re.search(r'\(("[^"]*"|\(null\))', l).group(1): l for l in lines}
            self.assertIn('"(Friend)"', by_subject['"lunch"'])
            self.assertIn(', -1, "(Blocked sender)"', by_subject['"hello"'])
            self.assertIn(", -1, ", by_subject['"news"'])

            # A second check of the unchanged mailbox downloads nothing.
            retr_before = server_commands(proxy, "RETR") + server_commands(proxy, "TOP")
            client = proxy.pop(dovecot.port, "alice", "pw")
            count, _ = client.stat()
            self.assertEqual(count, 3)
            client.uidl()
            client.quit()
            self.assertEqual(server_commands(proxy, "RETR") + server_commands(proxy, "TOP"), retr_before)

            # The indexes are complete once the program has stopped.
            self.assertEqual(proxy.stop(), 0)
            recycle = proxy.path("recycle")
            stored = []
            for name in os.listdir(recycle):
                if name.endswith(".recycle"):
                    with open(os.path.join(recycle, name), "rb") as f:
                        stored.append(f.read())
            # The bin holds each message byte for byte.
            for spam in (blocked, spam_words, learned):
                self.assertIn(spam, stored)
            self.assertEqual(len(stored), 9)
            index = proxy.read("recycle/recyclebin.xml").decode()
            self.assertEqual(index.count("<recyclefile "), 9)

            training = proxy.read("training/training.xml").decode()
            marks = sorted(re.findall(r'block="(\d)"', training))
            # Spam words and learned spam pre-marked spam, the two clean messages non-spam;
            # friends and blocked senders were learned at once instead.
            self.assertEqual(marks, ["1", "1", "2", "2"])
            names = [n for n in os.listdir(proxy.path("training")) if n.endswith(".eml")]
            self.assertEqual(len(names), 4)

            uid_files = os.listdir(proxy.path("uid"))
            self.assertEqual(len(uid_files), 1)


if __name__ == "__main__":
    unittest.main()

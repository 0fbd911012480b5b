"""A first check larger than the memory the program may keep messages in: the copies beyond it
wait in private files of the account's spool folder, and every message still reaches the client,
the recycle bin and the training area byte for byte, each downloaded once; a client that drops
leaves them in the cache as before, and the spool folder is gone after each session."""

import os
import random
import re
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import server_commands, Dovecot, Proxy, crlf, fetch_all  # noqa: E402

WORDS = "alpha budget carrot delta engine fabric garden harbor island jungle kettle ladder".split()


def message(number, sender):
    rng = random.Random(number)
    body = "\n".join(" ".join(rng.choice(WORDS) for _ in range(12)) for _ in range(140))
    return crlf("From: %s\nTo: alice@example.org\nSubject: report %d\nMessage-ID: <s%d@example.org>\n\n%s\n"
                % (sender, number, number, body))


def spool_files(proxy):
    """(folder name, [file modes]) of every spool folder under cache/."""
    cache = proxy.path("cache")
    found = []
    for name in os.listdir(cache) if os.path.isdir(cache) else []:
        if name.endswith(".spool"):
            folder = os.path.join(cache, name)
            found.append((name, [stat.S_IMODE(os.stat(os.path.join(folder, f)).st_mode)
                                 for f in os.listdir(folder)]))
    return found


class SpooledCheck(unittest.TestCase):
    def test_a_check_beyond_the_memory_budget_loses_and_alters_nothing(self):
        # About 10 KB a message, three of them in memory.
        settings = {"SERVER": {"MessageMemoryKB": 32}, "SENDERS": {"*@bad.example": "Bad,1"}}
        with Dovecot({"alice": "pw"}) as dovecot, Proxy(settings=settings) as proxy:
            ham = [message(i, "Colleague <c%d@work.example>" % i) for i in range(24)]
            spam = [message(100 + i, "Seller <s%d@bad.example>" % i) for i in range(6)]
            for i, m in enumerate(ham):
                dovecot.deliver("alice", m)
                if i % 4 == 0:
                    dovecot.deliver("alice", spam[i // 4])
            self.assertTrue(all(9000 < len(m) < 12000 for m in ham + spam))

            client = proxy.pop(dovecot.port, "alice", "pw")
            count, _ = client.stat()
            self.assertEqual(count, len(ham))
            # The check is done: all but the last few copies wait in files only the user can read.
            spooled = spool_files(proxy)
            self.assertEqual(len(spooled), 1, spooled)
            self.assertGreaterEqual(len(spooled[0][1]), 20)
            self.assertEqual(set(spooled[0][1]), {0o600})
            received = []
            for i in range(1, count + 1):
                _, lines, _ = client.retr(i)
                received.append(b"\r\n".join(lines) + b"\r\n")
                client.dele(i)
            client.quit()
            self.assertEqual(sorted(received), sorted(ham))
            self.assertEqual(server_commands(proxy, "RETR"), len(ham) + len(spam))
            self.assertEqual(dovecot.mailbox("alice"), [])

            # Dropped after STAT: the next check takes the copies, spooled or not, from the cache.
            late = [message(200 + i, "Colleague <c%d@work.example>" % i) for i in range(8)]
            for m in late:
                dovecot.deliver("alice", m)
            client = proxy.pop(dovecot.port, "alice", "pw")
            self.assertEqual(client.stat()[0], len(late))
            client.close()
            retr = server_commands(proxy, "RETR")
            self.assertEqual(retr, len(ham) + len(spam) + len(late))
            self.assertEqual(sorted(fetch_all(proxy.pop(dovecot.port, "alice", "pw"))), sorted(late))
            self.assertEqual(server_commands(proxy, "RETR"), retr)

            self.assertEqual(proxy.stop(), 0)
            self.assertEqual(spool_files(proxy), [])
            bin_copies = []
            for name in os.listdir(proxy.path("recycle")):
                if name.endswith(".recycle"):
                    bin_copies.append(proxy.read(os.path.join("recycle", name)))
            self.assertEqual(sorted(bin_copies), sorted(spam))
            # Every new message that no sender list decided waits in the training area as it came.
            training = proxy.read("training/training.xml").decode()
            self.assertEqual(len(re.findall(r'block="2"', training)), len(ham) + len(late))
            copies = [proxy.read(os.path.join("training", n)) for n in os.listdir(proxy.path("training"))
                      if n.endswith(".eml")]
            self.assertEqual(sorted(copies), sorted(ham + late))


if __name__ == "__main__":
    unittest.main()

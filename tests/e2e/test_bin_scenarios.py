"""The recycle bin across checks: spam kept on the server until it is deleted in the bin, and a
restored message delivered at the next check as message 1."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Dovecot, Proxy, crlf, fetch_all  # noqa: E402

SENDERS = {"SENDERS": {"*@bad.example": "Bad,1"}}


def message(sender, subject, number):
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\nMessage-ID: <b%d@example.org>\n\n"
                "body %d\n" % (sender, subject, number, number))


def mark_in_bin(proxy, attribute):
    """Sets a flag on the bin's only entry while the program is stopped."""
    path = proxy.path("recycle/recyclebin.xml")
    with open(path) as f:
        index = f.read()
    entries = re.findall(r"<recyclefile [^>]*/>", index)
    assert len(entries) == 1, entries
    changed = re.sub(r' %s="[^"]*"' % attribute, "", entries[0])
    changed = changed.replace("<recyclefile ", '<recyclefile %s="1" ' % attribute, 1)
    with open(path, "w") as f:
        f.write(index.replace(entries[0], changed))


def bin_entries(proxy):
    with open(proxy.path("recycle/recyclebin.xml")) as f:
        return re.findall(r"<recyclefile [^>]*/>", f.read())


class BinScenarios(unittest.TestCase):
    def test_kept_spam_leaves_the_server_once_deleted_in_the_bin(self):
        settings = dict(SENDERS, CORVANTHELIX={"KeepSpamMails": 1})
        with Dovecot({"alice": "pw"}) as dovecot, Proxy(settings=settings) as proxy:
            spam = message("S <s@bad.example>", "spam", 1)
            ham = message("H <h@good.example>", "ham", 2)
            dovecot.deliver("alice", spam)
            dovecot.deliver("alice", ham)
            self.assertEqual(fetch_all(proxy.pop(dovecot.port, "alice", "pw")), [ham])
            self.assertEqual(dovecot.mailbox("alice"), [spam])  # kept on the server
            self.assertEqual(proxy.stop(), 0)
            self.assertIn('stay="1"', bin_entries(proxy)[0])

            # Unchanged: the next check neither shows nor deletes it.
            proxy.start()
            self.assertEqual(fetch_all(proxy.pop(dovecot.port, "alice", "pw")), [])
            self.assertEqual(dovecot.mailbox("alice"), [spam])
            self.assertEqual(proxy.stop(), 0)

            # Deleted in the bin: the next check deletes it on the server and the entry goes.
            mark_in_bin(proxy, "deleted")
            proxy.start()
            self.assertEqual(fetch_all(proxy.pop(dovecot.port, "alice", "pw")), [])
            self.assertEqual(dovecot.mailbox("alice"), [])
            self.assertEqual(proxy.stop(), 0)
            self.assertEqual(bin_entries(proxy), [])
            self.assertEqual([n for n in os.listdir(proxy.path("recycle")) if n.endswith(".recycle")], [])

    def test_restored_message_comes_first_and_leaves_the_bin(self):
        with Dovecot({"alice": "pw"}) as dovecot, Proxy(settings=SENDERS) as proxy:
            spam = message("S <s@bad.example>", "wanted after all", 3)
            dovecot.deliver("alice", spam)
            self.assertEqual(fetch_all(proxy.pop(dovecot.port, "alice", "pw")), [])
            self.assertEqual(dovecot.mailbox("alice"), [])
            self.assertEqual(proxy.stop(), 0)
            mark_in_bin(proxy, "restored")

            proxy.start()
            new = message("N <n@good.example>", "new", 4)
            dovecot.deliver("alice", new)
            received = fetch_all(proxy.pop(dovecot.port, "alice", "pw"))
            self.assertEqual(len(received), 2)
            self.assertEqual(received[0], spam)  # byte for byte from the bin
            self.assertEqual(received[1], new)
            self.assertEqual(proxy.stop(), 0)
            entries = bin_entries(proxy)
            self.assertEqual(entries, [])

            # Delivered once: the next check does not bring it again.
            proxy.start()
            self.assertEqual(fetch_all(proxy.pop(dovecot.port, "alice", "pw")), [])


if __name__ == "__main__":
    unittest.main()

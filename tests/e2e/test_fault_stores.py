"""Damaged or misleading stores in the program folder: a cached copy cut short while the good copy
is on the server, a recycle bin index cut short, a wrongly binned message with an old Date header
that must still get the bin's full retention time, and a good word list that knows no words."""

import glob
import os
import re
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Proxy  # noqa: E402
from fakepop3 import FakePop3  # noqa: E402
from faults import BLOCKED, Pop3Wire, bin_entries, fetch_everything, ham, mail, spam, wait_for  # noqa: E402


def set_ini(proxy, section, key, value):
    """Sets one key of the program's settings file while the program is stopped."""
    path = proxy.path("corvanthelix.ini")
    with open(path) as f:
        text = f.read()
    line = "%s=%s" % (key, value)
    if re.search(r"(?m)^%s=" % key, text):
        text = re.sub(r"(?m)^%s=.*$" % key, line, text)
    else:
        text = text.replace("[%s]\n" % section, "[%s]\n%s\n" % (section, line), 1)
    with open(path, "w") as f:
        f.write(text)


class DamagedStores(unittest.TestCase):
    def test_cut_cached_copy_is_downloaded_again(self):
        long_letter = mail(1, "long letter", body="".join("line %d of a long letter\n" % i for i in range(120)))
        with FakePop3([long_letter, ham(2)]) as server, Proxy() as proxy:
            # The client goes away after the check: the downloads are kept in the cache.
            client = Pop3Wire(proxy.port)
            client.login(server.port)
            self.assertEqual(client.stat()[0], 2)
            client.close()
            self.assertTrue(wait_for(lambda: len(glob.glob(proxy.path("cache/*/*.eml"))) == 2 and
                                     glob.glob(proxy.path("cache/*/cache.corvanthelix.dat"))))
            copies = glob.glob(proxy.path("cache/*/*.eml"))
            for path in copies:
                with open(path, "rb") as f:
                    data = f.read()
                if data == long_letter:
                    with open(path, "wb") as f:
                        f.write(data[:900])
            received = []
            self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
            self.assertEqual(sorted(received), sorted([long_letter, ham(2)]), "whole copies only")
            self.assertEqual(server.messages(), [])

    def test_cut_bin_index_is_rebuilt_and_said_so(self):
        settings = dict(BLOCKED, CORVANTHELIX={"KeepSpamMails": 1})
        with FakePop3([spam(1), spam(2), ham(3)]) as server, Proxy(settings=settings) as proxy:
            received = []
            self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
            self.assertEqual(received, [ham(3)])
            self.assertEqual(proxy.stop(), 0)
            index_path = proxy.path("recycle/recyclebin.xml")
            with open(index_path, "rb") as f:
                index = f.read()
            # Cut short before its closing tag, as a write stopped early leaves it.
            with open(index_path, "wb") as f:
                f.write(index[:index.rindex(b"</recyclebin>")])
            proxy.start()
            for _ in range(2):
                self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
            self.assertEqual(received, [ham(3)], "the binned spam is not shown")
            self.assertEqual(sorted(server.messages()), sorted([spam(1), spam(2)]), "kept on the server")
            self.assertEqual(proxy.stop(), 0)
            self.assertEqual(len(glob.glob(proxy.path("recycle/*.recycle"))), 2, "no orphan copies")
            self.assertEqual(len(bin_entries(proxy.folder)), 2)
            kept = glob.glob(proxy.path("recycle/recyclebin.damaged-*.xml"))
            self.assertEqual(len(kept), 1)
            self.assertEqual(proxy.stderr().count("recycle bin's index was damaged"), 1, proxy.stderr())

    def test_bin_keeps_an_old_dated_message_for_its_full_time(self):
        old = mail(1, "notes from 2024", sender="Spammer <s1@bad.example>").replace(
            b"Date: Mon, 05 Jan 2026", b"Date: Fri, 05 Jan 2024")
        settings = dict(BLOCKED, CORVANTHELIX={"RecycleBinMaxDays": 30})
        with FakePop3([old]) as server, Proxy(settings=settings) as proxy:
            self.assertEqual(fetch_everything(proxy.port, server.port, []), b"+OK Everything done.")
            self.assertEqual(proxy.stop(), 0)
            # The next day's ageing runs at the next check.
            set_ini(proxy, "CORVANTHELIX", "RecycleOldMessagesLast", 0)
            proxy.start()
            self.assertEqual(fetch_everything(proxy.port, server.port, []), b"+OK Everything done.")
            self.assertEqual(proxy.stop(), 0)
            entries = bin_entries(proxy.folder)
            self.assertEqual(len(entries), 1, "the entry is still in the bin")
            attributes, data = entries[0]
            self.assertEqual(data, old)
            self.assertNotEqual(attributes.get("deleted"), "1")

    def test_damaged_good_word_list_does_not_bin_all_mail(self):
        def word_list(messages, words):
            body = b"".join(bytes([len(w)]) + w + struct.pack("<I", n) for w, n in words)
            return struct.pack("<IIII", 1, len(words), messages, 0) + body
        words = [b"weekly", b"meeting", b"agenda", b"budget", b"review"]
        files = {
            # A good list that counts 1000 messages but holds no word, beside a sound bad list that
            # knows the words of the mail below.
            "training/good.corvanthelix.wordlist": word_list(1000, []),
            "training/bad.corvanthelix.wordlist": word_list(10, [(w, 50) for w in words]),
        }
        hams = [mail(i, "weekly meeting %d" % i, body="meeting agenda budget review\n") for i in range(1, 7)]
        with FakePop3(hams) as server, Proxy(extra_files=files) as proxy:
            received = []
            self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
            self.assertEqual(sorted(received), sorted(hams), "no ham went into the bin")
            self.assertEqual(proxy.stop(), 0)
            self.assertEqual(bin_entries(proxy.folder), [])
            self.assertEqual(len(glob.glob(proxy.path("training/good.corvanthelix.wordlist.damaged-*"))), 1)
            self.assertEqual(proxy.stderr().count("word list of the Learning Filter was damaged"), 1)


if __name__ == "__main__":
    unittest.main()

"""Backup and restore of a program folder that a real mail check filled: the recycle bin and the
training area hold what the check filed, a scripted export while the program runs is refused,
an export after it stopped, a wiped folder and an import give back every file byte for byte, the
restarted program loads the restored bin, and a damaged backup changes nothing."""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import PROGRAM_DIR, Dovecot, Proxy, crlf, fetch_all  # noqa: E402

PARTS = "ini,spamwords,memory,recycle,training"


def message(sender, subject, number):
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\nMessage-ID: <b%d@example.org>\n\n"
                "body %d\n" % (sender, subject, number, number))


def tree(folder, parts=("corvanthelix.ini", "recycle", "training")):
    """Path -> SHA-256 of every file of the backed-up parts of a program folder."""
    found = {}
    for part in parts:
        top = os.path.join(folder, part)
        paths = [top] if os.path.isfile(top) else [os.path.join(d, f) for d, _, fs in os.walk(top) for f in fs]
        for path in paths:
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = hashlib.sha256(f.read()).hexdigest()
    return found


def backup(*args):
    return subprocess.run([os.path.join(PROGRAM_DIR, "corvanthelix")] + list(args),
                          capture_output=True, text=True, timeout=60)


class BackupRestore(unittest.TestCase):
    def test_round_trip_through_a_wiped_folder(self):
        outside = tempfile.mkdtemp(prefix="corvanthelix-backup-")
        self.addCleanup(shutil.rmtree, outside, True)
        archive = os.path.join(outside, "all.corvanthelix.backup")
        settings = {"SENDERS": {"*@bad.example": "Bad,1"}}
        with Dovecot({"alice": "pw"}) as dovecot:
            proxy = Proxy(settings=settings)
            self.addCleanup(proxy.cleanup)
            proxy.start()
            for i in range(3):
                dovecot.deliver("alice", message("Spammer <s%d@bad.example>" % i, "offer %d" % i, i))
                dovecot.deliver("alice", message("Carol <carol@work.example>", "notes %d" % i, 10 + i))
            self.assertEqual(len(fetch_all(proxy.pop(dovecot.port, "alice", "pw"))), 3)

            running = backup("--home", proxy.folder, "--export-backup", archive, "--backup-parts", PARTS)
            self.assertEqual(running.returncode, 1)
            self.assertIn("runs in", running.stderr)
            self.assertFalse(os.path.exists(archive))
            self.assertEqual(proxy.stop(), 0)

            index = proxy.read("recycle/recyclebin.xml").decode()
            self.assertEqual(len(re.findall(r"<recyclefile ", index)), 3)
            self.assertTrue([f for f in os.listdir(proxy.path("training")) if f.endswith(".eml")])
            before = tree(proxy.folder)

            exported = backup("--home", proxy.folder, "--export-backup", archive, "--backup-parts", PARTS)
            self.assertEqual(exported.returncode, 0, exported.stderr)

            # A backup cut short refuses to import and leaves the folder as it was.
            damaged = os.path.join(outside, "damaged.corvanthelix.backup")
            with open(archive, "rb") as f, open(damaged, "wb") as g:
                g.write(f.read()[:-7])
            refused = backup("--home", proxy.folder, "--import-backup", damaged, "--backup-parts", PARTS)
            self.assertEqual(refused.returncode, 1)
            self.assertIn("backup failed", refused.stderr)
            self.assertEqual(tree(proxy.folder), before)

            for part in ("recycle", "training"):
                shutil.rmtree(proxy.path(part))
            os.remove(proxy.path("corvanthelix.ini"))
            imported = backup("--home", proxy.folder, "--import-backup", archive, "--backup-parts", PARTS)
            self.assertEqual(imported.returncode, 0, imported.stderr)
            self.assertIn("replaced recycle/", imported.stdout)
            self.assertEqual(tree(proxy.folder), before)

            # The restarted program reads the restored bin: the next check files the next spam
            # beside the three restored entries.
            proxy.start()
            dovecot.deliver("alice", message("Spammer <s9@bad.example>", "again", 9))
            fetch_all(proxy.pop(dovecot.port, "alice", "pw"))
            self.assertEqual(proxy.stop(), 0)
            index = proxy.read("recycle/recyclebin.xml").decode()
            self.assertEqual(len(re.findall(r"<recyclefile ", index)), 4, index)


if __name__ == "__main__":
    unittest.main()

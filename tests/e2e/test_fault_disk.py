"""A full disk: the program folder on a small file system (a tmpfs the test mounts) that is filled
up to a few kilobytes before a mail check, so that the commit runs out of space at different
points (a case per page of free space): before anything, in the recycle bin's first or a later
message file, in its journal, in the training area, the word lists or the UID list. No spam may leave the server without a durable
copy in the bin; once space is freed, the program starts, checks and stops cleanly on the same
folder, and no message is lost or altered. Skipped, saying why, where mounting is not permitted."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Proxy  # noqa: E402
from fakepop3 import FakePop3  # noqa: E402
from faults import BLOCKED, assert_invariant, clean_restart_and_check, fetch_everything, mail  # noqa: E402


def body(number):
    return "".join("Line %d of message %d: the agenda, the budget and the review.\n" % (i, number)
                   for i in range(300))


# Server order: ham 1, spam 2, ham 3, spam 4, ham 5, spam 6, about 18 KB each.
MESSAGES = [mail(n, "offer %d" % n, sender="Spammer <s%d@bad.example>" % n, body=body(n)) if n % 2 == 0
            else mail(n, "notes %d" % n, sender="Carol <carol@work.example>", body=body(n))
            for n in range(1, 7)]

# Bytes left free before the check, page by page: a commit with room writes about 150 KB, so every
# write of the commit is the first to fail in one case or another.
FREE_SPACE = list(range(0, 160 * 1024, 4096))


def mount_tmpfs(folder, size):
    """Mounts a tmpfs of `size` bytes on `folder`; an error text when that is not permitted."""
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d,mode=0700" % size, "tmpfs", folder],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return None if result.returncode == 0 else (result.stdout.strip() or "mount failed")


def free_bytes(folder):
    info = os.statvfs(folder)
    return info.f_bavail * info.f_frsize


def fill(folder, leave):
    """Writes a filler file so that about `leave` bytes stay free; returns its path."""
    path = os.path.join(folder, "filler")
    with open(path, "wb") as f:
        chunk = b"\0" * 65536
        while free_bytes(folder) > leave + len(chunk):
            f.write(chunk)
            f.flush()
        while free_bytes(folder) > leave:
            f.write(b"\0" * 4096)
            f.flush()
    return path


class FullDisk(unittest.TestCase):
    def setUp(self):
        self.mount = tempfile.mkdtemp(prefix="corvanthelix-tmpfs-")
        # Room for the copied plug-ins; the filler takes the rest.
        error = mount_tmpfs(self.mount, 32 << 20)
        if error:
            os.rmdir(self.mount)
            self.skipTest("cannot mount a small file system for the program folder here: " + error)
        self.addCleanup(self.unmount)

    def unmount(self):
        subprocess.run(["umount", self.mount], check=False)
        os.rmdir(self.mount)

    def test_commit_on_a_full_disk(self):
        for leave in FREE_SPACE:
            with self.subTest(free=leave), FakePop3(MESSAGES) as server:
                home = os.path.join(self.mount, "home%d" % leave)
                os.mkdir(home, 0o700)
                proxy = Proxy(settings=BLOCKED, folder=home)
                try:
                    self.run_case(proxy, server, home, leave)
                finally:
                    proxy.kill()
                    proxy.cleanup()
                    subprocess.run(["rm", "-rf", home], check=False)

    def run_case(self, proxy, server, home, leave):
        proxy.start()
        filler = fill(self.mount, leave)
        received = []
        answer = fetch_everything(proxy.port, server.port, received)
        self.assertTrue(answer.startswith(b"+OK") or answer.startswith(b"-ERR Corvanthelix: "), answer)
        self.assertIsNone(proxy.process.poll(), "the program is still running on a full disk")
        # Spam whose bin copy could not be written is still on the server.
        for spam in MESSAGES[1::2]:
            if spam not in server.messages():
                self.assertIn(spam, list(self.bin_files(home)), "deleted without a bin copy")
        # A stop on the full disk (the journal cannot be folded into the index) harms nothing.
        proxy.stop()

        os.remove(filler)
        binned = clean_restart_and_check(self, proxy, server, received)
        assert_invariant(self, MESSAGES, server.messages(), received, binned)

    @staticmethod
    def bin_files(home):
        folder = os.path.join(home, "recycle")
        for name in os.listdir(folder) if os.path.isdir(folder) else []:
            if name.endswith(".recycle"):
                with open(os.path.join(folder, name), "rb") as f:
                    yield f.read()


if __name__ == "__main__":
    unittest.main()

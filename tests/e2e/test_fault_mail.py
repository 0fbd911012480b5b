"""Hostile mail through the program: a header without its end, a 1 MB header line, a 17 MB line
(longer than any answer line may be), 10,000 MIME parts, MIME parts nested thousands deep,
boundaries that never close, NUL bytes, bare line feeds and carriage returns, broken base64,
quoted-printable and encoded words, bytes that are no character set's, a message without its last
line end, and a 50 MB message. Each comes once from an unknown sender (filtered, then fetched by
the client) and once from a blocked sender (into the recycle bin). The program must stay up,
answer the client normally, and no message may be lost or altered on its way to the client or into
the bin."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Proxy  # noqa: E402
from fakepop3 import FakePop3  # noqa: E402
from faults import BLOCKED, assert_invariant, clean_restart_and_check, fetch_everything  # noqa: E402


def head(sender, subject, extra=b""):
    return (b"From: " + sender + b"\r\nTo: alice@example.org\r\nSubject: " + subject +
            b"\r\nDate: Mon, 05 Jan 2026 10:00:00 +0000\r\n" + extra)


def multipart(boundary, parts, close=True):
    out = b"".join(b"--" + boundary + b"\r\nContent-Type: text/plain\r\n\r\n" + p + b"\r\n" for p in parts)
    return out + (b"--" + boundary + b"--\r\n" if close else b"")


def nested(depth):
    opening = b"".join(b"Content-Type: multipart/mixed; boundary=\"n%d\"\r\n\r\n--n%d\r\n" % (i, i)
                       for i in range(depth))
    return opening + b"Content-Type: text/plain\r\n\r\ninnermost\r\n"


CT_MIXED = b"MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b0\"\r\n"

# (name, the message from `sender`)
CORPUS = [
    ("no header end", lambda s: head(s, b"no end", b"X-Last: header\r\nX-More: still header\r\n")),
    ("1 MB header line", lambda s: head(s, b"long", b"X-Long: " + b"A" * (1 << 20) + b"\r\n") + b"\r\nbody\r\n"),
    ("17 MB line without a break", lambda s: head(s, b"one line") + b"\r\n" + b"x" * (17 << 20) + b"\r\n"),
    ("10,000 MIME parts", lambda s: head(s, b"parts", CT_MIXED) + b"\r\n" +
        multipart(b"b0", [b"part %d" % i for i in range(10000)])),
    ("MIME parts nested 5,000 deep", lambda s: head(s, b"deep", b"MIME-Version: 1.0\r\n") + nested(5000)),
    ("unterminated boundaries", lambda s: head(s, b"open", CT_MIXED) + b"\r\n" +
        multipart(b"b0", [b"one", b"Content-Type: multipart/alternative; boundary=\"b1\"\r\n\r\n--b1\r\nx"],
                  close=False)),
    ("boundary that never comes", lambda s: head(s, b"none", CT_MIXED) + b"\r\nno boundary here\r\n"),
    ("NUL bytes", lambda s: head(s, b"nul\x00 in subject", b"X-Nul: a\x00b\r\n") + b"\r\nbody\x00with\x00\x00NULs\r\n"),
    ("bare line feeds", lambda s: (head(s, b"bare lf") + b"\r\nline one\nline two\n.dot after a bare lf\n"
                                   b"..two\n").replace(b"\r\n", b"\n")),
    ("bare carriage returns", lambda s: head(s, b"bare cr") + b"\r\nline\rmore\r.dot\r\r\n"),
    ("invalid encodings", lambda s: head(
        s, b"=?utf-8?B?!!!invalid?= =?x-unknown?Q?=ZZ=?= =?utf-8?Q?caf=C3?=",
        b"MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b0\"\r\n") + b"\r\n" +
        b"--b0\r\nContent-Transfer-Encoding: base64\r\n\r\n!!!!====abc$$$\r\n"
        b"--b0\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nbroken =ZZ =\r\nsoft=\r\n"
        b"--b0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n\xff\xfe\xc3\x28 \xed\xa0\x80\r\n--b0--\r\n"),
    ("8-bit header bytes", lambda s: head(s, b"\xe9t\xe9 \xff", b"X-Raw: \x80\x81\x82\r\n") + b"\r\nbody\r\n"),
    ("no last line end", lambda s: head(s, b"unended") + b"\r\nthe last line has no end"),
    ("only dots", lambda s: head(s, b"dots") + b"\r\n.\r\n..\r\n...\r\n.\r\n"),
]


def wire_form(message):
    """The message as a POP3 RETR gives it: with its last line ended."""
    return message if message.endswith(b"\r\n") else message + b"\r\n"


class HostileMail(unittest.TestCase):
    def run_mailbox(self, messages, settings=BLOCKED):
        with FakePop3(messages) as server, Proxy(settings=settings) as proxy:
            received = []
            self.assertEqual(fetch_everything(proxy.port, server.port, received), b"+OK Everything done.")
            self.assertIsNone(proxy.process.poll(), "the program is still running")
            binned = clean_restart_and_check(self, proxy, server, received)
            originals = [wire_form(m) for m in messages]
            assert_invariant(self, originals, server.messages(), received, binned)
            # Nothing stayed behind: each message reached the client or the bin at the first check.
            self.assertEqual(server.messages(), [])
            return received, binned

    def test_hostile_corpus(self):
        for name, make in CORPUS:
            with self.subTest(name):
                unknown = make(b"Stranger <stranger@elsewhere.example>")
                blocked = make(b"Spammer <s@bad.example>")
                self.run_mailbox([unknown, blocked])

    def test_fifty_megabytes(self):
        line = b"0123456789 abcdefghij klmnopqrst uvwxyz ABCDEFGHIJ KLMNOPQRST UVWXYZ\r\n"
        body = line * (50 * (1 << 20) // len(line))
        big = head(b"Big <big@elsewhere.example>", b"fifty megabytes") + b"\r\n" + body
        started = time.monotonic()
        received, binned = self.run_mailbox([big])
        self.assertEqual(len(received) + len(binned), 1)
        self.assertLess(time.monotonic() - started, 120)


if __name__ == "__main__":
    unittest.main()

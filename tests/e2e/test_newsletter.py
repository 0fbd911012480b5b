"""The two plug-ins in the real program: a newsletter whose subject carries a listed signature
reaches the mail client although its spam words would have sent it to the recycle bin, and stays
out of the training area; the same message without the signature, and the newsletter itself with
the plug-in switched off, are blocked by the spam-word filter; an attachment with an extension of
the shipped list is blocked with its extension as the reason."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Dovecot, Proxy, crlf, fetch_all  # noqa: E402

SIGNATURE = "[Weekly-Digest]"
SPAM_SUBJECT = "act now: 100% free big bucks"
SPAM_BODY = "act now, 100% free, big bucks"


def message(sender, subject, body, number, extra_headers=""):
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\n"
                "Date: Mon, 05 Jan 2026 10:%02d:00 +0000\nMessage-ID: <n%d@example.org>\n%s\n%s\n"
                % (sender, subject, number % 60, number, extra_headers, body))


NEWSLETTER = message("Digest <digest@news.example>", "%s %s" % (SIGNATURE, SPAM_SUBJECT), SPAM_BODY, 1)
LOOKALIKE = message("Offers <deals@shop.example>", SPAM_SUBJECT, SPAM_BODY, 2)
CLEAN = message("Carol <carol@work.example>", "budget meeting", "the agenda for the quarterly review", 3)
ATTACHMENT = message(
    "Courier <parcel@delivery.example>", "your parcel", "--B\nContent-Type: text/plain\n\nSee the label.\n"
    "--B\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"Label.PIF\"\n\n"
    "TVqQAAMAAAAEAAAA\n--B--", 4,
    extra_headers="MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"B\"\n")


def q_encode(text):
    """The log's encoding of free text: letters, digits and !*+-/ kept, space as _, else =XX."""
    keep = set(b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!*+-/")
    return "".join(chr(b) if b in keep else "_" if b == 0x20 else "=%02X" % b for b in text.encode())


def filter_log_lines(proxy):
    """The message lines of the filter log by subject (as the log encodes it)."""
    log = proxy.read("filter.log").decode(errors="replace").split("\r\n")
    lines = [line for line in log if line.startswith('\t"')]
    return {re.search(r'\t"[^"]*" \("([^"]*)"', line).group(1): line for line in lines}


def stored_messages(proxy, folder, suffix):
    """The message files with the suffix in a folder of the program (recycle bin, training area)."""
    folder = proxy.path(folder)
    result = []
    for name in os.listdir(folder):
        if name.endswith(suffix):
            with open(os.path.join(folder, name), "rb") as f:
                result.append(f.read())
    return result


class Newsletter(unittest.TestCase):
    def run_check(self, settings, messages):
        """One mail check of alice's mailbox through a fresh program with the signature listed:
        what the client received, the filter log lines by subject, the recycled messages and the
        messages filed for training."""
        files = {"plugins/newsletter/signatures.dat": SIGNATURE + "\n"}
        with Dovecot({"alice": "pw"}) as dovecot, Proxy(settings=settings, extra_files=files) as proxy:
            for m in messages:
                dovecot.deliver("alice", m)
            received = fetch_all(proxy.pop(dovecot.port, "alice", "pw"), delete=False)
            self.assertEqual(proxy.stop(), 0, proxy.stderr())
            return (received, filter_log_lines(proxy), stored_messages(proxy, "recycle", ".recycle"),
                    stored_messages(proxy, "training", ".eml"))

    def test_a_listed_signature_lets_the_newsletter_pass_the_spam_words(self):
        settings = {"CORVANTHELIX": {"LogFilterResults": 1}}
        received, log, bin_, training = self.run_check(settings, [NEWSLETTER, LOOKALIKE, CLEAN, ATTACHMENT])

        self.assertEqual(sorted(received), sorted([NEWSLETTER, CLEAN]))
        self.assertIn(', 1, "Newsletter Plugin", ', log[q_encode("%s %s" % (SIGNATURE, SPAM_SUBJECT))])
        lookalike_line = log[q_encode(SPAM_SUBJECT)]
        self.assertIn(", -1, ", lookalike_line)
        self.assertNotIn("Newsletter Plugin", lookalike_line)
        self.assertIn(', -1, "Attachment Filter", ".PIF", ', log[q_encode("your parcel")])
        # The bin holds each message byte for byte.
        self.assertEqual(sorted(bin_), sorted([LOOKALIKE, ATTACHMENT]))

        # Handled by the plug-in, the newsletter is not filed for training; the clean message is.
        self.assertFalse([m for m in training if b"Weekly-Digest" in m], "newsletter filed for training")
        self.assertTrue([m for m in training if b"budget meeting" in m])

    def test_without_the_plugin_the_spam_word_filter_blocks_the_newsletter(self):
        settings = {"CORVANTHELIX": {"LogFilterResults": 1}, "PLUGINS": {"newsletter.so": 0}}
        received, log, bin_, _ = self.run_check(settings, [NEWSLETTER, CLEAN])

        self.assertEqual(received, [CLEAN])
        self.assertEqual(bin_, [NEWSLETTER])
        self.assertIn(", -1, ", log[q_encode("%s %s" % (SIGNATURE, SPAM_SUBJECT))])


if __name__ == "__main__":
    unittest.main()

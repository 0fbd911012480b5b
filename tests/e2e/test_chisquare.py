"""The chi-square plug-in in the real program: untrained it lets everything through; once the host
has learned two spam (blocked senders, learned automatically at the commit) and a friend's message,
a look-alike of the spam from a sender on no list is blocked by the plug-in at the next check, while
a colleague's message still reaches the client. Its word database is in the plug-in's folder."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Dovecot, Proxy, crlf, fetch_all  # noqa: E402

# Made-up words, so that no shipped spam word decides before or after the plug-in.
SPAM_BODY = ("Zorblax quintessa florbinator vexmarl drubbling yantrix glomphire spindlecrank "
             "trillowax marbentine quoskel fendrapple")
HAM_BODY = ("Attached are the minutes of the quarterly planning meeting; the budget review moves to "
            "Thursday and the project timeline needs your comments")


def message(sender, subject, body, number):
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\n"
                "Date: Mon, 05 Jan 2026 10:%02d:00 +0000\nMessage-ID: <q%d@example.org>\n\n%s\n"
                % (sender, subject, number % 60, number, body))


FRIEND = message("Friend <friend@example.org>", "Planning notes", HAM_BODY + " before Friday", 1)
BLOCKED = [message("Rates <offers@loans.example>", "Zorblax quintessa today", SPAM_BODY, 2),
           message("Rates <deals@loans.example>", "Quintessa florbinator now", SPAM_BODY + " today", 3)]
LOOKALIKE = message("Rate Desk <desk@mortgage-news.example>", "Zorblax quintessa now", SPAM_BODY, 4)
COLLEAGUE = message("Carol <carol@work.example>", "Meeting minutes", HAM_BODY, 5)


def filter_log(proxy):
    return proxy.read("filter.log").decode(errors="replace")


class ChiSquare(unittest.TestCase):
    def two_checks(self, first):
        """A check of `first`, then one of the look-alike and the colleague's message, through one
        program: what the client received at the second check, the filter log and the database."""
        settings = {"SENDERS": {"friend@example.org": "Friend,2", "*@loans.example": "Rates,1"},
                    "CORVANTHELIX": {"LogFilterResults": 1}}
        with Dovecot({"alice": "pw"}) as dovecot, Proxy(settings=settings) as proxy:
            for m in first:
                dovecot.deliver("alice", m)
            fetch_all(proxy.pop(dovecot.port, "alice", "pw"))
            for m in (LOOKALIKE, COLLEAGUE):
                dovecot.deliver("alice", m)
            received = fetch_all(proxy.pop(dovecot.port, "alice", "pw"), delete=False)
            self.assertEqual(proxy.stop(), 0, proxy.stderr())
            database = proxy.path("plugins/chisquare/words.db")
            saved = proxy.read("plugins/chisquare/words.db") if os.path.exists(database) else b""
            return received, filter_log(proxy), saved

    def test_learned_spam_teaches_it_to_block_a_look_alike(self):
        received, log, saved = self.two_checks([FRIEND] + BLOCKED)
        self.assertEqual(received, [COLLEAGUE])
        line = [l for l in log.split("\r\n") if "Zorblax_quintessa_now" in l]
        self.assertEqual(len(line), 1, log)
        self.assertIn(', -1, "Chi-Square Filter", "chi-square ', line[0])
        self.assertTrue(saved.startswith(b"CVXCHISQ"), "the database is in the plug-in's folder")

    def test_untrained_it_says_nothing(self):
        # Only the friend's message learned: the look-alike passes, as it did before the plug-in.
        received, log, _ = self.two_checks([FRIEND])
        self.assertEqual(sorted(received), sorted([LOOKALIKE, COLLEAGUE]))
        self.assertNotIn("Chi-Square Filter", log)


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""End-to-end benchmark: 1,000 messages of about 10 KB in a private Dovecot, fetched with poplib
directly from Dovecot and through the real program (headless), first check (everything new,
filtered) and a second check with nothing new (STAT and UIDL only). Prints each time and the
ratio proxy / direct, both measured in the same run.

Run against a Release build:
  CORVANTHELIX_PROGRAM_DIR=build/release/program python3 bench/bench_e2e.py [count]
"""

import os
import poplib
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import Dovecot, Proxy, crlf  # noqa: E402

WORDS = ("project meeting schedule report budget review quarterly update notes agenda team "
         "release draft minutes design plan figures summary question answer thanks regards "
         "tomorrow morning office travel invoice order delivery customer support version").split()


def make_message(number, rng):
    lines = []
    size = 0
    while size < 10 * 1024:
        line = " ".join(rng.choice(WORDS) for _ in range(12))
        lines.append(line)
        size += len(line) + 2
    return crlf("From: Colleague %d <c%d@work.example>\nTo: alice@example.org\n"
                "Subject: %s %d\nMessage-ID: <bench%d@work.example>\n\n%s\n"
                % (number % 50, number % 50, rng.choice(WORDS), number, number, "\n".join(lines)))


def fetch_all(client):
    count, _ = client.stat()
    client.uidl()
    total = 0
    for i in range(1, count + 1):
        _, lines, octets = client.retr(i)
        total += octets
    client.quit()
    return count, total


def nothing_new(client):
    count, _ = client.stat()
    client.uidl()
    client.quit()
    return count


def direct(dovecot):
    return poplib.POP3("127.0.0.1", dovecot.port, timeout=120)


def login_direct(dovecot):
    client = direct(dovecot)
    client.user("alice")
    client.pass_("pw")
    return client


def timed(action):
    start = time.perf_counter()
    result = action()
    return time.perf_counter() - start, result


EXTRA = eval(os.environ.get("BENCH_SETTINGS", "{}"))


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rng = random.Random(7)
    with Dovecot({"alice": "pw"}) as dovecot, Proxy(settings=dict({"SERVER": {"Timeout": 120}}, **EXTRA)) as proxy:
        for i in range(count):
            dovecot.deliver("alice", make_message(i, rng))
        # Dovecot indexes the new mail on the first login; do it before any timing.
        fetch_all(login_direct(dovecot))

        direct_first, (n1, bytes1) = timed(lambda: fetch_all(login_direct(dovecot)))
        proxy_first, (n2, bytes2) = timed(lambda: fetch_all(proxy.pop(dovecot.port, "alice", "pw")))
        direct_second, _ = timed(lambda: nothing_new(login_direct(dovecot)))
        proxy_second, n3 = timed(lambda: nothing_new(proxy.pop(dovecot.port, "alice", "pw")))
        # The same twice more, so one noisy run does not decide the figure.
        direct_second = min(direct_second, timed(lambda: nothing_new(login_direct(dovecot)))[0])
        proxy_second = min(proxy_second, timed(lambda: nothing_new(proxy.pop(dovecot.port, "alice", "pw")))[0])
        assert n1 == n2 == n3 == count, (n1, n2, n3)
        mb = bytes1 / 1e6
        print("messages: %d, %.1f MB" % (count, mb))
        print("first check   direct %.3f s (%.1f MB/s)   proxy %.3f s (%.1f MB/s)   ratio %.2f (target <= 1.5)"
              % (direct_first, mb / direct_first, proxy_first, bytes2 / 1e6 / proxy_first,
                 proxy_first / direct_first))
        print("nothing new   direct %.3f s   proxy %.3f s   ratio %.2f (target <= 2)"
              % (direct_second, proxy_second, proxy_second / direct_second))


if __name__ == "__main__":
    main()

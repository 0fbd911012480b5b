#!/usr/bin/env python3
"""End-to-end benchmark: messages in a private Dovecot, fetched with poplib directly from Dovecot
and through the real program (headless) in the same run.

Prints, for each program given and for a program folder on an ordinary disk folder and on tmpfs,
min/median/max over the runs of the ratio proxy / direct (each ratio from one run, direct and proxy
measured back to back):
  - first check: every message new, filtered, fetched with STAT, UIDL and one RETR each (goal <= 1.0);
  - nothing new: a second check of the same mailbox, STAT and UIDL only (goal <= 1.1); the
    program upgrades its connection to the server with STLS (the default), so the nothing-new
    check is also shown against a direct client that does the same ("nothing new vs STLS");
and the program's peak resident memory after a first check of 1,000 and 5,000 messages of 100 KB
(with --big also 20,000, 2 GB; goal < 256 MB).

Compare two builds in one run (the same messages, the same machine load):
  python3 bench/bench_e2e.py --program before=/tmp/old/build/release/program \\
                             --program after=build/release/program
Options: --count N (messages of the timed checks, 1000), --runs N (5), --rss 1000,5000 (counts of
the memory series, "" to skip), --big (adds 20,000 to the memory series), --folders disk,tmpfs,
--server-keeps-sessions (Dovecot keeps its login processes, so TLS sessions can be resumed).
Without --program the Release build of this checkout is measured
(CORVANTHELIX_PROGRAM_DIR or build/release/program).
"""

import argparse
import os
import poplib
import random
import ssl
import statistics
import sys
import tempfile
import time
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402
from harness import Dovecot, Proxy  # noqa: E402

WORDS = ("project meeting schedule report budget review quarterly update notes agenda team "
         "release draft minutes design plan figures summary question answer thanks regards "
         "tomorrow morning office travel invoice order delivery customer support version").split()

TMPFS = "/dev/shm"


def body_pool(rng, size):
    """A text of ordinary words, about `size` bytes of CRLF lines, that message bodies are cut from."""
    lines = []
    total = 0
    while total < size:
        line = " ".join(rng.choice(WORDS) for _ in range(12))
        lines.append(line)
        total += len(line) + 2
    return ("\r\n".join(lines) + "\r\n").encode()


def make_message(number, pool, size, rng):
    """Message `number` with a body of about `size` bytes: a window of the pool, cut at lines."""
    start = pool.index(b"\r\n", rng.randrange(0, len(pool) - size - 200)) + 2
    end = pool.index(b"\r\n", start + size) + 2
    head = ("From: Colleague %d <c%d@work.example>\r\nTo: alice@example.org\r\n"
            "Subject: %s %d\r\nMessage-ID: <bench%d@work.example>\r\n\r\n"
            % (number % 50, number % 50, WORDS[number % len(WORDS)], number, number)).encode()
    return head + pool[start:end]


def deliver_all(dovecot, user, count, size, seed=7):
    """Puts `count` messages of about `size` bytes into the user's Maildir at once."""
    rng = random.Random(seed)
    pool = body_pool(rng, max(4 * size, 256 * 1024))
    maildir = os.path.join(dovecot.home(user), "Maildir")
    for i in range(count):
        name = "%d.%06d.%s.bench" % (time.time_ns(), i, uuid.uuid4().hex[:8])
        tmp_path = os.path.join(maildir, "tmp", name)
        with open(tmp_path, "wb") as f:
            f.write(make_message(i, pool, size, rng))
        os.chown(tmp_path, 65534, 65534)
        os.rename(tmp_path, os.path.join(maildir, "new", name))


def fetch_all(client):
    count, _ = client.stat()
    client.uidl()
    total = 0
    for i in range(1, count + 1):
        _, _, octets = client.retr(i)
        total += octets
    client.quit()
    return count, total


def nothing_new(client):
    count, _ = client.stat()
    client.uidl()
    client.quit()
    return count


def login_direct(dovecot, stls=False):
    client = poplib.POP3("127.0.0.1", dovecot.port, timeout=600)
    if stls:
        # As the program does by default: the server's certificate checked against the test CA.
        client.stls(ssl.create_default_context(cafile=harness.test_ca()[1]))
    client.user("alice")
    client.pass_("pw")
    return client


def timed(action):
    start = time.perf_counter()
    result = action()
    return time.perf_counter() - start, result


def wait_for_sessions(proxy, ended, timeout=600):
    """Waits until the program has logged `ended` ends of a mail check: a session goes on after
    its QUIT answer (filing for training), and the next one waits for it."""
    deadline = time.monotonic() + timeout
    while proxy.stderr().count("mail check ends") < ended:
        if time.monotonic() > deadline:
            raise RuntimeError("the program's session did not end: " + proxy.stderr()[-2000:])
        time.sleep(0.005)


def peak_rss_mb(proxy):
    """The program's peak resident memory so far (VmHWM), in MB."""
    with open("/proc/%d/status" % proxy.process.pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


class ProgramFolder:
    """A fresh program folder for one program on the given kind of file system."""

    def __init__(self, kind):
        self.kind = kind

    def make(self):
        return tempfile.mkdtemp(prefix="corvanthelix-bench-", dir=TMPFS if self.kind == "tmpfs" else None)


def start_proxy(program_dir, kind, settings):
    harness.PROGRAM_DIR = program_dir
    proxy = Proxy(settings=settings, folder=ProgramFolder(kind).make())
    proxy.start()
    return proxy


def spread(values):
    values = sorted(values)
    return "%.2f / %.2f / %.2f" % (values[0], statistics.median(values), values[-1])


def timed_checks(programs, kinds, count, runs, settings, dovecot_config=""):
    """Runs the first check and the nothing-new check `runs` times per program and folder kind;
    returns {(kind, program): {"first": [ratios], "second": [ratios], ...}}."""
    results = {}
    with Dovecot({"alice": "pw"}, extra_config=dovecot_config) as dovecot:
        deliver_all(dovecot, "alice", count, 10 * 1024)
        # Dovecot indexes the new mail on the first login; do it before any timing.
        n0, size = fetch_all(login_direct(dovecot))
        assert n0 == count, n0
        print("timed checks: %d messages, %.1f MB, %d runs" % (count, size / 1e6, runs))
        for run in range(runs):
            # The programs take turns in a different order each run, so a slow spell of the
            # machine does not fall on one of them only.
            order = programs if run % 2 == 0 else list(reversed(programs))
            for kind in kinds:
                for name, program_dir in order:
                    figures = results.setdefault((kind, name), {"first": [], "second": [], "second_tls": [],
                                                                "first_s": [], "direct_s": []})
                    proxy = start_proxy(program_dir, kind, settings)
                    try:
                        direct_first, (n1, _) = timed(lambda: fetch_all(login_direct(dovecot)))
                        proxy_first, (n2, _) = timed(
                            lambda: fetch_all(proxy.pop(dovecot.port, "alice", "pw", timeout=600)))
                        wait_for_sessions(proxy, 1)
                        direct_second, _ = timed(lambda: nothing_new(login_direct(dovecot)))
                        direct_second_tls, _ = timed(lambda: nothing_new(login_direct(dovecot, stls=True)))
                        proxy_second, n3 = timed(
                            lambda: nothing_new(proxy.pop(dovecot.port, "alice", "pw", timeout=600)))
                        wait_for_sessions(proxy, 2)
                        assert n1 == n2 == n3 == count, (name, n1, n2, n3)
                        figures["first"].append(proxy_first / direct_first)
                        figures["second"].append(proxy_second / direct_second)
                        figures["second_tls"].append(proxy_second / direct_second_tls)
                        figures["first_s"].append(proxy_first)
                        figures["direct_s"].append(direct_first)
                    finally:
                        proxy.stop()
                        proxy.cleanup()
    return results


def memory_series(programs, counts, settings):
    """Peak RSS of each program after a first check of each count of 100 KB messages."""
    rows = []
    for count in counts:
        with Dovecot({"alice": "pw"}) as dovecot:
            deliver_all(dovecot, "alice", count, 100 * 1024)
            fetch_all(login_direct(dovecot))
            row = [count]
            for name, program_dir in programs:
                proxy = start_proxy(program_dir, "disk", settings)
                try:
                    seconds, (n, size) = timed(lambda: fetch_all(proxy.pop(dovecot.port, "alice", "pw", timeout=3600)))
                    wait_for_sessions(proxy, 1, timeout=3600)
                    assert n == count, (name, n, count)
                    row.append((name, peak_rss_mb(proxy), seconds, size))
                finally:
                    proxy.stop()
                    proxy.cleanup()
            rows.append(row)
            print("peak RSS after a first check of %d x 100 KB (%.2f GB): %s   (goal < 256 MB)" % (
                count, row[1][3] / 1e9,
                "   ".join("%s %.0f MB (%.1f s)" % (name, rss, seconds) for name, rss, seconds, _ in row[1:])))
            sys.stdout.flush()
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", action="append", default=[],
                        help="NAME=DIR: a staged program folder to measure (repeatable)")
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--folders", default="disk,tmpfs")
    parser.add_argument("--rss", default="1000,5000")
    parser.add_argument("--big", action="store_true", help="add 20,000 x 100 KB to the memory series")
    parser.add_argument("--server-keeps-sessions", action="store_true",
                        help="Dovecot's login processes serve many connections, so that its TLS sessions "
                             "can be resumed (by default each connection has a process of its own)")
    args = parser.parse_args()

    programs = [tuple(p.split("=", 1)) for p in args.program] or [
        ("this", os.environ.get("CORVANTHELIX_PROGRAM_DIR", os.path.join(harness.SOURCE_DIR, "build", "release", "program")))]
    kinds = [k for k in args.folders.split(",") if k]
    settings = {"SERVER": {"Timeout": 600}}
    settings.update(eval(os.environ.get("BENCH_SETTINGS", "{}")))

    print("disk folder: %s   tmpfs: %s" % (tempfile.gettempdir(), TMPFS))
    if args.count > 0 and args.runs > 0:
        dovecot_config = "service pop3-login {\n  service_count = 0\n}\n" if args.server_keeps_sessions else ""
        results = timed_checks(programs, kinds, args.count, args.runs, settings, dovecot_config)
        print("%-6s %-10s %-28s %-28s %-22s %s" % ("folder", "program", "first check min/med/max",
                                                   "nothing new min/med/max", "nothing new vs STLS",
                                                   "first check s (direct s), median"))
        for (kind, name), figures in results.items():
            print("%-6s %-10s %-28s %-28s %-22s %.3f (%.3f)" % (
                kind, name, spread(figures["first"]) + " (<= 1.0)", spread(figures["second"]) + " (<= 1.1)",
                spread(figures["second_tls"]), statistics.median(figures["first_s"]),
                statistics.median(figures["direct_s"])))
        if len(programs) == 2:
            for kind in kinds:
                before = statistics.median(results[(kind, programs[0][0])]["first_s"])
                after = statistics.median(results[(kind, programs[1][0])]["first_s"])
                print("%s: first check %s / %s = %.2f" % (kind, programs[1][0], programs[0][0], after / before))
        sys.stdout.flush()

    counts = [int(c) for c in args.rss.split(",") if c]
    if args.big:
        counts.append(20000)
    if counts:
        memory_series(programs, counts, settings)


if __name__ == "__main__":
    main()

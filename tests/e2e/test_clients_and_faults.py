"""Real clients and faults: fetchmail over the plain and the local TLS port, a client that drops
after STAT (the next check takes the messages from the cache), TLS to the server's POP3S port
recorded in the host list, a wrong password relayed as the server's answer, and a second start
of the program."""

import os
import poplib
import re
import socket
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import server_commands, PROGRAM_DIR, Dovecot, Proxy, crlf, fetch_all  # noqa: E402


def message(subject, number, sender="P <p@example.org>"):
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\nMessage-ID: <c%d@example.org>\n\n"
                "text %d\n" % (sender, subject, number, number))


def run_fetchmail(folder, port, user, password, tls):
    out = os.path.join(folder, "delivered")
    rc = os.path.join(folder, "fetchmailrc")
    with open(rc, "w") as f:
        f.write('poll 127.0.0.1 protocol pop3 port %d auth password\n' % port)
        f.write('  user "%s" password "%s"\n' % (user, password))
        f.write("  %s\n" % ("ssl sslproto 'TLS1.2+' no sslcertck" if tls else "sslproto ''"))
        f.write('  mda "cat >> %s"\n' % out)
    os.chmod(rc, 0o600)
    env = dict(os.environ, FETCHMAILHOME=folder, HOME=folder)
    result = subprocess.run(["fetchmail", "-f", rc, "--pidfile", os.path.join(folder, "pid"),
                             "--nodetach", "--nosyslog"],
                            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=60)
    try:
        with open(out, "rb") as f:
            return result.returncode, f.read(), result.stdout
    except OSError:
        return result.returncode, b"", result.stdout


class ClientsAndFaults(unittest.TestCase):
    def test_fetchmail_plain_and_tls(self):
        settings = {"SENDERS": {"*@bad.example": "Bad,1"}}
        with Dovecot({"alice": "pw"}) as dovecot, Proxy(settings=settings) as proxy, \
                tempfile.TemporaryDirectory() as folder:
            user = "127.0.0.1&alice&%d" % dovecot.port
            dovecot.deliver("alice", message("first wanted", 1))
            dovecot.deliver("alice", message("unwanted", 2, sender="B <b@bad.example>"))
            code, delivered, output = run_fetchmail(folder, proxy.port, user, "pw", tls=False)
            self.assertEqual(code, 0, output)
            self.assertIn(b"Subject: first wanted", delivered)
            self.assertNotIn(b"unwanted", delivered)
            self.assertEqual(dovecot.mailbox("alice"), [])

            dovecot.deliver("alice", message("second wanted", 3))
            code, delivered, output = run_fetchmail(folder, proxy.ssl_port, user, "pw", tls=True)
            self.assertEqual(code, 0, output)
            self.assertIn(b"Subject: second wanted", delivered)
            self.assertEqual(dovecot.mailbox("alice"), [])

    def test_dropped_client_leaves_its_downloads_in_the_cache(self):
        with Dovecot({"alice": "pw"}) as dovecot, Proxy() as proxy:
            messages = [message("cached %d" % i, 10 + i) for i in range(3)]
            for m in messages:
                dovecot.deliver("alice", m)
            client = proxy.pop(dovecot.port, "alice", "pw")
            self.assertEqual(client.stat()[0], 3)
            client.close()  # gone without QUIT
            retr = server_commands(proxy, "RETR")
            self.assertEqual(retr, 3)

            # The session is over once the next one can log in; it takes the copies from disk.
            received = fetch_all(proxy.pop(dovecot.port, "alice", "pw"))
            self.assertEqual(sorted(received), sorted(messages))
            self.assertEqual(server_commands(proxy, "RETR"), retr)
            self.assertEqual(dovecot.mailbox("alice"), [])
            self.assertEqual(os.listdir(proxy.path("cache")), [])

    def test_tls_to_the_server_is_recorded_in_the_host_list(self):
        with Dovecot({"alice": "pw"}) as dovecot, \
                Proxy(settings={"CORVANTHELIX": {"TrySSL": 1}}) as proxy:
            dovecot.deliver("alice", message("over tls", 20))
            # Through the local TLS port to the server's POP3S port.
            received = fetch_all(proxy.pop(dovecot.ssl_port, "alice", "pw", tls_local=True))
            self.assertEqual(len(received), 1)
            hosts = proxy.read("hostlist.xml").decode()
            self.assertRegex(hosts, r'<host [^>]*secure="1"')
            self.assertIn('port="%d"' % dovecot.ssl_port, hosts)


    def test_a_wrong_password_is_answered_with_the_servers_words(self):
        with Dovecot({"alice": "pw"}) as dovecot, Proxy() as proxy:
            client = poplib.POP3("127.0.0.1", proxy.port, timeout=30)
            client.user("127.0.0.1&alice&%d" % dovecot.port)
            with self.assertRaises(poplib.error_proto) as refused:
                client.pass_("wrong")
            self.assertIn(b"[AUTH] Authentication failed.", refused.exception.args[0])
            client.close()

    def test_a_second_start_asks_the_first_and_exits_with_1(self):
        with Proxy() as proxy:
            second = subprocess.run([os.path.join(PROGRAM_DIR, "corvanthelix"), "--headless", "--home",
                                     proxy.folder], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT, timeout=30)
            self.assertEqual(second.returncode, 1, second.stdout)
            self.assertIn(b"asked it to show its tray icon", second.stdout)
            self.assertIn("show the tray icon again", proxy.stderr())
            # The first one still serves.
            with socket.create_connection(("127.0.0.1", proxy.port), timeout=5) as s:
                self.assertTrue(s.recv(64).startswith(b"+OK"))
            self.assertEqual(proxy.stop(), 0)


if __name__ == "__main__":
    unittest.main()

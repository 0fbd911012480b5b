"""Connections to the mail server that the user can trust: the proxy verifies the certificate of a
real Dovecot (chain against the trust store given by SSL_CERT_FILE, and the host name), sends no
password to a server whose certificate it refused, pins a certificate the person trusted, and
upgrades plain connections with STLS."""

import os
import poplib
import socket
import subprocess
import unittest

from harness import PROGRAM_DIR, Dovecot, Proxy, crlf, fetch_all, make_certificate

MESSAGE = crlf("From: Ann <ann@example.org>\nSubject: hello\n\nbody\n")


def fingerprint(cert):
    out = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-fingerprint", "-sha256"],
                         check=True, capture_output=True, text=True).stdout
    return out.strip().split("=", 1)[1]


def refusal(reason):
    return "-ERR Corvanthelix: the certificate of localhost could not be verified (%s)" % reason


def login_lines(dovecot):
    """Dovecot's log lines of login attempts (successful or not)."""
    return [line for line in dovecot.log().splitlines()
            if "pop3-login" in line and ("Login:" in line or "auth failed" in line or "Aborted login" in line)]


class CertificateCases(unittest.TestCase):
    def attempt(self, dovecot, proxy, stls):
        """Logs in through the proxy to `localhost`: POP3S on the local TLS port, or the plain
        ports with STLS. Returns the messages fetched, or the error text."""
        try:
            if stls:
                client = proxy.pop(dovecot.port, "alice", "pw", server="localhost")
            else:
                client = proxy.pop(dovecot.ssl_port, "alice", "pw", tls_local=True, server="localhost")
            return fetch_all(client, delete=False)
        except poplib.error_proto as e:
            return e.args[0].decode()

    def test_each_certificate_is_verified_or_refused_before_the_password_leaves(self):
        cases = [
            # kind, trust store of the program, expected outcome
            ("good", None, None),
            ("expired", None, "expired"),
            ("other-name", None, "wrong host name"),
            ("self-signed", None, "self-signed"),
            ("good", "foreign", "unknown issuer"),
        ]
        for kind, store, reason in cases:
            for stls in (False, True):
                with self.subTest(kind=kind, store=store, stls=stls):
                    with Dovecot({"alice": "pw"}, certificate=kind) as dovecot:
                        dovecot.deliver("alice", MESSAGE)
                        env = {}
                        if store:
                            # A trust store that holds some other certificate only.
                            env["SSL_CERT_FILE"] = make_certificate(dovecot.folder, "other.pem", "other.key",
                                                                    kind="self-signed")[0]
                        with Proxy(env=env) as proxy:
                            outcome = self.attempt(dovecot, proxy, stls)
                            if reason is None:
                                self.assertEqual(len(outcome), 1, outcome)
                                self.assertIn(b"Subject: hello", outcome[0])
                                logins = login_lines(dovecot)
                                self.assertEqual(len(logins), 1, logins)
                                self.assertIn(", TLS", logins[0], "the password travelled encrypted")
                            else:
                                self.assertEqual(outcome, refusal(reason))
                                self.assertEqual(login_lines(dovecot), [], "no login attempt reached the server")
                                self.assertIn("could not be verified (%s)" % reason, proxy.stderr(),
                                              "the headless shell was asked and said no")
                            log = proxy.read("server.log").decode(errors="replace")
                            if stls:
                                self.assertIn("C: STLS", log)
                                if reason is None:
                                    self.assertLess(log.index("C: STLS"), log.index("C: USER"))
                            if reason is not None:
                                self.assertNotIn("C: USER", log)

    def test_a_trusted_certificate_is_pinned_survives_a_restart_and_a_changed_one_is_asked_again(self):
        with Dovecot({"alice": "pw"}, certificate="self-signed") as dovecot:
            dovecot.deliver("alice", MESSAGE)
            proxy = Proxy()
            try:
                proxy.prepare()
                target = "localhost:%d" % dovecot.ssl_port
                command = [os.path.join(PROGRAM_DIR, "corvanthelix"), "--home", proxy.folder, "--trust-server", target]
                # Anything but "yes" pins nothing.
                said_no = subprocess.run(command, input="no\n", capture_output=True, text=True, timeout=60)
                self.assertEqual(said_no.returncode, 1, said_no.stdout + said_no.stderr)
                self.assertFalse(os.path.exists(proxy.path("hostlist.xml")))

                said_yes = subprocess.run(command, input="yes\n", capture_output=True, text=True, timeout=60)
                self.assertEqual(said_yes.returncode, 0, said_yes.stdout + said_yes.stderr)
                pin = fingerprint(dovecot.cert)
                self.assertIn("SHA-256:     " + pin, said_yes.stdout)
                self.assertIn("(self-signed)", said_yes.stdout)
                self.assertEqual(login_lines(dovecot), [], "trusting sends no login")
                self.assertIn(pin.replace(":", ""), proxy.read("hostlist.xml").decode())

                for run in ("first start", "after a restart"):
                    with self.subTest(run):
                        proxy.start()
                        client = proxy.pop(dovecot.ssl_port, "alice", "pw", tls_local=True, server="localhost")
                        self.assertEqual(len(fetch_all(client, delete=False)), 1)
                        proxy.stop()
                self.assertEqual(len(login_lines(dovecot)), 2)

                # The server now shows another certificate: asked again (the headless shell says no).
                dovecot.restart_with_certificate("self-signed")
                self.assertNotEqual(fingerprint(dovecot.cert), pin)
                proxy.start()
                with self.assertRaises(poplib.error_proto) as refused:
                    proxy.pop(dovecot.ssl_port, "alice", "pw", tls_local=True, server="localhost")
                self.assertEqual(refused.exception.args[0].decode(), refusal("self-signed"))
                self.assertEqual(len(login_lines(dovecot)), 2, "the password did not reach the changed server")
            finally:
                proxy.stop()
                proxy.cleanup()


class Stls(unittest.TestCase):
    def test_stls_is_remembered_and_can_be_switched_off(self):
        with Dovecot({"alice": "pw"}) as dovecot:
            dovecot.deliver("alice", MESSAGE)
            with Proxy() as proxy:
                client = proxy.pop(dovecot.port, "alice", "pw", server="localhost")
                self.assertEqual(len(fetch_all(client, delete=False)), 1)
                hosts = proxy.read("hostlist.xml").decode()
                self.assertIn('stls="1"', hosts)
            with Proxy(settings={"SERVER": {"UseSTLS": 0}}) as proxy:
                client = proxy.pop(dovecot.port, "alice", "pw", server="localhost")
                self.assertEqual(len(fetch_all(client, delete=False)), 1)
                self.assertNotIn("C: STLS", proxy.read("server.log").decode(errors="replace"))
            logins = login_lines(dovecot)
            self.assertEqual(len(logins), 2, logins)
            self.assertIn(", TLS", logins[0])
            self.assertNotIn(", TLS", logins[1])

    def test_verification_can_be_switched_off(self):
        with Dovecot({"alice": "pw"}, certificate="self-signed") as dovecot:
            with Proxy(settings={"SERVER": {"VerifyServerCertificates": 0}}) as proxy:
                client = proxy.pop(dovecot.ssl_port, "alice", "pw", tls_local=True, server="localhost")
                self.assertEqual(fetch_all(client), [])
                self.assertNotIn("could not be verified", proxy.stderr())


def has_ipv6_loopback():
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


class Ipv6(unittest.TestCase):
    def test_a_server_on_ipv6_loopback_is_reached_by_its_bracketed_address(self):
        if not has_ipv6_loopback():
            self.skipTest("no IPv6 loopback on this machine")
        with Dovecot({"alice": "pw", "bob": "pw"}, listen="::1") as dovecot:
            dovecot.deliver("alice", MESSAGE)
            dovecot.deliver("bob", MESSAGE)
            with Proxy() as proxy:
                # POP3S to [::1] (the certificate names ::1) and plain with STLS, one account each
                # (the host list remembers an account's TLS choice).
                for user, port, tls_local in (("alice", dovecot.ssl_port, True), ("bob", dovecot.port, False)):
                    with self.subTest(port=port):
                        client = proxy.pop(port, user, "pw", tls_local=tls_local, server="[::1]")
                        self.assertEqual(len(fetch_all(client, delete=False)), 1)
                logins = login_lines(dovecot)
                self.assertEqual(len(logins), 2, logins)
                for line in logins:
                    self.assertIn("rip=::1", line)
                    self.assertIn(", TLS", line)
                # The proxy's own ports answer on ::1 as well.
                with socket.create_connection(("::1", proxy.port), timeout=10) as local:
                    self.assertTrue(local.recv(64).startswith(b"+OK Ready"))


if __name__ == "__main__":
    unittest.main()

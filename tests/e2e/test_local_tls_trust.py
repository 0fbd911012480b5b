"""A mail client that checks certificates trusts the program's local TLS port once pendraxil has
installed the program's own cert.server.der: the program makes its certificate at its first start,
pendraxil puts it into a temporary anchor folder and NSS database, and Python's ssl module,
trusting only that folder, connects and verifies the certificate for localhost, 127.0.0.1 and ::1.
A restart keeps the certificate; another program folder has another one, which stays untrusted."""

import os
import poplib
import socket
import ssl
import stat
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Proxy, wait_for_greeting  # noqa: E402
from truststores import TrustStores, certutil  # noqa: E402


def client_context(cadata):
    """A context as a careful mail client has: certificates and names are checked."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.load_verify_locations(cadata=cadata)
    return context


def greeting(port, context, name):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as raw:
        with context.wrap_socket(raw, server_hostname=name) as tls:
            return tls.recv(512)


class LocalTlsTrustTest(unittest.TestCase):
    def setUp(self):
        self.stores = TrustStores()
        self.addCleanup(self.stores.cleanup)

    def test_installed_certificate_is_trusted_for_the_loopback_names(self):
        with Proxy() as proxy:
            # The harness waits for the plain port; the TLS port may open a moment later.
            wait_for_greeting(proxy.ssl_port, use_tls=True)
            for name, mode in (("cert.server.pem", 0o644), ("key.server.pem", 0o600), ("cert.server.der", 0o644)):
                self.assertEqual(stat.S_IMODE(os.stat(proxy.path(name)).st_mode), mode, name)
            # Before the install nothing in the folder vouches for the port.
            self.assertEqual(self.stores.anchor_files(), [])

            self.assertEqual(self.stores.run(proxy.path("cert.server.der")), (0, "", ""))
            context = client_context(self.stores.anchor_cadata())
            for name in ("localhost", "127.0.0.1", "::1"):
                with self.subTest(name=name):
                    self.assertTrue(greeting(proxy.ssl_port, context, name).startswith(b"+OK"))
            with self.assertRaises(ssl.SSLCertVerificationError):
                greeting(proxy.ssl_port, context, "mail.example.com")
            # A real POP3 client over the verified connection.
            client = poplib.POP3_SSL("localhost", proxy.ssl_port, context=context, timeout=10)
            self.assertTrue(client.getwelcome().startswith(b"+OK"))
            client.quit()
            # NSS's own verifier accepts the installed copy as a TLS server certificate.
            for database in self.stores.databases:
                check = certutil("-V", "-n", "Corvanthelix", "-u", "V", "-d", "sql:" + database, check=False)
                self.assertIn("certificate is valid", check.stdout, database)

            made = proxy.read("cert.server.pem")
            proxy.stop()
            proxy.start()
            wait_for_greeting(proxy.ssl_port, use_tls=True)
            self.assertEqual(proxy.read("cert.server.pem"), made, "a restart keeps the certificate")
            self.assertTrue(greeting(proxy.ssl_port, context, "localhost").startswith(b"+OK"))

            with Proxy() as other:
                wait_for_greeting(other.ssl_port, use_tls=True)
                self.assertNotEqual(other.read("key.server.pem"), proxy.read("key.server.pem"))
                with self.assertRaises(ssl.SSLCertVerificationError):
                    greeting(other.ssl_port, context, "localhost")


if __name__ == "__main__":
    unittest.main()

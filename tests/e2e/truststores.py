"""Trust stores in temporary folders for the pendraxil runs: an anchor folder (handed over in
CORVANTHELIX_ANCHOR_DIR) and a home folder (HOME) with the NSS databases of a Thunderbird and a
Firefox profile and ~/.pki/nssdb, each made empty by certutil -N. Helpers read back what pendraxil
put there. Standard library only; certutil and openssl are called as programs."""

import glob
import os
import shutil
import ssl
import subprocess
import tempfile

from harness import PROGRAM_DIR

PENDRAXIL = os.path.join(PROGRAM_DIR, "pendraxil")
PROFILES = (".pki/nssdb", ".thunderbird/abcd1234.default-release", ".mozilla/firefox/wxyz5678.default")


def certutil(*arguments, check=True):
    return subprocess.run(["certutil", *arguments], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          stdin=subprocess.DEVNULL, text=True, check=check, timeout=60)


class TrustStores:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="pendraxil-")
        self.anchor = os.path.join(self.folder, "anchors")
        self.home = os.path.join(self.folder, "home")
        self.databases = [os.path.join(self.home, p) for p in PROFILES]
        for database in self.databases:
            os.makedirs(database)
            certutil("-N", "-d", "sql:" + database, "--empty-password")

    def cleanup(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def run(self, *arguments, path=None):
        """Runs pendraxil with `arguments` against these stores; returns (exit code, stdout, stderr)."""
        env = dict(os.environ, HOME=self.home, CORVANTHELIX_ANCHOR_DIR=self.anchor)
        env.pop("SUDO_UID", None)
        env.pop("SUDO_GID", None)
        if path is not None:
            env["PATH"] = path
        result = subprocess.run([PENDRAXIL, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                stdin=subprocess.DEVNULL, env=env, timeout=60)
        return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")

    def anchor_files(self):
        return sorted(glob.glob(os.path.join(self.anchor, "*")) +
                      glob.glob(os.path.join(self.anchor, ".*")))

    def anchor_certificates(self):
        """The DER bytes of every certificate in the anchor folder, sorted."""
        result = []
        for path in self.anchor_files():
            with open(path) as f:
                result.append(ssl.PEM_cert_to_DER_cert(f.read()))
        return sorted(result)

    def anchor_cadata(self):
        """Every anchor as one PEM text, for an SSLContext that trusts only this folder."""
        text = ""
        for path in self.anchor_files():
            with open(path) as f:
                text += f.read()
        return text

    @staticmethod
    def nss_entries(database):
        """{nickname: trust flags} of the database."""
        entries = {}
        for line in certutil("-L", "-d", "sql:" + database).stdout.splitlines()[4:]:
            name, _, flags = line.rstrip().rpartition(" ")
            if name.strip():
                entries[name.strip()] = flags
        return entries

    @staticmethod
    def nss_certificates(database, nickname):
        """The DER bytes of every certificate the database holds under `nickname`."""
        listing = certutil("-L", "-d", "sql:" + database, "-n", nickname, "-a", check=False)
        if listing.returncode != 0:
            return []
        blocks = listing.stdout.split("-----END CERTIFICATE-----")
        return sorted(ssl.PEM_cert_to_DER_cert(b + "-----END CERTIFICATE-----\n")
                      for b in blocks if "-----BEGIN CERTIFICATE-----" in b)


def make_certificate(folder, name):
    """A self-signed P-256 certificate and key as name.pem, name.key and name.der; returns the
    DER bytes."""
    base = os.path.join(folder, name)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                    "-nodes", "-days", "30", "-subj", "/CN=%s" % name, "-keyout", base + ".key",
                    "-out", base + ".pem"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["openssl", "x509", "-in", base + ".pem", "-outform", "DER", "-out", base + ".der"],
                   check=True)
    with open(base + ".der", "rb") as f:
        return f.read()


def make_pkcs12(path, certificate, key=None, others=None, password="", legacy=False):
    """A PKCS #12 file of `certificate` (a PEM path), its key, and the certificates of the PEM
    file `others`."""
    arguments = ["openssl", "pkcs12", "-export", "-in", certificate, "-out", path, "-passout", "pass:" + password]
    arguments += ["-inkey", key] if key else ["-nokeys"]
    if others:
        arguments += ["-certfile", others]
    if legacy:
        arguments.append("-legacy")
    subprocess.run(arguments, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return path

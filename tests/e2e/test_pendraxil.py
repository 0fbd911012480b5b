"""pendraxil, the real binary, against an anchor folder and three NSS databases in temporary
folders: a DER certificate and PKCS #12 files with one and with several certificates reach every
store under the name Corvanthelix; installing again leaves one copy; the ".p12" suffix in any case
decides the format; every refused file ends with exit code 1, nothing written and nothing said
(--verbose says why); a command line under four characters prints the usage."""

import os
import shutil
import stat
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from truststores import TrustStores, certutil, make_certificate, make_pkcs12  # noqa: E402

USAGE = 'Usage: "pendraxil <certfile.p12>" or "pendraxil <certfile.der>"\n'


class PendraxilTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.mkdtemp(prefix="pendraxil-files-")
        f = cls.files
        cls.der = {name: make_certificate(f, name) for name in ("first", "second", "third")}
        cls.foreign = {"Corvanthelix Backup": "backup", "Corvanthelix (0)": "zero", "Corvanthelix (2x)": "twox",
                       "corvanthelix": "lower"}
        for name in cls.foreign.values():
            make_certificate(f, name)
        make_pkcs12(os.path.join(f, "one.p12"), os.path.join(f, "first.pem"), os.path.join(f, "first.key"))
        with open(os.path.join(f, "others.pem"), "w") as out:
            for name in ("second", "third"):
                with open(os.path.join(f, name + ".pem")) as pem:
                    out.write(pem.read())
        make_pkcs12(os.path.join(f, "several.p12"), os.path.join(f, "first.pem"), os.path.join(f, "first.key"),
                    others=os.path.join(f, "others.pem"))
        make_pkcs12(os.path.join(f, "CAPITALS.P12"), os.path.join(f, "second.pem"), os.path.join(f, "second.key"))
        make_pkcs12(os.path.join(f, "nokey.p12"), os.path.join(f, "third.pem"))
        make_pkcs12(os.path.join(f, "old.p12"), os.path.join(f, "third.pem"), os.path.join(f, "third.key"),
                    legacy=True)
        make_pkcs12(os.path.join(f, "secret.p12"), os.path.join(f, "first.pem"), os.path.join(f, "first.key"),
                    password="hunter2")
        shutil.copy(os.path.join(f, "one.p12"), os.path.join(f, "pkcs12.der"))
        shutil.copy(os.path.join(f, "first.der"), os.path.join(f, "der.p12"))
        with open(os.path.join(f, "garbage.der"), "wb") as out:
            out.write(b"\x30\x82\x01\x00 not a certificate")
        with open(os.path.join(f, "trailing.der"), "wb") as out:
            out.write(cls.der["first"] + b"\0")
        with open(os.path.join(f, "huge.der"), "wb") as out:
            out.truncate(2 * 1024 * 1024)
        with open(os.path.join(f, "my first.der"), "wb") as out:
            out.write(cls.der["first"])
        os.mkdir(os.path.join(f, "folder.der"))
        os.mkfifo(os.path.join(f, "pipe.der"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.files, ignore_errors=True)

    def setUp(self):
        self.stores = TrustStores()
        self.addCleanup(self.stores.cleanup)

    def file(self, name):
        return os.path.join(self.files, name)

    def assertInstalled(self, names):
        """Exactly the certificates `names` are trusted: in the anchor folder (PEM, readable by
        all) and in every NSS database under Corvanthelix, Corvanthelix (2), ... in file order."""
        expected = sorted(self.der[n] for n in names)
        self.assertEqual(self.stores.anchor_certificates(), expected)
        for path in self.stores.anchor_files():
            self.assertRegex(os.path.basename(path), r"^corvanthelix-[0-9a-f]{16}\.crt$")
            self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o644)
        nicknames = ["Corvanthelix"] + ["Corvanthelix (%d)" % i for i in range(2, len(names) + 1)]
        for database in self.stores.databases:
            entries = self.stores.nss_entries(database)
            self.assertEqual(sorted(entries), sorted(nicknames), database)
            self.assertTrue(all(flags == "CP,," for flags in entries.values()), entries)
            for nickname, name in zip(nicknames, names):
                self.assertEqual(self.stores.nss_certificates(database, nickname), [self.der[name]],
                                 "%s in %s" % (nickname, database))

    def test_certificates_reach_every_store_once(self):
        cases = [
            ("DER", ["first.der"], ["first"]),
            ("PKCS #12, one certificate with its key", ["one.p12"], ["first"]),
            ("PKCS #12, its own certificate first, then the others", ["several.p12"], ["first", "second", "third"]),
            ("PKCS #12 without a key", ["nokey.p12"], ["third"]),
            ("PKCS #12 in the legacy ciphers of older tools", ["old.p12"], ["third"]),
            ("capital .P12 is PKCS #12", ["CAPITALS.P12"], ["second"]),
            ("a path with a space, given as two arguments", ["my", "first.der"], ["first"]),
        ]
        for title, arguments, names in cases:
            with self.subTest(title):
                stores = self.stores = TrustStores()
                self.addCleanup(stores.cleanup)
                for _ in range(2):  # the second run replaces the copies of the first
                    code, out, err = stores.run(*[self.file(arguments[0])] + arguments[1:])
                    self.assertEqual((code, out, err), (0, "", ""))
                self.assertInstalled(names)

    def test_a_smaller_file_replaces_every_earlier_nickname(self):
        # Certificates of other names, however alike, are not ours to remove.
        for database in self.stores.databases:
            for nickname, name in self.foreign.items():
                certutil("-A", "-d", "sql:" + database, "-n", nickname, "-t", ",,", "-i", self.file(name + ".der"))
        self.assertEqual(self.stores.run(self.file("several.p12"))[0], 0)
        self.assertEqual(self.stores.run(self.file("CAPITALS.P12"))[0], 0)
        for database in self.stores.databases:
            self.assertEqual(self.stores.nss_certificates(database, "Corvanthelix"), [self.der["second"]])
            self.assertEqual(sorted(self.stores.nss_entries(database)), sorted(list(self.foreign) + ["Corvanthelix"]))
        # The anchor folder is shared by every user of the machine: another certificate lies beside.
        self.assertEqual(len(self.stores.anchor_certificates()), 3)

    def test_a_copy_under_another_name_becomes_trusted(self):
        # NSS keeps one nickname per certificate: a copy the user imported by hand keeps its name.
        database = self.stores.databases[0]
        certutil("-A", "-d", "sql:" + database, "-n", "imported by hand", "-t", ",,", "-i", self.file("first.der"))
        self.assertEqual(self.stores.run(self.file("first.der")), (0, "", ""))
        self.assertEqual(self.stores.nss_entries(database), {"imported by hand": "CP,,"})

    def test_refused_files_fail_silently_and_change_nothing(self):
        cases = [
            ("quoted path: the quotes are part of the name", '"%s"' % self.file("first.der")),
            ("missing file", self.file("absent.der")),
            ("password-protected PKCS #12", self.file("secret.p12")),
            ("PKCS #12 data named .der", self.file("pkcs12.der")),
            ("DER data named .p12", self.file("der.p12")),
            ("no certificate", self.file("garbage.der")),
            ("bytes after the certificate", self.file("trailing.der")),
            ("larger than any certificate", self.file("huge.der")),
            ("a folder", self.file("folder.der")),
            ("a named pipe nobody writes to", self.file("pipe.der")),
        ]
        for title, path in cases:
            with self.subTest(title):
                self.assertEqual(self.stores.run(path), (1, "", ""))
                code, out, err = self.stores.run("--verbose", path)
                self.assertEqual(code, 1)
                self.assertIn(path, out, "--verbose names the file and says why")
                self.assertFalse(os.path.exists(self.stores.anchor))
                for database in self.stores.databases:
                    self.assertEqual(self.stores.nss_entries(database), {})

    def test_short_command_line_prints_the_usage(self):
        for arguments in ([], ["abc"], ["a", "b"], ["--verbose"], ["--verbose", "x.p"]):
            with self.subTest(arguments=arguments):
                self.assertEqual(self.stores.run(*arguments), (1, "", USAGE))

    def test_stores_fail_independently(self):
        # Without certutil the system store still takes the certificate.
        tools = tempfile.mkdtemp(prefix="pendraxil-path-")
        self.addCleanup(shutil.rmtree, tools, True)
        self.assertEqual(self.stores.run(self.file("first.der"), path=tools), (0, "", ""))
        self.assertEqual(self.stores.anchor_certificates(), [self.der["first"]])
        for database in self.stores.databases:
            self.assertEqual(self.stores.nss_entries(database), {})

        # A database with a password is refused without a prompt; the others take the certificate.
        locked = self.stores.databases[1]
        shutil.rmtree(locked)
        os.makedirs(locked)
        password = os.path.join(self.stores.folder, "password")
        with open(password, "w") as f:
            f.write("secret\n")
        certutil("-N", "-d", "sql:" + locked, "-f", password)
        self.assertEqual(self.stores.run(self.file("second.der")), (1, "", ""))
        self.assertEqual(self.stores.nss_entries(locked), {})
        for database in (self.stores.databases[0], self.stores.databases[2]):
            self.assertEqual(self.stores.nss_certificates(database, "Corvanthelix"), [self.der["second"]])

        # An anchor folder that cannot be made fails the run, and the databases still take it.
        blocker = os.path.join(self.stores.folder, "blocker")
        open(blocker, "w").close()
        self.stores.anchor = os.path.join(blocker, "anchors")
        self.assertEqual(self.stores.run(self.file("third.der")), (1, "", ""))
        self.assertEqual(self.stores.nss_certificates(self.stores.databases[0], "Corvanthelix"), [self.der["third"]])


if __name__ == "__main__":
    unittest.main()

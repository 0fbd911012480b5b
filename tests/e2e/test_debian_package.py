"""The Debian package made by CPack from this build: its files follow the installed layout, its
dependencies were worked out from the binaries, its desktop entry and manual pages are valid, and
the program it carries runs from the unpacked tree."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import PROGRAM_DIR, SOURCE_DIR  # noqa: E402

BUILD_DIR = os.path.dirname(PROGRAM_DIR)


def run(*args, **kwargs):
    return subprocess.run(list(args), check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, **kwargs).stdout


def cache_value(name):
    with open(os.path.join(BUILD_DIR, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    return ""


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="corvanthelix-deb-")
        done = subprocess.run(["cpack", "-G", "DEB", "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"),
                               "-B", cls.folder], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 0:
            raise AssertionError("cpack failed:\n" + done.stdout)
        debs = [name for name in os.listdir(cls.folder) if name.endswith(".deb")]
        if len(debs) != 1:
            raise AssertionError("expected one .deb, found %r" % debs)
        cls.deb = os.path.join(cls.folder, debs[0])
        cls.tree = os.path.join(cls.folder, "tree")
        run("dpkg-deb", "-x", cls.deb, cls.tree)
        cls.with_qt = cache_value("CORVANTHELIX_WITH_QT") == "ON"
        cls.with_pendraxil = os.path.exists(os.path.join(SOURCE_DIR, "tools", "pendraxil", "CMakeLists.txt"))

    @classmethod
    def tearDownClass(cls):
        if not os.environ.get("CORVANTHELIX_KEEP_TEMP"):
            shutil.rmtree(cls.folder, ignore_errors=True)

    def test_name_and_control_fields(self):
        self.assertRegex(os.path.basename(self.deb), r"^corvanthelix_\d+\.\d+\.\d+\.\d+_amd64\.deb$")
        fields = {key: run("dpkg-deb", "-f", self.deb, key).strip()
                  for key in ("Package", "Version", "Section", "Depends")}
        self.assertEqual(fields["Package"], "corvanthelix")
        self.assertEqual(fields["Section"], "mail")
        depends = [re.split(r"[ (]", entry.strip())[0] for entry in fields["Depends"].split(",")]
        # Worked out from the binaries: OpenSSL and the C++ run time, Qt for the desktop; the
        # package's own translation library is no outside dependency.
        for needed in ["libc6", "libstdc++6", "libssl3"] + (["libqt6widgets6"] if self.with_qt else []):
            self.assertIn(needed, depends)
        self.assertFalse([d for d in depends if "vexolindra" in d], depends)

    def test_files_follow_the_installed_layout(self):
        listing = run("dpkg-deb", "-c", self.deb)
        files = {line.split()[-1].lstrip(".") for line in listing.splitlines()
                 if line.startswith("-")}
        expected = {"/usr/bin/corvanthelix", "/usr/lib/corvanthelix/libvexolindra.so",
                    "/usr/lib/corvanthelix/plugins/quillatrest.so", "/usr/share/corvanthelix/spampoints.ini",
                    "/usr/share/applications/corvanthelix.desktop", "/usr/share/man/man1/corvanthelix.1"}
        if self.with_qt:
            expected |= {"/usr/share/corvanthelix/icons/mini.ico"}
            expected |= {"/usr/share/icons/hicolor/%dx%d/apps/corvanthelix.png" % (n, n)
                         for n in (16, 22, 24, 32, 48, 64, 128, 256)}
        if self.with_pendraxil:
            expected |= {"/usr/bin/pendraxil", "/usr/share/man/man1/pendraxil.1"}
        self.assertEqual(expected - files, set())
        # Nothing a user writes, and no private key shared by every installation.
        for name in ("corvanthelix.ini", "key.server.pem", "cert.server.pem", "hostlist.xml"):
            self.assertFalse([f for f in files if f.endswith("/" + name)], name)
        self.assertFalse([f for f in files if not f.startswith("/usr/")], "files outside /usr")

    def test_desktop_entry_and_manual_pages_are_valid(self):
        entry = os.path.join(self.tree, "usr/share/applications/corvanthelix.desktop")
        self.assertEqual(run("desktop-file-validate", entry).strip(), "")
        with open(entry) as f:
            text = f.read()
        self.assertIn("\nCategories=Network;Email;\n", text)
        self.assertIn("\nExec=corvanthelix\n", text)
        self.assertIn("\nIcon=corvanthelix\n", text)
        pages = ["corvanthelix.1"] + (["pendraxil.1"] if self.with_pendraxil else [])
        for page in pages:
            path = os.path.join(self.tree, "usr/share/man/man1", page)
            warnings = run("groff", "-man", "-ww", "-z", path)
            self.assertEqual(warnings.strip(), "", page)
            text = run("man", "-l", path, env=dict(os.environ, MANWIDTH="100", MAN_KEEP_FORMATTING=""))
            self.assertIn("SYNOPSIS", text)
        manual = run("man", "-l", os.path.join(self.tree, "usr/share/man/man1/corvanthelix.1"),
                     env=dict(os.environ, MANWIDTH="100"))
        for option in ("--headless", "--home", "--version"):
            self.assertIn(option, manual)
        self.assertIn("server&user&port", manual)
        self.assertIn("~/.local/share/corvanthelix", manual)

    def test_unpacked_program_runs(self):
        program = os.path.join(self.tree, "usr/bin/corvanthelix")
        self.assertEqual(run(program, "--version").strip(), "Corvanthelix " + cache_value("CMAKE_PROJECT_VERSION"))
        self.assertNotIn(b"debug_info", subprocess.run(["file", program], stdout=subprocess.PIPE).stdout)


if __name__ == "__main__":
    unittest.main()

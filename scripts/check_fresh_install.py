#!/usr/bin/env python3
"""Installs a built .deb on a fresh Debian 12 and checks mail through the installed program.

    python3 scripts/check_fresh_install.py build/release/corvanthelix_*.deb [ROOT]

Makes a minimal Debian 12 tree in ROOT (default /var/tmp/corvanthelix-fresh) with debootstrap from
Debian's mirror unless one is there, installs the package into it with apt, then runs the
installed program headless as nobody with a temporary HOME inside that tree, against a private
Dovecot on 127.0.0.1, and checks that the client got the clean message, the spam went to the
recycle bin, and every written file is in ~/.local/share/corvanthelix. Run as root; needs the
network to Debian's mirror and takes a few minutes the first time."""

import os
import poplib
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import Dovecot, crlf, fetch_all, free_port, make_certificate, wait_for_greeting  # noqa: E402

NOBODY = 65534


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    deb = os.path.abspath(sys.argv[1])
    root = sys.argv[2] if len(sys.argv) > 2 else "/var/tmp/corvanthelix-fresh"
    if not os.path.exists(os.path.join(root, "usr", "bin", "apt-get")):
        subprocess.run(["debootstrap", "--variant=minbase", "bookworm", root, "http://deb.debian.org/debian"],
                       check=True)
    shutil.copy(deb, os.path.join(root, "tmp"))
    shutil.copy("/etc/resolv.conf", os.path.join(root, "etc", "resolv.conf"))
    proc = os.path.join(root, "proc")
    mounted = not os.path.ismount(proc)
    if mounted:
        subprocess.run(["mount", "-t", "proc", "proc", proc], check=True)
    try:
        subprocess.run(["chroot", root, "sh", "-c", "DEBIAN_FRONTEND=noninteractive apt-get update -q && "
                        "DEBIAN_FRONTEND=noninteractive apt-get install -y -q /tmp/" + os.path.basename(deb)],
                       check=True)
        check_mail(root)
    finally:
        if mounted:
            subprocess.run(["umount", proc])


def check_mail(root):
    home = os.path.join(root, "tmp", "corvanthelix-user")
    data = os.path.join(home, ".local", "share", "corvanthelix")
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(data, mode=0o700)
    port = free_port()
    with open(os.path.join(data, "corvanthelix.ini"), "w") as f:
        f.write("[SERVER]\nPort=%d\nPortSSL=%d\n[CORVANTHELIX]\nAutoCheckForUpdates=0\n" % (port, free_port()))
    if not os.path.exists(os.path.join(root, "usr", "bin", "pendraxil")):
        # The first-start certificate comes with the certificate tool; a package without both
        # gets a certificate here.
        make_certificate(data, "cert.server.pem", "key.server.pem")
    subprocess.run(["chown", "-R", "%d:%d" % (NOBODY, NOBODY), home], check=True)
    with Dovecot({"alice": "pw"}) as dovecot:
        dovecot.deliver("alice", crlf("From: b@example.org\nSubject: hello\nMessage-ID: <h@x>\n\nhello alice\n"))
        dovecot.deliver("alice", crlf("From: s@example.net\nSubject: act now\nMessage-ID: <s@x>\n\n"
                                      "100% free, 100% guaranteed, adult content\n"))
        program = subprocess.Popen(["chroot", root, "setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY,
                                    "--clear-groups", "env", "-i", "HOME=/tmp/corvanthelix-user",
                                    "PATH=/usr/bin:/bin", "corvanthelix", "--headless"])
        try:
            wait_for_greeting(port)
            client = poplib.POP3("127.0.0.1", port, timeout=30)
            client.user("127.0.0.1&alice&%d" % dovecot.port)
            client.pass_("pw")
            messages = fetch_all(client)
        finally:
            program.send_signal(signal.SIGTERM)
            code = program.wait(15)
        left = dovecot.mailbox("alice")
    written = sorted(os.path.relpath(os.path.join(folder, name), home)
                     for folder, _, files in os.walk(home) for name in files)
    print("exit code %d; client got %d message(s); %d left on the server" % (code, len(messages), len(left)))
    print("written under HOME:\n  " + "\n  ".join(written))
    ok = (code == 0 and len(messages) == 1 and b"<h@x>" in messages[0] and not left
          and any(name.endswith(".recycle") for name in written)
          and all(name.startswith(".local/share/corvanthelix/") for name in written))
    print("fresh install: " + ("OK" if ok else "FAILED"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()

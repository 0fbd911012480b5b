"""Shared pieces of the fault-injection suite: a POP3 client that keeps the exact bytes of what it
receives, the one invariant every fault run ends with, and the clean restart that shows the
program folder's stores load after the fault.

The invariant: every message that was in the server mailbox is still on the server, or reached
the mail client byte for byte, or is in the recycle bin byte for byte (or was deleted without a
copy by a rule the settings ask for); and nothing else reached the client or the bin."""

import os
import re
import signal
import socket
import time
import xml.etree.ElementTree as ElementTree

from harness import crlf


class ClientGone(Exception):
    """The program closed the connection (or was killed) while the client waited."""


class Pop3Error(Exception):
    """The program answered -ERR; args[0] is the answer line."""


class Pop3Wire:
    """A mail client that keeps every byte: RETR gives the message with the dot-stuffing undone
    and nothing else changed (bare line feeds, NUL bytes and the final line end stay)."""

    def __init__(self, port, timeout=30):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.buffer = bytearray()
        self.greeting = self.line()

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass

    def _fill(self):
        try:
            data = self.sock.recv(1 << 20)
        except ConnectionResetError:
            data = b""
        except socket.timeout as e:
            raise ClientGone("no answer in time") from e
        if not data:
            raise ClientGone("connection closed")
        self.buffer += data

    def line(self):
        while True:
            end = self.buffer.find(b"\r\n")
            if end >= 0:
                line = bytes(self.buffer[:end])
                del self.buffer[:end + 2]
                return line
            self._fill()

    def command(self, text):
        try:
            self.sock.sendall(text.encode() + b"\r\n")
        except OSError as e:
            raise ClientGone("cannot send") from e
        reply = self.line()
        if not reply.startswith(b"+OK"):
            raise Pop3Error(reply)
        return reply

    def multiline(self):
        """The body of a multi-line answer up to its terminating line, with the stuffing undone."""
        searched = 0
        while True:
            if self.buffer.startswith(b".\r\n"):
                del self.buffer[:3]
                return b""
            end = self.buffer.find(b"\r\n.\r\n", max(0, searched - 4))
            if end >= 0:
                raw = bytes(self.buffer[:end + 2])
                del self.buffer[:end + 5]
                return unstuffed(raw)
            searched = len(self.buffer)
            self._fill()

    def login(self, server_port, user="alice", password="pw", server="127.0.0.1"):
        self.command("USER %s&%s&%d" % (server, user, server_port))
        return self.command("PASS %s" % password)

    def stat(self):
        fields = self.command("STAT").split()
        return int(fields[1]), int(fields[2])

    def retr(self, number):
        self.command("RETR %d" % number)
        return self.multiline()

    def dele(self, number):
        return self.command("DELE %d" % number)

    def quit(self):
        return self.command("QUIT")


def unstuffed(raw):
    """Undoes the dot-stuffing of a multi-line answer body: a "." that begins a line goes."""
    out = bytearray()
    start = 0
    while start < len(raw):
        end = raw.find(b"\r\n", start)
        end = len(raw) if end < 0 else end + 2
        out += raw[start + 1:end] if raw[start:start + 1] == b"." else raw[start:end]
        start = end
    return bytes(out)


def fetch_everything(port, server_port, received, delete=True):
    """A whole mail check through the program: STAT, RETR and DELE of every message, QUIT. Each
    message received whole is appended to `received` as it comes, so a run cut short keeps what
    got through. Returns the answer that ended it: the QUIT answer, or the first -ERR."""
    client = Pop3Wire(port)
    try:
        client.login(server_port)
        count, _ = client.stat()
        for number in range(1, count + 1):
            received.append(client.retr(number))
            if delete:
                client.dele(number)
        return client.quit()
    except Pop3Error as refused:
        return refused.args[0]
    finally:
        client.close()


def index_entries(folder, store, index, name_attribute):
    """(attributes, file bytes or None) of every entry of a store's index, e.g. ("recycle",
    "recyclebin.xml", "name"). Read after the program stopped cleanly, when the index holds every
    change."""
    path = os.path.join(folder, store, index)
    if not os.path.exists(path):
        return []
    entries = []
    for element in ElementTree.parse(path).getroot():
        try:
            with open(os.path.join(folder, store, element.get(name_attribute, "")), "rb") as f:
                data = f.read()
        except OSError:
            data = None
        entries.append((dict(element.attrib), data))
    return entries


def bin_entries(folder):
    """The recycle bin's entries (see index_entries)."""
    return index_entries(folder, "recycle", "recyclebin.xml", "name")


def mark_in_bin(folder, attribute):
    """Sets `attribute`="1" on every entry of the recycle bin index, as the bin window does, while
    the program is stopped (after a clean stop the index holds every change)."""
    path = os.path.join(folder, "recycle", "recyclebin.xml")
    with open(path) as f:
        index = f.read()
    index = re.sub(r' %s="[^"]*"' % attribute, "", index)
    index = index.replace("<recyclefile ", '<recyclefile %s="1" ' % attribute)
    with open(path, "w") as f:
        f.write(index)


def assert_invariant(test, originals, on_server, delivered, bin_copies, deleted_by_rule=()):
    """Every original message is on the server, delivered or in the bin, byte for byte (or in
    `deleted_by_rule`); every delivered message and every bin copy is one of the originals."""
    originals = list(originals)
    known = set(originals)
    places = set(on_server) | set(delivered) | set(bin_copies) | set(deleted_by_rule)
    lost = [m for m in originals if m not in places]
    test.assertEqual(lost, [], "messages lost: %s" % [short(m) for m in lost])
    altered = [m for m in delivered if m not in known]
    test.assertEqual(altered, [], "delivered altered: %s" % [short(m) for m in altered])
    altered = [m for m in bin_copies if m not in known]
    test.assertEqual(altered, [], "altered in the bin: %s" % [short(m) for m in altered])


def short(message):
    """A message reduced to what tells it apart in a failure report."""
    subject = re.search(rb"Subject: ([^\r\n]*)", message[:4096])
    return "%r (%d bytes)" % (subject.group(1)[:60] if subject else message[:40], len(message))


def clean_restart_and_check(test, proxy, server, received):
    """Starts the program again on its folder after a fault, runs a whole mail check against
    `server` (anything with .port; received messages appended to `received`), stops it, and
    checks that it started, checked and stopped cleanly and that its stores load. Returns the
    bytes of every recycle bin copy."""
    if proxy.process is not None and proxy.process.poll() is None:
        proxy.kill()
    proxy.start()
    reply = fetch_everything(proxy.port, server.port, received)
    test.assertTrue(reply.startswith(b"+OK Everything done."), reply)
    test.assertEqual(proxy.stop(), 0, proxy.stderr()[-2000:])
    entries = bin_entries(proxy.folder)
    missing = [attrs.get("name") for attrs, data in entries if data is None]
    test.assertEqual(missing, [], "bin entries without their file")
    # The journal is folded into the index at a clean stop.
    journal = os.path.join(proxy.folder, "recycle", "recyclebin.journal")
    test.assertFalse(os.path.exists(journal) and os.path.getsize(journal) > 0, "journal left after stop")
    training = index_entries(proxy.folder, "training", "training.xml", "filename")
    test.assertEqual([a for a, data in training if data is None], [], "training entries without their file")
    return [data for attrs, data in entries if data is not None and attrs.get("lines", "-1") == "-1"]


def kill_program(proxy):
    """SIGKILL to the program right now (from any thread); waits until it is gone."""
    process = proxy.process
    if process is None:
        return
    try:
        os.kill(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()


def wait_for(predicate, timeout=10.0, step=0.0005):
    """Polls `predicate` until it is true; returns whether it became true in time."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return False


def mail(number, subject, sender="Sender <s@example.org>", body=None, extra_headers=""):
    """A small message with a unique Message-ID, CRLF line ends."""
    if body is None:
        body = "Line one of message %d.\n.a line that starts with a dot\n..two dots\n.\nend\n" % number
    return crlf("From: %s\nTo: alice@example.org\nSubject: %s\nMessage-ID: <f%d@example.org>\n"
                "Date: Mon, 05 Jan 2026 10:00:00 +0000\n%s\n%s" % (sender, subject, number, extra_headers,
                                                                   body))


BLOCKED = {"SENDERS": {"*@bad.example": "Bad,1"}}


def spam(number):
    return mail(number, "offer %d" % number, sender="Spammer <s%d@bad.example>" % number)


def ham(number):
    return mail(number, "notes %d" % number, sender="Carol <carol@work.example>")

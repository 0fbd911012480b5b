"""A scriptable POP3 server for end-to-end runs with faults a real server does not show: it drops
the connection, goes silent, trickles its answers byte by byte, or calls back into the test (to
kill the program) at a chosen command, before or after sending a chosen part of its answer.

The mailbox lives in the server object across sessions. A session sees the messages that were
there when it logged in; its deletions take effect only when it ends with QUIT, as on a real
server. Messages are given as the bytes a plain RETR hands out after undoing the dot-stuffing
(CRLF line ends, the last line ended); the server stuffs them on the wire.

Only the Python standard library is used; it listens on 127.0.0.1."""

import socket
import threading
import time


class Action:
    """What the server does at a scripted command.

    before: called before anything of the answer is sent (e.g. to kill the program).
    send:   the part of the answer that is sent, 0.0 to 1.0 (bytes rounded down).
    after:  called once that part has been sent.
    then:   None to go on serving, "drop" to close the connection, "silent" to answer nothing
            more until the peer closes.
    update: for QUIT, whether the session's deletions take effect (a connection lost before the
            QUIT reached the server commits nothing).
    reply:  bytes sent instead of the usual answer (b"-ERR no\r\n", say), or None; or a function
            called with the connection to send an answer of its own, after which the session ends."""

    def __init__(self, before=None, send=1.0, after=None, then=None, update=True, reply=None):
        self.reply = reply
        self.before = before
        self.send = send
        self.after = after
        self.then = then
        self.update = update


def stuffed(message):
    """The message as it travels in a multi-line answer (without the terminating line)."""
    if not message.endswith(b"\r\n"):
        message += b"\r\n"
    out = bytearray()
    start = 0
    while start < len(message):
        end = message.find(b"\r\n", start)
        end = len(message) if end < 0 else end + 2
        if message[start:start + 1] == b".":
            out += b"."
        out += message[start:end]
        start = end
    return bytes(out)


def top_part(message, lines):
    """The header, the empty line and at most `lines` body lines of a message."""
    head, sep, body = message.partition(b"\r\n\r\n")
    if not sep:
        return message
    kept = body.split(b"\r\n")[:lines]
    return head + b"\r\n\r\n" + b"".join(line + b"\r\n" for line in kept if line or lines)


class FakePop3:
    """The server. Use as a context manager; `port` is set once it listens."""

    def __init__(self, messages=(), user="alice", password="pw"):
        self.user = user
        self.password = password
        # [uid, bytes] in server order.
        self.mailbox = [["fake-%04d" % i, m] for i, m in enumerate(messages, 1)]
        self._next_uid = len(self.mailbox) + 1
        self.lock = threading.Lock()
        self.rules = []          # [(command text, Action)], each used once
        self.commands = []       # every command line received, as text
        self.trickle = None      # (bytes per piece, seconds between pieces) for every answer
        self.greeting = b"+OK fake POP3 ready\r\n"  # the first thing every connection gets
        self.port = None
        self._listener = None
        self._threads = []
        self._sockets = set()
        self._stopping = False

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind(("127.0.0.1", 0))
        self._listener.listen(8)
        # A blocked accept() does not notice close() from another thread: poll instead.
        self._listener.settimeout(0.05)
        self.port = self._listener.getsockname()[1]
        thread = threading.Thread(target=self._accept, daemon=True)
        thread.start()
        self._threads.append(thread)

    def stop(self):
        self._stopping = True
        try:
            self._listener.close()
        except OSError:
            pass
        with self.lock:
            sockets = list(self._sockets)
        for s in sockets:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        for thread in self._threads:
            thread.join(timeout=5)

    # -- the mailbox, for the test ------------------------------------------------------------

    def deliver(self, message):
        with self.lock:
            self.mailbox.append(["fake-%04d" % self._next_uid, message])
            self._next_uid += 1

    def messages(self):
        """The messages the server holds now, in server order."""
        with self.lock:
            return [m for _, m in self.mailbox]

    def on(self, command, action):
        """Scripts `action` for the next command whose text is `command` ("DELE 4", "LIST",
        "QUIT"; "CONNECT" for the greeting of the next connection)."""
        with self.lock:
            self.rules.append((command.upper(), action))

    def received(self, command):
        """How many times a command with this text came."""
        with self.lock:
            return sum(1 for c in self.commands if c.upper() == command.upper())

    # -- serving ---------------------------------------------------------------------------------

    def _accept(self):
        while not self._stopping:
            try:
                conn, _ = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            conn.settimeout(None)
            thread = threading.Thread(target=self._serve, args=(conn,), daemon=True)
            thread.start()
            self._threads.append(thread)

    def _take_rule(self, command):
        with self.lock:
            for i, (text, action) in enumerate(self.rules):
                if text == command.upper():
                    del self.rules[i]
                    return action
        return None

    def _send(self, conn, data):
        if self.trickle:
            piece, delay = self.trickle
            for i in range(0, len(data), piece):
                if i:
                    time.sleep(delay)
                conn.sendall(data[i:i + piece])
        else:
            conn.sendall(data)

    def _answer(self, conn, data, action):
        """Sends `data` as the action says; returns False when the session must end."""
        if action and action.before:
            action.before()
        if action and callable(action.reply):
            try:
                action.reply(conn)
            except OSError:
                pass
            return False
        if action and action.reply is not None:
            data = action.reply
        part = data if not action else data[:int(len(data) * action.send)]
        try:
            self._send(conn, part)
        except OSError:
            return False
        if action and action.after:
            action.after()
        if action and action.then == "drop":
            return False
        if action and action.then == "silent":
            self._wait_for_close(conn)
            return False
        return True

    def _wait_for_close(self, conn):
        conn.settimeout(0.2)
        while not self._stopping:
            try:
                if not conn.recv(65536):
                    return
            except socket.timeout:
                continue
            except OSError:
                return

    def _serve(self, conn):
        with self.lock:
            self._sockets.add(conn)
        try:
            self._session(conn)
        except OSError:
            pass
        finally:
            with self.lock:
                self._sockets.discard(conn)
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            conn.close()

    def _session(self, conn):
        if not self._answer(conn, self.greeting, self._take_rule("CONNECT")):
            return
        reader = conn.makefile("rb")
        user_ok = False
        logged_in = False
        view = []        # [uid, bytes] seen by this session
        deleted = set()  # message numbers (1-based)
        while True:
            line = reader.readline(65536)
            if not line:
                return
            text = line.rstrip(b"\r\n").decode("latin-1")
            with self.lock:
                self.commands.append(text)
            verb, _, arg = text.partition(" ")
            verb = verb.upper()
            action = self._take_rule(text)

            def number(value):
                try:
                    n = int(value.split()[0])
                except (ValueError, IndexError):
                    return None
                return n if 1 <= n <= len(view) and n not in deleted else None

            if verb == "QUIT":
                if logged_in and (action is None or action.update):
                    with self.lock:
                        gone = [view[n - 1][0] for n in deleted]
                        self.mailbox = [m for m in self.mailbox if m[0] not in gone]
                self._answer(conn, b"+OK bye\r\n", action)
                return
            if verb == "CAPA":
                reply = b"+OK\r\nTOP\r\nUIDL\r\nUSER\r\n.\r\n"
            elif verb == "USER":
                user_ok = arg == self.user
                reply = b"+OK\r\n"
            elif verb == "PASS":
                if user_ok and arg == self.password:
                    logged_in = True
                    with self.lock:
                        view = [list(m) for m in self.mailbox]
                    reply = b"+OK logged in\r\n"
                else:
                    reply = b"-ERR [AUTH] Authentication failed.\r\n"
            elif not logged_in:
                reply = b"-ERR not logged in\r\n"
            elif verb == "NOOP" or verb == "RSET":
                if verb == "RSET":
                    deleted.clear()
                reply = b"+OK\r\n"
            elif verb == "STAT":
                live = [m for i, m in enumerate(view, 1) if i not in deleted]
                reply = b"+OK %d %d\r\n" % (len(live), sum(size(m[1]) for m in live))
            elif verb in ("LIST", "UIDL"):
                def item(i):
                    m = view[i - 1]
                    return b"%d %s" % (i, m[0].encode() if verb == "UIDL" else
                                       str(size(m[1])).encode())
                if arg:
                    n = number(arg)
                    reply = b"+OK " + item(n) + b"\r\n" if n else b"-ERR no such message\r\n"
                else:
                    reply = b"+OK\r\n" + b"".join(item(i) + b"\r\n" for i in range(1, len(view) + 1)
                                                   if i not in deleted) + b".\r\n"
            elif verb == "RETR":
                n = number(arg)
                reply = (b"+OK message follows\r\n" + stuffed(view[n - 1][1]) + b".\r\n" if n
                         else b"-ERR no such message\r\n")
            elif verb == "TOP":
                parts = arg.split()
                n = number(arg)
                try:
                    lines = int(parts[1])
                except (ValueError, IndexError):
                    n = None
                reply = (b"+OK top follows\r\n" + stuffed(top_part(view[n - 1][1], lines)) + b".\r\n"
                         if n else b"-ERR no such message\r\n")
            elif verb == "DELE":
                n = number(arg)
                if n:
                    deleted.add(n)
                reply = b"+OK deleted\r\n" if n else b"-ERR no such message\r\n"
            else:
                reply = b"-ERR unknown command\r\n"
            if not self._answer(conn, reply, action):
                return



def size(message):
    """The size LIST gives: the message with its last line ended."""
    return len(message) + (0 if message.endswith(b"\r\n") else 2)

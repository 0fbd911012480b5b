"""Test harness for end-to-end runs: a real Dovecot POP3 server in a temporary folder, the real
corvanthelix program in headless mode in a temporary program folder, and helpers for clients.

Only the Python standard library is used. Everything listens on 127.0.0.1 high ports."""

import atexit
import os
import poplib
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import time
import uuid

SOURCE_DIR = os.environ.get("CORVANTHELIX_SOURCE_DIR",
                            os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
PROGRAM_DIR = os.environ.get("CORVANTHELIX_PROGRAM_DIR",
                             os.path.join(SOURCE_DIR, "build", "dev", "program"))

# The local TLS port's certificate, key and DER copy, made by the program in its folder.
LOCAL_CERTIFICATE_FILES = ("cert.server.pem", "key.server.pem", "cert.server.der")


def free_port():
    """A TCP port on 127.0.0.1 that nobody listens on right now."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_greeting(port, use_tls=False, timeout=10.0, host="127.0.0.1"):
    """Polls until the port answers with a +OK greeting; raises when it does not in time."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        try:
            with socket.create_connection((host, port), timeout=1.0) as raw:
                sock = raw
                if use_tls:
                    ctx = ssl.create_default_context()
                    ctx.check_hostname = False
                    ctx.verify_mode = ssl.CERT_NONE
                    sock = ctx.wrap_socket(raw)
                line = sock.recv(512)
                if line.startswith(b"+OK"):
                    return
                last = line
        except OSError as e:
            last = e
        time.sleep(0.03)
    raise RuntimeError("port %d did not greet: %r" % (port, last))


_CA = {}


def _openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def test_ca():
    """The certificate authority of this test run: made once per process in a temporary folder,
    and installed as the trust store of every program started from here (SSL_CERT_FILE), so
    that the servers' certificates verify as a real one from a public authority would.
    Returns (folder, ca.pem)."""
    if not _CA:
        folder = tempfile.mkdtemp(prefix="corvanthelix-ca-")
        os.chmod(folder, 0o755)
        key, cert = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "60",
                 "-subj", "/O=Corvanthelix Test/CN=Corvanthelix Test CA", "-keyout", key, "-out", cert)
        os.makedirs(os.path.join(folder, "issued"))
        open(os.path.join(folder, "index.txt"), "w").close()
        with open(os.path.join(folder, "serial"), "w") as f:
            f.write("1000\n")
        with open(os.path.join(folder, "ca.conf"), "w") as f:
            f.write("""[ca]
default_ca = test_ca
[test_ca]
dir = {d}
database = {d}/index.txt
new_certs_dir = {d}/issued
serial = {d}/serial
certificate = {cert}
private_key = {key}
default_md = sha256
policy = any_name
unique_subject = no
copy_extensions = none
[any_name]
commonName = supplied
""".format(d=folder, cert=cert, key=key))
        _CA.update(folder=folder, cert=cert, key=key)
        if not os.environ.get("CORVANTHELIX_KEEP_TEMP"):
            atexit.register(shutil.rmtree, folder, True)
    os.environ["SSL_CERT_FILE"] = _CA["cert"]
    return _CA["folder"], _CA["cert"]


def make_certificate(folder, cert_name="cert.pem", key_name="key.pem", kind="good", name="localhost"):
    """A server certificate with its key in `folder`. `kind`: "good" (signed by the test CA for
    `name`, 127.0.0.1 and ::1), "expired" (the same, valid only in 2020), "other-name" (signed by
    the test CA for mail.other.example only), "self-signed" (for `name`, signed by itself)."""
    cert = os.path.join(folder, cert_name)
    key = os.path.join(folder, key_name)
    if kind == "self-signed":
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj", "/CN=" + name,
                 "-addext", "subjectAltName=DNS:%s,IP:127.0.0.1" % name, "-keyout", key, "-out", cert)
        return cert, key
    ca_folder, _ = test_ca()
    request = os.path.join(folder, cert_name + ".csr")
    subject = "mail.other.example" if kind == "other-name" else name
    _openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + subject,
             "-keyout", key, "-out", request)
    extensions = os.path.join(folder, cert_name + ".ext")
    with open(extensions, "w") as f:
        if kind == "other-name":
            f.write("subjectAltName=DNS:mail.other.example\n")
        else:
            f.write("subjectAltName=DNS:%s,IP:127.0.0.1,IP:::1\n" % name)
    dates = ["-startdate", "20200101000000Z", "-enddate", "20200201000000Z"] if kind == "expired" else ["-days", "30"]
    _openssl("ca", "-batch", "-notext", "-config", os.path.join(ca_folder, "ca.conf"), "-in", request,
             "-out", cert, "-extfile", extensions, *dates)
    return cert, key


class Dovecot:
    """A private Dovecot serving POP3 (plain and POP3S) for the given users from Maildirs."""

    def __init__(self, users, extra_config="", certificate="good", listen="127.0.0.1"):
        """`certificate`: the kind of server certificate (see make_certificate); `listen`: the
        address of both listeners ("::1" for IPv6)."""
        self.users = dict(users)
        self.extra_config = extra_config
        self.certificate = certificate
        self.listen = listen
        self.folder = None
        self.port = None
        self.ssl_port = None
        self.pid = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        self.folder = tempfile.mkdtemp(prefix="corvanthelix-dovecot-")
        # Dovecot's own users must reach the mail and password files.
        os.chmod(self.folder, 0o755)
        self.port = free_port()
        self.ssl_port = free_port()
        self.cert, key = make_certificate(self.folder, kind=self.certificate)
        os.chmod(key, 0o644)
        for sub in ("base", "state", "homes"):
            os.makedirs(os.path.join(self.folder, sub), mode=0o755)
        with open(os.path.join(self.folder, "passwd"), "w") as f:
            for user, password in self.users.items():
                home = self.home(user)
                for box in ("new", "cur", "tmp"):
                    os.makedirs(os.path.join(home, "Maildir", box), exist_ok=True)
                self._chown_tree(home)
                f.write("%s:{PLAIN}%s::::%s\n" % (user, password, home))
        os.chmod(os.path.join(self.folder, "passwd"), 0o644)
        conf = os.path.join(self.folder, "dovecot.conf")
        with open(conf, "w") as f:
            f.write("""
base_dir = {d}/base
state_dir = {d}/state
log_path = {d}/dovecot.log
info_log_path = {d}/dovecot.log
listen = {listen}
protocols = pop3
ssl = yes
ssl_cert = <{cert}
ssl_key = <{key}
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_failure_delay = 0
auth_username_chars =
mail_location = maildir:~/Maildir
mail_uid = nobody
mail_gid = nogroup
first_valid_uid = 0
pop3_uidl_format = %08Xv%08Xu
passdb {{
  driver = passwd-file
  args = {d}/passwd
}}
userdb {{
  driver = passwd-file
  args = {d}/passwd
}}
service pop3-login {{
  inet_listener pop3 {{
    address = {listen}
    port = {port}
  }}
  inet_listener pop3s {{
    address = {listen}
    port = {ssl_port}
    ssl = yes
  }}
}}
service anvil {{
  chroot =
}}
{extra}
""".format(d=self.folder, cert=self.cert, key=key, listen=self.listen, port=self.port, ssl_port=self.ssl_port,
           extra=self.extra_config))
        subprocess.run(["dovecot", "-c", conf], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        pidfile = os.path.join(self.folder, "base", "master.pid")
        deadline = time.monotonic() + 10
        while not os.path.exists(pidfile) and time.monotonic() < deadline:
            time.sleep(0.01)
        with open(pidfile) as f:
            self.pid = int(f.read().strip())
        wait_for_greeting(self.port, host=self.listen)
        wait_for_greeting(self.ssl_port, use_tls=True, host=self.listen)

    def restart_with_certificate(self, kind):
        """Gives the server a new certificate of `kind` and restarts it on the same ports (the
        mailboxes stay)."""
        self.cert, key = make_certificate(self.folder, kind=kind)
        os.chmod(key, 0o644)
        pid, self.pid = self.pid, None
        os.kill(pid, signal.SIGTERM)
        pidfile = os.path.join(self.folder, "base", "master.pid")
        deadline = time.monotonic() + 10
        while os.path.exists(pidfile) and time.monotonic() < deadline:
            time.sleep(0.02)
        subprocess.run(["dovecot", "-c", os.path.join(self.folder, "dovecot.conf")], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while not os.path.exists(pidfile) and time.monotonic() < deadline + 10:
            time.sleep(0.01)
        with open(pidfile) as f:
            self.pid = int(f.read().strip())
        wait_for_greeting(self.port, host=self.listen)
        wait_for_greeting(self.ssl_port, use_tls=True, host=self.listen)

    def stop(self):
        if self.pid:
            try:
                os.kill(self.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            deadline = time.monotonic() + 10
            pidfile = os.path.join(self.folder, "base", "master.pid")
            while time.monotonic() < deadline:
                try:
                    os.kill(self.pid, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.02)
            self.pid = None
            del pidfile
        if self.folder and not os.environ.get("CORVANTHELIX_KEEP_TEMP"):
            shutil.rmtree(self.folder, ignore_errors=True)

    def home(self, user):
        return os.path.join(self.folder, "homes", user.replace("/", "_"))

    @staticmethod
    def _chown_tree(path):
        for root, dirs, files in os.walk(path):
            os.chown(root, 65534, 65534)
            for name in files:
                os.chown(os.path.join(root, name), 65534, 65534)

    def deliver(self, user, message):
        """Puts one message (bytes, CRLF line ends) into the user's Maildir; returns its file name."""
        name = "%d.%s.corvanthelix" % (time.time_ns(), uuid.uuid4().hex)
        new = os.path.join(self.home(user), "Maildir", "new")
        tmp_path = os.path.join(self.home(user), "Maildir", "tmp", name)
        with open(tmp_path, "wb") as f:
            f.write(message)
        os.chown(tmp_path, 65534, 65534)
        os.rename(tmp_path, os.path.join(new, name))
        # Keep delivery order distinguishable by modification time.
        time.sleep(0.002)
        return name

    def mailbox(self, user):
        """The messages the server holds for the user, as a list of bytes (order not fixed)."""
        result = []
        for box in ("cur", "new"):
            folder = os.path.join(self.home(user), "Maildir", box)
            for name in sorted(os.listdir(folder)):
                with open(os.path.join(folder, name), "rb") as f:
                    result.append(f.read())
        return result

    def log(self):
        try:
            with open(os.path.join(self.folder, "dovecot.log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""


class Proxy:
    """The real corvanthelix program, headless, in a temporary program folder."""

    def __init__(self, settings=None, extra_files=None, folder=None, env=None):
        """`folder`: an existing empty folder to use as the program folder (a small file system
        mounted by a test, say); by default a new temporary folder. `env`: variables to set for
        the program on top of the test's own (SSL_CERT_FILE is the test CA's unless given)."""
        self.env = env or {}
        self.settings = settings or {}
        self.extra_files = extra_files or {}
        self.given_folder = folder
        self.folder = None
        self.port = None
        self.ssl_port = None
        self.process = None
        self.stderr_path = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()
        self.cleanup()

    def prepare(self):
        """Makes the program folder: data files of the staged program folder and the settings."""
        if self.folder:
            return
        self.folder = self.given_folder or tempfile.mkdtemp(prefix="corvanthelix-home-")
        for name in os.listdir(PROGRAM_DIR):
            src = os.path.join(PROGRAM_DIR, name)
            if name in ("corvanthelix", "pendraxil") or name.endswith(".so") and os.path.isfile(src):
                continue  # the programs and the library run from the build folder
            if name in LOCAL_CERTIFICATE_FILES:
                continue  # each program folder makes its own at the first start
            dst = os.path.join(self.folder, name)
            if os.path.isdir(src):
                shutil.copytree(src, dst)
            else:
                shutil.copy2(src, dst)
        self.port = free_port()
        self.ssl_port = free_port()
        sections = {"SERVER": {"Port": self.port, "PortSSL": self.ssl_port, "EnablePort": 1,
                               "EnablePortSSL": 1, "Timeout": 10},
                    "CORVANTHELIX": {"AutoCheckForUpdates": 0, "Language": "default"}}
        for section, values in self.settings.items():
            sections.setdefault(section, {}).update(values)
        self.write_settings(sections)
        for rel, content in self.extra_files.items():
            path = os.path.join(self.folder, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb" if isinstance(content, bytes) else "w") as f:
                f.write(content)

    def write_settings(self, sections):
        path = os.path.join(self.folder, "corvanthelix.ini")
        with open(path, "w") as f:
            for section, values in sections.items():
                f.write("[%s]\n" % section)
                for key, value in values.items():
                    f.write("%s=%s\n" % (key, value))
        os.chmod(path, 0o600)

    def start(self, wait=True):
        test_ca()
        self.prepare()
        self.stderr_path = os.path.join(self.folder, "stderr.txt")
        err = open(self.stderr_path, "ab")
        self.process = subprocess.Popen(
            [os.path.join(PROGRAM_DIR, "corvanthelix"), "--headless", "--home", self.folder],
            stdin=subprocess.DEVNULL, stdout=err, stderr=err, env=dict(os.environ, **self.env))
        err.close()
        if wait:
            wait_for_greeting(self.port)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        code = self.process.returncode if self.process else None
        self.process = None
        return code

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process = None

    def cleanup(self):
        if self.folder and not os.environ.get("CORVANTHELIX_KEEP_TEMP"):
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None

    def path(self, rel):
        return os.path.join(self.folder, rel)

    def read(self, rel, mode="rb"):
        with open(self.path(rel), mode) as f:
            return f.read()

    def stderr(self):
        try:
            with open(self.stderr_path, errors="replace") as f:
                return f.read()
        except (OSError, TypeError):
            return ""

    def pop(self, server_port, user, password, tls_local=False, server="127.0.0.1", timeout=30):
        """A logged-in poplib client talking to the proxy for the account user@server:server_port."""
        if tls_local:
            ctx = ssl.create_default_context()
            ctx.check_hostname = False
            ctx.verify_mode = ssl.CERT_NONE
            # The TLS port opens once the program has its local certificate, which it may still
            # be making at its first start on a loaded machine.
            deadline = time.monotonic() + 20
            while True:
                try:
                    client = poplib.POP3_SSL("127.0.0.1", self.ssl_port, context=ctx, timeout=timeout)
                    break
                except ConnectionRefusedError:
                    if time.monotonic() > deadline:
                        raise
                    time.sleep(0.05)
        else:
            client = poplib.POP3("127.0.0.1", self.port, timeout=timeout)
        client.user("%s&%s&%d" % (server, user, server_port))
        client.pass_(password)
        return client


def fetch_all(client, delete=True):
    """RETRs every message the client sees (as raw bytes with CRLF), DELEs them if asked, QUITs."""
    count, _ = client.stat()
    messages = []
    for i in range(1, count + 1):
        _, lines, _ = client.retr(i)
        messages.append(b"\r\n".join(lines) + b"\r\n")
        if delete:
            client.dele(i)
    client.quit()
    return messages


def crlf(text):
    """Turns a text with LF line ends into message bytes with CRLF."""
    if isinstance(text, str):
        text = text.encode()
    return text.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def server_commands(proxy, verb):
    """How many commands `verb` with a number the program sent to mail servers, from its
    server log (messages taken from the cache are logged without a number)."""
    import re
    try:
        log = proxy.read("server.log").decode(errors="replace")
    except OSError:
        return 0
    return len(re.findall(r"C: %s \d" % verb, log))

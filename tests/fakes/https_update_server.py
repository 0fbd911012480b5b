#!/usr/bin/env python3
"""A local HTTPS server for the update check's tests (standard library only).

Makes a certificate authority of its own and two server certificates signed by it (one for
"localhost"/127.0.0.1, one for another name) with the openssl command, then serves the files of
--root on two loopback ports, one per certificate. The request path, query included, names the
file under --root; a missing file answers 404. A path containing "slow" sends its headers and a
few bytes and then stalls; a file whose name contains "trickle" is sent in small pieces with
pauses.

When ready it writes "<good port> <wrong-name port>" to --ready (the CA is --folder/ca.pem).
It ends by itself after --lifetime seconds, or when its standard input closes.
"""
import argparse
import http.server
import os
import ssl
import subprocess
import sys
import threading
import time


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(folder):
    ca_key, ca = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Corvanthelix Test CA",
            "-keyout", ca_key, "-out", ca)
    made = {}
    for name, san in (("good", "DNS:localhost,IP:127.0.0.1"), ("wrong", "DNS:other.invalid")):
        key, csr, cert = (os.path.join(folder, f"{name}.{ext}") for ext in ("key", "csr", "pem"))
        ext = os.path.join(folder, f"{name}.ext")
        with open(ext, "w") as f:
            f.write(f"subjectAltName={san}\nbasicConstraints=CA:FALSE\n")
        cn = "localhost" if name == "good" else "other.invalid"
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", f"/CN={cn}", "-keyout", key, "-out", csr)
        openssl("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial", "-days", "2",
                "-extfile", ext, "-out", cert)
        made[name] = (cert, key)
    return made


class Handler(http.server.BaseHTTPRequestHandler):
    root = "."
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        try:
            self.answer()
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            pass

    def answer(self):
        path = self.path.lstrip("/")
        if "slow" in path:
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"x" * 10)
            self.wfile.flush()
            time.sleep(20)
            return
        trickle = "trickle" in path
        file = os.path.normpath(os.path.join(self.root, path))
        if not file.startswith(os.path.abspath(self.root)) or not os.path.isfile(file):
            body = b"not here"
            self.send_response(404)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        with open(file, "rb") as f:
            data = f.read()
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if not trickle:
            self.wfile.write(data)
            return
        for start in range(0, len(data), 4096):
            self.wfile.write(data[start:start + 4096])
            self.wfile.flush()
            time.sleep(0.05)


def serve(cert, key, root):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    handler = type("RootedHandler", (Handler,), {"root": os.path.abspath(root)})
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--lifetime", type=float, default=300)
    args = parser.parse_args()
    made = make_certificates(args.folder)
    ports = [serve(*made[name], args.root) for name in ("good", "wrong")]
    with open(args.ready + ".tmp", "w") as f:
        f.write(f"{ports[0]} {ports[1]}\n")
    os.rename(args.ready + ".tmp", args.ready)
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    time.sleep(args.lifetime)


if __name__ == "__main__":
    main()

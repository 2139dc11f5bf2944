#!/usr/bin/env python3
"""A loopback HTTPS server for the tests of the online services.

Makes a test CA and a server certificate for 127.0.0.1 in --dir (openssl),
listens on an ephemeral 127.0.0.1 port and prints one JSON line to standard
output: {"port", "ca", "stall_port", "closed_port"}. It ends after
--max-requests requests, after --lifetime seconds, or when the process
--parent (the test that started it) has gone, whichever comes first.

Every request is appended to <dir>/requests.log as one JSON line
{"method", "path", "headers": [[name, value], ...], "body"} before it is
answered.

Routes (a leading "/functions/v1" is ignored, and so is the query string
unless stated):
  /status/<code>        <code> with a JSON echo of the request as the body
                        (no body for 204 and 304)
  /redirect             302 to /status/200 on this server
  /big?bytes=N[&length=0]  200 with N bytes of "x"; length=0 sends no
                        Content-Length and closes the connection instead
  /truncated            announces 1000 bytes, sends 10 and closes
  /slow/<name>?bytes=N&chunk=C&interval=S  200 announcing N bytes of "x",
                        sent C bytes (default 1024) at a time with S seconds
                        (default 0.2) between the pieces: a slow download
  /files/<name>         the file <dir>/<name>, with the status in
                        <dir>/<name>.status (default 200); the body follows
                        the headers after the seconds in <dir>/<name>.delay
                        (default 0) and with an "X-Padding" header of as many
                        bytes as <dir>/<name>.padding says (default none);
                        a missing file gives an HTML 404 page
stall_port accepts TCP connections (kernel backlog) and never answers;
closed_port is a port that was free a moment ago and has nobody listening.
"""

import argparse
import http.server
import json
import os
import socket
import ssl
import subprocess
import threading
import time
import urllib.parse


def make_certificates(folder):
    def run(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
        "-subj", "/CN=Quor Vane Test CA",
        "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    run("req", *ec, "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1")
    with open(os.path.join(folder, "server.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                "basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=serverAuth\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext")
    return os.path.join(folder, "ca.pem")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def handle_any(self):
        server = self.server
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(min(length, 16 << 20)) if length > 0 else b""
        record = {
            "method": self.command,
            "path": self.path,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body": body.decode("utf-8", "replace"),
        }
        with server.log_lock:
            with open(server.log_path, "a") as f:
                f.write(json.dumps(record) + "\n")
        self.close_connection = True
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        route = url.path
        if route.startswith("/functions/v1/"):
            route = route[len("/functions/v1"):]
        parts = route.split("/")
        try:
            if len(parts) == 3 and parts[1] == "status":
                code = int(parts[2])
                if code in (204, 304):
                    self.reply(code, b"")
                else:
                    self.reply(code, json.dumps(record).encode(), "application/json")
            elif route == "/redirect":
                location = "https://127.0.0.1:%d/status/200" % server.server_address[1]
                self.reply(302, b"moved", extra=[("Location", location)])
            elif route == "/big":
                count = int(query.get("bytes", ["0"])[0])
                with_length = query.get("length", ["1"])[0] != "0"
                self.send_response(200)
                self.send_header("Content-Type", "text/plain")
                if with_length:
                    self.send_header("Content-Length", str(count))
                self.send_header("Connection", "close")
                self.end_headers()
                chunk = b"x" * 65536
                while count > 0:
                    n = min(count, len(chunk))
                    self.wfile.write(chunk[:n])
                    count -= n
            elif len(parts) == 3 and parts[1] == "slow" and parts[2]:
                count = int(query.get("bytes", ["0"])[0])
                piece = max(1, int(query.get("chunk", ["1024"])[0]))
                interval = float(query.get("interval", ["0.2"])[0])
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(count))
                self.send_header("Connection", "close")
                self.end_headers()
                while count > 0:
                    n = min(count, piece)
                    self.wfile.write(b"x" * n)
                    self.wfile.flush()
                    count -= n
                    if count > 0:
                        time.sleep(interval)
            elif route == "/truncated":
                self.send_response(200)
                self.send_header("Content-Length", "1000")
                self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(b"0123456789")
                self.wfile.flush()
            elif len(parts) == 3 and parts[1] == "files" and parts[2] not in ("", ".", ".."):
                path = os.path.join(server.folder, parts[2])
                if os.path.isfile(path):
                    code = 200
                    if os.path.isfile(path + ".status"):
                        with open(path + ".status") as f:
                            code = int(f.read().strip())
                    delay = 0.0
                    if os.path.isfile(path + ".delay"):
                        with open(path + ".delay") as f:
                            delay = float(f.read().strip() or 0)
                    extra = []
                    if os.path.isfile(path + ".padding"):
                        with open(path + ".padding") as f:
                            padding = int(f.read().strip() or 0)
                        if padding > 0:
                            extra.append(("X-Padding", "x" * padding))
                    with open(path, "rb") as f:
                        self.reply(code, f.read(), "application/json", extra=extra, delay=delay)
                else:
                    self.reply(404, b"<html><body><h1>404 Not Found</h1></body></html>", "text/html")
            else:
                self.reply(404, b"<html><body><h1>404 Not Found</h1></body></html>", "text/html")
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            pass
        server.count_request()

    def reply(self, code, body, content_type="text/plain", extra=(), delay=0.0):
        self.send_response(code)
        if body or code not in (204, 304):
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Connection", "close")
        self.end_headers()
        if delay > 0:
            self.wfile.flush()
            time.sleep(delay)
        if body:
            self.wfile.write(body)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, context, folder, max_requests):
        super().__init__(("127.0.0.1", 0), Handler)
        self.context = context
        self.folder = folder
        self.log_path = os.path.join(folder, "requests.log")
        self.log_lock = threading.Lock()
        self.count_lock = threading.Lock()
        self.requests_left = max_requests

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the request's own thread, so a client
        # that stalls or aborts it never holds up the accept loop.
        request.settimeout(20)
        try:
            tls = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return
        try:
            self.RequestHandlerClass(tls, client_address, self)
        except (ssl.SSLError, OSError):
            pass
        finally:
            try:
                tls.close()
            except OSError:
                pass

    def count_request(self):
        with self.count_lock:
            self.requests_left -= 1
            if self.requests_left <= 0:
                threading.Thread(target=self.shutdown, daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--max-requests", type=int, default=100)
    parser.add_argument("--lifetime", type=float, default=120.0)
    parser.add_argument("--parent", type=int, default=0)
    args = parser.parse_args()

    ca = make_certificates(args.dir)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(args.dir, "server.pem"), os.path.join(args.dir, "server.key"))

    server = Server(context, args.dir, args.max_requests)

    stall = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    stall.bind(("127.0.0.1", 0))
    stall.listen(16)

    closed = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    closed.bind(("127.0.0.1", 0))
    closed_port = closed.getsockname()[1]
    closed.close()

    def end_when_parent_goes():
        while args.parent <= 0 or os.getppid() == args.parent:
            time.sleep(0.2)
        os._exit(0)

    threading.Thread(target=end_when_parent_goes, daemon=True).start()
    threading.Timer(args.lifetime, lambda: os._exit(0)).start()

    print(json.dumps({"port": server.server_address[1], "ca": ca,
                      "stall_port": stall.getsockname()[1], "closed_port": closed_port}), flush=True)
    server.serve_forever()
    os._exit(0)


if __name__ == "__main__":
    main()

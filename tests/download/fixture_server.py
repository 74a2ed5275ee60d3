#!/usr/bin/env python3
"""Loopback HTTP and HTTPS server that the download tests and benchmark talk to.

Prints one base URL per line once it listens: first the plain HTTP one, then
one HTTPS URL for each --tls CERT KEY pair, in the order given.

Bodies of /bytes and friends follow a pattern that the C++ side rebuilds
(see fixtureserver.cpp): 64 KiB blocks, each the block number as eight
big-endian bytes followed by a fixed filler, so lost, repeated or reordered
blocks all show.

/resume/<size>?key=K serves it to clients that resume, each request under K
being the next attempt: drop=A,B,... breaks the n-th attempt off where it
reaches the n-th offset of the file; validator=etag|weak|modified|fresh
(dated in the answer's own second)|none; range=honour|ignore|blind (If-Range
ignored)|wrong (starts 1000 bytes early and says so); change: the first
attempt serves an older version; gzip: compressed where accepted.
"""
import argparse
import base64
import gzip
import http.server
import re
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

BLOCK = 65536
FILLER = bytes(((i * 131 + (i >> 8) * 17 + 7) & 0xFF) for i in range(BLOCK))
REALM = "Members"
CREDENTIALS = "alice:secret"

requests_seen = []  # (path, headers)
requests_lock = threading.Lock()
attempts = {}  # /resume key -> requests so far
OLD_VERSION = bytes(b ^ 0x5A for b in range(256))


def block(number):
    return struct.pack(">Q", number) + FILLER[8:]


def pattern_slice(start, end):
    first = start // BLOCK
    data = b"".join(block(n) for n in range(first, (end + BLOCK - 1) // BLOCK))
    return data[start - first * BLOCK:end - first * BLOCK]


def pattern_chunks(size, chunk_blocks=16):
    """The pattern body of `size` bytes, in pieces of up to chunk_blocks blocks."""
    number = 0
    sent = 0
    while sent < size:
        piece = b"".join(block(number + k) for k in range(chunk_blocks))
        number += chunk_blocks
        piece = piece[: size - sent]
        sent += len(piece)
        yield piece


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "MelodriftFixture/1"

    def setup(self):
        super().setup()
        if isinstance(self.connection, ssl.SSLSocket):
            # Handshake here, in the request's own thread: a client that is
            # busy asking its user about the certificate holds up nobody else.
            self.connection.do_handshake()

    def log_message(self, fmt, *args):
        sys.stderr.write("fixture: " + (fmt % args) + "\n")

    def do_GET(self):
        parsed = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(parsed.query, keep_blank_values=True)
        parts = [p for p in parsed.path.split("/") if p]
        if parsed.path != "/requests":
            with requests_lock:
                requests_seen.append((self.path, self.headers))
        try:
            self.route(parsed.path, parts, query)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True

    def route(self, path, parts, query):
        head = parts[0] if parts else ""
        if head == "requests":
            # Each path, then the asked-for headers it came with.
            names = query.get("header", [])
            with requests_lock:
                body = "".join(path + "".join("\t%s: %s" % (n, h[n]) for n in names if n in h) + "\n"
                               for path, h in requests_seen)
            self.send_body(200, body.encode())
        elif head == "bytes" and len(parts) == 2:
            self.send_pattern(int(parts[1]), chunked="chunked" in query)
        elif head == "text":
            self.send_body(200, query.get("body", [""])[0].encode())
        elif head == "auth" and len(parts) == 2:
            self.send_authenticated(int(parts[1]), query.get("realm", [REALM])[0])
        elif head == "redirect":
            self.send_redirect(query["to"][0], int(query.get("code", ["302"])[0]))
        elif head == "loop":
            self.send_redirect(self.path, 302)
        elif head == "status" and len(parts) == 2:
            code = int(parts[1])
            self.send_body(code, ("status %d body\n" % code).encode(),
                           reason=query.get("reason", [None])[0])
        elif head == "slow" and len(parts) == 2:
            self.send_slowly(int(parts[1]))
        elif head == "resume" and len(parts) == 2:
            self.send_resumable(int(parts[1]), query)
        else:
            self.send_body(404, b"no such fixture\n")

    def send_body(self, code, body, extra_headers=(), reason=None):
        self.send_response(code, reason)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra_headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def send_pattern(self, size, chunked=False):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        for piece in pattern_chunks(size):
            if chunked:
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            else:
                self.wfile.write(piece)
        if chunked:
            self.wfile.write(b"0\r\n\r\n")

    def send_authenticated(self, size, realm):
        expected = "Basic " + base64.b64encode(CREDENTIALS.encode()).decode()
        if self.headers.get("Authorization") == expected:
            self.send_pattern(size)
        else:
            self.send_body(401, b"credentials needed\n",
                           [("WWW-Authenticate", 'Basic realm="%s"' % realm)])

    def send_redirect(self, location, code):
        self.send_body(code, b"redirect body\n", [("Location", location)])

    def send_resumable(self, size, query):
        key = query.get("key", [""])[0]
        with requests_lock:
            attempt = attempts.get(key, 0)
            attempts[key] = attempt + 1
        old = "change" in query and attempt == 0
        kind = query.get("validator", ["etag"])[0]
        validators = []
        if kind in ("etag", "weak"):
            validators.append(("ETag", ("W/" if kind == "weak" else "") + ('"v0"' if old else '"v1"')))
        elif kind == "modified":
            validators.append(("Last-Modified",
                               "Wed, 01 Jan 2020 00:00:00 GMT" if old else "Fri, 01 Jan 2021 00:00:00 GMT"))
        elif kind == "fresh":
            validators.append(("Last-Modified", self.date_time_string()))

        mode = query.get("range", ["honour"])[0]
        asked = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", ""))
        current = validators[0][1] if validators else None
        partial = bool(asked) and mode != "ignore" and (
            mode != "honour" or self.headers.get("If-Range") in (None, current))
        start = int(asked.group(1)) if partial else 0
        if mode == "wrong":
            start = max(0, start - 1000)
        body = pattern_slice(start, size)
        if old:
            body = body.translate(OLD_VERSION)
        headers = list(validators)
        if partial:
            headers.append(("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size)))
        if "gzip" in query and "gzip" in self.headers.get("Accept-Encoding", ""):
            body = gzip.compress(body)
            headers.append(("Content-Encoding", "gzip"))
        drops = [int(d) for d in query.get("drop", [""])[0].split(",") if d]

        self.send_response(206 if partial else 200)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if attempt >= len(drops):
            self.wfile.write(body)
            return
        self.wfile.write(body[:max(0, drops[attempt] - start)])
        self.wfile.flush()
        # Qt sends a request again on its own, unseen by the program, when the
        # connection closes before it has read the answer's head; a break
        # after the head has been read is the one the program must handle.
        time.sleep(0.3)
        self.close_connection = True
        self.connection.shutdown(socket.SHUT_RDWR)

    def send_slowly(self, size):
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        for piece in pattern_chunks(size, chunk_blocks=1):
            for start in range(0, len(piece), 4096):
                self.wfile.write(piece[start:start + 4096])
                self.wfile.flush()
                time.sleep(0.02)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # Clients that refuse the certificate or hang up mid-body are what
        # several tests are about; only real faults deserve a traceback.
        if not isinstance(sys.exc_info()[1], OSError):
            super().handle_error(request, client_address)


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--tls", nargs=2, action="append", default=[],
                        metavar=("CERT", "KEY"))
    args = parser.parse_args()

    servers = [Server(("127.0.0.1", args.port), Handler)]
    for cert, key in args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        server = Server(("127.0.0.1", 0), Handler)
        server.socket = context.wrap_socket(server.socket, server_side=True,
                                            do_handshake_on_connect=False)
        servers.append(server)
    for index, server in enumerate(servers):
        scheme = "https" if index else "http"
        print("%s://127.0.0.1:%d/" % (scheme, server.server_address[1]), flush=True)
        serve(server)
    # The test holds our stdin open; when it ends, even by crashing, so do we.
    try:
        sys.stdin.read()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The loopback HTTP server of the Windows engine tests (see loopback_server.h for its requests),
and the misbehaving server of the transfer limit tests on both platforms.

  loopback_server.py start <folder>   serves <folder>/tree on 127.0.0.1 from a background process
                                      and writes "<port> <tree folder>" to <folder>/address
  loopback_server.py stop <folder>    ends that process and removes <folder>
"""
import http.server
import os
import shutil
import signal
import socket
import sys
import time
import urllib.parse

SLOW_PIECE = 8192
# How long a request that is never answered (or never finished) holds its connection at most.
HOLD_SECONDS = 150


def pattern(offset, size):
    return bytes((offset + i) % 251 for i in range(size))


class Handler(http.server.BaseHTTPRequestHandler):
    tree = ""

    def log_message(self, *args):
        pass

    def reply(self, status, body, content_type="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        parts = path.split("/", 2)
        route = parts[1] if len(parts) > 1 else ""
        rest = parts[2] if len(parts) > 2 else ""
        try:
            if route == "endlessfiles" and rest.split("/", 2)[1:2] == ["files"]:
                self.serve_endless()
            elif route in ("tree", "slowtree", "endlessfiles", "wholetree"):
                self.serve_tree(urllib.parse.unquote(rest, errors="surrogateescape"),
                                route == "slowtree", route != "wholetree")
            elif route == "status":
                self.reply(int(rest), ("error page " + rest).encode(), "text/html")
            elif route == "empty":
                self.reply(200, b"")
            elif route == "bytes":
                self.reply(200, pattern(0, int(rest)))
            elif route == "slow":
                self.serve_slow(int(rest))
            elif route == "cut":
                self.serve_cut(int(rest))
            elif route == "endless":
                self.serve_endless()
            elif route == "echo":
                self.reply(200, self.path.encode("latin-1"), "text/plain")
            elif route == "redirect":
                hops = int(rest)
                if hops > 0:
                    self.redirect("/redirect/%d" % (hops - 1))
                else:
                    self.reply(200, b"arrived", "text/plain")
            elif route == "redirect-loop":
                self.redirect("/redirect-loop/%d" % (int(rest or "0") + 1))
            elif route == "redirect-away":
                self.redirect({"file": "file:///etc/hosts",
                               "ftp": "ftp://127.0.0.1:21/file.pak"}[rest])
            elif route == "drip-headers":
                self.drip_headers()
            elif route == "stall-body":
                self.stall_body(int(rest))
            elif route == "silent":
                self.hold()
            elif route == "headers":
                text = "%s\n%s\n" % (self.headers.get("User-Agent", ""),
                                     self.headers.get("Cache-Control", ""))
                self.reply(200, text.encode(), "text/plain")
            else:
                self.reply(404, b"no such route", "text/plain")
        except (BrokenPipeError, ConnectionResetError):
            pass

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    # A status line, then one byte of a header every 200 ms, never finished.
    def drip_headers(self):
        self.wfile.write(b"HTTP/1.1 200 OK\r\nX-Drip: ")
        self.wfile.flush()
        for _ in range(HOLD_SECONDS * 5):
            self.wfile.write(b"x")
            self.wfile.flush()
            time.sleep(0.2)

    # Announces twice `size` bytes, sends `size` and then nothing.
    def stall_body(self, size):
        self.send_response(200)
        self.send_header("Content-Length", str(2 * size))
        self.end_headers()
        self.wfile.write(pattern(0, size))
        self.wfile.flush()
        self.hold()

    # Keeps the connection open, silent, until the client closes it.
    def hold(self):
        self.connection.settimeout(0.1)
        for _ in range(HOLD_SECONDS * 10):
            try:
                if not self.connection.recv(1, socket.MSG_PEEK):
                    return
            except socket.timeout:
                pass
        self.close_connection = True

    def serve_tree(self, relative, slowly=False, ranges=True):
        name = os.path.join(self.tree, os.fsencode(relative).decode("utf-8", "surrogateescape"))
        if not os.path.isfile(name):
            self.reply(404, ("Not found: " + relative).encode("utf-8", "surrogateescape"))
            return
        with open(name, "rb") as f:
            body = f.read()
        status, headers = 200, {}
        start = self.range_start() if ranges else None
        if start is not None and start >= len(body):
            self.reply_headers(416, {"Content-Range": "bytes */%d" % len(body)}, 0)
            return
        if start is not None:
            status = 206
            headers["Content-Range"] = "bytes %d-%d/%d" % (start, len(body) - 1, len(body))
            body = body[start:]
        self.reply_headers(status, headers, len(body))
        if slowly:
            self.send_slowly(body)
        else:
            self.wfile.write(body)

    # The first byte of a "Range: bytes=<n>-" request, None without one.
    def range_start(self):
        value = self.headers.get("Range", "")
        if not value.startswith("bytes=") or not value.endswith("-"):
            return None
        digits = value[len("bytes="):-1]
        return int(digits) if digits.isdigit() else None

    def reply_headers(self, status, headers, length):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        for key, value in headers.items():
            self.send_header(key, value)
        self.send_header("Content-Length", str(length))
        self.end_headers()

    def serve_endless(self):
        # Without a length the body ends only when the connection closes.
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.end_headers()
        piece = b"[" * 65536
        while True:
            self.wfile.write(piece)

    def serve_slow(self, size):
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        offset = 0
        while offset < size:
            piece = min(SLOW_PIECE, size - offset)
            self.wfile.write(pattern(offset, piece))
            self.wfile.flush()
            offset += piece
            time.sleep(0.005)

    def serve_cut(self, size):
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        self.wfile.write(pattern(0, size // 2))
        self.wfile.flush()
        self.close_connection = True

    def send_slowly(self, body):
        for offset in range(0, len(body), SLOW_PIECE):
            self.wfile.write(body[offset:offset + SLOW_PIECE])
            self.wfile.flush()
            time.sleep(0.005)


def serve(folder):
    tree = os.path.join(folder, "tree")
    os.makedirs(tree, exist_ok=True)
    Handler.tree = tree
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    with open(os.path.join(folder, "pid"), "w") as f:
        f.write(str(os.getpid()))
    with open(os.path.join(folder, "address.new"), "w") as f:
        f.write("%d %s" % (server.server_address[1], tree))
    os.replace(os.path.join(folder, "address.new"), os.path.join(folder, "address"))
    server.serve_forever()


def start(folder):
    stop(folder)
    os.makedirs(folder)
    if os.fork() == 0:
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        serve(folder)
        os._exit(0)
    for _ in range(200):
        if os.path.exists(os.path.join(folder, "address")):
            return 0
        time.sleep(0.05)
    print("loopback server did not start", file=sys.stderr)
    return 1


def stop(folder):
    try:
        with open(os.path.join(folder, "pid")) as f:
            os.kill(int(f.read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass
    shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(start(sys.argv[2]) if sys.argv[1] == "start" else stop(sys.argv[2]))

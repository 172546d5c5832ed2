#!/usr/bin/env python3
"""A small forwarding HTTP proxy for tests: it logs every request and
relays it to its target.

The target comes from the request line when that names one
("GET http://host:port/path"); WinHTTP under Wine sends the origin form
("GET /path") to a named proxy, so otherwise it comes from the Host header.
Each client connection carries one request: upstream is asked to close after
its answer, and the answer is relayed byte for byte, faults included.
"""

import argparse
import signal
import socket
import socketserver
import sys
import threading
import urllib.parse

from background_server import BackgroundServer

MAX_HEAD = 64 << 10
HOP_HEADERS = {"connection", "proxy-connection", "keep-alive", "proxy-authorization"}


def _read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk or len(data) > MAX_HEAD:
            return None, b""
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    return head.decode("latin-1"), rest


def split_target(request_line, headers):
    """(method, host, port, origin-form path) of a request, or None."""
    parts = request_line.split()
    if len(parts) != 3:
        return None
    method, target, _ = parts
    if target.lower().startswith("http://"):
        u = urllib.parse.urlsplit(target)
        host, port = u.hostname, u.port or 80
        path = (u.path or "/") + ("?" + u.query if u.query else "")
    elif target.startswith("/") and "host" in headers:
        host, sep, port = headers["host"].rpartition(":")
        if not sep or not port.isdigit():
            host, port = headers["host"], "80"
        port, path = int(port), target
    else:
        return None
    return (method, host, port, path) if host else None


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        proxy = self.server.proxy
        client = self.request
        proxy._track(client, True)
        upstream = None
        try:
            head, rest = _read_head(client)
            if head is None:
                return
            lines = head.split("\r\n")
            headers = {}
            for line in lines[1:]:
                name, _, value = line.partition(":")
                headers[name.strip().lower()] = value.strip()
            found = split_target(lines[0], headers)
            if found is None:
                client.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                return
            method, host, port, path = found
            proxy._log("%s http://%s:%d%s" % (method, host, port, path))
            try:
                upstream = socket.create_connection((host, port), timeout=10)
            except OSError:
                client.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
                return
            proxy._track(upstream, True)
            upstream.settimeout(None)
            kept = [l for l in lines[1:] if l.partition(":")[0].strip().lower() not in HOP_HEADERS]
            out = "\r\n".join(["%s %s HTTP/1.1" % (method, path)] + kept + ["Connection: close", "", ""])
            upstream.sendall(out.encode("latin-1") + rest)
            threading.Thread(target=self._pump, args=(client, upstream), daemon=True).start()
            self._pump(upstream, client)
        except OSError:
            pass
        finally:
            for s in (upstream, client):
                if s is not None:
                    proxy._track(s, False)
                    s.close()

    @staticmethod
    def _pump(src, dst):
        try:
            while chunk := src.recv(1 << 20):
                dst.sendall(chunk)
            dst.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class _Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


class ForwardProxy(BackgroundServer):
    def __init__(self, host="127.0.0.1", port=0):
        super().__init__()
        self._address = (host, port)
        self._requests = []

    def start(self):
        server = _Server(self._address, _Handler)
        server.proxy = self
        return self._serve(server, "forward-proxy")

    def requests(self):
        """'METHOD http://host:port/path' for every request, in order."""
        with self._lock:
            return list(self._requests)

    def clear_requests(self):
        with self._lock:
            self._requests.clear()

    def _log(self, line):
        with self._lock:
            self._requests.append(line)



def main(argv=None):
    ap = argparse.ArgumentParser(description="Forwarding HTTP proxy that logs each request.")
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=0)
    args = ap.parse_args(argv)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *a: done.set())
    signal.signal(signal.SIGINT, lambda *a: done.set())
    proxy = ForwardProxy(args.host, args.port).start()
    print("proxy on %s:%d" % (args.host, proxy.port), flush=True)
    seen = 0
    while not done.wait(0.2):
        log = proxy.requests()
        for line in log[seen:]:
            print(line, flush=True)
        seen = len(log)
    proxy.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())

import hashlib
import http.client
import os
import signal
import socket
import ssl
import subprocess
import sys
import time
import urllib.error
import urllib.request

import pytest

TOOLS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
sys.path.insert(0, TOOLS)

from tls_certs import make  # noqa: E402
from update_service import LAST_MODIFIED, UpdateService, free_port, gen_bytes, gen_sha256, tls_context  # noqa: E402


@pytest.fixture
def svc(tmp_path):
    with UpdateService(files_dir=str(tmp_path)) as s:
        yield s


def get(svc, path):
    conn = http.client.HTTPConnection("127.0.0.1", svc.port, timeout=5)
    try:
        conn.request("GET", path)
        resp = conn.getresponse()
        return resp.status, resp, resp.read()
    finally:
        conn.close()


def raw(svc, path, timeout=5):
    s = socket.create_connection(("127.0.0.1", svc.port), timeout=timeout)
    s.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % path).encode())
    return s


def drain(sock, timeout=0.4):
    """Read until the peer acts: (headers dict, body, 'eof' | 'reset' | 'stall')."""
    sock.settimeout(timeout)
    data, how = b"", "eof"
    try:
        while chunk := sock.recv(65536):
            data += chunk
    except ConnectionResetError:
        how = "reset"
    except socket.timeout:
        how = "stall"
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode().split("\r\n")[1:]
    return {k.lower(): v.strip() for k, _, v in (l.partition(":") for l in lines)}, body, how


class TestContent:
    def test_manifest_default_and_substitution(self, svc):
        status, resp, body = get(svc, "/Client/refresh")
        assert (status, resp.getheader("Content-Type")) == (200, "text/xml")
        assert int(resp.getheader("Content-Length")) == len(body)
        assert b"1.1.1.3" in body
        assert (svc.base_url + "/files/demo-setup.exe").encode() in body
        svc.set_manifest("<u>{base}/x.exe \u00e9</u>")
        assert get(svc, "/Client/refresh")[2] == ("<u>%s/x.exe \u00e9</u>" % svc.base_url).encode()

    def test_files_memory_wins_over_directory(self, svc, tmp_path):
        (tmp_path / "disk.exe").write_bytes(b"from disk")
        (tmp_path / "both.exe").write_bytes(b"disk copy")
        svc.add_file("both.exe", b"memory copy")
        status, resp, body = get(svc, "/files/both.exe")
        assert (status, body) == (200, b"memory copy")
        assert resp.getheader("Content-Type") == "application/octet-stream"
        assert get(svc, "/files/disk.exe")[2] == b"from disk"

    def test_unknown_and_escaping_paths_are_404(self, svc, tmp_path):
        (tmp_path.parent / "outside.txt").write_bytes(b"secret")
        for path in ("/files/nope.exe", "/files/../outside.txt", "/files/%2e%2e/outside.txt",
                     "/nothing", "/gen/12X/a.exe", "/"):
            assert get(svc, path)[0] == 404, path

    def test_gen_matches_formula_across_block_and_period_edges(self):
        data = gen_bytes((16 << 20) + 70000)
        for i in (0, 255, 65535, 65536, (1 << 20) + 3, (16 << 20) - 1, 16 << 20, (16 << 20) + 65536):
            assert data[i] == (i * 131 + (i >> 16)) & 0xFF, i
        assert gen_sha256(len(data)) == hashlib.sha256(data).hexdigest()

    @pytest.mark.parametrize("size,n", [("0", 0), ("100000", 100000), ("3K", 3072), ("2M", 2 << 20)])
    def test_gen_endpoint_exact_content(self, svc, size, n):
        status, resp, body = get(svc, "/gen/%s/setup.exe" % size)
        assert (status, resp.getheader("Content-Length")) == (200, str(n))
        assert body == gen_bytes(n)

    def test_query_string_ignored_and_logged(self, svc):
        svc.add_file("setup.exe", b"abc")
        assert get(svc, "/files/setup.exe?v=2")[2] == b"abc"
        assert get(svc, "/gen/10/setup.exe?v=2&x=/y")[2] == gen_bytes(10)
        assert get(svc, "/fault/status=503/files/setup.exe?v=2")[0] == 503
        assert svc.requests() == ["/files/setup.exe?v=2", "/gen/10/setup.exe?v=2&x=/y",
                                  "/fault/status=503/files/setup.exe?v=2"]
        svc.clear_requests()
        assert svc.requests() == []


class TestFaults:
    def test_status_via_prefix_and_refresh_fault(self, svc):
        assert get(svc, "/fault/status=404/gen/1M/x.exe")[0] == 404
        svc.set_refresh_fault("status=500")
        assert get(svc, "/Client/refresh")[0] == 500
        svc.set_refresh_fault(None)
        assert get(svc, "/Client/refresh")[0] == 200

    def test_bad_fault_lists_rejected(self, svc):
        assert get(svc, "/fault/bogus=1/gen/1/x")[0] == 400
        for faults_text in ("bogus", "reset", "close=1", "throttle=0", "status=abc"):
            with pytest.raises(ValueError):
                svc.set_refresh_fault(faults_text)

    @pytest.mark.parametrize("faults_text,how,n", [
        ("close", "eof", None),
        ("stall_headers", "stall", None),
        ("stall_body=1000", "stall", 1000),
        ("reset=1000", "reset", 1000),
        ("short=1000", "eof", 1000),
        ("throttle=1M,reset=300000", "reset", 300000),
    ])
    def test_truncating_faults_on_the_wire(self, svc, faults_text, how, n):
        headers, body, seen = drain(raw(svc, "/fault/%s/gen/1M/x" % faults_text))
        assert seen == how
        if n is None:
            assert (headers, body) == ({}, b"")
        else:
            assert headers["content-length"] == str(1 << 20)
            assert body == gen_bytes(n)

    def test_nolength_is_close_delimited(self, svc):
        status, resp, body = get(svc, "/fault/nolength/gen/50000/x")
        assert resp.getheader("Content-Length") is None
        assert (status, body) == (200, gen_bytes(50000))

    def test_redirect_chain_has_n_hops_then_content(self, svc):
        svc.add_file("a.exe", b"payload")
        path, hops = "/fault/redirect=3/files/a.exe?v=2", 0
        while (reply := get(svc, path))[0] == 302 and hops < 10:
            hops += 1
            loc = reply[1].getheader("Location")
            assert loc.startswith(svc.base_url + "/")
            path = loc[len(svc.base_url):]
        assert (hops, reply[0], reply[2]) == (3, 200, b"payload")
        assert path.endswith("/files/a.exe?v=2")

    def test_redirect_keeps_other_faults_for_final_hop(self, svc):
        with pytest.raises(urllib.error.HTTPError) as err:
            urllib.request.urlopen(svc.base_url + "/fault/redirect=2,status=410/gen/1/x", timeout=5)
        assert err.value.code == 410 and len(svc.requests()) == 3

    def test_refresh_fault_redirect_lands_on_manifest(self, svc):
        svc.set_manifest("<m/>")
        svc.set_refresh_fault("redirect=2")
        with urllib.request.urlopen(svc.base_url + "/Client/refresh", timeout=5) as r:
            assert r.read() == b"<m/>"
        assert len(svc.requests()) == 3

    def test_redirect_loop_and_redirect_to(self, svc):
        path = "/fault/redirect_loop/files/a.exe?v=1"
        assert get(svc, path)[1].getheader("Location") == svc.base_url + path
        with pytest.raises(urllib.error.HTTPError):
            urllib.request.urlopen(svc.base_url + path, timeout=5)
        for target in ("files|a.exe", "files%2Fa.exe"):
            status, resp, _ = get(svc, "/fault/redirect_to=%s/gen/1/x" % target)
            assert (status, resp.getheader("Location")) == (302, svc.base_url + "/files/a.exe")

    def test_delay_before_headers(self, svc):
        t = time.monotonic()
        assert get(svc, "/fault/delay=300/gen/1/x")[0] == 200
        assert time.monotonic() - t >= 0.3

    def test_throttle_rate_within_tolerance(self, svc):
        s = raw(svc, "/fault/throttle=200K/gen/10M/x")
        start, n = time.monotonic(), 0
        while time.monotonic() - start < 2.0:
            n += len(s.recv(65536))
        s.close()
        rate = n / (time.monotonic() - start)
        assert 0.9 * (200 << 10) < rate < 1.1 * (200 << 10)


def ranged(svc, path, range_header, if_range=None):
    headers = {"Range": range_header} if range_header else {}
    if if_range:
        headers["If-Range"] = if_range
    conn = http.client.HTTPConnection("127.0.0.1", svc.port, timeout=5)
    try:
        conn.request("GET", path, headers=headers)
        resp = conn.getresponse()
        return resp.status, resp.getheader("Content-Range"), resp.read(), resp
    finally:
        conn.close()


class TestRanges:
    ETAG = '"gen-1000-0"'

    @pytest.mark.parametrize("faults,range_header,if_range,status,content_range,first", [
        ("", "bytes=100-", None, 206, "bytes 100-999/1000", 100),
        ("", "bytes=100-", ETAG, 206, "bytes 100-999/1000", 100),
        ("", "bytes=100-", LAST_MODIFIED, 206, "bytes 100-999/1000", 100),
        ("", "bytes=100-", '"other"', 200, None, 0),                  # the file changed
        ("etag_changes", "bytes=100-", ETAG, 200, None, 0),
        ("weak_etag", "bytes=100-", "W/" + ETAG, 200, None, 0),      # If-Range compares strongly
        ("norange", "bytes=100-", None, 200, None, 0),
        ("range_shift=30", "bytes=100-", ETAG, 206, "bytes 70-999/1000", 70),
        ("", "bytes=-10", None, 206, "bytes 990-999/1000", 990),
        ("", "bytes=5-,7-", None, 200, None, 0),                      # several ranges: ignored
        ("", "bytes=1000-", None, 416, "bytes */1000", None),
    ])
    def test_range_answers(self, svc, faults, range_header, if_range, status, content_range, first):
        got = ranged(svc, "/fault/%s/gen/1000/x" % faults if faults else "/gen/1000/x", range_header, if_range)
        assert got[:2] == (status, content_range)
        if first is not None:
            assert got[2] == gen_bytes(1000)[first:]
            assert (got[3].getheader("Accept-Ranges") is None) == ("norange" in faults)

    @pytest.mark.parametrize("faults,seen", [
        ("reset=300,first=2", ["reset", "reset", "eof"]),
        ("status=503,retry_after=7,first=1", ["503 7", "200 None", "200 None"]),
    ])
    def test_first_k_requests_of_a_path_break(self, svc, faults, seen):
        path = "/fault/%s/gen/1000/x" % faults

        def observe():
            if "reset" in faults:
                headers, body, how = drain(raw(svc, path))
                return how if len(body) == (300 if how == "reset" else 1000) else "wrong body"
            status, resp, _ = get(svc, path)
            return "%d %s" % (status, resp.getheader("Retry-After"))
        assert [observe() for _ in seen] == seen
        svc.clear_requests()  # counting starts again
        assert observe() == seen[0]

    def test_log_keeps_range_headers_and_serves_them(self, svc):
        ranged(svc, "/gen/1000/a?t=1", None)
        ranged(svc, "/fault/range_shift=1/gen/1000/a?t=1", "bytes=10-", self.ETAG)
        ranged(svc, "/gen/1000/other", "bytes=10-")
        log = svc.request_log()
        assert [(e["range"], e["if_range"], e["status"], e["sent"]) for e in log] == [
            (None, None, 200, 1000), ("bytes=10-", self.ETAG, 206, 991), ("bytes=10-", None, 206, 990)]
        assert svc.requests() == ["/gen/1000/a?t=1", "/fault/range_shift=1/gen/1000/a?t=1", "/gen/1000/other"]
        assert svc.bytes_sent() == 2981
        assert get(svc, "/log/a%3Ft=1")[2].decode() == (
            "200\t-\t-\t1000\t/gen/1000/a?t=1\n"
            '206\tbytes=10-\t%s\t991\t/fault/range_shift=1/gen/1000/a?t=1\n' % self.ETAG)
        assert len(svc.requests()) == 3  # reading the log is not logged


class TestLifecycle:
    def test_free_port_refuses(self):
        with pytest.raises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", free_port()), timeout=2)

    def test_stop_is_prompt_with_stalled_and_blocked_clients(self):
        svc = UpdateService().start()
        clients = [raw(svc, p) for p in ("/fault/stall_headers/gen/1/x", "/fault/stall_body=10/gen/1M/x",
                                          "/gen/1G/x", "/fault/delay=60000/gen/1/x")]
        clients.append(socket.create_connection(("127.0.0.1", svc.port)))  # sends nothing
        time.sleep(0.3)
        t = time.monotonic()
        svc.stop()
        assert time.monotonic() - t < 1.0
        with pytest.raises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", svc.port), timeout=2)

    def test_cli_serves_and_exits_on_sigterm(self, tmp_path):
        (tmp_path / "m.xml").write_text("<m>{base}/files/s.exe</m>")
        (tmp_path / "files").mkdir()
        (tmp_path / "files" / "s.exe").write_bytes(b"setup")
        port_file = tmp_path / "port"
        proc = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(TOOLS, "update_service.py"), "--port-file", str(port_file),
             "--manifest", str(tmp_path / "m.xml"), "--files", str(tmp_path / "files"),
             "--refresh-fault", "delay=10"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            line = proc.stdout.readline().decode()
            port = int(port_file.read_text())
            assert line == "listening on 127.0.0.1:%d\n" % port
            base = "http://127.0.0.1:%d" % port
            with urllib.request.urlopen(base + "/Client/refresh", timeout=5) as r:
                assert r.read().decode() == "<m>%s/files/s.exe</m>" % base
            with urllib.request.urlopen(base + "/files/s.exe", timeout=5) as r:
                assert r.read() == b"setup"
            # A client dropping mid-body must not leave a traceback behind.
            with socket.create_connection(("127.0.0.1", port)) as dropped:
                dropped.sendall(b"GET /gen/64M/x HTTP/1.1\r\n\r\n")
                dropped.recv(1000)
            stalled = socket.create_connection(("127.0.0.1", port))
            stalled.sendall(b"GET /fault/stall_headers/gen/1/x HTTP/1.1\r\n\r\n")
            time.sleep(0.2)
            t = time.monotonic()
            proc.send_signal(signal.SIGTERM)
            assert proc.wait(timeout=5) == 0
            assert time.monotonic() - t < 1.0
            assert proc.stderr.read() == b""
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()


def test_tls_serves_counts_and_stalls(tmp_path):
    """Over TLS: a client that trusts the CA reads the manifest (with the
    https base), a refused certificate never becomes a request, and a stalled
    handshake holds until the service stops; every connection is counted."""
    certs = make(tmp_path)
    client = ssl.create_default_context(cafile=str(certs / "ca.pem"))
    with UpdateService(tls=tls_context(certs / "good.pem", certs / "good-key.pem")) as s:
        s.set_manifest("{base}")
        conn = http.client.HTTPSConnection("localhost", s.port, timeout=5, context=client)
        conn.request("GET", "/Client/refresh")
        assert conn.getresponse().read() == ("https://localhost:%d" % s.port).encode()
        conn.close()
        s.set_tls(tls_context(certs / "expired.pem", certs / "expired-key.pem"))
        with pytest.raises(ssl.SSLCertVerificationError):
            client.wrap_socket(socket.create_connection(("127.0.0.1", s.port)), server_hostname="localhost")
        s.set_tls("stall")
        with pytest.raises(socket.timeout):
            client.wrap_socket(socket.create_connection(("127.0.0.1", s.port), timeout=0.5), server_hostname="localhost")
        assert (s.connections(), s.requests()) == (3, ["/Client/refresh"])

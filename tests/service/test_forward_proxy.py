import os
import socket
import sys

import pytest

TOOLS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
sys.path.insert(0, TOOLS)

from forward_proxy import ForwardProxy  # noqa: E402
from update_service import UpdateService, free_port, gen_bytes  # noqa: E402


def through(proxy, request):
    with socket.create_connection(("127.0.0.1", proxy.port), timeout=5) as s:
        s.sendall(request.encode())
        data = b""
        while chunk := s.recv(65536):
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    return head.split(b"\r\n")[0].decode(), body


@pytest.mark.parametrize("form", ["absolute", "origin"])
def test_forwards_to_the_target_of_the_request_line_or_the_host_header(form):
    with UpdateService() as svc, ForwardProxy() as proxy:
        target = svc.base_url + "/gen/5000/x?v=1" if form == "absolute" else "/gen/5000/x?v=1"
        status, body = through(proxy, "GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nProxy-Connection: Keep-Alive\r\n"
                                      "Range: bytes=4000-\r\n\r\n" % (target, svc.port))
        assert (status, body) == ("HTTP/1.1 206 Partial Content", gen_bytes(5000)[4000:])
        assert proxy.requests() == ["GET %s/gen/5000/x?v=1" % svc.base_url]
        assert [(e["path"], e["range"]) for e in svc.request_log()] == [("/gen/5000/x?v=1", "bytes=4000-")]


def test_unreachable_target_and_no_target_are_answered():
    with ForwardProxy() as proxy:
        assert through(proxy, "GET http://127.0.0.1:%d/x HTTP/1.1\r\n\r\n" % free_port())[0].startswith("HTTP/1.1 502")
        assert through(proxy, "GET /x HTTP/1.1\r\n\r\n")[0].startswith("HTTP/1.1 400")

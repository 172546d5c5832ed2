"""The peer a publisher will use: Debian's nginx, serving the signed manifest
and the installer over TLS at the host the TLS build asks, with a
configuration made here and the test certificate for localhost."""
import getpass
import os
import shutil
import signal
import subprocess

import pytest

from conftest import TEST_KEY, signing
from harness import DEMO_SETUP, TLS_PORT, TLS_SIGNED_EXE, wait_for
from test_fault_matrix import DONE, check_outcome

CONFIG = """
daemon off;
{user}
worker_processes 1;
pid {dir}/nginx.pid;
events {{ worker_connections 64; }}
http {{
    access_log {dir}/access.log;
    client_body_temp_path {dir}/body;
    proxy_temp_path {dir}/proxy;
    fastcgi_temp_path {dir}/fastcgi;
    uwsgi_temp_path {dir}/uwsgi;
    scgi_temp_path {dir}/scgi;
    types {{ application/octet-stream exe; }}
    server {{
        listen 127.0.0.1:{port} ssl;
        server_name localhost;
        ssl_certificate {cert};
        ssl_certificate_key {key};
        ssl_protocols TLSv1.2 TLSv1.3;
        root {dir}/www;
        location = /Client/refresh {{ default_type text/xml; }}
    }}
}}
"""


@pytest.fixture
def nginx(certs, tmp_path):
    """nginx on the TLS build's port, serving tmp_path/www; stopped after."""
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    if not os.path.exists(nginx):
        pytest.fail("nginx is missing: run tools/setup-host.sh")
    # Its workers must be able to read the test's folder.
    user = f"user {getpass.getuser()};" if os.geteuid() == 0 else ""
    cert, key = certs.files("good")
    (tmp_path / "nginx.conf").write_text(CONFIG.format(user=user, dir=tmp_path, port=TLS_PORT, cert=cert, key=key))
    (tmp_path / "www" / "files").mkdir(parents=True)
    proc = subprocess.Popen([nginx, "-p", str(tmp_path), "-c", str(tmp_path / "nginx.conf"),
                             "-e", str(tmp_path / "error.log")],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not wait_for(lambda: (tmp_path / "nginx.pid").exists() or proc.poll() is not None, 10) \
                or proc.poll() is not None:
            pytest.fail("nginx did not start: " + (tmp_path / "error.log").read_text())
        yield tmp_path
    finally:
        proc.send_signal(signal.SIGQUIT)  # graceful: finishes what it serves
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def test_update_from_nginx_over_tls(run, nginx, wine, workdir):
    setup = DEMO_SETUP.read_bytes()
    (nginx / "www" / "files" / "setup.exe").write_bytes(setup)
    values = signing.manifest_values(signing.load_private_key(TEST_KEY), "1.1.1.3",
                                     f"https://localhost:{TLS_PORT}/files/setup.exe", setup, force="1")
    (nginx / "www" / "Client").mkdir()
    (nginx / "www" / "Client" / "refresh").write_text(signing.manifest_xml(values))
    check_outcome(run(exe=TLS_SIGNED_EXE), wine, workdir, "completed", DONE)
    log = (nginx / "access.log").read_text()
    assert [line.split('"')[1] + " " + line.split('"')[2].split()[0] for line in log.splitlines()] == [
        "GET /Client/refresh HTTP/1.1 200", "GET /files/setup.exe HTTP/1.1 200"]

"""A socket server of the test tools that runs on a background thread of the
test (or script) that starts it; stopping it also shuts down every
connection still open, so that nothing a client holds outlives the server."""
import socket
import threading


class BackgroundServer:
    """Base of the update service and the test proxy. A subclass makes its
    socketserver in start() and hands it to _serve(); its handlers report
    their connections with _track()."""

    def __init__(self):
        self._lock = threading.Lock()
        self._live = set()
        self._server = None
        self._thread = None
        self.port = None

    def _serve(self, server, name):
        self._server = server
        self.port = server.server_address[1]
        self._thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05},
                                        name=name, daemon=True)
        self._thread.start()
        return self

    def _stopping_now(self):
        """Called first by stop(): lets waits in the handlers end."""

    def stop(self):
        if self._server is None:
            return
        self._stopping_now()
        self._server.shutdown()
        self._server.server_close()
        with self._lock:
            live = list(self._live)
        for conn in live:
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        self._thread.join()
        self._server = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def _track(self, conn, add):
        with self._lock:
            (self._live.add if add else self._live.discard)(conn)

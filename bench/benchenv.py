"""What every benchmark here needs: a private display, the project's Wine
with a warm server, and the local update service on the port compiled into
the test build; all torn down again, with the work folder emptied."""
import contextlib
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))

from harness import UPDATE_PORT, Display, Wine, reset_dir  # noqa: E402
from update_service import UpdateService  # noqa: E402


@contextlib.contextmanager
def bench_environment():
    """Yields (wine, service, display)."""
    display = Display().start()
    wine = Wine(display.name)
    wine.start_server()
    svc = UpdateService(port=UPDATE_PORT)
    svc.start()
    try:
        yield wine, svc, display
    finally:
        svc.stop()
        reset_dir(wine.product_dir)
        wine.stop_server()
        display.stop()

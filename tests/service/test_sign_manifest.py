import datetime
import os
import re
import sys

import pytest

TOOLS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
KEY = os.path.join(os.path.dirname(__file__), "..", "keys", "test-only-publisher-private.pem")
sys.path.insert(0, TOOLS)

from update_service import signing_tool  # noqa: E402


@pytest.mark.parametrize("days, accepted", [(None, 14), ("90", 90), ("0.5", 0.5), ("90.01", None), ("3650", None),
                                            ("0", None), ("-1", None), ("nan", None), ("inf", None)])
def test_valid_days_is_bounded(tmp_path, capsys, days, accepted):
    installer = tmp_path / "setup.exe"
    installer.write_bytes(b"MZ")
    out = tmp_path / "refresh.xml"
    argv = ["sign", "--key", KEY, "--version", "1.1.1.3", "--url", "http://h/setup.exe", "--installer",
            str(installer), "--out", str(out)] + (["--valid-days", days] if days else [])
    if accepted is None:
        with pytest.raises(SystemExit) as e:
            signing_tool().main(argv)
        assert e.value.code != 0 and "at most 90" in capsys.readouterr().err and not out.exists()
        return
    assert signing_tool().main(argv) == 0
    expires = re.search(r"<expires>(.*)</expires>", out.read_text()).group(1)
    left = datetime.datetime.strptime(expires, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc) - \
        datetime.datetime.now(datetime.timezone.utc)
    assert abs(left.total_seconds() - accepted * 86400) < 60

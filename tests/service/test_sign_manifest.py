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


M = "https://m.example/setup.exe"


@pytest.mark.parametrize("extra, elements", [
    (["--rollout", "100", "--mirror", M, "--mirror", "http://n.example/s.exe"],
     ["<rollout>100</rollout>", f"<mirror>{M}</mirror>", "<mirror>http://n.example/s.exe</mirror>"]),
    (["--mirror", M] * 4, [f"<mirror>{M}</mirror>"] * 4),
    (["--rollout", "0"], None), (["--rollout", "101"], None), (["--rollout", "05"], None),
    (["--mirror", "ftp://m.example/s.exe"], None), (["--mirror", M] * 5, None),
])
def test_publisher_controls_make_format_2(tmp_path, capsys, extra, elements):
    installer = tmp_path / "setup.exe"
    installer.write_bytes(b"MZ")
    out = tmp_path / "refresh.xml"
    argv = ["sign", "--key", KEY, "--version", "1.1.1.3", "--url", "http://h/setup.exe", "--installer",
            str(installer), "--out", str(out)] + extra
    if elements is None:
        with pytest.raises(SystemExit) as e:
            signing_tool().main(argv)
        assert e.value.code != 0 and not out.exists()
        return
    assert signing_tool().main(argv) == 0
    text = out.read_text()
    assert re.findall(r"<(?:rollout|mirror)>[^<]*</\w+>", text) == elements


def test_cohort_command_prints_the_cohort(capsys):
    # The first of the vectors the updater's own tests check.
    assert signing_tool().main(["cohort", "--machine-guid", "6f1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9", "--sid",
                                "S-1-5-21-1004336348-1177238915-682003330-1001", "--version", "1.1.1.3"]) == 0
    assert capsys.readouterr().out == "57\n"

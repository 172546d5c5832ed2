"""The README's table of log events against the code's one table of them
(kLogEvents, the only events the writer writes) and the events the code
logs."""
import re
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def code_table():
    text = (ROOT / "common" / "LogLine.h").read_text()
    body = re.search(r"kLogEvents\[\] = \{(.*?)\};", text, re.S).group(1)
    return re.findall(r'"([a-z-]+)"', body)


def readme_table():
    lines = (ROOT / "README.md").read_text().splitlines()
    start = lines.index("| event | when | keys |") + 2
    names = []
    for line in lines[start:]:
        m = re.match(r"\| `([a-z-]+)` \|", line)
        if not m:
            break
        names.append(m.group(1))
    return names


def logged_by_the_code():
    names = set()
    for folder in ("app", "common", "ui", "update", "vantorhttp"):
        for f in (ROOT / folder).rglob("*.cpp"):
            names |= set(re.findall(r'LogEvent\(\s*"([a-z-]+)"', f.read_text()))
    return names


def test_the_readme_describes_every_event_the_code_can_write():
    table = code_table()
    assert readme_table() == table
    assert logged_by_the_code() <= set(table), "an event the writer would drop"

"""Where the panel listens: on this machine only unless told otherwise, and a warning whenever
another machine could reach it. The page is served to the token's holder either way.

    MFBCTL=build/linux-release/mfbctl /usr/bin/python3 -m pytest -q tests/panel/test_bind.py
"""
import os
import re
import signal
import subprocess
import sys
from pathlib import Path
from urllib.parse import urlsplit

import pytest

sys.path.insert(0, str(Path(__file__).parent))
import served  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
MFBCTL = Path(os.environ.get("MFBCTL", ROOT / "build/linux-release/mfbctl"))
WARNING = "mfbctl: warning: the panel listens on"


@pytest.mark.parametrize("bind, warned", [
    (None, False),          # the default, 127.0.0.1
    ("127.0.0.2", False),   # still this machine
    ("localhost", False),
    ("0.0.0.0", True),      # every address the machine has
])
def test_bind(bind, warned):
    command = [str(MFBCTL), "panel", "--sim-boards", "2"] + (["--bind", bind] if bind else [])
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        line = proc.stdout.readline()
        url = urlsplit(re.search(r"http://\S+", line).group(0))
        served.check(url.hostname, url.port, url.query.removeprefix("token="))
    finally:
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=20)
    assert proc.returncode == 0, err
    assert (WARNING in err) == warned, err
    if warned:
        assert f"{WARNING} {bind}, not only on this machine" in err and f"port {url.port}" in err

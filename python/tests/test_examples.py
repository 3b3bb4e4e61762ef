"""The Python examples, each run as a user runs it, on two simulated boards (MFB_SIM_BOARDS), and
the README's first Python example."""

import os
import re
import subprocess
import sys

import pytest

from conftest import PACKAGE_DIR, ROOT

EXPECTED = {
    "list_boards.py": "board 0: MFB-SIM-0, serial 0x00010000: counter, timer, ttl, ssi\n"
    "board 1: MFB-SIM-1, serial 0x00010001: pwm, counter, timer, ttl\n",
    "encoder.py": "count ",
    "watch_interrupts.py": "board 0 module 0: counter compare at ",
    "flash_firmware.py": "i_MFB_ConfigureAllModule -> flex reload ok\nflash holds the 480 payload bytes: True\nfailed as "
    "rehearsed: flash address 200 (module 1 byte 80)\n",
    "plot_encoder.py": "samples, last count",
}


def _run(args, tmp_path, boards="2"):
    env = dict(os.environ, PYTHONPATH=PACKAGE_DIR, MFB_SIM_BOARDS=boards)
    return subprocess.run([sys.executable] + args, env=env, capture_output=True, text=True,
                          timeout=60, cwd=tmp_path)


@pytest.mark.parametrize("script", sorted(EXPECTED))
def test_example(script, tmp_path):
    run = _run([os.path.join(ROOT, "examples", script), str(tmp_path / "plot.png")], tmp_path)
    assert run.returncode == 0, run.stderr
    assert EXPECTED[script] in run.stdout
    if script == "encoder.py":
        counts = [int(line.split()[1]) for line in run.stdout.splitlines()]
        assert len(counts) == 5 and counts == sorted(counts) and counts[-1] > 0
    if script == "watch_interrupts.py":
        assert run.stdout.count("compare at") == 3
    if script == "plot_encoder.py":
        assert (tmp_path / "plot.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        assert 150 < int(re.match(r"(\d+) samples", run.stdout).group(1)) <= 200


def test_readme_first_python_example_runs(tmp_path):
    with open(os.path.join(ROOT, "README.md")) as f:
        example = re.search(r"```python\n(.*?)```", f.read(), re.S).group(1)
    run = _run(["-c", example], tmp_path, boards="")  # it attaches its boards itself
    assert run.returncode == 0 and "Traceback" not in run.stderr, run.stderr
    assert "MFB-SIM-0" in run.stdout

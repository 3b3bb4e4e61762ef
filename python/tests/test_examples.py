"""The Python examples, each run as a user runs it, on two simulated boards (MFB_SIM_BOARDS)."""

import os
import subprocess
import sys

import pytest

from conftest import PACKAGE_DIR, ROOT

EXPECTED = {
    "list_boards.py": "board 0: MFB-SIM-0, serial 0x00010000: counter, timer, TTL I/O, SSI\n"
    "board 1: MFB-SIM-1, serial 0x00010001: PWM, counter, timer, TTL I/O\n",
    "encoder.py": "count ",
    "watch_interrupts.py": "module 0 source 3 at ",
    "flash_firmware.py": "flash holds the 480 payload bytes: True",
}


@pytest.mark.parametrize("script", sorted(EXPECTED))
def test_example(script):
    env = dict(os.environ, PYTHONPATH=PACKAGE_DIR, MFB_SIM_BOARDS="2")
    run = subprocess.run(
        [sys.executable, os.path.join(ROOT, "examples", script)],
        env=env, capture_output=True, text=True, timeout=60,
    )
    assert run.returncode == 0, run.stderr
    assert EXPECTED[script] in run.stdout
    if script == "encoder.py":
        counts = [int(line.split()[1]) for line in run.stdout.splitlines()]
        assert len(counts) == 5 and counts == sorted(counts) and counts[-1] > 0
    if script == "watch_interrupts.py":
        assert run.stdout.count("source 3") == 3

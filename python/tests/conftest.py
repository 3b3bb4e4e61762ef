"""The tests import the package the build put together (build/linux-release/python, or where
MFB_PYTHON_DIR says) and run it on fresh simulated boards."""

import os
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGE_DIR = os.environ.get("MFB_PYTHON_DIR", os.path.join(ROOT, "build", "linux-release", "python"))
sys.path.insert(0, PACKAGE_DIR)

import mfb  # noqa: E402
import mfb.sim  # noqa: E402


@pytest.fixture
def boards():
    """Two simulated boards at process start: board 0 counter, timer, TTL I/O, SSI; board 1 PWM,
    counter, timer, TTL I/O."""
    mfb.sim.reset()
    mfb.sim.attach(2)
    yield
    mfb.sim.reset()


@pytest.fixture
def mfbctl():
    """The tool of the same build, which reads the same explanation table."""
    path = os.path.join(os.path.dirname(PACKAGE_DIR), "mfbctl")
    if not os.path.exists(path):
        pytest.skip("this build has no mfbctl")
    return path


@pytest.fixture
def board(boards):
    with mfb.open(0) as b:
        yield b

"""The README's installation: pip, offline, into a virtual environment that sees Debian's
packages; the installed package carries the library and finds the simulated boards."""

import os
import subprocess
import sys

from conftest import PACKAGE_DIR


def test_offline_install_into_a_virtual_environment(tmp_path):
    venv = tmp_path / "venv"
    subprocess.run(
        [sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", str(venv)],
        check=True,
    )
    python = str(venv / "bin" / "python")
    subprocess.run(
        [python, "-m", "pip", "install", "-q", "--no-index", "--no-build-isolation", PACKAGE_DIR],
        check=True, cwd=tmp_path,
    )
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "MFB_LIBRARY")}
    env["MFB_SIM_BOARDS"] = "2"
    run = subprocess.run(
        [python, "-c", "import mfb; print(mfb.__file__); print([b.identifier for b in mfb.boards()])"],
        env=env, cwd=tmp_path, capture_output=True, text=True, check=True,
    )
    assert run.stdout.startswith(str(venv))
    assert run.stdout.endswith("['MFB-SIM-0', 'MFB-SIM-1']\n")

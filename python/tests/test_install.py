"""The README's installation: the wheel the build made, installed offline into a fresh virtual
environment of Debian's python3 and of every other CPython 3.9 or later on the machine; the
installed package carries the library and finds the simulated boards."""

import glob
import os
import shutil
import subprocess

import pytest

from conftest import PACKAGE_DIR


def _pythons():
    """Debian's python3 first, then the others: python3 on the PATH and pyenv's versions."""
    found = ["/usr/bin/python3", shutil.which("python3")]
    if shutil.which("pyenv"):
        root = subprocess.run(["pyenv", "root"], capture_output=True, text=True).stdout.strip()
        found += sorted(glob.glob(os.path.join(root, "versions", "3.*", "bin", "python3")))
    unique = {}
    for path in filter(None, found):
        run = subprocess.run([path, "-c", "import os, sys; print(sys.version_info >= (3, 9), "
                              "sys.implementation.name, os.path.realpath(sys.executable))"],
                             capture_output=True, text=True)
        ok, implementation, real = (run.stdout.split() + ["", "", ""])[:3]
        if ok == "True" and implementation == "cpython" and real not in unique.values():
            unique[path] = real
    return list(unique)


@pytest.mark.parametrize("python", _pythons())
def test_wheel_installs_into_a_fresh_virtual_environment(tmp_path, python):
    wheels = glob.glob(os.path.join(PACKAGE_DIR, "dist", "mfb-*-py3-none-linux_*.whl"))
    assert len(wheels) == 1, "the build makes one wheel, tagged for the platform"
    venv = tmp_path / "venv"
    target = str(venv / "bin" / "python")
    if python == "/usr/bin/python3":  # the README's commands, with the environment's own pip
        subprocess.run([python, "-m", "venv", str(venv)], check=True)
        installer = [str(venv / "bin" / "pip")]
    else:  # quicker: the pip that the interpreter bundles, run from its wheel, offline
        subprocess.run([python, "-m", "venv", "--without-pip", str(venv)], check=True)
        bundled = subprocess.run([python, "-c", "import ensurepip, os; print(os.path.dirname("
                                  "ensurepip.__file__))"], capture_output=True, text=True,
                                 check=True).stdout.strip()
        pip = glob.glob(os.path.join(bundled, "_bundled", "pip-*.whl"))
        installer = [target, os.path.join(pip[0], "pip")]
    subprocess.run(installer + ["install", "-q", "--no-index", wheels[0]], check=True, cwd=tmp_path)
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "MFB_LIBRARY")}
    env["MFB_SIM_BOARDS"] = "2"
    run = subprocess.run(
        [target, "-c", "import mfb; print(mfb.__file__); print([b.identifier for b in mfb.boards()])"],
        env=env, cwd=tmp_path, capture_output=True, text=True, check=True)
    assert run.stdout.startswith(str(venv))
    assert run.stdout.endswith("['MFB-SIM-0', 'MFB-SIM-1']\n")

"""Checks the Windows release package that scripts/package.sh wrote:

- its files are exactly those it must hold (README.md lists them for the user);
- for each architecture given, the C example compiled by mingw-w64 and linked only against the
  package's import library (MFB.lib, the MSVC one, and libMFB.dll.a) runs under Wine against the
  package's MFB.dll and prints the board count (0: Wine has no board), and the package's
  mfbctl.exe lists two simulated boards.

    check_package.py ZIP [--arch x86|x64]...

Each architecture's programs run through the wine-run.sh of its build tree (build/mingw-dll for
x86, build/mingw-dll64 for x64), in that tree's Wine prefix.
"""

import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ARCHES = {"x86": ("build/mingw-dll", "i686-w64-mingw32-gcc"),
          "x64": ("build/mingw-dll64", "x86_64-w64-mingw32-gcc")}


def expected_files(top):
    with open(os.path.join(ROOT, "include", "mfb_status.json"), encoding="utf-8") as f:
        exports = [e["name"] for e in json.load(f)["exports"]]
    python = [os.path.basename(p) for p in glob.glob(os.path.join(ROOT, "python", "mfb", "*.py"))]
    files = ["README.md", "LICENSE", "CHANGELOG.md", "THIRD-PARTY-NOTICES.md",
             "notices/CLI11.txt", "notices/fmt.txt", "notices/boost.txt", "notices/uPlot.txt",
             "notices/mingw-w64.txt",
             "notices/gcc-runtime.txt", "include/mfb.h", "include/mfb_status.json",
             "examples/list_boards.c", "examples/list_boards.py", "reference/index.html"]
    files += [f"{arch}/{name}" for arch in ARCHES
              for name in ("MFB.dll", "MFB.lib", "libMFB.dll.a", "mfbctl.exe")]
    files += [f"python/mfb/{name}" for name in python + ["py.typed", "mfb.h", "mfb_sim.h",
                                                         "mfb_status.json", "mfb_explain.json"]]
    files += [f"reference/{name}.html" for name in exports]
    return {f"{top}/{name}" for name in files}


def run(command, **kwargs):
    done = subprocess.run(command, capture_output=True, text=True, **kwargs)
    return done.returncode, (done.stdout + done.stderr).replace("\r\n", "\n")


def check_programs(unpacked, arch, work):
    build, gcc = ARCHES[arch]
    wine = os.path.join(ROOT, build, "wine-run.sh")
    problems = []
    for library in ("MFB.lib", "libMFB.dll.a"):
        folder = os.path.join(work, f"{arch}-{library}")
        os.makedirs(folder)
        program = os.path.join(folder, "list_boards.exe")
        status, out = run([gcc, "-std=c99", "-Wall", "-Wextra", "-Werror",
                           "-I", os.path.join(unpacked, "include"),
                           os.path.join(unpacked, "examples", "list_boards.c"),
                           os.path.join(unpacked, arch, library), "-o", program])
        if status != 0:
            problems.append(f"{arch}: list_boards.c does not link against {library}:\n{out}")
            continue
        shutil.copy(os.path.join(unpacked, arch, "MFB.dll"), folder)
        status, out = run([wine, program])
        if (status, out) != (0, "0 boards\n"):
            problems.append(f"{arch}: list_boards.exe linked against {library} gave {status}:\n{out}")
    status, out = run([wine, os.path.join(unpacked, arch, "mfbctl.exe"), "--sim-boards", "2",
                       "list", "-q"])
    if status != 0 or "MFB-SIM-1" not in out:
        problems.append(f"{arch}: mfbctl.exe --sim-boards 2 list gave {status}:\n{out}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("zip")
    parser.add_argument("--arch", action="append", choices=sorted(ARCHES), default=[])
    args = parser.parse_args()
    top = os.path.basename(args.zip)[:-len(".zip")]
    with zipfile.ZipFile(args.zip) as z:
        names = {n for n in z.namelist() if not n.endswith("/")}
        work = os.path.join(os.path.dirname(os.path.abspath(args.zip)), "check")
        shutil.rmtree(work, ignore_errors=True)
        z.extractall(work)
    problems = []
    expected = expected_files(top)
    if names != expected:
        problems.append(f"missing: {sorted(expected - names)}; not expected: {sorted(names - expected)}")
    for arch in args.arch:
        problems += check_programs(os.path.join(work, top), arch, work)
    for p in problems:
        print(f"check_package: {p}")
    if problems:
        sys.exit(1)
    print(f"check_package: {len(names)} files as expected; programs run under Wine: "
          f"{', '.join(args.arch) or 'none asked'}")


if __name__ == "__main__":
    main()

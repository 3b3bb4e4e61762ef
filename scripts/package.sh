#!/usr/bin/env bash
# Writes the Windows release package, dist/MFB-<version>-windows.zip (the project's version, which
# CHANGELOG.md must have an entry for), from the mingw-dll and mingw-dll64 builds (built here when
# they are not) and the sources:
#   x86/, x64/    MFB.dll, its MSVC import library MFB.lib and mingw-w64's libMFB.dll.a, mfbctl.exe
#   include/      mfb.h and the status table mfb_status.json
#   examples/     the C example, and the Python one that runs on Windows
#   python/mfb/   the Python package with the files it reads
#   reference/    the function reference (scripts/function_reference.py)
#   README.md (windows/README.md: for Windows users), LICENSE, CHANGELOG.md, and
#   THIRD-PARTY-NOTICES.md with notices/: what the binaries link in and its licences, from the
#   Debian packages that brought it.
# The folder it zips stays beside the zip (dist/MFB-<version>-windows). tests/windows/check_package.py
# checks the zip.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(mfb VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
grep -qx "## $version" CHANGELOG.md || {
    echo "package: CHANGELOG.md has no entry '## $version'" >&2
    exit 1
}

for preset in mingw-dll mingw-dll64; do
    [[ -f build/$preset/build.ninja ]] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" >/dev/null
done

name=MFB-$version-windows
stage=dist/$name
rm -rf "$stage" "dist/$name.zip"
mkdir -p "$stage"/{x86,x64,include,examples,python/mfb,notices}

for arch in x86 x64; do
    build=build/mingw-dll
    [[ $arch == x64 ]] && build=build/mingw-dll64
    cp "$build"/{MFB.dll,MFB.lib,libMFB.dll.a,mfbctl.exe} "$stage/$arch/"
done
cp include/mfb.h include/mfb_status.json "$stage/include/"
cp examples/list_boards.c examples/list_boards.py "$stage/examples/"
cp python/mfb/*.py python/mfb/py.typed include/mfb.h include/mfb_sim.h include/mfb_status.json \
    include/mfb_explain.json "$stage/python/mfb/"
python3 scripts/function_reference.py "$stage/reference" >/dev/null
cp windows/README.md "$stage/README.md"
cp LICENSE CHANGELOG.md "$stage/"

# What the binaries link in, each with the licence text of the Debian package it came from.
cat >"$stage/THIRD-PARTY-NOTICES.md" <<'EOF'
# Third-party notices

MFB itself is under the MIT licence (LICENSE). The binaries of this package link in the following
parts, whose licence texts are in `notices/`, as the Debian packages that provided them carry them:

| part | linked into | notice |
|---|---|---|
| CLI11, command-line parsing (BSD-3-Clause) | `mfbctl.exe` | `notices/CLI11.txt` |
| {fmt}, text formatting (MIT) | `mfbctl.exe` | `notices/fmt.txt` |
| Boost.Beast and Boost.Asio, the test panel's web server (BSL-1.0) | `x86/mfbctl.exe`, `x64/mfbctl.exe` | `notices/boost.txt` |
| uPlot, the test panel's charts, served by the page (MIT) | `x86/mfbctl.exe`, `x64/mfbctl.exe` | `notices/uPlot.txt` |
| the mingw-w64 runtime and winpthreads (ZPL-2.1, MIT and others, file by file) | `MFB.dll`, `mfbctl.exe` | `notices/mingw-w64.txt` |
| GCC's runtime libraries libgcc and libstdc++ (GPL-3 with the GCC Runtime Library Exception) | `MFB.dll`, `mfbctl.exe` | `notices/gcc-runtime.txt` |
EOF
cp /usr/share/doc/libcli11-dev/copyright "$stage/notices/CLI11.txt"
cp /usr/share/doc/libfmt-dev/copyright "$stage/notices/fmt.txt"
# libboost-dev depends on the versioned package that holds the headers and their licence.
boost_doc=$(ls -d /usr/share/doc/libboost1.*-dev | tail -1)
cp "$boost_doc/copyright" "$stage/notices/boost.txt"
cp tools/panel/node_modules/uplot/LICENSE "$stage/notices/uPlot.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/notices/mingw-w64.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/notices/gcc-runtime.txt"

(cd dist && python3 -m zipfile -c "$name.zip" "$name")
echo "package: dist/$name.zip ($(find "$stage" -type f | wc -l) files)"

#!/usr/bin/env bash
# Runs the tests of the Windows builds under Wine (windows/tests.cmake): ctest of the preset
# mingw-dll64, whose programs run under Debian's wine64, and of mingw-dll, under Debian's 32-bit
# Wine, where the host can execute 32-bit programs (otherwise one line says why it was not run).
# The tests are the Windows test program, mfbctl.exe as a user runs it, and the MSVC import
# library read back.
#
#   scripts/wine-test.sh [--package]
#
# With --package it also checks the release package in dist/ (scripts/package.sh writes it):
# its files, and its programs under the same Wines (tests/windows/check_package.py).
# Each build tree keeps a Wine prefix of its own (wine-prefix/), made once by the build's
# wine-run.sh; no display is needed and Wine's messages are off. Fails when a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

# Whether this host executes a 32-bit x86 program: one compiled for the purpose.
runs_32_bit_programs() {
    local probe=build/wine-probe-i386
    mkdir -p build
    echo 'int main(void) { return 0; }' | gcc -m32 -x c - -o "$probe" 2>/dev/null && "$probe" 2>/dev/null
}

status=0
arches=()
# run PRESET ARCH: the build's tests.
run() {
    local preset=$1 arch=$2
    if [[ ! -x build/$preset/wine-run.sh ]]; then
        echo "wine: build/$preset is not built" >&2
        status=1
        return
    fi
    echo "wine: the $arch build"
    ctest --preset "$preset" -j2 || status=1
    arches+=(--arch "$arch")
}

run mingw-dll64 x64
if ! runs_32_bit_programs; then
    echo "wine: the 32-bit build was not run: this host cannot execute 32-bit programs"
elif [[ ! -x /usr/lib/wine/wine ]]; then
    echo "wine: the 32-bit build was not run: no 32-bit Wine (Debian's wine32, which needs the i386 architecture)"
else
    run mingw-dll x86
fi

if [[ ${1:-} == --package ]]; then
    zips=(dist/MFB-*-windows.zip)
    if ((${#zips[@]} != 1)) || [[ ! -f ${zips[0]} ]]; then
        echo "wine: no single release package in dist/ (scripts/package.sh writes it)" >&2
        status=1
    else
        python3 tests/windows/check_package.py "${zips[0]}" "${arches[@]}" || status=1
    fi
fi

for build in build/mingw-dll64 build/mingw-dll; do
    WINEPREFIX=$PWD/$build/wine-prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
done
exit $status

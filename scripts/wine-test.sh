#!/usr/bin/env bash
# Runs the Windows test program (tests/windows) against the built MFB.dlls under Wine: the x64 DLL
# with Debian's wine64, the 32-bit DLL with Debian's 32-bit Wine where the host can execute 32-bit
# programs (otherwise one line says why it was not run). The mingw-dll and mingw-dll64 presets
# build the program beside each DLL. Each build tree keeps a Wine prefix of its own
# (wine-prefix/), made once by wineboot; no display is needed and Wine's messages are off.
# Fails when a run fails.
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEDEBUG=-all
# A new prefix would otherwise offer to install Wine's .NET and HTML engines.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineserver=/usr/lib/wine/wineserver

# run BUILD_DIR LOADER [WINEARCH]: the program beside the build's DLL, in the build's own prefix.
run() {
    local build=$1 loader=$2 arch=${3:-}
    if [[ ! -f $build/mfb_wintest.exe ]]; then
        echo "wine: $build/mfb_wintest.exe is not built" >&2
        return 1
    fi
    export WINEPREFIX=$PWD/$build/wine-prefix
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        echo "wine: making the prefix $build/wine-prefix (once)"
        local settings=()
        [[ -n $arch ]] && settings=("WINEARCH=$arch")
        env "${settings[@]}" "$loader" wineboot --init >"$build/wineboot.log" 2>&1
        "$wineserver" -w
    fi
    local status=0
    (cd "$build" && timeout 300 "$loader" mfb_wintest.exe) || status=$?
    ((status == 124)) && echo "wine: the test program did not end within 300 s" >&2
    "$wineserver" -k 2>/dev/null || true
    return $status
}

# Whether this host executes a 32-bit x86 program: one compiled for the purpose.
runs_32_bit_programs() {
    local probe=build/wine-probe-i386
    mkdir -p build
    echo 'int main(void) { return 0; }' | gcc -m32 -x c - -o "$probe" 2>/dev/null && "$probe" 2>/dev/null
}

status=0
echo "wine: x64 MFB.dll"
run build/mingw-dll64 /usr/lib/wine/wine64 || status=1

if ! runs_32_bit_programs; then
    echo "wine: the 32-bit MFB.dll was not run: this host cannot execute 32-bit programs"
elif [[ ! -x /usr/lib/wine/wine ]]; then
    echo "wine: the 32-bit MFB.dll was not run: no 32-bit Wine (Debian's wine32, which needs the i386 architecture)"
else
    echo "wine: 32-bit MFB.dll"
    run build/mingw-dll /usr/lib/wine/wine win32 || status=1
fi
exit $status

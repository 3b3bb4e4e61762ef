#!/usr/bin/env bash
# The Linux install as a user meets it: installs the linux-release build into a fresh prefix
# (build/linux-release/install-test/prefix), checks what is there, builds the downstream project of
# tests/downstream against it (find_package(MFB)) and examples/list_boards.c with pkg-config, and
# runs them and the installed mfbctl, without LD_LIBRARY_PATH. Fails at the first difference.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/linux-release
work=$PWD/$build/install-test
prefix=$work/prefix
rm -rf "$work"
cmake --install "$build" --prefix "$prefix" >/dev/null
unset LD_LIBRARY_PATH

fail() {
    echo "install-test: $*" >&2
    exit 1
}
for file in bin/mfbctl include/mfb.h include/mfb_vbus.h include/mfb_sim.h lib/libmfb.so \
    lib/libmfb.so.1 lib/libmfb.so.1.0 lib/cmake/MFB/MFBConfig.cmake \
    lib/cmake/MFB/MFBConfigVersion.cmake lib/cmake/MFB/MFBTargets.cmake lib/pkgconfig/mfb.pc \
    share/mfb/mfb_status.json share/mfb/mfb_explain.json share/man/man1/mfbctl.1 \
    share/bash-completion/completions/mfbctl; do
    [[ -e $prefix/$file ]] || fail "$file is not installed"
done
readelf -d "$prefix/lib/libmfb.so.1.0" | grep -q 'SONAME.*\[libmfb\.so\.1\]' || fail "libmfb.so.1.0 has no soname libmfb.so.1"

# expect WHAT COMMAND...: the command's output must be WHAT.
expect() {
    local what=$1 out
    shift
    out=$("$@") || fail "$* failed"
    [[ $out == "$what" ]] || fail "$* printed:"$'\n'"$out"$'\n'"instead of:"$'\n'"$what"
}
boards="2 boards
board 0: MFB-SIM-0, serial 0x00010000, firmware 0x0203
board 1: MFB-SIM-1, serial 0x00010001, firmware 0x0203
board 0 module 0: configuration word 0x00000001"

"$prefix/bin/mfbctl" list -q >/dev/null || fail "the installed mfbctl does not run"
cmake -S tests/downstream -B "$work/downstream" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/downstream" >/dev/null
expect "$boards" "$work/downstream/list_boards"
expect $'3 boards\nopen: -7\nopen: 0\nexchanges: 1' "$work/downstream/app_test"

# shellcheck disable=SC2046 # the flags are words
cc -std=c99 examples/list_boards.c $(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs mfb) \
    -o "$work/list_boards_pkg_config"
expect "$boards" "$work/list_boards_pkg_config"
echo "install-test: the installed library, mfbctl, find_package(MFB) and pkg-config work"

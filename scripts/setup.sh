#!/usr/bin/env bash
# Installs what the builds need, with apt-get, when it is missing: the compilers (native, 32-bit
# multilib, mingw-w64 for the 32-bit and x64 MFB.dll), CMake and Ninja, GoogleTest and Google
# Benchmark, CLI11 and {fmt} for mfbctl (with libedit for its shell, help2man for its man page),
# clang-format, wine64 for the Windows test program, and clang with its runtime libraries
# (libFuzzer, 64- and 32-bit) for the fuzz targets, and Python with pytest for the tests that read
# mfbctl's JSON and those of the Python package, with venv, pip and wheel to build and install
# its wheel and matplotlib for the plotting example. On a host
# whose kernel cannot execute 32-bit programs it adds qemu-user, under which the 32-bit tests
# then run.
set -euo pipefail

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    echo "setup: installing ${missing[*]}"
    local sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

install_missing cmake ninja-build g++ g++-multilib g++-mingw-w64-i686 googletest libgtest-dev \
    libbenchmark-dev libcli11-dev libfmt-dev clang-format g++-mingw-w64-x86-64 wine64 clang \
    libclang-rt-dev python3 python3-pytest libedit-dev help2man python3-venv python3-pip \
    python3-wheel python3-setuptools python3-matplotlib

# Can this kernel execute a 32-bit x86 program? Some hosts are built without that support.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'int main(void) { return 0; }' >"$probe/p.c"
gcc -m32 "$probe/p.c" -o "$probe/p"
if ! "$probe/p" 2>/dev/null; then
    install_missing qemu-user
fi

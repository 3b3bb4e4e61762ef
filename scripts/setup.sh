#!/usr/bin/env bash
# Installs what the builds need, with apt-get, when it is missing.
#   scripts/setup.sh          everything scripts/test-all.sh builds and runs: the compilers (native,
#                             32-bit multilib, mingw-w64 for the 32-bit and x64 MFB.dll), CMake and
#                             Ninja, GoogleTest and Google Benchmark, CLI11 and {fmt} for mfbctl
#                             (libedit for its shell's line editing, help2man for its man page),
#                             clang-format, Wine for the Windows test program, clang with its
#                             runtime libraries (libFuzzer, 64- and 32-bit) for the fuzz targets,
#                             and Python with pytest, venv, pip, wheel and setuptools to build and
#                             install the package's wheel and matplotlib for the plotting
#                             example. On a host whose kernel executes 32-bit
#                             programs it adds Debian's i386 architecture and 32-bit Wine
#                             (wine32:i386), under which the 32-bit MFB.dll runs; on one that cannot,
#                             qemu-user, under which the 32-bit Linux tests then run.
#   scripts/setup.sh --tool   only what mfbctl needs (the demo): CMake, Ninja, g++, CLI11, {fmt}.
set -euo pipefail

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    echo "setup: installing ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

if [[ ${1:-} == --tool ]]; then
    install_missing cmake ninja-build g++ libcli11-dev libfmt-dev
    exit 0
fi

install_missing cmake ninja-build g++ g++-multilib g++-mingw-w64-i686 googletest libgtest-dev \
    libbenchmark-dev libcli11-dev libfmt-dev clang-format g++-mingw-w64-x86-64 wine64 clang \
    libclang-rt-dev python3 python3-pytest libedit-dev help2man python3-venv python3-pip \
    python3-wheel python3-setuptools python3-matplotlib

# Can this kernel execute a 32-bit x86 program? Some hosts are built without that support.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'int main(void) { return 0; }' >"$probe/p.c"
gcc -m32 "$probe/p.c" -o "$probe/p"
if "$probe/p" 2>/dev/null; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "setup: adding Debian's i386 architecture for 32-bit Wine"
        "${sudo_cmd[@]}" dpkg --add-architecture i386
        "${sudo_cmd[@]}" apt-get update -qq
    fi
    install_missing wine32:i386
else
    install_missing qemu-user
fi

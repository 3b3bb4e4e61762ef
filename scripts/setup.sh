#!/usr/bin/env bash
# Installs what the builds need, with apt-get, when it is missing: the compilers (native, 32-bit
# multilib, mingw-w64 for MFB.dll), CMake and Ninja, GoogleTest and Google Benchmark, CLI11 and
# {fmt} for mfbctl, clang-format, and Python for the tests that read mfbctl's JSON.
set -euo pipefail

packages=(cmake ninja-build g++ g++-multilib g++-mingw-w64-i686 googletest libgtest-dev
          libbenchmark-dev libcli11-dev libfmt-dev clang-format python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

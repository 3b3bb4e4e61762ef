#!/usr/bin/env bash
# Installs what is missing, builds the three builds (MFB.dll for Windows, 64-bit Linux under
# AddressSanitizer and UndefinedBehaviorSanitizer, 32-bit x86 Linux), the ThreadSanitizer build
# and the benchmarks, and runs every test. Fails on the first failure. MFB.dll is built twice,
# 32-bit and x64, each with the Windows test program beside it, which runs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

step() { echo; echo "=== $*"; }

step "format"
scripts/check-format.sh

# The DLLs come first: the 64-bit tests read their export and import tables.
for preset in mingw-dll mingw-dll64 linux-asan linux-x86 linux-tsan linux-release; do
    step "build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

for preset in linux-asan linux-x86 linux-tsan; do
    step "test $preset"
    if [[ $preset == linux-x86 ]]; then
        how=$(sed -n 's/^MFB_X86_EXECUTION:INTERNAL=//p' build/linux-x86/CMakeCache.txt)
        echo "${how:-32-bit tests run natively}"
    fi
    ctest --preset "$preset" --output-on-failure -j2
done

# Debian's Python, whose pytest setup.sh installed; the package as the release build put it together.
step "Python package (build/linux-release/python)"
/usr/bin/python3 -m pytest -q python/tests

step "Windows test program under Wine"
scripts/wine-test.sh

step "demo"
build/linux-release/mfbctl list

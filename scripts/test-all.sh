#!/usr/bin/env bash
# Installs what is missing, builds the three builds (MFB.dll for Windows, 64-bit Linux under
# AddressSanitizer and UndefinedBehaviorSanitizer, 32-bit x86 Linux), the ThreadSanitizer build,
# the benchmarks and the fuzz targets (64- and 32-bit), and runs every test, the fuzz targets
# briefly and the benchmarks once as a smoke test. Fails on the first failure. MFB.dll is built
# twice, 32-bit and x64, each with the Windows test program beside it, which runs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

step() { echo; echo "=== $*"; }

step "format"
scripts/check-format.sh

# The DLLs come first: the 64-bit tests read their export and import tables.
for preset in mingw-dll mingw-dll64 linux-asan linux-x86 linux-tsan linux-release linux-fuzz \
    linux-fuzz-x86; do
    step "build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

# The fuzz presets' tests replay the seed corpus and the reproducers of past findings.
for preset in linux-asan linux-x86 linux-tsan linux-fuzz linux-fuzz-x86; do
    step "test $preset"
    if [[ $preset == linux-x86 || $preset == linux-fuzz-x86 ]]; then
        how=$(sed -n 's/^MFB_X86_EXECUTION:INTERNAL=//p' "build/$preset/CMakeCache.txt")
        echo "${how:-32-bit tests run natively}"
    fi
    ctest --preset "$preset" --output-on-failure -j2
done

# Debian's Python, whose pytest setup.sh installed; the package as the release build put it together.
step "Python package (build/linux-release/python)"
/usr/bin/python3 -m pytest -q python/tests

step "Windows test program under Wine"
scripts/wine-test.sh

# The 32-bit targets are fuzzed too where they run natively; under qemu-i386 the replay above is
# all they do (README, Fuzzing).
step "fuzz: 30 s per target on top of its seed corpus"
x86_native=$(grep -c 'run natively' build/linux-fuzz-x86/CMakeCache.txt || true)
for target in hostile_driver firmware_files; do
    scripts/fuzz.sh "$target" 0.5
    if ((x86_native)); then
        scripts/fuzz.sh "$target" 0.5 linux-fuzz-x86
    fi
done

step "benchmarks: one short repetition, a smoke test (its figures mean nothing)"
scripts/bench.sh --smoke

step "demo"
build/linux-release/mfbctl list

#!/usr/bin/env bash
# Installs what is missing, builds every preset (MFB.dll for 32-bit and x64 Windows with its import
# libraries, the Windows test program and mfbctl.exe beside each, 64-bit Linux under
# AddressSanitizer and UndefinedBehaviorSanitizer, 32-bit x86 Linux, ThreadSanitizer, the release
# build with mfbctl, the benchmarks and the Python package, the fuzz targets 64- and 32-bit), and
# runs every test: ctest in each Linux preset, the Python package's tests, mfbctl's test panel in
# headless Chromium, the Linux install with a downstream project, the Windows release package, the
# Windows builds' tests and the package's programs under Wine, the fuzz targets briefly and the
# benchmarks once as a smoke test. Stops at the first failure. At the end, also after a failure, it
# prints a table of the steps with their seconds (wall clock, and the processor time of what each
# ran) and the total.
set -euo pipefail
cd "$(dirname "$0")/.."

# ---- the timing table ----
names=() walls=() cpus=()
current="" t0=$EPOCHREALTIME run_start=$EPOCHREALTIME cpu0=0

# Processor seconds (user and system) of the child processes that have ended so far, in $cpu.
# `times` must run in this shell, not in a command substitution's, to see its children.
times_file=$(mktemp)
children_cpu() {
    times >"$times_file"
    cpu=$(awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/);
                         printf "%.1f", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$times_file")
}
end_step() {
    [[ -n $current ]] || return 0
    local cpu
    children_cpu
    names+=("$current")
    walls+=("$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')")
    cpus+=("$(awk -v a="$cpu0" -v b="$cpu" 'BEGIN { printf "%.0f", b - a }')")
    current=""
}
step() {
    end_step
    local cpu
    children_cpu
    current=$1 t0=$EPOCHREALTIME cpu0=$cpu
    echo
    echo "=== $1"
}
report() {
    local status=$? failed=""
    [[ -n $current && $status -ne 0 ]] && failed=$current
    end_step
    echo
    printf '%-40s %6s %6s\n' "step" "s" "cpu s"
    local i total_setup=0
    for i in "${!names[@]}"; do
        local mark=""
        [[ ${names[$i]} == "$failed" ]] && mark="  FAILED"
        printf '%-40s %6s %6s%s\n' "${names[$i]}" "${walls[$i]}" "${cpus[$i]}" "$mark"
        [[ ${names[$i]} == setup* ]] && total_setup=${walls[$i]}
    done
    local total
    total=$(awk -v a="$run_start" -v b="$EPOCHREALTIME" -v s="$total_setup" \
        'BEGIN { printf "%.0f", b - a - s }')
    echo "total $total s (without setup)"
    rm -f "$times_file"
    ((status == 0)) || echo "test-all.sh: failed in step '$failed'"
}
trap report EXIT

step "setup: packages (apt-get)"
scripts/setup.sh

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
step "Python package tests"
/usr/bin/python3 -m pytest -q python/tests

# The test panel in headless Chromium, served by the release build's mfbctl (the screenshot goes
# to build/linux-release/panel.png), and where it listens: a warning for any address but loopback.
step "test panel in the browser"
MFBCTL=build/linux-release/mfbctl /usr/bin/python3 -m pytest -q tests/panel

step "install and downstream project"
scripts/install-test.sh

step "package: the Windows release zip"
scripts/package.sh

step "Windows builds and package under Wine"
scripts/wine-test.sh --package

# The targets fuzz side by side, each for 30 s. The 32-bit targets are fuzzed too where they run
# natively; under qemu-i386 the replay above is all they do (README, Fuzzing).
step "fuzz: 30 s per target"
fuzz_runs=()
for target in hostile_driver firmware_files; do
    fuzz_runs+=("$target linux-fuzz")
    if grep -q 'run natively' build/linux-fuzz-x86/CMakeCache.txt; then
        fuzz_runs+=("$target linux-fuzz-x86")
    fi
done
pids=()
for run in "${fuzz_runs[@]}"; do
    read -r target preset <<<"$run"
    scripts/fuzz.sh --built "$target" 0.5 "$preset" >"build/$preset/fuzz-$target.out" 2>&1 &
    pids+=($!)
done
fuzz_status=0
for i in "${!pids[@]}"; do
    read -r target preset <<<"${fuzz_runs[$i]}"
    wait "${pids[$i]}" || fuzz_status=1
    cat "build/$preset/fuzz-$target.out"
done
((fuzz_status == 0))

# One short repetition: it proves the benchmarks run; its figures mean nothing.
step "benchmarks: smoke test"
scripts/bench.sh --smoke

step "demo"
build/linux-release/mfbctl list

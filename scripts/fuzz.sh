#!/usr/bin/env bash
# Fuzzes one target for a while: scripts/fuzz.sh [--built] TARGET MINUTES [PRESET]
#   TARGET   hostile_driver or firmware_files (fuzz/)
#   MINUTES  how long; decimals are fine (0.5 is 30 s)
#   PRESET   linux-fuzz (the default) or linux-fuzz-x86
#   --built  the preset is configured and built already (several targets fuzzing side by side)
# Builds the target, then fuzzes on top of the seed corpus fuzz/corpus/TARGET, keeping the inputs
# it finds in build/PRESET/fuzz-corpus/TARGET for the next run. A crash, leak or hang is saved in
# build/PRESET/fuzz-findings/TARGET/ and the script fails. Replay a finding with
#   build/PRESET/fuzz/fuzz_TARGET FILE        (MFB_FUZZ_TRACE=1 traces the hostile driver's calls)
# and, once mended, keep it in fuzz/regressions/TARGET/ beside a regular test of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

built=0
if [[ ${1:-} == --built ]]; then
    built=1
    shift
fi
if (($# < 2 || $# > 3)); then
    sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
fi
target=$1 minutes=$2 preset=${3:-linux-fuzz}
seconds=$(awk -v m="$minutes" 'BEGIN { s = int(m * 60 + 0.5); print (s < 1 ? 1 : s) }')
[[ -d fuzz/corpus/$target ]] || { echo "fuzz.sh: no target $target" >&2; exit 2; }

if ((!built)); then
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target "fuzz_$target" >/dev/null
fi

build=build/$preset
corpus=$build/fuzz-corpus/$target
findings=$build/fuzz-findings/$target
mkdir -p "$corpus" "$findings"
seeds=fuzz/corpus/$target

run=()
if [[ $preset == *x86 ]]; then
    how=$(sed -n 's/^MFB_X86_EXECUTION:INTERNAL=//p' "$build/CMakeCache.txt")
    echo "fuzz.sh: ${how:-32-bit programs run natively}"
    if [[ $how == *qemu* ]]; then
        run=("$(sed -n 's/^MFB_QEMU_I386:FILEPATH=//p' "$build/CMakeCache.txt")")
        # qemu-i386 has no ptrace for LeakSanitizer; AddressSanitizer's other checks stay on.
        export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
        # Nor can it list a folder whose entries carry 64-bit offsets (most disk file systems):
        # the fuzzer works on copies in a memory file system, and its finds are copied back.
        shm=$(mktemp -d /dev/shm/mfb-fuzz.XXXXXX)
        trap 'cp -n "$shm"/corpus/* "$corpus"/ 2>/dev/null || true; rm -rf "$shm"' EXIT
        mkdir -p "$shm/corpus" "$shm/seeds"
        cp -r "$corpus"/. "$shm/corpus"
        cp -r "$seeds"/. "$shm/seeds"
        corpus_run=$shm/corpus seeds=$shm/seeds
    fi
fi

options=(-timeout=20 -print_final_stats=1)
case $target in
firmware_files) options+=(-max_len=20000) ;; # room for whole headers of 2952 bytes
esac

log=$build/fuzz-$target.log
echo "fuzz.sh: $target for $seconds s (log: $log)"
status=0
"${run[@]}" "$build/fuzz/fuzz_$target" "${options[@]}" -max_total_time="$seconds" \
    -artifact_prefix="$findings/" "${corpus_run:-$corpus}" "$seeds" >"$log" 2>&1 || status=$?

# The last status line and the final statistics: executions, coverage, time.
grep -E '^#[0-9]+ +(DONE|pulse)' "$log" | tail -1 || true
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
if ((status != 0)); then
    grep -E 'ERROR|hostile driver:|firmware files:|Test unit written' "$log" | head -5 >&2 || true
    echo "fuzz.sh: $target found a fault; the input is in $findings/" >&2
    exit 1
fi
echo "fuzz.sh: $target found nothing in $seconds s"

#!/usr/bin/env bash
# Builds the benchmarks (preset linux-release) and prints what the library costs against baselines
# measured in the same run, as a short table (the README explains how to read it).
#   scripts/bench.sh            three repetitions; the table shows their medians
#   scripts/bench.sh --smoke    one short repetition, as CI runs it: it proves the benchmarks run;
#                               its figures mean nothing
# Other arguments go to the benchmark program, e.g. --benchmark_filter=Exchange, or --full for
# Google Benchmark's own report before the table.
set -euo pipefail
cd "$(dirname "$0")/.."

table=(--table) repetitions=(--benchmark_repetitions=3) args=()
for a in "$@"; do
    case $a in
    --smoke) repetitions=(--benchmark_repetitions=1) ;;
    --full) table=() ;;
    *) args+=("$a") ;;
    esac
done

cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target mfb_bench >/dev/null
build/linux-release/bench/mfb_bench "${table[@]}" "${repetitions[@]}" "${args[@]}"

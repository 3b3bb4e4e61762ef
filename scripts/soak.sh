#!/usr/bin/env bash
# Runs the interrupt soak (tests/interrupt_soak_test.cpp) for as long as asked:
#
#   scripts/soak.sh [SECONDS] [--tsan]
#
# SECONDS defaults to 600. The soak runs in an optimised build of the thread tests (build/soak, as
# linux-release builds the library), or with --tsan in the linux-tsan preset's build. It ends with
# one line of figures (records raised, delivered and per second, still queued, lost) and fails
# when a record was lost or repeated, or anything stayed held.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
tsan=0
for arg in "$@"; do
    case $arg in
    --tsan) tsan=1 ;;
    *[!0-9.]* | '') echo "usage: scripts/soak.sh [SECONDS] [--tsan]" >&2; exit 2 ;;
    *) seconds=$arg ;;
    esac
done

if ((tsan)); then
    build=build/linux-tsan
    cmake --preset linux-tsan >/dev/null
else
    build=build/soak
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMFB_TEST_SET=threads \
        -DMFB_TOOL=OFF -DMFB_TOOL_CASES=OFF >/dev/null
fi
nice cmake --build "$build" --target mfb_thread_tests
MFB_SOAK_SECONDS=$seconds "$build/tests/mfb_thread_tests" --gtest_filter='InterruptSoak.*'

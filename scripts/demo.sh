#!/usr/bin/env bash
# Builds mfbctl alone (preset linux-demo: no tests, no benchmarks, so it needs only CMake, Ninja,
# g++, CLI11 and {fmt}, which it installs when they are missing) and lists the boards of the
# simulated bus. Arguments go to mfbctl instead of "list", e.g.
#     scripts/demo.sh info -b 1
# The times of the package step and of the build go to the standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }'; }

start=$EPOCHREALTIME
scripts/setup.sh --tool
echo "demo: packages in $(seconds_since "$start") s" >&2

start=$EPOCHREALTIME
cmake --preset linux-demo >/dev/null
cmake --build --preset linux-demo
echo "demo: mfbctl built in $(seconds_since "$start") s" >&2

if (($#)); then
    exec build/linux-demo/mfbctl "$@"
fi
exec build/linux-demo/mfbctl list

#!/usr/bin/env bash
# Builds mfbctl and lists the boards of the simulated bus. Extra arguments go to mfbctl instead
# of "list", e.g. scripts/demo.sh info 1
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target mfbctl
if (($#)); then
    build/linux-release/mfbctl "$@"
else
    build/linux-release/mfbctl list
fi

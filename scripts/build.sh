#!/usr/bin/env bash
# Configures and builds Tolvan in build/ (or $TOLVAN_BUILD_DIR).
# Extra arguments go to CMake's configure step, e.g. -DTOLVAN_TSAN=ON.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TOLVAN_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja "$@"
cmake --build "$build" --parallel "$(nproc)"

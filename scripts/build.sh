#!/usr/bin/env bash
# Configures and builds Tolvan in build/ (or $TOLVAN_BUILD_DIR).
# Extra arguments go to CMake's configure step, e.g. -DTOLVAN_TSAN=ON.
# TOLVAN_BUILD_TARGETS, when set, names the only targets to build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TOLVAN_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja "$@"
# shellcheck disable=SC2086 # the targets are words
cmake --build "$build" --parallel "$(nproc)" ${TOLVAN_BUILD_TARGETS:+--target $TOLVAN_BUILD_TARGETS}

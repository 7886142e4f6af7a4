#!/usr/bin/env bash
# Times the browser's lists over three synthetic libraries of N tracks
# (default 50,000): plain titles; accented, Greek, Cyrillic and CJK titles;
# and those titles with nearly every track on an album of its own. Prints one
# JSON line per library, tagged with its shape.
# usage: bench/run-browse.sh [N]   (TOLVAN_BUILD_DIR selects the build)
set -euo pipefail
# shellcheck source=bench/scratch.sh
source "$(dirname "$0")/scratch.sh"
count="${1:-50000}"

run() {
    local shape="$1"
    shift
    python3 "$root/bench/make-library.py" "$@" "$count" > "$work/$shape.xml"
    "$bench" browse "$work/$shape.xml" | sed "s/^{/{\"shape\":\"$shape\",/"
}

run plain
run world --titles world
run world-albums --titles world --albums per-track

#!/usr/bin/env bash
# Times loading a synthetic library of N tracks (default 50,000) through the
# XML back end against a bare parse of the same file, and prints both JSON
# lines and the ratio of their times.
# usage: bench/run-library.sh [N]   (TOLVAN_BUILD_DIR selects the build)
set -euo pipefail
# shellcheck source=bench/scratch.sh
source "$(dirname "$0")/scratch.sh"
count="${1:-50000}"

python3 "$root/bench/make-library.py" "$count" > "$work/library.xml"
cat "$work/library.xml" > /dev/null  # both runs start from a warm cache
parse="$("$bench" library-parse "$work/library.xml")"
load="$("$bench" library "$work/library.xml")"
echo "$parse"
echo "$load"
python3 - "$parse" "$load" <<'PY'
import json, sys
parse, load = (json.loads(line) for line in sys.argv[1:3])
print(json.dumps({"tracks": load["tracks"], "ratio": round(load["seconds"] / parse["seconds"], 2),
                  "loadSeconds": load["seconds"], "parseSeconds": parse["seconds"],
                  "loadPeakMB": round(load["peakBytes"] / 2**20), "parsePeakMB": round(parse["peakBytes"] / 2**20)}))
PY

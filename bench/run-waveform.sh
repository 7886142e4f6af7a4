#!/usr/bin/env bash
# Times reading FILE's waveform through tolvan-bench against the same decode
# and resample by the ffmpeg command line, alternating, several rounds each,
# and prints the last waveform line, the ratio of the median wall-clock times
# (below 1.0: we are faster) and the median share of the read time that
# passed before the first notification.
# usage: bench/run-waveform.sh FILE [ROUNDS]   (TOLVAN_BUILD_DIR selects the build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="${TOLVAN_BUILD_DIR:-$root/build}/bin/tolvan-bench"
file="$1"
rounds="${2:-7}"

cat "$file" > /dev/null  # every run starts from a warm cache
python3 - "$bench" "$file" "$rounds" <<'PY'
import json, statistics, subprocess, sys, time
bench, path, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
ours = [bench, "waveform", path]
peer = ["ffmpeg", "-v", "quiet", "-i", path, "-ac", "1", "-ar", "8000", "-f", "s8", "-y", "/dev/null"]

def timed(command):
    start = time.perf_counter()
    out = subprocess.run(command, check=True, stdout=subprocess.PIPE, text=True).stdout
    return time.perf_counter() - start, out

tolvan, ffmpeg, shares, line = [], [], [], ""
for _ in range(rounds):
    seconds, line = timed(ours)
    tolvan.append(seconds)
    result = json.loads(line)
    shares.append(result["firstNotificationSeconds"] / result["readSeconds"])
    ffmpeg.append(timed(peer)[0])
print(line.strip())
print(json.dumps({"file": path, "rounds": rounds, "ratio": round(statistics.median(tolvan) / statistics.median(ffmpeg), 3),
                  "tolvanSeconds": round(statistics.median(tolvan), 4), "ffmpegSeconds": round(statistics.median(ffmpeg), 4),
                  "firstNotificationShare": round(statistics.median(shares), 4)}))
PY

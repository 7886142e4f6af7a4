#!/usr/bin/env bash
# Times reading a song's waveform through tolvan-bench against the same
# decode and resample by the ffmpeg command line (one decode, as ffmpeg
# does it), alternating, several rounds each, and prints the ratio of the
# median wall-clock times (below 1.0: we are faster), the median share of
# the read time that passed before the first notification, and our peak
# memory.
#
# usage: bench/run-waveform.sh FILE [ROUNDS]
#        bench/run-waveform.sh --long DIR [ROUNDS] [SECONDS]
#        bench/run-waveform.sh --song DIR [ROUNDS]
# The second form writes a long song (default two hours) into DIR in WAVE,
# FLAC, MP3 and AAC (once; bench/make-long-audio.sh) and times each. The
# third does the same for a four-minute song, the length most songs a user
# opens have, in DIR/four-minutes.
# TOLVAN_BUILD_DIR selects the build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="${TOLVAN_BUILD_DIR:-$root/build}/bin/tolvan-bench"

# time_waveform FILE ROUNDS: one JSON line of ratios.
time_waveform() {
  cat "$1" > /dev/null  # every run starts from a warm cache
  python3 - "$bench" "$1" "$2" <<'PY'
import json, os, statistics, subprocess, sys, time
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
print(json.dumps({"file": os.path.basename(path), "rounds": rounds,
                  "ratio": round(statistics.median(tolvan) / statistics.median(ffmpeg), 3),
                  "tolvanSeconds": round(statistics.median(tolvan), 4), "ffmpegSeconds": round(statistics.median(ffmpeg), 4),
                  "firstNotificationSeconds": round(json.loads(line)["firstNotificationSeconds"], 4),
                  "firstNotificationShare": round(statistics.median(shares), 4),
                  "peakMB": round(json.loads(line)["peakBytes"] / 2**20, 1)}))
PY
}

if [ "${1:-}" = "--long" ]; then
  dir="$2" rounds="${3:-3}" seconds="${4:-7200}"
  "$root/bench/make-long-audio.sh" "$dir" "$seconds"
  for extension in wav flac mp3 m4a; do
    time_waveform "$dir/long.$extension" "$rounds"
  done
elif [ "${1:-}" = "--song" ]; then
  dir="$2/four-minutes" rounds="${3:-7}"
  "$root/bench/make-long-audio.sh" "$dir" 240
  for extension in mp3 m4a flac wav; do
    time_waveform "$dir/long.$extension" "$rounds"
  done
else
  time_waveform "$1" "${2:-7}"
fi

#!/usr/bin/env bash
# Measures the preview of a song with video through tolvan-bench (the
# stretch played once in real time, its pictures at the size of the editor's
# video area at twice the pixels) against the ffmpeg command line decoding
# the same stretch (audio to 44.1 kHz stereo, pictures scaled to the same
# size), alternating, several rounds each, and prints the ratio of the
# median processor times (user and system, every thread; below 1.0 we use
# less) and both peak memories. ffmpeg decodes as fast as it can, the
# preview at the pace of its clock, so processor time is what compares.
# A last run plays the stretch three times over, as the looping preview
# does, and prints the pictures shown in each pass.
#
# usage: bench/run-preview.sh FILE [ROUNDS] [START] [SECONDS]
#        bench/run-preview.sh --make DIR [ROUNDS]
# The second form writes a 40-second 1080p clip at 30 pictures a second
# (ffmpeg's moving test pattern in H.264, a sine in AAC) into DIR once and
# measures a 10-second stretch of it.
# TOLVAN_BUILD_DIR selects the build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="${TOLVAN_BUILD_DIR:-$root/build}/bin/tolvan-bench"

# measure FILE ROUNDS START SECONDS: one JSON line.
measure() {
  cat "$1" > /dev/null  # every run starts from a warm cache
  python3 - "$bench" "$1" "$2" "$3" "$4" <<'PY'
import json, os, statistics, subprocess, sys, time
bench, path, rounds, start, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5])
height = 140  # points: the video area of an editor pane 180 points high
ours = [bench, "preview", path, "--start", str(start), "--duration", str(seconds), "--height", str(height)]

def run(command):
    # The processor time and peak memory of this one child.
    begin = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    out = child.stdout.read()
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{command[0]} failed with status {child.returncode}")
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024, time.perf_counter() - begin, out

first = json.loads(run(ours)[3])  # also learns the picture size the preview asks for
width, tall = first["pictureSize"].split("x")
peer = ["ffmpeg", "-v", "quiet", "-nostdin", "-ss", str(start), "-t", str(seconds), "-i", path,
        "-vf", f"scale={width}:{tall}:flags=area", "-pix_fmt", "bgra", "-ar", "44100", "-ac", "2", "-f", "null", "-"]
tolvan, ffmpeg = [], []
for _ in range(rounds):
    cpu, peak, wall, out = run(ours)
    tolvan.append((cpu, peak))
    cpu, peak, wall, _ = run(peer)
    ffmpeg.append((cpu, peak, wall))
median = lambda values: statistics.median(values)
print(json.dumps({"file": os.path.basename(path), "start": start, "seconds": seconds, "rounds": rounds,
                  "pictureSize": first["pictureSize"],
                  "picturesShownPerPass": json.loads(run(ours + ["--passes", "3"])[3])["picturesShownPerPass"],
                  "cpuRatio": round(median([t[0] for t in tolvan]) / median([f[0] for f in ffmpeg]), 3),
                  "tolvanCpuSeconds": round(median([t[0] for t in tolvan]), 3),
                  "ffmpegCpuSeconds": round(median([f[0] for f in ffmpeg]), 3),
                  "ffmpegWallSeconds": round(median([f[2] for f in ffmpeg]), 3),
                  "tolvanPeakMB": round(median([t[1] for t in tolvan]) / 2**20, 1),
                  "ffmpegPeakMB": round(median([f[1] for f in ffmpeg]) / 2**20, 1)}))
PY
}

if [ "${1:-}" = "--make" ]; then
  dir="$2" rounds="${3:-3}"
  clip="$dir/pattern-1080p.mp4"
  mkdir -p "$dir"
  [ -f "$clip" ] || ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=40 \
    -f lavfi -i sine=f=330:r=44100:d=40 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$clip"
  measure "$clip" "$rounds" 15 10
else
  measure "$1" "${2:-3}" "${3:-0}" "${4:-10}"
fi

#!/usr/bin/env bash
# Times making a ringtone through tolvan-bench (description, exporter, AAC at
# 256 kbit/s in an ipod MPEG-4 file) against the ffmpeg command line doing
# the same work (-ss before -i, 40 s, fades, volume, gap), alternating,
# several rounds each, and prints the ratio of the median wall-clock times
# (below 1.0: we are faster) with our peak memory. Our tone passes through
# 16-bit samples (the gain stage works on them), which costs the AAC encoder
# more than ffmpeg's float path does; the second ratio is against ffmpeg made
# to take the same 16-bit step. On a busy machine the wall-clock ratio swings
# with the load; the ratio of processor time (user and system, all threads)
# beside it is steadier.
#
# usage: bench/run-export.sh FILE [ROUNDS] [START]
#        bench/run-export.sh --long DIR [ROUNDS] [SECONDS]
# The second form writes a long song (default two hours) into DIR in WAVE,
# FLAC, MP3 and AAC (once; bench/make-long-audio.sh) and times a tone at its
# start, its middle and its end in every format.
# TOLVAN_BUILD_DIR selects the build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="${TOLVAN_BUILD_DIR:-$root/build}/bin/tolvan-bench"

# time_tone FILE ROUNDS START: one JSON line of ratios.
time_tone() {
  local out
  out="$(mktemp -d)"
  cat "$1" > /dev/null  # every run starts from a warm cache
  python3 - "$bench" "$1" "$2" "$3" "$out" <<'PY'
import json, os, resource, statistics, subprocess, sys, time
bench, path, rounds, start, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
duration, fade_in, fade_out, gap, volume = 40.0, 1.0, 2.0, 2.0, 1.2
ours = [bench, "export", path, os.path.join(out, "ours.m4r"), "--start", str(start), "--duration", str(duration),
        "--fade-in", str(fade_in), "--fade-out", str(fade_out), "--gap", str(gap), "--volume", str(volume), "--kind", "0"]
filters = f"volume={volume},afade=t=in:d={fade_in},afade=t=out:st={duration - fade_out}:d={fade_out},apad=pad_dur={gap}"
peer = ["ffmpeg", "-v", "quiet", "-ss", str(start), "-t", str(duration), "-i", path, "-af", filters, "-ac", "2", "-ar", "44100",
        "-c:a", "aac", "-b:a", "256k", "-f", "ipod", "-y", os.path.join(out, "peer.m4r")]
peer16 = [arg + ",aformat=sample_fmts=s16" if arg == filters else arg for arg in peer[:-1]] + [os.path.join(out, "peer16.m4r")]

def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime

def timed(command):
    begin, cpu = time.perf_counter(), cpu_of_children()
    result = subprocess.run(command, check=True, stdout=subprocess.PIPE, text=True).stdout
    return time.perf_counter() - begin, cpu_of_children() - cpu, result

tolvan, ffmpeg, ffmpeg16, tolvanCpu, ffmpegCpu, line = [], [], [], [], [], ""
for _ in range(rounds):
    seconds, cpu, line = timed(ours)
    tolvan.append(seconds)
    tolvanCpu.append(cpu)
    seconds, cpu, _ = timed(peer)
    ffmpeg.append(seconds)
    ffmpegCpu.append(cpu)
    ffmpeg16.append(timed(peer16)[0])
print(json.dumps({"file": os.path.basename(path), "start": start, "rounds": rounds,
                  "ratio": round(statistics.median(tolvan) / statistics.median(ffmpeg), 3),
                  "ratioSixteenBitPeer": round(statistics.median(tolvan) / statistics.median(ffmpeg16), 3),
                  "cpuRatio": round(statistics.median(tolvanCpu) / statistics.median(ffmpegCpu), 3),
                  "tolvanSeconds": round(statistics.median(tolvan), 4), "ffmpegSeconds": round(statistics.median(ffmpeg), 4),
                  "peakMB": round(json.loads(line)["peakBytes"] / 2**20, 1)}))
PY
  rm -rf "$out"
}

if [ "${1:-}" = "--long" ]; then
  dir="$2" rounds="${3:-3}" seconds="${4:-7200}"
  "$root/bench/make-long-audio.sh" "$dir" "$seconds"
  for extension in wav flac mp3 m4a; do
    for start in 0 $((seconds / 2)) $((seconds - 41)); do
      time_tone "$dir/long.$extension" "$rounds" "$start"
    done
  done
else
  time_tone "$1" "${2:-7}" "${3:-30}"
fi

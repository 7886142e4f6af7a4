#!/usr/bin/env bash
# Prints the speed and memory rows of the engine's roads in one run, each
# figure of ours beside the ffmpeg command line doing the same work in the
# same rounds, alternating: a 4-minute MP3's whole waveform read, a 39 s tone
# from a 5-minute MP3 and one from the end of a 2-hour AAC (the ratio of
# wall-clock times: below 1.0 we are faster), the peak memory of reading a
# 2-hour MP3's and AAC's waveform, then bench/run-launch.sh's rows (the first
# window, a 4-minute song given at launch fully drawn). With OTHER_BUILD (a
# build folder of another version, an older one, say) that build is timed
# in the same rounds too, and its exported tones are checked to hold the
# samples ours hold. Ratios are medians of the ratios of each round, so a
# machine whose speed drifts moves both sides of a ratio alike.
#
# usage: bench/run-rows.sh DIR [ROUNDS] [OTHER_BUILD]
# DIR keeps the generated songs (written once; two hours take minutes).
# TOLVAN_BUILD_DIR selects our build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TOLVAN_BUILD_DIR:-$root/build}"
dir="$1" rounds="${2:-5}" other="${3:-}"
for song in "four-minutes 240" "five-minutes 300" "two-hours 7200"; do
  # shellcheck disable=SC2086 # a name and a length
  set -- $song
  "$root/bench/make-long-audio.sh" "$dir/$1" "$2"
done

python3 - "$build/bin/tolvan-bench" "${other:+$other/bin/tolvan-bench}" "$dir" "$rounds" <<'PY'
import json, os, statistics, subprocess, sys, tempfile, time
bench, other, dir, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
out = tempfile.mkdtemp()
programs = {"tolvan": bench, **({"other": other} if other else {})}

def run(command):
    """Wall-clock seconds and peak resident MB of one run."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    process.returncode = status
    if status != 0:
        raise RuntimeError(f"{' '.join(command)} ended with status {status}")
    return seconds, usage.ru_maxrss / 1024

def waveform(name, song):
    return [programs[name], "waveform", song]

def peer_waveform(song):
    return ["ffmpeg", "-v", "quiet", "-i", song, "-ac", "1", "-ar", "8000", "-f", "s8", "-y", "/dev/null"]

# The tone of bench/run-export.sh: 40 s, fades of 1 and 2 s, a 2 s gap, volume 1.2.
def export(name, song, start):
    return [programs[name], "export", song, os.path.join(out, name + ".m4r"), "--start", str(start), "--duration", "40",
            "--fade-in", "1", "--fade-out", "2", "--gap", "2", "--volume", "1.2", "--kind", "0"]

def peer_export(song, start):
    filters = "volume=1.2,afade=t=in:d=1,afade=t=out:st=38:d=2,apad=pad_dur=2"
    return ["ffmpeg", "-v", "quiet", "-ss", str(start), "-t", "40", "-i", song, "-af", filters, "-ac", "2", "-ar", "44100",
            "-c:a", "aac", "-b:a", "256k", "-f", "ipod", "-y", os.path.join(out, "peer.m4r")]

def decoded(path):
    return subprocess.run(["ffmpeg", "-v", "quiet", "-i", path, "-f", "md5", "-"], check=True, capture_output=True, text=True).stdout

four, five, long = (os.path.join(dir, name) for name in ("four-minutes", "five-minutes", "two-hours"))
# (title, figure, rounds, song, our command for a program's name, the peer's, whether it writes a tone)
rows = [
    ("4-minute MP3, whole waveform read", "Seconds", rounds, f"{four}/long.mp3", waveform, peer_waveform, False),
    ("39 s tone from a 5-minute MP3", "Seconds", rounds, f"{five}/long.mp3",
     lambda name, song: export(name, song, 30), lambda song: peer_export(song, 30), True),
    ("40 s tone from the end of a 2-hour AAC", "Seconds", rounds, f"{long}/long.m4a",
     lambda name, song: export(name, song, 7159), lambda song: peer_export(song, 7159), True),
    ("peak memory reading a 2-hour MP3", "MiB", min(rounds, 3), f"{long}/long.mp3", waveform, peer_waveform, False),
    ("peak memory reading a 2-hour AAC", "MiB", min(rounds, 3), f"{long}/long.m4a", waveform, peer_waveform, False),
]
for title, unit, count, song, ours, peer, tone in rows:
    with open(song, "rb") as f:  # every run starts from a warm cache
        while f.read(1 << 24):
            pass
    figures = {name: [] for name in [*programs, "ffmpeg"]}
    for _ in range(count):
        for name in programs:
            seconds, peak = run(ours(name, song))
            figures[name].append(seconds if unit == "Seconds" else peak)
        seconds, peak = run(peer(song))
        figures["ffmpeg"].append(seconds if unit == "Seconds" else peak)
    result = {"row": title, "rounds": count}
    for name, values in figures.items():
        result[name + unit] = round(statistics.median(values), 4 if unit == "Seconds" else 1)
        if name != "ffmpeg":
            result[name + "Ratio"] = round(statistics.median(a / b for a, b in zip(values, figures["ffmpeg"])), 3)
    if tone and other:
        result["otherHasOurSamples"] = decoded(os.path.join(out, "tolvan.m4r")) == decoded(os.path.join(out, "other.m4r"))
    print(json.dumps(result), flush=True)
PY

"$root/bench/run-launch.sh" "$dir/launch" "$rounds" "${other:+$other/bin/tolvan}"

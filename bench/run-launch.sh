#!/usr/bin/env bash
# Times what a user waits for when starting tolvan, in a real X window
# (Xvfb with openbox): the first window with no file, a 4-minute MP3 given at
# launch with its waveform fully drawn, and a 2-hour MP3 given at launch with
# its first picture: the visible waveform drawn from its samples at the
# view's full height (not its whole read). The times come from the marks
# the program prints with TOLVAN_LAUNCH_TRACE set, measured from the moment
# this script starts it. The peer is the ffmpeg command line decoding the same
# MP3 (to 8 kHz mono bytes, as a waveform read does) in the same run.
# Each program runs in a lived-in home of its own: a Music folder of SONGS
# short songs (default 5,000) whose index and settings an untimed first
# launch writes. Prints one JSON line per row with medians over the rounds.
#
# usage: bench/run-launch.sh DIR [ROUNDS] [OTHER_TOLVAN] [SONGS]
# DIR keeps the generated songs (written once). With OTHER_TOLVAN, another
# build of the program is timed in the same rounds, alternating with ours.
# TOLVAN_BUILD_DIR selects the build; DISPLAY, when set, is used as it is.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tolvan="${TOLVAN_BUILD_DIR:-$root/build}/bin/tolvan"
dir="$1" rounds="${2:-5}" other="${3:-}" songs="${4:-5000}"
mkdir -p "$dir"

# make_song NAME SECONDS: an MP3 with a title, a slow sweep under a little noise.
make_song() {
  local out="$dir/$1.mp3"
  [ -s "$out" ] && return
  ffmpeg -v error -f lavfi -i "sine=f=220:r=44100:d=$2" -f lavfi -i "anoisesrc=r=44100:a=0.05:d=$2" \
    -filter_complex "[0]volume=0.5,vibrato=f=0.2:d=0.9[s];[s][1]amix=inputs=2:normalize=0,pan=stereo|c0=c0|c1=0.8*c0" \
    -c:a libmp3lame -b:a 192k -metadata title="$1" -metadata artist="Bench" -f mp3 -y "$out.part"
  mv "$out.part" "$out"
}
make_song four-minutes 240
make_song two-hours 7200

# The library: SONGS copies of a quarter-second tone, 10 to an album, 50 to an artist.
library="$dir/library-$songs"
if [ ! -d "$library/Music" ]; then
  mkdir -p "$library.part"
  ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.25" -ac 1 -c:a libmp3lame -b:a 8k -y "$library.part/tone.mp3"
  python3 - "$library.part" "$songs" <<'PY'
import os, shutil, sys
root, songs = sys.argv[1], int(sys.argv[2])
for n in range(songs):
    folder = os.path.join(root, "Music", "Artist %d" % (n // 50), "Album %d" % (n // 10))
    os.makedirs(folder, exist_ok=True)
    shutil.copyfile(os.path.join(root, "tone.mp3"), os.path.join(folder, "Song %d é.mp3" % n))
PY
  mv "$library.part" "$library"
fi

started=()
cleanup() { for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  display=":$((90 + RANDOM % 400))"
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 & started+=($!)
  export DISPLAY="$display"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >/dev/null 2>&1 & started+=($!)
  sleep 1
fi

python3 - "$dir" "$rounds" "$tolvan" "$other" "$library/Music" <<'PY'
import json, os, select, signal, statistics, subprocess, sys, tempfile, time
dir, rounds, ours, other, music = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
programs = {"tolvan": ours}
if other:
    programs["other"] = other
homes = {}
for name in programs:
    homes[name] = tempfile.TemporaryDirectory()
    os.symlink(music, os.path.join(homes[name].name, "Music"))
rows = [("first window, no file", None, "firstFrame"),
        ("4-minute MP3 at launch, waveform fully drawn", "four-minutes.mp3", "waveformComplete"),
        ("2-hour MP3 at launch, waveform drawn at full height", "two-hours.mp3", "waveformVisible")]

def launch(name, song, wanted):
    """Seconds from starting the program to the wanted mark, and every mark seen."""
    home = homes[name].name
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local/share"), XDG_CACHE_HOME=os.path.join(home, ".cache"),
               XDG_RUNTIME_DIR=home, TOLVAN_LAUNCH_TRACE="1", TOLVAN_AUDIO_OUTPUT="null",
               # the kit's requests fail at once instead of waiting on the network
               SettingsEndpoint="https://127.0.0.1:9", ConfigureEndpoint="https://127.0.0.1:9",
               BriscaReportsEndpoint="https://127.0.0.1:9")
    env.pop("QT_QPA_PLATFORM", None)
    command = [programs[name]] + ([os.path.join(dir, song)] if song else [])
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    marks, buffered = {}, b""
    try:
        while wanted not in marks:
            if time.monotonic() - start > 60:
                raise RuntimeError(f"{name}: no {wanted} mark within 60 s")
            ready, _, _ = select.select([process.stderr], [], [], 1.0)
            if not ready:
                continue
            chunk = os.read(process.stderr.fileno(), 65536)
            if not chunk:
                raise RuntimeError(f"{name} ended before its {wanted} mark")
            buffered += chunk
            *lines, buffered = buffered.split(b"\n")
            for line in lines:
                fields = line.decode(errors="replace").split()
                if len(fields) == 4 and fields[0] == "tolvan-launch":
                    marks.setdefault(fields[1], float(fields[2]) - start)
    finally:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    return marks[wanted], marks

# The first launch in a home writes its settings and the library's index.
for name in programs:
    launch(name, None, "libraryLoaded")

def peer(song):
    start = time.perf_counter()
    subprocess.run(["ffmpeg", "-v", "quiet", "-i", os.path.join(dir, song), "-ac", "1", "-ar", "8000", "-f", "s8", "-y", "/dev/null"], check=True)
    return time.perf_counter() - start

for title, song, wanted in rows:
    if song:
        with open(os.path.join(dir, song), "rb") as f:  # every run starts from a warm cache
            while f.read(1 << 20):
                pass
    times = {name: [] for name in programs}
    marks = {name: {} for name in programs}
    ffmpeg = []
    for _ in range(rounds):
        for name in programs:
            seconds, seen = launch(name, song, wanted)
            times[name].append(seconds)
            for mark, at in seen.items():
                marks[name].setdefault(mark, []).append(at)
        if song:
            ffmpeg.append(peer(song))
    result = {"row": title, "rounds": rounds}
    for name in programs:
        result[name + "Seconds"] = round(statistics.median(times[name]), 3)
        result[name + "Marks"] = {mark: round(statistics.median(at), 3) for mark, at in
                                  sorted(marks[name].items(), key=lambda item: statistics.median(item[1]))}
    if ffmpeg:
        result["ffmpegSeconds"] = round(statistics.median(ffmpeg), 3)
    print(json.dumps(result), flush=True)
PY

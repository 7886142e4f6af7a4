#!/usr/bin/env bash
# Writes a long generated song (a slow sweep under a little noise, stereo,
# 44,100 Hz) as long.wav, long.flac, long.mp3 and long.m4a into DIR, once:
# files already there are kept, as writing two hours takes minutes.
# usage: bench/make-long-audio.sh DIR [SECONDS]   (default 7200)
set -euo pipefail
dir="$1"
seconds="${2:-7200}"
mkdir -p "$dir"
wav="$dir/long.wav"
if [ ! -s "$wav" ]; then
  ffmpeg -v error -f lavfi -i "sine=f=220:r=44100:d=$seconds" -f lavfi -i "anoisesrc=r=44100:a=0.05:d=$seconds" \
    -filter_complex "[0]volume=0.5,vibrato=f=0.2:d=0.9[s];[s][1]amix=inputs=2:normalize=0,pan=stereo|c0=c0|c1=0.8*c0" \
    -c:a pcm_s16le -f wav -y "$wav.part" && mv "$wav.part" "$wav"
fi
for encoding in "flac:-c:a flac" "mp3:-c:a libmp3lame -b:a 192k" "m4a:-c:a aac -b:a 192k"; do
  extension="${encoding%%:*}"
  out="$dir/long.$extension"
  [ -s "$out" ] && continue
  # shellcheck disable=SC2086
  ffmpeg -v error -i "$wav" ${encoding#*:} -f "$([ "$extension" = m4a ] && echo ipod || echo "$extension")" -y "$out.part"
  mv "$out.part" "$out"
done

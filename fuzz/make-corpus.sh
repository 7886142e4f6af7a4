#!/usr/bin/env bash
# Writes the seed corpus of every fuzz target into fuzz/corpus/: small valid
# files made with the ffmpeg command line and Python's plistlib. Audio seeds
# are a quarter second at 8 kHz, so each target's seeds stay a few KB.
#
# The audio targets take their input's first byte as the index of the file
# name extension (see kAudioExtensions in FuzzSupport.h and kSongExtensions
# in music_folder.cpp); the seeds here start with that byte.
set -euo pipefail
fuzz="$(cd "$(dirname "$0")" && pwd)"
corpus="$fuzz/corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
tone=(-f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.25")
cover=(-f lavfi -i "color=c=red:size=8x8:duration=1" -frames:v 1)
tags=(-metadata title="Seed" -metadata artist="Artist" -metadata album="Album" -metadata comment="Comment")

ff "${tone[@]}" -ac 1 -c:a pcm_s16le "$work/tone.wav"
ff "${tone[@]}" -ac 2 -c:a pcm_u8 "$work/stereo8.wav"
ff "${tone[@]}" -ac 1 -c:a pcm_s16be "$work/tone.aif"
ff "${tone[@]}" -ac 1 -c:a flac "${tags[@]}" "$work/tone.flac"
ff "${tone[@]}" -ac 1 -c:a libvorbis "${tags[@]}" "$work/tone.ogg"
ff "${tone[@]}" -ac 1 -c:a pcm_s16le -f caf "$work/tone.caf"
ff "${tone[@]}" -ac 1 -c:a aac -b:a 16k -f adts "$work/tone.aac"
ff "${cover[@]}" "$work/cover.png"
ff "${cover[@]}" "$work/cover.jpg"
ff "${tone[@]}" -i "$work/cover.png" -map 0 -map 1 -ac 1 -c:a libmp3lame -b:a 8k -c:v copy \
   -id3v2_version 3 -disposition:v attached_pic "${tags[@]}" "$work/tone.mp3"
ff "${tone[@]}" -ac 1 -c:a libmp3lame -b:a 8k "$work/plain.mp3"
ff "${tone[@]}" -i "$work/cover.jpg" -map 0 -map 1 -ac 1 -c:a aac -b:a 16k -c:v copy \
   -disposition:v attached_pic "${tags[@]}" "$work/tone.m4a"
ff "${tone[@]}" -ac 1 -c:a aac -b:a 16k -movflags +faststart "$work/faststart.m4a"
ff "${tone[@]}" -ac 1 -c:a aac -b:a 16k -movflags use_metadata_tags \
   -metadata com.apple.quicktime.creationdate="2020-01-02T03:04:05+0000" "$work/mdta.m4a"

# seed TARGET INDEX FILE: FILE prefixed with the extension index byte.
seed() {
  mkdir -p "$corpus/$1"
  { printf "\\x$(printf '%02x' "$2")"; cat "$3"; } >"$corpus/$1/$(basename "$3")"
}

rm -rf "$corpus"
# kAudioExtensions: .mp3 .m4a .m4r .m4v .mp4 .3gp .wav .aif .flac .ogg .caf .aac
for target in audio_file waveform cover_art; do
  seed "$target" 0 "$work/tone.mp3"
  seed "$target" 1 "$work/tone.m4a"
  seed "$target" 6 "$work/tone.wav"
  seed "$target" 8 "$work/tone.flac"
done
for f in stereo8.wav:6 tone.aif:7 tone.ogg:9 tone.caf:10 tone.aac:11 faststart.m4a:1; do
  seed audio_file "${f#*:}" "$work/${f%:*}"
done
seed cover_art 0 "$work/plain.mp3"

mkdir -p "$corpus/quicktime_metadata"
cp "$work/tone.m4a" "$work/faststart.m4a" "$work/mdta.m4a" "$corpus/quicktime_metadata/"

# kSongExtensions: .mp3 .m4a .m4b .mp4 .aac .flac ...; the input is also the
# playlists, so text seeds name the song and a track of each kind.
seed music_folder 0 "$work/tone.mp3"
seed music_folder 1 "$work/tone.m4a"
printf '#EXTM3U\n#EXTINF:1,Seed\nsong.mp3\n\n../song.mp3\nhttp://example.invalid/a.mp3\n' >"$work/list.m3u"
seed music_folder 0 "$work/list.m3u"
cat >"$work/recently-used.xbel" <<'XBEL'
<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0" xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks">
  <bookmark href="file:///music/song.mp3" added="2024-01-02T03:04:05Z" modified="2024-01-02T03:04:05.123456Z" visited="2024-01-03T00:00:00Z">
    <info><metadata owner="http://freedesktop.org"><bookmark:applications>
      <bookmark:application name="Player" exec="&apos;player %u&apos;" modified="2024-01-02T03:04:05Z" count="2"/>
    </bookmark:applications></metadata></info>
  </bookmark>
  <bookmark href="file://localhost/music/a%20b%26c.m4a" modified="2023-12-31T23:59:59Z"/>
</xbel>
XBEL
seed music_folder 0 "$work/recently-used.xbel"

python3 - "$corpus" <<'PY'
import plistlib, sys, pathlib
corpus = pathlib.Path(sys.argv[1])

xml = corpus / "library_xml"
xml.mkdir(parents=True, exist_ok=True)
track = lambda n, name: {"Track ID": n, "Name": name, "Artist": "Artist", "Album": "Album",
                         "Sort Name": name.lower(), "Genre": "Pop", "Track Type": "File",
                         "Track Number": n, "Play Date UTC": __import__("datetime").datetime(2020, 1, 2),
                         "Location": f"file:///music/{name}.mp3"}
library = {
    "Major Version": 1, "Minor Version": 1, "Music Folder": "file:///music/",
    "Tracks": {"1": track(1, "One"), "2": track(2, "Two"), "3": dict(track(3, "Web"), Location="http://host/x.mp3", Protected=True)},
    "Playlists": [
        {"Name": "Library", "Master": True, "Visible": False, "Playlist Items": [{"Track ID": 1}, {"Track ID": 2}]},
        {"Name": "Music", "Music": True, "Distinguished Kind": 4, "Playlist ID": 10,
         "Playlist Persistent ID": "AB", "Playlist Items": [{"Track ID": 2}, {"Track ID": 1}, {"Track ID": 3}]},
        {"Name": "Mine", "Parent Persistent ID": "AB", "Playlist Items": [{"Track ID": 3}]},
    ],
}
(xml / "library.xml").write_bytes(plistlib.dumps(library, fmt=plistlib.FMT_XML))
(xml / "empty.xml").write_bytes(plistlib.dumps({"Tracks": {}, "Playlists": []}, fmt=plistlib.FMT_XML))

footer = corpus / "included_footer"
footer.mkdir(parents=True, exist_ok=True)
value = {"title": "More tones", "Location": "https://example.invalid/more", "count": 3, "ratio": 0.5,
         "enabled": True, "data": b"\x00\x01", "items": ["a", {"b": 1}],
         "date": __import__("datetime").datetime(2021, 3, 4)}
(footer / "footer-xml.plist").write_bytes(plistlib.dumps(value, fmt=plistlib.FMT_XML))
(footer / "footer-binary.plist").write_bytes(plistlib.dumps(value, fmt=plistlib.FMT_BINARY))

settings = corpus / "settings_json"
settings.mkdir(parents=True, exist_ok=True)
(settings / "settings.json").write_text(__import__("json").dumps({
    "settings_version": 3, "cache_duration": 86400,
    "app": {"status": "activated", "update_required": False, "report_upload_variant": 2},
    "features": {"collect_reports": True, "collect_analytics": True, "prompt_enabled": False, "collect_logged_exceptions": True},
    "session": {"log_buffer_size": 64000, "max_custom_key_value_pairs": 64, "max_custom_exception_events": 8},
    "prompt": {"title": "Send Crash Report?", "show_cancel_button": True, "cancel_button_title": "Don\u2019t Send"},
    "analytics": {"url": "https://example.invalid/events", "flush_interval_secs": 600, "max_pending_send_file_count": 100},
    "beta": {"update_suspend_duration": 3600}}, ensure_ascii=False))

store = corpus / "user_defaults"
store.mkdir(parents=True, exist_ok=True)
(store / "BRSUserDefaults.plist").write_bytes(plistlib.dumps({
    "com.brisca.iuuid": "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0",
    "com.brisca.insights.lastsessionidentifier": "c7d4fb2edbb2410b9d1ce5e6e7ddd366",
    "com.brisca.insights.lastsessiontimestamp": 1796899298389,
    "values": {"nested": [1, 2.5, "thr\u00e9e", False], "bytes": b"\x00\x01\xff", "negative": -7,
               "when": __import__("datetime").datetime(2021, 3, 4)}}, fmt=plistlib.FMT_XML))
PY
du -sh "$corpus"/*

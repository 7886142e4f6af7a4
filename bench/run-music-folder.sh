#!/usr/bin/env bash
# Times a warm scan of a Music folder of SONGS songs (default 2,000) with a
# list of recently used files of BOOKMARKS bookmarks (default 20,000, one in
# ten a song of the folder, the rest other files, about 13 MB as a desktop
# writes them) against the same scan without the list, and prints the JSON
# line of tolvan-bench music-folder.
# usage: bench/run-music-folder.sh [SONGS] [BOOKMARKS]   (TOLVAN_BUILD_DIR selects the build)
set -euo pipefail
# shellcheck source=bench/scratch.sh
source "$(dirname "$0")/scratch.sh"
songs="${1:-2000}"
bookmarks="${2:-20000}"

mkdir -p "$work/Music"
ffmpeg -hide_banner -loglevel error -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.25" \
       -ac 1 -c:a libmp3lame -b:a 8k "$work/tone.mp3"
python3 - "$work" "$songs" "$bookmarks" <<'PY'
import os, shutil, sys, urllib.parse
work, songs, bookmarks = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
paths = []
for n in range(songs):
    path = os.path.join(work, "Music", "Artist %d" % (n // 20), "Song %d é & co.mp3" % n)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    shutil.copyfile(os.path.join(work, "tone.mp3"), path)
    paths.append(path)
others = [os.path.join(work, "Documents", "file %d.odt" % n) for n in range(max(0, bookmarks - songs))]
with open(os.path.join(work, "recently-used.xbel"), "w") as out:
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n<xbel version="1.0"\n'
              '      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"\n'
              '      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"\n>\n')
    for n, path in enumerate(others + paths):
        stamp = "2024-%02d-%02dT%02d:%02d:00.123456Z" % (n % 12 + 1, n % 28 + 1, n % 24, n % 60)
        href = "file://" + urllib.parse.quote(path, safe="/!$&'()*+,;=:@")
        out.write('  <bookmark href="%s" added="%s" modified="%s" visited="%s">\n'
                  '    <info>\n      <metadata owner="http://freedesktop.org">\n'
                  '        <mime:mime-type type="audio/mpeg"/>\n        <bookmark:applications>\n'
                  '          <bookmark:application name="Player" exec="&apos;player %%u&apos;" modified="%s" count="%d"/>\n'
                  '        </bookmark:applications>\n      </metadata>\n    </info>\n  </bookmark>\n'
                  % (href.replace("&", "&amp;"), stamp, stamp, stamp, stamp, n % 9 + 1))
    out.write("</xbel>\n")
PY
"$bench" music-folder "$work/Music" "$work/recently-used.xbel"

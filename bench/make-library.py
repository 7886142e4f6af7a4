#!/usr/bin/env python3
"""Writes a synthetic music library XML file of N tracks to standard output.

The tracks carry the keys a real library file has (sizes, times, dates, play
counts, persistent IDs, file locations), spread over artists and albums, with
a master playlist, the music playlist, a few distinguished playlists and user
playlists, so that parsing it costs what a real library of that size costs.

usage: make-library.py [--titles ascii|world] [--albums shared|per-track] N > library.xml

--titles world gives titles, artists and albums in accented Latin, Greek,
Cyrillic, Chinese, Japanese and Korean words besides the plain ones;
--albums per-track gives nearly every track an album of its own.
"""
import argparse
import random
import sys
from xml.sax.saxutils import escape

WORDS = ("night summer river light blue heart road fire rain city dream gold shadow wind "
         "silver echo morning ocean stone glass winter wild home electric velvet paper").split()
# Words beyond ASCII: precomposed accents, scripts without case, and CJK
# ideographs, which collate by other tables and fold differently for search.
WORLD_WORDS = ("été café über señora niño ça garçon øresund ångström æther crème brûlée "
               "ελπίδα θάλασσα ночь река звезда 夜 河 光 夢 風 東京 桜 の 歌 사랑 바다 하늘 노래").split()
GENRES = ["Rock", "Pop", "Jazz", "Classical", "Electronic", "Hip-Hop", "Folk", "Soundtrack", "Blues", "Ambient"]


VOCABULARY = WORDS


def words(rng, low, high):
    return " ".join(rng.choice(VOCABULARY).capitalize() for _ in range(rng.randint(low, high)))


def date(rng, start_year=2008):
    return "%04d-%02d-%02dT%02d:%02d:%02dZ" % (rng.randint(start_year, 2024), rng.randint(1, 12), rng.randint(1, 28),
                                             rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59))


def entry(out, key, kind, value=None):
    if kind in ("true", "false"):
        out.append("\t\t\t<key>%s</key><%s/>" % (key, kind))
    else:
        out.append("\t\t\t<key>%s</key><%s>%s</%s>" % (key, kind, escape(str(value)), kind))


def track(out, rng, track_id, artist, album, number, genre, year):
    name = words(rng, 1, 4)
    out.append("\t\t<key>%d</key>\n\t\t<dict>" % track_id)
    entry(out, "Track ID", "integer", track_id)
    entry(out, "Size", "integer", rng.randint(2_000_000, 15_000_000))
    entry(out, "Total Time", "integer", rng.randint(90_000, 420_000))
    entry(out, "Disc Number", "integer", 1)
    entry(out, "Disc Count", "integer", 1)
    entry(out, "Track Number", "integer", number)
    entry(out, "Track Count", "integer", 12)
    entry(out, "Year", "integer", year)
    entry(out, "Date Modified", "date", date(rng))
    entry(out, "Date Added", "date", date(rng))
    entry(out, "Bit Rate", "integer", rng.choice([128, 192, 256, 320]))
    entry(out, "Sample Rate", "integer", 44100)
    if rng.random() < 0.6:
        entry(out, "Play Count", "integer", rng.randint(1, 200))
        entry(out, "Play Date", "integer", rng.randint(3_300_000_000, 3_700_000_000))
        entry(out, "Play Date UTC", "date", date(rng, 2015))
    if rng.random() < 0.2:
        entry(out, "Skip Count", "integer", rng.randint(1, 20))
        entry(out, "Skip Date", "date", date(rng, 2015))
    entry(out, "Artwork Count", "integer", 1)
    entry(out, "Persistent ID", "string", "%016X" % rng.getrandbits(64))
    entry(out, "Track Type", "string", "File")
    entry(out, "Kind", "string", "MPEG audio file")
    entry(out, "Name", "string", name)
    entry(out, "Artist", "string", artist)
    entry(out, "Album Artist", "string", artist)
    entry(out, "Album", "string", album)
    entry(out, "Genre", "string", genre)
    if artist.startswith("The "):
        entry(out, "Sort Artist", "string", artist[4:])
    location = "file://localhost/srv/music/Library%%20Media/%s/%s/%02d%%20%s.mp3" % (
        artist.replace(" ", "%20"), album.replace(" ", "%20"), number, name.replace(" ", "%20"))
    entry(out, "Location", "string", location)
    entry(out, "File Folder Count", "integer", 5)
    entry(out, "Library Folder Count", "integer", 1)
    out.append("\t\t</dict>")


def playlist(out, name, ids, extra=()):
    playlist.count = getattr(playlist, "count", 0) + 1
    out.append("\t\t<dict>")
    out.append("\t\t\t<key>Name</key><string>%s</string>" % escape(name))
    for key, kind, value in extra:
        entry(out, key, kind, value)
    out.append("\t\t\t<key>Playlist ID</key><integer>%d</integer>" % (90000 + playlist.count))
    out.append("\t\t\t<key>Playlist Items</key>\n\t\t\t<array>")
    for track_id in ids:
        out.append("\t\t\t\t<dict><key>Track ID</key><integer>%d</integer></dict>" % track_id)
    out.append("\t\t\t</array>\n\t\t</dict>")


def main():
    global VOCABULARY
    parser = argparse.ArgumentParser(description="Writes a synthetic music library XML file.")
    parser.add_argument("count", nargs="?", type=int, default=50_000)
    parser.add_argument("--titles", choices=("ascii", "world"), default="ascii")
    parser.add_argument("--albums", choices=("shared", "per-track"), default="shared")
    options = parser.parse_args()
    count = options.count
    if options.titles == "world":
        VOCABULARY = WORDS + WORLD_WORDS
    per_track = options.albums == "per-track"
    rng = random.Random(20240501)
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<plist version="1.0">', "<dict>",
           "\t<key>Major Version</key><integer>1</integer>",
           "\t<key>Minor Version</key><integer>1</integer>",
           "\t<key>Date</key><date>2024-05-01T12:00:00Z</date>",
           "\t<key>Application Version</key><string>1.0</string>",
           "\t<key>Music Folder</key><string>file://localhost/srv/music/Library%20Media/</string>",
           "\t<key>Tracks</key>", "\t<dict>"]
    ids = []
    track_id = 1000
    while len(ids) < count:
        artist = ("The " if rng.random() < 0.2 else "") + words(rng, 1, 2)
        for _ in range(rng.randint(1, 4)):
            album, genre, year = words(rng, 1, 3), rng.choice(GENRES), rng.randint(1960, 2024)
            for number in range(1, rng.randint(6, 14)):
                if len(ids) == count:
                    break
                if per_track and rng.random() < 0.96:
                    album = "%s %d" % (words(rng, 1, 3), track_id)
                track(out, rng, track_id, artist, album, number, genre, year)
                ids.append(track_id)
                track_id += 2
    out.append("\t</dict>")
    out.append("\t<key>Playlists</key>\n\t<array>")
    playlist(out, "Library", ids, [("Master", "true", None), ("Visible", "false", None), ("All Items", "true", None)])
    playlist(out, "Music", ids, [("Distinguished Kind", "integer", 4), ("Music", "true", None), ("All Items", "true", None)])
    playlist(out, "Movies", [], [("Distinguished Kind", "integer", 2), ("Movies", "true", None)])
    playlist(out, "Podcasts", [], [("Distinguished Kind", "integer", 10), ("Podcasts", "true", None)])
    for n in range(20):
        playlist(out, words(rng, 1, 3), rng.sample(ids, min(len(ids), rng.randint(10, 300))))
    out.append("\t</array>\n</dict>\n</plist>")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()

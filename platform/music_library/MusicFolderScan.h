#pragma once
// The pieces of a Music folder scan: finding audio and playlist files, reading
// tags, resolving playlist entries, and the index cache that lets a later run
// start from the last scan and skip files that have not changed.

#include "platform/music_library/MusicFolderLibrary.h"
#include "platform/music_library/RecentlyUsedFiles.h"

#include <QHash>
#include <QStringList>

namespace tolvan::music {

struct PlaylistFile {
    QString name;   // the file name without its extension
    QString path;
    QStringList entryPaths;  // cleaned absolute paths, in file order
};

struct FolderIndex {
    QString folder;
    std::vector<MusicTrackPtr> tracks;
    std::vector<PlaylistFile> playlists;
};

bool isAudioFile(const QString& path);
bool isPlaylistFile(const QString& path);

// Answers as soon as one audio file is found; hidden files and folders, and
// anything but regular files (a link to a device, a FIFO), are skipped.
bool containsAudio(const QString& folder);

// Every audio and playlist file below folder (regular files only), tracks read again only when their
// size or modification time differs from the previous index. Stops early
// (answering what it has) once shouldStop answers true; it is asked after
// each file, on the scanning thread.
FolderIndex scanFolder(const QString& folder, const FolderIndex& previous, const std::function<bool()>& shouldStop);

// The tags of one file; the title falls back to the file name without extension.
MusicTrackPtr readTrack(const QString& path, qint64 fileSize, qint64 modified);

// Entry lines of an .m3u or .m3u8 file as cleaned absolute paths; comments,
// blank lines and remote URLs are left out, relative entries (also relative
// file URLs, "file:name.mp3") are taken from the playlist's folder. A path
// that is not a regular file has no entries.
QStringList readPlaylistEntries(const QString& playlistPath);

// The snapshot the library publishes: tracks by path, each with its date in
// played when it has one, the music playlist of all tracks, then one playlist
// per playlist file (entries without a track left out).
std::shared_ptr<const MusicLibraryContents> makeContents(const FolderIndex& index, const PlayDates& played = {});

// The index cache; a missing, malformed or other-folder file reads as empty.
FolderIndex readIndex(const QString& indexFile, const QString& folder);
bool writeIndex(const QString& indexFile, const FolderIndex& index);

}  // namespace tolvan::music

#include "platform/music_library/MusicFolderScan.h"

#include "platform/media/AudiovisualTypes.h"
#include "platform/media/TagLibAdapter.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace tolvan::music {

namespace {

bool isHiddenBelow(const QString& folder, const QString& path)
{
    const QString relative = path.mid(folder.size());
    return relative.contains(QLatin1String("/."));
}

// Iterates the visible regular files below folder until visit answers false.
// Links to devices and FIFOs are passed over: reading them would never end.
void forEachVisibleFile(const QString& folder, const std::function<bool(const QFileInfo&)>& visit)
{
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (isHiddenBelow(folder, info.filePath()) || !isRegularFile(info.filePath()))
            continue;
        if (!visit(info))
            return;
    }
}

QString entryPath(QString line, const QDir& base)
{
    line.replace('\\', '/');
    if (line.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        QUrl url(line);
        if (url.host().compare("localhost", Qt::CaseInsensitive) == 0)
            url.setHost({});
        // "file:name.mp3" names a file beside the playlist.
        return QDir::cleanPath(base.absoluteFilePath(url.toLocalFile()));
    }
    if (line.contains(QLatin1String("://")))
        return {};  // a stream or web address
    return QDir::cleanPath(base.absoluteFilePath(line));
}

QJsonObject trackToJson(const MusicTrack& t)
{
    QJsonObject o{{"path", t.path}, {"size", t.fileSize}, {"modified", t.modified}, {"trackNumber", int(t.trackNumber)}};
    auto put = [&o](const char* key, const QString& value) {
        if (!value.isNull())
            o.insert(key, value);
    };
    put("title", t.title);
    put("artist", t.artist);
    put("album", t.album);
    put("genre", t.genre);
    put("sortTitle", t.sortTitle);
    put("sortArtist", t.sortArtist);
    put("sortAlbum", t.sortAlbum);
    return o;
}

MusicTrackPtr trackFromJson(const QJsonObject& o)
{
    auto track = std::make_shared<MusicTrack>();
    track->path = o.value("path").toString();
    track->location = QUrl::fromLocalFile(track->path);
    auto get = [&o](const char* key) { return o.contains(key) ? o.value(key).toString() : QString(); };
    track->title = get("title");
    track->artist = get("artist");
    track->album = get("album");
    track->genre = get("genre");
    track->sortTitle = get("sortTitle");
    track->sortArtist = get("sortArtist");
    track->sortAlbum = get("sortAlbum");
    track->trackNumber = unsigned(std::max(0, o.value("trackNumber").toInt()));
    track->fileSize = o.value("size").toInteger();
    track->modified = o.value("modified").toInteger();
    return track;
}

}  // namespace

bool isAudioFile(const QString& path)
{
    static const QStringList extensions = audioExtensions();
    return extensions.contains(QFileInfo(path).suffix().toLower());
}

bool isPlaylistFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == "m3u" || suffix == "m3u8";
}

bool containsAudio(const QString& folder)
{
    bool found = false;
    forEachVisibleFile(folder, [&](const QFileInfo& info) {
        found = isAudioFile(info.fileName());
        return !found;
    });
    return found;
}

MusicTrackPtr readTrack(const QString& path, qint64 fileSize, qint64 modified)
{
    auto track = std::make_shared<MusicTrack>();
    track->path = path;
    track->location = QUrl::fromLocalFile(path);
    track->fileSize = fileSize;
    track->modified = modified;
    if (const std::optional<SongTags> tags = readSongTags(path)) {
        track->title = tags->title;
        track->artist = tags->artist;
        track->album = tags->album;
        track->genre = tags->genre;
        track->trackNumber = tags->trackNumber;
        track->sortTitle = tags->sortTitle;
        track->sortArtist = tags->sortArtist;
        track->sortAlbum = tags->sortAlbum;
    }
    if (track->title.isEmpty())
        track->title = QFileInfo(path).completeBaseName();
    return track;
}

QStringList readPlaylistEntries(const QString& playlistPath)
{
    QFile file(playlistPath);
    if (!isRegularFile(playlistPath) || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QDir base = QFileInfo(playlistPath).absoluteDir();
    QStringList entries;
    for (QString line : QString::fromUtf8(file.readAll()).split('\n')) {
        line = line.trimmed();
        if (line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QString path = entryPath(line, base);
        if (!path.isEmpty())
            entries.append(path);
    }
    return entries;
}

FolderIndex scanFolder(const QString& folder, const FolderIndex& previous, const std::function<bool()>& shouldStop)
{
    QHash<QString, MusicTrackPtr> known;
    for (const MusicTrackPtr& track : previous.tracks)
        known.insert(track->path, track);

    FolderIndex index{folder, {}, {}};
    forEachVisibleFile(folder, [&](const QFileInfo& info) {
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (isPlaylistFile(path)) {
            index.playlists.push_back({info.completeBaseName(), path, readPlaylistEntries(path)});
        } else if (isAudioFile(path)) {
            const qint64 modified = info.lastModified().toMSecsSinceEpoch();
            MusicTrackPtr cached = known.value(path);
            bool unchanged = cached && cached->fileSize == info.size() && cached->modified == modified;
            index.tracks.push_back(unchanged ? cached : readTrack(path, info.size(), modified));
        }
        return !shouldStop();
    });
    std::sort(index.tracks.begin(), index.tracks.end(), [](const auto& a, const auto& b) { return a->path < b->path; });
    return index;
}

std::shared_ptr<const MusicLibraryContents> makeContents(const FolderIndex& index, const PlayDates& played)
{
    auto contents = std::make_shared<MusicLibraryContents>();
    contents->tracks = index.tracks;
    // The index's tracks are shared with the index cache, which keeps no
    // dates: a played track becomes a copy that has one.
    if (!played.isEmpty()) {
        for (MusicTrackPtr& track : contents->tracks) {
            const auto date = played.constFind(track->path);
            if (date == played.cend())
                continue;
            auto dated = std::make_shared<MusicTrack>(*track);
            dated->lastPlayedDate = *date;
            track = std::move(dated);
        }
    }

    auto music = std::make_shared<MusicPlaylist>();
    music->name = QStringLiteral("Music");
    music->allItems = true;
    music->distinguishedKind = MusicFolderLibrary::kMusicDistinguishedKind;
    music->items = contents->tracks;
    contents->playlists.push_back(music);

    QHash<QString, MusicTrackPtr> byPath;
    for (const MusicTrackPtr& track : contents->tracks)
        byPath.insert(track->path, track);

    std::vector<MusicPlaylistPtr> files;
    for (const PlaylistFile& playlistFile : index.playlists) {
        auto playlist = std::make_shared<MusicPlaylist>();
        playlist->name = playlistFile.name;
        for (const QString& path : playlistFile.entryPaths) {
            if (MusicTrackPtr track = byPath.value(path))
                playlist->items.push_back(track);
        }
        files.push_back(playlist);
    }
    // The C locale has no collation of its own (it orders by code point); collate like English there.
    const QLocale locale;
    const QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    std::stable_sort(files.begin(), files.end(), [&](const auto& a, const auto& b) { return collator.compare(a->name, b->name) < 0; });
    contents->playlists.insert(contents->playlists.end(), files.begin(), files.end());
    return contents;
}

FolderIndex readIndex(const QString& indexFile, const QString& folder)
{
    QFile file(indexFile);
    if (!file.open(QIODevice::ReadOnly))
        return {folder, {}, {}};
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value("folder").toString() != folder)
        return {folder, {}, {}};
    FolderIndex index{folder, {}, {}};
    for (const QJsonValue& value : root.value("tracks").toArray()) {
        if (value.isObject() && !value.toObject().value("path").toString().isEmpty())
            index.tracks.push_back(trackFromJson(value.toObject()));
    }
    for (const QJsonValue& value : root.value("playlists").toArray()) {
        const QJsonObject o = value.toObject();
        PlaylistFile playlist{o.value("name").toString(), o.value("path").toString(), {}};
        for (const QJsonValue& entry : o.value("items").toArray())
            playlist.entryPaths.append(entry.toString());
        index.playlists.push_back(playlist);
    }
    return index;
}

bool writeIndex(const QString& indexFile, const FolderIndex& index)
{
    QJsonArray tracks;
    for (const MusicTrackPtr& track : index.tracks)
        tracks.append(trackToJson(*track));
    QJsonArray playlists;
    for (const PlaylistFile& playlist : index.playlists)
        playlists.append(QJsonObject{{"name", playlist.name}, {"path", playlist.path},
                                     {"items", QJsonArray::fromStringList(playlist.entryPaths)}});
    const QJsonObject root{{"folder", index.folder}, {"tracks", tracks}, {"playlists", playlists}};

    QDir().mkpath(QFileInfo(indexFile).absolutePath());
    QSaveFile file(indexFile);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
    return file.commit();
}

}  // namespace tolvan::music

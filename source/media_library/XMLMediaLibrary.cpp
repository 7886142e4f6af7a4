#include "source/media_library/XMLMediaLibrary.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/StringAdditions.h"
#include "source/media_library/MediaLibraryArtwork.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <thread>

namespace {

const QString kPathDoesNotExist = QStringLiteral("loadMusicLibraryOnWorkerThread: libraryPath does not exist");
const QString kCouldNotLoad = QStringLiteral("loadMusicLibraryOnWorkerThread: could not load library");
const QString kLoadException = QStringLiteral("loadMusicLibraryOnWorkerThread: exception");
const QString kPlaylistNameIsNil = QStringLiteral("createPlaylistItem() name is nil");

QVariant nullable(const QString& s) { return s.isNull() ? QVariant::fromValue(nullptr) : QVariant(s); }

// Library locations are URL strings; "file://localhost/..." names a local file too.
QUrl libraryURL(const QString& text)
{
    if (text.isNull())
        return {};
    QUrl url(text);
    if (url.scheme() == QLatin1String("file") && url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        url.setHost(QString());
    return url;
}

bool isLocalFile(const QUrl& url) { return url.scheme() == QLatin1String("file") && url.host().isEmpty() && !url.path().isEmpty(); }

XMLPlaylistPtr firstPlaylistWith(const XMLLibraryFile& file, const QString& key)
{
    if (!file.playlists)
        return {};
    for (const XMLPlaylistPtr& playlist : *file.playlists) {
        if (playlist->boolValue(key) == true)
            return playlist;
    }
    return {};
}

std::vector<XMLTrackPtr> fileTracksOf(const XMLLibraryFile& file, const XMLPlaylist& playlist)
{
    std::vector<XMLTrackPtr> tracks;
    tracks.reserve(playlist.itemTrackIDs.size());
    for (qint64 id : playlist.itemTrackIDs) {
        XMLTrackPtr track = file.trackForID(id);
        if (track && track->isFile())
            tracks.push_back(std::move(track));
    }
    return tracks;
}

QVariantList asVariants(const std::vector<XMLTrackPtr>& tracks)
{
    QVariantList list;
    list.reserve(qsizetype(tracks.size()));
    for (const XMLTrackPtr& track : tracks)
        list.append(QVariant::fromValue(track));
    return list;
}

// An image of the application's resources, absent when there is none of that name.
void addIcon(QVariantMap& node, const QString& imageName)
{
    const QString path = tolvan::Bundle::main().pathForResource(imageName, "png", "images");
    if (path.isEmpty())
        return;
    const QImage image(path);
    if (!image.isNull())
        node.insert("icon", image);
}

std::optional<QVariantMap> playlistNode(const XMLLibraryFile& file, const XMLPlaylistPtr& playlist)
{
    if (!playlist || playlist->name().isNull()) {
        ZNTAnalytics::logEvent(kPlaylistNameIsNil,
                               {{"playlist", playlist ? QVariant(playlist->properties) : QVariant::fromValue(nullptr)}});
        return std::nullopt;
    }
    QVariantMap node{{"Name", playlist->name()}, {"Playlist Items", asVariants(fileTracksOf(file, *playlist))}};
    addIcon(node, playlist->name());
    return node;
}

QVariantMap groupNode(const QString& name) { return {{"Name", name}, {"group", true}}; }

// The source list: the library's distinguished playlists, then the opened files.
QVariantList makeSourceList(const XMLLibraryFile& file)
{
    QVariantList nodes;
    nodes.reserve(100);
    nodes.append(groupNode("iTunes"));
    if (file.playlists) {
        for (const char* key : {"Music", "Movies", "TV Shows", "Podcasts", "Audiobooks"}) {
            if (auto node = playlistNode(file, firstPlaylistWith(file, key)))
                nodes.append(*node);
        }
    }
    nodes.append(groupNode("Finder"));
    QVariantMap opened{{"Name", "Opened Files"}, {"Playlist Items", QVariantList()}, {"Opened Files", true}};
    addIcon(opened, "folder");
    nodes.append(opened);
    return nodes;
}

// Reads the file at path into a snapshot; every failure is logged and leaves
// the rest of the snapshot absent.
XMLLibrarySnapshotPtr loadMusicLibrary(const QString& path, const QString& self)
{
    auto result = std::make_shared<XMLLibrarySnapshot>();
    const QVariantMap parameters{{"libraryPath", nullable(path)}, {"self", self}};
    auto logException = [&](const QString& what) { ZNTAnalytics::logEvent(kLoadException, {{"exception", what}, {"self", self}}); };

    if (path.isEmpty() || !QFileInfo::exists(path))
        ZNTAnalytics::logEvent(kPathDoesNotExist, parameters);
    std::optional<XMLLibraryFile> file = path.isEmpty() ? std::nullopt : readXMLLibraryFile(path);
    if (!file) {
        ZNTAnalytics::logEvent(kCouldNotLoad, parameters);
        logException(QStringLiteral("no music library dictionary to store"));
        return result;
    }
    auto library = std::make_shared<const XMLLibraryFile>(std::move(*file));
    result->musicLibrary = library;
    if (!library->tracks) {
        logException(QStringLiteral("the music library has no \"Tracks\" dictionary to store"));
        return result;
    }
    const XMLPlaylistPtr music = firstPlaylistWith(*library, "Music");
    result->libraryTracks = music ? fileTracksOf(*library, *music) : std::vector<XMLTrackPtr>{};
    result->playlists = makeSourceList(*library);
    return result;
}

}  // namespace

// MARK: - XMLMediaLibrary

XMLMediaLibrary::XMLMediaLibrary(tolvan::UserDefaults& defaults, QObject* parent)
    : ZNTMediaLibrary(parent), defaults_(defaults), snapshot_(std::make_shared<XMLLibrarySnapshot>())
{
    startLoadingMusicLibrary();
}

XMLMediaLibrary::XMLMediaLibrary() : XMLMediaLibrary(tolvan::UserDefaults::standard()) {}

void XMLMediaLibrary::startLoadingMusicLibrary()
{
    if (loadStarted_)
        return;  // the file is read once
    loadStarted_ = true;
    setLoading(true);
    const QString path = iTunesMusicLibraryXMLPath();
    const QString self = description();
    QPointer<XMLMediaLibrary> library(this);
    std::thread([library, path, self] {
        tolvan::setCurrentThreadName("com.kestrova.loadMusicLibrary");
        XMLLibrarySnapshotPtr result = loadMusicLibrary(path, self);
        tolvan::dispatchMainAndWait([&] {
            if (library)
                library->finishLoadingMusicLibrary(std::move(result));
        });
    }).detach();
}

void XMLMediaLibrary::finishLoadingMusicLibrary(XMLLibrarySnapshotPtr result)
{
    {
        std::lock_guard lock(snapshotMutex_);
        snapshot_ = std::move(result);
    }
    tolvan::NotificationCenter::defaultCenter().post(kMusicLibraryDidLoadNotification, this);
    setLoading(false);
}

XMLLibrarySnapshotPtr XMLMediaLibrary::snapshot() const
{
    std::lock_guard lock(snapshotMutex_);
    return snapshot_;
}

QString XMLMediaLibrary::iTunesMusicLibraryXMLPath() const
{
    std::lock_guard lock(pathMutex_);
    if (!libraryPath_) {
        QString path = kDefaultLibraryPath;
        defaults_.synchronize();
        // A list of paths; a list of one may read back from the settings file as a plain string.
        const QVariant recent = defaults_.object("iTunesRecentDatabasePaths");
        const QVariantList paths = defaults_.arrayValue("iTunesRecentDatabasePaths");
        const QVariant first = paths.isEmpty() ? recent : paths.first();
        if (first.typeId() == QMetaType::QString && !first.toString().isEmpty())
            path = first.toString();
        libraryPath_ = stringByResolvingAliases(path);
    }
    return *libraryPath_;
}

quint64 XMLMediaLibrary::librarySize() const
{
    const auto loaded = snapshot();
    return loaded->allTracks() ? quint64(loaded->allTracks()->size()) : 0;
}

QString XMLMediaLibrary::iTunesMediaPath() const
{
    const auto loaded = snapshot();
    if (!loaded->musicLibrary)
        return {};
    const QVariant folder = loaded->musicLibrary->root.value("Music Folder");
    const QUrl url = libraryURL(folder.typeId() == QMetaType::QString ? folder.toString() : QString());
    if (isLocalFile(url))
        return QDir::cleanPath(url.toLocalFile());
    return stringByResolvingAliases(QFileInfo(iTunesMusicLibraryXMLPath()).path() + "/iTunes Music");
}

QVariantList XMLMediaLibrary::allPlaylists() const
{
    const auto loaded = snapshot();
    QVariantList list;
    if (loaded->musicLibrary && loaded->musicLibrary->playlists) {
        for (const XMLPlaylistPtr& playlist : *loaded->musicLibrary->playlists)
            list.append(QVariant::fromValue(playlist));
    }
    return list;
}

std::vector<ZNTMediaLibraryPlaylistPtr> XMLMediaLibrary::userPlaylists() const
{
    const auto loaded = snapshot();
    std::vector<ZNTMediaLibraryPlaylistPtr> result;
    if (!loaded->musicLibrary || !loaded->musicLibrary->playlists)
        return result;
    for (const XMLPlaylistPtr& playlist : *loaded->musicLibrary->playlists) {
        const bool distinguished = playlist->integerValue("Distinguished Kind").has_value();
        const bool folder = playlist->boolValue("Folder").value_or(false);
        const bool visible = playlist->boolValue("Visible").value_or(true);
        if (!distinguished && !folder && visible)
            result.push_back(XMLMediaLibraryPlaylist::playlistWithLibrary(loaded, playlist));
    }
    return result;
}

ZNTMediaLibraryPlaylistPtr XMLMediaLibrary::masterPlaylist(const QString& key) const
{
    const auto loaded = snapshot();
    return XMLMediaLibraryPlaylist::playlistWithLibrary(loaded, playlistWithKey(key, true).value<XMLPlaylistPtr>());
}

ZNTMediaLibraryPlaylistPtr XMLMediaLibrary::masterMusicPlaylist() const { return masterPlaylist("Music"); }
ZNTMediaLibraryPlaylistPtr XMLMediaLibrary::masterMoviesPlaylist() const { return masterPlaylist("Movies"); }
ZNTMediaLibraryPlaylistPtr XMLMediaLibrary::masterTVShowsPlaylist() const { return masterPlaylist("TV Shows"); }

QVariant XMLMediaLibrary::playlistWithKey(const QString& key, const QVariant& value) const
{
    const auto loaded = snapshot();
    if (!loaded->allTracks() || !loaded->musicLibrary->playlists)
        return {};
    for (const XMLPlaylistPtr& playlist : *loaded->musicLibrary->playlists) {
        const QVariant candidate = playlist->properties.value(key);
        if (candidate.typeId() == value.typeId() && candidate == value)
            return QVariant::fromValue(playlist);
    }
    return {};
}

std::optional<QVariantList> XMLMediaLibrary::lookupPlaylistItems(const QVariantList& playlistItems) const
{
    const auto loaded = snapshot();
    if (!loaded->allTracks())
        return std::nullopt;
    QVariantList tracks;
    for (const QVariant& item : playlistItems) {
        const QVariant id = item.toMap().value("Track ID");
        if (id.typeId() != QMetaType::LongLong && id.typeId() != QMetaType::Int)
            continue;
        if (XMLTrackPtr track = loaded->musicLibrary->trackForID(id.toLongLong()))
            tracks.append(QVariant::fromValue(track));
    }
    return tracks;
}

XMLTrackPtr XMLMediaLibrary::trackInfoForTrackID(qint64 trackID) const
{
    const auto loaded = snapshot();
    return loaded->musicLibrary ? loaded->musicLibrary->trackForID(trackID) : XMLTrackPtr();
}

std::vector<ZNTMediaLibraryMediaItemPtr> XMLMediaLibrary::recentlyPlayedItems(unsigned count) const
{
    const auto loaded = snapshot();
    if (!loaded->allTracks() || count == 0)
        return {};
    const auto played = tolvan::newestFirst(loaded->allTracks()->all, count, [](const XMLTrackPtr& track) {
        return track->isFile() ? track->playDateUTC : std::nullopt;
    });
    std::vector<ZNTMediaLibraryMediaItemPtr> items;
    for (const XMLTrackPtr& track : played)
        items.push_back(XMLMediaLibraryMediaItem::mediaItemWithLibrary(loaded, track));
    return items;
}

QString XMLMediaLibrary::description() const
{
    return QStringLiteral("XMLMediaLibrary\n\tmusicFolderLocation: %1").arg(iTunesMusicLibraryXMLPath());
}

// MARK: - Records

ZNTMediaLibraryArtistPtr XMLMediaLibraryArtist::artistWithXMLInfo(const XMLTrackPtr& info)
{
    return info && !info->artist.isNull() ? std::make_shared<XMLMediaLibraryArtist>(info) : nullptr;
}

QString XMLMediaLibraryArtist::sortName() const
{
    if (!sortName_)
        sortName_ = ZNTMediaLibrary::sortStringOr(info_->sortArtist, info_->artist);
    return *sortName_;
}

ZNTMediaLibraryAlbumPtr XMLMediaLibraryAlbum::albumWithXMLInfo(const XMLTrackPtr& info)
{
    return info && !info->album.isNull() ? std::make_shared<XMLMediaLibraryAlbum>(info) : nullptr;
}

QString XMLMediaLibraryAlbum::sortTitle() const
{
    if (!sortTitle_)
        sortTitle_ = ZNTMediaLibrary::sortStringOr(info_->sortAlbum, info_->album);
    return *sortTitle_;
}

ZNTMediaLibraryMediaItemPtr XMLMediaLibraryMediaItem::mediaItemWithLibrary(XMLLibrarySnapshotPtr library, XMLTrackPtr info)
{
    if (!library || !info)
        return nullptr;
    return std::make_shared<XMLMediaLibraryMediaItem>(std::move(library), std::move(info));
}

XMLMediaLibraryMediaItem::XMLMediaLibraryMediaItem(XMLLibrarySnapshotPtr library, XMLTrackPtr info)
    : library_(std::move(library)), info_(std::move(info))
{
}

QString XMLMediaLibraryMediaItem::sortTitle() const
{
    if (!sortTitle_)
        sortTitle_ = ZNTMediaLibrary::sortStringOr(info_->sortName, info_->name);
    return *sortTitle_;
}

ZNTMediaLibraryArtistPtr XMLMediaLibraryMediaItem::artist() const
{
    if (!artist_)
        artist_ = XMLMediaLibraryArtist::artistWithXMLInfo(info_);
    return *artist_;
}

ZNTMediaLibraryAlbumPtr XMLMediaLibraryMediaItem::album() const
{
    if (!album_)
        album_ = XMLMediaLibraryAlbum::albumWithXMLInfo(info_);
    return *album_;
}

QUrl XMLMediaLibraryMediaItem::location() const { return libraryURL(info_->location); }

unsigned XMLMediaLibraryMediaItem::locationType() const
{
    const QUrl url = location();
    if (isLocalFile(url))
        return ZNTMediaLibraryLocationTypeFile;
    if (url.scheme() == QLatin1String("http"))
        return ZNTMediaLibraryLocationTypeRemote;
    return ZNTMediaLibraryLocationTypeUnknown;
}

unsigned XMLMediaLibraryMediaItem::trackNumber() const
{
    const qint64 number = info_->trackNumber.value_or(0);
    return number > 0 && number <= qint64(UINT_MAX) ? unsigned(number) : 0;
}

QImage XMLMediaLibraryMediaItem::artworkWithSuggestedSize(QSize) const
{
    return locationType() == ZNTMediaLibraryLocationTypeFile ? coverArtImageForFile(location().toLocalFile()) : QImage();
}

ZNTMediaLibraryMediaItemPtr XMLMediaLibraryMediaItem::copy() const
{
    auto item = std::make_shared<XMLMediaLibraryMediaItem>(library_, info_);
    item->artist_ = artist_;
    item->album_ = album_;
    item->sortTitle_ = sortTitle_;
    return item;
}

const QHash<qint64, unsigned>& XMLMediaLibraryPlaylist::distinguishedMap()
{
    static const QHash<qint64, unsigned> map{{2, 1}, {3, 2}, {4, 3}, {5, 4}, {10, 7}, {17, 14}, {31, 26}};
    return map;
}

ZNTMediaLibraryPlaylistPtr XMLMediaLibraryPlaylist::playlistWithLibrary(XMLLibrarySnapshotPtr library, XMLPlaylistPtr dictionary)
{
    return std::make_shared<XMLMediaLibraryPlaylist>(std::move(library), std::move(dictionary));
}

XMLMediaLibraryPlaylist::XMLMediaLibraryPlaylist(XMLLibrarySnapshotPtr library, XMLPlaylistPtr dictionary)
    : library_(std::move(library)), playlist_(std::move(dictionary))
{
    const std::optional<qint64> kind = playlist_ ? playlist_->integerValue("Distinguished Kind") : std::nullopt;
    if (kind)
        distinguishedKind_ = distinguishedMap().value(*kind, ZNTDistinguishedKindUnmapped);
}

QString XMLMediaLibraryPlaylist::sortName() const
{
    if (!sortName_) {
        const QString sort = playlist_ ? playlist_->stringValue("Sort Name") : QString();
        sortName_ = ZNTMediaLibrary::sortStringOr(sort, name());
    }
    return *sortName_;
}

std::vector<ZNTMediaLibraryMediaItemPtr> XMLMediaLibraryPlaylist::items() const
{
    if (!items_) {
        items_.emplace();
        if (playlist_ && library_ && library_->musicLibrary) {
            for (qint64 id : playlist_->itemTrackIDs) {
                if (XMLTrackPtr track = library_->musicLibrary->trackForID(id))
                    items_->push_back(XMLMediaLibraryMediaItem::mediaItemWithLibrary(library_, track));
            }
        }
    }
    return *items_;
}

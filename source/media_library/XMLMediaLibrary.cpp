#include "source/media_library/XMLMediaLibrary.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/CoverArt.h"
#include "source/engine/StringAdditions.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace {

const QString kPathDoesNotExist = QStringLiteral("loadMusicLibraryOnWorkerThread: libraryPath does not exist");
const QString kCouldNotLoad = QStringLiteral("loadMusicLibraryOnWorkerThread: could not load library");
const QString kLoadException = QStringLiteral("loadMusicLibraryOnWorkerThread: exception");
const QString kPlaylistNameIsNil = QStringLiteral("createPlaylistItem() name is nil");
const QString kGroupNameIsNil = QStringLiteral("createGroupWithName() playlist name is nil");

// An analytics parameter: a missing text is logged as a null value.
QVariant parameterOrNull(const QString& s) { return s.isNull() ? QVariant::fromValue(nullptr) : QVariant(s); }

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

// "file:///..." or "file://localhost/...": a local file whatever the path holds
// (the path is not empty, it starts with the slash).
bool startsWithLocalFileAuthority(const QString& location)
{
    const QLatin1String prefix("file://");
    if (!location.startsWith(prefix))
        return false;
    const QStringView authority = QStringView(location).mid(prefix.size());
    return authority.startsWith(u'/') || authority.startsWith(QLatin1String("localhost/"), Qt::CaseInsensitive);
}

// The scheme as the location string writes it: QUrl folds a scheme to lower
// case, and a location's type depends on its exact spelling.
QStringView schemeAsWritten(const QString& location)
{
    const qsizetype colon = location.indexOf(':');
    return colon > 0 ? QStringView(location).left(colon) : QStringView();
}

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


// The source list: the library's distinguished playlists, then the opened files.
QVariantList makeSourceList(const XMLLibraryFile& file)
{
    QVariantList nodes;
    nodes.reserve(100);
    nodes.append(*xmlSourceListGroupNode("iTunes"));
    if (file.playlists) {
        for (const char* key : {"Music", "Movies", "TV Shows", "Podcasts", "Audiobooks"}) {
            if (auto node = playlistNode(file, firstPlaylistWith(file, key)))
                nodes.append(*node);
        }
    }
    nodes.append(*xmlSourceListGroupNode("Finder"));
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
    const QVariantMap parameters{{"libraryPath", parameterOrNull(path)}, {"self", self}};
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

std::optional<QVariantMap> xmlSourceListGroupNode(const QString& name)
{
    if (name.isNull()) {
        ZNTAnalytics::logEvent(kGroupNameIsNil);
        return std::nullopt;
    }
    return QVariantMap{{"Name", name}, {"group", true}};
}

// MARK: - XMLMediaLibrary

namespace {

// The loader gives its result to the main thread and waits until the main
// thread has stored it, unless the library is destroyed first: the main
// thread, waiting for the loader then, could never store anything.
class MainThreadHandOver : public std::enable_shared_from_this<MainThreadHandOver> {
public:
    void runOnMainAndWait(std::function<void()> task)
    {
        tolvan::dispatchMain([self = shared_from_this(), task = std::move(task)] {
            task();
            self->finish();
        });
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return finished_ || abandoned_; });
    }

    void abandon()
    {
        {
            std::lock_guard lock(mutex_);
            abandoned_ = true;
        }
        changed_.notify_all();
    }

private:
    void finish()
    {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool finished_ = false;
    bool abandoned_ = false;
};

}  // namespace

struct XMLPlaylistItemsCache {
    std::mutex mutex;
    std::unordered_map<const XMLPlaylist*, std::vector<ZNTMediaLibraryMediaItemPtr>> items;
};

struct XMLMediaLibrary::State {
    std::mutex pathMutex;
    std::optional<QString> libraryPath;
    std::mutex snapshotMutex;
    XMLLibrarySnapshotPtr snapshot = std::make_shared<XMLLibrarySnapshot>();
    // Replaced with the snapshot: the lists of a library read its master
    // playlists again and again, and each read would wrap every track anew.
    std::shared_ptr<XMLPlaylistItemsCache> itemsCache = std::make_shared<XMLPlaylistItemsCache>();
    bool loadStarted = false;
    std::shared_ptr<MainThreadHandOver> handOver = std::make_shared<MainThreadHandOver>();
    // Last, so that it is destroyed (and its load waited for) before the rest.
    tolvan::SerialQueue loadQueue{"com.kestrova.loadMusicLibrary"};
};

XMLMediaLibrary::XMLMediaLibrary(tolvan::UserDefaults& defaults, QObject* parent)
    : ZNTMediaLibrary(parent), defaults_(defaults), state_(std::make_unique<State>())
{
    startLoadingMusicLibrary();
}

XMLMediaLibrary::XMLMediaLibrary() : XMLMediaLibrary(tolvan::UserDefaults::standard()) {}

XMLMediaLibrary::~XMLMediaLibrary() { state_->handOver->abandon(); }

void XMLMediaLibrary::startLoadingMusicLibrary()
{
    if (state_->loadStarted)
        return;  // the file is read once
    state_->loadStarted = true;
    setLoading(true);
    const QString path = iTunesMusicLibraryXMLPath();
    const QString self = description();
    QPointer<XMLMediaLibrary> library(this);
    state_->loadQueue.async([library, handOver = state_->handOver, path, self] {
        XMLLibrarySnapshotPtr result = loadMusicLibrary(path, self);
        handOver->runOnMainAndWait([library, result] {
            if (library)
                library->finishLoadingMusicLibrary(result);
        });
    });
}

void XMLMediaLibrary::finishLoadingMusicLibrary(XMLLibrarySnapshotPtr result)
{
    {
        std::lock_guard lock(state_->snapshotMutex);
        state_->snapshot = std::move(result);
        state_->itemsCache = std::make_shared<XMLPlaylistItemsCache>();
    }
    tolvan::NotificationCenter::defaultCenter().post(kMusicLibraryDidLoadNotification, this);
    setLoading(false);
}

XMLLibrarySnapshotPtr XMLMediaLibrary::snapshot() const
{
    std::lock_guard lock(state_->snapshotMutex);
    return state_->snapshot;
}

QString XMLMediaLibrary::iTunesMusicLibraryXMLPath() const
{
    std::lock_guard lock(state_->pathMutex);
    std::optional<QString>& libraryPath = state_->libraryPath;
    if (!libraryPath) {
        QString path = kDefaultLibraryPath;
        defaults_.synchronize();
        // A list of paths; a list of one may read back from the settings file as a plain string.
        const QVariant recent = defaults_.object(tolvan::settings::recentLibraryPaths.key);
        const QVariantList paths = defaults_.value(tolvan::settings::recentLibraryPaths);
        const QVariant first = paths.isEmpty() ? recent : paths.first();
        if (first.typeId() == QMetaType::QString && !first.toString().isEmpty())
            path = first.toString();
        libraryPath = stringByResolvingAliases(path);
    }
    return *libraryPath;
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

namespace {

QVariant playlistWithKeyIn(const XMLLibrarySnapshot& loaded, const QString& key, const QVariant& value)
{
    if (!loaded.allTracks() || !loaded.musicLibrary->playlists)
        return {};
    for (const XMLPlaylistPtr& playlist : *loaded.musicLibrary->playlists) {
        const QVariant candidate = playlist->properties.value(key);
        if (candidate.typeId() == value.typeId() && candidate == value)
            return QVariant::fromValue(playlist);
    }
    return {};
}

}  // namespace

ZNTMediaLibraryPlaylistPtr XMLMediaLibrary::masterPlaylist(const QString& key) const
{
    std::shared_ptr<XMLPlaylistItemsCache> cache;
    XMLLibrarySnapshotPtr loaded;
    {
        std::lock_guard lock(state_->snapshotMutex);
        loaded = state_->snapshot;
        cache = state_->itemsCache;
    }
    XMLPlaylistPtr playlist = playlistWithKeyIn(*loaded, key, true).value<XMLPlaylistPtr>();
    return XMLMediaLibraryPlaylist::playlistWithLibrary(std::move(loaded), std::move(playlist), std::move(cache));
}

ZNTMediaLibraryPlaylistPtr XMLMediaLibrary::masterMusicPlaylist() const { return masterPlaylist("Music"); }
ZNTMediaLibraryPlaylistPtr XMLMediaLibrary::masterMoviesPlaylist() const { return masterPlaylist("Movies"); }
ZNTMediaLibraryPlaylistPtr XMLMediaLibrary::masterTVShowsPlaylist() const { return masterPlaylist("TV Shows"); }

QVariant XMLMediaLibrary::playlistWithKey(const QString& key, const QVariant& value) const { return playlistWithKeyIn(*snapshot(), key, value); }

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

QString XMLMediaLibraryArtist::sortName() const { return ZNTMediaLibrary::sortStringOr(info_->sortArtist, info_->artist); }

ZNTMediaLibraryAlbumPtr XMLMediaLibraryAlbum::albumWithXMLInfo(const XMLTrackPtr& info)
{
    return info && !info->album.isNull() ? std::make_shared<XMLMediaLibraryAlbum>(info) : nullptr;
}

QString XMLMediaLibraryAlbum::sortTitle() const { return ZNTMediaLibrary::sortStringOr(info_->sortAlbum, info_->album); }

ZNTMediaLibraryMediaItemPtr XMLMediaLibraryMediaItem::mediaItemWithLibrary(XMLLibrarySnapshotPtr library, XMLTrackPtr info)
{
    if (!library || !info)
        return nullptr;
    return std::make_shared<XMLMediaLibraryMediaItem>(std::move(library), std::move(info));
}

QString XMLMediaLibraryMediaItem::sortTitle() const { return ZNTMediaLibrary::sortStringOr(info_->sortName, info_->name); }

QUrl XMLMediaLibraryMediaItem::location() const { return libraryURL(info_->location); }

unsigned XMLMediaLibraryMediaItem::locationType() const
{
    const QString& text = info_->location;
    // The shapes nearly every library writes, told apart without parsing a
    // URL: lists test this for every track they show.
    if (startsWithLocalFileAuthority(text))
        return ZNTMediaLibraryLocationTypeFile;
    const QStringView scheme = schemeAsWritten(text);
    if (scheme == QLatin1String("file") && isLocalFile(location()))
        return ZNTMediaLibraryLocationTypeFile;
    if (scheme == QLatin1String("http") && location().isValid())
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
    return locationType() == ZNTMediaLibraryLocationTypeFile ? tagLibCoverArtImageForFileAtPath(location().toLocalFile()) : QImage();
}

ZNTMediaLibraryMediaItemPtr XMLMediaLibraryMediaItem::copy() const
{
    return std::make_shared<XMLMediaLibraryMediaItem>(library_, info_);
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

ZNTMediaLibraryPlaylistPtr XMLMediaLibraryPlaylist::playlistWithLibrary(XMLLibrarySnapshotPtr library, XMLPlaylistPtr dictionary,
                                                                        std::shared_ptr<XMLPlaylistItemsCache> cache)
{
    return std::make_shared<XMLMediaLibraryPlaylist>(std::move(library), std::move(dictionary), std::move(cache));
}

namespace {

unsigned distinguishedKindOf(const XMLPlaylistPtr& playlist)
{
    const std::optional<qint64> kind = playlist ? playlist->integerValue("Distinguished Kind") : std::nullopt;
    return kind ? XMLMediaLibraryPlaylist::distinguishedMap().value(*kind, ZNTDistinguishedKindUnmapped) : ZNTDistinguishedKindNone;
}

}  // namespace

XMLMediaLibraryPlaylist::XMLMediaLibraryPlaylist(XMLLibrarySnapshotPtr library, XMLPlaylistPtr dictionary,
                                                 std::shared_ptr<XMLPlaylistItemsCache> cache)
    : library_(std::move(library)), playlist_(std::move(dictionary)), cache_(std::move(cache)), distinguishedKind_(distinguishedKindOf(playlist_)),
      sortName_(ZNTMediaLibrary::sortStringOr(playlist_ ? playlist_->stringValue("Sort Name") : QString(), name()))
{
}

std::vector<ZNTMediaLibraryMediaItemPtr> XMLMediaLibraryPlaylist::items() const
{
    if (!cache_ || !playlist_)
        return wrappedItems();
    // The first caller wraps them; the others wait for it rather than wrap them too.
    std::lock_guard lock(cache_->mutex);
    auto made = cache_->items.find(playlist_.get());
    if (made == cache_->items.end())
        made = cache_->items.emplace(playlist_.get(), wrappedItems()).first;
    return made->second;
}

std::vector<ZNTMediaLibraryMediaItemPtr> XMLMediaLibraryPlaylist::wrappedItems() const
{
    std::vector<ZNTMediaLibraryMediaItemPtr> items;
    if (!playlist_ || !library_ || !library_->musicLibrary)
        return items;
    items.reserve(playlist_->itemTrackIDs.size());
    for (qint64 id : playlist_->itemTrackIDs) {
        if (XMLTrackPtr track = library_->musicLibrary->trackForID(id))
            items.push_back(XMLMediaLibraryMediaItem::mediaItemWithLibrary(library_, track));
    }
    return items;
}

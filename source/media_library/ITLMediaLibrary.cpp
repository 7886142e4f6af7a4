#include "source/media_library/ITLMediaLibrary.h"

#include "platform/foundation/Dispatch.h"
#include "source/analytics/ZNTAnalytics.h"

#include <QPointer>

std::unique_ptr<ITLMediaLibrary> ITLMediaLibrary::create()
{
    tolvan::Error error;
    std::shared_ptr<tolvan::MusicFolderLibrary> library = tolvan::MusicFolderLibrary::open("1.0", &error);
    if (!library) {
        if (error.domain.isEmpty())
            error = {tolvan::MusicFolderLibrary::kErrorDomain, 0, QStringLiteral("The music library opened as nothing.")};
        ZNTAnalytics::logError("Error opening iTunes library", QVariant(), error);
        return nullptr;
    }
    return std::unique_ptr<ITLMediaLibrary>(new ITLMediaLibrary(std::move(library)));
}

ITLMediaLibrary::ITLMediaLibrary(std::shared_ptr<tolvan::MusicFolderLibrary> library) : library_(std::move(library))
{
    QPointer<ITLMediaLibrary> self(this);
    library_->setScanFinishedHandler([self] {
        tolvan::dispatchMain([self] {
            if (self)
                self->setLoading(false);
        });
    });
    setLoading(library_->isScanning());
}

ITLMediaLibrary::~ITLMediaLibrary() { library_->setScanFinishedHandler({}); }

ZNTMediaLibraryPlaylistPtr ITLMediaLibrary::playlistRecord(tolvan::MusicPlaylistPtr playlist)
{
    return ITLMediaLibraryPlaylist::playlistWithiTunesPlaylist(std::move(playlist));
}

QVariantList ITLMediaLibrary::allPlaylists() const
{
    QVariantList playlists;
    for (const tolvan::MusicPlaylistPtr& playlist : library_->contents()->playlists)
        playlists.append(QVariant::fromValue(playlistRecord(playlist)));
    return playlists;
}

std::vector<ZNTMediaLibraryPlaylistPtr> ITLMediaLibrary::userPlaylists() const
{
    std::vector<ZNTMediaLibraryPlaylistPtr> playlists;
    for (const tolvan::MusicPlaylistPtr& playlist : library_->contents()->playlists) {
        if (playlist->distinguishedKind == 0 && !playlist->master)
            playlists.push_back(playlistRecord(playlist));
    }
    return playlists;
}

tolvan::MusicPlaylistPtr ITLMediaLibrary::playlistMatchingDistinguishedKind(unsigned kind) const
{
    for (const tolvan::MusicPlaylistPtr& playlist : library_->contents()->playlists) {
        if (playlist->distinguishedKind == kind)
            return playlist;
    }
    return nullptr;
}

std::vector<ZNTMediaLibraryMediaItemPtr> ITLMediaLibrary::recentlyPlayedItems(unsigned count) const
{
    const auto played = tolvan::newestFirst(library_->contents()->tracks, count, [](const tolvan::MusicTrackPtr& track) {
        return track->locationType() == tolvan::MusicLocationType::file ? track->lastPlayedDate : std::nullopt;
    });
    std::vector<ZNTMediaLibraryMediaItemPtr> items;
    for (const tolvan::MusicTrackPtr& track : played)
        items.push_back(ITLMediaLibraryMediaItem::mediaItemWithiTunesMediaItem(track));
    return items;
}

QString ITLMediaLibrary::description() const
{
    return QStringLiteral("%1 {\n\tiTunesVersion : %2\n\tapiMajorVersion : %3,\n\tapiMinorVersion : %4\n\tmusicFolderLocation : %5\n}")
        .arg(QString::fromLatin1(metaObject()->className()), library_->applicationVersion())
        .arg(library_->apiMajorVersion())
        .arg(library_->apiMinorVersion())
        .arg(library_->musicFolderLocation().toString());
}

// MARK: - Records

ZNTMediaLibraryArtistPtr ITLMediaLibraryArtist::artistWithiTunesArtist(tolvan::MusicTrackPtr artist)
{
    return artist ? std::make_shared<ITLMediaLibraryArtist>(std::move(artist)) : nullptr;
}

ITLMediaLibraryArtist::ITLMediaLibraryArtist(tolvan::MusicTrackPtr artist)
    : artist_(std::move(artist)), sortName_(ZNTMediaLibrary::sortStringOr(artist_->sortArtist, artist_->artist))
{
}

ZNTMediaLibraryAlbumPtr ITLMediaLibraryAlbum::albumWithiTunesAlbum(tolvan::MusicTrackPtr album)
{
    return album ? std::make_shared<ITLMediaLibraryAlbum>(std::move(album)) : nullptr;
}

ITLMediaLibraryAlbum::ITLMediaLibraryAlbum(tolvan::MusicTrackPtr album)
    : album_(std::move(album)), sortTitle_(ZNTMediaLibrary::sortStringOr(album_->sortAlbum, album_->album))
{
}

ZNTMediaLibraryMediaItemPtr ITLMediaLibraryMediaItem::mediaItemWithiTunesMediaItem(tolvan::MusicTrackPtr mediaItem)
{
    return mediaItem ? std::make_shared<ITLMediaLibraryMediaItem>(std::move(mediaItem)) : nullptr;
}

ITLMediaLibraryMediaItem::ITLMediaLibraryMediaItem(tolvan::MusicTrackPtr mediaItem)
    : mediaItem_(std::move(mediaItem)), sortTitle_(ZNTMediaLibrary::sortStringOr(mediaItem_->sortTitle, mediaItem_->title))
{
}

QImage ITLMediaLibraryMediaItem::artworkWithSuggestedSize(QSize) const
{
    return QImage::fromData(tolvan::MusicFolderLibrary::artworkForMediaFile(mediaItem_->path));
}

ZNTMediaLibraryMediaItemPtr ITLMediaLibraryMediaItem::copy() const
{
    return std::make_shared<ITLMediaLibraryMediaItem>(mediaItem_);
}

QString ITLMediaLibraryMediaItem::description() const
{
    return QStringLiteral("ITLMediaLibraryMediaItem {\r\ttitle : %1\r\tlocation : %2\r}").arg(title(), location().toString());
}

ZNTMediaLibraryPlaylistPtr ITLMediaLibraryPlaylist::playlistWithiTunesPlaylist(tolvan::MusicPlaylistPtr playlist)
{
    return std::make_shared<ITLMediaLibraryPlaylist>(std::move(playlist));
}

namespace {

std::vector<ZNTMediaLibraryMediaItemPtr> itemRecords(const tolvan::MusicPlaylistPtr& playlist)
{
    std::vector<ZNTMediaLibraryMediaItemPtr> items;
    if (!playlist)
        return items;
    items.reserve(playlist->items.size());
    for (const tolvan::MusicTrackPtr& track : playlist->items)
        items.push_back(ITLMediaLibraryMediaItem::mediaItemWithiTunesMediaItem(track));
    return items;
}

}  // namespace

ITLMediaLibraryPlaylist::ITLMediaLibraryPlaylist(tolvan::MusicPlaylistPtr playlist)
    : playlist_(std::move(playlist)), items_(itemRecords(playlist_)),
      sortName_(ZNTMediaLibrary::sortStringFromString(playlist_ ? playlist_->name : QString()))
{
}

QString ITLMediaLibraryPlaylist::description() const
{
    if (!playlist_)
        return QStringLiteral("ITLMediaLibraryPlaylist name=(null)");
    return QStringLiteral("ITLMediaLibraryPlaylist name=%1, master=%2, parentID=%3, visible=%4, allItemsPlaylist=%5, items=%6, distinguishedKind=%7")
        .arg(playlist_->name)
        .arg(int(playlist_->master))
        .arg(playlist_->parentID.isEmpty() ? QStringLiteral("(null)") : playlist_->parentID)
        .arg(int(playlist_->visible))
        .arg(int(playlist_->allItems))
        .arg(QString::asprintf("%p", static_cast<const void*>(&playlist_->items)))
        .arg(playlist_->distinguishedKind);
}

#include "source/media_library/MLFMediaLibrary.h"

#include "platform/foundation/Dispatch.h"
#include "source/analytics/ZNTAnalytics.h"

#include <QPointer>

MLFMediaLibrary::MLFMediaLibrary()
{
    mediaLibrary_ = tolvan::MusicFolderLibrary::open("1.0", nullptr);
    if (!mediaLibrary_)
        ZNTAnalytics::logEvent("Error creating Media Library");
    startLoadingMusicLibrary();
}

MLFMediaLibrary::~MLFMediaLibrary() { stopObservingMediaLibrary(); }

void MLFMediaLibrary::startLoadingMusicLibrary()
{
    setLoading(true);
    startObservingMediaLibrary();
}

// Loading ends when the folder library has published its scan.
void MLFMediaLibrary::startObservingMediaLibrary()
{
    if (observing_ || !mediaLibrary_)
        return;
    observing_ = true;
    QPointer<MLFMediaLibrary> self(this);
    mediaLibrary_->setScanFinishedHandler([self] {
        tolvan::dispatchMain([self] {
            if (self)
                self->setLoading(false);
        });
    });
    if (!mediaLibrary_->isScanning())
        setLoading(false);  // the scan was over before the handler was set
}

void MLFMediaLibrary::stopObservingMediaLibrary()
{
    if (!observing_)
        return;
    observing_ = false;
    mediaLibrary_->setScanFinishedHandler({});
}

tolvan::MusicPlaylistPtr MLFMediaLibrary::rootMediaGroup() const
{
    if (!mediaLibrary_)
        return nullptr;
    for (const tolvan::MusicPlaylistPtr& playlist : mediaLibrary_->contents()->playlists) {
        if (playlist->allItems)
            return playlist;
    }
    return nullptr;
}

quint64 MLFMediaLibrary::librarySize() const
{
    const tolvan::MusicPlaylistPtr root = rootMediaGroup();
    return root ? root->items.size() : 0;
}

ZNTMediaLibraryPlaylistPtr MLFMediaLibrary::masterMusicPlaylist() const
{
    return MLFMediaLibraryPlaylist::playlistWithMediaLibraryGroup(rootMediaGroup());
}

QString MLFMediaLibrary::description() const
{
    const QString library = mediaLibrary_ ? mediaLibrary_->musicFolderLocation().toString() : QStringLiteral("(null)");
    return QStringLiteral("MLFMediaLibrary{\n\tmediaibrary : %1\n}").arg(library);
}

ZNTMediaLibraryMediaItemPtr MLFMediaLibraryMediaItem::mediaItemWithMLMediaObject(tolvan::MusicTrackPtr object)
{
    return object ? std::make_shared<MLFMediaLibraryMediaItem>(std::move(object)) : nullptr;
}

MLFMediaLibraryMediaItem::MLFMediaLibraryMediaItem(tolvan::MusicTrackPtr object)
    : object_(std::move(object)), sortTitle_(ZNTMediaLibrary::sortStringFromString(object_->title))
{
}

QImage MLFMediaLibraryMediaItem::artworkWithSuggestedSize(QSize) const
{
    return QImage::fromData(tolvan::MusicFolderLibrary::artworkForMediaFile(object_->path));
}

ZNTMediaLibraryMediaItemPtr MLFMediaLibraryMediaItem::copy() const
{
    return std::make_shared<MLFMediaLibraryMediaItem>(object_);
}

ZNTMediaLibraryPlaylistPtr MLFMediaLibraryPlaylist::playlistWithMediaLibraryGroup(tolvan::MusicPlaylistPtr group)
{
    return std::make_shared<MLFMediaLibraryPlaylist>(std::move(group));
}

std::vector<ZNTMediaLibraryMediaItemPtr> MLFMediaLibraryPlaylist::items() const
{
    std::vector<ZNTMediaLibraryMediaItemPtr> items;
    if (!group_)
        return items;
    items.reserve(group_->items.size());
    for (const tolvan::MusicTrackPtr& object : group_->items)
        items.push_back(MLFMediaLibraryMediaItem::mediaItemWithMLMediaObject(object));
    return items;
}

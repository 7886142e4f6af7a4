#include "source/media_library/MLFMediaLibrary.h"

#include "platform/foundation/Dispatch.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/media_library/MediaLibraryArtwork.h"

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

QString MLFMediaLibraryMediaItem::sortTitle() const
{
    if (!sortTitle_)
        sortTitle_ = ZNTMediaLibrary::sortStringFromString(object_->title);
    return *sortTitle_;
}

QImage MLFMediaLibraryMediaItem::artworkWithSuggestedSize(QSize) const { return coverArtImageForFile(object_->path); }

ZNTMediaLibraryMediaItemPtr MLFMediaLibraryMediaItem::copy() const
{
    auto item = std::make_shared<MLFMediaLibraryMediaItem>(object_);
    item->sortTitle_ = sortTitle_;
    return item;
}

ZNTMediaLibraryPlaylistPtr MLFMediaLibraryPlaylist::playlistWithMediaLibraryGroup(tolvan::MusicPlaylistPtr group)
{
    return std::make_shared<MLFMediaLibraryPlaylist>(std::move(group));
}

std::vector<ZNTMediaLibraryMediaItemPtr> MLFMediaLibraryPlaylist::items() const
{
    if (items_.empty() && group_) {
        for (const tolvan::MusicTrackPtr& object : group_->items)
            items_.push_back(MLFMediaLibraryMediaItem::mediaItemWithMLMediaObject(object));
    }
    return items_;
}

#pragma once
// A second back end over the music folder library, answering only the music
// playlist, the library size and the items of a group. It reports itself as
// unavailable, so the back-end choice never picks it.

#include "platform/music_library/MusicFolderLibrary.h"
#include "source/media_library/ZNTMediaLibrary.h"

class MLFMediaLibrary : public ZNTMediaLibrary {
    Q_OBJECT
public:
    static bool mediaLibraryFrameworkAvailable() { return false; }

    // Logs "Error creating Media Library" when the folder library cannot be
    // opened; loads in either case.
    MLFMediaLibrary();
    ~MLFMediaLibrary() override;

    void startLoadingMusicLibrary() override;
    quint64 librarySize() const override;
    ZNTMediaLibraryPlaylistPtr masterMusicPlaylist() const override;
    QString iTunesMediaPath() const override { return {}; }
    QString description() const override;

private:
    void startObservingMediaLibrary();
    void stopObservingMediaLibrary();
    tolvan::MusicPlaylistPtr rootMediaGroup() const;

    std::shared_ptr<tolvan::MusicFolderLibrary> mediaLibrary_;
    bool observing_ = false;
};

class MLFMediaLibraryMediaItem : public ZNTMediaLibraryMediaItem {
public:
    static ZNTMediaLibraryMediaItemPtr mediaItemWithMLMediaObject(tolvan::MusicTrackPtr object);
    explicit MLFMediaLibraryMediaItem(tolvan::MusicTrackPtr object);

    QString title() const override { return object_->title; }
    QString sortTitle() const override { return sortTitle_; }
    QUrl location() const override { return object_->location; }
    unsigned locationType() const override { return object_->location.isLocalFile() ? 1 : 0; }
    bool drmProtected() const override { return object_->drmProtected; }
    QImage artworkWithSuggestedSize(QSize) const override;
    ZNTMediaLibraryMediaItemPtr copy() const override;

private:
    const tolvan::MusicTrackPtr object_;
    const QString sortTitle_;
};

class MLFMediaLibraryPlaylist : public ZNTMediaLibraryPlaylist {
public:
    static ZNTMediaLibraryPlaylistPtr playlistWithMediaLibraryGroup(tolvan::MusicPlaylistPtr group);
    explicit MLFMediaLibraryPlaylist(tolvan::MusicPlaylistPtr group) : group_(std::move(group)) {}

    QString name() const override { return group_ ? group_->name : QString(); }
    QString sortName() const override { return name(); }
    // The group's media objects, wrapped on each request.
    std::vector<ZNTMediaLibraryMediaItemPtr> items() const override;

private:
    const tolvan::MusicPlaylistPtr group_;
};

#pragma once
// The music library read from the user's Music folder through the music folder
// library. Every question is answered from the folder library's latest
// snapshot; `loading` is true while the folder is being scanned.

#include "platform/music_library/MusicFolderLibrary.h"
#include "source/media_library/ZNTMediaLibrary.h"

class ITLMediaLibrary : public ZNTMediaLibrary {
    Q_OBJECT
public:
    static bool iTunesLibraryAvailable() { return true; }  // the folder library is always built in

    // Opens the library; null, with the error logged as "Error opening iTunes
    // library", when it cannot be opened (also when it opens as nothing).
    static std::unique_ptr<ITLMediaLibrary> create();
    ~ITLMediaLibrary() override;

    const std::shared_ptr<tolvan::MusicFolderLibrary>& iTunesLibrary() const { return library_; }

    QString iTunesVersion() const override { return library_->applicationVersion(); }
    quint64 librarySize() const override { return library_->contents()->tracks.size(); }
    QString iTunesMediaPath() const override { return library_->musicFolderLocation().toLocalFile(); }
    QVariantList allPlaylists() const override;
    std::vector<ZNTMediaLibraryPlaylistPtr> userPlaylists() const override;
    ZNTMediaLibraryPlaylistPtr masterMusicPlaylist() const override { return playlistRecord(playlistMatchingDistinguishedKind(3)); }
    ZNTMediaLibraryPlaylistPtr masterMoviesPlaylist() const override { return playlistRecord(playlistMatchingDistinguishedKind(1)); }
    ZNTMediaLibraryPlaylistPtr masterTVShowsPlaylist() const override { return playlistRecord(playlistMatchingDistinguishedKind(2)); }
    tolvan::MusicPlaylistPtr playlistMatchingDistinguishedKind(unsigned kind) const;
    std::vector<ZNTMediaLibraryMediaItemPtr> recentlyPlayedItems(unsigned count) const override;
    QString description() const override;

private:
    explicit ITLMediaLibrary(std::shared_ptr<tolvan::MusicFolderLibrary> library);
    static ZNTMediaLibraryPlaylistPtr playlistRecord(tolvan::MusicPlaylistPtr playlist);

    std::shared_ptr<tolvan::MusicFolderLibrary> library_;
};

class ITLMediaLibraryArtist : public ZNTMediaLibraryArtist {
public:
    static ZNTMediaLibraryArtistPtr artistWithiTunesArtist(tolvan::MusicTrackPtr artist);
    explicit ITLMediaLibraryArtist(tolvan::MusicTrackPtr artist);
    QString name() const override { return artist_->artist; }
    QString sortName() const override { return sortName_; }

private:
    const tolvan::MusicTrackPtr artist_;  // the artist's names are a track's tags
    const QString sortName_;
};

class ITLMediaLibraryAlbum : public ZNTMediaLibraryAlbum {
public:
    static ZNTMediaLibraryAlbumPtr albumWithiTunesAlbum(tolvan::MusicTrackPtr album);
    explicit ITLMediaLibraryAlbum(tolvan::MusicTrackPtr album);
    QString title() const override { return album_->album; }
    QString sortTitle() const override { return sortTitle_; }

private:
    const tolvan::MusicTrackPtr album_;
    const QString sortTitle_;
};

class ITLMediaLibraryMediaItem : public ZNTMediaLibraryMediaItem {
public:
    static ZNTMediaLibraryMediaItemPtr mediaItemWithiTunesMediaItem(tolvan::MusicTrackPtr mediaItem);
    explicit ITLMediaLibraryMediaItem(tolvan::MusicTrackPtr mediaItem);

    const tolvan::MusicTrackPtr& mediaItem() const { return mediaItem_; }

    QString title() const override { return mediaItem_->title; }
    QString sortTitle() const override { return sortTitle_; }
    ZNTMediaLibraryArtistPtr artist() const override { return ITLMediaLibraryArtist::artistWithiTunesArtist(mediaItem_); }
    ZNTMediaLibraryAlbumPtr album() const override { return ITLMediaLibraryAlbum::albumWithiTunesAlbum(mediaItem_); }
    QString genre() const override { return mediaItem_->genre; }
    bool drmProtected() const override { return mediaItem_->drmProtected; }
    unsigned locationType() const override { return unsigned(mediaItem_->locationType()); }
    QUrl location() const override { return mediaItem_->location; }
    unsigned trackNumber() const override { return mediaItem_->trackNumber; }
    QImage artworkWithSuggestedSize(QSize) const override;
    ZNTMediaLibraryMediaItemPtr copy() const override;
    QString description() const;

private:
    const tolvan::MusicTrackPtr mediaItem_;
    const QString sortTitle_;
};

class ITLMediaLibraryPlaylist : public ZNTMediaLibraryPlaylist {
public:
    // playlist may be null: a record with no name and no items.
    static ZNTMediaLibraryPlaylistPtr playlistWithiTunesPlaylist(tolvan::MusicPlaylistPtr playlist);
    explicit ITLMediaLibraryPlaylist(tolvan::MusicPlaylistPtr playlist);

    const tolvan::MusicPlaylistPtr& playlist() const { return playlist_; }

    QString name() const override { return playlist_ ? playlist_->name : QString(); }
    QString sortName() const override { return sortName_; }
    bool master() const override { return playlist_ && playlist_->master; }
    unsigned distinguishedKind() const override { return playlist_ ? playlist_->distinguishedKind : 0; }
    std::vector<ZNTMediaLibraryMediaItemPtr> items() const override { return items_; }
    QString description() const;

private:
    const tolvan::MusicPlaylistPtr playlist_;
    const std::vector<ZNTMediaLibraryMediaItemPtr> items_;
    const QString sortName_;
};

#pragma once
// The music library read from its XML property-list file. The file is found
// once, read on the serial queue "com.kestrova.loadMusicLibrary", and the
// result is stored on the main thread as one immutable snapshot, so lists may
// read the library from any thread. "MusicLibraryDidLoad" is posted (on the
// main thread) when the load has finished, also when the file could not be
// read.

#include "source/media_library/XMLLibraryFile.h"
#include "source/media_library/ZNTMediaLibrary.h"

#include <memory>

namespace tolvan {
class UserDefaults;
}

inline const QString kMusicLibraryDidLoadNotification = QStringLiteral("MusicLibraryDidLoad");

// What one load produced; absent parts stay absent.
struct XMLLibrarySnapshot {
    std::shared_ptr<const XMLLibraryFile> musicLibrary;
    std::optional<std::vector<XMLTrackPtr>> libraryTracks;  // the music playlist's file tracks
    std::optional<QVariantList> playlists;               // the source list

    // The file's "Tracks", absent while loading or when the file has none.
    const XMLTrackTable* allTracks() const { return musicLibrary && musicLibrary->tracks ? &*musicLibrary->tracks : nullptr; }
};
using XMLLibrarySnapshotPtr = std::shared_ptr<const XMLLibrarySnapshot>;

// A group node of the source list, {"Name": name, "group": true}; without a
// name none, and the event "createGroupWithName() playlist name is nil".
std::optional<QVariantMap> xmlSourceListGroupNode(const QString& name);

class XMLMediaLibrary : public ZNTMediaLibrary {
    Q_OBJECT
public:
    // Starts loading at once. The file's path comes from defaults' key
    // "iTunesRecentDatabasePaths" (a list, its first entry), else the default path.
    explicit XMLMediaLibrary(tolvan::UserDefaults& defaults, QObject* parent = nullptr);
    XMLMediaLibrary();  // with the application's standard defaults
    // Waits for a load that is still reading the file; its result is dropped.
    ~XMLMediaLibrary() override;

    static inline const QString kDefaultLibraryPath = QStringLiteral("~/Music/iTunes/iTunes Music Library.xml");

    void startLoadingMusicLibrary() override;
    QString iTunesMusicLibraryXMLPath() const;

    // The loaded data; empty parts while loading or when the file was unreadable.
    std::shared_ptr<const XMLLibraryFile> library() const { return snapshot()->musicLibrary; }
    std::vector<XMLTrackPtr> tracks() const { return snapshot()->libraryTracks.value_or(std::vector<XMLTrackPtr>{}); }
    std::optional<QVariantList> sourcePlaylists() const { return snapshot()->playlists; }
    XMLLibrarySnapshotPtr snapshot() const;

    QString iTunesVersion() const override { return {}; }
    quint64 librarySize() const override;
    QString iTunesMediaPath() const override;
    QVariantList allPlaylists() const override;
    std::vector<ZNTMediaLibraryPlaylistPtr> userPlaylists() const override;
    ZNTMediaLibraryPlaylistPtr masterMusicPlaylist() const override;
    ZNTMediaLibraryPlaylistPtr masterMoviesPlaylist() const override;
    ZNTMediaLibraryPlaylistPtr masterTVShowsPlaylist() const override;
    std::optional<QVariantList> lookupPlaylistItems(const QVariantList& playlistItems) const override;
    QVariant playlistWithKey(const QString& key, const QVariant& value) const override;
    std::vector<ZNTMediaLibraryMediaItemPtr> recentlyPlayedItems(unsigned count) const override;
    QString description() const override;

    XMLTrackPtr trackInfoForTrackID(qint64 trackID) const;

private:
    void finishLoadingMusicLibrary(XMLLibrarySnapshotPtr result);
    ZNTMediaLibraryPlaylistPtr masterPlaylist(const QString& key) const;

    struct State;

    tolvan::UserDefaults& defaults_;
    std::unique_ptr<State> state_;
};

// The records below are views of one track's values: they hold the track and
// work out derived values (sort keys, the artist and album records) when
// asked, so wrapping a playlist of tens of thousands of tracks costs one small
// object per track.

class XMLMediaLibraryArtist : public ZNTMediaLibraryArtist {
public:
    static ZNTMediaLibraryArtistPtr artistWithXMLInfo(const XMLTrackPtr& info);  // null without "Artist"
    explicit XMLMediaLibraryArtist(XMLTrackPtr info) : info_(std::move(info)) {}
    QString name() const override { return info_->artist; }
    QString sortName() const override;

private:
    const XMLTrackPtr info_;
};

class XMLMediaLibraryAlbum : public ZNTMediaLibraryAlbum {
public:
    static ZNTMediaLibraryAlbumPtr albumWithXMLInfo(const XMLTrackPtr& info);  // null without "Album"
    explicit XMLMediaLibraryAlbum(XMLTrackPtr info) : info_(std::move(info)) {}
    QString title() const override { return info_->album; }
    QString sortTitle() const override;

private:
    const XMLTrackPtr info_;
};

class XMLMediaLibraryMediaItem : public ZNTMediaLibraryMediaItem {
public:
    static ZNTMediaLibraryMediaItemPtr mediaItemWithLibrary(XMLLibrarySnapshotPtr library, XMLTrackPtr info);
    XMLMediaLibraryMediaItem(XMLLibrarySnapshotPtr library, XMLTrackPtr info) : library_(std::move(library)), info_(std::move(info)) {}

    const XMLTrackPtr& info() const { return info_; }
    const void* record() const override { return info_.get(); }

    QString title() const override { return info_->name; }
    QString sortTitle() const override;
    // A new record on every call; they answer alike.
    ZNTMediaLibraryArtistPtr artist() const override { return XMLMediaLibraryArtist::artistWithXMLInfo(info_); }
    ZNTMediaLibraryAlbumPtr album() const override { return XMLMediaLibraryAlbum::albumWithXMLInfo(info_); }
    QString artistName() const override { return info_->artist; }
    QString albumTitle() const override { return info_->album; }
    QString genre() const override { return info_->genre; }
    bool drmProtected() const override { return info_->isProtected; }
    unsigned locationType() const override;
    QUrl location() const override;
    unsigned trackNumber() const override;
    QImage artworkWithSuggestedSize(QSize) const override;
    ZNTMediaLibraryMediaItemPtr copy() const override;

private:
    const XMLLibrarySnapshotPtr library_;
    const XMLTrackPtr info_;
};

// The wrapped tracks of a snapshot's playlists, made once per playlist and
// shared by every record of that playlist taken from the same snapshot.
struct XMLPlaylistItemsCache;

class XMLMediaLibraryPlaylist : public ZNTMediaLibraryPlaylist {
public:
    // The file's "Distinguished Kind" numbers mapped onto the library's kinds.
    static const QHash<qint64, unsigned>& distinguishedMap();

    // dictionary may be null: a playlist with no name and no items.
    static ZNTMediaLibraryPlaylistPtr playlistWithLibrary(XMLLibrarySnapshotPtr library, XMLPlaylistPtr dictionary);
    // With a cache, items() wraps the tracks once and then hands out the same records.
    static ZNTMediaLibraryPlaylistPtr playlistWithLibrary(XMLLibrarySnapshotPtr library, XMLPlaylistPtr dictionary,
                                                          std::shared_ptr<XMLPlaylistItemsCache> cache);
    XMLMediaLibraryPlaylist(XMLLibrarySnapshotPtr library, XMLPlaylistPtr dictionary, std::shared_ptr<XMLPlaylistItemsCache> cache = nullptr);

    const XMLPlaylistPtr& playlist() const { return playlist_; }

    QString name() const override { return playlist_ ? playlist_->name() : QString(); }
    QString sortName() const override { return sortName_; }
    bool master() const override { return playlist_ && playlist_->boolValue("Master").value_or(false); }
    bool visible() const override { return playlist_ && playlist_->boolValue("Visible").value_or(false); }
    unsigned distinguishedKind() const override { return distinguishedKind_; }
    // The playlist's tracks, wrapped only when asked for (a library's music
    // playlist may hold tens of thousands).
    std::vector<ZNTMediaLibraryMediaItemPtr> items() const override;

private:
    std::vector<ZNTMediaLibraryMediaItemPtr> wrappedItems() const;

    const XMLLibrarySnapshotPtr library_;
    const XMLPlaylistPtr playlist_;
    const std::shared_ptr<XMLPlaylistItemsCache> cache_;
    const unsigned distinguishedKind_;
    const QString sortName_;
};

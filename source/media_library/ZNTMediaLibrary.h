#pragma once
// The music library as the application sees it: one library per process with
// playlists, albums, artists and media items, answered by whichever back end
// could open the user's library. Properties a back end does not answer read as
// null, 0 or false.

#include "source/engine/TolvanSource.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

class ZNTMediaLibraryArtist;
class ZNTMediaLibraryAlbum;
class ZNTMediaLibraryMediaItem;
class ZNTMediaLibraryPlaylist;
using ZNTMediaLibraryArtistPtr = std::shared_ptr<ZNTMediaLibraryArtist>;
using ZNTMediaLibraryAlbumPtr = std::shared_ptr<ZNTMediaLibraryAlbum>;
using ZNTMediaLibraryMediaItemPtr = std::shared_ptr<ZNTMediaLibraryMediaItem>;
using ZNTMediaLibraryPlaylistPtr = std::shared_ptr<ZNTMediaLibraryPlaylist>;

// Where a media item lives.
enum ZNTMediaLibraryLocationType : unsigned {
    ZNTMediaLibraryLocationTypeUnknown = 0,
    ZNTMediaLibraryLocationTypeFile = 1,
    ZNTMediaLibraryLocationTypeRemote = 2,
};

// Distinguished playlist kinds.
enum : unsigned {
    ZNTDistinguishedKindNone = 0,
    ZNTDistinguishedKindMovies = 1,
    ZNTDistinguishedKindTVShows = 2,
    ZNTDistinguishedKindMusic = 3,
    ZNTDistinguishedKindUnmapped = 1023,
};

class ZNTMediaLibraryArtist {
public:
    virtual ~ZNTMediaLibraryArtist() = default;
    virtual QString name() const { return {}; }
    virtual QString sortName() const { return {}; }
    // The value of a property by name; unknown keys read as an invalid value.
    QVariant valueForKey(const QString& key) const;
};

class ZNTMediaLibraryAlbum {
public:
    virtual ~ZNTMediaLibraryAlbum() = default;
    virtual QString title() const { return {}; }
    virtual QString sortTitle() const { return {}; }
    QVariant valueForKey(const QString& key) const;
};

// A track of the library; it is also what a library source is made from.
class ZNTMediaLibraryMediaItem : public TolvanSourceMediaItem {
public:
    ~ZNTMediaLibraryMediaItem() override = default;

    QString title() const override { return {}; }
    virtual QString sortTitle() const { return {}; }
    virtual ZNTMediaLibraryArtistPtr artist() const { return {}; }
    virtual ZNTMediaLibraryAlbumPtr album() const { return {}; }
    virtual QString genre() const { return {}; }
    virtual bool drmProtected() const { return false; }
    virtual unsigned locationType() const { return ZNTMediaLibraryLocationTypeUnknown; }
    QUrl location() const override { return {}; }
    virtual unsigned trackNumber() const { return 0; }
    QImage artworkWithSuggestedSize(QSize) const override { return {}; }
    // The name of the item's artist and the title of its album, or none:
    // what lists read of every track, without making the records.
    virtual QString artistName() const;
    QString albumTitle() const override;
    QString description() const override;

    // What the item reads its properties from: two items that answer the same
    // record are the same track of the same library content.
    virtual const void* record() const { return this; }

    // A new item of the same back end that answers every property like this one.
    virtual ZNTMediaLibraryMediaItemPtr copy() const { return std::make_shared<ZNTMediaLibraryMediaItem>(); }

    QVariant valueForKey(const QString& key) const;
    // Dotted paths through "artist" and "album" ("album.title"); a key a record
    // does not have ("album.name") reads as an invalid value.
    QVariant valueForKeyPath(const QString& keyPath) const;
};

class ZNTMediaLibraryPlaylist {
public:
    virtual ~ZNTMediaLibraryPlaylist() = default;
    virtual QString name() const { return {}; }
    virtual QString sortName() const { return {}; }
    virtual bool master() const { return false; }
    virtual bool visible() const { return false; }
    virtual unsigned distinguishedKind() const { return ZNTDistinguishedKindNone; }
    virtual std::vector<ZNTMediaLibraryMediaItemPtr> items() const { return {}; }
    QVariant valueForKey(const QString& key) const;
};

class ZNTMediaLibrary : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
public:
    // The library of this process, chosen on the first call (main thread) and
    // kept for the life of the process.
    static ZNTMediaLibrary& defaultLibrary();
    // The back-end choice itself: the first back end that is available and
    // opens the library, else the XML file back end.
    static std::unique_ptr<ZNTMediaLibrary> makeLibrary();

    // The key for sorting by a title: leading non-alphanumerics dropped, then
    // one leading "The " and then one "A " (any case). A null string gives null.
    static QString sortStringFromString(const QString& string);
    // The stored sort text when there is one, else the one derived from text.
    static QString sortStringOr(const QString& storedSortText, const QString& text)
    {
        return storedSortText.isNull() ? sortStringFromString(text) : storedSortText;
    }

    ~ZNTMediaLibrary() override;

    // Read from any thread.
    bool loading() const;

    virtual QString iTunesVersion() const { return {}; }
    virtual quint64 librarySize() const { return 0; }
    virtual QString iTunesMediaPath() const { return {}; }
    // Every playlist the back end knows, as the back end's own entries.
    virtual QVariantList allPlaylists() const { return {}; }
    virtual std::vector<ZNTMediaLibraryPlaylistPtr> userPlaylists() const { return {}; }

    virtual ZNTMediaLibraryPlaylistPtr masterMusicPlaylist() const { return {}; }
    virtual ZNTMediaLibraryPlaylistPtr masterMoviesPlaylist() const { return {}; }
    virtual ZNTMediaLibraryPlaylistPtr masterTVShowsPlaylist() const { return {}; }
    // The track entries for playlist-item entries; nullopt while the back end
    // has no tracks.
    virtual std::optional<QVariantList> lookupPlaylistItems(const QVariantList&) const { return std::nullopt; }
    // The first playlist entry whose value under key equals value.
    virtual QVariant playlistWithKey(const QString&, const QVariant&) const { return {}; }
    // The count local-file items played most recently, newest first.
    virtual std::vector<ZNTMediaLibraryMediaItemPtr> recentlyPlayedItems(unsigned) const { return {}; }
    virtual void startLoadingMusicLibrary() {}

    virtual QString description() const { return QString::fromLatin1(metaObject()->className()); }

    // Album title to {"Album": title, "Artist": artist name}, from the local
    // files among tracks; the first track of an album decides its artist.
    QVariantMap albumsFromTracks(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks) const;

signals:
    void loadingChanged(bool loading);

protected:
    explicit ZNTMediaLibrary(QObject* parent = nullptr);
    // Announces the change; call on the main thread.
    void setLoading(bool loading);

private:
    struct State;
    const std::unique_ptr<State> state_;
};

Q_DECLARE_METATYPE(ZNTMediaLibraryPlaylistPtr)
Q_DECLARE_METATYPE(ZNTMediaLibraryMediaItemPtr)

namespace tolvan {

// The count entries with the latest dates among candidates, newest first;
// dateOf answers an optional date, and entries without one are never taken.
// Only count entries are kept while walking, so a large library costs one pass.
template <class T, class DateOf>
std::vector<T> newestFirst(const std::vector<T>& candidates, unsigned count, DateOf dateOf)
{
    using Date = std::decay_t<decltype(*dateOf(std::declval<const T&>()))>;
    std::vector<std::pair<Date, T>> kept;
    if (count == 0)
        return {};
    kept.reserve(count + 1);
    auto later = [](const auto& a, const auto& b) { return a.first > b.first; };
    for (const T& candidate : candidates) {
        const auto date = dateOf(candidate);
        if (!date || (kept.size() == count && !(*date > kept.back().first)))
            continue;
        std::pair<Date, T> entry{*date, candidate};
        kept.insert(std::upper_bound(kept.begin(), kept.end(), entry, later), entry);
        if (kept.size() > count)
            kept.pop_back();
    }
    std::vector<T> result;
    result.reserve(kept.size());
    for (auto& entry : kept)
        result.push_back(std::move(entry.second));
    return result;
}

}  // namespace tolvan

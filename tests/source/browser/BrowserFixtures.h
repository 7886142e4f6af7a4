#pragma once
// What the browser's tests share: a host that records what the browser hands
// it, an in-memory library whose loading the test controls, and a fixture
// with scratch user defaults and the shipped tone sets.

#include "platform/foundation/UserDefaults.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/browser/BrowserHost.h"
#include "source/browser/BrowserRow.h"
#include "source/media_library/IncludedLibrary.h"
#include "source/media_library/ZNTMediaLibrary.h"
#include "tests/support/EventLoop.h"
#include "tests/source/analytics/LoggedEvents.h"

#include <QDir>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

namespace browsertest {

// The rows' titles in their order.
inline QStringList titlesOf(const BrowserRows& rows)
{
    QStringList titles;
    for (const BrowserRow& row : rows)
        titles << row.title;
    return titles;
}

class FakeHost : public BrowserHost {
public:
    void openSource(TolvanSourcePtr source) override
    {
        opened.push_back(source);
        open = source;
    }
    TolvanSourcePtr selectedSource() const override { return open; }
    bool recordingSelected() const override { return recording; }
    void setRecordingSelected(bool selected) override { recording = selected; }
    bool wantsToHandleSpacebar() const override { return wantsSpace; }
    bool handleSpacebarKey(const QKeyEvent&) override
    {
        ++spaces;
        return true;
    }
    void flagsChanged(Qt::KeyboardModifiers modifiers) override { flags.push_back(modifiers); }
    void openURL(const QUrl& url) override { urls.push_back(url); }
    void revealInFileViewer(const QString& path) override { revealed.push_back(path); }
    void followTolvanOnTwitter() override { ++twitter; }
    void friendTolvanOnFacebook() override { ++facebook; }

    std::vector<TolvanSourcePtr> opened;
    TolvanSourcePtr open;
    bool recording = false;
    bool wantsSpace = false;
    int spaces = 0;
    std::vector<Qt::KeyboardModifiers> flags;
    std::vector<QUrl> urls;
    std::vector<QString> revealed;
    int twitter = 0, facebook = 0;
};

class FakeArtist : public ZNTMediaLibraryArtist {
public:
    explicit FakeArtist(QString name) : name_(std::move(name)) {}
    QString name() const override { return name_; }

private:
    QString name_;
};

class FakeAlbum : public ZNTMediaLibraryAlbum {
public:
    explicit FakeAlbum(QString title) : title_(std::move(title)) {}
    QString title() const override { return title_; }

private:
    QString title_;
};

struct TrackSpec {
    QString title;
    QString artist;  // null: no artist
    QString album;   // null: no album
    QString genre;
    unsigned trackNumber = 0;
    unsigned locationType = ZNTMediaLibraryLocationTypeFile;
    bool protectedTrack = false;
    QString path;  // the file; made up from the title when empty
    QString sortTitle;
    QImage artwork;
};

class FakeTrack : public ZNTMediaLibraryMediaItem {
public:
    explicit FakeTrack(TrackSpec spec) : spec_(std::move(spec))
    {
        if (!spec_.artist.isNull())
            artist_ = std::make_shared<FakeArtist>(spec_.artist);
        if (!spec_.album.isNull())
            album_ = std::make_shared<FakeAlbum>(spec_.album);
    }
    QString title() const override { return spec_.title; }
    QString sortTitle() const override { return spec_.sortTitle.isNull() ? spec_.title : spec_.sortTitle; }
    ZNTMediaLibraryArtistPtr artist() const override { return artist_; }
    ZNTMediaLibraryAlbumPtr album() const override { return album_; }
    QString genre() const override { return spec_.genre; }
    bool drmProtected() const override { return spec_.protectedTrack; }
    unsigned locationType() const override { return spec_.locationType; }
    QUrl location() const override { return QUrl::fromLocalFile(spec_.path.isEmpty() ? "/music/" + spec_.title + ".m4a" : spec_.path); }
    unsigned trackNumber() const override { return spec_.trackNumber; }
    QImage artworkWithSuggestedSize(QSize) const override { return spec_.artwork; }

private:
    TrackSpec spec_;
    ZNTMediaLibraryArtistPtr artist_;
    ZNTMediaLibraryAlbumPtr album_;
};

inline ZNTMediaLibraryMediaItemPtr track(TrackSpec spec) { return std::make_shared<FakeTrack>(std::move(spec)); }

class FakePlaylist : public ZNTMediaLibraryPlaylist {
public:
    FakePlaylist(QString name, std::vector<ZNTMediaLibraryMediaItemPtr> items, QString sortName = {})
        : name_(std::move(name)), sortName_(sortName.isNull() ? name_ : sortName), items_(std::move(items))
    {
    }
    QString name() const override { return name_; }
    QString sortName() const override { return sortName_; }
    std::vector<ZNTMediaLibraryMediaItemPtr> items() const override { return items_; }

private:
    QString name_, sortName_;
    std::vector<ZNTMediaLibraryMediaItemPtr> items_;
};

// A library in memory. While loading it answers empty playlists, as a back
// end still reading its file does.
class FakeLibrary : public ZNTMediaLibrary {
public:
    std::vector<ZNTMediaLibraryMediaItemPtr> music, movies;
    std::vector<ZNTMediaLibraryPlaylistPtr> playlists;
    std::vector<ZNTMediaLibraryMediaItemPtr> recent;

    void setStillLoading(bool loading) { setLoading(loading); }

    ZNTMediaLibraryPlaylistPtr masterMusicPlaylist() const override { return master("Music", music); }
    ZNTMediaLibraryPlaylistPtr masterMoviesPlaylist() const override { return master("Movies", movies); }
    ZNTMediaLibraryPlaylistPtr masterTVShowsPlaylist() const override { return master("TV Shows", {}); }
    std::vector<ZNTMediaLibraryPlaylistPtr> userPlaylists() const override { return loading() ? decltype(playlists){} : playlists; }
    std::vector<ZNTMediaLibraryMediaItemPtr> recentlyPlayedItems(unsigned count) const override
    {
        if (loading())
            return {};
        return {recent.begin(), recent.begin() + std::min<std::size_t>(count, recent.size())};
    }

private:
    ZNTMediaLibraryPlaylistPtr master(const QString& name, const std::vector<ZNTMediaLibraryMediaItemPtr>& items) const
    {
        return std::make_shared<FakePlaylist>(name, loading() ? std::vector<ZNTMediaLibraryMediaItemPtr>{} : items);
    }
};

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ZNTAnalytics::resetForTesting();
        defaults = std::make_unique<tolvan::UserDefaults>(dir.filePath("defaults.ini"));
    }

    BrowserServices services() { return {&host, &library, &IncludedLibrary::defaultLibrary(), defaults.get()}; }

    static QStringList loggedEvents() { return tolvan::test::loggedEvents(); }

    QTemporaryDir dir;
    std::unique_ptr<tolvan::UserDefaults> defaults;
    FakeHost host;
    FakeLibrary library;
};

}  // namespace browsertest

// What each list builds from the library: songs, artists, albums, playlists
// and the main menu's rows.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleArtistsController.h"
#include "source/browser/SimpleMainMenuController.h"
#include "source/browser/SimplePlaylistsController.h"
#include "source/browser/SimpleSongsController.h"

using namespace browsertest;

namespace {

QStringList column(const BrowserRows& rows, QString BrowserRow::*field = &BrowserRow::title)
{
    QStringList values;
    for (const BrowserRow& row : rows)
        values << row.*field;
    return values;
}

using Order = SimpleSongsController::Order;

}  // namespace

TEST(SongsRows, OnlyFileTracksInTitleGivenOrTrackOrder)
{
    const std::vector<ZNTMediaLibraryMediaItemPtr> tracks{
        track({.title = "Zebra", .trackNumber = 1}),
        track({.title = "Stream", .trackNumber = 2, .locationType = ZNTMediaLibraryLocationTypeRemote}),
        track({.title = "apple", .trackNumber = 3}),
        track({.title = "Unknown", .locationType = ZNTMediaLibraryLocationTypeUnknown}),
        track({.title = "Mango", .trackNumber = 0, .protectedTrack = true}),
    };
    EXPECT_EQ(column(SimpleSongsController::buildContent(tracks, Order::title)), (QStringList{"apple", "Mango", "Zebra"}))
        << "protected tracks stay, tracks without a file go";
    EXPECT_EQ(column(SimpleSongsController::buildContent(tracks, Order::given)), (QStringList{"Zebra", "apple", "Mango"}));
    EXPECT_EQ(column(SimpleSongsController::buildContent(tracks, Order::trackNumber)), (QStringList{"Mango", "Zebra", "apple"}));
    EXPECT_TRUE(SimpleSongsController::buildContent({tracks[1], tracks[3]}, Order::title).empty());
}

TEST(ArtistsRows, OneRowPerExactNameOfFileTracks)
{
    const std::vector<ZNTMediaLibraryMediaItemPtr> tracks{
        track({.title = "1", .artist = "abba"}),  track({.title = "2", .artist = "ABBA"}),
        track({.title = "3", .artist = "abba"}),  track({.title = "4", .artist = "Radio Only", .locationType = 2}),
        track({.title = "5"}),                    track({.title = "6", .artist = ""}),
        track({.title = "7", .artist = "10cc"}),  track({.title = "8", .artist = "Air"}),
    };
    const BrowserRows rows = SimpleArtistsController::buildRows(tracks);
    EXPECT_EQ(column(rows), (QStringList{"abba", "ABBA", "Air", "10cc"}));
    for (const BrowserRow& row : rows)
        EXPECT_TRUE(row.hasChildren);
}

TEST(AlbumsRows, OneRowPerTitleBySortStringWithAllSongsPinnedFirst)
{
    const std::vector<ZNTMediaLibraryMediaItemPtr> tracks{
        track({.title = "a", .artist = "First", .album = "The Zoo"}),
        track({.title = "b", .artist = "Second", .album = "The Zoo"}),
        track({.title = "c", .artist = "First", .album = "Middle"}),
        track({.title = "d", .album = "Anonymous"}),
        track({.title = "e", .artist = "First", .album = "Remote", .locationType = 2}),
    };
    const BrowserRows rows = SimpleAlbumsController::buildRows(tracks, QString("First"));
    EXPECT_EQ(column(rows), (QStringList{"All Songs", "Anonymous", "Middle", "The Zoo"})) << "\"The \" does not count";
    EXPECT_EQ(rows[0].artist, "First");
    EXPECT_TRUE(rows[0].sortToTop && rows[0].filterByArtist && rows[0].onlyShowTitle);
    EXPECT_EQ(rows[3].artist, "First") << "a shared title is one row, its first track's artist";
    EXPECT_TRUE(rows[1].artist.isNull()) << "an album without an artist has none";
    EXPECT_FALSE(rows[1].sortToTop || rows[1].filterByArtist || rows[1].onlyShowTitle);

    const BrowserRows everyAlbum = SimpleAlbumsController::buildRows(tracks, std::nullopt);
    EXPECT_EQ(column(everyAlbum), (QStringList{"Anonymous", "Middle", "The Zoo"}));
}

TEST(AlbumsRows, ARowOpensTheTracksOfItsAlbumOrForAllSongsItsArtist)
{
    const std::vector<ZNTMediaLibraryMediaItemPtr> tracks{
        track({.title = "a", .artist = "First", .album = "Zoo"}),
        track({.title = "b", .artist = "Second", .album = "Zoo"}),
        track({.title = "untitled album", .artist = "First", .album = ""}),
        track({.title = "no album", .artist = "First"}),
        track({.title = "no artist", .album = ""}),
    };
    auto titlesOf = [](const std::vector<ZNTMediaLibraryMediaItemPtr>& chosen) {
        QStringList titles;
        for (const auto& track : chosen)
            titles << track->title();
        return titles;
    };
    EXPECT_EQ(titlesOf(SimpleAlbumsController::tracksOfRow(tracks, BrowserRow{.title = "Zoo"})), (QStringList{"a", "b"}));
    EXPECT_EQ(titlesOf(SimpleAlbumsController::tracksOfRow(tracks, BrowserRow{.title = ""})),
              (QStringList{"untitled album", "no artist"}))
        << "an album titled with nothing is not every track without an album";
    BrowserRow allSongs{.title = "All Songs", .artist = "First"};
    allSongs.filterByArtist = true;
    EXPECT_EQ(titlesOf(SimpleAlbumsController::tracksOfRow(tracks, allSongs)), (QStringList{"a", "untitled album", "no album"}));
}

TEST(PlaylistsRows, EmptyPlaylistsHiddenSortedBySortName)
{
    const auto songFile = track({.title = "song"});
    const auto stream = track({.title = "stream", .locationType = 2});
    const std::vector<ZNTMediaLibraryPlaylistPtr> playlists{
        std::make_shared<FakePlaylist>("Zed", std::vector{songFile}, "Aaa"),
        std::make_shared<FakePlaylist>("Empty", std::vector<ZNTMediaLibraryMediaItemPtr>{}),
        std::make_shared<FakePlaylist>("Streams only", std::vector{stream}),
        std::make_shared<FakePlaylist>("Beta", std::vector{songFile}),
    };
    const BrowserRows rows = SimplePlaylistsController::buildRows(playlists);
    EXPECT_EQ(column(rows), (QStringList{"Zed", "Beta", "Streams only"}));
    EXPECT_EQ(rows[0].playlist, playlists[0]);
}

class MainMenuRows : public BrowserTest {};

TEST_F(MainMenuRows, LibraryRowsThenTheToneSetsUnlessTurnedOff)
{
    const QList<QVariantMap> sets{{{"title", "Chimes"}, {"setPath", "/sets/chimes"}}, {{"title", "Alerts"}, {"setPath", "/sets/alerts"}}};
    ASSERT_FALSE(defaults->contains("showIncludedRingtones"));
    BrowserRows rows = SimpleMainMenuController::buildRows(*defaults, sets);
    EXPECT_TRUE(defaults->boolValue("showIncludedRingtones")) << "written on first build";
    EXPECT_EQ(column(rows), (QStringList{"LIBRARY", "Songs", "Artists", "Albums", "Movies", "TV Shows", "Playlists", "RINGTONES", "Chimes", "Alerts"}));
    EXPECT_EQ(column(rows, &BrowserRow::itemType).mid(1, 6), (QStringList{"songs", "artists", "albums", "movies", "tv_shows", "playlists"}));
    EXPECT_EQ(rows[1].action, BrowserRow::MenuAction::selectLibraryItem);
    EXPECT_EQ(rows[8].setPath, "/sets/chimes");
    EXPECT_EQ(rows[8].action, BrowserRow::MenuAction::selectRingtoneSetItem);
    EXPECT_EQ(rows[8].image, "ringtone");
    EXPECT_TRUE(rows[0].isGroup && rows[7].isGroup);
    EXPECT_EQ(rows[0].action, BrowserRow::MenuAction::none);

    defaults->setValue("showIncludedRingtones", false);
    rows = SimpleMainMenuController::buildRows(*defaults, sets);
    EXPECT_EQ(rows.size(), 7u);

    defaults->setValue("showIncludedRingtones", true);
    rows = SimpleMainMenuController::buildRows(*defaults, {});
    EXPECT_EQ(column(rows).last(), "RINGTONES") << "the heading stands alone without sets";
}

#include "tests/source/media_library/LibraryFixtures.h"

#include "platform/foundation/Dispatch.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagFixtures.h"

#include <QDir>
#include <QSignalSpy>

#include <thread>

using namespace tolvan;
using namespace tolvan::test;
namespace pl = tolvan::test::plist;

namespace {

QString playlist(const QString& name, QList<std::pair<QString, QString>> extra, std::initializer_list<qint64> ids = {})
{
    QList<std::pair<QString, QString>> entries{{"Name", pl::string(name)}};
    entries += extra;
    entries.append({"Playlist Items", pl::playlistItems(ids)});
    return pl::dict(entries);
}

// Three file tracks, a stream, a dangling ID in the music playlist, and one
// playlist of every kind the user-playlist rule looks at.
QString sampleLibrary()
{
    const QString tracks = pl::dict({
        {"1", pl::fileTrack(1, "The Road", {{"Artist", pl::string("The Band")}, {"Album", pl::string("Trips")},
                                            {"Sort Album", pl::string("Trips, Sorted")}, {"Track Number", pl::integer(3)},
                                            {"Genre", pl::string("Rock")}, {"Protected", pl::boolean(true)}})},
        {"2", pl::fileTrack(2, "Second", {{"Sort Name", pl::string("Zecond")}, {"Album", pl::string("Trips")},
                                          {"Artist", pl::string("Other Artist")}})},
        {"3", pl::fileTrack(3, "Third")},
        {"4", pl::dict({{"Track ID", pl::integer(4)}, {"Name", pl::string("Radio")}, {"Track Type", pl::string("URL")},
                        {"Location", pl::string("http://radio.invalid/live")}})},
    });
    const QString playlists = pl::array({
        playlist("Library", {{"Master", pl::boolean(true)}, {"Visible", pl::boolean(false)}}, {1, 2, 3, 4}),
        playlist("Music", {{"Music", pl::boolean(true)}, {"Distinguished Kind", pl::integer(4)}}, {3, 99, 1, 4, 2}),
        playlist("Movies", {{"Movies", pl::boolean(true)}, {"Distinguished Kind", pl::integer(2)}}),
        playlist("Hidden", {{"Visible", pl::boolean(false)}}, {1}),
        playlist("A Folder", {{"Folder", pl::boolean(true)}}),
        playlist("Road Trip", {}, {2, 42, 1}),
        playlist("Shown", {{"Visible", pl::boolean(true)}, {"Sort Name", pl::string("Aaa")}}),
    });
    return pl::document(pl::dict({{"Major Version", pl::integer(1)},
                                  {"Music Folder", pl::string("file://localhost/srv/Media%20Files/")},
                                  {"Tracks", tracks},
                                  {"Playlists", playlists}}));
}

QStringList titles(const std::vector<ZNTMediaLibraryMediaItemPtr>& items)
{
    QStringList out;
    for (const auto& item : items)
        out << item->title();
    return out;
}

QString nestedArrays(int depth) { return QString("<array>").repeated(depth) + QString("</array>").repeated(depth); }

QStringList names(const std::vector<ZNTMediaLibraryPlaylistPtr>& playlists)
{
    QStringList out;
    for (const auto& p : playlists)
        out << p->name();
    return out;
}

}  // namespace

TEST_F(XMLLibraryTest, LoadsOnItsOwnThreadAndPostsOnceWhenStored)
{
    const QString path = writeLibrary(sampleLibrary());
    defaults->setValue("iTunesRecentDatabasePaths", QStringList{path});
    XMLMediaLibrary library(*defaults);
    QSignalSpy loadingChanges(&library, &ZNTMediaLibrary::loadingChanged);
    EXPECT_TRUE(library.loading());
    EXPECT_EQ(library.librarySize(), 0u) << "nothing is answered before the main thread stores the load";
    EXPECT_TRUE(library.masterMusicPlaylist()->name().isNull());
    EXPECT_FALSE(library.playlistWithKey("Music", true).isValid());
    EXPECT_FALSE(library.lookupPlaylistItems({}).has_value());
    EXPECT_TRUE(library.iTunesMediaPath().isNull());

    int posts = 0;
    bool loadingWhenPosted = false;
    auto token = NotificationCenter::defaultCenter().addObserver(kMusicLibraryDidLoadNotification, &library, [&](const Notification&) {
        ++posts;
        loadingWhenPosted = library.loading();
        EXPECT_TRUE(isMainThread());
    });
    ASSERT_TRUE(waitUntil([&] { return !library.loading(); }, 30000));
    drainEvents();
    EXPECT_EQ(posts, 1);
    EXPECT_TRUE(loadingWhenPosted) << "loading ends after the notification";
    ASSERT_EQ(loadingChanges.count(), 1);
    EXPECT_EQ(loadingChanges[0][0].toBool(), false);
    EXPECT_EQ(library.librarySize(), 4u);
    EXPECT_TRUE(loggedEvents().filter("loadMusicLibraryOnWorkerThread").isEmpty());
}

TEST_F(XMLLibraryTest, LibraryTracksAreTheMusicPlaylistsFilesWithDanglingIDsLeftOut)
{
    auto library = loadText(sampleLibrary());
    QStringList tracks;
    for (const XMLTrackPtr& track : library->tracks())
        tracks << track->name;
    EXPECT_EQ(tracks, (QStringList{"Third", "The Road", "Second"}));

    const auto music = library->masterMusicPlaylist();
    EXPECT_EQ(music->name(), "Music");
    EXPECT_EQ(music->distinguishedKind(), ZNTDistinguishedKindMusic);
    EXPECT_EQ(titles(music->items()), (QStringList{"Third", "The Road", "Radio", "Second"}));
    EXPECT_EQ(library->masterMoviesPlaylist()->name(), "Movies");
    EXPECT_TRUE(library->masterTVShowsPlaylist()->name().isNull());
    EXPECT_TRUE(library->masterTVShowsPlaylist()->items().empty());

    const auto found = library->lookupPlaylistItems({QVariantMap{{"Track ID", 2}}, QVariantMap{{"Track ID", 77}}, QVariantMap{}});
    ASSERT_TRUE(found.has_value());
    ASSERT_EQ(found->size(), 1);
    EXPECT_EQ(found->at(0).value<XMLTrackPtr>()->name, "Second");
    EXPECT_EQ(library->trackInfoForTrackID(3)->name, "Third");
    EXPECT_FALSE(library->trackInfoForTrackID(5));
}

TEST_F(XMLLibraryTest, UserPlaylistsLeaveOutHiddenFoldersAndDistinguished)
{
    auto library = loadText(sampleLibrary());
    const auto playlists = library->userPlaylists();
    EXPECT_EQ(names(playlists), (QStringList{"Road Trip", "Shown"}));
    EXPECT_EQ(titles(playlists[0]->items()), (QStringList{"Second", "The Road"}));
    EXPECT_FALSE(playlists[0]->visible()) << "an absent \"Visible\" reads as false on the record";
    EXPECT_TRUE(playlists[1]->visible());
    EXPECT_EQ(playlists[0]->sortName(), "Road Trip");
    EXPECT_EQ(playlists[1]->sortName(), "Aaa");
    EXPECT_EQ(library->allPlaylists().size(), 7);
    EXPECT_TRUE(library->allPlaylists()[0].value<XMLPlaylistPtr>()->boolValue("Master").value_or(false));
}

TEST_F(XMLLibraryTest, DistinguishedKindsAreMapped)
{
    const std::vector<std::pair<QString, unsigned>> cases{{pl::integer(2), 1},  {pl::integer(3), 2},   {pl::integer(4), 3},
                                                          {pl::integer(5), 4},  {pl::integer(10), 7},  {pl::integer(17), 14},
                                                          {pl::integer(31), 26}, {pl::integer(99), 1023}, {pl::string("4"), 0},
                                                          {QString(), 0}};
    QStringList playlists;
    for (const auto& [value, kind] : cases)
        playlists << (value.isNull() ? playlist("none", {}) : playlist("kind", {{"Distinguished Kind", value}}));
    auto library = loadText(pl::document(pl::dict({{"Tracks", pl::dict({})}, {"Playlists", pl::array(playlists)}})));

    const QVariantList all = library->allPlaylists();
    ASSERT_EQ(all.size(), qsizetype(cases.size()));
    for (size_t i = 0; i < cases.size(); ++i) {
        XMLMediaLibraryPlaylist record(library->snapshot(), all[qsizetype(i)].value<XMLPlaylistPtr>());
        EXPECT_EQ(record.distinguishedKind(), cases[i].second) << cases[i].first.toStdString();
    }
    EXPECT_EQ(names(library->userPlaylists()), (QStringList{"kind", "none"})) << "a mistyped kind is no kind";
}

TEST_F(XMLLibraryTest, OnlyFileLocationsBecomeLocalPaths)
{
    const std::vector<std::tuple<QString, unsigned, QString>> cases{
        {"file:///srv/music/a%20b.mp3", 1, "/srv/music/a b.mp3"},
        {"file://localhost/srv/music/c.m4a", 1, "/srv/music/c.m4a"},
        {"file://LOCALHOST/d.mp3", 1, "/d.mp3"},
        {"file://fileserver/share/e.mp3", 0, ""},
        {"http://example.invalid/f.mp3", 2, ""},
        {"https://example.invalid/g.mp3", 0, ""},
        {"ftp://example.invalid/h.mp3", 0, ""},
        {"HTTP://example.invalid/i.mp3", 0, ""},
        {"Http://example.invalid/j.mp3", 0, ""},
        {"FILE:///srv/music/k.mp3", 0, ""},
        {"file:///", 1, "/"},
        {"file:///srv/l.mp3?v=1#t", 1, "/srv/l.mp3"},
        {"file://Localhost/%C3%A9%20m.mp3", 1, "/é m.mp3"},
        {"file:/srv/n.mp3", 1, "/srv/n.mp3"},
        {"file://localhost", 0, ""},
        {"file://localhostx/o.mp3", 0, ""},
    };
    QList<std::pair<QString, QString>> tracks;
    for (size_t i = 0; i < cases.size(); ++i) {
        const qint64 id = qint64(i) + 1;
        tracks.append({QString::number(id), pl::dict({{"Track ID", pl::integer(id)}, {"Name", pl::string(QString::number(id))},
                                                      {"Location", pl::string(std::get<0>(cases[i]))}})});
    }
    tracks.append({"100", pl::dict({{"Track ID", pl::integer(100)}, {"Name", pl::string("nowhere")}})});
    auto library = loadText(pl::document(pl::dict({{"Tracks", pl::dict(tracks)}})));

    for (size_t i = 0; i < cases.size(); ++i) {
        XMLMediaLibraryMediaItem item(library->snapshot(), library->trackInfoForTrackID(qint64(i) + 1));
        const auto& [location, type, path] = cases[i];
        EXPECT_EQ(item.locationType(), type) << location.toStdString();
        if (type == 1) {
            EXPECT_EQ(item.location().toLocalFile(), path) << location.toStdString();
        }
        EXPECT_TRUE(item.artworkWithSuggestedSize({64, 64}).isNull());
    }
    XMLMediaLibraryMediaItem nowhere(library->snapshot(), library->trackInfoForTrackID(100));
    EXPECT_EQ(nowhere.locationType(), 0u);
    EXPECT_TRUE(nowhere.location().isEmpty());
}

TEST_F(XMLLibraryTest, ValuesOfTheWrongTypeReadAsAbsent)
{
    const QString tracks = pl::dict({
        {"1", pl::dict({{"Track ID", pl::integer(1)}, {"Name", pl::integer(12)}, {"Artist", pl::array({})},
                        {"Track Number", pl::string("7")}, {"Protected", pl::string("yes")}, {"Track Type", pl::string("File")},
                        {"Play Date UTC", pl::string("2020-01-01T00:00:00Z")}, {"Location", pl::dict({})}})},
        {"2", pl::string("not a track")},
        {"3", pl::fileTrack(3, "Fine", {{"Track Number", pl::integer(-2)}})},
    });
    const QString playlists = pl::array({
        pl::string("not a playlist"),
        pl::dict({{"Name", pl::string("Odd")}, {"Visible", pl::string("no")}, {"Folder", pl::integer(1)},
                  {"Music", pl::integer(1)},
                  {"Playlist Items", pl::array({pl::dict({{"Track ID", pl::string("1")}}), pl::string("x"),
                                                pl::dict({{"Track ID", pl::integer(3)}})})}}),
    });
    auto library = loadText(pl::document(pl::dict({{"Tracks", tracks}, {"Playlists", playlists}, {"Music Folder", pl::integer(5)}})));

    EXPECT_EQ(library->librarySize(), 2u);
    XMLMediaLibraryMediaItem odd(library->snapshot(), library->trackInfoForTrackID(1));
    EXPECT_TRUE(odd.title().isNull());
    EXPECT_FALSE(odd.artist());
    EXPECT_EQ(odd.trackNumber(), 0u);
    EXPECT_FALSE(odd.drmProtected());
    EXPECT_EQ(odd.locationType(), 0u);
    EXPECT_TRUE(odd.sortTitle().isNull());
    EXPECT_EQ(XMLMediaLibraryMediaItem(library->snapshot(), library->trackInfoForTrackID(3)).trackNumber(), 0u);
    EXPECT_TRUE(library->recentlyPlayedItems(3).empty());

    const auto user = library->userPlaylists();
    ASSERT_EQ(names(user), QStringList{"Odd"});
    EXPECT_EQ(titles(user[0]->items()), QStringList{"Fine"});
    EXPECT_TRUE(library->masterMusicPlaylist()->name().isNull()) << "\"Music\" must be a boolean";
    EXPECT_EQ(library->iTunesMediaPath(), dir.filePath("iTunes Music"));
}

TEST_F(XMLLibraryTest, TracksAndPlaylistsOfTheWrongTypeAreAbsent)
{
    auto library = loadText(pl::document(pl::dict({{"Tracks", pl::array({})}, {"Playlists", pl::dict({})}})));
    EXPECT_EQ(library->librarySize(), 0u);
    EXPECT_TRUE(library->library()) << "the root dictionary itself was read";
    EXPECT_FALSE(library->lookupPlaylistItems({}).has_value());
    EXPECT_EQ(loggedEvents(), QStringList{"loadMusicLibraryOnWorkerThread: exception"});

    auto noPlaylists = loadText(pl::document(pl::dict({{"Tracks", pl::dict({{"1", pl::fileTrack(1, "One")}})}, {"Playlists", pl::dict({})}})));
    EXPECT_EQ(noPlaylists->librarySize(), 1u);
    EXPECT_TRUE(noPlaylists->tracks().empty());
    EXPECT_TRUE(noPlaylists->userPlaylists().empty());
    EXPECT_TRUE(noPlaylists->allPlaylists().isEmpty());
}

class UnreadableLibrary : public XMLLibraryTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnreadableLibrary, FinishesEmptyAndStillPosts)
{
    const QString kind = GetParam();
    QString path = dir.filePath("missing.xml");
    if (kind == "malformed")
        path = writeLibrary(pl::document(pl::dict({{"Tracks", "<dict><key>1</key>"}})));
    else if (kind == "array")
        path = writeLibrary(pl::document(pl::array({pl::string("a")})));
    else if (kind == "not xml")
        path = writeLibrary("\x01\x02 binary garbage");
    else if (kind == "deep root value")
        path = writeLibrary(pl::document(pl::dict({{"Tracks", pl::dict({})}, {"Deep", nestedArrays(50000)}})));
    else if (kind == "deep track")
        path = writeLibrary(pl::document(pl::dict({{"Tracks", pl::dict({{"1", pl::fileTrack(1, "x", {{"Deep", nestedArrays(50000)}})}})}})));

    auto library = load(path);
    EXPECT_EQ(posts, 1);
    EXPECT_FALSE(library->loading());
    EXPECT_EQ(library->librarySize(), 0u);
    EXPECT_FALSE(library->library());
    EXPECT_TRUE(library->tracks().empty());
    EXPECT_TRUE(library->userPlaylists().empty());
    EXPECT_TRUE(library->allPlaylists().isEmpty());
    EXPECT_TRUE(library->recentlyPlayedItems(3).empty());
    EXPECT_TRUE(library->iTunesMediaPath().isNull());
    EXPECT_TRUE(library->masterMusicPlaylist()->items().empty());

    QStringList expected{"loadMusicLibraryOnWorkerThread: could not load library", "loadMusicLibraryOnWorkerThread: exception"};
    if (kind == "missing")
        expected.prepend("loadMusicLibraryOnWorkerThread: libraryPath does not exist");
    EXPECT_EQ(loggedEvents(), expected);
    const QVariantMap parameters = ZNTAnalytics::eventLog()->front().value("parameters").toMap();
    EXPECT_EQ(parameters.value("libraryPath").toString(), path);
    EXPECT_TRUE(parameters.value("self").toString().startsWith("XMLMediaLibrary"));
}

INSTANTIATE_TEST_SUITE_P(Files, UnreadableLibrary,
                         ::testing::Values("missing", "malformed", "array", "not xml", "deep root value", "deep track"));

TEST_F(XMLLibraryTest, ModestNestingStillLoads)
{
    auto library = loadText(pl::document(pl::dict({{"Tracks", pl::dict({{"1", pl::fileTrack(1, "x", {{"Deep", nestedArrays(100)}})}})},
                                                   {"Playlists", pl::array({playlist("Nested", {{"Deep", nestedArrays(100)}}, {1})})}})));
    EXPECT_EQ(library->librarySize(), 1u);
    EXPECT_EQ(titles(library->userPlaylists().at(0)->items()), QStringList{"x"});
}

TEST_F(XMLLibraryTest, IntegersWithTrailingGarbageReadAsAbsent)
{
    const QString tracks = pl::dict({
        {"1", pl::fileTrack(1, "Garbage", {{"Track Number", "<integer>12abc</integer>"}})},
        {"2", pl::fileTrack(2, "Fraction", {{"Track Number", "<integer>7.5</integer>"}})},
        {"3", pl::fileTrack(3, "Hex", {{"Track Number", "<integer>0x10</integer>"}})},
        {"4", pl::fileTrack(4, "Plain", {{"Track Number", "<integer>9</integer>"}})},
    });
    const QString items = pl::array({pl::dict({{"Track ID", "<integer>4x</integer>"}}), pl::dict({{"Track ID", pl::integer(4)}}),
                                     pl::dict({{"Track ID", "<integer>1 2</integer>"}})});
    auto library = loadText(pl::document(pl::dict({{"Tracks", tracks},
                                                   {"Playlists", pl::array({pl::dict({{"Name", pl::string("List")},
                                                                                      {"Playlist Items", items}})})}})));
    for (qint64 id : {1, 2, 3})
        EXPECT_EQ(XMLMediaLibraryMediaItem(library->snapshot(), library->trackInfoForTrackID(id)).trackNumber(), 0u) << id;
    EXPECT_EQ(XMLMediaLibraryMediaItem(library->snapshot(), library->trackInfoForTrackID(4)).trackNumber(), 9u);
    EXPECT_EQ(titles(library->userPlaylists().at(0)->items()), QStringList{"Plain"}) << "a track ID with garbage names no track";

    const QString badID = pl::dict({{"5", pl::dict({{"Track ID", "<integer>5five</integer>"}, {"Name", pl::string("Bad")}})}});
    auto other = load(writeLibrary(pl::document(pl::dict({{"Tracks", badID}})), "Other.xml"));
    EXPECT_FALSE(other->trackInfoForTrackID(5)->trackID.has_value());
}

TEST_F(XMLLibraryTest, DestroyedWhileLoadingItNeitherHangsNorPosts)
{
    QList<std::pair<QString, QString>> tracks;
    for (qint64 id = 1; id <= 20000; ++id)
        tracks.append({QString::number(id), pl::fileTrack(id, QString::number(id))});
    defaults->setValue("iTunesRecentDatabasePaths", QStringList{writeLibrary(pl::document(pl::dict({{"Tracks", pl::dict(tracks)}})))});

    int posts = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(kMusicLibraryDidLoadNotification, nullptr,
                                                                 [&](const Notification&) { ++posts; });
    for (int i = 0; i < 3; ++i) {
        auto library = std::make_unique<XMLMediaLibrary>(*defaults);
        EXPECT_TRUE(library->loading());
        library.reset();  // still parsing: the load ends, and its hand-over finds no library
    }
    // The main queue runs in order: once this marker has run, so has any hand-over a load queued.
    bool marker = false;
    dispatchMain([&] { marker = true; });
    ASSERT_TRUE(waitUntil([&] { return marker; }, 30000));
    EXPECT_EQ(posts, 0);
}

TEST_F(XMLLibraryTest, GroupNodesNeedAName)
{
    EXPECT_EQ(xmlSourceListGroupNode("Finder"), (QVariantMap{{"Name", "Finder"}, {"group", true}}));
    EXPECT_TRUE(loggedEvents().isEmpty());
    EXPECT_FALSE(xmlSourceListGroupNode(QString()).has_value());
    EXPECT_EQ(loggedEvents(), QStringList{"createGroupWithName() playlist name is nil"});
}

TEST_F(XMLLibraryTest, TrackArtworkIsTheSongCover)
{
    const QByteArray png = imageBytes("PNG", Qt::blue);
    QString error;
    const QString gifFirst = dir.filePath("gif-first.mp3");
    ASSERT_TRUE(writeTone(gifFirst, {.seconds = 0.3}, &error)) << error.toStdString();
    ASSERT_TRUE(setMP3Pictures(gifFirst, {{"image/gif", QByteArray("GIF89a")}, {"image/png", png}}));
    const QString m4a = dir.filePath("clip.m4a");
    ASSERT_TRUE(writeTone(m4a, {.seconds = 0.3}, &error)) << error.toStdString();
    ASSERT_TRUE(setMP4Covers(m4a, {{14, png}}));
    const QString m4v = dir.filePath("clip.m4v");
    ASSERT_TRUE(QFile::copy(m4a, m4v));

    auto library = loadText(pl::document(pl::dict({{"Tracks", pl::dict({
        {"1", pl::fileTrack(1, "gif", {{"Location", pl::string(QUrl::fromLocalFile(gifFirst).toString())}})},
        {"2", pl::fileTrack(2, "m4v", {{"Location", pl::string(QUrl::fromLocalFile(m4v).toString())}})},
    })}})));
    const auto artwork = [&](qint64 id) {
        return XMLMediaLibraryMediaItem(library->snapshot(), library->trackInfoForTrackID(id)).artworkWithSuggestedSize({8, 8});
    };
    EXPECT_TRUE(artwork(1).isNull()) << "the first picture frame is a GIF";
    ASSERT_FALSE(artwork(2).isNull());
    EXPECT_EQ(artwork(2).pixelColor(1, 1), QColor(Qt::blue));
}

TEST_F(XMLLibraryTest, RecentlyPlayedAreTheLatestFilesNewestFirst)
{
    auto played = [](qint64 id, const QString& when, const QString& type = "File") {
        return std::pair{QString::number(id), pl::dict({{"Track ID", pl::integer(id)}, {"Name", pl::string(QString::number(id))},
                                                        {"Track Type", pl::string(type)}, {"Play Date UTC", pl::date(when)}})};
    };
    auto library = loadText(pl::document(pl::dict({{"Tracks", pl::dict({
        played(1, "2021-03-01T10:00:00Z"), played(2, "2023-07-04T08:30:00Z"), played(3, "2019-12-31T23:59:59Z"),
        played(4, "2024-01-01T00:00:00Z"), played(5, "2022-05-05T05:05:05Z"), played(6, "2030-01-01T00:00:00Z", "URL"),
        {"7", pl::fileTrack(7, "7")},
    })}})));

    EXPECT_TRUE(library->recentlyPlayedItems(0).empty());
    EXPECT_EQ(titles(library->recentlyPlayedItems(3)), (QStringList{"4", "2", "5"}));
    EXPECT_EQ(titles(library->recentlyPlayedItems(1)), QStringList{"4"});
    EXPECT_EQ(titles(library->recentlyPlayedItems(50)), (QStringList{"4", "2", "5", "1", "3"}));
}

TEST_F(XMLLibraryTest, FindsTheFileThroughTheRecentPathsOrTheDefault)
{
    defaults->setValue("iTunesRecentDatabasePaths", QStringList{dir.path() + "/sub/../Lib.xml", "/elsewhere.xml"});
    EXPECT_EQ(XMLMediaLibrary(*defaults).iTunesMusicLibraryXMLPath(), dir.filePath("Lib.xml"));

    // A list of one comes back from the settings file as a plain string.
    defaults->setValue("iTunesRecentDatabasePaths", QStringList{dir.filePath("One.xml")});
    UserDefaults reread(dir.filePath("defaults.ini"));
    EXPECT_EQ(XMLMediaLibrary(reread).iTunesMusicLibraryXMLPath(), dir.filePath("One.xml"));

    const QString expanded = QDir::homePath() + "/Music/iTunes/iTunes Music Library.xml";
    for (const QVariant& value : {QVariant(QStringList{}), QVariant(42), QVariant()}) {
        defaults->setValue("iTunesRecentDatabasePaths", value);
        XMLMediaLibrary library(*defaults);
        EXPECT_EQ(library.iTunesMusicLibraryXMLPath(), expanded);
        EXPECT_EQ(library.description(), "XMLMediaLibrary\n\tmusicFolderLocation: " + expanded);
    }
}

TEST_F(XMLLibraryTest, MediaPathIsTheMusicFolderElseBesideTheFile)
{
    auto library = loadText(sampleLibrary());
    EXPECT_EQ(library->iTunesMediaPath(), "/srv/Media Files");
    auto without = load(writeLibrary(pl::document(pl::dict({{"Tracks", pl::dict({})}})), "Other.xml"));
    EXPECT_EQ(without->iTunesMediaPath(), dir.filePath("iTunes Music"));
}

TEST_F(XMLLibraryTest, SourceListNamesTheDistinguishedPlaylistsItFinds)
{
    auto library = loadText(sampleLibrary());
    const auto nodes = library->sourcePlaylists();
    ASSERT_TRUE(nodes.has_value());
    QStringList nodeNames;
    for (const QVariant& node : *nodes)
        nodeNames << node.toMap().value("Name").toString();
    EXPECT_EQ(nodeNames, (QStringList{"iTunes", "Music", "Movies", "Finder", "Opened Files"}));
    EXPECT_TRUE(nodes->at(0).toMap().value("group").toBool());
    EXPECT_EQ(nodes->at(1).toMap().value("Playlist Items").toList().size(), 3) << "the music node holds its file tracks";
    EXPECT_TRUE(nodes->at(4).toMap().value("Opened Files").toBool());
    EXPECT_EQ(loggedEvents(), QStringList(3, "createPlaylistItem() name is nil")) << "TV Shows, Podcasts, Audiobooks";
}

TEST_F(XMLLibraryTest, RecordsReadTheirTrackAndCopiesAnswerAlike)
{
    auto library = loadText(sampleLibrary());
    const auto items = library->masterMusicPlaylist()->items();
    ASSERT_EQ(items.size(), 4u);
    const auto road = items[1];
    EXPECT_EQ(road->sortTitle(), "Road");
    EXPECT_EQ(road->artist()->name(), "The Band");
    EXPECT_EQ(road->artist()->sortName(), "Band");
    EXPECT_EQ(road->album()->title(), "Trips");
    EXPECT_EQ(road->album()->sortTitle(), "Trips, Sorted");
    EXPECT_EQ(road->genre(), "Rock");
    EXPECT_EQ(road->trackNumber(), 3u);
    EXPECT_TRUE(road->drmProtected());
    EXPECT_EQ(items[3]->sortTitle(), "Zecond");
    EXPECT_FALSE(items[0]->artist());
    EXPECT_FALSE(items[0]->album());
    EXPECT_EQ(road->artistName(), "The Band") << "read without making the record";
    EXPECT_EQ(road->albumTitle(), "Trips");
    EXPECT_TRUE(items[0]->artistName().isNull());
    EXPECT_TRUE(items[0]->albumTitle().isNull());

    const auto copy = road->copy();
    EXPECT_EQ(copy->title(), road->title());
    EXPECT_EQ(copy->location(), road->location());
    EXPECT_EQ(copy->artist()->name(), road->artist()->name());

    EXPECT_EQ(road->valueForKeyPath("album.title").toString(), "Trips");
    EXPECT_EQ(road->valueForKeyPath("artist.name").toString(), "The Band");
    EXPECT_FALSE(road->valueForKeyPath("album.name").isValid());
    EXPECT_FALSE(road->valueForKeyPath("composer").isValid());
    EXPECT_FALSE(items[0]->valueForKeyPath("artist.name").isValid());
}

TEST_F(XMLLibraryTest, MasterPlaylistsWrapTheirTracksOncePerLoad)
{
    const QString path = writeLibrary(sampleLibrary());
    defaults->setValue("iTunesRecentDatabasePaths", QStringList{path});
    XMLMediaLibrary library(*defaults);
    const auto takenWhileLoading = library.masterMusicPlaylist();
    ASSERT_TRUE(waitUntil([&] { return !library.loading(); }, 30000));
    EXPECT_TRUE(takenWhileLoading->items().empty()) << "a playlist keeps the library as it was when taken";

    // Lists on several threads read the music playlist at once: each gets the
    // same records, in the playlist's order.
    std::vector<std::vector<ZNTMediaLibraryMediaItemPtr>> read(4);
    std::vector<std::thread> readers;
    for (auto& items : read)
        readers.emplace_back([&library, &items] { items = library.masterMusicPlaylist()->items(); });
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(titles(read[0]), (QStringList{"Third", "The Road", "Radio", "Second"}));
    for (const auto& items : read) {
        ASSERT_EQ(items.size(), read[0].size());
        for (std::size_t index = 0; index < items.size(); ++index)
            EXPECT_EQ(items[index].get(), read[0][index].get()) << "track " << index << " wrapped again";
    }
    const auto movies = library.masterMoviesPlaylist()->items();
    EXPECT_TRUE(std::none_of(movies.begin(), movies.end(), [&](const auto& item) { return item == read[0].front(); }))
        << "each playlist has its own records";
}

TEST_F(XMLLibraryTest, AlbumIndexTakesLocalFilesAndTheFirstArtist)
{
    auto library = loadText(sampleLibrary());
    EXPECT_TRUE(library->albumsFromTracks({}).isEmpty());
    const QVariantMap albums = library->albumsFromTracks(library->masterMusicPlaylist()->items());
    EXPECT_EQ(albums, (QVariantMap{{"Trips", QVariantMap{{"Album", "Trips"}, {"Artist", "The Band"}}}}));

    auto remote = loadText(pl::document(pl::dict({{"Tracks", pl::dict({
        {"1", pl::dict({{"Track ID", pl::integer(1)}, {"Album", pl::string("Web")}, {"Location", pl::string("http://x.invalid/a")}})},
        {"2", pl::dict({{"Track ID", pl::integer(2)}, {"Album", pl::string("Nowhere")}})},
        {"3", pl::fileTrack(3, "Solo", {{"Album", pl::string("Solo")}})},
    })}})));
    std::vector<ZNTMediaLibraryMediaItemPtr> items;
    for (qint64 id : {1, 2, 3})
        items.push_back(XMLMediaLibraryMediaItem::mediaItemWithLibrary(remote->snapshot(), remote->trackInfoForTrackID(id)));
    EXPECT_EQ(remote->albumsFromTracks(items), (QVariantMap{{"Solo", QVariantMap{{"Album", "Solo"}}}}));
}

TEST_F(XMLLibraryTest, ReadersOnOtherThreadsSeeEitherNothingOrTheWholeLoad)
{
    const QString path = writeLibrary(sampleLibrary());
    defaults->setValue("iTunesRecentDatabasePaths", QStringList{path});
    XMLMediaLibrary library(*defaults);
    std::atomic<bool> done{false};
    std::atomic<int> partial{0};
    std::thread reader([&] {
        while (!done) {
            const auto size = library.librarySize();
            const auto user = library.userPlaylists().size();
            const auto music = library.masterMusicPlaylist()->items().size();
            if ((size != 0 && size != 4) || (user != 0 && user != 2) || (music != 0 && music != 4))
                ++partial;
        }
    });
    ASSERT_TRUE(waitUntil([&] { return !library.loading(); }, 30000));
    done = true;
    reader.join();
    EXPECT_EQ(partial, 0);
    EXPECT_EQ(library.userPlaylists().size(), 2u);
}

// A library of many slices, read in several blocks, reads every track in
// order and what stands before and after the tracks.
TEST_F(XMLLibraryTest, ALargeLibraryReadsEveryTrackAndWhatFollows)
{
    constexpr qint64 kTracks = 50001;  // some 10 MB, read in three blocks
    QList<std::pair<QString, QString>> tracks;
    for (qint64 id = 1; id <= kTracks; ++id)
        tracks.append({QString::number(id), pl::fileTrack(id, QStringLiteral("Song %1").arg(id))});
    const QString playlist = pl::dict({{"Name", pl::string("Last")}, {"Playlist Items", pl::playlistItems({kTracks, 1})}});
    const QString path = writeLibrary(pl::document(
        pl::dict({{"Major Version", pl::integer(1)}, {"Tracks", pl::dict(tracks)}, {"Playlists", pl::array({playlist})},
                  {"Music Folder", pl::string("file:///music/")}})));
    QString failure;
    const auto library = readXMLLibraryFile(path, &failure);
    ASSERT_TRUE(library) << failure.toStdString();
    ASSERT_TRUE(library->tracks);
    ASSERT_EQ(library->tracks->size(), std::size_t(kTracks));
    for (qint64 id = 1; id <= kTracks; ++id) {
        ASSERT_EQ(library->tracks->all[std::size_t(id - 1)]->name, QStringLiteral("Song %1").arg(id));
        ASSERT_EQ(library->trackForID(id)->trackID, id);
    }
    ASSERT_TRUE(library->playlists);
    ASSERT_EQ(library->playlists->size(), 1u);
    EXPECT_EQ(library->playlists->front()->itemTrackIDs, (std::vector<qint64>{kTracks, 1}));
    EXPECT_EQ(library->root.value("Major Version").toLongLong(), 1);
    EXPECT_EQ(library->root.value("Music Folder").toString(), "file:///music/");
}

// Another program may shorten the library file in place and write it again
// while it is read: each read gives the whole library or a failure that says
// why, and the process lives on.
TEST_F(XMLLibraryTest, ALibraryShortenedWhileItIsReadGivesAllOrAFailure)
{
    constexpr qint64 kTracks = 12000;
    QList<std::pair<QString, QString>> tracks;
    for (qint64 id = 1; id <= kTracks; ++id)
        tracks.append({QString::number(id), pl::fileTrack(id, QStringLiteral("Song %1").arg(id))});
    const QByteArray text = pl::document(pl::dict({{"Tracks", pl::dict(tracks)}})).toUtf8();
    const QString path = writeLibrary(QString::fromUtf8(text));

    std::atomic<bool> done{false};
    std::atomic<int> rewrites{0};
    std::thread rewriter([&] {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        while (!done) {
            ASSERT_TRUE(file.resize(text.size() / 3));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_TRUE(file.seek(0));
            ASSERT_EQ(file.write(text), text.size());
            ASSERT_TRUE(file.flush());
            ++rewrites;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int round = 0; round < 60; ++round) {
        QString failure;
        if (const auto library = readXMLLibraryFile(path, &failure)) {
            ASSERT_TRUE(library->tracks);
            EXPECT_EQ(library->tracks->size(), std::size_t(kTracks));
        } else {
            EXPECT_FALSE(failure.isEmpty());
        }
    }
    done = true;
    rewriter.join();
    EXPECT_GT(rewrites, 10);

    QString failure;
    const auto library = readXMLLibraryFile(path, &failure);
    ASSERT_TRUE(library) << failure.toStdString();
    EXPECT_EQ(library->tracks->size(), std::size_t(kTracks));
    EXPECT_EQ(library->trackForID(kTracks)->name, QStringLiteral("Song %1").arg(kTracks));
}

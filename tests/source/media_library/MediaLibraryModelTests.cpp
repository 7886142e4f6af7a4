#include "source/media_library/ITLMediaLibrary.h"
#include "source/media_library/MLFMediaLibrary.h"
#include "source/media_library/XMLMediaLibrary.h"
#include "platform/music_library/RecentlyUsedFiles.h"
#include "source/analytics/ZNTAnalytics.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"
#include "tests/support/RecentlyUsedFixtures.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;

TEST(SortString, DropsLeadingPunctuationThenOneTheThenOneA)
{
    const std::vector<std::pair<QString, QString>> cases{
        {"The A Road", "Road"},     {"A The End", "The End"}, {"The  Bell", " Bell"}, {"An Album", "An Album"},
        {"Theory", "Theory"},       {"...And Then", "And Then"}, {"(The) Bell", "The) Bell"}, {"?!...", ""},
        {"The", "The"},             {"the a b", "b"},         {"THE Who", "Who"},     {"", ""},
        {"  Ängel", "Ängel"},
    };
    for (const auto& [text, key] : cases)
        EXPECT_EQ(ZNTMediaLibrary::sortStringFromString(text), key) << text.toStdString();
    EXPECT_TRUE(ZNTMediaLibrary::sortStringFromString(QString()).isNull());
    EXPECT_FALSE(ZNTMediaLibrary::sortStringFromString("?!").isNull()) << "punctuation alone gives the empty key, not null";
}

TEST(NewestFirst, KeepsTheCountLatestInOrderAndNeverUndatedOnes)
{
    const std::vector<std::pair<int, std::optional<int>>> played{{1, 5}, {2, std::nullopt}, {3, 9}, {4, 1}, {5, 7}, {6, 9}, {7, 3}};
    auto dateOf = [](const auto& entry) { return entry.second; };
    auto ids = [](const auto& entries) {
        std::vector<int> out;
        for (const auto& e : entries)
            out.push_back(e.first);
        return out;
    };
    EXPECT_TRUE(newestFirst(played, 0, dateOf).empty());
    const auto three = ids(newestFirst(played, 3, dateOf));
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[2], 5);  // 9, 9, then 7
    EXPECT_EQ(ids(newestFirst(played, 10, dateOf)).size(), 6u);
    EXPECT_TRUE(newestFirst(std::vector<std::pair<int, std::optional<int>>>{}, 3, dateOf).empty());
}

TEST(MediaLibraryRecords, BaseRecordsAnswerNothing)
{
    const ZNTMediaLibraryMediaItem item;
    EXPECT_TRUE(item.title().isNull());
    EXPECT_FALSE(item.artist());
    EXPECT_EQ(item.locationType(), 0u);
    EXPECT_FALSE(item.valueForKeyPath("album.name").isValid());
    EXPECT_FALSE(item.valueForKey("title").isValid());
    EXPECT_TRUE(item.copy()->title().isNull());
    EXPECT_FALSE(ZNTMediaLibraryPlaylist().valueForKey("anything").isValid());
}

namespace {

// A scratch home whose Music folder the folder back ends read.
class FolderBackEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("HOME", home.path().toUtf8());
        ZNTAnalytics::resetForTesting();
    }

    void writeSong(const QString& relative, std::map<QString, QString> tags)
    {
        const QString path = home.filePath("Music/" + relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        test::ToneSpec spec;
        spec.seconds = 0.4;
        spec.tags = std::move(tags);
        QString error;
        ASSERT_TRUE(test::writeTone(path, spec, &error)) << error.toStdString();
    }

    void writeMusicFolder()
    {
        writeSong("a.mp3", {{"title", "The Anthem"}, {"artist", "Choir"}, {"album", "Hymns"}, {"track", "4"}});
        writeSong("b.m4a", {{"title", "Ballad"}});
        QFile list(home.filePath("Music/Favourites.m3u8"));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("b.m4a\na.mp3\n");
    }

    // The logged errors; events (the XML back end's own, logged from its thread) are left out.
    QStringList errorIDs() const
    {
        QStringList ids;
        for (const QVariantMap& item : ZNTAnalytics::eventLog().value_or(QList<QVariantMap>{})) {
            if (item.contains("errorID"))
                ids << item.value("errorID").toString();
        }
        return ids;
    }

    QTemporaryDir home;
};

}  // namespace

TEST_F(FolderBackEnd, ChoiceTakesTheMusicFolderWhenItOpens)
{
    writeMusicFolder();
    std::unique_ptr<ZNTMediaLibrary> library = ZNTMediaLibrary::makeLibrary();
    auto* folder = dynamic_cast<ITLMediaLibrary*>(library.get());
    ASSERT_TRUE(folder) << library->description().toStdString();
    EXPECT_TRUE(errorIDs().isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return !library->loading(); }, 30000));

    EXPECT_EQ(library->librarySize(), 2u);
    EXPECT_EQ(library->iTunesMediaPath(), home.filePath("Music"));
    EXPECT_EQ(library->iTunesVersion(), "1.0");
    EXPECT_TRUE(library->description().startsWith("ITLMediaLibrary {\n\tiTunesVersion : 1.0\n\tapiMajorVersion : 1,"));
    EXPECT_EQ(library->masterMusicPlaylist()->items().size(), 2u);
    EXPECT_EQ(library->masterMusicPlaylist()->distinguishedKind(), ZNTDistinguishedKindMusic);
    EXPECT_TRUE(library->masterMoviesPlaylist()->name().isNull());
    EXPECT_TRUE(library->masterMoviesPlaylist()->items().empty());
    EXPECT_EQ(library->allPlaylists().size(), 2);

    const auto user = library->userPlaylists();
    ASSERT_EQ(user.size(), 1u);
    EXPECT_EQ(user[0]->name(), "Favourites");
    const auto items = user[0]->items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->title(), "Ballad");
    EXPECT_TRUE(items[0]->artist()) << "an item without an artist still has an artist record";
    EXPECT_TRUE(items[0]->artist()->name().isNull());
    EXPECT_EQ(items[1]->sortTitle(), "Anthem");
    EXPECT_EQ(items[1]->trackNumber(), 4u);
    EXPECT_EQ(items[1]->locationType(), ZNTMediaLibraryLocationTypeFile);
    EXPECT_EQ(items[1]->location().toLocalFile(), home.filePath("Music/a.mp3"));
    EXPECT_EQ(items[1]->copy()->album()->title(), "Hymns");
    EXPECT_TRUE(items[1]->artworkWithSuggestedSize({32, 32}).isNull());

    EXPECT_TRUE(library->recentlyPlayedItems(3).empty()) << "without a list of recently used files no song was played";
    EXPECT_EQ(library->albumsFromTracks(library->masterMusicPlaylist()->items()),
              (QVariantMap{{"Hymns", QVariantMap{{"Album", "Hymns"}, {"Artist", "Choir"}}}}));
}

TEST_F(FolderBackEnd, RecentlyPlayedAreTheSongsTheDesktopUsedLastNewestFirst)
{
    writeMusicFolder();
    writeSong("c.flac", {{"title", "Carol"}});
    writeSong("d.mp3", {{"title", "Dirge"}});
    const QString music = home.filePath("Music");
    ASSERT_TRUE(test::writeRecentlyUsedFile(music::defaultRecentlyUsedFile(), test::recentlyUsedXbel({
        {music + "/a.mp3", "2024-02-01T10:00:00Z"},
        {music + "/c.flac", "2024-03-01T10:00:00Z"},
        {music + "/b.m4a", "2024-01-01T10:00:00Z", "2024-04-01T10:00:00Z"},
        {home.filePath("elsewhere.mp3"), "2024-05-01T10:00:00Z"},
    })));

    auto library = ITLMediaLibrary::create();
    ASSERT_TRUE(library);
    ASSERT_TRUE(test::waitUntil([&] { return !library->loading(); }, 30000));
    auto titles = [](const std::vector<ZNTMediaLibraryMediaItemPtr>& items) {
        QStringList out;
        for (const auto& item : items)
            out << item->title();
        return out;
    };
    EXPECT_EQ(titles(library->recentlyPlayedItems(3)), (QStringList{"Ballad", "Carol", "The Anthem"}));
    EXPECT_EQ(titles(library->recentlyPlayedItems(2)), (QStringList{"Ballad", "Carol"}));
    EXPECT_EQ(titles(library->recentlyPlayedItems(10)).size(), 3) << "a song the desktop never used is not among them";
    const auto latest = library->recentlyPlayedItems(1);
    ASSERT_EQ(latest.size(), 1u);
    EXPECT_EQ(latest[0]->location().toLocalFile(), music + "/b.m4a");
}

TEST_F(FolderBackEnd, LoadingEndsWhenTheScanIsStored)
{
    writeMusicFolder();
    auto library = ITLMediaLibrary::create();
    ASSERT_TRUE(library);
    QSignalSpy changes(library.get(), &ZNTMediaLibrary::loadingChanged);
    ASSERT_TRUE(library->loading()) << "the scan runs on after the back end is made";
    ASSERT_TRUE(test::waitUntil([&] { return !library->loading(); }, 30000));
    EXPECT_EQ(library->librarySize(), 2u);
    test::drainEvents();
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(FolderBackEnd, ChoiceFallsBackToTheXMLFileWhenTheFolderCannotOpen)
{
    std::unique_ptr<ZNTMediaLibrary> library = ZNTMediaLibrary::makeLibrary();
    EXPECT_TRUE(dynamic_cast<XMLMediaLibrary*>(library.get())) << library->description().toStdString();
    EXPECT_EQ(errorIDs(), QStringList{"Error opening iTunes library"});
    QVariant error;
    const QList<QVariantMap> log = ZNTAnalytics::eventLog().value_or(QList<QVariantMap>{});
    for (const QVariantMap& item : log) {
        if (item.contains("errorID"))
            error = item.value("error");
    }
    EXPECT_EQ(error.value<Error>().code, MusicFolderLibrary::noMusicFolder);

    QDir().mkpath(home.filePath("Music/Empty"));
    ZNTAnalytics::resetForTesting();
    library = ZNTMediaLibrary::makeLibrary();
    EXPECT_TRUE(dynamic_cast<XMLMediaLibrary*>(library.get()));
    EXPECT_EQ(errorIDs(), QStringList{"Error opening iTunes library"}) << "a folder without audio counts as a failure";
}

TEST_F(FolderBackEnd, SecondBackEndIsUnavailableButAnswersTheMusicPlaylist)
{
    EXPECT_FALSE(MLFMediaLibrary::mediaLibraryFrameworkAvailable());
    {
        MLFMediaLibrary nothing;
        EXPECT_TRUE(nothing.loading());
        EXPECT_EQ(nothing.librarySize(), 0u);
        EXPECT_TRUE(nothing.masterMusicPlaylist()->items().empty());
        EXPECT_EQ(ZNTAnalytics::eventLog()->back().value("event").toString(), "Error creating Media Library");
    }
    writeMusicFolder();
    MLFMediaLibrary library;
    ASSERT_TRUE(test::waitUntil([&] { return !library.loading(); }, 30000));
    EXPECT_EQ(library.librarySize(), 2u);
    const auto music = library.masterMusicPlaylist();
    EXPECT_EQ(music->name(), music->sortName());
    ASSERT_EQ(music->items().size(), 2u);
    EXPECT_EQ(music->items()[0]->sortTitle(), "Anthem");
    EXPECT_FALSE(music->items()[0]->artist());
    EXPECT_EQ(music->items()[0]->trackNumber(), 0u);
    EXPECT_TRUE(library.iTunesMediaPath().isNull());
    EXPECT_TRUE(library.userPlaylists().empty());
    EXPECT_TRUE(library.description().startsWith("MLFMediaLibrary{\n\tmediaibrary : file://"));
}

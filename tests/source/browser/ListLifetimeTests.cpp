// Lists dropped while their rows are still being built: the user leaves a
// list the moment it opens (a search typed and cleared, the back key pressed
// at once). The job on the list's queue must never touch what the list owned;
// the AddressSanitizer run is what turns such a fault into a failure.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleArtistsController.h"
#include "source/browser/SimpleSongsController.h"
#include "source/media_library/XMLMediaLibrary.h"
#include "tests/source/media_library/LibraryFixtures.h"

#include <chrono>
#include <thread>

using namespace browsertest;
namespace pl = tolvan::test::plist;

namespace {

using std::chrono::milliseconds;

// How long after it was made a list is dropped: before its job starts, and
// while the job is reading the library's playlist.
const milliseconds dropDelays[] = {milliseconds(0), milliseconds(5), milliseconds(10), milliseconds(20)};

// A library whose master playlist takes a while to answer, as a large one does.
class SlowPlaylistLibrary : public FakeLibrary {
public:
    ZNTMediaLibraryPlaylistPtr masterMusicPlaylist() const override
    {
        std::this_thread::sleep_for(answerTime);
        return FakeLibrary::masterMusicPlaylist();
    }
    milliseconds answerTime{30};
};

using ListMaker = std::function<std::shared_ptr<BrowserListController>()>;

// Makes a list and drops it after each delay, rounds times over.
void makeAndDropWhileLoading(const ListMaker& make, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        for (const milliseconds delay : dropDelays) {
            std::shared_ptr<BrowserListController> list = make();
            ASSERT_TRUE(list->isLoading());
            std::this_thread::sleep_for(delay);
            list.reset();
        }
    }
    tolvan::test::drainEvents(20);  // rows built for a dropped list arrive nowhere
}

int loadedRowCount(const std::shared_ptr<BrowserListController>& list)
{
    EXPECT_TRUE(tolvan::test::waitUntil([&] { return !list->isLoading(); }, 60000));
    return list->arrangedRows().rowCount();
}

class SlowLibraryListTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        for (int i = 0; i < 40; ++i)
            slow.music.push_back(track({.title = QString("Song %1").arg(i), .artist = "Band", .album = QString("Album %1").arg(i % 4)}));
    }
    BrowserServices slowServices() { return {&host, &slow, &IncludedLibrary::defaultLibrary(), defaults.get()}; }

    SlowPlaylistLibrary slow;
};

TEST_F(SlowLibraryListTest, SongsAndAlbumsListsDroppedWhileTheirPlaylistAnswers)
{
    makeAndDropWhileLoading([&] { return SimpleSongsController::songs(slowServices()); }, 3);
    makeAndDropWhileLoading([&] { return SimpleAlbumsController::albums(slowServices()); }, 3);
    makeAndDropWhileLoading([&] { return SimpleArtistsController::artists(slowServices()); }, 1);
    // Lists of an artist's or an album's tracks own the tracks they were given.
    makeAndDropWhileLoading([&] { return SimpleAlbumsController::albumsWithTracks(slowServices(), slow.music, "Band"); }, 2);
    makeAndDropWhileLoading(
        [&] { return SimpleSongsController::songsWithTracks(slowServices(), slow.music, "Band", SimpleSongsController::Order::trackNumber); }, 2);

    // A list kept to the end still gets its rows.
    EXPECT_EQ(loadedRowCount(SimpleSongsController::songs(slowServices())), 40);
    EXPECT_EQ(loadedRowCount(SimpleAlbumsController::albums(slowServices())), 4);
}

// The real XML back end with a large library: reading its master playlist
// makes a record per track, long enough for a list to be dropped meanwhile.
class LargeXmlLibraryListTest : public BrowserTest {
protected:
    static constexpr int trackCount = 20000;

    void SetUp() override
    {
        BrowserTest::SetUp();
        const QString path = dir.filePath("Large Library.xml");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(libraryText().toUtf8());
        file.close();
        defaults->setValue("iTunesRecentDatabasePaths", QStringList{path});
        xml = std::make_unique<XMLMediaLibrary>(*defaults);
        ASSERT_TRUE(tolvan::test::waitUntil([&] { return !xml->loading() && xml->masterMusicPlaylist(); }, 120000));
    }

    static QString libraryText()
    {
        QList<std::pair<QString, QString>> tracks;
        QStringList items;
        tracks.reserve(trackCount);
        items.reserve(trackCount);
        for (int id = 1; id <= trackCount; ++id) {
            tracks.append({QString::number(id), pl::fileTrack(id, QString("Track %1").arg(id),
                                                               {{"Artist", pl::string(QString("Artist %1").arg(id % 700))},
                                                                {"Album", pl::string(QString("Album %1").arg(id % 2500))}})});
            items << pl::dict({{"Track ID", pl::integer(id)}});
        }
        const QString music = pl::dict({{"Name", pl::string("Music")},
                                        {"Music", pl::boolean(true)},
                                        {"Distinguished Kind", pl::integer(4)},
                                        {"Playlist Items", pl::array(items)}});
        return pl::document(pl::dict({{"Major Version", pl::integer(1)}, {"Tracks", pl::dict(tracks)}, {"Playlists", pl::array({music})}}));
    }

    BrowserServices xmlServices() { return {&host, xml.get(), &IncludedLibrary::defaultLibrary(), defaults.get()}; }

    std::unique_ptr<XMLMediaLibrary> xml;
};

TEST_F(LargeXmlLibraryListTest, SongsAndAlbumsListsDroppedWhileTheyLoad)
{
    makeAndDropWhileLoading([&] { return SimpleSongsController::songs(xmlServices()); }, 2);
    makeAndDropWhileLoading([&] { return SimpleAlbumsController::albums(xmlServices()); }, 2);

    EXPECT_EQ(loadedRowCount(SimpleAlbumsController::albums(xmlServices())), 2500);
    EXPECT_EQ(loadedRowCount(SimpleSongsController::songs(xmlServices())), trackCount);
}

}  // namespace

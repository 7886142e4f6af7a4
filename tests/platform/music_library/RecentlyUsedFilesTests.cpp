// Play dates read from the desktop's list of recently used files.
#include "platform/music_library/RecentlyUsedFiles.h"
#include "tests/support/RecentlyUsedFixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace tolvan;

namespace {

QDateTime utc(const QString& iso) { return QDateTime::fromString(iso, Qt::ISODateWithMs); }

// A path as a file URL writes it, every byte but the letters and "/" encoded.
QString encodedPath(const QString& path) { return QString::fromLatin1(QUrl::toPercentEncoding(path, "/")); }

class RecentlyUsed : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        music = dir.filePath("My Music");
        ASSERT_TRUE(QDir().mkpath(music));
        xbel = dir.filePath("share/recently-used.xbel");
    }

    music::PlayDates read(const std::vector<test::RecentUse>& uses)
    {
        EXPECT_TRUE(test::writeRecentlyUsedFile(xbel, test::recentlyUsedXbel(uses)));
        return music::readPlayDates(xbel, music);
    }

    QTemporaryDir dir;
    QString music;
    QString xbel;
};

}  // namespace

TEST_F(RecentlyUsed, FilesOfTheFolderWithTheLatestOfTheirBookmarkDates)
{
    const QString accented = music + "/Café/Rock & Roll #2 (Live) 100%.mp3";
    const music::PlayDates played = read({
        {music + "/a.mp3", "2024-03-01T10:00:00.123456Z", "2024-03-02T08:00:00Z"},
        {music + "/b.flac", "2024-05-06T07:08:09Z", "2024-01-01T00:00:00Z"},
        {accented, "2024-02-02T02:02:02Z"},
        {{}, "2024-04-04T04:04:04Z", {}, "file://localhost" + encodedPath(music) + "/c.mp3"},
        {{}, "2024-04-05T00:00:00Z", {}, "FILE://" + encodedPath(music) + "/sub/../d.mp3"},
        {music + "/a.mp3", "2023-01-01T00:00:00Z"},  // an older second bookmark of a file
        {music + "/undated.mp3", "yesterday", "-1"},
        {dir.filePath("My Music Extra/e.mp3"), "2024-06-01T00:00:00Z"},
        {dir.filePath("elsewhere/f.mp3"), "2024-06-01T00:00:00Z"},
        {{}, "2024-06-01T00:00:00Z", {}, "file://otherhost" + encodedPath(music) + "/g.mp3"},
        {{}, "2024-06-01T00:00:00Z", {}, "https://example.invalid" + encodedPath(music) + "/h.mp3"},
    });
    const music::PlayDates expected{
        {music + "/a.mp3", utc("2024-03-02T08:00:00Z")},
        {music + "/b.flac", utc("2024-05-06T07:08:09Z")},
        {accented, utc("2024-02-02T02:02:02Z")},
        {music + "/c.mp3", utc("2024-04-04T04:04:04Z")},
        {music + "/d.mp3", utc("2024-04-05T00:00:00Z")},
    };
    EXPECT_EQ(played, expected);
}

TEST_F(RecentlyUsed, FractionsOfASecondAndZoneOffsetsAreKept)
{
    const music::PlayDates played = read({{music + "/a.mp3", "2024-03-01T10:00:00.250Z"}, {music + "/b.mp3", "2024-03-01T12:00:00+02:00"}});
    EXPECT_EQ(played.value(music + "/a.mp3").toMSecsSinceEpoch() % 1000, 250);
    EXPECT_EQ(played.value(music + "/b.mp3"), utc("2024-03-01T10:00:00Z"));
}

TEST_F(RecentlyUsed, MissingUnreadableOrBrokenListsGiveWhatTheyHold)
{
    EXPECT_TRUE(music::readPlayDates(xbel, music).isEmpty()) << "no list";
    EXPECT_TRUE(music::readPlayDates(QString(), music).isEmpty());
    EXPECT_TRUE(music::readPlayDates(dir.path(), music).isEmpty()) << "a folder";
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo.xbel")).constData(), 0600), 0);
    EXPECT_TRUE(music::readPlayDates(dir.filePath("fifo.xbel"), music).isEmpty()) << "a FIFO is not waited on";

    const QByteArray whole = test::recentlyUsedXbel({{music + "/a.mp3", "2024-01-01T00:00:00Z"},
                                                     {music + "/b.mp3", "2024-01-02T00:00:00Z"},
                                                     {music + "/c.mp3", "2024-01-03T00:00:00Z"}});
    const qsizetype third = whole.indexOf("c.mp3");
    ASSERT_TRUE(test::writeRecentlyUsedFile(xbel, whole.left(third)));
    EXPECT_EQ(music::readPlayDates(xbel, music).keys().size(), 2) << "a list cut short keeps the bookmarks before the cut";

    for (const QByteArray& broken : {QByteArray(), QByteArray("not xml at all"), QByteArray("\x00\xff\xfe<<<", 6),
                                     QByteArray("<other><bookmark href=\"file:///x\" modified=\"2024-01-01T00:00:00Z\"/></other>")}) {
        ASSERT_TRUE(test::writeRecentlyUsedFile(xbel, broken));
        EXPECT_TRUE(music::readPlayDates(xbel, music).isEmpty()) << broken.toStdString();
    }
}

TEST_F(RecentlyUsed, LongListsAreReadBlockByBlockPastTheirFaults)
{
    // Some 2 MB: 4,000 bookmarks of other files, every hundredth a song of the folder.
    std::vector<test::RecentUse> uses;
    for (int n = 0; n < 4000; ++n) {
        const QString stamp = QDateTime::fromSecsSinceEpoch(1700000000 + n, Qt::UTC).toString(Qt::ISODate);
        const QString path = n % 100 == 0 ? music + QString("/song %1.mp3").arg(n) : dir.filePath(QString("Documents/file %1.odt").arg(n));
        uses.push_back({path, stamp});
    }
    QByteArray list = test::recentlyUsedXbel(uses);
    ASSERT_GT(list.size(), 1 << 20);
    ASSERT_TRUE(test::writeRecentlyUsedFile(xbel, list));
    music::PlayDates played = music::readPlayDates(xbel, music);
    ASSERT_EQ(played.size(), 40);
    EXPECT_EQ(played.value(music + "/song 0.mp3"), QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC));
    EXPECT_EQ(played.value(music + "/song 3900.mp3"), QDateTime::fromSecsSinceEpoch(1700003900, Qt::UTC));

    // A bookmark broken halfway through costs at most the bookmarks near it.
    const qsizetype middle = list.indexOf("song%202000.mp3");
    ASSERT_GT(middle, 0);
    list.replace(list.lastIndexOf("<bookmark href", middle), 9, "<bookmark<");
    ASSERT_TRUE(test::writeRecentlyUsedFile(xbel, list));
    played = music::readPlayDates(xbel, music);
    EXPECT_FALSE(played.contains(music + "/song 2000.mp3"));
    EXPECT_TRUE(played.contains(music + "/song 1000.mp3"));
    EXPECT_TRUE(played.contains(music + "/song 3900.mp3")) << "the bookmarks after the fault are read";

    // Megabytes of text without the end of a bookmark are not held on to.
    QByteArray endless = test::recentlyUsedXbel({{music + "/a.mp3", "2024-01-01T00:00:00Z"}});
    endless.insert(endless.indexOf("</bookmark>"), "<desc>" + QByteArray(8 << 20, 'x') + "</desc>");
    ASSERT_TRUE(test::writeRecentlyUsedFile(xbel, endless));
    EXPECT_TRUE(music::readPlayDates(xbel, music).isEmpty());

    list.replace(list.indexOf("<xbel"), 5, "<list");
    list.replace(list.lastIndexOf("</xbel>"), 7, "</list>");
    ASSERT_TRUE(test::writeRecentlyUsedFile(xbel, list));
    EXPECT_TRUE(music::readPlayDates(xbel, music).isEmpty()) << "a list of another kind";
}

TEST_F(RecentlyUsed, AFolderReachedThroughALinkMatchesItsRealLocation)
{
    const QString link = dir.filePath("Music");
    ASSERT_TRUE(QFile::link(music, link));
    ASSERT_TRUE(test::writeRecentlyUsedFile(xbel, test::recentlyUsedXbel({{music + "/real.mp3", "2024-01-01T00:00:00Z"},
                                                                           {link + "/linked.mp3", "2024-01-02T00:00:00Z"}})));
    const music::PlayDates played = music::readPlayDates(xbel, link);
    EXPECT_EQ(played.keys().size(), 2);
    EXPECT_TRUE(played.contains(link + "/real.mp3")) << "named as the library's tracks are, below the link";
    EXPECT_TRUE(played.contains(link + "/linked.mp3"));
}

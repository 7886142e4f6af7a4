#include "platform/music_library/MusicFolderLibrary.h"
#include "platform/music_library/MusicFolderScan.h"
#include "platform/music_library/RecentlyUsedFiles.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"
#include "tests/support/RecentlyUsedFixtures.h"
#include "tests/support/TagFixtures.h"
#include "tests/support/FileFixtures.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <sys/stat.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

void writeTagged(const QString& path, std::map<QString, QString> tags, bool id3 = true)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    test::ToneSpec spec;
    spec.seconds = 0.5;
    spec.tags = std::move(tags);
    spec.id3 = id3;
    QString error;
    ASSERT_TRUE(test::writeTone(path, spec, &error)) << error.toStdString();
}

// The ffmpeg command line writes no sort tags into ID3v2.3 or MPEG-4 files; set them directly.
void setSortTags(const QString& path, const std::map<std::string, std::string>& tags)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    ASSERT_FALSE(file.isNull());
    TagLib::PropertyMap properties = file.file()->properties();
    for (const auto& [key, value] : tags)
        properties.replace(key, TagLib::StringList(TagLib::String(value, TagLib::String::UTF8)));
    file.file()->setProperties(properties);
    ASSERT_TRUE(file.save());
}

// A Music folder in a scratch home: two tagged songs, an untagged one, a
// hidden folder, a text file and a playlist file.
class MusicFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("HOME", home.path().toUtf8());
        music = home.filePath("Music");
        ASSERT_EQ(MusicFolderLibrary::defaultMusicFolder(), music);
    }

    void writeSongs()
    {
        writeTagged(music + "/Band/01 First.mp3", {{"title", "First Song"}, {"artist", "The Band"}, {"album", "Album One"},
                                                   {"genre", "Rock"}, {"track", "1"}});
        setSortTags(music + "/Band/01 First.mp3", {{"TITLESORT", "Song, First"}, {"ARTISTSORT", "Band, The"}});
        writeTagged(music + "/Band/02 Second.m4a", {{"title", "Second Song"}, {"artist", "The Band"}, {"album", "Album One"},
                                                    {"track", "2"}});
        setSortTags(music + "/Band/02 Second.m4a", {{"ALBUMSORT", "One"}});
        writeTagged(music + "/untagged.mp3", {}, false);
        writeTagged(music + "/.hidden/secret.mp3", {{"title", "Secret"}});
        writeFile(music + "/notes.txt", "not audio");
        writeFile(music + "/Mix.m3u", "#EXTM3U\n#EXTINF:1,Second\nBand/02 Second.m4a\n\n" + QFile::encodeName(music) +
                                          "/untagged.mp3\nmissing.mp3\nhttp://radio.invalid/stream\n");
    }

    std::shared_ptr<MusicFolderLibrary> openScanned()
    {
        Error error;
        auto library = MusicFolderLibrary::open("1.0", &error);
        EXPECT_TRUE(library) << error.message.toStdString();
        if (library) {
            EXPECT_TRUE(test::waitUntil([&] { return !library->isScanning(); }, 30000));
        }
        return library;
    }

    static MusicTrackPtr trackTitled(const MusicLibraryContents& contents, const QString& title)
    {
        for (const auto& track : contents.tracks) {
            if (track->title == title)
                return track;
        }
        return nullptr;
    }

    QTemporaryDir home;
    QString music;
};

}  // namespace

TEST_F(MusicFolder, ScanReadsTagsAndSkipsHiddenAndNonAudioFiles)
{
    writeSongs();
    auto library = openScanned();
    ASSERT_TRUE(library);
    const auto contents = library->contents();
    ASSERT_EQ(contents->tracks.size(), 3u);

    const MusicTrackPtr first = trackTitled(*contents, "First Song");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->artist, "The Band");
    EXPECT_EQ(first->album, "Album One");
    EXPECT_EQ(first->genre, "Rock");
    EXPECT_EQ(first->trackNumber, 1u);
    EXPECT_EQ(first->sortTitle, "Song, First");
    EXPECT_EQ(first->sortArtist, "Band, The");
    EXPECT_TRUE(first->sortAlbum.isNull());
    EXPECT_EQ(first->location, QUrl::fromLocalFile(music + "/Band/01 First.mp3"));
    EXPECT_FALSE(first->lastPlayedDate.has_value());

    const MusicTrackPtr second = trackTitled(*contents, "Second Song");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->trackNumber, 2u);
    EXPECT_EQ(second->sortAlbum, "One");

    const MusicTrackPtr untagged = trackTitled(*contents, "untagged");
    ASSERT_TRUE(untagged) << "an untagged file is titled by its name";
    EXPECT_TRUE(untagged->artist.isNull());
    EXPECT_EQ(untagged->trackNumber, 0u);
}

TEST_F(MusicFolder, PlaylistsAreTheMusicPlaylistThenPlaylistFiles)
{
    writeSongs();
    auto library = openScanned();
    ASSERT_TRUE(library);
    const auto contents = library->contents();
    ASSERT_EQ(contents->playlists.size(), 2u);

    const auto& all = contents->playlists[0];
    EXPECT_EQ(all->distinguishedKind, MusicFolderLibrary::kMusicDistinguishedKind);
    EXPECT_TRUE(all->allItems);
    EXPECT_EQ(all->items.size(), 3u);

    const auto& mix = contents->playlists[1];
    EXPECT_EQ(mix->name, "Mix");
    EXPECT_EQ(mix->distinguishedKind, 0u);
    EXPECT_FALSE(mix->master);
    ASSERT_EQ(mix->items.size(), 2u) << "missing files and web addresses are left out";
    EXPECT_EQ(mix->items[0]->title, "Second Song");
    EXPECT_EQ(mix->items[1]->title, "untagged");
}

TEST_F(MusicFolder, OpenFailsWithoutFolderWithoutAudioOrForAnotherVersion)
{
    Error error;
    EXPECT_FALSE(MusicFolderLibrary::open("1.0", &error));
    EXPECT_EQ(error.domain, MusicFolderLibrary::kErrorDomain);
    EXPECT_EQ(error.code, MusicFolderLibrary::noMusicFolder);

    writeFile(music + "/notes.txt", "not audio");
    writeTagged(music + "/.hidden/secret.mp3", {});
    EXPECT_FALSE(MusicFolderLibrary::open("1.0", &error));
    EXPECT_EQ(error.code, MusicFolderLibrary::noAudio) << "hidden audio does not count";

    writeTagged(music + "/song.mp3", {});
    EXPECT_FALSE(MusicFolderLibrary::open("2.0", &error));
    EXPECT_EQ(error.code, MusicFolderLibrary::unsupportedVersion);
    EXPECT_TRUE(MusicFolderLibrary::open("1.0", &error));
}

TEST_F(MusicFolder, AFolderWhoseAudioIsGoneOpensOnlyWhileItsIndexKeepsSongs)
{
    writeSongs();
    openScanned().reset();
    for (const QString& song : {"/Band/01 First.mp3", "/Band/02 Second.m4a", "/untagged.mp3"})
        ASSERT_TRUE(QFile::remove(music + song));

    Error error;
    auto library = MusicFolderLibrary::open("1.0", &error);
    ASSERT_TRUE(library) << "the songs kept from before still make a library";
    ASSERT_TRUE(test::waitUntil([&] { return !library->isScanning(); }, 30000));
    EXPECT_TRUE(library->contents()->tracks.empty()) << "the scan finds them gone";
    library.reset();

    ASSERT_TRUE(QFile::remove(MusicFolderLibrary::defaultIndexFile()));
    EXPECT_FALSE(MusicFolderLibrary::open("1.0", &error));
    EXPECT_EQ(error.code, MusicFolderLibrary::noAudio);
}

TEST_F(MusicFolder, OpeningAnswersAtOnceAndTheScanPublishesLater)
{
    writeSongs();
    Error error;
    std::atomic<int> finished{0};
    auto library = MusicFolderLibrary::open("1.0", &error);
    ASSERT_TRUE(library);
    library->setScanFinishedHandler([&] { ++finished; });
    EXPECT_TRUE(library->contents()) << "a snapshot exists before the first scan is done";
    ASSERT_TRUE(test::waitUntil([&] { return finished.load() > 0 && !library->isScanning(); }, 30000));
    EXPECT_EQ(library->contents()->tracks.size(), 3u);
    test::drainEvents();
    EXPECT_EQ(finished.load(), 1);
}

TEST_F(MusicFolder, IndexCacheStartsTheNextRunAndSkipsUnchangedFiles)
{
    writeSongs();
    openScanned().reset();

    // Tamper with the index: an unchanged file keeps its cached tags, a file
    // whose modification time differs is read again.
    const QString indexPath = MusicFolderLibrary::defaultIndexFile();
    QFile indexFile(indexPath);
    ASSERT_TRUE(indexFile.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(indexFile.readAll()).object();
    indexFile.close();
    QJsonArray tracks = root["tracks"].toArray();
    for (auto value : tracks) {
        QJsonObject track = value.toObject();
        if (track["title"] == "First Song")
            track["title"] = "Cached Title";
        if (track["title"] == "Second Song") {
            track["title"] = "Stale Title";
            track["modified"] = 1;
        }
        value = track;
    }
    root["tracks"] = tracks;
    writeFile(indexPath, QJsonDocument(root).toJson());

    Error error;
    auto library = MusicFolderLibrary::open("1.0", &error);
    ASSERT_TRUE(library);
    EXPECT_TRUE(library->contents()) << "a snapshot exists at once; the scan's queue reads the index";
    ASSERT_TRUE(test::waitUntil([&] { return !library->isScanning(); }, 30000));
    EXPECT_TRUE(trackTitled(*library->contents(), "Cached Title"));
    EXPECT_TRUE(trackTitled(*library->contents(), "Second Song"));
    EXPECT_FALSE(trackTitled(*library->contents(), "Stale Title"));
}

TEST_F(MusicFolder, IndexOfAnotherFolderOrMalformedIsIgnored)
{
    writeSongs();
    writeFile(MusicFolderLibrary::defaultIndexFile(), "{ not json");
    auto library = openScanned();
    ASSERT_TRUE(library);
    EXPECT_EQ(library->contents()->tracks.size(), 3u);

    const auto index = music::readIndex(MusicFolderLibrary::defaultIndexFile(), home.filePath("Elsewhere"));
    EXPECT_TRUE(index.tracks.empty());
}

TEST_F(MusicFolder, EachScanTakesPlayDatesFromTheDesktopsRecentlyUsedFiles)
{
    writeSongs();
    const QString recentlyUsed = music::defaultRecentlyUsedFile();
    ASSERT_TRUE(recentlyUsed.startsWith(home.path())) << "the data folder of the scratch home";
    ASSERT_TRUE(test::writeRecentlyUsedFile(recentlyUsed, test::recentlyUsedXbel({
        {music + "/Band/01 First.mp3", "2024-05-01T12:00:00Z"},
        {music + "/untagged.mp3", "2024-04-01T08:30:00.5Z", "2024-04-02T09:00:00Z"},
        {home.filePath("Downloads/other.mp3"), "2024-06-01T00:00:00Z"},
    })));

    auto library = openScanned();
    ASSERT_TRUE(library);
    const auto contents = library->contents();
    const MusicTrackPtr first = trackTitled(*contents, "First Song");
    const MusicTrackPtr untagged = trackTitled(*contents, "untagged");
    ASSERT_TRUE(first && untagged);
    EXPECT_EQ(first->lastPlayedDate, QDateTime::fromString("2024-05-01T12:00:00Z", Qt::ISODate));
    EXPECT_EQ(untagged->lastPlayedDate, QDateTime::fromString("2024-04-02T09:00:00Z", Qt::ISODate));
    EXPECT_FALSE(trackTitled(*contents, "Second Song")->lastPlayedDate) << "a song the list does not name was not played";
    EXPECT_EQ(first->title, "First Song") << "a dated track keeps its tags";
    EXPECT_EQ(first->sortTitle, "Song, First");

    // The playlists hold the dated tracks themselves.
    EXPECT_EQ(contents->playlists[0]->items, contents->tracks);
    ASSERT_EQ(contents->playlists[1]->items.size(), 2u);
    EXPECT_EQ(contents->playlists[1]->items[1], untagged);

    // The dates are the list's, not the index cache's: once the desktop forgets
    // a song, the next run has no date for it.
    library.reset();
    ASSERT_TRUE(test::writeRecentlyUsedFile(recentlyUsed, test::recentlyUsedXbel({{music + "/untagged.mp3", "2024-07-01T00:00:00Z"}})));
    library = openScanned();
    ASSERT_TRUE(library);
    EXPECT_FALSE(trackTitled(*library->contents(), "First Song")->lastPlayedDate);
    EXPECT_EQ(trackTitled(*library->contents(), "untagged")->lastPlayedDate, QDateTime::fromString("2024-07-01T00:00:00Z", Qt::ISODate));
}

TEST_F(MusicFolder, ABrokenRecentlyUsedListStillLoadsTheLibrary)
{
    writeSongs();
    const QByteArray whole = test::recentlyUsedXbel({{music + "/untagged.mp3", "2024-01-01T00:00:00Z"},
                                                     {music + "/Band/01 First.mp3", "2024-01-02T00:00:00Z"}});
    ASSERT_TRUE(test::writeRecentlyUsedFile(music::defaultRecentlyUsedFile(), whole.left(whole.indexOf("01%20First"))));
    auto library = openScanned();
    ASSERT_TRUE(library);
    EXPECT_EQ(library->contents()->tracks.size(), 3u);
    EXPECT_TRUE(trackTitled(*library->contents(), "untagged")->lastPlayedDate) << "the bookmark before the fault counts";
    EXPECT_FALSE(trackTitled(*library->contents(), "First Song")->lastPlayedDate);

    library.reset();
    QFile::remove(music::defaultRecentlyUsedFile());
    ASSERT_EQ(::mkfifo(QFile::encodeName(music::defaultRecentlyUsedFile()).constData(), 0600), 0);
    library = openScanned();
    ASSERT_TRUE(library) << "a list that is a FIFO is not waited on";
    EXPECT_EQ(library->contents()->tracks.size(), 3u);
}

TEST_F(MusicFolder, CoverArtComesFromTheEmbeddedPicture)
{
    QDir().mkpath(music);
    const QString plain = music + "/plain.mp3";
    writeTagged(plain, {{"title", "Plain"}});
    const QString cover = home.filePath("cover.png");
    ASSERT_TRUE(test::runFfmpeg({"-f", "lavfi", "-i", "color=c=red:s=8x8", "-frames:v", "1", cover}));
    const QString withArt = music + "/art.mp3";
    ASSERT_TRUE(test::runFfmpeg({"-i", plain, "-i", cover, "-map", "0", "-map", "1", "-c", "copy", "-id3v2_version", "3",
                                 "-disposition:v", "attached_pic", withArt}));

    const QByteArray art = MusicFolderLibrary::artworkForMediaFile(withArt);
    EXPECT_TRUE(art.startsWith("\x89PNG")) << art.left(8).toHex().toStdString();
    EXPECT_TRUE(MusicFolderLibrary::artworkForMediaFile(plain).isEmpty());
    EXPECT_TRUE(MusicFolderLibrary::artworkForMediaFile(home.filePath("none.mp3")).isEmpty());
}

TEST_F(MusicFolder, ArtworkFollowsTheSongCoverRules)
{
    QDir().mkpath(music);
    const QByteArray jpeg = test::imageBytes("JPEG");
    const QString gifFirst = music + "/gif-first.mp3";
    writeTagged(gifFirst, {});
    ASSERT_TRUE(test::setMP3Pictures(gifFirst, {{"image/gif", QByteArray("GIF89a")}, {"image/jpeg", jpeg}}));
    EXPECT_TRUE(MusicFolderLibrary::artworkForMediaFile(gifFirst).isEmpty()) << "the first picture frame is not JPEG or PNG";

    const QString m4a = music + "/covered.m4a";
    writeTagged(m4a, {});
    ASSERT_TRUE(test::setMP4Covers(m4a, {{13, jpeg}}));
    for (const QString extension : {"m4v", "3gp"}) {
        const QString copy = music + "/covered." + extension;
        ASSERT_TRUE(QFile::copy(m4a, copy));
        EXPECT_EQ(MusicFolderLibrary::artworkForMediaFile(copy), jpeg) << extension.toStdString();
    }
}

TEST_F(MusicFolder, DevicesFifosAndEndlessLinksAreSkippedAndTheScanEnds)
{
    writeTagged(music + "/song.mp3", {{"title", "Song"}});
    ASSERT_TRUE(QFile::link("/dev/zero", music + "/zero.mp3"));
    ASSERT_TRUE(QFile::link("/dev/zero", music + "/endless.m3u"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(music + "/pipe.mp3").constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(music + "/pipe.m3u").constData(), 0600), 0);
    writeFile(music + "/Real.m3u", "song.mp3\nzero.mp3\npipe.mp3\n");

    auto library = openScanned();
    ASSERT_TRUE(library);
    const auto contents = library->contents();
    ASSERT_EQ(contents->tracks.size(), 1u);
    EXPECT_EQ(contents->tracks[0]->title, "Song");
    ASSERT_EQ(contents->playlists.size(), 2u) << "only the regular playlist file is read";
    EXPECT_EQ(contents->playlists[1]->name, "Real");
    ASSERT_EQ(contents->playlists[1]->items.size(), 1u);
    EXPECT_TRUE(music::readPlaylistEntries(music + "/pipe.m3u").isEmpty());
    EXPECT_TRUE(music::readPlaylistEntries(music + "/endless.m3u").isEmpty());
}

TEST_F(MusicFolder, PlaylistFilesAreOrderedByNameWithTheirEntriesInFileOrder)
{
    writeTagged(music + "/a.mp3", {{"title", "A"}});
    writeTagged(music + "/b.mp3", {{"title", "B"}});
    writeTagged(music + "/sub/c.mp3", {{"title", "C"}});
    writeFile(music + "/zeta.m3u", "file:b.mp3\nsub/c.mp3\na.mp3\n");
    writeFile(music + "/sub/Alpha.m3u8", "file:c.mp3\nfile:../a.mp3\n");
    writeFile(music + "/beta.m3u", "file:sub/c.mp3\nb.mp3\n");

    auto library = openScanned();
    ASSERT_TRUE(library);
    QStringList names;
    std::map<QString, QStringList> items;
    for (const auto& playlist : library->contents()->playlists) {
        names << playlist->name;
        for (const auto& track : playlist->items)
            items[playlist->name] << track->title;
    }
    EXPECT_EQ(names, (QStringList{"Music", "Alpha", "beta", "zeta"}));
    EXPECT_EQ(items["zeta"], (QStringList{"B", "C", "A"}));
    EXPECT_EQ(items["Alpha"], (QStringList{"C", "A"})) << "relative file URLs resolve against the playlist's folder";
    EXPECT_EQ(items["beta"], (QStringList{"C", "B"}));
}

TEST(PlaylistEntries, UrlsBackslashesCommentsAndRelativePaths)
{
    QTemporaryDir dir;
    const QString list = dir.filePath("lists/a.m3u8");
    writeFile(list, "\xEF\xBB\xBF#EXTM3U\r\n"
                    "song one.mp3\r\n"
                    "..\\other\\two.mp3\r\n"
                    "file:///abs/three%20x.mp3\n"
                    "file://localhost/abs/four.mp3\n"
                    "file:six%20x.mp3\n"
                    "file:../seven.mp3\n"
                    "https://example.invalid/five.mp3\n"
                    "  # a comment\n");
    const QStringList entries = music::readPlaylistEntries(list);
    EXPECT_EQ(entries, (QStringList{dir.filePath("lists/song one.mp3"), dir.filePath("other/two.mp3"), "/abs/three x.mp3",
                                    "/abs/four.mp3", dir.filePath("lists/six x.mp3"), dir.filePath("seven.mp3")}));
    EXPECT_TRUE(music::readPlaylistEntries(dir.filePath("missing.m3u")).isEmpty());
}

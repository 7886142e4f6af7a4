#include "platform/media/TagLibAdapter.h"

#include "tests/support/AudioFileTest.h"
#include "tests/support/TagFixtures.h"

#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

class TagLibAdapterTest : public AudioFileTest {
protected:
    const QByteArray jpeg = imageBytes("JPEG", Qt::red);
    const QByteArray png = imageBytes("PNG", Qt::blue);
    const QByteArray gif = QByteArray("GIF89a\x01\0\x01\0", 10);  // Qt writes no GIF; these bytes are only compared

    QString song(const QString& name) { return tone(name, {.seconds = 0.3}); }

    // An MPEG-4 song with covers, copied under another extension.
    QString mp4SongNamed(const QString& name, const std::vector<std::pair<int, QByteArray>>& covers)
    {
        const QString source = song("source-" + name + ".m4a");
        EXPECT_TRUE(setMP4Covers(source, covers));
        const QString path = dir.filePath(name);
        EXPECT_TRUE(QFile::copy(source, path));
        return path;
    }
};

}  // namespace

TEST_F(TagLibAdapterTest, StringsKeysAndBytesCrossBothWays)
{
    const QString text = QString::fromUtf8("Sång – ♫ 𝄞");
    EXPECT_EQ(fromTagLibString(toTagLibString(text)), text);
    EXPECT_EQ(toTagLibString(text).size(), unsigned(text.size())) << "built from UTF-8, not Latin-1";

    const QByteArray key("\251nam");
    EXPECT_EQ(toTagLibKey(key).size(), 4u);
    EXPECT_EQ(fromTagLibKey(toTagLibKey(key)), key);

    const QByteArray bytes("a\0b\xff", 4);
    EXPECT_EQ(fromTagLibBytes(toTagLibBytes(bytes)), bytes);
}

TEST_F(TagLibAdapterTest, EmbeddedPicturesOfEachTagKindInStoredOrder)
{
    const QString mp3 = song("song.mp3");
    ASSERT_TRUE(setMP3Pictures(mp3, {{"image/gif", gif}, {"image/jpeg", jpeg}}));
    TagLib::MPEG::File mpegFile(tagLibFileName(mp3).constData());
    const auto id3 = embeddedPictures(mpegFile);
    ASSERT_EQ(id3.size(), 2u);
    EXPECT_EQ(id3[0].mimeType, "image/gif");
    EXPECT_EQ(id3[0].bytes, gif);
    EXPECT_EQ(id3[1].format, PictureFormat::jpeg);
    EXPECT_EQ(id3[1].bytes, jpeg);

    const QString m4a = mp4SongNamed("covers.m4a", {{14, png}, {12, gif}, {0, QByteArray("raw")}});
    TagLib::MP4::File mp4File(tagLibFileName(m4a).constData());
    const auto covers = embeddedPictures(mp4File);
    ASSERT_EQ(covers.size(), 3u);
    EXPECT_EQ(covers[0].mimeType, "image/png");
    EXPECT_EQ(covers[0].format, PictureFormat::png);
    EXPECT_EQ(covers[1].mimeType, "image/gif");
    EXPECT_EQ(covers[2].format, PictureFormat::unknown);
    EXPECT_TRUE(covers[2].mimeType.isEmpty());
    EXPECT_EQ(covers[2].bytes, "raw");

    const QString flac = song("song.flac");
    {
        TagLib::FLAC::File file(tagLibFileName(flac).constData());
        ASSERT_TRUE(file.isValid());
        auto* picture = new TagLib::FLAC::Picture;
        picture->setMimeType("image/png");
        picture->setData(toTagLibBytes(png));
        file.addPicture(picture);
        ASSERT_TRUE(file.save());
    }
    TagLib::FLAC::File flacFile(tagLibFileName(flac).constData());
    const auto blocks = embeddedPictures(flacFile);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].format, PictureFormat::png);
    EXPECT_EQ(blocks[0].bytes, png);
}

TEST_F(TagLibAdapterTest, SongCoverFollowsTheExtensionTable)
{
    for (const QString name : {"clip.m4v", "phone.3gp", "book.M4B", "plain.mp4", "video.mp4v", "adts.aac"}) {
        const QString path = mp4SongNamed(name, {{13, jpeg}, {14, png}});
        const auto cover = songCoverPicture(path);
        ASSERT_TRUE(cover) << name.toStdString();
        EXPECT_EQ(cover->bytes, jpeg) << name.toStdString();
        EXPECT_EQ(cover->format, PictureFormat::jpeg);
    }
    EXPECT_EQ(songCoverPicture(mp4SongNamed("gif.m4a", {{12, gif}}))->bytes, gif) << "MPEG-4 covers of any format count";
    EXPECT_FALSE(songCoverPicture(mp4SongNamed("tone.m4r", {{13, jpeg}}))) << "a finished tone is no song";

    const QString gifFirst = song("gif-first.mp3");
    ASSERT_TRUE(setMP3Pictures(gifFirst, {{"image/gif", gif}, {"image/jpeg", jpeg}}));
    EXPECT_FALSE(songCoverPicture(gifFirst)) << "only the first picture frame counts";

    const QString flac = song("song.flac");
    EXPECT_FALSE(songCoverPicture(flac));
}

TEST_F(TagLibAdapterTest, OnlyRegularFilesAreOpened)
{
    const QString real = song("real.mp3");
    ASSERT_TRUE(setMP3Pictures(real, {{"image/jpeg", jpeg}}));
    const QString link = dir.filePath("link.mp3");
    ASSERT_TRUE(QFile::link(real, link));
    EXPECT_TRUE(isRegularFile(link));
    EXPECT_EQ(songCoverPicture(link)->bytes, jpeg) << "a link to a song is the song";

    const QString zero = dir.filePath("zero.mp3");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const QString fifo = dir.filePath("pipe.m4a");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {zero, fifo, dir.path(), dir.filePath("missing.mp3"), QString()}) {
        EXPECT_FALSE(isRegularFile(path)) << path.toStdString();
        EXPECT_FALSE(songCoverPicture(path)) << path.toStdString();
    }
}

TEST_F(TagLibAdapterTest, NativeItemsOfEachTagKind)
{
    const QString mp3 = song("song.mp3");
    ASSERT_TRUE(setMP3Pictures(mp3, {{"image/png", png}}));
    const auto frames = id3v2Items(mp3);
    const auto picture = std::find_if(frames.begin(), frames.end(), [](const auto& item) { return item.key == "APIC"; });
    ASSERT_NE(picture, frames.end());
    EXPECT_EQ(picture->value.toByteArray(), png);
    EXPECT_EQ(picture->mimeType, "image/png");
    for (const NativeTagItem& item : frames)
        EXPECT_TRUE(item.key == "APIC" || item.key.startsWith('T') || item.key == "COMM") << item.key.toStdString();

    const QString m4a = mp4SongNamed("song.m4a", {{14, png}, {13, jpeg}});
    ASSERT_TRUE(writeTags(m4a, {.title = QString::fromUtf8("Sång"), .artist = {}, .album = {}, .comment = {}, .mp4Cover = {}}));
    const auto items = mp4Items(m4a);
    auto find = [&](const QByteArray& key) { return std::find_if(items.begin(), items.end(), [&](const auto& item) { return item.key == key; }); };
    ASSERT_NE(find("covr"), items.end());
    EXPECT_EQ(find("covr")->value.toByteArray(), png) << "the first cover stands for the list";
    EXPECT_EQ(find("covr")->mimeType, "image/png");
    ASSERT_NE(find("\251nam"), items.end());
    EXPECT_EQ(find("\251nam")->value.toString(), QString::fromUtf8("Sång"));

    EXPECT_TRUE(id3v2Items(m4a).empty());
    EXPECT_TRUE(mp4Items(mp3).empty());
    EXPECT_FALSE(readSongTags(dir.filePath("missing.mp3")));
    EXPECT_EQ(readSongTags(m4a)->title, QString::fromUtf8("Sång"));
}

TEST_F(TagLibAdapterTest, PropertiesOfTheOtherFormatsAndNeverAPicturesDescription)
{
    const QString flac = tone("song.flac", {.seconds = 0.3, .tags = {{"title", "Sång"}, {"artist", "Anna"}}});
    ASSERT_TRUE(setPictureBlocks(flac, {{"image/png", png, "album cover"}}));
    const auto items = propertyItems(flac);
    ASSERT_TRUE(items);
    QStringList seen;
    for (const NativeTagItem& item : *items)
        seen << QString::fromUtf8(item.key) + "=" + item.value.toString();
    EXPECT_TRUE(seen.contains(QString::fromUtf8("TITLE=Sång"))) << seen.join(", ").toStdString();
    EXPECT_TRUE(seen.contains("ARTIST=Anna"));
    EXPECT_FALSE(seen.join(",").contains("album cover"));

    ASSERT_TRUE(removeCommentFields(flac));
    ASSERT_TRUE(propertyItems(flac));
    EXPECT_TRUE(propertyItems(flac)->empty()) << "no tags: nothing, the picture's description neither";

    QFile text(dir.filePath("notes.flac"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a song at all");
    text.close();
    EXPECT_FALSE(propertyItems(text.fileName())) << "a file TagLib cannot read";
    EXPECT_FALSE(propertyItems(dir.filePath("missing.ogg")));
}

TEST_F(TagLibAdapterTest, PictureFormatsByTheirSignatures)
{
    EXPECT_EQ(pictureFormatOfBytes(jpeg), PictureFormat::jpeg);
    EXPECT_EQ(pictureFormatOfBytes(png), PictureFormat::png);
    EXPECT_EQ(pictureFormatOfBytes(gif), PictureFormat::unknown);
    EXPECT_EQ(pictureFormatOfBytes({}), PictureFormat::unknown);
}

TEST_F(TagLibAdapterTest, ATailThatIsNoMP4FileIsNotTagged)
{
    QString failure;
    const QByteArray junk(64, 'x');
    const auto tagged = mp4TailWithItems(0, junk, [](qint64, qint64) { return QByteArray(); }, {{"\251nam", QStringLiteral("x")}}, &failure);
    EXPECT_FALSE(tagged);
    EXPECT_EQ(failure, "The written file cannot be tagged");
}

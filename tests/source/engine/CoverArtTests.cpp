#include "source/engine/CoverArt.h"

#include "platform/media/AssetWriter.h"

#include "tests/support/AudioFileTest.h"
#include "tests/support/TagFixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <taglib/fileref.h>
#include <taglib/mp4file.h>

using namespace tolvan::test;

class CoverArtTest : public AudioFileTest {
protected:
    const QByteArray jpeg = imageBytes("JPEG", Qt::red);
    const QByteArray png = imageBytes("PNG", Qt::blue);

    QString tone(const QString& name, ToneSpec spec = {.seconds = 0.5}) { return AudioFileTest::tone(name, spec); }
};

TEST_F(CoverArtTest, MP3TakesTheFirstPictureFrameWhenJPEGOrPNG)
{
    const QString path = tone("song.mp3");
    ASSERT_TRUE(setMP3Pictures(path, {{"image/png", png}, {"image/jpeg", jpeg}}));
    EXPECT_EQ(tagLibCoverArtDataForFileAtPath(path), png);
    EXPECT_FALSE(tagLibCoverArtImageForFileAtPath(path).isNull());
    EXPECT_EQ(tagLibCoverArtImageForFileAtPath(path).pixelColor(2, 2), QColor(Qt::blue));
}

TEST_F(CoverArtTest, MP3WhoseFirstPictureIsGIFHasNone)
{
    const QString path = tone("gif.mp3");
    ASSERT_TRUE(setMP3Pictures(path, {{"image/gif", imageBytes("GIF")}, {"image/jpeg", jpeg}}));
    EXPECT_FALSE(tagLibCoverArtDataForFileAtPath(path).has_value());
    EXPECT_TRUE(tagLibCoverArtImageForFileAtPath(path).isNull());
}

TEST_F(CoverArtTest, ExtensionCaseIsIgnoredAndEmptyPicturesAreNone)
{
    const QString upper = tone("LOUD.MP3");
    ASSERT_TRUE(setMP3Pictures(upper, {{"image/jpeg", jpeg}}));
    EXPECT_EQ(tagLibCoverArtDataForFileAtPath(upper), jpeg);

    const QString empty = tone("empty.mp3");
    ASSERT_TRUE(setMP3Pictures(empty, {{"image/jpeg", {}}}));
    EXPECT_FALSE(tagLibCoverArtDataForFileAtPath(empty).has_value());

    const QString bare = tone("bare.mp3", {.seconds = 0.5, .id3 = false});
    EXPECT_FALSE(tagLibCoverArtDataForFileAtPath(bare).has_value());
}

TEST_F(CoverArtTest, MP4TakesTheFirstCoverOfAnyFormat)
{
    const QString path = tone("song.m4a");
    ASSERT_TRUE(setMP4Covers(path, {{14, png}, {13, jpeg}}));
    EXPECT_EQ(tagLibCoverArtDataForFileAtPath(path), png);

    const QString garbage = tone("garbage.m4a");
    ASSERT_TRUE(setMP4Covers(garbage, {{13, QByteArray("not an image")}}));
    EXPECT_EQ(tagLibCoverArtDataForFileAtPath(garbage), QByteArray("not an image"));
    EXPECT_TRUE(tagLibCoverArtImageForFileAtPath(garbage).isNull());
}

TEST_F(CoverArtTest, FinishedTonesUnknownAndBrokenFilesHaveNone)
{
    const QString tonePath = tone("finished.m4a");
    ASSERT_TRUE(setMP4Covers(tonePath, {{13, jpeg}}));
    const QString m4r = dir.filePath("finished.m4r");
    ASSERT_TRUE(QFile::copy(tonePath, m4r));
    EXPECT_FALSE(tagLibCoverArtDataForFileAtPath(m4r).has_value());

    ASSERT_TRUE(writeBytes(dir.filePath("noise.mp3"), QByteArray(4096, '\x5a')));
    EXPECT_FALSE(tagLibCoverArtDataForFileAtPath(dir.filePath("noise.mp3")).has_value());
    EXPECT_FALSE(tagLibCoverArtDataForFileAtPath(dir.filePath("missing.m4a")).has_value());
    EXPECT_FALSE(tagLibCoverArtDataForFileAtPath(QString()).has_value());
    EXPECT_TRUE(tolvanPreviewOfFileAtPath(QString(), {64, 64}).isNull());
}

TEST_F(CoverArtTest, StringsCrossAsUTF8)
{
    const QString text = QString::fromUtf8("Björk – Jóga ♫");
    EXPECT_EQ(stringWithTagLibString(tagLibString(text)), text);
    EXPECT_EQ(stringWithTagLibString(tagLibString(QString())), QString(""));
}

TEST_F(CoverArtTest, WritesTagsAndTheOriginalsCoverIntoAnMP4)
{
    const QString original = tone("original.mp3");
    ASSERT_TRUE(setMP3Pictures(original, {{"image/png", png}}));
    const QString target = tone("tone.m4a");
    ASSERT_TRUE(ZNTWriteTagsAndCoverArt(target, {{"Name", QString::fromUtf8("Sång")},
                                                 {"Artist", "Band"},
                                                 {"Album", "Record"},
                                                 {"Comment", "Made here"},
                                                 {"originalFilePath", original}}));
    TagLib::MP4::File file(target.toUtf8().constData());
    ASSERT_TRUE(file.tag());
    EXPECT_EQ(stringWithTagLibString(file.tag()->title()), QString::fromUtf8("Sång"));
    EXPECT_EQ(stringWithTagLibString(file.tag()->artist()), "Band");
    EXPECT_EQ(stringWithTagLibString(file.tag()->album()), "Record");
    EXPECT_EQ(stringWithTagLibString(file.tag()->comment()), "Made here");
    const auto covers = file.tag()->item("covr").toCoverArtList();
    ASSERT_EQ(covers.size(), 1u);
    EXPECT_EQ(covers.front().format(), TagLib::MP4::CoverArt::PNG);
    EXPECT_EQ(QByteArray(covers.front().data().data(), covers.front().data().size()), png);
}

namespace {

// A short silent AAC tone written by the asset writer with these metadata items.
bool writeToneWithMetadata(const QString& path, std::vector<tolvan::MetadataItem> metadata)
{
    using namespace tolvan;
    auto writer = AssetWriter::assetWriterWithURL(path, FileTypeAppleM4A);
    auto input = AssetWriterInput::assetWriterInputWithMediaType(
        MediaType::Audio, {.formatID = AudioFormatMPEG4AAC, .bitRate = 128000});
    writer->addInput(input);
    writer->setMetadata(std::move(metadata));
    if (!writer->startWriting())
        return false;
    writer->startSessionAtSourceTime(MediaTime::zero());
    const FormatDescription format{MediaType::Audio, "pcm", AudioOutputSettings().streamDescription()};
    const SampleBuffer silence(format, MediaTime::zero(), std::vector<uint8_t>(4096 * 4));
    return input->appendSampleBuffer(silence) && (input->markAsFinished(), writer->finishWriting());
}

}  // namespace

TEST_F(CoverArtTest, TheWritersCoverAndTheCopiedCoverReadBackTheSame)
{
    for (const QByteArray& picture : {jpeg, png}) {
        const QString original = tone("original.m4a");
        ASSERT_TRUE(setMP4Covers(original, {{picture == jpeg ? 13 : 14, picture}}));
        const QString written = dir.filePath("written.m4a");
        ASSERT_TRUE(writeToneWithMetadata(written, {{QStringLiteral("covr"), tolvan::MetadataKeySpaceiTunes, {}, picture, {}}}));
        const QString copied = tone("copied.m4a");
        ASSERT_TRUE(ZNTWriteTagsAndCoverArt(copied, {{"originalFilePath", original}}));

        const auto fromWriter = tolvan::songCoverPicture(written);
        const auto fromCopy = tolvan::songCoverPicture(copied);
        ASSERT_TRUE(fromWriter && fromCopy);
        EXPECT_EQ(fromWriter->bytes, picture);
        EXPECT_EQ(fromCopy->bytes, picture);
        EXPECT_EQ(fromWriter->format, picture == jpeg ? tolvan::PictureFormat::jpeg : tolvan::PictureFormat::png);
        EXPECT_EQ(fromCopy->format, fromWriter->format);
        EXPECT_EQ(fromCopy->mimeType, fromWriter->mimeType);
        for (const QString& path : {written, copied}) {
            const auto items = tolvan::mp4Items(path);
            const auto cover = std::find_if(items.begin(), items.end(), [](const auto& item) { return item.key == "covr"; });
            ASSERT_NE(cover, items.end()) << path.toStdString();
            EXPECT_EQ(cover->value.toByteArray(), picture);
        }
        for (const QString& path : {original, written, copied})
            QFile::remove(path);
    }
}

TEST_F(CoverArtTest, TheLogListsEveryItemOfAnMP4Tag)
{
    const QString target = dir.filePath("tone.m4a");
    ASSERT_TRUE(writeToneWithMetadata(target, {{QStringLiteral("tmpo"), tolvan::MetadataKeySpaceiTunes, {}, 120, {}},
                                               {QStringLiteral("\u00a9nam"), tolvan::MetadataKeySpaceiTunes, {}, QStringLiteral("T"), {}}}));
    const auto numbers = tolvan::mp4ItemNumbers(target);
    auto find = [&](const QString& key) { return std::find_if(numbers.begin(), numbers.end(), [&](const auto& item) { return item.first == key; }); };
    ASSERT_NE(find("tmpo"), numbers.end());
    EXPECT_EQ(find("tmpo")->second, 120);
    EXPECT_NE(find(QString::fromUtf8("\u00a9nam")), numbers.end());
    EXPECT_TRUE(tolvan::mp4ItemNumbers(tone("tone.mp3")).empty()) << "an MP3 has no MPEG-4 tag";
}

TEST_F(CoverArtTest, WritingTextTagsIntoAnMP3LeavesItsPicturesAlone)
{
    const QString target = tone("song.mp3");
    ASSERT_TRUE(setMP3Pictures(target, {{"image/jpeg", jpeg}}));
    EXPECT_TRUE(ZNTWriteTagsAndCoverArt(target, {{"Name", "New"}}));
    TagLib::FileRef file(target.toUtf8().constData());
    EXPECT_EQ(stringWithTagLibString(file.tag()->title()), "New");
    EXPECT_EQ(tagLibCoverArtDataForFileAtPath(target), jpeg);
    EXPECT_FALSE(ZNTWriteTagsAndCoverArt(dir.filePath("missing.mp3"), {{"Name", "x"}}));
}

TEST_F(CoverArtTest, AnEmptyDictionaryLeavesTheFileUntouched)
{
    const QString target = tone("untouched.m4a");
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    EXPECT_FALSE(ZNTWriteTagsAndCoverArt(target, {}));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before) << "nothing is saved without information to write";
}

TEST_F(CoverArtTest, PreviewFallsFromCoverToThumbnailToTheDefaultCover)
{
    const QString withCover = tone("cover.mp3");
    ASSERT_TRUE(setMP3Pictures(withCover, {{"image/png", png}}));
    EXPECT_EQ(tolvanPreviewOfFileAtPath(withCover, {8, 8}).pixelColor(1, 1), QColor(Qt::blue));

    const QString picture = dir.filePath("picture.png");
    QImage yellow(8, 8, QImage::Format_RGB32);
    yellow.fill(Qt::yellow);
    ASSERT_TRUE(yellow.save(picture));
    EXPECT_EQ(tolvanPreviewOfFileAtPath(picture, {8, 8}).pixelColor(1, 1), QColor(Qt::yellow));

    const QImage fallback = tolvanPreviewOfFileAtPath(tone("plain.wav"), {8, 8});
    EXPECT_EQ(fallback.size(), QSize(256, 256));  // the bundle's "default_cover"
}

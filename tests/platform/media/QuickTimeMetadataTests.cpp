#include "platform/media/QuickTimeMetadata.h"

#include "tests/support/AudioFixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <taglib/mp4file.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const std::vector<QuickTimeMetadataItem> kDate{{kQuickTimeMetadataKeyCreationDate, "2026-12-08 23:30:00 +0000"}};

}  // namespace

class QuickTimeMetadataTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString song(const QString& name, QStringList extra = {})
    {
        const QString plain = dir.filePath("plain-" + name);
        EXPECT_TRUE(writeTone(plain, {.seconds = 1.0, .tags = {{"title", "Song"}}}));
        if (extra.isEmpty())
            return plain;
        const QString path = dir.filePath(name);
        EXPECT_TRUE(runFfmpeg(QStringList{"-i", plain, "-c", "copy"} + extra + QStringList{path}));
        return path;
    }
};

TEST_F(QuickTimeMetadataTest, WrittenItemsReadBackAndTheAudioIsUntouched)
{
    const QString path = song("song.m4a");
    const QByteArray audioBefore = decodeWithFfmpeg(path, 44100, 2);
    ASSERT_EQ(readQuickTimeMetadata(path), std::vector<QuickTimeMetadataItem>{});

    const std::vector<QuickTimeMetadataItem> items{{kQuickTimeMetadataKeyCreationDate, "2026-12-08 23:30:00 +0100"},
                                                   {"com.example.note", QString::fromUtf8("Grüße")}};
    Error error;
    ASSERT_TRUE(writeQuickTimeMetadata(path, items, &error)) << error.message.toStdString();
    EXPECT_EQ(readQuickTimeMetadata(path), items);
    EXPECT_EQ(decodeWithFfmpeg(path, 44100, 2), audioBefore);

    TagLib::MP4::File file(path.toUtf8().constData());
    ASSERT_TRUE(file.isValid());
    EXPECT_EQ(file.tag()->title().to8Bit(true), "Song");
}

TEST_F(QuickTimeMetadataTest, MovieBeforeMediaDataMovesTheChunkOffsets)
{
    const QString path = song("fast.m4a", {"-movflags", "+faststart"});
    const QByteArray audioBefore = decodeWithFfmpeg(path, 44100, 2);
    ASSERT_FALSE(audioBefore.isEmpty());
    ASSERT_TRUE(writeQuickTimeMetadata(path, kDate));
    EXPECT_EQ(readQuickTimeMetadata(path), kDate);
    EXPECT_EQ(decodeWithFfmpeg(path, 44100, 2), audioBefore);
}

TEST_F(QuickTimeMetadataTest, WritingAgainReplacesTheItems)
{
    const QString once = song("once.m4a");
    const QString twice = dir.filePath("twice.m4a");
    ASSERT_TRUE(QFile::copy(once, twice));
    ASSERT_TRUE(writeQuickTimeMetadata(once, kDate));
    ASSERT_TRUE(writeQuickTimeMetadata(twice, {{"a", "1"}, {"b", "2"}}));
    ASSERT_TRUE(writeQuickTimeMetadata(twice, kDate));
    EXPECT_EQ(readQuickTimeMetadata(twice), kDate);
    EXPECT_EQ(contents(twice), contents(once));
}

TEST_F(QuickTimeMetadataTest, FilesThatAreNotMPEG4AreLeftAlone)
{
    const QString wav = dir.filePath("tone.wav");
    ASSERT_TRUE(writeTone(wav, {.seconds = 0.2}));
    const QByteArray before = contents(wav);
    Error error;
    EXPECT_FALSE(writeQuickTimeMetadata(wav, kDate, &error));
    EXPECT_EQ(error.code, 2);
    EXPECT_EQ(contents(wav), before);
    EXPECT_FALSE(readQuickTimeMetadata(wav).has_value());

    const QString cut = dir.filePath("cut.m4a");
    ASSERT_TRUE(writeTruncated(song("whole.m4a"), cut, 0.5));
    const QByteArray cutBefore = contents(cut);
    EXPECT_FALSE(readQuickTimeMetadata(cut).has_value());  // the movie box was at the end
    EXPECT_FALSE(writeQuickTimeMetadata(cut, kDate));
    EXPECT_EQ(contents(cut), cutBefore);
    EXPECT_FALSE(writeQuickTimeMetadata(dir.filePath("missing.m4a"), kDate, &error));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.m4a")));
}

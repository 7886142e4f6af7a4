#include "platform/media/QuickTimeMetadata.h"

#include "tests/support/AudioFixtures.h"

#include <QFile>
#include <QtEndian>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <taglib/mp4file.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

QByteArray fileBytes(const QString& path)
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
    EXPECT_EQ(fileBytes(twice), fileBytes(once));
}

TEST_F(QuickTimeMetadataTest, FilesThatAreNotMPEG4AreLeftAlone)
{
    const QString wav = dir.filePath("tone.wav");
    ASSERT_TRUE(writeTone(wav, {.seconds = 0.2}));
    const QByteArray before = fileBytes(wav);
    Error error;
    EXPECT_FALSE(writeQuickTimeMetadata(wav, kDate, &error));
    EXPECT_EQ(error.code, 2);
    EXPECT_EQ(fileBytes(wav), before);
    EXPECT_FALSE(readQuickTimeMetadata(wav).has_value());

    const QString cut = dir.filePath("cut.m4a");
    ASSERT_TRUE(writeTruncated(song("whole.m4a"), cut, 0.5));
    const QByteArray cutBefore = fileBytes(cut);
    EXPECT_FALSE(readQuickTimeMetadata(cut).has_value());  // the movie box was at the end
    EXPECT_FALSE(writeQuickTimeMetadata(cut, kDate));
    EXPECT_EQ(fileBytes(cut), cutBefore);
    EXPECT_FALSE(writeQuickTimeMetadata(dir.filePath("missing.m4a"), kDate, &error));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.m4a")));
}

namespace {

QByteArray be32Bytes(quint32 value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, 4);
}

void setBe32(QByteArray& bytes, qsizetype at, quint32 value) { bytes.replace(at, 4, be32Bytes(value)); }

quint32 be32At(const QByteArray& bytes, qsizetype at) { return qFromBigEndian<quint32>(bytes.constData() + at); }

}  // namespace

TEST_F(QuickTimeMetadataTest, ABoxRunningToTheEndOfTheMovieKeepsItsExtent)
{
    // The movie is the file's last box; give it a last child of size 0.
    const QString path = song("open-ended.m4a");
    QByteArray bytes = fileBytes(path);
    const qsizetype moov = bytes.indexOf("moov") - 4;
    ASSERT_GT(moov, 0);
    ASSERT_EQ(moov + be32At(bytes, moov), bytes.size());
    bytes += be32Bytes(0) + "free" + "tail";
    setBe32(bytes, moov, be32At(bytes, moov) + 12);
    ASSERT_TRUE(writeBytes(path, bytes));
    const QByteArray audioBefore = decodeWithFfmpeg(path, 44100, 2);
    ASSERT_FALSE(audioBefore.isEmpty());

    Error error;
    ASSERT_TRUE(writeQuickTimeMetadata(path, kDate, &error)) << error.message.toStdString();
    EXPECT_EQ(readQuickTimeMetadata(path), kDate);
    const QByteArray written = fileBytes(path);
    EXPECT_TRUE(written.contains(be32Bytes(12) + "free" + "tail"));  // its size is written out now that the metadata follows
    EXPECT_EQ(decodeWithFfmpeg(path, 44100, 2), audioBefore);
}

TEST_F(QuickTimeMetadataTest, BoxesWhoseSizesDoNotFitAreRefused)
{
    const QString good = song("good.m4a");
    ASSERT_TRUE(writeQuickTimeMetadata(good, kDate));
    const QByteArray bytes = fileBytes(good);

    struct Damage {
        const char* name;
        QByteArray box;
        qsizetype offset;  // from the start of that box to the size field to damage
        quint32 size;
        bool insideOurItems;  // a write replaces the damaged metadata box whole
    };
    const Damage damages[] = {
        {"a movie child larger than the movie", "mvhd", 0, 0x7FFFFFF0, false},
        {"a movie child smaller than its header", "mvhd", 0, 4, false},
        {"a key entry past its box", "keys", 16, 0xFFFF, true},
        {"a data box too short for its header", "data", 0, 9, true},
    };
    for (const Damage& damage : damages) {
        QByteArray broken = bytes;
        const qsizetype box = broken.lastIndexOf(damage.box) - 4;  // our items come last
        ASSERT_GT(box, 0) << damage.name;
        setBe32(broken, box + damage.offset, damage.size);
        const QString path = dir.filePath("broken.m4a");
        ASSERT_TRUE(writeBytes(path, broken));

        Error error;
        EXPECT_FALSE(readQuickTimeMetadata(path, &error).has_value()) << damage.name;
        EXPECT_EQ(error.code, QuickTimeMetadataErrorInconsistentBox) << damage.name;
        error = {};
        if (damage.insideOurItems) {
            EXPECT_TRUE(writeQuickTimeMetadata(path, kDate, &error)) << damage.name;
            EXPECT_EQ(readQuickTimeMetadata(path), kDate) << damage.name;
            continue;
        }
        EXPECT_FALSE(writeQuickTimeMetadata(path, kDate, &error)) << damage.name;
        EXPECT_EQ(error.code, QuickTimeMetadataErrorInconsistentBox) << damage.name;
        EXPECT_EQ(fileBytes(path), broken) << damage.name;
    }
}

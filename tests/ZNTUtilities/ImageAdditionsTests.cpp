#include "ZNTUtilities/ImageAdditions.h"

#include "tests/support/AudioFixtures.h"
#include "tests/support/TagFixtures.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan::test;

TEST(QuicklookPreview, EmbeddedCoverScaledToFit)
{
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    ASSERT_TRUE(writeTone(song, {.seconds = 0.5}));
    ASSERT_TRUE(setMP3Pictures(song, {{"image/png", imageBytes("PNG", Qt::green, 32)}}));
    const QImage preview = quicklookPreviewOfFileAtPath(song, {16, 16}, false);
    ASSERT_FALSE(preview.isNull());
    EXPECT_EQ(preview.size(), QSize(16, 16));
    EXPECT_EQ(preview.pixelColor(8, 8), QColor(Qt::green));
}

TEST(QuicklookPreview, ImageFilesShowThemselvesAndIconsAreSquare)
{
    QTemporaryDir dir;
    QImage wide(40, 20, QImage::Format_RGB32);
    wide.fill(Qt::red);
    const QString path = dir.filePath("cover.png");
    ASSERT_TRUE(wide.save(path));

    const QImage fitted = quicklookPreviewOfFileAtPath(path, {20, 20}, false);
    EXPECT_EQ(fitted.size(), QSize(20, 10));

    const QImage icon = quicklookPreviewOfFileAtPath(path, {20, 20}, true);
    EXPECT_EQ(icon.size(), QSize(20, 20));
    EXPECT_EQ(icon.pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(icon.pixelColor(10, 1).alpha(), 0);  // the canvas around a wide picture stays clear
}

TEST(QuicklookPreview, NoneForSongsWithoutPicturesAndMissingFiles)
{
    QTemporaryDir dir;
    const QString song = dir.filePath("plain.wav");
    ASSERT_TRUE(writeTone(song, {.seconds = 0.2}));
    EXPECT_TRUE(quicklookPreviewOfFileAtPath(song, {16, 16}, false).isNull());
    EXPECT_TRUE(quicklookPreviewOfFileAtPath(dir.filePath("missing.png"), {16, 16}, false).isNull());
    EXPECT_TRUE(quicklookPreviewOfFileAtPath(QString(), {16, 16}, false).isNull());
}

// A file without a picture of its own still shows something: its icon, at
// the size asked for.
TEST(QuicklookPreview, FilesWithoutAPictureFallBackToTheirIcon)
{
    QTemporaryDir dir;
    const QString text = dir.filePath("notes.txt");
    ASSERT_TRUE(writeBytes(text, "no picture here\n"));
    EXPECT_TRUE(quicklookPreviewOfFileAtPath(text, {32, 32}, false).isNull());
    const QImage icon = imageWithPreviewOfFileAtPath(text, {32, 32}, false);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(32, 32));
    EXPECT_TRUE(imageWithPreviewOfFileAtPath(QString(), {32, 32}, false).isNull());
}

#include "source/engine/TolvanSource.h"

#include "tests/support/AudioFixtures.h"
#include "tests/support/TagFixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan::test;

namespace {

class FakeItem : public TolvanSourceMediaItem {
public:
    FakeItem(QUrl url, QImage art = {}) : url_(std::move(url)), art_(std::move(art)) {}
    QUrl location() const override { return url_; }
    QString title() const override { return "Library Title"; }
    QString albumTitle() const override { return "Library Album"; }
    QImage artworkWithSuggestedSize(QSize) const override { return art_; }
    QString description() const override { return "FakeItem"; }

private:
    QUrl url_;
    QImage art_;
};

QImage solid(QColor colour)
{
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

}  // namespace

TEST(TolvanSource, FileSourcesReadTheirMediaInformation)
{
    const QUrl url = QUrl::fromLocalFile("/music/Tone.m4a");
    auto plain = TolvanSource::sourceWithFile(url);
    EXPECT_TRUE(plain->title().isNull());
    EXPECT_TRUE(plain->album().isNull());
    EXPECT_FALSE(plain->initialSelectionIsDuration());
    EXPECT_TRUE(plain->shouldAutoAdjustVolume());

    auto titled = TolvanSource::sourceWithFile(url, QVariantMap{{"title", "Recording"}});
    EXPECT_EQ(titled->title(), "Recording");
    EXPECT_TRUE(titled->shouldAutoAdjustVolume());

    auto included = TolvanSource::sourceWithFile(
        url, QVariantMap{{"title", "Chime"}, {"included_set", "Classics"}, {"includedRingtone", true}, {"allowVolumeAdjustment", false}});
    EXPECT_EQ(included->album(), "Classics");
    EXPECT_TRUE(included->initialSelectionIsDuration());
    EXPECT_FALSE(included->shouldAutoAdjustVolume());
}

TEST(TolvanSource, LibrarySourcesAskTheirItem)
{
    auto source = TolvanSource::sourceWithMediaItem(std::make_shared<FakeItem>(QUrl::fromLocalFile("/music/a.mp3")));
    EXPECT_EQ(source->title(), "Library Title");
    EXPECT_EQ(source->album(), "Library Album");
    EXPECT_EQ(source->mediaFileURL(), QUrl::fromLocalFile("/music/a.mp3"));
    EXPECT_FALSE(source->initialSelectionIsDuration());
    EXPECT_TRUE(source->shouldAutoAdjustVolume());
}

TEST(TolvanSource, EqualityFollowsTheMediaFile)
{
    const QUrl url = QUrl::fromLocalFile("/music/a.mp3");
    auto a = TolvanSource::sourceWithFile(url, QVariantMap{{"title", "A"}});
    auto b = TolvanSource::sourceWithFile(url, QVariantMap{{"title", "B"}});
    auto library = TolvanSource::sourceWithMediaItem(std::make_shared<FakeItem>(url));
    auto other = TolvanSource::sourceWithFile(QUrl::fromLocalFile("/music/b.mp3"));
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(*a, *library);
    EXPECT_FALSE(*a == *other);
}

TEST(TolvanSource, MissingItemOrURLGivesNoSource)
{
    EXPECT_EQ(TolvanSource::sourceWithMediaItem(nullptr), nullptr);
    EXPECT_EQ(TolvanSource::sourceWithFile(QUrl()), nullptr);
}

TEST(TolvanSource, ArtworkFallsFromLibraryToCoverToThumbnail)
{
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    ASSERT_TRUE(writeTone(song, {.seconds = 0.3}));
    ASSERT_TRUE(setMP3Pictures(song, {{"image/png", imageBytes("PNG", Qt::blue)}}));
    const QUrl url = QUrl::fromLocalFile(song);

    auto withLibraryArt = TolvanSource::sourceWithMediaItem(std::make_shared<FakeItem>(url, solid(Qt::green)));
    EXPECT_EQ(withLibraryArt->artworkWithSuggestedSize({4, 4}).pixelColor(1, 1), QColor(Qt::green));

    auto withoutLibraryArt = TolvanSource::sourceWithMediaItem(std::make_shared<FakeItem>(url));
    EXPECT_EQ(withoutLibraryArt->artworkWithSuggestedSize({4, 4}).pixelColor(1, 1), QColor(Qt::blue));

    const QString picture = dir.filePath("cover.png");
    ASSERT_TRUE(solid(Qt::yellow).save(picture));
    EXPECT_EQ(TolvanSource::sourceWithFile(QUrl::fromLocalFile(picture))->artworkWithSuggestedSize({4, 4}).pixelColor(1, 1),
              QColor(Qt::yellow));

    EXPECT_TRUE(TolvanSource::sourceWithFile(QUrl::fromLocalFile(dir.filePath("gone.mp3")))->artworkWithSuggestedSize({4, 4}).isNull());
}

TEST(TolvanSource, Description)
{
    auto source = TolvanSource::sourceWithFile(QUrl::fromLocalFile("/music/a.mp3"), QVariantMap{{"title", "A"}});
    EXPECT_EQ(source->description(), "TolvanSource {\n\tfileURL: file:///music/a.mp3,\n\tmediaInfo: {\n    title = A;\n},\n\tmediaItem: (null)\n}");
}

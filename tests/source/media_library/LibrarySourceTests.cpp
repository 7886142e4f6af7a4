// A library track becomes a ringtone source that answers from the track.

#include "source/engine/TolvanSource.h"
#include "source/media_library/ZNTMediaLibrary.h"

#include <gtest/gtest.h>

namespace {

class Album : public ZNTMediaLibraryAlbum {
public:
    QString title() const override { return "Record"; }
};

class Item : public ZNTMediaLibraryMediaItem {
public:
    explicit Item(bool withAlbum) : withAlbum_(withAlbum) {}
    QString title() const override { return "Song"; }
    QUrl location() const override { return QUrl::fromLocalFile("/music/song.mp3"); }
    ZNTMediaLibraryAlbumPtr album() const override { return withAlbum_ ? std::make_shared<Album>() : nullptr; }

private:
    bool withAlbum_;
};

}  // namespace

TEST(LibrarySource, AnswersFromTheLibraryTrack)
{
    auto source = TolvanSource::sourceWithMediaItem(std::make_shared<Item>(true));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->title(), "Song");
    EXPECT_EQ(source->album(), "Record");
    EXPECT_EQ(source->mediaFileURL(), QUrl::fromLocalFile("/music/song.mp3"));
    EXPECT_TRUE(source->description().contains("<ZNTMediaLibraryMediaItem title: Song, location: file:///music/song.mp3>"));

    auto withoutAlbum = TolvanSource::sourceWithMediaItem(std::make_shared<Item>(false));
    EXPECT_TRUE(withoutAlbum->album().isNull());
    EXPECT_EQ(*withoutAlbum, *TolvanSource::sourceWithFile(QUrl::fromLocalFile("/music/song.mp3")));
}

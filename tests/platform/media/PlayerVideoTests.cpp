// The pictures of a player's video: decoded off the main thread a few ahead
// of the audio clock, held while paused, the sought one shown at once,
// scaled to the size asked, a composition's segments in their places, and
// a video that cannot be decoded. The sound goes to the manual output, so
// the clock stands exactly where the test has pulled it.

#include "platform/media/Composition.h"
#include "platform/media/FileTrack.h"
#include "platform/media/Player.h"
#include "platform/media/VideoDecoder.h"

#include "tests/platform/media/ManualPlayback.h"
#include "tests/platform/media/PcmWav.h"
#include "tests/support/AudioFileTest.h"
#include "tests/support/EventLoop.h"
#include "tests/support/VideoFixtures.h"

#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

class PlayerVideoTest : public AudioFileTest {
protected:
    QString movingPattern(const QString& name, const MovingPatternSpec& spec = {})
    {
        const QString path = dir.filePath(name);
        QString error;
        EXPECT_TRUE(writeMovingPattern(path, spec, &error)) << error.toStdString();
        return path;
    }
};

// Where picture `index` of a 25-a-second video starts.
MediaTime startOfPicture(int index) { return MediaTime::make(index, 25); }

bool showsPictureAt(const Player& player, const MediaTime& time)
{
    return waitUntil([&] { return player.currentVideoFrame().time == time && !player.currentVideoFrame().image.isNull(); });
}

std::size_t audioFrames(double seconds) { return std::size_t(std::lround(seconds * Player::kSampleRate)); }

}  // namespace

TEST_F(PlayerVideoTest, PicturesFollowTheClockHoldWhilePausedAndShowTheSoughtOne)
{
    const QString path = movingPattern("clip.mp4");
    Player player(Asset::assetWithPath(path), std::nullopt, AudioOutput::Kind::Manual);
    ASSERT_TRUE(player.hasVideo());
    ASSERT_TRUE(showsPictureAt(player, MediaTime::zero())) << "the first picture, before anything plays";
    const QImage first = player.currentVideoFrame().image;
    EXPECT_EQ(first.size(), QSize(320, 180));
    EXPECT_LT(pictureDistance(first, pictureDecodedByFfmpeg(path, 0, {320, 180})), 3.0);

    player.play();
    ASSERT_TRUE(pullRendered(player.output(), audioFrames(0.5)));
    EXPECT_TRUE(showsPictureAt(player, startOfPicture(12))) << "at 0.5 s the picture of 0.48 s shows";
    EXPECT_GT(pictureDistance(player.currentVideoFrame().image, first), 1.0) << "the pattern has moved";

    player.pause();
    const qint64 held = player.currentVideoFrame().image.cacheKey();
    drainEvents(150);
    EXPECT_EQ(player.currentVideoFrame().time, startOfPicture(12)) << "paused, the picture holds";
    EXPECT_EQ(player.currentVideoFrame().image.cacheKey(), held);

    player.seekToTime(MediaTime::withSeconds(1.23, Player::kSampleRate));
    ASSERT_TRUE(showsPictureAt(player, startOfPicture(30))) << "the picture that shows at 1.23 s starts at 1.20 s";
    const QImage sought = player.currentVideoFrame().image;
    const double atSought = pictureDistance(sought, pictureDecodedByFfmpeg(path, 30, {320, 180}));
    EXPECT_LT(atSought, 3.0);
    EXPECT_LT(atSought * 3, pictureDistance(sought, pictureDecodedByFfmpeg(path, 40, {320, 180}))) << "not a picture near it";

    // Playing on from the sought picture, the next ones follow in order.
    player.play();
    ASSERT_TRUE(pullRendered(player.output(), audioFrames(0.3)));
    EXPECT_TRUE(showsPictureAt(player, startOfPicture(38)));  // 1.53 s
    player.pause();
}

TEST_F(PlayerVideoTest, PicturesComeInTheSizeAskedInTheirShapeAndSharpenWhenItGrows)
{
    // Anamorphic: 240 stored columns of pixels 4/3 as wide as high show 320 wide.
    const QString path = movingPattern("wide.mp4", {.size = {240, 180}, .pixelAspect = "4/3"});
    auto asset = Asset::assetWithPath(path);
    ASSERT_EQ(asset->tracksWithMediaType(MediaType::Video).size(), 1u);
    EXPECT_EQ(asset->tracksWithMediaType(MediaType::Video).front()->naturalSize(), QSizeF(320, 180));
    EXPECT_TRUE(asset->tracksWithMediaType(MediaType::Audio).front()->naturalSize().isEmpty());

    Player player(asset, std::nullopt, AudioOutput::Kind::Manual);
    ASSERT_TRUE(showsPictureAt(player, MediaTime::zero()));
    EXPECT_EQ(player.currentVideoFrame().image.size(), QSize(320, 180)) << "no limit: the natural size";

    player.setVideoFrameSizeLimit({80, 80});
    player.seekToTime(MediaTime::withSeconds(0.5, Player::kSampleRate));
    ASSERT_TRUE(showsPictureAt(player, startOfPicture(12)));
    EXPECT_EQ(player.currentVideoFrame().image.size(), QSize(80, 45));

    player.setVideoFrameSizeLimit({160, 400});
    EXPECT_TRUE(waitUntil([&] { return player.currentVideoFrame().image.size() == QSize(160, 90); }))
        << "the picture on show is decoded again, sharper";
    EXPECT_EQ(player.currentVideoFrame().time, startOfPicture(12)) << "the same picture";
}

TEST_F(PlayerVideoTest, ACompositionShowsItsSegmentsInPlaceAndHoldsThroughAnEmptyOne)
{
    const QString path = movingPattern("clip.mp4");
    auto song = Asset::assetWithPath(path);
    // From 1.0 s of the song: half a second, 0.4 s of nothing, then 0.1 s of the same start.
    auto composition = Composition::composition();
    for (MediaType type : {MediaType::Audio, MediaType::Video}) {
        auto track = composition->addMutableTrack(type);
        const auto source = song->tracksWithMediaType(type).front();
        ASSERT_TRUE(track->insertTimeRange(MediaTimeRange::withSeconds(1.0, 0.5, 600), source, MediaTime::zero()));
        ASSERT_TRUE(track->insertEmptyTimeRange(MediaTimeRange::withSeconds(0.5, 0.4, 600)));
        ASSERT_TRUE(track->insertTimeRange(MediaTimeRange::withSeconds(1.0, 0.1, 600), source, MediaTime::withSeconds(0.9, 600)));
    }
    Player player(composition, std::nullopt, AudioOutput::Kind::Manual);
    ASSERT_TRUE(showsPictureAt(player, MediaTime::zero()));
    const QImage atOneSecond = pictureDecodedByFfmpeg(path, 25, {320, 180});
    EXPECT_LT(pictureDistance(player.currentVideoFrame().image, atOneSecond), 3.0) << "the song's picture at 1.0 s";

    player.play();
    ASSERT_TRUE(pullRendered(player.output(), audioFrames(0.7)));
    EXPECT_TRUE(showsPictureAt(player, startOfPicture(12))) << "in the empty stretch: the last picture before it";
    EXPECT_LT(pictureDistance(player.currentVideoFrame().image, pictureDecodedByFfmpeg(path, 37, {320, 180})), 3.0);

    ASSERT_TRUE(pullRendered(player.output(), audioFrames(0.22)));
    EXPECT_TRUE(showsPictureAt(player, MediaTime::withSeconds(0.9, 600))) << "the repeated start, in its place";
    EXPECT_LT(pictureDistance(player.currentVideoFrame().image, atOneSecond), 3.0);
    player.pause();
}

TEST_F(PlayerVideoTest, AVideoThatCannotBeDecodedGivesNoPicturesWhileTheSoundPlaysOn)
{
    Player broken(Asset::assetWithPath(movingPattern("broken.mp4", {.undecodable = true})), std::nullopt, AudioOutput::Kind::Manual);
    bool failed = false;
    QObject::connect(&broken, &Player::videoFailed, [&] { failed = true; });
    ASSERT_TRUE(waitUntil([&] { return failed; }));
    EXPECT_FALSE(broken.hasVideo());
    EXPECT_TRUE(broken.currentVideoFrame().image.isNull());
    broken.play();
    EXPECT_TRUE(pullRendered(broken.output(), audioFrames(0.2)));
    broken.pause();

    // A song without video has no pictures, and says nothing of them.
    const QString song = dir.filePath("song.wav");
    ASSERT_TRUE(writeBytes(song, pcmWav(Player::kSampleRate, 2, Player::kSampleRate / 4, [](int64_t, int) { return int16_t(0); })));
    Player plain(Asset::assetWithPath(song), std::nullopt, AudioOutput::Kind::Manual);
    bool pictured = false;
    QObject::connect(&plain, &Player::videoFrameChanged, [&] { pictured = true; });
    plain.seekToTime(MediaTime::withSeconds(0.1, Player::kSampleRate));
    drainEvents(50);
    EXPECT_FALSE(plain.hasVideo());
    EXPECT_FALSE(pictured);
    EXPECT_TRUE(plain.currentVideoFrame().image.isNull());
}

TEST_F(PlayerVideoTest, ADecoderStepsOnWithoutSeekingWhenNoKeyFrameLiesBetween)
{
    // Key frames every second, 25 pictures a second.
    const QString path = movingPattern("clip.mp4");
    auto track = Asset::assetWithPath(path)->tracksWithMediaType(MediaType::Video).front();
    const int stream = std::dynamic_pointer_cast<FileTrack>(track)->streamIndex();
    Error error;
    auto decoder = VideoDecoder::open(path, stream, &error);
    ASSERT_TRUE(decoder) << error.message.toStdString();

    const auto timeOfNext = [&] { return decoder->next().time; };
    decoder->seek(MediaTime::withSeconds(0.5, 600));
    EXPECT_EQ(timeOfNext(), startOfPicture(0)) << "from the key frame before";
    while (timeOfNext() < startOfPicture(12)) {
    }
    decoder->seek(MediaTime::withSeconds(0.8, 600));
    EXPECT_EQ(timeOfNext(), startOfPicture(12)) << "on from the last picture given, which comes again";
    EXPECT_EQ(timeOfNext(), startOfPicture(13));
    decoder->seek(MediaTime::withSeconds(1.5, 600));
    EXPECT_EQ(timeOfNext(), startOfPicture(25)) << "a key frame lies between: from it";
    decoder->seek(MediaTime::withSeconds(0.2, 600));
    EXPECT_EQ(timeOfNext(), startOfPicture(0)) << "back: from the key frame before";
    EXPECT_FALSE(decoder->error());

    // VideoDecoder::image keeps the picture's shape within the limit.
    EXPECT_EQ(VideoDecoder::fittedSize({320, 180}, {100, 100}), QSize(100, 56));
    EXPECT_EQ(VideoDecoder::fittedSize({320, 180}, {}), QSize(320, 180));
    EXPECT_EQ(VideoDecoder::fittedSize({320, 180}, {640, 640}), QSize(320, 180)) << "never larger than it is";
}

#include "source/engine/AssetAdditions.h"

#include "tests/support/AudioFileTest.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

// An audio track with one format of the given channel count (none: no
// readable stream format).
class StubTrack : public Track {
public:
    StubTrack(int32_t id, std::optional<uint32_t> channels)
        : Track(id, MediaType::Audio, {formatWith(channels)}, MediaTime::make(1, 1)) {}
    std::unique_ptr<PcmStream> openPcmStream(const AudioOutputSettings&, Error*) const override { return nullptr; }

private:
    static FormatDescription formatWith(std::optional<uint32_t> channels)
    {
        FormatDescription format{MediaType::Audio, "aac", {}};
        if (channels)
            format.streamDescription = AudioStreamBasicDescription{.sampleRate = 44100, .channelsPerFrame = *channels};
        return format;
    }
};

class StubAsset : public Asset {
public:
    std::vector<MetadataItem> items;
    std::vector<std::shared_ptr<Track>> trackList;
    MediaTime duration() const override { return MediaTime::make(1, 1); }
    std::vector<std::shared_ptr<Track>> tracks() const override { return trackList; }
    std::vector<MetadataItem> metadata() const override { return items; }
};

MetadataItem item(QVariant key, const QString& keySpace, const QString& commonKey, const QString& value)
{
    return {std::move(key), keySpace, commonKey, value, {}};
}

QVariant code(const char (&text)[5]) { return QVariant::fromValue(int32_t(fourCharCode(text))); }

class AssetAdditionsTest : public AudioFileTest {
protected:
    std::shared_ptr<Asset> toneAsset(const QString& name, const ToneSpec& spec) { return Asset::assetWithPath(tone(name, spec)); }
};

}  // namespace

TEST_F(AssetAdditionsTest, AudioAndVideoAreToldApart)
{
    auto song = toneAsset("song.wav", {.seconds = 0.3});
    EXPECT_TRUE(hasAudio(*song));
    EXPECT_FALSE(hasVideo(*song));

    const QString movie = dir.filePath("movie.mp4"), mute = dir.filePath("mute.mp4");
    ASSERT_TRUE(writeVideo(movie, 0.5, true));
    ASSERT_TRUE(writeVideo(mute, 0.5, false));
    EXPECT_TRUE(hasAudio(*Asset::assetWithPath(movie)));
    EXPECT_TRUE(hasVideo(*Asset::assetWithPath(movie)));
    EXPECT_FALSE(hasAudio(*Asset::assetWithPath(mute)));
    EXPECT_TRUE(hasVideo(*Asset::assetWithPath(mute)));

    const QString text = dir.filePath("readme.m4a");
    ASSERT_TRUE(writeBytes(text, "not a song"));
    EXPECT_FALSE(hasAudio(*Asset::assetWithPath(text)));
}

TEST_F(AssetAdditionsTest, TitlesArtistsAndAlbumsComeFromEveryTagFormat)
{
    const std::map<QString, QString> tags{{"title", "Night Train"}, {"artist", "The Rails"}, {"album", "Sidings"}};
    for (const char* name : {"tagged.mp3", "tagged.m4a", "tagged.wav"}) {
        auto asset = toneAsset(name, {.seconds = 0.3, .tags = tags});
        EXPECT_EQ(metadataTitle(*asset), "Night Train") << name;
        EXPECT_EQ(metadataArtist(*asset), "The Rails") << name;
        EXPECT_EQ(metadataAlbum(*asset), "Sidings") << name;
    }
    auto bare = toneAsset("bare.mp3", {.seconds = 0.3, .id3 = false});
    std::optional<QString> title = "stale", album = "stale";
    assetName(*bare, &title, nullptr, &album);
    EXPECT_EQ(title, std::nullopt);
    EXPECT_EQ(album, std::nullopt);
}

TEST_F(AssetAdditionsTest, NativeKeysWinOverLaterKeysWhateverTheItemOrder)
{
    StubAsset asset;
    asset.items = {item(MetadataCommonKeyTitle, MetadataKeySpaceCommon, MetadataCommonKeyTitle, "common"),
                   item(QString("com.apple.quicktime.title"), MetadataKeySpaceQuickTimeMetadata, MetadataCommonKeyTitle, "quicktime"),
                   item(code("TIT2"), MetadataKeySpaceID3, MetadataCommonKeyTitle, "id3v2.3"),
                   item(QVariant::fromValue(uint32_t(0x00545432)), MetadataKeySpaceID3, MetadataCommonKeyTitle, "id3v2.2"),
                   item(code("TPE1"), MetadataKeySpaceID3, MetadataCommonKeyArtist, "artist")};
    EXPECT_EQ(metadataTitle(asset), "id3v2.2");
    asset.items.erase(asset.items.begin() + 3);
    EXPECT_EQ(metadataTitle(asset), "id3v2.3");
    asset.items.erase(asset.items.begin() + 2);
    EXPECT_EQ(metadataTitle(asset), "quicktime");
    asset.items.insert(asset.items.begin(), item(code("\251nam"), MetadataKeySpaceiTunes, MetadataCommonKeyTitle, "atom"));
    EXPECT_EQ(metadataTitle(asset), "atom");
    EXPECT_EQ(metadataArtist(asset), "artist");
    EXPECT_EQ(metadataAlbum(asset), std::nullopt);

    // The atom's code as an unsigned number is a different key.
    StubAsset unsignedAtom;
    unsignedAtom.items = {item(QVariant::fromValue(fourCharCode("\251nam")), MetadataKeySpaceiTunes, MetadataCommonKeyTitle, "x")};
    EXPECT_EQ(metadataTitle(unsignedAtom), std::nullopt);

    // Items without a common key are not common metadata.
    StubAsset uncommon;
    uncommon.items = {item(code("TIT2"), MetadataKeySpaceID3, QString(), "hidden")};
    EXPECT_EQ(metadataTitle(uncommon), std::nullopt);
}

TEST_F(AssetAdditionsTest, MetadataItemWithKeyTakesTheFirstMatch)
{
    const std::vector<MetadataItem> items{item(code("TALB"), MetadataKeySpaceID3, "", "first album"),
                                          item(code("TIT2"), MetadataKeySpaceID3, "", "first"),
                                          item(code("TIT2"), MetadataKeySpaceID3, "", "second")};
    EXPECT_EQ(metadataItemWithKey(items, code("TIT2"))->stringValue(), "first");
    EXPECT_FALSE(metadataItemWithKey(items, code("TPE1")));
    EXPECT_FALSE(metadataItemWithKey(items, QString("TIT2")));
}

TEST_F(AssetAdditionsTest, RingtonesComeFromTheTrackWithFewestChannels)
{
    const QString path = dir.filePath("surround.m4a");
    ASSERT_TRUE(writeMultiTrack(path, {{.seconds = 0.5, .channels = 6}, {.seconds = 0.5, .channels = 2}}));
    auto asset = Asset::assetWithPath(path);
    ASSERT_EQ(asset->tracks().size(), 2u);
    EXPECT_EQ(bestTrackForRingtone(*asset), asset->tracks()[1]);

    const QString pair = dir.filePath("pair.m4a");
    ASSERT_TRUE(writeMultiTrack(pair, {{.seconds = 0.5, .channels = 2}, {.seconds = 0.5, .channels = 2}}));
    auto twoStereo = Asset::assetWithPath(pair);
    EXPECT_EQ(bestTrackForRingtone(*twoStereo), twoStereo->tracks()[0]);

    StubAsset unreadable;
    unreadable.trackList = {std::make_shared<StubTrack>(1, std::nullopt), std::make_shared<StubTrack>(2, 4)};
    EXPECT_EQ(bestTrackForRingtone(unreadable), unreadable.trackList[1]);
    unreadable.trackList.pop_back();
    EXPECT_EQ(bestTrackForRingtone(unreadable), nullptr);

    const QString mute = dir.filePath("mute.mp4");
    ASSERT_TRUE(writeVideo(mute, 0.5, false));
    EXPECT_EQ(bestTrackForRingtone(*Asset::assetWithPath(mute)), nullptr);
}

#include "platform/media/Asset.h"
#include "platform/media/FfmpegSupport.h"
#include "platform/media/MediaError.h"
#include "platform/media/MpegAudioInfo.h"

#include "tests/support/AudioFileTest.h"
#include "tests/support/TagFixtures.h"

#include <QDir>
#include <QtEndian>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>

using namespace tolvan;
using namespace tolvan::test;

namespace {

class AssetTest : public AudioFileTest {
protected:

    // Frames of the file as ffmpeg decodes it at its own rate.
    static int64_t decodedFrames(const QString& path, int rate, int channels)
    {
        return decodeWithFfmpeg(path, rate, channels).size() / (2 * channels);
    }

    static std::optional<MetadataItem> itemWithCommonKey(const Asset& asset, const QString& key)
    {
        for (const auto& item : asset.commonMetadata())
            if (item.commonKey == key)
                return item;
        return std::nullopt;
    }
};

}  // namespace

TEST_F(AssetTest, WAVHasOneLinearPCMTrackOfExactDuration)
{
    auto asset = Asset::assetWithPath(tone("a.wav", {.seconds = 2.0, .sampleRate = 22050, .channels = 2}));
    EXPECT_FALSE(asset->loadError());
    EXPECT_EQ(asset->duration(), MediaTime::make(44100, 22050));
    ASSERT_EQ(asset->tracks().size(), 1u);
    const auto track = asset->tracks().front();
    EXPECT_EQ(track->mediaType(), MediaType::Audio);
    EXPECT_TRUE(track->hasMediaCharacteristic(MediaCharacteristicAudible));
    const auto stream = track->formatDescriptions().front().mostCompatibleFormat();
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->formatID, AudioFormatLinearPCM);
    EXPECT_EQ(stream->sampleRate, 22050);
    EXPECT_EQ(stream->channelsPerFrame, 2u);
    EXPECT_EQ(stream->bitsPerChannel, 16u);
    EXPECT_TRUE(asset->tracksWithMediaType(MediaType::Video).empty());
}

TEST_F(AssetTest, MP3DurationIsTheDecodedLengthWithOrWithoutAnXingHeader)
{
    // Without the header the container only estimates the length from its
    // bit rate; with it, the stated length includes the coder's padding.
    for (bool id3 : {false, true}) {
        const QString path = tone(id3 ? "tagged.mp3" : "bare.mp3", {.seconds = 3.3, .id3 = id3});
        auto asset = Asset::assetWithPath(path);
        ASSERT_EQ(asset->tracks().size(), 1u);
        EXPECT_EQ(asset->duration().timescale, 44100);
        EXPECT_EQ(asset->duration().value, decodedFrames(path, 44100, 2)) << "id3 " << id3;
        EXPECT_EQ(asset->tracks().front()->formatDescriptions().front().mostCompatibleFormat()->formatID,
                  AudioFormatMPEGLayer3);
    }
}

// The length comes from the first frame's header where it tells one that
// fits the file; a file cut short or joined to another is counted instead.
TEST_F(AssetTest, MP3LengthFromTheHeaderIsTheDecodedLength)
{
    const QString stereo = tone("stereo.mp3", {.seconds = 7.1, .noise = true});
    const QString mono = tone("mono.mp3", {.seconds = 2.3, .sampleRate = 22050, .channels = 1});
    const QString variable = dir.filePath("variable.mp3");
    ASSERT_TRUE(runFfmpeg({"-f", "lavfi", "-i", "anoisesrc=d=4.2:r=48000:a=0.3", "-c:a", "libmp3lame", "-q:a", "4", variable}));
    for (const auto& [path, rate, samplesPerFrame] : {std::tuple{stereo, 44100, 1152}, {mono, 22050, 576}, {variable, 48000, 1152}}) {
        const auto info = readMpegAudioInfo(path);
        ASSERT_TRUE(info) << path.toStdString();
        EXPECT_EQ(info->sampleRate, rate);
        EXPECT_EQ(info->samplesPerFrame, samplesPerFrame);
        EXPECT_GT(info->frames, 0);
        ASSERT_TRUE(info->encoderDelay);
        EXPECT_EQ(Asset::assetWithPath(path)->duration(), MediaTime::make(decodedFrames(path, rate, 1), rate)) << path.toStdString();
    }

    QFile whole(stereo);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    const QString cut = dir.filePath("cut.mp3"), joined = dir.filePath("joined.mp3");
    for (const auto& [path, contents] : {std::pair{cut, bytes.left(bytes.size() / 2)}, std::pair{joined, bytes + bytes}}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();
        EXPECT_FALSE(readMpegAudioInfo(path)) << path.toStdString();
    }
    EXPECT_EQ(Asset::assetWithPath(cut)->duration().value, decodedFrames(cut, 44100, 2));
    // Counted, the second song's header frame decodes as one frame more.
    EXPECT_NEAR(double(Asset::assetWithPath(joined)->duration().value), double(decodedFrames(joined, 44100, 2)), 1152);
}

TEST_F(AssetTest, MetadataKeepsNativeKeysAndKeySpaces)
{
    const std::map<QString, QString> tags{{"title", "Song"}, {"artist", "Band"}, {"album", "Record"}};
    auto mp3 = Asset::assetWithPath(tone("t.mp3", {.seconds = 0.5, .tags = tags}));
    auto title = itemWithCommonKey(*mp3, MetadataCommonKeyTitle);
    ASSERT_TRUE(title);
    EXPECT_EQ(title->keySpace, MetadataKeySpaceID3);
    EXPECT_EQ(title->key, QVariant::fromValue(int32_t(fourCharCode("TIT2"))));
    EXPECT_EQ(title->stringValue(), "Song");
    EXPECT_EQ(itemWithCommonKey(*mp3, MetadataCommonKeyAlbumName)->stringValue(), "Record");

    auto m4a = Asset::assetWithPath(tone("t.m4a", {.seconds = 0.5, .tags = tags}));
    title = itemWithCommonKey(*m4a, MetadataCommonKeyTitle);
    ASSERT_TRUE(title);
    EXPECT_EQ(title->keySpace, MetadataKeySpaceiTunes);
    EXPECT_EQ(title->key, QVariant::fromValue(int32_t(fourCharCode("\251nam"))));
    EXPECT_EQ(itemWithCommonKey(*m4a, MetadataCommonKeyArtist)->stringValue(), "Band");

    auto wav = Asset::assetWithPath(tone("t.wav", {.seconds = 0.5, .tags = tags}));
    title = itemWithCommonKey(*wav, MetadataCommonKeyTitle);
    ASSERT_TRUE(title);
    EXPECT_EQ(title->keySpace, MetadataKeySpaceCommon);
    EXPECT_EQ(title->key, MetadataCommonKeyTitle);

    auto bare = Asset::assetWithPath(tone("bare.mp3", {.seconds = 0.5, .id3 = false}));
    EXPECT_FALSE(itemWithCommonKey(*bare, MetadataCommonKeyTitle));
}

TEST_F(AssetTest, TheOtherFormatsTagsComeFromTagLibAndAPicturesDescriptionIsNoTag)
{
    const std::map<QString, QString> tags{{"title", "Song"}, {"artist", "Band"}, {"album", "Record"}, {"genre", "Folk"}};
    for (const QString name : {"t.flac", "t.ogg", "t.opus", "t.wv", "t.mka"}) {
        SCOPED_TRACE(name.toStdString());
        auto asset = Asset::assetWithPath(tone(name, {.seconds = 0.5, .tags = tags}));
        ASSERT_EQ(asset->tracks().size(), 1u);
        const auto title = itemWithCommonKey(*asset, MetadataCommonKeyTitle);
        ASSERT_TRUE(title);
        EXPECT_EQ(title->stringValue(), "Song");
        EXPECT_EQ(title->keySpace, MetadataKeySpaceCommon);
        EXPECT_EQ(itemWithCommonKey(*asset, MetadataCommonKeyArtist)->stringValue(), "Band");
        EXPECT_EQ(itemWithCommonKey(*asset, MetadataCommonKeyAlbumName)->stringValue(), "Record");
        EXPECT_EQ(itemWithCommonKey(*asset, MetadataCommonKeyType)->stringValue(), "Folk");
    }

    // A cover whose description is "album cover", in a file without tags.
    const QByteArray png = imageBytes("PNG");
    for (const QString name : {"cover.flac", "cover.ogg"}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = tone(name, {.seconds = 0.5});
        ASSERT_TRUE(removeCommentFields(path));
        ASSERT_TRUE(setPictureBlocks(path, {{"image/png", png, "album cover"}}));
        auto asset = Asset::assetWithPath(path);
        QStringList seen;
        for (const MetadataItem& item : asset->commonMetadata())
            seen << item.commonKey + "=" + item.stringValue().value_or("(data)");
        EXPECT_TRUE(seen.isEmpty()) << seen.join(", ").toStdString();
        EXPECT_EQ(asset->attachedPicture(), png) << "the picture itself is the file's";
    }
}

TEST_F(AssetTest, EmbeddedPictureIsNoTrack)
{
    const QString path = tone("cover.mp3", {.seconds = 0.5});
    const QByteArray jpeg = imageBytes("JPEG");
    ASSERT_TRUE(setMP3Pictures(path, {{"image/jpeg", jpeg}}));
    auto asset = Asset::assetWithPath(path);
    EXPECT_EQ(asset->attachedPicture(), jpeg);
    EXPECT_EQ(asset->tracks().size(), 1u);
    EXPECT_TRUE(asset->tracksWithMediaCharacteristic(MediaCharacteristicVisual).empty());
    auto artwork = itemWithCommonKey(*asset, MetadataCommonKeyArtwork);
    ASSERT_TRUE(artwork);
    EXPECT_EQ(artwork->dataValue(), jpeg);
    EXPECT_EQ(artwork->dataType, "image/jpeg");
}

TEST_F(AssetTest, VideoFilesListBothKindsOfTrack)
{
    const QString path = dir.filePath("movie.mp4");
    ASSERT_TRUE(writeVideo(path, 1.0, true));
    auto asset = Asset::assetWithPath(path);
    EXPECT_EQ(asset->tracksWithMediaType(MediaType::Video).size(), 1u);
    EXPECT_EQ(asset->tracksWithMediaCharacteristic(MediaCharacteristicAudible).size(), 1u);
    EXPECT_NEAR(asset->duration().seconds(), 1.0, 0.05);
}

TEST_F(AssetTest, FilesThatAreNotMediaHaveAnErrorAndNothingElse)
{
    const QString text = dir.filePath("notes.mp3");
    ASSERT_TRUE(writeBytes(text, QByteArray("These are not the sounds you are looking for.\n").repeated(50)));
    for (const QString& path : {text, dir.filePath("missing.wav")}) {
        auto asset = Asset::assetWithPath(path);
        ASSERT_TRUE(asset->loadError());
        EXPECT_EQ(asset->loadError()->domain, AVFoundationErrorDomain);
        EXPECT_EQ(asset->loadError()->code, MediaErrorFileFormatNotRecognized);
        EXPECT_TRUE(asset->tracks().empty());
        EXPECT_EQ(asset->duration(), MediaTime::zero());
    }
}

// A demuxer takes some garbage on trust by its name: random bytes named
// ".mp3" pass as MPEG audio of no rate and no channels, and now and then as a
// video of no size. Nothing of such a file is a track.
TEST_F(AssetTest, RandomBytesTextAndEmptyFilesAreNoMediaWhateverTheirName)
{
    std::vector<QString> paths;
    for (const char* extension : {"mp3", "wav", "m4a"}) {
        for (quint32 seed = 1; seed <= 12; ++seed) {
            QRandomGenerator random(seed);
            QByteArray bytes(60'000 + int(seed) * 7'919, Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
            paths.push_back(dir.filePath(QString("random%1.%2").arg(seed).arg(extension)));
            ASSERT_TRUE(writeBytes(paths.back(), bytes));
        }
        paths.push_back(dir.filePath(QString("text.%1").arg(extension)));
        ASSERT_TRUE(writeBytes(paths.back(), QByteArray("Track 1, Track 2, Track 3: a list, not a song.\n").repeated(300)));
        paths.push_back(dir.filePath(QString("empty.%1").arg(extension)));
        ASSERT_TRUE(writeBytes(paths.back(), {}));
    }
    for (const QString& path : paths) {
        auto asset = Asset::assetWithPath(path);
        const Error error = asset->loadError().value_or(Error{});
        EXPECT_EQ(error.domain, AVFoundationErrorDomain) << path.toStdString();
        EXPECT_EQ(error.code, MediaErrorFileFormatNotRecognized) << path.toStdString();
        EXPECT_TRUE(asset->tracks().empty()) << path.toStdString();
        EXPECT_EQ(asset->duration(), MediaTime::zero());
    }

    // Real audio without a signature still reads: a few frames of MPEG audio
    // named as such, and a longer song under another format's name.
    const QString shortSong = tone("short.mp3", {.seconds = 0.1, .id3 = false});
    const QString misnamed = dir.filePath("misnamed.m4a");
    ASSERT_TRUE(QFile::copy(tone("song.mp3", {.seconds = 1.0, .id3 = false}), misnamed));
    for (const QString& path : {shortSong, misnamed}) {
        auto asset = Asset::assetWithPath(path);
        EXPECT_FALSE(asset->loadError()) << path.toStdString();
        EXPECT_EQ(asset->tracksWithMediaType(MediaType::Audio).size(), 1u) << path.toStdString();
    }

    // A real video without sound is still media, with its one track.
    const QString silentMovie = dir.filePath("silent.mp4");
    ASSERT_TRUE(writeVideo(silentMovie, 1.0, false));
    auto movie = Asset::assetWithPath(silentMovie);
    EXPECT_FALSE(movie->loadError());
    EXPECT_EQ(movie->tracksWithMediaType(MediaType::Video).size(), 1u);
    EXPECT_TRUE(movie->tracksWithMediaType(MediaType::Audio).empty());
}

// MPEG audio in free format states no bit rate in its frames, and so no
// frame size; no decoder of ours reads it. The demuxer may give up on such a
// file or take a false sync inside its data for a stream of another layer:
// either way the file says at once that its audio cannot be decoded.
TEST_F(AssetTest, FreeFormatMpegAudioCannotBeDecoded)
{
    for (const int rate : {32000, 44100, 48000}) {
        for (const int channels : {1, 2}) {
            for (const bool tagged : {false, true}) {  // an ID3v2 tag and an Info frame, or bare frames
                const QString name = QString("free-%1-%2-%3").arg(rate).arg(channels).arg(tagged);
                SCOPED_TRACE(name.toStdString());
                const QString stated = tone(name + "-stated.mp3", {.seconds = 3.0, .sampleRate = rate, .channels = channels,
                                                                   .frequency = 1000, .id3 = tagged, .bitRate = "128k"});
                ASSERT_TRUE(Asset::assetWithPath(stated)->tracks().size() == 1);
                const QString free = dir.filePath(name + ".mp3");
                ASSERT_TRUE(writeFreeFormat(stated, free));
                auto asset = Asset::assetWithPath(free);
                const Error error = asset->loadError().value_or(Error{});
                EXPECT_EQ(error.domain, AVFoundationErrorDomain);
                EXPECT_EQ(error.code, MediaErrorDecodeFailed);
                EXPECT_EQ(error.message.toStdString(), "The audio of this file cannot be decoded: it is free-format MPEG audio");
                EXPECT_TRUE(asset->tracks().empty());
                EXPECT_EQ(asset->duration(), MediaTime::zero());
            }
        }
    }
}

TEST_F(AssetTest, OnlyRegularFilesAndLinksToThemAreOpened)
{
    const QString fifo = dir.filePath("fifo.wav");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath("zero.mp3");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const QString folder = dir.filePath("folder.m4a");
    ASSERT_TRUE(QDir().mkdir(folder));
    // Each of these would block the open or be read without end.
    for (const QString& path : {QStringLiteral("/dev/zero"), zero, fifo, folder}) {
        auto asset = Asset::assetWithPath(path);
        ASSERT_TRUE(asset->loadError()) << path.toStdString();
        EXPECT_EQ(asset->loadError()->domain, AVFoundationErrorDomain);
        EXPECT_EQ(asset->loadError()->code, MediaErrorFileFormatNotRecognized);
        EXPECT_TRUE(asset->tracks().empty());
    }

    const QString song = dir.filePath("song.wav");
    ASSERT_TRUE(writeBytes(song, monoWavOf8BitValues(std::vector<int>(800, 5))));
    const QString link = dir.filePath("link.wav");
    ASSERT_TRUE(QFile::link(song, link));
    auto linked = Asset::assetWithPath(link);
    EXPECT_FALSE(linked->loadError());
    EXPECT_EQ(linked->duration(), MediaTime::make(800, 8000));
    ASSERT_EQ(linked->tracks().size(), 1u);

    // A song replaced by a FIFO after it was opened is not read from either.
    const auto track = linked->tracks().front();
    Error error;
    EXPECT_TRUE(track->openPcmStream({}, &error));  // the file the asset opened
    ASSERT_TRUE(QFile::remove(song));
    ASSERT_EQ(mkfifo(QFile::encodeName(song).constData(), 0600), 0);
    EXPECT_FALSE(track->openPcmStream({}, &error));
    EXPECT_EQ(error.code, MediaErrorFileFormatNotRecognized);
}

// The identity keys stored waveforms: a song rewritten in place, even by a
// tag editor that puts its modification time back, is another song.
TEST_F(AssetTest, FileIdentityFollowsTheContentsNotThePath)
{
    const QString song = dir.filePath("song.wav");
    ASSERT_TRUE(writeBytes(song, monoWavOf8BitValues(std::vector<int>(800, 5))));
    const QString link = dir.filePath("link.wav");
    ASSERT_TRUE(QFile::link(song, link));
    const auto identity = Asset::assetWithPath(song)->fileIdentity();
    ASSERT_TRUE(identity);
    EXPECT_EQ(Asset::assetWithPath(link)->fileIdentity(), identity);

    struct stat before;
    ASSERT_EQ(::stat(QFile::encodeName(song).constData(), &before), 0);
    QThread::msleep(30);  // past the file system's clock tick
    ASSERT_TRUE(writeBytes(song, monoWavOf8BitValues(std::vector<int>(800, 90))));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(song).constData(), times, 0), 0);
    struct stat after;
    ASSERT_EQ(::stat(QFile::encodeName(song).constData(), &after), 0);
    ASSERT_EQ(after.st_ino, before.st_ino) << "rewritten in place";
    ASSERT_EQ(after.st_size, before.st_size);
    EXPECT_NE(Asset::assetWithPath(song)->fileIdentity(), identity);
}

TEST_F(AssetTest, HeadersClaimingImplausibleRatesOrChannelsCannotBeRead)
{
    const std::vector<int16_t> samples(4000, 1000);
    struct Case { int rate; int channels; const char* reason; };
    for (const Case& claim : {Case{999'999'000, 1, "sample rate"}, Case{500, 1, "sample rate"}, Case{8000, 200, "channel"}}) {
        const QString path = dir.filePath(QString("claim%1x%2.wav").arg(claim.rate).arg(claim.channels));
        ASSERT_TRUE(writeBytes(path, wavOf16BitSamples(claim.rate, claim.channels, samples)));
        auto asset = Asset::assetWithPath(path);
        ASSERT_TRUE(asset->loadError()) << claim.rate << " Hz, " << claim.channels << " channels";
        EXPECT_EQ(asset->loadError()->code, MediaErrorFileFormatNotRecognized);
        EXPECT_TRUE(asset->loadError()->message.contains(claim.reason)) << asset->loadError()->message.toStdString();
        EXPECT_TRUE(asset->tracks().empty());
    }
    // The ends of what audio files use still read.
    for (int rate : {ffmpeg::kMinimumSampleRate, 192000}) {
        const QString path = dir.filePath(QString("rate%1.wav").arg(rate));
        ASSERT_TRUE(writeBytes(path, wavOf16BitSamples(rate, 2, samples)));
        auto asset = Asset::assetWithPath(path);
        EXPECT_FALSE(asset->loadError()) << rate;
        EXPECT_EQ(asset->duration(), MediaTime::make(2000, rate));
    }
}

// A damaged header may claim blocks far larger than its file: such a file is
// refused without the demuxer allocating what it claims, and a long real
// song, whose packet index is the largest block a song needs, still reads.
TEST_F(AssetTest, HeadersClaimingHugeBlocksAreRefusedWhileLongSongsRead)
{
    auto le32 = [](uint32_t value) {
        const uint32_t little = qToLittleEndian(value);
        return QByteArray(reinterpret_cast<const char*>(&little), 4);
    };
    // A WAV file of a few hundred bytes whose info list claims a tag of 1.5 GB.
    const QByteArray fmt = QByteArray::fromHex("01000100401f0000803e000002001000");
    const QByteArray claimsGigabytes = "RIFF" + le32(0x7fff0000) + "WAVEfmt " + le32(16) + fmt + "LIST" + le32(0x7ff00000)
                                       + "INFOISFT" + le32(0x60000000) + QByteArray(400, 'x');
    const QString hostile = dir.filePath("claims-gigabytes.wav");
    ASSERT_TRUE(writeBytes(hostile, claimsGigabytes));

    // The demuxer fills what it allocates for a tag, so the block shows in the
    // peak memory of a process that opens the file: a child of this one, with
    // a peak of its own.
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const bool refused = Asset::assetWithPath(hostile)->loadError().has_value();
        getrusage(RUSAGE_SELF, &after);
        const long grownKilobytes = refused ? after.ru_maxrss - before.ru_maxrss : -1;
        (void)!write(report[1], &grownKilobytes, sizeof grownKilobytes);
        _exit(0);
    }
    close(report[1]);
    long grownKilobytes = -2;
    ASSERT_EQ(read(report[0], &grownKilobytes, sizeof grownKilobytes), ssize_t(sizeof grownKilobytes));
    close(report[0]);
    waitpid(child, nullptr, 0);
    EXPECT_GE(grownKilobytes, 0) << "the file was not refused";
    EXPECT_LT(grownKilobytes, 64 * 1024) << "opening it took " << grownKilobytes / 1024 << " MB";

    // Two hours of AAC: some 56,000 packets in the index.
    const QString song = dir.filePath("two-hours.m4a");
    ASSERT_TRUE(writeTone(song, {.seconds = 7200.0, .sampleRate = 8000, .channels = 1, .bitRate = "16k"}));
    auto asset = Asset::assetWithPath(song);
    ASSERT_FALSE(asset->loadError()) << asset->loadError()->message.toStdString();
    EXPECT_NEAR(asset->duration().seconds(), 7200.0, 0.1);
    const auto tracks = asset->tracksWithMediaType(MediaType::Audio);
    ASSERT_EQ(tracks.size(), 1u);
    auto tail = tracks.front()->openPcmStreamFromFrame(AudioOutputSettings{}, int64_t(7199) * 44100, nullptr);
    ASSERT_TRUE(tail);
    int64_t frames = 0;
    while (auto buffer = tail->nextBuffer())
        frames += buffer->numberOfSamples();
    EXPECT_FALSE(tail->error());
    EXPECT_NEAR(double(frames), 44100.0, 2048.0);
}

TEST_F(AssetTest, NamesThatLookLikeProtocolsAreFileNames)
{
    // Relative to the working folder, "pipe:0" would otherwise read the
    // standard input.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    ASSERT_TRUE(writeBytes("pipe:0", monoWavOf8BitValues(std::vector<int>(400, 5))));
    auto asset = Asset::assetWithPath("pipe:0");
    const auto duration = asset->duration();
    QDir::setCurrent(previous);
    EXPECT_FALSE(asset->loadError());
    EXPECT_EQ(duration, MediaTime::make(400, 8000));
}

TEST_F(AssetTest, EncryptedAudioIsProtected)
{
    const QString path = dir.filePath("locked.m4a");
    ASSERT_TRUE(runFfmpeg({"-f", "lavfi", "-i", "sine=d=1", "-c:a", "aac", "-encryption_scheme", "cenc-aes-ctr",
                           "-encryption_key", "76a6c65c5ea762046bd749a2e632ccbb", "-encryption_kid",
                           "a7e61c373e219033c21091fa607bf3b8", path}));
    EXPECT_TRUE(Asset::assetWithPath(path)->hasProtectedContent());
    EXPECT_FALSE(Asset::assetWithPath(tone("open.m4a", {.seconds = 0.5}))->hasProtectedContent());
}

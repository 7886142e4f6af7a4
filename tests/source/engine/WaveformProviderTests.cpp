#include "source/engine/WaveformProvider.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/media/MediaError.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/TolvanError.h"

#include "tests/support/AudioFileTest.h"
#include "tests/support/EventLoop.h"
#include "tests/support/Gate.h"
#include "tests/support/RangeComparison.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr uint64_t kProviderRate = 8000;


// Counts the provider's notifications.
struct Listener {
    explicit Listener(const WaveformProvider* provider)
        : token(NotificationCenter::defaultCenter().addObserver(WaveformProviderSamplesAddedNotification, provider,
                                                                [this](const Notification&) { ++count; }))
    {
    }
    int count = 0;
    ObserverToken token;
};

// An asset that states a duration of its own over another asset's tracks.
class RestatedAsset : public Asset {
public:
    RestatedAsset(std::shared_ptr<Asset> inner, MediaTime duration) : inner_(std::move(inner)), duration_(duration) {}
    MediaTime duration() const override { return duration_; }
    std::vector<std::shared_ptr<Track>> tracks() const override { return inner_->tracks(); }
    std::vector<MetadataItem> metadata() const override { return inner_->metadata(); }

private:
    std::shared_ptr<Asset> inner_;
    MediaTime duration_;
};

// A song whose audio, read from its start, waits at the gate before its
// first buffer from `heldFrom` seconds on; the chunks read past the start
// are not held. Its title, length and file are the inner song's, so it is
// cached as that song.
class HeldReadAsset : public Asset {
public:
    HeldReadAsset(std::shared_ptr<Asset> inner, double heldFrom, std::shared_ptr<const Gate> gate) : inner_(std::move(inner))
    {
        for (const auto& track : inner_->tracks())
            tracks_.push_back(std::make_shared<HeldTrack>(track, heldFrom, gate));
    }
    MediaTime duration() const override { return inner_->duration(); }
    std::vector<std::shared_ptr<Track>> tracks() const override { return tracks_; }
    std::vector<MetadataItem> metadata() const override { return inner_->metadata(); }
    std::optional<QString> fileIdentity() const override { return inner_->fileIdentity(); }

private:
    class HeldTrack : public Track {
    public:
        HeldTrack(std::shared_ptr<Track> inner, double heldFrom, std::shared_ptr<const Gate> gate)
            : Track(inner->trackID(), inner->mediaType(), inner->formatDescriptions(), inner->duration()), inner_(std::move(inner)),
              heldFrom_(heldFrom), gate_(std::move(gate))
        {
        }
        std::unique_ptr<PcmStream> openPcmStream(const AudioOutputSettings& settings, Error* error) const override
        {
            auto stream = inner_->openPcmStream(settings, error);
            if (!stream)
                return nullptr;
            return std::make_unique<HeldStream>(std::move(stream), int64_t(heldFrom_ * settings.sampleRate), gate_);
        }
        std::unique_ptr<PcmStream> openPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame,
                                                          Error* error) const override
        {
            return inner_->openPcmStreamFromFrame(settings, startFrame, error);
        }
        std::shared_ptr<SharedTrackInput> openSharedInput() const override { return inner_->openSharedInput(); }
        std::unique_ptr<PcmStream> openSharedPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame,
                                                                std::shared_ptr<SharedTrackInput> input, Error* error) const override
        {
            return inner_->openSharedPcmStreamFromFrame(settings, startFrame, std::move(input), error);
        }

    private:
        struct HeldStream : PcmStream {
            HeldStream(std::unique_ptr<PcmStream> inner, int64_t heldFrom, std::shared_ptr<const Gate> gate)
                : inner(std::move(inner)), heldFrom(heldFrom), gate(std::move(gate))
            {
            }
            std::shared_ptr<SampleBuffer> nextBuffer() override
            {
                if (delivered >= heldFrom)
                    gate->pass();
                auto buffer = inner->nextBuffer();
                if (buffer)
                    delivered += int64_t(buffer->numberOfSamples());
                return buffer;
            }
            std::optional<Error> error() const override { return inner->error(); }

            std::unique_ptr<PcmStream> inner;
            int64_t heldFrom;
            std::shared_ptr<const Gate> gate;
            int64_t delivered = 0;
        };

        std::shared_ptr<Track> inner_;
        double heldFrom_;
        std::shared_ptr<const Gate> gate_;
    };

    std::shared_ptr<Asset> inner_;
    std::vector<std::shared_ptr<Track>> tracks_;
};

// A stereo track that delivers one buffer of loud audio and then fails.
class FailingTrack : public Track {
public:
    FailingTrack() : Track(1, MediaType::Audio, {{MediaType::Audio, "pcm", AudioStreamBasicDescription{8000, AudioFormatLinearPCM, 0, 0, 0, 0, 2, 16}}}, MediaTime::make(2, 1)) {}
    std::unique_ptr<PcmStream> openPcmStream(const AudioOutputSettings& settings, Error*) const override
    {
        struct Stream : PcmStream {
            AudioOutputSettings settings;
            bool delivered = false;
            std::shared_ptr<SampleBuffer> nextBuffer() override
            {
                if (std::exchange(delivered, true))
                    return nullptr;
                return std::make_shared<SampleBuffer>(FormatDescription{MediaType::Audio, "pcm", settings.streamDescription()},
                                                      MediaTime::zero(), std::vector<uint8_t>(800, 100));
            }
            std::optional<Error> error() const override
            {
                return delivered ? std::optional(Error{"test", 1, "the disk went away"}) : std::nullopt;
            }
        };
        auto stream = std::make_unique<Stream>();
        stream->settings = settings;
        return stream;
    }
};

// What the middle buffer of an UnformattedBufferTrack lacks.
enum class Lacking { StreamFormat, FormatDescription };

// A mono 8 kHz track of three buffers of 100 frames; the middle one lacks
// its stream format or its whole format description.
class UnformattedBufferTrack : public Track {
public:
    explicit UnformattedBufferTrack(Lacking lacking)
        : Track(1, MediaType::Audio, {{MediaType::Audio, "pcm", AudioStreamBasicDescription{8000, AudioFormatLinearPCM, 0, 0, 0, 0, 1, 16}}}, MediaTime::make(3, 100)),
          lacking_(lacking) {}
    std::unique_ptr<PcmStream> openPcmStream(const AudioOutputSettings& settings, Error*) const override
    {
        struct Stream : PcmStream {
            AudioOutputSettings settings;
            Lacking lacking;
            int delivered = 0;
            std::shared_ptr<SampleBuffer> nextBuffer() override
            {
                if (delivered == 3)
                    return nullptr;
                FormatDescription format{MediaType::Audio, "pcm", settings.streamDescription()};
                const int8_t value = int8_t(10 * ++delivered);
                const MediaTime time = MediaTime::make(100 * (delivered - 1), 8000);
                std::vector<uint8_t> bytes(100, uint8_t(value));
                if (delivered == 2 && lacking == Lacking::FormatDescription)
                    return std::make_shared<SampleBuffer>(time, std::move(bytes));
                if (delivered == 2)
                    format.streamDescription.reset();
                return std::make_shared<SampleBuffer>(format, time, std::move(bytes));
            }
            std::optional<Error> error() const override { return std::nullopt; }
        };
        auto stream = std::make_unique<Stream>();
        stream->settings = settings;
        stream->lacking = lacking_;
        return stream;
    }

private:
    Lacking lacking_;
};

// A titled two-second song over a file of its own, read through the given
// track: cached like any song from a file.
class TitledAsset : public FileAsset {
public:
    TitledAsset(const QString& file, std::shared_ptr<Track> track) : FileAsset(file), track_(std::move(track)) {}
    MediaTime duration() const override { return MediaTime::make(2, 1); }
    std::vector<std::shared_ptr<Track>> tracks() const override { return {track_}; }
    std::vector<MetadataItem> metadata() const override
    {
        return {{MetadataCommonKeyTitle, MetadataKeySpaceCommon, MetadataCommonKeyTitle, QString("Failing"), {}}};
    }

private:
    std::shared_ptr<Track> track_;
};

class WaveformProviderTest : public AudioFileTest {
protected:

    QString wav(const QString& name, const std::vector<int>& values)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeBytes(path, monoWavOf8BitValues(values)));
        return path;
    }

    // A titled song over a small file of the scratch folder.
    std::shared_ptr<TitledAsset> titled(std::shared_ptr<Track> track)
    {
        return std::make_shared<TitledAsset>(wav(QString("titled%1.wav").arg(++titledFiles_), {1, 2, 3}), std::move(track));
    }

    // Reads to the end and lets the last notification arrive.
    static void readFully(const std::shared_ptr<WaveformProvider>& provider)
    {
        provider->startReadingWaveform();
        ASSERT_TRUE(waitUntil([&] { return provider->finished(); }, 60000));
        drainEvents();
    }

    static std::shared_ptr<const WaveformSamples> readStore(const QString& path)
    {
        auto provider = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
        readFully(provider);
        return provider->waveformSamples();
    }

    // Whether the song comes from the cache with the given store. A cache
    // hit shares the stored store and is finished inside
    // startReadingWaveform; a read fills a store of its own, however soon it
    // ends.
    static bool isCachedWith(const QString& path, const std::shared_ptr<const WaveformSamples>& stored)
    {
        auto provider = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
        provider->startReadingWaveform();
        const bool cached = provider->waveformSamples() == stored && provider->finished();
        provider->stopReadingWaveform();
        return cached;
    }

    static std::vector<std::pair<int, int>> buckets(const WaveformProvider& provider)
    {
        std::vector<std::pair<int, int>> pairs;
        const auto store = provider.waveformSamples();
        for (std::size_t i = 0; i + 1 < store->size(); i += 2)
            pairs.emplace_back((*store)[i], (*store)[i + 1]);
        return pairs;
    }

private:
    int titledFiles_ = 0;
};

}  // namespace

TEST_F(WaveformProviderTest, BucketsHoldPeakPairsAndNFramesFillNMinusOneBuckets)
{
    const std::vector<int> frames{64, -32, 10, -5, 127, -128, 0, 3};
    auto provider = WaveformProvider::providerWithAsset(Asset::assetWithPath(wav("peaks.wav", frames)), kProviderRate);
    readFully(provider);
    // The first bucket takes two frames, every later one a single frame, and
    // the last bucket of the store stays empty.
    const std::vector<std::pair<int, int>> expected{{64, -32}, {10, 0}, {0, -5}, {127, 0}, {0, -128}, {0, 0}, {3, 0}, {0, 0}};
    EXPECT_EQ(buckets(*provider), expected);
    EXPECT_TRUE(provider->finished());
    EXPECT_TRUE(sameRange(provider->timeRangeOfSamples(), {0.0, 0.001}));
}

TEST_F(WaveformProviderTest, StereoSongsAreReadDownmixedAtTheRequestedRate)
{
    auto asset = Asset::assetWithPath(tone("song.mp3", {.seconds = 2.0, .amplitude = 0.5}));
    auto provider = WaveformProvider::providerWithAsset(asset, 100);
    readFully(provider);
    const auto pairs = buckets(*provider);
    ASSERT_EQ(pairs.size(), std::size_t(std::ceil(100 * asset->duration().seconds())));
    // A sine at half scale peaks near ±64 in every hundredth of a second.
    for (std::size_t i = 5; i < 190; ++i) {
        EXPECT_NEAR(pairs[i].first, 64, 4) << i;
        EXPECT_NEAR(pairs[i].second, -64, 4) << i;
    }
}

TEST_F(WaveformProviderTest, NotificationsComeEveryFiveSecondsOfAudioAndAtTheEnd)
{
    for (auto [seconds, expected] : {std::pair{12.0, 3}, std::pair{4.0, 1}, std::pair{10.5, 3}}) {
        auto provider = WaveformProvider::providerWithAsset(
            Asset::assetWithPath(tone(QString("t%1.wav").arg(seconds), {.seconds = seconds, .channels = 1})), kProviderRate);
        Listener listener(provider.get());
        readFully(provider);
        EXPECT_EQ(listener.count, expected) << seconds << " seconds";
        EXPECT_TRUE(sameRange(provider->timeRangeOfSamples(), {0.0, seconds}));
    }
}

TEST_F(WaveformProviderTest, TitledSongsComeFromTheCacheTheSecondTime)
{
    const QString path = tone("titled.m4a", {.seconds = 3.0, .tags = {{"title", "Cached"}}});
    auto first = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
    readFully(first);

    auto second = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
    Listener listener(second.get());
    second->startReadingWaveform();
    EXPECT_TRUE(second->finished());
    EXPECT_EQ(second->waveformSamples(), first->waveformSamples());
    EXPECT_DOUBLE_EQ(ZNTTimeRangeEnd(second->timeRangeOfSamples()), second->asset()->duration().seconds());
    drainEvents();
    EXPECT_EQ(listener.count, 1);

    // Without a title there is no key, and the song is read again.
    const QString untitled = tone("untitled.wav", {.seconds = 1.0});
    auto untitledFirst = WaveformProvider::providerWithAsset(Asset::assetWithPath(untitled), kProviderRate);
    readFully(untitledFirst);
    auto again = WaveformProvider::providerWithAsset(Asset::assetWithPath(untitled), kProviderRate);
    again->startReadingWaveform();
    EXPECT_NE(again->waveformSamples().get(), untitledFirst->waveformSamples().get());
    again->stopReadingWaveform();
}

TEST_F(WaveformProviderTest, TheTwelfthStoredSongEvictsTheOldest)
{
    std::vector<QString> paths;
    std::vector<std::shared_ptr<const WaveformSamples>> stores;
    for (int i = 0; i < 12; ++i) {
        paths.push_back(tone(QString("song%1.wav").arg(i), {.seconds = 0.2, .tags = {{"title", QString("Song %1").arg(i)}}}));
        stores.push_back(readStore(paths.back()));
    }
    for (int i = 1; i < 12; ++i)
        EXPECT_TRUE(isCachedWith(paths[i], stores[i])) << i;
    // Song 0 is asked last: its read may end, and store it anew, before the
    // stop.
    EXPECT_FALSE(isCachedWith(paths[0], stores[0]));
}

TEST_F(WaveformProviderTest, StoringASongAgainRefreshesItsPlaceInTheCache)
{
    std::vector<QString> paths;
    for (int i = 0; i < 12; ++i)
        paths.push_back(tone(QString("song%1.wav").arg(i), {.seconds = 1.0, .tags = {{"title", QString("Song %1").arg(i)}}}));
    // A second reader of song 0 that started before song 0 was cached, held
    // at its first buffer until the others are stored.
    const auto gate = std::make_shared<Gate>();
    const ReleasedAtEnd releaseAtEnd(*gate);
    auto late = WaveformProvider::providerWithAsset(std::make_shared<HeldReadAsset>(Asset::assetWithPath(paths[0]), 0.0, gate),
                                                    kProviderRate);
    late->startReadingWaveform();
    ASSERT_FALSE(late->finished());
    std::vector<std::shared_ptr<const WaveformSamples>> stores;
    for (int i = 0; i < 11; ++i)
        stores.push_back(readStore(paths[i]));
    gate->release();
    ASSERT_TRUE(waitUntil([&] { return late->finished(); }));
    readStore(paths[11]);

    EXPECT_TRUE(isCachedWith(paths[0], late->waveformSamples()));
    EXPECT_FALSE(isCachedWith(paths[1], stores[1]));  // now the oldest stored
}

TEST_F(WaveformProviderTest, StoppedProvidersStayUnfinishedAndFallSilent)
{
    // Held at its first buffer, so that the reading cannot end before the stop.
    const auto gate = std::make_shared<Gate>();
    const ReleasedAtEnd releaseAtEnd(*gate);
    auto provider = WaveformProvider::providerWithAsset(
        std::make_shared<HeldReadAsset>(Asset::assetWithPath(tone("long.mp3", {.seconds = 120.0})), 0.0, gate), kProviderRate);
    Listener listener(provider.get());
    provider->startReadingWaveform();
    provider->stopReadingWaveform();
    gate->release();
    drainEvents(300);
    const int heard = listener.count;
    drainEvents(300);
    EXPECT_FALSE(provider->finished());
    EXPECT_EQ(listener.count, heard);
    EXPECT_LT(ZNTTimeRangeEnd(provider->timeRangeOfSamples()), 120.0);
}

TEST_F(WaveformProviderTest, PausedReadingHoldsUntilResumed)
{
    // Held at its first buffer, so that the reading cannot end before the pause.
    const auto gate = std::make_shared<Gate>();
    const ReleasedAtEnd releaseAtEnd(*gate);
    auto provider = WaveformProvider::providerWithAsset(
        std::make_shared<HeldReadAsset>(Asset::assetWithPath(tone("song.wav", {.seconds = 20.0})), 0.0, gate), kProviderRate);
    provider->startReadingWaveform();
    provider->pauseReadingWaveform();
    gate->release();
    // A step already running when the pause came may still land: the range
    // is held once it stops changing, and must then stay put.
    ZNTTimeRange held = provider->timeRangeOfSamples();
    for (bool changed = true; changed;) {
        drainEvents(300);
        const ZNTTimeRange now = provider->timeRangeOfSamples();
        changed = !sameRange(now, held);
        held = now;
    }
    drainEvents(300);
    EXPECT_FALSE(provider->finished());
    EXPECT_TRUE(sameRange(provider->timeRangeOfSamples(), held));
    EXPECT_LT(ZNTTimeRangeEnd(held), 20.0);
    provider->resumeReadingWaveform();
    EXPECT_TRUE(waitUntil([&] { return provider->finished(); }));
    EXPECT_TRUE(sameRange(provider->timeRangeOfSamples(), {0.0, 20.0}));
}

TEST_F(WaveformProviderTest, AudioLongerThanTheStatedDurationIsDroppedAtTheStoreEnd)
{
    auto song = Asset::assetWithPath(wav("long.wav", std::vector<int>(3 * 8000, 50)));
    auto asset = std::make_shared<RestatedAsset>(song, MediaTime::make(1, 1));
    auto provider = WaveformProvider::providerWithAsset(asset, kProviderRate);
    Listener listener(provider.get());
    readFully(provider);
    EXPECT_EQ(provider->waveformSamples()->size(), 2 * kProviderRate);
    EXPECT_EQ(buckets(*provider).back(), std::make_pair(50, 0));  // filled to the very end
    EXPECT_TRUE(sameRange(provider->timeRangeOfSamples(), {0.0, 1.0}));
    EXPECT_EQ(listener.count, 1);
}

TEST_F(WaveformProviderTest, AFailingReaderFailsTheProviderUncached)
{
    ZNTAnalytics::resetForTesting();
    auto asset = titled(std::make_shared<FailingTrack>());
    auto provider = WaveformProvider::providerWithAsset(asset, kProviderRate);
    Listener listener(provider.get());
    provider->startReadingWaveform();
    ASSERT_TRUE(waitUntil([] {
        auto log = ZNTAnalytics::eventLog();
        return log && !log->isEmpty() && log->back().value("event") == "processSample AVAssetReader failed";
    }));
    drainEvents();
    EXPECT_FALSE(provider->finished());
    EXPECT_EQ(provider->status(), WaveformReadingStatus::Failed);
    EXPECT_EQ(provider->error(), (Error{"test", 1, "the disk went away"}));
    EXPECT_EQ(listener.count, 1);  // the end is announced once
    EXPECT_TRUE(sameRange(provider->timeRangeOfSamples(), {0.0, 799.0 / 8000}));  // what was read stays
    const QVariantMap parameters = ZNTAnalytics::eventLog()->back().value("parameters").toMap();
    EXPECT_TRUE(parameters.value("error").toString().contains("the disk went away"));

    auto again = WaveformProvider::providerWithAsset(asset, kProviderRate);
    again->startReadingWaveform();
    EXPECT_FALSE(again->finished());  // nothing was cached
    again->stopReadingWaveform();
}

TEST_F(WaveformProviderTest, ABufferWithoutAFormatIsSkippedAndLogged)
{
    for (auto [lacking, event] : {std::pair{Lacking::StreamFormat, "CMAudioFormatDescriptionGetMostCompatibleFormat failed"},
                                  std::pair{Lacking::FormatDescription, "CMSampleBufferGetFormatDescription failed"}}) {
        ZNTAnalytics::resetForTesting();
        auto asset = titled(std::make_shared<UnformattedBufferTrack>(lacking));
        auto provider = WaveformProvider::providerWithAsset(asset, kProviderRate);
        readFully(provider);
        // The first buffer fills 99 buckets, the second adds none,
        // the third the next 100 (at 30).
        const auto pairs = buckets(*provider);
        ASSERT_EQ(pairs.size(), 16000u);
        EXPECT_EQ(pairs[98], std::make_pair(10, 0)) << event;
        EXPECT_EQ(pairs[99], std::make_pair(30, 0)) << event;
        EXPECT_EQ(pairs[198], std::make_pair(30, 0)) << event;
        EXPECT_EQ(pairs[199], std::make_pair(0, 0)) << event;
        int logged = 0;
        const auto log = ZNTAnalytics::eventLog();
        ASSERT_TRUE(log);
        for (const QVariantMap& item : *log)
            logged += item.value("event") == event;
        EXPECT_EQ(logged, 1) << event;
    }
}

TEST_F(WaveformProviderTest, SongsSharingTitleAndDurationKeepTheirOwnWaveforms)
{
    const QString quiet = tone("quiet.wav", {.seconds = 1.0, .amplitude = 0.1, .tags = {{"title", "Same"}}});
    const QString loud = tone("loud.wav", {.seconds = 1.0, .amplitude = 0.8, .tags = {{"title", "Same"}}});
    auto first = WaveformProvider::providerWithAsset(Asset::assetWithPath(quiet), kProviderRate);
    readFully(first);
    ASSERT_LT(first->maxMagnitudeOfTimeRange({0.0, 1.0}), 0.2);

    // A cache hit shares the stored store; a read fills one of its own.
    auto second = WaveformProvider::providerWithAsset(Asset::assetWithPath(loud), kProviderRate);
    second->startReadingWaveform();
    EXPECT_NE(second->waveformSamples().get(), first->waveformSamples().get()) << "taken from the other song's cache entry";
    ASSERT_TRUE(waitUntil([&] { return second->finished(); }));
    EXPECT_GT(second->maxMagnitudeOfTimeRange({0.0, 1.0}), 0.7);

    // A song edited since it was stored is read again too.
    ASSERT_TRUE(QFile::remove(quiet));
    ASSERT_TRUE(QFile::copy(loud, quiet));
    auto edited = WaveformProvider::providerWithAsset(Asset::assetWithPath(quiet), kProviderRate);
    edited->startReadingWaveform();
    EXPECT_NE(edited->waveformSamples().get(), first->waveformSamples().get());
    ASSERT_TRUE(waitUntil([&] { return edited->finished(); }));
    EXPECT_GT(edited->maxMagnitudeOfTimeRange({0.0, 1.0}), 0.7);

    // The same file opened again, through a link as well, is the cached one.
    const QString link = dir.filePath("link.wav");
    ASSERT_TRUE(QFile::link(loud, link));
    for (const QString& path : {loud, link}) {
        auto again = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
        again->startReadingWaveform();
        EXPECT_TRUE(again->finished()) << path.toStdString();
        EXPECT_EQ(again->waveformSamples(), second->waveformSamples());
    }
}

// A second thread queries while the provider reads: whatever it finds inside
// the range published at the time is what the finished store holds in the
// buckets written by then. A column whose rounding takes the bucket after
// the published range has that bucket as silence until it is written.
TEST_F(WaveformProviderTest, QueriesDuringReadingSeeOnlyFinishedBuckets)
{
    constexpr int kSeconds = 300;
    std::vector<int> frames(kSeconds * 8000);
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames[i] = int(i * 37 % 255) - 127;  // neighbouring buckets differ
    // The reading from the start holds at two seconds until the querier has
    // seen a range published before the end.
    const auto gate = std::make_shared<Gate>();
    const ReleasedAtEnd releaseAtEnd(*gate);
    auto song = Asset::assetWithPath(wav("long.wav", frames));
    auto provider = WaveformProvider::providerWithAsset(std::make_shared<HeldReadAsset>(song, 2.0, gate), kProviderRate);

    // A query over a column inside the range published before it.
    struct Seen {
        ZNTTimeRange column;
        WaveformSample peak;
        double magnitude;
    };
    std::vector<Seen> seen;
    std::vector<ZNTTimeRange> published;
    std::atomic<std::size_t> recorded{0};
    std::atomic<bool> done{false};
    provider->startReadingWaveform();
    std::thread querier([&] {
        while (!done.load()) {
            const ZNTTimeRange valid = provider->timeRangeOfSamples();
            // The last buckets published, the latest written (one bucket
            // earlier where rounding puts the column's end past the range),
            // and a column past them, which is still being written.
            const double width = std::min(3.0 / kProviderRate, valid.duration);
            ZNTTimeRange last{ZNTTimeRangeEnd(valid) - width, width};
            if (!ZNTTimeRangeContainsRange(valid, last))
                last.start -= 1.0 / kProviderRate;
            const ZNTTimeRange beyond{ZNTTimeRangeEnd(valid), 0.1};
            const Seen inside{last, provider->representativeSampleForTimeRange(last), provider->maxMagnitudeOfTimeRange(last)};
            // The smoothed window depends on the range at the call: it is
            // only read, for the checker to watch.
            provider->smoothedSampleForTimeRange(last);
            provider->representativeSampleForTimeRange(beyond);
            provider->maxMagnitudeOfTimeRange(beyond);
            const bool grown = published.empty() || !ZNTTimeRangeEqualToRange(published.back(), valid);
            if (grown && valid.duration > width && ZNTTimeRangeContainsRange(valid, last)) {
                published.push_back(valid);
                seen.push_back(inside);
                ++recorded;
            }
        }
    });
    const bool seenWhileHeld = waitUntil([&] { return recorded.load() > 0; });
    gate->release();
    const bool finished = waitUntil([&] { return provider->finished(); }, 60000);
    done = true;
    querier.join();
    ASSERT_TRUE(seenWhileHeld);
    ASSERT_TRUE(finished);

    EXPECT_TRUE(sameRange(provider->timeRangeOfSamples(), {0.0, double(kSeconds)}));
    ASSERT_FALSE(seen.empty());
    EXPECT_LT(ZNTTimeRangeEnd(published.front()), double(kSeconds)) << "the first query came while the song was read";
    for (std::size_t i = 1; i < published.size(); ++i)
        ASSERT_TRUE(ZNTTimeRangeContainsRange(published[i], published[i - 1])) << "the valid range shrank at query " << i;
    const auto store = provider->waveformSamples();
    const auto peaksBelow = [&](WaveformSampleRange buckets, uint64_t end) {
        int positive = 0, negative = 0;
        // A column at the song's end may reach a bucket past the store.
        const uint64_t last = std::min({buckets.location + buckets.length, end, uint64_t(store->size() / 2)});
        for (uint64_t b = buckets.location; b < last; ++b) {
            positive = std::max<int>(positive, (*store)[2 * b]);
            negative = std::min<int>(negative, (*store)[2 * b + 1]);
        }
        return std::make_pair(WaveformSample{positive / 128.0, negative / 128.0}, std::max(positive, -negative) / 128.0);
    };
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const Seen& item = seen[i];
        const auto where = [&] { return ::testing::Message() << "at " << item.column.start << " s for " << item.column.duration << " s"; };
        const WaveformSampleRange buckets = provider->sampleRangeForTimeRange(item.column);
        // The range may have grown over the bucket after it before the query.
        const auto writtenBefore = uint64_t(std::llround(ZNTTimeRangeEnd(published[i]) * kProviderRate));
        const auto partial = peaksBelow(buckets, writtenBefore), whole = peaksBelow(buckets, UINT64_MAX);
        // Each query takes the range as it stands at its call, and the range
        // may grow between the two.
        ASSERT_TRUE(item.peak == partial.first || item.peak == whole.first) << where();
        ASSERT_TRUE(item.magnitude == partial.second || item.magnitude == whole.second) << where();
    }
}

// Another thread asks for the valid range while the reading queue extends
// it: each answer is a whole range the reading published, never a torn or
// shrinking one. (Under ThreadSanitizer, a range read or written outside its
// lock is reported as a race.)
TEST_F(WaveformProviderTest, TheValidRangeIsReadUnderItsLockWhileReadingExtendsIt)
{
    constexpr double kSeconds = 120;
    // The reading from the start holds at a second until the asker runs.
    const auto gate = std::make_shared<Gate>();
    const ReleasedAtEnd releaseAtEnd(*gate);
    auto provider = WaveformProvider::providerWithAsset(
        std::make_shared<HeldReadAsset>(Asset::assetWithPath(wav("growing.wav", std::vector<int>(std::size_t(kSeconds * 8000), 50))), 1.0,
                                        gate),
        kProviderRate);
    provider->startReadingWaveform();
    std::atomic<bool> done{false};
    std::atomic<int> queries{0};
    std::vector<ZNTTimeRange> seen;
    std::thread asker([&] {
        while (!done.load()) {
            const ZNTTimeRange range = provider->timeRangeOfSamples();
            if (seen.empty() || !ZNTTimeRangeEqualToRange(seen.back(), range))
                seen.push_back(range);
            ++queries;
        }
    });
    const bool askedWhileHeld = waitUntil([&] { return queries.load() > 0; });
    gate->release();
    const bool finished = waitUntil([&] { return provider->finished(); }, 60000);
    // One more answer once the song is read: the asker sees the range grow.
    const int asked = queries.load();
    const bool askedAtEnd = waitUntil([&] { return queries.load() > asked; });
    done = true;
    asker.join();
    ASSERT_TRUE(askedWhileHeld && finished && askedAtEnd);

    EXPECT_TRUE(sameRange(provider->timeRangeOfSamples(), {0.0, kSeconds}));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_LT(ZNTTimeRangeEnd(seen.front()), kSeconds) << "asked while the song was read";
    EXPECT_TRUE(sameRange(seen.back(), {0.0, kSeconds}));
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].start, 0.0) << i;
        EXPECT_LE(ZNTTimeRangeEnd(seen[i]), kSeconds) << i;
        if (i > 0) {
            EXPECT_GT(seen[i].duration, seen[i - 1].duration) << "the range shrank at " << i;
        }
    }
}

// A header may claim any length: a store that can't be had for it ends the
// reading with an error instead of ending the program.
TEST_F(WaveformProviderTest, ASongClaimingMoreThanMemoryHoldsFailsTheReading)
{
    // An MP3 whose header frame counts a frame count of four billion.
    const QString path = dir.filePath("endless.mp3");
    ASSERT_TRUE(writeTone(path, {.seconds = 1.0}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    qsizetype tag = bytes.indexOf("Xing");
    if (tag < 0)
        tag = bytes.indexOf("Info");
    ASSERT_GE(tag, 0);
    ASSERT_TRUE(bytes[tag + 7] & 1) << "the tag holds a frame count";
    for (int i = 0; i < 4; ++i)
        bytes[tag + 8 + i] = char(0xFF);
    ASSERT_TRUE(file.seek(0) && file.write(bytes) == bytes.size());
    file.close();
    auto asset = Asset::assetWithPath(path);
    ASSERT_GT(asset->duration().seconds(), 1e7) << "the header's length is taken";

    // A file's length is bounded by what its size can hold; an asset that
    // only states its length (as an edited one does) is taken at its word.
    auto stated = std::make_shared<RestatedAsset>(asset, asset->duration());
    auto provider = WaveformProvider::providerWithAsset(stated, kProviderRate);
    provider->startReadingWaveform();
    EXPECT_EQ(provider->status(), WaveformReadingStatus::Failed);
    ASSERT_TRUE(provider->error());
}

// A header may claim far more than its file holds: the store is sized by
// what the file can hold, and the song's own buckets are those of the same
// song with an honest header.
TEST_F(WaveformProviderTest, AHeaderClaimingMoreThanItsFileHoldsGetsAStoreTheFileCanFill)
{
    constexpr uint64_t kEditorRate = 100;
    const QString honest = dir.filePath("honest.flac");
    ASSERT_TRUE(writeTone(honest, {.seconds = 2.0, .sampleRate = 8000, .channels = 1, .noise = true}));
    QFile source(honest);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    // The stream information's 36-bit count of frames, after the sample rate,
    // channels and bits per sample: 975 hours at 8 kHz.
    ASSERT_TRUE(bytes.startsWith("fLaC") && (bytes[4] & 0x7F) == 0) << "the stream information comes first";
    const uint64_t claimedFrames = uint64_t(975) * 3600 * 8000;
    uint64_t packed = qFromBigEndian<quint64>(bytes.constData() + 18);
    packed = (packed & ~((uint64_t(1) << 36) - 1)) | claimedFrames;
    qToBigEndian<quint64>(packed, bytes.data() + 18);
    const QString claiming = dir.filePath("claiming.flac");
    ASSERT_TRUE(writeBytes(claiming, bytes));
    auto asset = Asset::assetWithPath(claiming);
    ASSERT_NEAR(asset->duration().seconds(), 975.0 * 3600, 1.0) << "the header's length is taken";

    auto provider = WaveformProvider::providerWithAsset(asset, kEditorRate);
    readFully(provider);
    ASSERT_EQ(provider->status(), WaveformReadingStatus::Finished);
    const double fileCanHold = double(bytes.size()) * 65536.0 / 8000.0;
    EXPECT_LE(double(provider->waveformSamples()->size()), 2.0 * kEditorRate * std::ceil(fileCanHold))
        << "a store of " << provider->waveformSamples()->size() / 1000000 << " MB";

    auto honestProvider = WaveformProvider::providerWithAsset(Asset::assetWithPath(honest), kEditorRate);
    readFully(honestProvider);
    const auto song = buckets(*honestProvider);
    const auto read = buckets(*provider);
    ASSERT_GE(read.size(), song.size());
    EXPECT_TRUE(std::equal(song.begin(), song.end(), read.begin()));
}

TEST_F(WaveformProviderTest, FilesWithoutReadableAudioFailAtTheStart)
{
    ZNTAnalytics::resetForTesting();
    const QString text = dir.filePath("letter.mp3");
    ASSERT_TRUE(writeBytes(text, QByteArray("Dear reader,\n").repeated(100)));
    const QString mute = dir.filePath("mute.mp4");
    ASSERT_TRUE(writeVideo(mute, 1.0, false));
    for (const QString& path : {text, mute}) {
        auto provider = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
        Listener listener(provider.get());
        provider->startReadingWaveform();
        drainEvents(100);
        EXPECT_FALSE(provider->finished());
        EXPECT_EQ(provider->status(), WaveformReadingStatus::Failed);
        ASSERT_TRUE(provider->error());
        if (path == text) {  // the reader's own refusal
            Error refusal;
            EXPECT_FALSE(AssetReader::assetReaderWithAsset(provider->asset(), &refusal));
            EXPECT_EQ(*provider->error(), refusal);
        } else {
            EXPECT_EQ(provider->error()->domain, TolvanErrorDomain);
            EXPECT_EQ(provider->error()->code, TolvanErrorNoAudio);
        }
        EXPECT_EQ(listener.count, 1);
        EXPECT_TRUE(sameRange(provider->timeRangeOfSamples(), {0.0, 0.0}));
    }
    const auto log = ZNTAnalytics::eventLog();
    ASSERT_TRUE(log);
    EXPECT_EQ(log->front().value("errorID"), "startReadingWaveform AVAssetReader assetReaderWithAsset");
    EXPECT_EQ(log->back().value("event"), "startReadingWaveform bestTrackForRingtone failed");
}

// A header that lists audio which its data does not hold gives no waveform
// of the header's length: the provider fails with the media error, once,
// and caches nothing; read in chunks too.
TEST_F(WaveformProviderTest, ASongThatDecodesToNothingFailsTheProvider)
{
    const std::map<QString, QString> title{{"title", "Cut short"}};
    const QString cut = dir.filePath("cut.m4a");
    ASSERT_TRUE(writeMediaDataCutOff(tone("whole.m4a", {.seconds = 6.0, .tags = title, .encoderOptions = {"-movflags", "+faststart"}}),
                                     cut));
    const QString damaged = dir.filePath("damaged.flac");
    ASSERT_TRUE(writeFramesDamaged(tone("whole.flac", {.seconds = 6.0, .tags = title}), damaged));
    for (const QString& path : {cut, damaged}) {
        for (bool chunked : {false, true}) {
            SCOPED_TRACE(path.toStdString() + (chunked ? " in chunks" : ""));
            auto provider = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
            if (chunked)
                provider->setChunking(1.0, 4);
            Listener listener(provider.get());
            provider->startReadingWaveform();
            ASSERT_TRUE(waitUntil([&] { return provider->status() != WaveformReadingStatus::Reading; }));
            drainEvents(100);
            EXPECT_EQ(provider->status(), WaveformReadingStatus::Failed);
            ASSERT_TRUE(provider->error());
            EXPECT_EQ(provider->error()->domain, AVFoundationErrorDomain);
            EXPECT_EQ(provider->error()->code, MediaErrorDecodeFailed);
            EXPECT_EQ(listener.count, 1);
            EXPECT_LT(provider->timeRangeOfSamples().duration, 1.0);  // not the header's six seconds
            auto again = WaveformProvider::providerWithAsset(provider->asset(), kProviderRate);
            again->startReadingWaveform();
            EXPECT_FALSE(again->finished());  // nothing was cached
            again->stopReadingWaveform();
        }
    }

    // The whole song gives its waveform, and a song cut off in the middle
    // gives what it holds, in chunks as whole.
    auto whole = WaveformProvider::providerWithAsset(Asset::assetWithPath(dir.filePath("whole.flac")), kProviderRate);
    readFully(whole);
    EXPECT_EQ(whole->status(), WaveformReadingStatus::Finished);
    EXPECT_EQ(whole->error(), std::nullopt);
    const QString half = dir.filePath("half.mp3");
    ASSERT_TRUE(writeTruncated(tone("whole.mp3", {.seconds = 6.0, .noise = true}), half, 0.5));
    auto halfWhole = WaveformProvider::providerWithAsset(Asset::assetWithPath(half), kProviderRate);
    readFully(halfWhole);
    auto halfChunked = WaveformProvider::providerWithAsset(halfWhole->asset(), kProviderRate);
    halfChunked->setChunking(1.0, 4);
    readFully(halfChunked);
    EXPECT_EQ(halfChunked->status(), WaveformReadingStatus::Finished);
    EXPECT_EQ(buckets(*halfChunked), buckets(*halfWhole));
    EXPECT_GT(halfWhole->maxMagnitudeOfTimeRange({0.0, 2.0}), 0.1);
}

TEST_F(WaveformProviderTest, DamagedSilentAndVideoFilesStillGiveAWaveform)
{
    const QString whole = tone("whole.mp3", {.seconds = 4.0});
    const QString cut = dir.filePath("cut.mp3");
    ASSERT_TRUE(writeTruncated(whole, cut, 0.5));
    const QString movie = dir.filePath("movie.mp4");
    ASSERT_TRUE(writeVideo(movie, 2.0, true));
    const QString silent = tone("silent.wav", {.seconds = 2.0, .amplitude = 0.0});
    for (const QString& path : {cut, movie, silent}) {
        auto provider = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
        readFully(provider);
        const double duration = provider->asset()->duration().seconds();
        const double loudest = provider->maxMagnitudeOfTimeRange({0.0, duration});
        if (path == silent)
            EXPECT_EQ(loudest, 0.0);
        else
            EXPECT_GT(loudest, 0.1) << path.toStdString();
    }
}

// A song read in chunks has the buckets of a song read whole: each chunk
// starts with the frames and the bucket state a whole read has there.
TEST_F(WaveformProviderTest, ChunkedReadingGivesTheBucketsOfAWholeRead)
{
    for (const char* name : {"chunked.mp3", "chunked.m4a", "chunked.wav"}) {
        auto asset = Asset::assetWithPath(tone(name, {.seconds = 30.0, .noise = true, .encoderOptions = QString(name).endsWith(".m4a")
                                                                                        ? QStringList{"-aac_pns", "0"}
                                                                                        : QStringList{}}));
        for (uint64_t rate : {kProviderRate, uint64_t(300)}) {
            auto whole = WaveformProvider::providerWithAsset(asset, rate);
            readFully(whole);
            auto chunked = WaveformProvider::providerWithAsset(asset, rate);
            chunked->setChunking(10.0, 7);
            std::vector<ZNTTimeRange> seen;
            const auto token = NotificationCenter::defaultCenter().addObserver(
                WaveformProviderSamplesAddedNotification, chunked.get(),
                [&](const Notification&) { seen.push_back(chunked->timeRangeOfSamples()); });
            readFully(chunked);

            const auto expected = buckets(*whole), actual = buckets(*chunked);
            ASSERT_EQ(actual.size(), expected.size());
            // At the decoding rate every bucket is the whole read's. At 300
            // buckets a second a chunk may start inside a bucket: that one
            // bucket (at most one per boundary, six here) holds the peaks of
            // the chunk's frames only, so its peaks lie within the whole's.
            std::size_t differing = 0;
            for (std::size_t i = 0; i < actual.size(); ++i) {
                if (actual[i] != expected[i]) {
                    ++differing;
                    EXPECT_LE(actual[i].first, expected[i].first) << name << " bucket " << i;
                    EXPECT_GE(actual[i].second, expected[i].second) << name << " bucket " << i;
                }
            }
            EXPECT_LE(differing, rate == kProviderRate ? 0u : 6u) << name << " at " << rate;
            EXPECT_TRUE(sameRange(chunked->timeRangeOfSamples(), whole->timeRangeOfSamples())) << name;
            // The valid range grows from the start, never past a gap.
            ASSERT_FALSE(seen.empty());
            for (std::size_t i = 0; i < seen.size(); ++i) {
                EXPECT_EQ(seen[i].start, 0.0) << name;
                if (i > 0) {
                    EXPECT_GE(seen[i].duration, seen[i - 1].duration) << name;
                }
            }
        }
    }
}

// A four-minute song, read in chunks across the cores as the editor reads
// it, has every bucket of a whole read, in each container the editor opens.
TEST_F(WaveformProviderTest, AFourMinuteSongReadAsTheEditorDoesHasTheBucketsOfAWholeRead)
{
    for (const char* name : {"four.mp3", "four.m4a", "four.flac", "four.wav"}) {
        // AAC's noise substitution draws on a generator that runs from the
        // first packet: without it a chunk decodes as the whole read does.
        const bool aac = QString(name).endsWith(".m4a");
        auto asset = Asset::assetWithPath(
            tone(name, {.seconds = 240.0, .noise = true, .encoderOptions = aac ? QStringList{"-aac_pns", "0"} : QStringList{}}));
        auto whole = WaveformProvider::providerWithAsset(asset, kProviderRate);
        whole->setChunking(kZNTInfinity);  // never in chunks
        readFully(whole);
        auto chunked = WaveformProvider::providerWithAsset(asset, kProviderRate);
        readFully(chunked);

        ASSERT_EQ(chunked->status(), WaveformReadingStatus::Finished) << name;
        const auto expected = buckets(*whole), actual = buckets(*chunked);
        ASSERT_EQ(actual.size(), expected.size()) << name;
        ASSERT_EQ(actual.size(), std::size_t(240 * kProviderRate)) << name;
        const auto differing = std::mismatch(actual.begin(), actual.end(), expected.begin());
        EXPECT_TRUE(differing.first == actual.end())
            << name << ": bucket " << (differing.first - actual.begin()) << " (" << differing.first->first << ", "
            << differing.first->second << ") where a whole read has (" << differing.second->first << ", " << differing.second->second
            << ")";
        EXPECT_TRUE(sameRange(chunked->timeRangeOfSamples(), whole->timeRangeOfSamples())) << name;
    }
}

// Chunks run on several threads at once: read to the end, stopped, and let
// go of while they run (a sine written without the command line, so that a
// thread checker can follow).
TEST_F(WaveformProviderTest, ChunksEndWhenReadStoppedOrLetGo)
{
    const QString path = tone("long.wav", {.seconds = 120.0});
    auto whole = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
    readFully(whole);
    auto chunked = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
    chunked->setChunking(10.0, 9);
    readFully(chunked);
    EXPECT_EQ(buckets(*chunked), buckets(*whole));

    // The first chunk held at its first buffer, so that the reading cannot
    // end before the stop.
    const auto gate = std::make_shared<Gate>();
    const ReleasedAtEnd releaseAtEnd(*gate);
    auto stopped = WaveformProvider::providerWithAsset(std::make_shared<HeldReadAsset>(Asset::assetWithPath(path), 0.0, gate),
                                                       kProviderRate);
    stopped->setChunking(10.0, 6);
    Listener listener(stopped.get());
    stopped->startReadingWaveform();
    stopped->stopReadingWaveform();
    gate->release();
    drainEvents(500);
    const int heard = listener.count;
    drainEvents(300);
    EXPECT_FALSE(stopped->finished());
    EXPECT_EQ(listener.count, heard);
    EXPECT_LT(ZNTTimeRangeEnd(stopped->timeRangeOfSamples()), 120.0);

    auto dropped = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kProviderRate);
    dropped->setChunking(10.0, 12);
    dropped->startReadingWaveform();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    dropped.reset();  // chunks that still run end with the provider gone
    drainEvents(300);
}

// The bucket fill, fed in pieces of any size, against the rule written out
// frame by frame: the peaks of the frames counted toward a bucket, written
// once the count passes the frames per bucket, which it then gives back;
// nothing past the store's end.
TEST(WaveformBucketCursorTest, FillsBucketsAsTheRuleDoesFrameByFrame)
{
    uint32_t noise = 99;
    const auto next = [&noise] { return noise = noise * 1664525u + 1013904223u; };
    for (const double framesPerBucket : {1.0, 1.5, 5.5125})
        for (const std::size_t step : {std::size_t(1), std::size_t(2)})
            for (const uint64_t storeEnd : {uint64_t(4000), uint64_t(700)}) {
                std::vector<int8_t> frames(3000 * step);
                for (std::size_t i = 0; i < frames.size(); ++i)
                    frames[i] = i % 97 < 30 ? 0 : int8_t(next() >> 24);  // runs of silence too

                std::vector<int8_t> expected(2 * storeEnd), actual(2 * storeEnd);
                uint64_t offset = 0;
                double count = 0;
                int positive = 0, negative = 0;
                for (std::size_t f = 0; f < 3000; ++f) {
                    const int value = step >= 2 ? (frames[f * step] + frames[f * step + 1]) / 2 : frames[f * step];
                    positive = std::max(positive, value);
                    negative = std::min(negative, value);
                    count += 1.0;
                    if (count > framesPerBucket) {
                        if (offset >= storeEnd)
                            break;
                        expected[2 * offset] = int8_t(positive);
                        expected[2 * offset + 1] = int8_t(negative);
                        ++offset;
                        positive = negative = 0;
                        count -= framesPerBucket;
                    }
                }

                WaveformBucketCursor cursor;
                bool room = true;
                for (std::size_t done = 0; done < 3000 && room;) {
                    const std::size_t piece = std::min<std::size_t>(3000 - done, 1 + next() % 700);
                    room = cursor.fill(frames.data() + done * step, piece, step, framesPerBucket, actual.data(), storeEnd);
                    done += piece;
                }
                EXPECT_EQ(actual, expected) << framesPerBucket << " frames a bucket, step " << step << ", store " << storeEnd;
                EXPECT_EQ(cursor.sampleOffset, offset);
                EXPECT_EQ(room, offset < storeEnd);
            }
}

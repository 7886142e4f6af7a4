// Reads the input's waveform to the end through a provider, as the editor
// does, asks the finished store every query the editor draws with, and
// opens the song again, which takes the store from the cache.

#include "fuzz/FuzzSupport.h"

#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/AssetAdditions.h"
#include "source/engine/WaveformProvider.h"

#include <QPainterPath>

#include <algorithm>

using namespace tolvan;

namespace {

constexpr uint64_t kSamplesPerSecond = 100;
// A long song is read in chunks, in the application two for each free core,
// each on a thread of its own; three, the fewest with a chunk between the
// first and the last, take the same paths at a fraction of the threads.
constexpr int kChunks = 3;
// A query's smoothing window is three times its range; beyond 2^16 buckets
// its weights are worked out bucket by bucket instead of from a table.
constexpr double kLongestQuerySeconds = 240.0;
static_assert(3 * kLongestQuerySeconds * kSamplesPerSecond > 65536);

// The provider records why it stops without finishing; those events end the wait.
bool providerGaveUp()
{
    const auto log = ZNTAnalytics::eventLog();
    if (!log)
        return false;
    for (const QVariantMap& item : *log) {
        const QString event = item.value("event").toString();
        if (event == "processSample AVAssetReader failed" || event == "Excecption during WaveformProvider processSample")
            return true;
    }
    return false;
}

void queryEverything(const WaveformProvider& provider, ZNTTimeRange whole)
{
    const QRectF rect(0, 0, 100, 40);
    for (const ZNTTimeRange range : {whole, ZNTTimeRange{whole.start + whole.duration / 3, whole.duration / 7},
                                     ZNTTimeRange{-1.0, whole.duration + 2.0}}) {
        (void)provider.hasSamplesInTimeRange(range);
        (void)provider.sampleRangeForTimeRange(range);
        const WaveformSample sample = provider.representativeSampleForTimeRange(range);
        const WaveformSample smoothed = provider.smoothedSampleForTimeRange(range);
        (void)provider.maxMagnitudeOfTimeRange(range);
        for (double value : {sample.positive, sample.negative, smoothed.positive, smoothed.negative}) {
            if (!(value >= -1.01 && value <= 1.01))
                fuzz::fail("a waveform sample lies outside -1 ... +1");
        }
        for (bool smoothedPaths : {false, true}) {
            QPainterPath positive, negative, full;
            provider.bidirectionalWaveformPathsForTimeRange(range, rect, smoothedPaths, &positive, &negative, &full);
        }
    }
}

// Reads the song as the editor does, then opens it again as the editor does
// when the song comes back: the second provider takes the first one's store
// from the cache when the song has a cache key.
void readAndQuery(const fuzz::ExtensionInput& input)
{
    auto asset = Asset::assetWithPath(fuzz::writeFile("input" + input.extension, input.bytes));
    auto provider = WaveformProvider::providerWithAsset(asset, kSamplesPerSecond);
    provider->setChunking(WaveformProvider::kChunkedReadingSeconds, kChunks);
    provider->startReadingWaveform();
    // Without a track to read the provider starts nothing.
    if (!bestTrackForRingtone(*asset))
        return;
    // A reading that fails to start fails the provider at once.
    fuzz::processEventsUntil([&] { return provider->status() != WaveformReadingStatus::Reading || providerGaveUp(); });
    // A header may claim hundreds of hours; the queries cost time in
    // proportion to the range, so they look at its first four minutes,
    // long enough for a smoothing window too long to tabulate.
    ZNTTimeRange range = provider->timeRangeOfSamples();
    range.duration = std::min(range.duration, kLongestQuerySeconds);
    queryEverything(*provider, range);

    if (!provider->finished() || !WaveformProvider::hashKeyForAsset(*asset))
        return;
    const auto store = provider->waveformSamples();
    // A reading that finishes caches its store before it lets go of the
    // provider: once the provider is gone, the store is in the cache.
    const std::weak_ptr<WaveformProvider> gone = provider;
    provider.reset();
    fuzz::processEventsUntil([&] { return gone.expired(); });
    auto again = WaveformProvider::providerWithAsset(asset, kSamplesPerSecond);
    again->startReadingWaveform();
    if (!again->finished() || again->waveformSamples() != store)
        fuzz::fail("a song read to its end is not taken from the cache when opened again");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::freshFolder();
    readAndQuery(fuzz::splitExtension(data, size, fuzz::kAudioExtensions));
    fuzz::settle();
    // Emptied after each input, so that each input starts from the same state
    // (an event in the log, a store in the cache are this input's) and the
    // stores of long songs do not stay for the leak checks to scan.
    ZNTAnalytics::resetForTesting();
    WaveformProvider::resetCacheForTesting();
    return 0;
}

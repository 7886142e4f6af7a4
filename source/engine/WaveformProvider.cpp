#include "source/engine/WaveformProvider.h"

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/AssetAdditions.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

using namespace tolvan;

uint64_t ZNTUnsignedFromDouble(double value)
{
    if (!(value > 0.0))
        return 0;
    if (value >= 18446744073709551616.0)  // 2^64
        return UINT64_MAX;
    return uint64_t(value);
}

int WaveformCacheEntry::compareWaveformCacheTime(const WaveformCacheEntry& other) const
{
    if (time < other.time)
        return -1;
    if (time > other.time)
        return 1;
    return 0;
}

namespace {

struct WaveformCache {
    std::mutex mutex;
    std::map<QString, WaveformCacheEntry> entries;
};

WaveformCache& waveformCache()
{
    static WaveformCache* cache = new WaveformCache;  // lives until the process ends
    return *cache;
}

double secondsSinceEpoch()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::shared_ptr<WaveformProvider> WaveformProvider::providerWithAsset(std::shared_ptr<Asset> asset, uint64_t samplesPerSecond)
{
    return std::make_shared<WaveformProvider>(std::move(asset), samplesPerSecond);
}

WaveformProvider::WaveformProvider(std::shared_ptr<Asset> asset, uint64_t samplesPerSecond)
    : asset_(std::move(asset)), samplesPerSecond_(samplesPerSecond)
{
}

WaveformProvider::~WaveformProvider()
{
    if (operationQueue_)
        operationQueue_->cancelAllOperations();
}

void WaveformProvider::startReadingWaveform()
{
    if (asset_) {
        if (auto cached = cachedWaveformForAsset(*asset_)) {
            // Cached stores are never written again, so sharing one is safe.
            samples_ = std::const_pointer_cast<WaveformSamples>(cached);
            addTimeRangeToValidSampleTimeRange({0.0, asset_->duration().seconds()});
            finished_.store(true, std::memory_order_release);
            notifySamplesAdded();
            return;
        }
    }
    if (!operationQueue_)
        // The steps run one at a time anyway, each queueing the next; a limit
        // of one keeps them on one thread, warm, instead of handing over.
        operationQueue_ = std::make_unique<OperationQueue>("com.kestrova.readWaveform", 1);

    const AudioOutputSettings settings{.formatID = AudioFormatLinearPCM, .sampleRate = 8000.0, .channels = 1,
                                       .bitDepth = 8, .isFloat = false, .isBigEndian = false};
    Error error;
    reader_ = AssetReader::assetReaderWithAsset(asset_, &error);
    if (!reader_)
        ZNTAnalytics::logError("startReadingWaveform AVAssetReader assetReaderWithAsset", QVariant(), error);

    auto track = asset_ ? bestTrackForRingtone(*asset_) : nullptr;
    if (!track) {
        ZNTAnalytics::logEvent("startReadingWaveform bestTrackForRingtone failed",
                               {{"asset", asset_ ? QVariant(asset_->description()) : QVariant()}});
        return;
    }
    readerOutput_ = AssetReaderTrackOutput::assetReaderTrackOutputWithTrack(track, settings);
    if (reader_) {
        reader_->addOutput(readerOutput_);
        if (!reader_->startReading()) {
            const auto failure = reader_->error();
            ZNTAnalytics::logEvent("startReadingWaveform startReading failed",
                                   {{"reader", reader_->description()},
                                    {"error", failure ? QVariant(failure->description()) : QVariant()}});
        }
    }

    assetDuration_ = asset_ ? asset_->duration().seconds() : 0.0;
    const uint64_t buckets = ZNTUnsignedFromDouble(std::ceil(double(samplesPerSecond_) * assetDuration_));
    samples_ = std::make_shared<WaveformSamples>(std::size_t(2 * buckets));
    samplesSinceNotification_ = 0;
    samplesPerNotification_ = ZNTUnsignedFromDouble(std::round(double(samplesPerSecond_) * 5.0));

    operationQueue_->setSuspended(false);
    queueReadingStep();
}

void WaveformProvider::stopReadingWaveform()
{
    if (operationQueue_)
        operationQueue_->cancelAllOperations();
}

void WaveformProvider::pauseReadingWaveform()
{
    if (operationQueue_)
        operationQueue_->setSuspended(true);
}

void WaveformProvider::resumeReadingWaveform()
{
    if (operationQueue_)
        operationQueue_->setSuspended(false);
}

ZNTTimeRange WaveformProvider::timeRangeOfSamples() const
{
    std::lock_guard lock(validRangeMutex_);
    return validSampleTimeRange_;
}

void WaveformProvider::addTimeRangeToValidSampleTimeRange(ZNTTimeRange range)
{
    std::lock_guard lock(validRangeMutex_);
    validSampleTimeRange_ = ZNTTimeRangeUnion(validSampleTimeRange_, range);
}

// The step holds the provider only while it runs: a provider that its owner
// lets go of stops reading, and may then end on this queue, which the queue
// allows.
void WaveformProvider::queueReadingStep()
{
    operationQueue_->addOperation([weak = weak_from_this()](Operation& operation) {
        if (auto self = weak.lock())
            self->processSample(operation);
    });
}

void WaveformProvider::processSample(Operation& operation)
{
    try {
        readSampleBuffer(operation);
    } catch (const std::exception& exception) {
        ZNTAnalytics::logEvent("Excecption during WaveformProvider processSample", {{"exception", QString(exception.what())}});
    }
}

void WaveformProvider::readSampleBuffer(Operation& operation)
{
    if (operationQueue_->firstOperationIsCancelled()) {
        if (reader_)
            reader_->cancelReading();
        return;
    }
    const std::shared_ptr<SampleBuffer> buffer = readerOutput_->copyNextSampleBuffer();
    bool endOfStream = !buffer;
    if (buffer) {
        // Buckets past the store's end are dropped; once it is full the rest
        // of the song cannot add anything, so reading ends there.
        if (!fillBuckets(*buffer)) {
            reader_->cancelReading();
            endOfStream = true;
        }
    } else {
        if (!reader_ || reader_->status() != AssetReaderStatus::Completed) {
            // A reader that failed has not read the song: say so, and leave
            // the provider unfinished rather than cache a silent store.
            const auto failure = reader_ ? reader_->error() : std::nullopt;
            ZNTAnalytics::logEvent("processSample AVAssetReader failed",
                                   {{"reader", reader_ ? QVariant(reader_->description()) : QVariant()},
                                    {"error", failure ? QVariant(failure->description()) : QVariant()}});
            return;
        }
        if (audioSampleIterCount_ > 1.0 && sampleOffset_ < bucketCount())
            writeBucket(sampleOffset_++);
    }

    const double start = double(sampleOffsetSinceBuffer_) / double(samplesPerSecond_);
    const double duration = endOfStream ? assetDuration_ - start
                                        : double(sampleOffset_ - sampleOffsetSinceBuffer_) / double(samplesPerSecond_);
    addTimeRangeToValidSampleTimeRange({start, duration});
    if (endOfStream)
        finished_.store(true, std::memory_order_release);

    samplesSinceNotification_ += sampleOffset_ - sampleOffsetSinceBuffer_;
    sampleOffsetSinceBuffer_ = sampleOffset_;
    if (samplesSinceNotification_ > samplesPerNotification_) {
        samplesSinceNotification_ -= samplesPerNotification_;
        notifySamplesAdded();
    } else if (endOfStream) {
        notifySamplesAdded();
    }

    if (operation.isCancelled()) {
        if (reader_)
            reader_->cancelReading();
    } else if (!finished()) {
        queueReadingStep();
    }
    if (finished())
        addWaveformToCache(samples_, asset_.get());
}

// Answers false when the store is full.
bool WaveformProvider::fillBuckets(const SampleBuffer& buffer)
{
    if (buffer.makeDataReady() != 0) {
        ZNTAnalytics::logEvent("processSample CMSampleBufferMakeDataReady failed", {{"status", buffer.makeDataReady()}});
        return true;
    }
    if (!buffer.hasFormatDescription()) {
        ZNTAnalytics::logEvent("CMSampleBufferGetFormatDescription failed");
        return true;
    }
    const auto stream = buffer.formatDescription().mostCompatibleFormat();
    if (!stream) {
        ZNTAnalytics::logEvent("CMAudioFormatDescriptionGetMostCompatibleFormat failed");
        return true;
    }
    if (!buffer.data()) {
        ZNTAnalytics::logEvent("processSample CMBlockBufferGetDataPointer failed", {{"status", -1}});
        return true;
    }
    const double framesPerBucket = stream->sampleRate / double(samplesPerSecond_);
    const std::size_t step = std::max<uint32_t>(stream->channelsPerFrame, 1);
    const auto* frame = reinterpret_cast<const int8_t*>(buffer.data());
    const auto* end = frame + buffer.numberOfSamples() * step;
    // The loop works on locals: the store's bytes may alias any member.
    int8_t* store = samples_->data();
    const uint64_t storeEnd = bucketCount();
    uint64_t offset = sampleOffset_;
    double count = audioSampleIterCount_;
    int positive = sampleMaxPositive_, negative = sampleMaxNegative_;
    bool room = offset < storeEnd;
    for (; frame < end; frame += step) {
        const int value = step >= 2 ? (frame[0] + frame[1]) / 2 : frame[0];
        // The positive peak only grows from 0 and the negative only falls
        // from 0, so both may see every value: no branch on the sign.
        positive = std::max(positive, value);
        negative = std::min(negative, value);
        count += 1.0;
        if (count > framesPerBucket) {
            if (offset >= storeEnd) {
                room = false;
                break;
            }
            store[2 * offset] = int8_t(positive);
            store[2 * offset + 1] = int8_t(negative);
            ++offset;
            positive = negative = 0;
            count -= framesPerBucket;
        }
    }
    sampleOffset_ = offset;
    audioSampleIterCount_ = count;
    sampleMaxPositive_ = int8_t(positive);
    sampleMaxNegative_ = int8_t(negative);
    return room && offset < storeEnd;
}

void WaveformProvider::writeBucket(uint64_t index)
{
    int8_t* bucket = samples_->data() + 2 * index;
    bucket[0] = sampleMaxPositive_;
    bucket[1] = sampleMaxNegative_;
    sampleMaxPositive_ = 0;
    sampleMaxNegative_ = 0;
}

void WaveformProvider::notifySamplesAdded()
{
    dispatchMain([self = shared_from_this()] {
        NotificationCenter::defaultCenter().post(WaveformProviderSamplesAddedNotification, self.get());
    });
}

std::optional<MetadataItem> WaveformProvider::metadataItemForAsset(const Asset* asset, const QVariantList& keys) const
{
    return asset ? metadataItemMatchingKeys(*asset, keys) : std::nullopt;
}

std::optional<QString> WaveformProvider::hashKeyForAsset(const Asset& asset)
{
    const auto title = metadataTitle(asset);
    const auto file = asset.fileIdentity();
    if (!title || !file)
        return std::nullopt;
    // Title and duration alone are shared by different songs (two
    // recordings of one piece, a copy that was edited since).
    return *title + asset.duration().description() + QStringLiteral(" in file ") + *file;
}

std::shared_ptr<const WaveformSamples> WaveformProvider::cachedWaveformForAsset(const Asset& asset)
{
    const auto key = hashKeyForAsset(asset);
    if (!key)
        return nullptr;
    WaveformCache& cache = waveformCache();
    std::lock_guard lock(cache.mutex);
    const auto found = cache.entries.find(*key);
    return found == cache.entries.end() ? nullptr : found->second.data;
}

void WaveformProvider::addWaveformToCache(std::shared_ptr<const WaveformSamples> samples, const Asset* asset)
{
    if (!samples || !asset)
        return;
    const auto key = hashKeyForAsset(*asset);
    if (!key)
        return;
    WaveformCache& cache = waveformCache();
    std::lock_guard lock(cache.mutex);
    if (auto found = cache.entries.find(*key); found != cache.entries.end()) {
        found->second = {secondsSinceEpoch(), std::move(samples)};
        return;
    }
    if (cache.entries.size() >= kCacheCapacity) {
        auto oldest = std::min_element(cache.entries.begin(), cache.entries.end(), [](const auto& a, const auto& b) {
            return a.second.compareWaveformCacheTime(b.second) < 0;
        });
        cache.entries.erase(oldest);
    }
    cache.entries.emplace(*key, WaveformCacheEntry{secondsSinceEpoch(), std::move(samples)});
}

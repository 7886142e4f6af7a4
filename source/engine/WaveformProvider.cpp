#include "source/engine/WaveformProvider_p.h"

#include "platform/concurrency/WorkerPool.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/MediaError.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/AssetAdditions.h"
#include "source/engine/TolvanError.h"

#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

#include <unistd.h>

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

constexpr double kDecodingRate = 8000.0;
// The least audio a chunk is given when the count is left to the provider:
// opening a chunk (probing the file, seeking, a second decoded to settle the
// decoder) costs some milliseconds, small only beside this much decoding.
constexpr double kShortestChunkSeconds = 30.0;

// A header may claim any length: a store larger than the machine's memory
// could never be filled, and one that can't be had is no store either; the
// reading then fails instead of the program.
std::shared_ptr<WaveformSamples> storeForBuckets(uint64_t buckets)
{
    const auto memory = uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGE_SIZE));
    if (buckets > std::numeric_limits<std::size_t>::max() / 2 || 2 * buckets > memory)
        return nullptr;
    try {
        return std::make_shared<WaveformSamples>(std::size_t(2 * buckets));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// No codec gives more than this many frames for a byte of its file: FLAC's
// longest block, 65,535 frames of silence, takes a dozen bytes, and the
// other codecs' packets hold a few thousand frames at most.
constexpr double kMostFramesPerByte = 65536.0;

// The song's length as its header claims it, but no longer than its file can
// hold: a damaged header may claim hundreds of hours for a file of a few
// kilobytes, and the store is sized by the length.
double playableSeconds(const Asset& asset, const Track& track)
{
    const double claimed = asset.duration().seconds();
    const auto* file = dynamic_cast<const FileAsset*>(&asset);
    const auto& formats = track.formatDescriptions();
    const auto stream = formats.empty() ? std::nullopt : formats.front().streamDescription;
    if (!file || !stream || !(stream->sampleRate > 0.0))
        return claimed;
    const double bytes = double(QFileInfo(file->path()).size());
    return std::min(claimed, bytes * kMostFramesPerByte / stream->sampleRate);
}

bool decodesToNothing(const Error& error) { return error.domain == AVFoundationErrorDomain && error.code == MediaErrorDecodeFailed; }

std::shared_ptr<const WaveformSamples> cachedWaveformForAsset(const Asset& asset)
{
    const auto key = WaveformProvider::hashKeyForAsset(asset);
    if (!key)
        return nullptr;
    WaveformCache& cache = waveformCache();
    std::lock_guard lock(cache.mutex);
    const auto found = cache.entries.find(*key);
    return found == cache.entries.end() ? nullptr : found->second.data;
}

void addWaveformToCache(std::shared_ptr<const WaveformSamples> samples, const Asset* asset)
{
    if (!samples || !asset)
        return;
    const auto key = WaveformProvider::hashKeyForAsset(*asset);
    if (!key)
        return;
    WaveformCache& cache = waveformCache();
    std::lock_guard lock(cache.mutex);
    if (auto found = cache.entries.find(*key); found != cache.entries.end()) {
        found->second = {secondsSinceEpoch(), std::move(samples)};
        return;
    }
    if (cache.entries.size() >= WaveformProvider::kCacheCapacity) {
        auto oldest = std::min_element(cache.entries.begin(), cache.entries.end(), [](const auto& a, const auto& b) {
            return a.second.compareWaveformCacheTime(b.second) < 0;
        });
        cache.entries.erase(oldest);
    }
    cache.entries.emplace(*key, WaveformCacheEntry{secondsSinceEpoch(), std::move(samples)});
}

}  // namespace

WaveformBucketCursor WaveformBucketCursor::afterFrames(uint64_t frames, double framesPerBucket)
{
    // Every frame adds one to the count, and a count past framesPerBucket
    // writes a bucket and gives framesPerBucket back: a bucket for every
    // framesPerBucket frames but the first, and the rest counted.
    WaveformBucketCursor cursor;
    if (frames == 0)
        return cursor;
    cursor.sampleOffset = uint64_t(std::ceil(double(frames) / framesPerBucket)) - 1;
    cursor.audioSampleIterCount = double(frames) - double(cursor.sampleOffset) * framesPerBucket;
    return cursor;
}

bool WaveformBucketCursor::fill(const int8_t* frame, std::size_t frames, std::size_t step, double framesPerBucket, int8_t* store,
                                uint64_t storeEnd)
{
    const int8_t* end = frame + frames * step;
    // The loop works on locals: the store's bytes may alias any member.
    uint64_t offset = sampleOffset;
    double count = audioSampleIterCount;
    int positive = sampleMaxPositive, negative = sampleMaxNegative;
    bool room = offset < storeEnd;
    const bool framePerBucket = framesPerBucket == 1.0 && step == 1;
    for (; frame < end; frame += step) {
        if (framePerBucket && count == 1.0 && positive == 0 && negative == 0) {
            // A bucket per frame and nothing pending: each frame is a bucket
            // of its own, up to the store's end.
            const auto run = std::size_t(std::min<uint64_t>(uint64_t(end - frame), storeEnd > offset ? storeEnd - offset : 0));
            int8_t* out = store + 2 * offset;
            for (std::size_t i = 0; i < run; ++i) {
                out[2 * i] = std::max<int8_t>(frame[i], 0);
                out[2 * i + 1] = std::min<int8_t>(frame[i], 0);
            }
            offset += run;
            frame += run;
            if (frame == end)
                break;
        }
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
    sampleOffset = offset;
    audioSampleIterCount = count;
    sampleMaxPositive = int8_t(positive);
    sampleMaxNegative = int8_t(negative);
    return room && offset < storeEnd;
}

void WaveformBucketCursor::finish(int8_t* store, uint64_t storeEnd)
{
    if (audioSampleIterCount > 1.0 && sampleOffset < storeEnd) {
        store[2 * sampleOffset] = sampleMaxPositive;
        store[2 * sampleOffset + 1] = sampleMaxNegative;
        ++sampleOffset;
    }
    sampleMaxPositive = sampleMaxNegative = 0;
}

// A song read in chunks: the reading steps read the first, each other chunk
// is one operation of the chunk queue with a decoder of its own. A chunk
// starts where a whole read would stand at its first frame and ends at the
// next chunk's first bucket, so the buckets are those of a whole read. The
// valid range grows over a chunk once it and every chunk before it are read.
struct WaveformProvider::Private::Chunks {
    std::shared_ptr<Track> track;
    AudioOutputSettings settings;
    std::shared_ptr<WaveformSamples> samples;
    double framesPerBucket = 1.0;
    std::vector<uint64_t> startFrames;         // at the decoding rate
    std::vector<WaveformBucketCursor> cursors;  // a whole read's, at each start

    std::mutex mutex;
    std::vector<bool> ended;
    std::size_t joined = 0;  // the leading chunks that are read
    // The input the chunks' streams share (null where sharing saves nothing),
    // opened by the first chunk to run and let go of once all are read.
    bool inputOpened = false;
    std::shared_ptr<SharedTrackInput> input;

    std::shared_ptr<SharedTrackInput> sharedInput()
    {
        std::lock_guard lock(mutex);
        if (!std::exchange(inputOpened, true))
            input = track->openSharedInput();
        return input;
    }

    uint64_t bucketEnd(std::size_t index) const
    {
        return index + 1 < cursors.size() ? cursors[index + 1].sampleOffset : samples->size() / 2;
    }
};

std::shared_ptr<WaveformProvider> WaveformProvider::providerWithAsset(std::shared_ptr<Asset> asset, uint64_t samplesPerSecond)
{
    return std::make_shared<WaveformProvider>(std::move(asset), samplesPerSecond);
}

WaveformProvider::WaveformProvider(std::shared_ptr<Asset> asset, uint64_t samplesPerSecond)
    : asset_(std::move(asset)), samplesPerSecond_(samplesPerSecond), d(std::make_unique<Private>(this))
{
}

WaveformProvider::~WaveformProvider() { d->cancelAll(); }

std::shared_ptr<const WaveformSamples> WaveformProvider::waveformSamples() const { return d->samples; }
WaveformReadingStatus WaveformProvider::status() const { return d->state.status(); }
std::optional<Error> WaveformProvider::error() const { return d->state.error(); }

void WaveformProvider::setChunking(double chunkedFromSeconds, int chunkCount)
{
    d->chunkedFromSeconds = chunkedFromSeconds;
    d->chunkCount = chunkCount;
}

void WaveformProvider::startReadingWaveform()
{
    if (!d->state.advance(WaveformReadingStatus::Reading))
        return;
    if (asset_) {
        if (auto cached = cachedWaveformForAsset(*asset_)) {
            // Cached stores are never written again, so sharing one is safe.
            d->samples = std::const_pointer_cast<WaveformSamples>(cached);
            d->addTimeRangeToValidSampleTimeRange({0.0, asset_->duration().seconds()}, d->bucketCount());
            d->state.end(WaveformReadingStatus::Finished);
            d->notifySamplesAdded();
            return;
        }
    }
    if (!d->operationQueue)
        // The steps run one at a time anyway, each queueing the next; a limit
        // of one keeps them on one thread, warm, instead of handing over.
        d->operationQueue = std::make_unique<OperationQueue>("com.kestrova.readWaveform", 1);

    const AudioOutputSettings settings{.formatID = AudioFormatLinearPCM, .sampleRate = kDecodingRate, .channels = 1,
                                       .bitDepth = 8, .isFloat = false, .isBigEndian = false};
    std::shared_ptr<Track> track;
    if (!d->startReader(settings, &track))
        return;

    d->assetDuration = asset_ && track ? playableSeconds(*asset_, *track) : 0.0;
    const uint64_t buckets = ZNTUnsignedFromDouble(std::ceil(double(samplesPerSecond_) * d->assetDuration));
    d->samples = storeForBuckets(buckets);
    if (!d->samples)
        return d->failReading(mediaError(MediaErrorUnknown, QStringLiteral("The song claims a length too long to draw")));
    d->samplesSinceNotification = 0;
    d->samplesPerNotification = ZNTUnsignedFromDouble(std::round(double(samplesPerSecond_) * 5.0));
    d->readingEnd = buckets;
    // A bucket of less than a decoded frame cannot start at a chunk's frame.
    if (d->assetDuration >= d->chunkedFromSeconds && double(samplesPerSecond_) <= kDecodingRate)
        d->startChunks(track, settings);

    d->operationQueue->setSuspended(false);
    d->queueReadingStep();
}

// Opens the reader over the song's best track; false when the reading has
// failed instead.
bool WaveformProvider::Private::startReader(const AudioOutputSettings& settings, std::shared_ptr<Track>* track)
{
    const auto& asset = q->asset_;
    Error error;
    reader = AssetReader::assetReaderWithAsset(asset, &error);
    if (!reader)
        ZNTAnalytics::logError("startReadingWaveform AVAssetReader assetReaderWithAsset", QVariant(), error);

    *track = asset ? bestTrackForRingtone(*asset) : nullptr;
    if (!*track) {
        ZNTAnalytics::logEvent("startReadingWaveform bestTrackForRingtone failed",
                               {{"asset", asset ? QVariant(asset->description()) : QVariant()}});
        // Nothing is read: the reader's refusal says why, or the want of audio.
        failReading(reader ? Error{TolvanErrorDomain, TolvanErrorNoAudio, QStringLiteral("The file has no audio track")} : error);
        return false;
    }
    if (!reader) {
        failReading(error);
        return false;
    }
    readerOutput = AssetReaderTrackOutput::assetReaderTrackOutputWithTrack(*track, settings);
    reader->addOutput(readerOutput);
    if (!reader->startReading()) {
        const auto failure = reader->error();
        ZNTAnalytics::logEvent("startReadingWaveform startReading failed",
                               {{"reader", reader->description()},
                                {"error", failure ? QVariant(failure->description()) : QVariant()}});
        failReading(failure.value_or(mediaError(MediaErrorUnknown, QStringLiteral("The song's audio cannot be read"))));
        return false;
    }
    return true;
}

// The chunks read at once are the steps' and those the pool starts while a
// worker stays free: two rounds of them balance cores that other work slows;
// a song too short for two gets one, never a round of a few stragglers.
int WaveformProvider::Private::chunkCountFor(int freeCores) const
{
    if (chunkCount > 0)
        return chunkCount;
    const int atOnce = std::max(1, std::min(freeCores + 1, WorkerPool::shared().threadLimit() - 1));
    const auto fitting = int(std::min(assetDuration / kShortestChunkSeconds, 1e6));
    return fitting < atOnce ? fitting : atOnce * std::min(2, fitting / atOnce);
}

// The chunks after the first are queued in the order of the song, the one
// the editor shows it in: the view's first screen is filled first.
void WaveformProvider::Private::startChunks(const std::shared_ptr<Track>& track, const AudioOutputSettings& settings)
{
    const int freeCores = std::max(1, QThread::idealThreadCount() - 1);
    const int count = chunkCountFor(freeCores);
    const auto frames = uint64_t(assetDuration * kDecodingRate);
    if (count < 2 || frames < uint64_t(count))
        return;
    chunks = std::make_shared<Chunks>();
    chunks->track = track;
    chunks->settings = settings;
    chunks->samples = samples;
    chunks->framesPerBucket = kDecodingRate / double(q->samplesPerSecond_);
    for (int index = 0; index < count; ++index) {
        const uint64_t start = frames * uint64_t(index) / uint64_t(count);
        chunks->startFrames.push_back(start);
        chunks->cursors.push_back(WaveformBucketCursor::afterFrames(start, chunks->framesPerBucket));
    }
    chunks->ended.assign(std::size_t(count), false);
    readingEnd = chunks->bucketEnd(0);

    chunkQueue = std::make_unique<OperationQueue>("com.kestrova.readWaveform.chunks", freeCores);
    chunkQueue->setPriority(WorkPriority::background);  // the first chunk's steps and the pictures go first
    for (std::size_t index = 1; index < std::size_t(count); ++index) {
        chunkQueue->addOperation([weak = q->weak_from_this(), chunks = chunks, index](Operation& operation) {
            readChunk(weak, chunks, index, operation);
        });
    }
}

// Holds the provider only to join the chunk: a provider let go of cancels
// its chunks.
void WaveformProvider::Private::readChunk(const std::weak_ptr<WaveformProvider>& weak, const std::shared_ptr<Chunks>& chunks,
                                          std::size_t index, const Operation& operation)
{
    Error error;
    auto stream = chunks->track->openSharedPcmStreamFromFrame(chunks->settings, int64_t(chunks->startFrames[index]),
                                                              chunks->sharedInput(), &error);
    WaveformBucketCursor cursor = chunks->cursors[index];
    const uint64_t end = chunks->bucketEnd(index);
    int8_t* store = chunks->samples->data();
    bool completed = stream != nullptr;
    while (completed && !operation.isCancelled()) {
        const auto buffer = stream->nextBuffer();
        if (!buffer) {
            // A chunk that lies wholly past where the song's data ends holds
            // no audio, as a whole read has none there; any other failure
            // ends the reading.
            if (auto failure = stream->error(); failure && !decodesToNothing(*failure)) {
                error = *failure;
                completed = false;
            } else if (index + 1 == chunks->cursors.size()) {
                cursor.finish(store, end);
            }
            break;
        }
        if (!cursor.fill(reinterpret_cast<const int8_t*>(buffer->data()), buffer->numberOfSamples(), 1, chunks->framesPerBucket, store,
                         end))
            break;
    }
    const auto provider = operation.isCancelled() ? nullptr : weak.lock();
    if (!provider)
        return;
    if (!completed) {
        ZNTAnalytics::logEvent("processSample AVAssetReader failed", {{"chunk", qulonglong(index)}, {"error", error.description()}});
        return provider->d->failReading(error);
    }
    provider->d->chunkEnded(index);
}

void WaveformProvider::Private::chunkEnded(std::size_t index)
{
    std::size_t joined = 0;
    {
        std::lock_guard lock(chunks->mutex);
        chunks->ended[index] = true;
        const std::size_t before = chunks->joined;
        while (chunks->joined < chunks->ended.size() && chunks->ended[chunks->joined])
            ++chunks->joined;
        if (chunks->joined == before)
            return;
        joined = chunks->joined;
        if (joined == chunks->ended.size())
            chunks->input.reset();
    }
    const bool all = joined == chunks->ended.size();
    const uint64_t readable = all ? bucketCount() : chunks->cursors[joined].sampleOffset;
    const double end = all ? assetDuration : double(readable) / double(q->samplesPerSecond_);
    addTimeRangeToValidSampleTimeRange({0.0, end}, readable);
    if (all)
        finishReading();
    notifySamplesAdded();
}

void WaveformProvider::Private::cancelAll()
{
    for (auto* queue : {operationQueue.get(), chunkQueue.get()})
        if (queue)
            queue->cancelAllOperations();
}

void WaveformProvider::stopReadingWaveform() { d->cancelAll(); }

void WaveformProvider::pauseReadingWaveform()
{
    for (auto* queue : {d->operationQueue.get(), d->chunkQueue.get()})
        if (queue)
            queue->setSuspended(true);
}

void WaveformProvider::resumeReadingWaveform()
{
    for (auto* queue : {d->operationQueue.get(), d->chunkQueue.get()})
        if (queue)
            queue->setSuspended(false);
}

ZNTTimeRange WaveformProvider::timeRangeOfSamples() const { return d->validSamples().range; }

WaveformProvider::Private::ValidSamples WaveformProvider::Private::validSamples() const
{
    std::lock_guard lock(validRangeMutex);
    return published;
}

void WaveformProvider::Private::addTimeRangeToValidSampleTimeRange(ZNTTimeRange range, uint64_t readableBuckets)
{
    std::lock_guard lock(validRangeMutex);
    published.range = ZNTTimeRangeUnion(published.range, range);
    published.readableBuckets = std::max(published.readableBuckets, readableBuckets);
}

// The reading ends without its waveform: observers hear of it once and find
// the reason in error().
void WaveformProvider::Private::failReading(const Error& error)
{
    if (state.end(WaveformReadingStatus::Failed, error))
        notifySamplesAdded();
}

// The step holds the provider only while it runs: a provider that its owner
// lets go of stops reading, and may then end on this queue, which the queue
// allows.
void WaveformProvider::Private::queueReadingStep()
{
    operationQueue->addOperation([weak = q->weak_from_this()](Operation& operation) {
        if (auto self = weak.lock())
            self->d->processSample(operation);
    });
}

void WaveformProvider::Private::processSample(Operation& operation)
{
    try {
        readSampleBuffer(operation);
    } catch (const std::exception& exception) {
        ZNTAnalytics::logEvent("Excecption during WaveformProvider processSample", {{"exception", QString(exception.what())}});
        failReading(mediaError(MediaErrorUnknown, QStringLiteral("The song's waveform cannot be read: %1").arg(exception.what())));
    }
}

void WaveformProvider::Private::readSampleBuffer(Operation& operation)
{
    if (operationQueue->firstOperationIsCancelled()) {
        if (reader)
            reader->cancelReading();
        return;
    }
    const std::shared_ptr<SampleBuffer> buffer = readerOutput->copyNextSampleBuffer();
    bool endOfStream = !buffer;
    bool endOfChunk = false;  // the first chunk read up to the second
    if (buffer) {
        // Buckets past the store's end are dropped; once it is full the rest
        // of the song cannot add anything, so reading ends there.
        if (!fillBuckets(*buffer)) {
            reader->cancelReading();
            (chunks ? endOfChunk : endOfStream) = true;
        }
    } else {
        if (!reader || reader->status() != AssetReaderStatus::Completed) {
            // A reader that failed has not read the song: the provider fails
            // with its reason rather than finish (and cache) a silent store.
            const auto failure = reader ? reader->error() : std::nullopt;
            ZNTAnalytics::logEvent("processSample AVAssetReader failed",
                                   {{"reader", reader ? QVariant(reader->description()) : QVariant()},
                                    {"error", failure ? QVariant(failure->description()) : QVariant()}});
            if (failure)
                failReading(*failure);
            return;
        }
        cursor.finish(samples->data(), readingEnd);
    }
    // With chunks, the end of the song is the last chunk's to tell.
    const bool finishing = endOfStream && !chunks;

    const uint64_t sampleOffset = cursor.sampleOffset;
    const double rate = double(q->samplesPerSecond_);
    const double start = double(sampleOffsetSinceBuffer) / rate;
    const double duration = finishing ? assetDuration - start : double(sampleOffset - sampleOffsetSinceBuffer) / rate;
    // Once the song is read no bucket is written any more: all are readable.
    addTimeRangeToValidSampleTimeRange({start, duration}, finishing ? bucketCount() : sampleOffset);
    if (finishing)
        finishReading();

    samplesSinceNotification += sampleOffset - sampleOffsetSinceBuffer;
    sampleOffsetSinceBuffer = sampleOffset;
    if (samplesSinceNotification > samplesPerNotification) {
        samplesSinceNotification -= samplesPerNotification;
        notifySamplesAdded();
    } else if (finishing) {
        notifySamplesAdded();
    }

    const bool chunkRead = chunks && (endOfStream || endOfChunk);
    if (operation.isCancelled()) {
        if (reader)
            reader->cancelReading();
    } else if (!q->finished() && !chunkRead) {
        queueReadingStep();
    }
    if (chunkRead) {
        // The rest of the song is the other chunks' to read: the first
        // chunk's decoder and input (a long song's index of packets) go.
        reader.reset();
        readerOutput.reset();
    }
    if (chunkRead && !operation.isCancelled())
        chunkEnded(0);
}

// The song is cached before the provider says it is finished, so whoever
// sees it finished finds it in the cache.
void WaveformProvider::Private::finishReading()
{
    addWaveformToCache(samples, q->asset_.get());
    state.end(WaveformReadingStatus::Finished);
}

// Answers false when the store, or the first chunk, is full.
bool WaveformProvider::Private::fillBuckets(const SampleBuffer& buffer)
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
    const double framesPerBucket = stream->sampleRate / double(q->samplesPerSecond_);
    const std::size_t step = std::max<uint32_t>(stream->channelsPerFrame, 1);
    return cursor.fill(reinterpret_cast<const int8_t*>(buffer.data()), buffer.numberOfSamples(), step, framesPerBucket,
                       samples->data(), readingEnd);
}

void WaveformProvider::Private::notifySamplesAdded()
{
    dispatchMain([self = q->shared_from_this()] {
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

void WaveformProvider::resetCacheForTesting()
{
    WaveformCache& cache = waveformCache();
    std::lock_guard lock(cache.mutex);
    cache.entries.clear();
}

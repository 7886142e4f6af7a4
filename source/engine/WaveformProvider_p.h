#pragma once
// WaveformProvider's reading state, its queues and the lock of its valid
// range. The reading runs in WaveformProvider.cpp; the queries, in
// WaveformProviderQueries.cpp, read the valid range and the store.

#include "source/engine/WaveformProvider.h"

#include "platform/foundation/EndState.h"
#include "platform/foundation/OperationQueue.h"
#include "platform/media/AssetReader.h"

#include <mutex>

struct WaveformProvider::Private {
    explicit Private(WaveformProvider* owner) : q(owner) {}

    WaveformProvider* q;
    std::shared_ptr<WaveformSamples> samples;
    std::unique_ptr<tolvan::OperationQueue> operationQueue;
    std::unique_ptr<tolvan::OperationQueue> chunkQueue;  // chunks after the first
    struct Chunks;
    std::shared_ptr<Chunks> chunks;
    double chunkedFromSeconds = kChunkedReadingSeconds;
    int chunkCount = 0;
    std::shared_ptr<tolvan::AssetReader> reader;
    std::shared_ptr<tolvan::AssetReaderOutput> readerOutput;

    // The valid range and the buckets below which the store is written, from
    // one look.
    struct ValidSamples {
        ZNTTimeRange range{0.0, 0.0};
        uint64_t readableBuckets = 0;
    };
    // Published after the buckets below it are written (release), read before
    // reading them (acquire): the lock orders both. The buckets of a range
    // inside the valid range may reach one past it (the rounding of its end):
    // a scan stops at the readable ones rather than read a bucket being
    // written.
    mutable std::mutex validRangeMutex;
    ValidSamples published;
    tolvan::EndState<WaveformReadingStatus> state{WaveformReadingStatus::Unknown};

    // The reading state, touched only by reading steps. With chunks, the
    // steps read the first chunk, up to bucket readingEnd.
    WaveformBucketCursor cursor;
    uint64_t readingEnd = 0;
    uint64_t sampleOffsetSinceBuffer = 0;
    double assetDuration = 0.0;
    uint64_t samplesSinceNotification = 0;
    uint64_t samplesPerNotification = 0;

    // Reading (WaveformProvider.cpp).
    bool startReader(const tolvan::AudioOutputSettings& settings, std::shared_ptr<tolvan::Track>* track);
    void startChunks(const std::shared_ptr<tolvan::Track>& track, const tolvan::AudioOutputSettings& settings);
    int chunkCountFor(int freeCores) const;
    static void readChunk(const std::weak_ptr<WaveformProvider>& weak, const std::shared_ptr<Chunks>& chunks, std::size_t index,
                          const tolvan::Operation& operation);
    void chunkEnded(std::size_t index);
    void queueReadingStep();
    void processSample(tolvan::Operation& operation);
    void readSampleBuffer(tolvan::Operation& operation);
    bool fillBuckets(const tolvan::SampleBuffer& buffer);
    void notifySamplesAdded();
    // Publishes the range, whose buckets below readableBuckets are written.
    void addTimeRangeToValidSampleTimeRange(ZNTTimeRange range, uint64_t readableBuckets);
    void failReading(const tolvan::Error& error);
    void cancelAll();

    // Queries (WaveformProviderQueries.cpp).
    ValidSamples validSamples() const;
    // The buckets a query over range reads: those of its bucket range that
    // are written; none when range does not lie inside the valid range.
    std::optional<WaveformSampleRange> bucketsToScan(const ValidSamples& valid, ZNTTimeRange range) const;
    // The smoothing window of a range inside the valid range: its bucket
    // range, which sets the weights, and how many of its buckets are written.
    struct SmoothingWindow {
        WaveformSampleRange buckets;
        uint64_t written = 0;
    };
    std::optional<SmoothingWindow> smoothingWindow(const ValidSamples& valid, ZNTTimeRange range) const;
    // Bucket bytes for reading; null before start.
    const int8_t* bucketBytes() const { return samples ? samples->data() : nullptr; }
    uint64_t bucketCount() const { return samples ? samples->size() / 2 : 0; }
};

#pragma once
// Turns the audio of one song into a compact store of peak pairs that the
// editor draws as a waveform. Reading runs in the background, one sample
// buffer per operation on the provider's own queue; the main thread hears of
// new samples through WaveformProviderSamplesAddedNotification every five
// seconds of audio and at the end. A song of a minute and more is read in
// chunks on several cores at once, each chunk with the buckets a whole read
// gives there; its samples still grow from the start. Finished stores of
// titled songs read from files stay in a process-wide cache of 11 entries, so
// a song opened again shows at once.
//
// The store holds two signed bytes per bucket, the positive peak first; one
// bucket per 1/samplesPerSecond seconds. It never changes size, and its bytes
// are complete wherever timeRangeOfSamples() reaches: the queries read only
// there, so they may run on any thread while reading goes on.
//
// Reading ends once: finished, or failed with the reason the song's audio
// cannot be read (no audio track, a decoder that fails, data that decodes to
// nothing). Either end is announced by the notification; status() and
// error() tell which.

#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"
#include "source/engine/ZNTTimeRange.h"

#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <span>

inline const QString WaveformProviderSamplesAddedNotification = QStringLiteral("WaveformProviderSamplesAddedNotification");

// The bucket bytes: a fixed-size, zero-filled block. Its zero pages come
// from the system untouched, so a long song's store costs nothing up front.
class WaveformSamples {
public:
    explicit WaveformSamples(std::size_t size) : bytes_(static_cast<int8_t*>(std::calloc(size ? size : 1, 1))), size_(size)
    {
        if (!bytes_)
            throw std::bad_alloc();
    }
    ~WaveformSamples() { std::free(bytes_); }
    WaveformSamples(const WaveformSamples&) = delete;
    WaveformSamples& operator=(const WaveformSamples&) = delete;

    std::size_t size() const { return size_; }
    int8_t* data() { return bytes_; }
    const int8_t* data() const { return bytes_; }
    int8_t operator[](std::size_t index) const { return bytes_[index]; }

private:
    int8_t* bytes_;
    std::size_t size_;
};

// A range of buckets: those from location up to, not including, location + length.
struct WaveformSampleRange {
    uint64_t location = 0;
    uint64_t length = 0;
    bool operator==(const WaveformSampleRange&) const = default;
};
inline constexpr uint64_t kWaveformNotFound = uint64_t(INT64_MAX);

// A peak pair scaled to about -1 ... +1.
struct WaveformSample {
    double positive = 0.0;
    double negative = 0.0;
    bool operator==(const WaveformSample&) const = default;
};

enum class WaveformReadingStatus : int {
    Unknown = 0,  // not started
    Reading = 1,
    Finished = 2,  // the whole song's buckets are in the store
    Failed = 3,    // error() tells why
};

// One entry of the process-wide cache.
struct WaveformCacheEntry {
    double time = 0.0;  // "WaveformCacheTime": seconds since the epoch when stored
    std::shared_ptr<const WaveformSamples> data;  // "WaveformCacheData": the store itself
    // -1 when other was stored later, 1 when this one was, else 0.
    int compareWaveformCacheTime(const WaveformCacheEntry& other) const;
};

// Where the bucket fill stands: the bucket being filled, its peaks so far,
// and the frames counted toward it.
struct WaveformBucketCursor {
    uint64_t sampleOffset = 0;
    double audioSampleIterCount = 0.0;
    int8_t sampleMaxPositive = 0;
    int8_t sampleMaxNegative = 0;

    // The cursor of a whole read after frames frames, at framesPerBucket.
    static WaveformBucketCursor afterFrames(uint64_t frames, double framesPerBucket);
    // Fills the buckets of frames (8-bit, step bytes apart, the first two
    // channels averaged) into store, up to bucket storeEnd; false once the
    // bucket at storeEnd would be written.
    bool fill(const int8_t* frame, std::size_t frames, std::size_t step, double framesPerBucket, int8_t* store, uint64_t storeEnd);
    // At the end of the song: writes the bucket being filled, if it has
    // more than one frame and room.
    void finish(int8_t* store, uint64_t storeEnd);
};

class WaveformProvider : public std::enable_shared_from_this<WaveformProvider> {
public:
    static constexpr std::size_t kCacheCapacity = 11;
    // Songs at least this long are read in chunks on several cores.
    static constexpr double kChunkedReadingSeconds = 60;

    static std::shared_ptr<WaveformProvider> providerWithAsset(std::shared_ptr<tolvan::Asset> asset, uint64_t samplesPerSecond);
    WaveformProvider(std::shared_ptr<tolvan::Asset> asset, uint64_t samplesPerSecond);
    ~WaveformProvider();  // cancels what is queued

    const std::shared_ptr<tolvan::Asset>& asset() const { return asset_; }
    uint64_t samplesPerSecond() const { return samplesPerSecond_; }
    std::shared_ptr<const WaveformSamples> waveformSamples() const;

    // Takes the cached store or starts reading. Main thread; once per provider.
    void startReadingWaveform();
    void stopReadingWaveform();
    void pauseReadingWaveform();
    void resumeReadingWaveform();

    ZNTTimeRange timeRangeOfSamples() const;
    WaveformReadingStatus status() const;
    std::optional<tolvan::Error> error() const;
    bool finished() const { return status() == WaveformReadingStatus::Finished; }

    bool hasSamplesInTimeRange(ZNTTimeRange range) const;
    WaveformSampleRange sampleRangeForTimeRange(ZNTTimeRange range) const;
    WaveformSample representativeSampleForTimeRange(ZNTTimeRange range) const;
    // A weighted peak over a window three times the range, centred on it.
    WaveformSample smoothedSampleForTimeRange(ZNTTimeRange range) const;
    // The smoothed peaks of a row of columns `step` seconds wide: column k
    // covers {t_k, step}, where t_0 = start and each t is the one before plus
    // step. The values are those of smoothedSampleForTimeRange column by
    // column, from one look at the valid range.
    void smoothedSamplesForColumns(double start, double step, std::span<WaveformSample> columns) const;
    // The outlines of the waveform in rect: positive peaks left to right,
    // negative peaks right to left, and the closed shape of both.
    void bidirectionalWaveformPathsForTimeRange(ZNTTimeRange range, const QRectF& rect, bool smoothed,
                                                QPainterPath* positivePath, QPainterPath* negativePath,
                                                QPainterPath* fullPath) const;
    double maxMagnitudeOfTimeRange(ZNTTimeRange range) const;

    std::optional<tolvan::MetadataItem> metadataItemForAsset(const tolvan::Asset* asset, const QVariantList& keys) const;

    // The cache key: the metadata title followed by the duration's text and
    // the identity of the file; none without a title or a file.
    static std::optional<QString> hashKeyForAsset(const tolvan::Asset& asset);

    // How a reading is split: songs from chunkedFromSeconds on are read in
    // chunks, as many as chunkCount or, at 0, as many as keep the free cores
    // busy (fewer for a song too short to give each chunk some seconds).
    void setChunking(double chunkedFromSeconds, int chunkCount = 0);

    // Forgets every cached store, as at process start (for tests).
    static void resetCacheForTesting();

private:
    struct Private;
    friend struct Private;

    const std::shared_ptr<tolvan::Asset> asset_;
    const uint64_t samplesPerSecond_;
    const std::unique_ptr<Private> d;
};

// A double as an unsigned integer: NaN and values below 0 give 0, values past
// the largest integer give the largest.
uint64_t ZNTUnsignedFromDouble(double value);

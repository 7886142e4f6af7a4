// The queries that turn the bucket store into drawable values. They read
// only buckets inside the valid sample time range, whose bytes are complete.
// A range's buckets are floor(S × start) on, ceil(S × (end − start)) of
// them, in double precision: where the rounding takes one bucket more than
// the valid range holds, that bucket is not yet written and counts as
// silence, as it stands in the zero-filled store.

#include "source/engine/WaveformProvider_p.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

constexpr double kPeakScale = 1.0 / 128.0;

bool isInfinite(ZNTTimeRange range) { return std::isinf(range.start) || std::isinf(range.duration); }

}  // namespace

bool WaveformProvider::hasSamplesInTimeRange(ZNTTimeRange range) const
{
    if (isInfinite(range))
        return false;
    return ZNTTimeRangeContainsRange(timeRangeOfSamples(), range);
}

WaveformSampleRange WaveformProvider::sampleRangeForTimeRange(ZNTTimeRange range) const
{
    if (isInfinite(range))
        return {kWaveformNotFound, 0};
    const double rate = double(samplesPerSecond_);
    return {ZNTUnsignedFromDouble(std::floor(rate * range.start)),
            ZNTUnsignedFromDouble(std::ceil(rate * (ZNTTimeRangeEnd(range) - range.start)))};
}

namespace {

// How many of length buckets from location lie below end.
uint64_t bucketsBelow(uint64_t end, uint64_t location, uint64_t length)
{
    return location < end ? std::min(length, end - location) : 0;
}

// A line to point even where the path already stands: lineTo drops such
// a line, and the paths keep one element per column.
void addLine(QPainterPath& path, const QPointF& point)
{
    if (path.elementCount() > 0 && path.currentPosition() == point) {
        path.lineTo(point + QPointF(1.0, 1.0));
        path.setElementPositionAt(path.elementCount() - 1, point.x(), point.y());
        return;
    }
    path.lineTo(point);
}

}  // namespace

std::optional<WaveformSampleRange> WaveformProvider::Private::bucketsToScan(const ValidSamples& valid, ZNTTimeRange range) const
{
    if (isInfinite(range) || !ZNTTimeRangeContainsRange(valid.range, range))
        return std::nullopt;
    const WaveformSampleRange buckets = q->sampleRangeForTimeRange(range);
    return WaveformSampleRange{buckets.location, bucketsBelow(valid.readableBuckets, buckets.location, buckets.length)};
}

WaveformSample WaveformProvider::representativeSampleForTimeRange(ZNTTimeRange range) const
{
    const auto scanned = d->bucketsToScan(d->validSamples(), range);
    if (!scanned)
        return {};
    const WaveformSampleRange buckets = *scanned;
    const int8_t* bytes = buckets.length > 0 ? d->bucketBytes() + 2 * buckets.location : nullptr;
    int positive = 0, negative = 0;
    for (uint64_t i = 0; i < buckets.length; ++i, bytes += 2) {
        positive = std::max<int>(positive, bytes[0]);
        negative = std::min<int>(negative, bytes[1]);
    }
    return {positive * kPeakScale, negative * kPeakScale};
}

namespace {

// The weight of bucket i of a smoothing window of `length` buckets: full in
// the middle third, falling to 0 toward the window's edges.
double smoothingWeight(uint64_t i, uint64_t length)
{
    const double x = double(i) / double(length);
    if (x < 0.333)
        return 1.0 - std::pow(1.0 - 3.0 * x, 2);
    if (x > 0.666)
        return 1.0 - std::pow(1.0 - 3.0 * (1.0 - x), 2);
    return 1.0;
}

// The weights of one window length, tabulated: a row of columns asks for
// windows of one or two lengths over and over.
struct SmoothingTable {
    // Longer windows are weighed bucket by bucket: a table of them would
    // cost more memory than the scan saves.
    static constexpr uint64_t kLongestTabulated = 1 << 16;

    explicit SmoothingTable(uint64_t length) : weights(length)
    {
        for (uint64_t i = 0; i < length; ++i)
            weights[i] = smoothingWeight(i, length);
        fullFrom = uint64_t(std::find(weights.begin(), weights.end(), 1.0) - weights.begin());
        fullTo = uint64_t(std::find_if(weights.begin() + std::ptrdiff_t(fullFrom), weights.end(), [](double w) { return w != 1.0; }) -
                          weights.begin());
    }
    uint64_t length() const { return weights.size(); }

    std::vector<double> weights;
    uint64_t fullFrom = 0, fullTo = 0;  // the buckets in between weigh exactly 1
};

// The last two tables used, the older one replaced by a new length.
class SmoothingTables {
public:
    const SmoothingTable* forLength(uint64_t length)
    {
        if (length > SmoothingTable::kLongestTabulated)
            return nullptr;
        for (const auto& table : tables_)
            if (table && table->length() == length)
                return &*table;
        auto& table = tables_[next_];
        next_ = 1 - next_;
        return &table.emplace(length);
    }

private:
    std::optional<SmoothingTable> tables_[2];
    int next_ = 0;
};

// The weighted peak pair of the first `written` buckets of a window of
// `length`; weights from the table when there is one, else bucket by bucket.
WaveformSample weightedPeak(const int8_t* bytes, uint64_t length, uint64_t written, const SmoothingTable* table)
{
    // Each weighted value truncated toward zero: an int holds them exactly.
    int positive = 0, negative = 0;
    if (!table) {
        for (uint64_t i = 0; i < written; ++i, bytes += 2) {
            const double weight = smoothingWeight(i, length);
            positive = std::max(positive, int(bytes[0] * weight));
            negative = std::min(negative, int(bytes[1] * weight));
        }
        return {positive * kPeakScale, negative * kPeakScale};
    }
    // The middle third first: its peaks at full weight leave few buckets
    // of the outer thirds that could pass them, as a weight is at most 1.
    for (uint64_t i = table->fullFrom, to = std::min(table->fullTo, written); i < to; ++i) {
        positive = std::max<int>(positive, bytes[2 * i]);
        negative = std::min<int>(negative, bytes[2 * i + 1]);
    }
    const double* weights = table->weights.data();
    const auto weighted = [&](uint64_t from, uint64_t to) {
        for (uint64_t i = from, end = std::min(to, written); i < end; ++i) {
            if (bytes[2 * i] > positive)
                positive = std::max(positive, int(bytes[2 * i] * weights[i]));
            if (bytes[2 * i + 1] < negative)
                negative = std::min(negative, int(bytes[2 * i + 1] * weights[i]));
        }
    };
    weighted(0, table->fullFrom);
    weighted(table->fullTo, length);
    return {positive * kPeakScale, negative * kPeakScale};
}

}  // namespace

std::optional<WaveformProvider::Private::SmoothingWindow> WaveformProvider::Private::smoothingWindow(const ValidSamples& valid,
                                                                                                    ZNTTimeRange range) const
{
    if (isInfinite(range) || !ZNTTimeRangeContainsRange(valid.range, range))
        return std::nullopt;
    const ZNTTimeRange window =
        ZNTTimeRangeIntersection(valid.range, ZNTTimeRangeMake(range.start - range.duration, 3.0 * range.duration));
    const WaveformSampleRange buckets = q->sampleRangeForTimeRange(window);
    return SmoothingWindow{buckets, bucketsBelow(valid.readableBuckets, buckets.location, buckets.length)};
}

WaveformSample WaveformProvider::smoothedSampleForTimeRange(ZNTTimeRange range) const
{
    const auto window = d->smoothingWindow(d->validSamples(), range);
    return window && window->written > 0
             ? weightedPeak(d->bucketBytes() + 2 * window->buckets.location, window->buckets.length, window->written, nullptr)
             : WaveformSample{};
}

void WaveformProvider::smoothedSamplesForColumns(double start, double step, std::span<WaveformSample> columns) const
{
    const Private::ValidSamples valid = d->validSamples();
    SmoothingTables tables;
    double t = start;
    for (WaveformSample& column : columns) {
        const auto window = d->smoothingWindow(valid, ZNTTimeRangeMake(t, step));
        column = window && window->written > 0
                   ? weightedPeak(d->bucketBytes() + 2 * window->buckets.location, window->buckets.length, window->written,
                                  tables.forLength(window->buckets.length))
                   : WaveformSample{};
        t += step;
    }
}

void WaveformProvider::bidirectionalWaveformPathsForTimeRange(ZNTTimeRange range, const QRectF& rect, bool smoothed,
                                                              QPainterPath* positivePath, QPainterPath* negativePath,
                                                              QPainterPath* fullPath) const
{
    Q_ASSERT(positivePath && negativePath && fullPath);
    if (!positivePath || !negativePath || !fullPath)
        return;
    const double width = rect.width();
    const double midY = rect.center().y();
    const double step = range.duration / width;
    const double half = rect.height() * 0.5;

    std::vector<QPointF> positives, negatives;
    const std::size_t most = std::size_t(ZNTUnsignedFromDouble(std::ceil(width))) + 1;
    std::vector<double> xs;
    for (double x = rect.left(); x <= rect.right() && xs.size() < most; x += 1.0)
        xs.push_back(x);
    std::vector<WaveformSample> peaks(xs.size());
    if (smoothed) {
        smoothedSamplesForColumns(range.start, step, peaks);
    } else {
        double t = range.start;
        for (WaveformSample& peak : peaks) {
            peak = representativeSampleForTimeRange(ZNTTimeRangeMake(t, step));
            t += step;
        }
    }
    positives.reserve(xs.size());
    negatives.reserve(xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i) {
        positives.emplace_back(xs[i], midY - std::ceil(peaks[i].positive * half));
        negatives.emplace_back(xs[i], midY - std::floor(peaks[i].negative * half) + 1.0);
    }

    *fullPath = QPainterPath(QPointF(rect.left(), midY));
    *positivePath = QPainterPath();
    *negativePath = QPainterPath();
    for (std::size_t i = 0; i < positives.size(); ++i) {
        if (i == 0)
            positivePath->moveTo(positives[i]);
        else
            addLine(*positivePath, positives[i]);
        addLine(*fullPath, positives[i]);
    }
    for (std::size_t i = negatives.size(); i-- > 0;) {
        if (i + 1 == negatives.size())
            negativePath->moveTo(negatives[i]);
        else
            addLine(*negativePath, negatives[i]);
        addLine(*fullPath, negatives[i]);
    }
    addLine(*fullPath, QPointF(rect.left(), midY));
}

double WaveformProvider::maxMagnitudeOfTimeRange(ZNTTimeRange range) const
{
    const auto scanned = d->bucketsToScan(d->validSamples(), range);
    if (!scanned)
        return 1.0;
    const WaveformSampleRange buckets = *scanned;
    const int8_t* bytes = buckets.length > 0 ? d->bucketBytes() + 2 * buckets.location : nullptr;
    int positive = 0, negative = 0;
    for (uint64_t i = 0; i < buckets.length; ++i, bytes += 2) {
        positive = std::max<int>(positive, bytes[0]);
        if (positive == 127)
            break;
        negative = std::min<int>(negative, bytes[1]);
        if (negative == -127)
            break;
    }
    return std::max(positive * kPeakScale, std::abs(negative) * kPeakScale);
}

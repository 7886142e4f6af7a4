// The queries that turn the bucket store into drawable values. They read
// only buckets inside the valid sample time range, whose bytes are complete.

#include "source/engine/WaveformProvider.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPeakScale = 1.0 / 128.0;

bool isInfinite(ZNTTimeRange range) { return std::isinf(range.start) || std::isinf(range.duration); }

// rate × seconds, made whole where it misses a whole number by no more than
// the rounding of seconds: a range that ends where the valid range ends must
// not reach into the bucket after it, which may still be being written.
double bucketPosition(double rate, double seconds)
{
    const double position = rate * seconds;
    const double whole = std::round(position);
    return std::abs(position - whole) <= 1e-6 ? whole : position;
}

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
    return {ZNTUnsignedFromDouble(std::floor(bucketPosition(rate, range.start))),
            ZNTUnsignedFromDouble(std::ceil(bucketPosition(rate, ZNTTimeRangeEnd(range) - range.start)))};
}

namespace {

// The consistency check every scan makes: the buckets lie inside the store.
bool insideStore(WaveformSampleRange buckets, uint64_t count)
{
    return buckets.location <= count && buckets.length <= count - buckets.location;
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

WaveformSample WaveformProvider::representativeSampleForTimeRange(ZNTTimeRange range) const
{
    if (!hasSamplesInTimeRange(range))
        return {};
    const WaveformSampleRange buckets = sampleRangeForTimeRange(range);
    if (!insideStore(buckets, bucketCount()))
        return {};
    const int8_t* bytes = bucketBytes() + 2 * buckets.location;
    int positive = 0, negative = 0;
    for (uint64_t i = 0; i < buckets.length; ++i, bytes += 2) {
        positive = std::max<int>(positive, bytes[0]);
        negative = std::min<int>(negative, bytes[1]);
    }
    return {positive * kPeakScale, negative * kPeakScale};
}

WaveformSample WaveformProvider::smoothedSampleForTimeRange(ZNTTimeRange range) const
{
    const ZNTTimeRange valid = timeRangeOfSamples();
    if (isInfinite(range) || !ZNTTimeRangeContainsRange(valid, range))
        return {};
    const ZNTTimeRange window =
        ZNTTimeRangeIntersection(valid, ZNTTimeRangeMake(range.start - range.duration, 3.0 * range.duration));
    const WaveformSampleRange buckets = sampleRangeForTimeRange(window);
    if (!insideStore(buckets, bucketCount()))
        return {};
    const int8_t* bytes = bucketBytes() + 2 * buckets.location;
    const double length = double(buckets.length);
    double positive = 0.0, negative = 0.0;
    for (uint64_t i = 0; i < buckets.length; ++i, bytes += 2) {
        // Full weight in the middle third, falling to 0 at the window's edges.
        const double x = double(i) / length;
        double weight = 1.0;
        if (x < 0.333)
            weight = 1.0 - std::pow(1.0 - 3.0 * x, 2);
        else if (x > 0.666)
            weight = 1.0 - std::pow(1.0 - 3.0 * (1.0 - x), 2);
        positive = std::max(positive, std::trunc(bytes[0] * weight));
        negative = std::min(negative, std::trunc(bytes[1] * weight));
    }
    return {positive * kPeakScale, negative * kPeakScale};
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
    const std::size_t columns = std::size_t(ZNTUnsignedFromDouble(std::ceil(width))) + 1;
    positives.reserve(columns);
    negatives.reserve(columns);
    double t = range.start;
    for (double x = rect.left(); x <= rect.right() && positives.size() < columns; x += 1.0, t += step) {
        const ZNTTimeRange column = ZNTTimeRangeMake(t, step);
        const WaveformSample peak = smoothed ? smoothedSampleForTimeRange(column) : representativeSampleForTimeRange(column);
        positives.emplace_back(x, midY - std::ceil(peak.positive * half));
        negatives.emplace_back(x, midY - std::floor(peak.negative * half) + 1.0);
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
    if (!hasSamplesInTimeRange(range))
        return 1.0;
    const WaveformSampleRange buckets = sampleRangeForTimeRange(range);
    if (!insideStore(buckets, bucketCount()))
        return 1.0;
    const int8_t* bytes = bucketBytes() + 2 * buckets.location;
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

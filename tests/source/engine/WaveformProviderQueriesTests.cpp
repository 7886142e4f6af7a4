#include "source/engine/WaveformProvider.h"

#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr uint64_t kQueriesRate = 8000;


class WaveformQueriesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    // A finished provider over 8 kHz frames with these 8-bit values; frame
    // k + 1 lands in bucket k (bucket 0 takes frames 0 and 1).
    std::shared_ptr<WaveformProvider> providerOf(const std::vector<int>& frames)
    {
        const QString path = dir.filePath(QString("f%1.wav").arg(++files_));
        EXPECT_TRUE(writeBytes(path, monoWavOf8BitValues(frames)));
        auto provider = WaveformProvider::providerWithAsset(Asset::assetWithPath(path), kQueriesRate);
        provider->startReadingWaveform();
        EXPECT_TRUE(waitUntil([&] { return provider->finished(); }));
        return provider;
    }

private:
    int files_ = 0;
};

constexpr double kInfinity = INFINITY;

}  // namespace

TEST_F(WaveformQueriesTest, BucketRangesFollowTheRate)
{
    auto provider = providerOf(std::vector<int>(800, 1));
    EXPECT_EQ(provider->sampleRangeForTimeRange({0.01, 0.02}), (WaveformSampleRange{80, 160}));
    EXPECT_EQ(provider->sampleRangeForTimeRange({0.00005, 0.0001}), (WaveformSampleRange{0, 1}));
    EXPECT_EQ(provider->sampleRangeForTimeRange({kInfinity, 1.0}), (WaveformSampleRange{kWaveformNotFound, 0}));
    EXPECT_EQ(provider->sampleRangeForTimeRange({0.0, kInfinity}), (WaveformSampleRange{kWaveformNotFound, 0}));
    EXPECT_EQ(kWaveformNotFound, uint64_t(9223372036854775807ull));
    // Negative and non-finite values clamp to 0 instead of wrapping around.
    EXPECT_EQ(provider->sampleRangeForTimeRange({-1.0, 0.5}), (WaveformSampleRange{0, 4000}));
    EXPECT_EQ(provider->sampleRangeForTimeRange({0.5, -1.0}), (WaveformSampleRange{4000, 0}));
    EXPECT_EQ(provider->sampleRangeForTimeRange({NAN, 1.0}).location, 0u);
    // floor(S × start) and ceil(S × (end − start)) in double precision, even
    // where the rounding of end − start takes one bucket more.
    EXPECT_EQ(provider->sampleRangeForTimeRange({0.014125, 0.000125}), (WaveformSampleRange{113, 2}));
    const double end = 8191.0 / 8000, width = 3.0 / 8000;
    EXPECT_EQ(provider->sampleRangeForTimeRange({end - width, width}), (WaveformSampleRange{8188, 4}));
    EXPECT_EQ(ZNTUnsignedFromDouble(1e30), UINT64_MAX);
    EXPECT_EQ(ZNTUnsignedFromDouble(-3.5), 0u);
    EXPECT_EQ(ZNTUnsignedFromDouble(7.9), 7u);
}

TEST_F(WaveformQueriesTest, PeaksOfASingleBucketAreItsBytesScaled)
{
    auto provider = providerOf({64, -32, 0, 0});
    const ZNTTimeRange firstBucket{0.0, 1.0 / 8000};
    EXPECT_TRUE(provider->hasSamplesInTimeRange(firstBucket));
    EXPECT_EQ(provider->representativeSampleForTimeRange(firstBucket), (WaveformSample{0.5, -0.25}));
    EXPECT_EQ(provider->representativeSampleForTimeRange({0.0, 0.0}), (WaveformSample{0.0, 0.0}));
    EXPECT_DOUBLE_EQ(provider->maxMagnitudeOfTimeRange(firstBucket), 0.5);
}

TEST_F(WaveformQueriesTest, RangesOutsideTheValidSamplesHaveNone)
{
    auto provider = providerOf(std::vector<int>(80, 50));  // 10 ms
    const ZNTTimeRange past{0.005, 0.01};
    EXPECT_FALSE(provider->hasSamplesInTimeRange(past));
    EXPECT_EQ(provider->representativeSampleForTimeRange(past), (WaveformSample{}));
    EXPECT_EQ(provider->smoothedSampleForTimeRange(past), (WaveformSample{}));
    EXPECT_EQ(provider->maxMagnitudeOfTimeRange(past), 1.0);
    EXPECT_FALSE(provider->hasSamplesInTimeRange({kInfinity, 0.001}));

    // Before reading nothing is valid.
    auto unread = WaveformProvider::providerWithAsset(provider->asset(), kQueriesRate);
    EXPECT_FALSE(unread->hasSamplesInTimeRange({0.0, 0.001}));
    EXPECT_EQ(unread->maxMagnitudeOfTimeRange({0.0, 0.001}), 1.0);
    EXPECT_EQ(unread->representativeSampleForTimeRange({0.0, 0.001}), (WaveformSample{}));
}

TEST_F(WaveformQueriesTest, SmoothingIgnoresAPeakAtTheWindowsEdge)
{
    // Range 10 ... 20 ms: the window is 0 ... 30 ms, and its first bucket
    // holds the loud peak.
    std::vector<int> frames(241, 10);
    frames[0] = 127;
    auto provider = providerOf(frames);
    const ZNTTimeRange range{0.01, 0.01};
    EXPECT_DOUBLE_EQ(provider->smoothedSampleForTimeRange(range).positive, 10.0 / 128);
    EXPECT_DOUBLE_EQ(provider->representativeSampleForTimeRange({0.0, 0.03}).positive, 127.0 / 128);

    // A peak just inside the window's outer third counts in part, truncated.
    frames[0] = 10;
    frames[41] = 100;  // bucket 40: x = 40 / 240, weight 1 - (1 - 0.5)^2 = 0.75
    EXPECT_DOUBLE_EQ(providerOf(frames)->smoothedSampleForTimeRange(range).positive, 75.0 / 128);
}

TEST_F(WaveformQueriesTest, MaxMagnitudeStopsAtFullScale)
{
    // Bucket 0 peaks at 127, so the -128 of bucket 1 is never looked at.
    auto provider = providerOf({127, -100, -128, 0});
    EXPECT_DOUBLE_EQ(provider->maxMagnitudeOfTimeRange({0.0, 0.0005}), 127.0 / 128);
    auto negative = providerOf({5, -100, -128, 0});
    EXPECT_DOUBLE_EQ(negative->maxMagnitudeOfTimeRange({0.0, 0.0005}), 128.0 / 128);
    EXPECT_EQ(providerOf(std::vector<int>(100, 0))->maxMagnitudeOfTimeRange({0.0, 0.01}), 0.0);
}

TEST_F(WaveformQueriesTest, PathsHaveOneColumnPerPointPlusOne)
{
    std::vector<int> frames(8001);
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames[i] = i % 2 ? 64 : -64;
    auto provider = providerOf(frames);
    for (bool smoothed : {false, true}) {
        QPainterPath positive, negative, full;
        provider->bidirectionalWaveformPathsForTimeRange({0.0, 0.9}, QRectF(10, 0, 100, 40), smoothed, &positive, &negative, &full);
        EXPECT_EQ(positive.elementCount(), 101);
        EXPECT_EQ(negative.elementCount(), 101);
        EXPECT_EQ(full.elementCount(), 204);
        // Peaks of ±0.5 in a 40-point rect: 10 above and 11 below the middle.
        EXPECT_EQ(QPointF(positive.elementAt(50)), QPointF(60, 10));
        EXPECT_EQ(QPointF(negative.elementAt(0)), QPointF(110, 31));
        EXPECT_EQ(QPointF(full.elementAt(0)), QPointF(10, 20));
        EXPECT_EQ(QPointF(full.elementAt(203)), QPointF(10, 20));
        EXPECT_TRUE(full.elementAt(0).isMoveTo());
    }
}

TEST_F(WaveformQueriesTest, ASilentFirstColumnKeepsItsPointInTheFullPath)
{
    // The first column's positive point lies where the full path starts.
    std::vector<int> frames(8001, 64);
    std::fill(frames.begin(), frames.begin() + 400, 0);
    auto provider = providerOf(frames);
    QPainterPath positive, negative, full;
    provider->bidirectionalWaveformPathsForTimeRange({0.0, 0.9}, QRectF(10, 0, 100, 40), false, &positive, &negative, &full);
    EXPECT_EQ(positive.elementCount(), 101);
    EXPECT_EQ(negative.elementCount(), 101);
    ASSERT_EQ(full.elementCount(), 204);
    EXPECT_TRUE(full.elementAt(0).isMoveTo());
    EXPECT_EQ(QPointF(full.elementAt(1)), QPointF(10, 20));
    EXPECT_TRUE(full.elementAt(1).isLineTo());
    EXPECT_EQ(QPointF(full.elementAt(2)), QPointF(positive.elementAt(1)));
    EXPECT_EQ(QPointF(full.elementAt(101)), QPointF(positive.elementAt(100)));
    EXPECT_EQ(QPointF(full.elementAt(102)), QPointF(negative.elementAt(0)));
    EXPECT_EQ(QPointF(full.elementAt(203)), QPointF(10, 20));
}

TEST_F(WaveformQueriesTest, ARowOfColumnsHasTheValuesOfEachColumnAlone)
{
    // 12 s of noise under a swelling envelope, with a few full-scale clicks,
    // so that every weight of a window can decide a column's peak.
    std::vector<int> frames(12 * 8000 + 1);
    uint32_t noise = 12345;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double envelope = 0.2 + 0.8 * std::abs(std::sin(double(i) / 8000 * 1.7));
        frames[i] = int(std::lround((double(noise >> 24) - 128.0) * envelope));
    }
    for (std::size_t click : {4000u, 33333u, 71717u}) {
        frames[click] = 127;
        frames[click + 1] = -128;
    }
    auto provider = providerOf(frames);

    struct Row {
        double start, step;
        std::size_t count;
    };
    const Row rows[] = {
        {0.0, 1.0 / 25, 300},         // the whole song at the lowest zoom
        {0.37, 1.0 / 150, 1200},      // a window length that alternates
        {0.001, 0.0123457, 900},
        {0.0, 1.0 / 8000, 400},       // a bucket per column
        {11.5, 0.01, 100},            // past the end of the samples
        {-0.5, 0.02, 50},             // before the start
        {0.0, 3.1, 5},                // windows too long for a table
        {2.0, 0.0, 3},
    };
    for (const Row& row : rows) {
        std::vector<WaveformSample> batched(row.count, WaveformSample{9.0, 9.0});
        provider->smoothedSamplesForColumns(row.start, row.step, batched);
        double t = row.start;
        std::size_t loud = 0;
        for (std::size_t k = 0; k < row.count; ++k, t += row.step) {
            const WaveformSample alone = provider->smoothedSampleForTimeRange({t, row.step});
            ASSERT_EQ(batched[k], alone) << "row at " << row.start << " step " << row.step << ", column " << k;
            loud += alone.positive > 0.1;
        }
        if (row.step > 0.001 && row.start >= 0 && row.start < 11) {
            EXPECT_GT(loud, row.count / 2) << "a row of silence would prove nothing; step " << row.step;
        }
    }

    // The smoothed outline takes its columns from the same row.
    QPainterPath positive, negative, full;
    provider->bidirectionalWaveformPathsForTimeRange({1.0, 4.0}, QRectF(0, 0, 200, 100), true, &positive, &negative, &full);
    ASSERT_EQ(positive.elementCount(), 201);
    double t = 1.0;
    for (int x = 0; x <= 200; ++x, t += 4.0 / 200) {
        const WaveformSample peak = provider->smoothedSampleForTimeRange({t, 4.0 / 200});
        ASSERT_EQ(positive.elementAt(x).y, 50 - std::ceil(peak.positive * 50)) << x;
    }
}

namespace {

// The peaks the rule gives for a range, computed from the store's raw bytes:
// its buckets are floor(S × start) on, ceil(S × (end − start)) of them.
class BucketRule {
public:
    explicit BucketRule(const WaveformProvider& provider)
        : samples_(provider.waveformSamples()), valid_(provider.timeRangeOfSamples())
    {
    }

    static WaveformSampleRange bucketsOf(ZNTTimeRange range)
    {
        const double end = range.start + range.duration;
        return {uint64_t(std::floor(8000.0 * range.start)), uint64_t(std::ceil(8000.0 * (end - range.start)))};
    }

    WaveformSample representative(ZNTTimeRange range) const
    {
        int positive = 0, negative = 0;
        forEachBucket(bucketsOf(range), [&](uint64_t, int8_t high, int8_t low) {
            positive = std::max<int>(positive, high);
            negative = std::min<int>(negative, low);
            return true;
        });
        return {positive / 128.0, negative / 128.0};
    }

    double maxMagnitude(ZNTTimeRange range) const
    {
        int positive = 0, negative = 0;
        forEachBucket(bucketsOf(range), [&](uint64_t, int8_t high, int8_t low) {
            positive = std::max<int>(positive, high);
            if (positive == 127)
                return false;
            negative = std::min<int>(negative, low);
            return negative != -127;
        });
        return std::max(positive, -negative) / 128.0;
    }

    WaveformSample smoothed(ZNTTimeRange range) const
    {
        const WaveformSampleRange window =
            bucketsOf(ZNTTimeRangeIntersection(valid_, {range.start - range.duration, 3 * range.duration}));
        double positive = 0.0, negative = 0.0;
        forEachBucket(window, [&](uint64_t i, int8_t high, int8_t low) {
            const double x = double(i - window.location) / double(window.length);
            const double w = x < 0.333 ? 1 - std::pow(1 - 3 * x, 2) : x > 0.666 ? 1 - std::pow(1 - 3 * (1 - x), 2) : 1.0;
            positive = std::max(positive, std::trunc(high * w));
            negative = std::min(negative, std::trunc(low * w));
            return true;
        });
        return {positive / 128.0, negative / 128.0};
    }

private:
    // Buckets past the store's end do not exist: they add nothing.
    template <typename Visit>
    void forEachBucket(WaveformSampleRange buckets, Visit visit) const
    {
        const uint64_t end = std::min<uint64_t>(buckets.location + buckets.length, samples_->size() / 2);
        for (uint64_t i = buckets.location; i < end; ++i)
            if (!visit(i, (*samples_)[2 * i], (*samples_)[2 * i + 1]))
                return;
    }

    std::shared_ptr<const WaveformSamples> samples_;
    ZNTTimeRange valid_;
};

}  // namespace

// Ranges on and near bucket boundaries, as a grid of columns makes them:
// every query takes exactly the buckets of the rule, one-by-one and in rows.
TEST_F(WaveformQueriesTest, EveryQueryTakesTheBucketsOfTheRule)
{
    // Neighbouring buckets differ, so a bucket more or less shows.
    std::vector<int> frames(2001);
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames[i] = int(i * 37 % 255) - 127;
    frames[114 + 1] = 126;  // bucket 114, the second of {0.014125, 0.000125}
    frames[113 + 1] = 5;
    auto provider = providerOf(frames);
    const BucketRule rule(*provider);
    EXPECT_EQ(provider->representativeSampleForTimeRange({0.014125, 0.000125}).positive, 126.0 / 128);
    EXPECT_EQ(provider->maxMagnitudeOfTimeRange({0.014125, 0.000125}), 126.0 / 128);

    const double bucket = 1.0 / 8000;
    std::size_t widened = 0, ranges = 0;
    for (const double width : {bucket, 0.000125, 2 * bucket, 3 * 0.000125, 0.0001}) {
        for (int k = 0; k * bucket + width <= 0.25 && k < 1990; ++k) {
            for (const double start : {k * bucket, k * 0.000125, k / 8000.0 + 1e-12, k / 8000.0 - 1e-12}) {
                const ZNTTimeRange range{start, width};
                if (!provider->hasSamplesInTimeRange(range))
                    continue;
                const auto where = [&] { return ::testing::Message() << "at " << start << " s for " << width << " s"; };
                ASSERT_EQ(provider->sampleRangeForTimeRange(range), BucketRule::bucketsOf(range)) << where();
                ASSERT_EQ(provider->representativeSampleForTimeRange(range), rule.representative(range)) << where();
                ASSERT_EQ(provider->maxMagnitudeOfTimeRange(range), rule.maxMagnitude(range)) << where();
                ASSERT_EQ(provider->smoothedSampleForTimeRange(range), rule.smoothed(range)) << where();
                ++ranges;
                widened += width == bucket && BucketRule::bucketsOf(range).length > 1;
            }
        }
    }
    EXPECT_GT(widened, ranges / 20);  // the rounding takes a second bucket often

    // A row of columns, and the outlines drawn from them, take the same buckets.
    for (const double step : {bucket, 0.000125, 0.0003}) {
        std::vector<WaveformSample> row(600);
        provider->smoothedSamplesForColumns(0.001, step, row);
        QPainterPath positive, negative, full;
        provider->bidirectionalWaveformPathsForTimeRange({0.001, step * 400}, QRectF(0, 0, 400, 256), false, &positive, &negative, &full);
        ASSERT_EQ(positive.elementCount(), 401);
        double t = 0.001;
        for (std::size_t k = 0; k < row.size(); ++k, t += step) {
            ASSERT_EQ(row[k], rule.smoothed({t, step})) << "step " << step << ", column " << k;
            if (k <= 400) {
                ASSERT_EQ(positive.elementAt(int(k)).y, 128 - std::ceil(rule.representative({t, step}).positive * 128))
                    << "step " << step << ", column " << k;
            }
        }
    }
}

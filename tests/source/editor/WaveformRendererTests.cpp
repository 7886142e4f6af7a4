// The renderer's tiles, pixel by pixel.

#include "source/editor/WaveformRenderer.h"

#include "tests/source/editor/EditorFixtures.h"

#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace editortest;

namespace {

struct RendererTest : ::testing::Test {
    QTemporaryDir folder;

    std::shared_ptr<WaveformProvider> providerOf(const std::vector<int>& values)
    {
        return readWaveform(assetAt(writeValues(folder, "song.wav", values)));
    }
    static std::vector<int> repeated(std::vector<int> pattern, int count)
    {
        std::vector<int> values;
        for (int i = 0; i < count; ++i)
            values.insert(values.end(), pattern.begin(), pattern.end());
        return values;
    }
    static std::vector<int> opaqueRows(const QImage& tile, int x)
    {
        std::vector<int> rows;
        for (int y = 0; y < tile.height(); ++y)
            if (qAlpha(tile.pixel(x, y)) != 0)
                rows.push_back(y);
        return rows;
    }
};

}  // namespace

TEST_F(RendererTest, SilenceIsOneRowAcrossTheMiddle)
{
    auto renderer = WaveformRenderer::rendererWithProvider(providerOf(std::vector<int>(8000, 0)));
    const QImage tile = renderer->fastRenderWithSize({50, 100}, {0, 1});
    ASSERT_EQ(tile.size(), QSize(50, 100));
    for (int x : {0, 25, 49})
        EXPECT_EQ(opaqueRows(tile, x), std::vector<int>{50}) << x;  // trunc(1 + 49.5)
}

TEST_F(RendererTest, FullScaleRunsTopToBottomBrightAtTheTopFaintAtTheBottom)
{
    auto renderer = WaveformRenderer::rendererWithProvider(providerOf(repeated({127, -128}, 8000)));
    const QImage tile = renderer->fastRenderWithSize({40, 100}, {0, 1});
    ASSERT_FALSE(tile.isNull());
    for (int x : {0, 20, 39}) {
        const auto rows = opaqueRows(tile, x);
        ASSERT_EQ(rows.size(), 100u) << x;  // from row 1 + 49.5 − ceil(49.5 × 127/128) = 0 to the last
        EXPECT_NEAR(qAlpha(tile.pixel(x, 0)), 0.7 * 255, 4);
        EXPECT_NEAR(qAlpha(tile.pixel(x, 99)), 0.2 * 255, 6);
        EXPECT_EQ(qRed(tile.pixel(x, 0)), qAlpha(tile.pixel(x, 0))) << "white, premultiplied";
    }
}

TEST_F(RendererTest, NothingBeyondTheSamplesReadAndNoBitmapForNoArea)
{
    auto renderer = WaveformRenderer::rendererWithProvider(providerOf(std::vector<int>(8000, 20)));
    EXPECT_FALSE(renderer->fastRenderWithSize({10, 20}, {1.0, 1}).isNull()) << "a start at the end still renders";
    EXPECT_TRUE(renderer->fastRenderWithSize({10, 20}, {1.01, 1}).isNull());
    EXPECT_TRUE(renderer->fastRenderWithSize({0, 20}, {0, 1}).isNull());
    EXPECT_TRUE(renderer->fastRenderWithSize({10, 1}, {0, 1}).isNull());
    EXPECT_TRUE(renderer->renderWithSize({0, 20}, {0, 1}).isNull());
}

TEST_F(RendererTest, FractionalWidthsRoundUpAndPixelRatiosScale)
{
    auto renderer = WaveformRenderer::rendererWithProvider(providerOf(repeated({60, -60}, 4000)));
    const QImage fractional = renderer->fastRenderWithSize({10.5, 20}, {0, 1});
    EXPECT_EQ(fractional.width(), 11);
    EXPECT_FALSE(opaqueRows(fractional, 10).empty()) << "the last, partial column is drawn too";
    const QImage sharp = renderer->fastRenderWithSize({10, 20}, {0, 1}, 2.0);
    EXPECT_EQ(sharp.size(), QSize(20, 40));
    EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
    const QImage full = renderer->renderWithSize({10, 20}, {0, 1}, 2.0);
    EXPECT_EQ(full.size(), QSize(20, 40));
}

TEST_F(RendererTest, TheGradientLineIsKeptForOneHeight)
{
    auto renderer = WaveformRenderer::rendererWithProvider(providerOf(std::vector<int>(800, 0)));
    const qint64 first = renderer->fastGradientFillForHeight(99).cacheKey();
    EXPECT_EQ(renderer->fastGradientFillForHeight(99).cacheKey(), first);
    EXPECT_EQ(renderer->fastGradientFillForHeight(50).height(), 50);
    EXPECT_NE(renderer->fastGradientFillForHeight(99).cacheKey(), first);
}

TEST_F(RendererTest, TheFullRenderFillsTheOutlineWithAShadowAround)
{
    auto renderer = WaveformRenderer::rendererWithProvider(providerOf(repeated({64, -64}, 8000)));
    const QImage tile = renderer->renderWithSize({100, 100}, {0, 2});
    ASSERT_EQ(tile.size(), QSize(100, 100));
    // Half scale: the waveform covers the middle half; the shadow darkens just outside it.
    const QColor inside = tile.pixelColor(50, 50);
    EXPECT_GT(inside.alpha(), 60);
    EXPECT_GT(inside.red(), 200) << "the fill is white";
    EXPECT_EQ(tile.pixelColor(50, 2).alpha(), 0) << "far outside: transparent";
    int shadowed = 0;
    for (int y = 0; y < 100; ++y) {
        const QColor c = tile.pixelColor(50, y);
        shadowed += c.alpha() > 0 && c.red() < 60;
    }
    EXPECT_GT(shadowed, 0);
}

TEST_F(RendererTest, EveryRequestCompletesOnceOnTheMainThread)
{
    auto renderer = WaveformRenderer::rendererWithProvider(providerOf(repeated({30, -30}, 8000)));
    int completions = 0, failures = 0, offMain = 0;
    for (int i = 0; i < 6; ++i)
        renderer->renderWithSize({i == 3 ? 0.0 : 100.0, 50}, {0.1 * i, 1}, 1.0, [&](QImage image) {
            ++completions;
            failures += image.isNull();
            offMain += QThread::currentThread() != qApp->thread();
        });
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return completions == 6; }));
    tolvan::test::drainEvents(50);
    EXPECT_EQ(completions, 6);
    EXPECT_EQ(failures, 1) << "the tile of width 0";
    EXPECT_EQ(offMain, 0);
}

TEST_F(RendererTest, EachColumnRunsBetweenItsOwnSmoothedPeaks)
{
    // A song whose loudness changes from column to column, drawn at both
    // pixel ratios: every column is one unbroken line from its upper peak's
    // row to its lower one's, as the column's own query places them.
    QTemporaryDir songFolder;
    auto provider = readWaveform(assetAt(writeSong(songFolder, "song.wav", 6.0)));
    auto renderer = WaveformRenderer::rendererWithProvider(provider);
    for (const qreal ratio : {1.0, 2.0}) {
        const ZNTTimeRange range{0.8, 5.0};
        const QImage tile = renderer->fastRenderWithSize({250, 60}, range, ratio);
        ASSERT_EQ(tile.size(), QSize(int(250 * ratio), int(60 * ratio)));
        const double step = range.duration / tile.width(), half = (tile.height() - 1) * 0.5;
        double t = range.start;
        std::set<int> lengths;
        for (int x = 0; x < tile.width(); ++x, t += step) {
            const WaveformSample peak = provider->smoothedSampleForTimeRange({t, step});
            const int upper = std::clamp(int(1 + half - std::ceil(peak.positive * half)), 0, tile.height() - 1);
            const int lower = std::clamp(int(1 + half - std::floor(peak.negative * half)), 0, tile.height() - 1);
            std::vector<int> expected;
            for (int y = std::min(upper, lower); y <= std::max(upper, lower); ++y)
                expected.push_back(y);
            ASSERT_EQ(opaqueRows(tile, x), expected) << "column " << x << " at ratio " << ratio;
            lengths.insert(int(expected.size()));
        }
        EXPECT_GT(lengths.size(), 10u) << "the lines differ in length, or the test proves little";
    }
}

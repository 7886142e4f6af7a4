// The waveform view's pure rules, quoted in the view's own numbers (y-up).

#include "source/editor/SelectionRules.h"
#include "source/editor/WaveformGeometry.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace waveform;

namespace {

constexpr double kWaveformNaN = std::numeric_limits<double>::quiet_NaN();

void expectRect(const QRectF& actual, const QRectF& expected)
{
    EXPECT_DOUBLE_EQ(actual.x(), expected.x());
    EXPECT_DOUBLE_EQ(actual.y(), expected.y());
    EXPECT_DOUBLE_EQ(actual.width(), expected.width());
    EXPECT_DOUBLE_EQ(actual.height(), expected.height());
}

// A 100-second song at 25 points per second in a view 2,564 points wide (the
// song and its margins, so the area starts at x = 32), 200 high.
WaveformGeometry longSong() { return {QRectF(0, 0, 2564, 200), 100.0, 25.0}; }

}  // namespace

TEST(WaveformGeometry, TimeAndLocationCountFromTheAreaAndACentredShortSong)
{
    struct Case { double viewWidth, duration, pps, areaX, areaWidth; };
    const Case cases[] = {
        {2564, 100, 25, 32, 2500},     // the song and its margins: the area starts after the margin
        {2500, 100, 25, 0, 2500},
        {1000, 10, 25, 375, 250},      // floor((1000 − 250) / 2)
        {1001, 10, 25, 375, 250},      // floor(375.5)
        {1000, 10.01, 25, 374, 251},   // width ceil(250.25)
        {1000, kWaveformNaN, 25, 500, 0},      // no song: an empty area in the middle
    };
    for (const Case& c : cases) {
        const WaveformGeometry g{QRectF(0, 0, c.viewWidth, 200), c.duration, c.pps};
        SCOPED_TRACE(c.viewWidth);
        expectRect(g.areaBounds(), QRectF(c.areaX, 0, c.areaWidth, 200));
        expectRect(g.trackBounds(), QRectF(c.areaX + 2, 0, c.areaWidth - 4, 200));
        EXPECT_DOUBLE_EQ(g.locationFromTime(2.0), 2.0 * c.pps + c.areaX);
        EXPECT_DOUBLE_EQ(g.timeFromLocation(g.locationFromTime(3.5)), 3.5);
    }
}

TEST(WaveformGeometry, WidthAndCompletelyVisibleIncludeBothMargins)
{
    EXPECT_EQ(viewWidthForContainerWidth(800, 100, 25), 2564);  // 2500 + 2 × 32
    EXPECT_EQ(viewWidthForContainerWidth(3000, 100, 25), 3000);
    EXPECT_EQ(viewWidthForContainerWidth(800, 10.01, 150), std::ceil(1501.5 + 64));
    EXPECT_EQ(viewWidthForContainerWidth(800, kWaveformNaN, 25), 800);
    EXPECT_TRUE(completelyVisible(314, 10, 25));
    EXPECT_FALSE(completelyVisible(313, 10, 25));
    EXPECT_TRUE(completelyVisible(64, 0, 25)) << "no song fits anywhere";
}

TEST(WaveformZoom, StepsRoundButNeverStandStillExceptForZero)
{
    struct Case { double magnification, step; };
    const Case cases[] = {{0.3, 1}, {-0.3, -1}, {2.6, 3}, {-2.6, -3}, {1.0, 1}, {-1.0, -1}, {0.5, 1}, {-0.5, -1},
                          {0.0, 0}, {-0.0, 0}, {kWaveformNaN, 0}, {INFINITY, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(zoomStep(c.magnification), c.step) << c.magnification;
}

TEST(WaveformZoom, LimitsAndTheStoredZoom)
{
    EXPECT_EQ(limitedPointsPerSecond(24.4), 25);
    EXPECT_EQ(limitedPointsPerSecond(151), 150);
    EXPECT_EQ(limitedPointsPerSecond(80.5), 81);
    EXPECT_EQ(limitedPointsPerSecond(kWaveformNaN), 25);
    EXPECT_EQ(limitedPointsPerSecond(-INFINITY), 25);
    EXPECT_EQ(initialPointsPerSecond(0), 25) << "absent";
    EXPECT_EQ(initialPointsPerSecond(200), 200) << "taken as it is until the next change";
    EXPECT_EQ(initialPointsPerSecond(kWaveformNaN), 25);
    EXPECT_EQ(initialPointsPerSecond(INFINITY), 25);
    EXPECT_EQ(initialPointsPerSecond(-40), 25);
}

TEST(WaveformZoom, TheAnchorIsTheMouseInsideTheVisibleRectElseItsCentre)
{
    const QRectF visible(100, 0, 800, 200);
    EXPECT_EQ(zoomAnchor(visible, {150, 50}), QPointF(150, 50));
    EXPECT_EQ(zoomAnchor(visible, {50, 50}), QPointF(500, 100));
    EXPECT_EQ(zoomAnchor(visible, {900, 50}), QPointF(500, 100)) << "the right edge is outside";
}

TEST(WaveformTiles, IndexesRectsAndTheTilesToDrop)
{
    struct Case { double t; uint64_t index; };
    const Case cases[] = {{0, 0}, {4.999, 0}, {5, 1}, {14.2, 2}, {-3, 0}, {kWaveformNaN, 0}, {INFINITY, uint64_t(9e18) / 5}};
    for (const Case& c : cases)
        EXPECT_EQ(tileIndexFromTime(c.t), c.index) << c.t;

    const QRectF track(34, 0, 2496, 200);
    expectRect(tileRect(3, 150, track), QRectF(34 + 3 * 750, 0, 750, 200));

    EXPECT_EQ(tilesOutside({0, 1, 2, 3, 4, 9}, 6.0, 19.9), (std::vector<uint64_t>{0, 4, 9}));
    EXPECT_TRUE(tilesOutside({0}, -1, 2).empty());
}

TEST(WaveformTiles, AFrameDrawsTheWholeSecondsOfItsDirtyRect)
{
    const WaveformGeometry g = longSong();  // track from x = 34
    const SecondsSpan span = secondsToDraw(g, QRectF(0, 0, 100, 200));
    EXPECT_EQ(span.start, 0);
    EXPECT_EQ(span.end, 3);  // ceil((100 − 32) / 25)
    const SecondsSpan end = secondsToDraw(g, QRectF(2400, 0, 500, 200));
    EXPECT_EQ(end.start, 94);
    EXPECT_EQ(end.end, 100) << "not past the song";
}

TEST(WaveformDirtyRects, CoverEverythingTheyStandFor)
{
    const WaveformGeometry g{QRectF(0, 0, 1000, 200), 10.0, 25.0};  // area x 375, track x 377
    for (double t : {0.0, 0.37, 1.5, 2.02, 9.99}) {
        SCOPED_TRACE(t);
        const QRectF line = mouseLineRect(g, t);
        EXPECT_TRUE(mouseLineDirtyRect(g, t).contains(line.adjusted(-1, 0, 1, 0))) << "the line and its neighbours";
        const QRectF play = playLineRect(g, t);
        const QRectF playDirty = playHeadDirtyRect(g, t);
        // The head reaches 8.5 points each side of the line (its shadow one more).
        EXPECT_LE(playDirty.left(), play.left() - 8.5);
        EXPECT_GE(playDirty.right(), play.left() + 9.5);
    }
    expectRect(timeSpanDirtyRect(g, 4, 2), QRectF(375 + 50 - 5, 0, 50 + 10, 200));
}

TEST(WaveformSelectionRect, RoundedFromTheAreaWithHandlesBeside)
{
    const WaveformGeometry g = longSong();
    EXPECT_TRUE(selectionRect(g, {10, 0}).isEmpty());
    EXPECT_TRUE(selectionRect(g, kZNTTimeRangeEmpty).isEmpty());
    const QRectF s = selectionRect(g, {10.01, 20.03});
    expectRect(s, QRectF(282, 0, 501, 200));  // round(250.25 + 32), round(500.75)
    expectRect(startHandleRect(s, {10, 30}), QRectF(272, 12, 10, 30));
    expectRect(endHandleRect(s, {10, 30}), QRectF(783, 12, 10, 30));
}

TEST(WaveformHitTest, PlayHeadFirstThenHandlesThenBody)
{
    const WaveformGeometry g = longSong();
    const QRectF visible(0, 0, 1200, 200);
    const QRectF s = selectionRect(g, {10, 20});  // x 282 … 782
    HitRects rects{playHeadHitRect(g, 12, visible), startHandleRect(s, {10, 30}), endHandleRect(s, {10, 30}),
                   selectionBodyHitRect(s, visible)};
    expectRect(rects.playHead, QRectF(326, 0, 12, 200));
    expectRect(rects.body, QRectF(292, 0, 480, 200));
    EXPECT_EQ(partHit(rects, {330, 100}), Part::playHead) << "the play head lies over the body";
    EXPECT_EQ(partHit(rects, {277, 20}), Part::selectionStart);
    EXPECT_EQ(partHit(rects, {787, 41}), Part::selectionEnd);
    EXPECT_EQ(partHit(rects, {787, 42}), Part::nothing) << "above the handle";
    EXPECT_EQ(partHit(rects, {287, 100}), Part::nothing) << "the body's first 10 points";
    EXPECT_EQ(partHit(rects, {500, 100}), Part::selectionBody);
    EXPECT_TRUE(playHeadHitRect(g, kZNTInfinity, visible).isEmpty());
    EXPECT_TRUE(selectionBodyHitRect(s, QRectF(800, 0, 400, 200)).isEmpty()) << "scrolled out of view";
}

TEST(WaveformRuler, IntervalsTextsAndSeconds)
{
    EXPECT_EQ(rulerLabelInterval(25), 10);
    EXPECT_EQ(rulerLabelInterval(39.9), 10);
    EXPECT_EQ(rulerLabelInterval(40), 5);
    EXPECT_EQ(rulerLabelInterval(80), 1);
    EXPECT_EQ(rulerLabelInterval(150), 1);
    EXPECT_EQ(rulerText(65), "01:05");
    EXPECT_EQ(rulerText(5), "0:05");
    EXPECT_EQ(rulerText(3725), "01:02:05");
    EXPECT_EQ(rulerText(600), "10:00");
    EXPECT_EQ(rulerText(kWaveformNaN), "0:00");
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(selectionDurationText(12.4), "12.4 s");
    EXPECT_EQ(selectionDurationText(5.0), "5 s");
    EXPECT_EQ(selectionDurationText(39.98), "40 s");
    EXPECT_EQ(selectionDurationText(1.04), "1 s");
    const SecondsSpan first = rulerSeconds(2, 30, 100);
    EXPECT_EQ(first.start, 1) << "second 0 has no tick";
    EXPECT_EQ(first.end, 33);
    EXPECT_EQ(rulerSeconds(50, 99, 100).end, 100);
    EXPECT_EQ(rulerSeconds(50, 60, 100).start, 47);
}

TEST(SelectionLimits, DurationStartAndShortSongs)
{
    struct Case { ZNTTimeRange proposed; double max, song; ZNTTimeRange expected; };
    const Case cases[] = {
        {{5, 0.2}, 40, 100, {5, 1}},            // at least one second
        {{5, 60}, 40, 100, {5, 40}},            // at most the longest
        {{5, 60}, 40, 30, {0, 30}},             // the song is the longest; the start stays inside
        {{98, 10}, 40, 100, {90, 10}},          // a selection that would leave the song moves back in
        {{-3, 10}, 40, 100, {0, 10}},
        {{0, 2}, 40, 0.4, {0, 0.4}},            // a song shorter than a second: all of it
        {{kWaveformNaN, 5}, 40, 100, {0, 5}},
        {{5, kWaveformNaN}, 40, 100, {5, 1}},
        {{500, 0.2}, 40, kWaveformNaN, {500, 1}},       // without a song only the duration is limited
    };
    for (const Case& c : cases) {
        const ZNTTimeRange r = limitedSelection(c.proposed, c.max, c.song);
        EXPECT_DOUBLE_EQ(r.start, c.expected.start) << c.proposed.start << " " << c.proposed.duration;
        EXPECT_DOUBLE_EQ(r.duration, c.expected.duration) << c.proposed.start << " " << c.proposed.duration;
    }
}

TEST(SelectionLimits, PlayTimes)
{
    EXPECT_EQ(limitedPlayTime(-2, 10), 0);
    EXPECT_EQ(limitedPlayTime(12, 10), 10);
    EXPECT_EQ(limitedPlayTime(kZNTInfinity, 10), kZNTInfinity);
    EXPECT_EQ(limitedPlayTime(kWaveformNaN, 10), kZNTInfinity);
    EXPECT_EQ(playTimeFromMouse(10.5, 10), kZNTInfinity) << "dragged past the end: hidden";
    EXPECT_EQ(playTimeFromMouse(-0.1, 10), kZNTInfinity);
    EXPECT_EQ(playTimeFromMouse(4, 10), 4);
}

TEST(SelectionDrags, BodyDragStaysInsideTheSongAndSnaps)
{
    const DragFrame frame{2, 25, 100, false};
    const ZNTTimeRange selection{10, 20};
    EXPECT_DOUBLE_EQ(bodyDragStart(frame, 502, 0, selection), 20);
    EXPECT_DOUBLE_EQ(bodyDragStart(frame, 512, 10, selection), 20) << "the grab point stays under the mouse";
    EXPECT_EQ(bodyDragStart(frame, -100, 0, selection), 0);
    EXPECT_EQ(bodyDragStart(frame, 5000, 0, selection), 80);
    const DragFrame snapping{2, 25, 100, true};
    EXPECT_EQ(bodyDragStart(snapping, 2 + 25 * 12.4, 0, selection), 12);
}

TEST(SelectionDrags, StartHandleKeepsTheEndAndTheLimits)
{
    const DragFrame frame{0, 25, 100, false};
    const ZNTTimeRange selection{50, 10};  // end 60
    struct Case { double x; ZNTTimeRange expected; };
    const Case cases[] = {
        {25 * 45, {45, 15}},
        {25 * 59.8, {59, 1}},  // at least a second
        {25 * 10, {20, 40}},   // at most the longest (40)
    };
    for (const Case& c : cases) {
        const ZNTTimeRange r = startHandleDrag(frame, c.x, 0, selection, 40);
        EXPECT_DOUBLE_EQ(r.start, c.expected.start) << c.x;
        EXPECT_DOUBLE_EQ(r.duration, c.expected.duration) << c.x;
    }
    EXPECT_DOUBLE_EQ(startHandleDrag({0, 25, 100, true}, 25 * 45.4, 0, selection, 40).start, 45);
    const ZNTTimeRange tiny = startHandleDrag({0, 25, 0.5, false}, 25 * 0.3, 0, {0, 0.5}, 40);
    EXPECT_GE(tiny.start, 0) << "a half-second song never gets a negative start";
}

TEST(SelectionDrags, EndHandleKeepsTheStartAndTheSong)
{
    const DragFrame frame{0, 25, 100, false};
    EXPECT_DOUBLE_EQ(endHandleDrag(frame, 25 * 70, 0, {50, 10}, 40).duration, 20);
    EXPECT_DOUBLE_EQ(endHandleDrag(frame, 25 * 50.5, 0, {50, 10}, 40).duration, 1);
    EXPECT_DOUBLE_EQ(endHandleDrag(frame, 25 * 200, 0, {80, 10}, 40).duration, 20) << "not past the song";
    EXPECT_DOUBLE_EQ(endHandleDrag(frame, 25 * 200, 0, {10, 10}, 40).duration, 40);
    EXPECT_DOUBLE_EQ(endHandleDrag({0, 25, 100, true}, 25 * 70.6, 0, {50, 10}, 40).duration, 21);
}

TEST(SelectionDrags, NewSelectionBothWaysWithTheDeadZone)
{
    const DragFrame frame{0, 25, 100, false};
    EXPECT_FALSE(leftDeadZone(100, 104.9));
    EXPECT_TRUE(leftDeadZone(100, 95));
    const NewSelection leftward = newSelectionDrag(frame, 20, 25 * 12, 40);
    EXPECT_DOUBLE_EQ(leftward.range.start, 12);
    EXPECT_DOUBLE_EQ(leftward.range.duration, 8);
    EXPECT_DOUBLE_EQ(leftward.edge, 12);
    const NewSelection shortRight = newSelectionDrag(frame, 20, 25 * 20.4, 40);
    EXPECT_DOUBLE_EQ(shortRight.range.start, 20);
    EXPECT_DOUBLE_EQ(shortRight.range.duration, 1);
    EXPECT_DOUBLE_EQ(shortRight.edge, 21);
    const NewSelection past = newSelectionDrag(frame, 90, 25 * 500, 40);
    EXPECT_DOUBLE_EQ(past.time, 100) << "the mouse time stays in the song";
    EXPECT_DOUBLE_EQ(past.range.duration, 10);
    EXPECT_DOUBLE_EQ(newSelectionAnchor({0, 25, 100, true}, 25 * 7.6), 8);
    EXPECT_DOUBLE_EQ(newSelectionAnchor({0, 25, 100, true}, -40), 0);
    EXPECT_DOUBLE_EQ(newSelectionAnchor(frame, 25 * 7.6), 7.6);
}

TEST(SelectionDrags, AutoscrollWithinFiftyPointsOfEitherEdge)
{
    const QRectF visible(1000, 0, 800, 200);
    EXPECT_TRUE(needsAutoscroll(1049, visible));
    EXPECT_FALSE(needsAutoscroll(1050, visible));
    EXPECT_FALSE(needsAutoscroll(1750, visible));
    EXPECT_TRUE(needsAutoscroll(1751, visible));
    EXPECT_TRUE(needsAutoscroll(3000, visible));
}

TEST(SelectionDrags, TheMouseLineHidesOverTheSelectionHandlesAndOutside)
{
    const WaveformGeometry g = longSong();
    const ZNTTimeRange selection{10, 20};
    const QRectF s = selectionRect(g, selection);
    const QRectF start = startHandleRect(s, {10, 30}), end = endHandleRect(s, {10, 30});
    EXPECT_DOUBLE_EQ(mouseIndicatorTime(g, {100, 100}, selection, start, end), 2.72);
    EXPECT_EQ(mouseIndicatorTime(g, {400, 100}, selection, start, end), kZNTInfinity);
    EXPECT_EQ(mouseIndicatorTime(g, {277, 20}, selection, start, end), kZNTInfinity);
    EXPECT_DOUBLE_EQ(mouseIndicatorTime(g, {277, 100}, selection, start, end), 9.8);
    EXPECT_EQ(mouseIndicatorTime(g, {2550, 100}, selection, start, end), kZNTInfinity) << "past the song";
    EXPECT_EQ(mouseIndicatorTime(g, {100, 250}, selection, start, end), kZNTInfinity) << "outside the view";
    EXPECT_DOUBLE_EQ(mouseIndicatorTime(g, {400, 100}, {10, 0}, {}, {}), 14.72) << "no selection hides nothing";
}

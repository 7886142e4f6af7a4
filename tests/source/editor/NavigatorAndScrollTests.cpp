// The navigator's geometry, the controller's selection rules and navigator
// scrolling, and the scroll view's arithmetic and scroller.

#include "source/editor/NavigatorGeometry.h"
#include "source/editor/NotifierScrollView.h"
#include "source/editor/WaveformViewController.h"

#include "tests/ZNTUtilities/RenderSupport.h"

#include <QApplication>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace navigator;

namespace {

constexpr double kNavigatorNaN = std::numeric_limits<double>::quiet_NaN();

// A strip 404 points wide: the waveform is 400 wide from x = 2, 4 points a
// second of a 100-second song.
NavigatorGeometry strip(double duration = 100) { return {QRectF(0, 0, 404, 40), duration}; }

void expectRange(ZNTTimeRange actual, ZNTTimeRange expected)
{
    EXPECT_DOUBLE_EQ(actual.start, expected.start);
    EXPECT_DOUBLE_EQ(actual.duration, expected.duration);
}

// Pixels of a widget painted on a transparent image that are not transparent.
int paintedPixels(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, {}, {}, QWidget::DrawChildren);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) != 0;
    return count;
}

}  // namespace

TEST(NavigatorGeometry, TimesAndRectanglesInWholePoints)
{
    const NavigatorGeometry g = strip();
    EXPECT_EQ(g.locationForTime(10.3), 43);  // floor(41.2) + 2
    EXPECT_DOUBLE_EQ(g.timeAtLocation(42), 10);
    const QRectF r = g.rectForTimeRange({10.3, 5});
    EXPECT_EQ(r, QRectF(43, 2, 21, 36));  // floor(43.2) … ceil(63.2)
}

TEST(NavigatorGeometry, NoRectangleWithoutASongOrForRangesThatAreNone)
{
    for (const NavigatorGeometry& g : {strip(0), strip(kNavigatorNaN), strip(-4), strip(INFINITY)}) {
        EXPECT_TRUE(g.rectForTimeRange({1, 2}).isNull());
        EXPECT_EQ(g.locationForTime(3), 0);
        EXPECT_EQ(g.timeAtLocation(3), 0);
    }
    const NavigatorGeometry g = strip();
    EXPECT_TRUE(g.rectForTimeRange({5, 0}).isNull());
    EXPECT_TRUE(g.rectForTimeRange(kZNTTimeRangeEmpty).isNull());
    EXPECT_TRUE(g.rectForTimeRange({kNavigatorNaN, 3}).isNull());
    EXPECT_TRUE(g.layerRectForTimeRange({INFINITY, 3}).isNull());
    EXPECT_EQ(g.locationForTime(kNavigatorNaN), 0);
}

TEST(NavigatorGeometry, LayersAreAtLeastSixPointsWideAndStayInside)
{
    const NavigatorGeometry g = strip();
    EXPECT_EQ(g.layerRectForTimeRange({50, 0.01}), QRectF(202, 2, 6, 36));
    EXPECT_EQ(g.layerRectForTimeRange({99.99, 0.01}), QRectF(396, 2, 6, 36)) << "ends at the waveform's right edge";
    EXPECT_EQ(g.layerRectForTimeRange({10, 20}), QRectF(42, 2, 80, 36));
}

TEST(NavigatorGeometry, TheWaveformRedrawsEachFortiethAndAtTheEnd)
{
    // Samples arriving in steps of 1 % of a 100-second song.
    int redraws = 0;
    double drawn = 0;
    for (int step = 1; step <= 100; ++step)
        if (needsWaveformRedraw(drawn, step, 100)) {
            ++redraws;
            drawn = step;
            EXPECT_TRUE(step % 3 == 0 || step == 100) << step;
        }
    EXPECT_EQ(redraws, 34);
    EXPECT_TRUE(needsWaveformRedraw(0, 0, 0)) << "a song of no length is read at once";
}

TEST(NavigatorDrag, TheGrabPointStaysUnderTheMouse)
{
    EXPECT_DOUBLE_EQ(dragOffset(30, {20, 40}, true), 0.25);
    EXPECT_DOUBLE_EQ(dragOffset(90, {20, 40}, false), 0.5) << "a click outside centres the range";
    EXPECT_DOUBLE_EQ(dragOffset(20, {20, 0}, true), 0.5);

    // The waveform view: 25 points a second from x = 32, 2,564 wide, 1,000 visible.
    const auto location = [](double t) { return t * 25 + 32; };
    const DragScroll drag{50, 0.25, 20, 40};
    const double position = scrollPositionForDrag(drag, 1000, 25, 2564, location);
    const double visibleStart = (std::floor(1564 * position) - 32) / 25;
    EXPECT_NEAR((50 - visibleStart) / 40, 0.25, 1e-9);

    // A range that began before 0 holds the grab point from its right end.
    EXPECT_DOUBLE_EQ(scrollPositionForDrag({10, 0.5, 0, 30}, 1000, 25, 2564, location), (-15 * 25 + 32) / 1564.0);
    EXPECT_EQ(scrollPositionForDrag(drag, 1000, 25, 1000, location), 0) << "a song that fits does not scroll";
}

TEST(SelectionPinning, TheEditorsFieldRules)
{
    using C = WaveformViewController;
    const double m = 1, maxSize = 40, T = 100;
    // The duration field keeps the start.
    expectRange(C::pinSelection({10, 50}, {10, 5}, SelectionPin::keepStart, m, maxSize, T), {10, 40});
    expectRange(C::pinSelection({90, 30}, {90, 5}, SelectionPin::keepStart, m, maxSize, T), {90, 10});
    expectRange(C::pinSelection({10, 0.3}, {10, 5}, SelectionPin::keepStart, m, maxSize, T), {10, 1});
    // The start field keeps the duration.
    expectRange(C::pinSelection({95, 10}, {0, 10}, SelectionPin::keepDuration, m, maxSize, T), {90, 10});
    expectRange(C::pinSelection({5, 120}, {0, 10}, SelectionPin::keepDuration, m, maxSize, T), {0, 120});
    expectRange(C::pinSelection({-4, 10}, {0, 10}, SelectionPin::keepDuration, m, maxSize, T), {0, 10});
    // Keeping the end.
    expectRange(C::pinSelection({59.5, 3}, {50, 10}, SelectionPin::keepEnd, m, maxSize, T), {59, 1});
    expectRange(C::pinSelection({5, 3}, {50, 10}, SelectionPin::keepEnd, m, maxSize, T), {20, 40});
    // Anything else passes unchanged.
    expectRange(C::pinSelection({-7, 300}, {50, 10}, static_cast<SelectionPin>(3), m, maxSize, T), {-7, 300});
    // A song shorter than the longest selection limits it.
    expectRange(C::pinSelection({0, 50}, {0, 5}, SelectionPin::keepStart, m, maxSize, 30), {0, 30});
}

TEST(ScrollArithmetic, PositionsProportionsAndPages)
{
    EXPECT_EQ(scrolling::position(0, 1000, 1000), 0);
    EXPECT_DOUBLE_EQ(scrolling::position(50, 1000, 800), 0.25);
    EXPECT_EQ(scrolling::position(30, 800, 1000), 0);
    EXPECT_EQ(scrolling::originForPosition(1.0, 3000, 1000), 2000);
    EXPECT_EQ(scrolling::originForPosition(1.0 / 3, 3000, 1000), 666);
    EXPECT_EQ(scrolling::originForPosition(0.5, 800, 1000), 0);
    EXPECT_EQ(scrolling::proportion(1000, 0), 1);
    EXPECT_DOUBLE_EQ(scrolling::proportion(1000, 4000), 0.25);
    EXPECT_GE(scrolling::proportion(1000, 800), 1);
    EXPECT_DOUBLE_EQ(scrolling::pageAmount(1000, 10, 3000), 0.495);
    EXPECT_EQ(scrolling::pageAmount(1000, 10, 1000), 0) << "nothing scrolls";
    EXPECT_DOUBLE_EQ(scrolling::positionAfterWheel(0.5, 10), 0.48);
}

TEST(NotifierScrollView, ScrollsByFractionsAndByTheWheel)
{
    NotifierScrollView scrollView;
    scrollView.resize(1000, 200);
    auto* document = new QWidget;
    document->resize(3000, 200);
    scrollView.setWidget(document);
    scrollView.show();
    int scrolls = 0;
    QObject::connect(&scrollView, &NotifierScrollView::scrolled, [&scrolls] { ++scrolls; });

    scrollView.setHPosition(1.0);
    EXPECT_EQ(scrollView.documentVisibleRect().left(), 3000 - scrollView.viewport()->width());
    EXPECT_DOUBLE_EQ(scrollView.hPosition(), 1.0);
    scrollView.setHPosition(1.7);
    EXPECT_DOUBLE_EQ(scrollView.hPosition(), 1.0) << "limited to the document";
    scrollView.setHPosition(0.5);
    EXPECT_GT(scrolls, 0);

    const double before = scrollView.hPosition();
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(10, 0), QPoint(), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(scrollView.viewport(), &wheel);
    EXPECT_NEAR(scrollView.hPosition(), before - 0.02, 1.0 / scrollView.viewport()->width() * 2);

    document->resize(scrollView.viewport()->width(), 200);
    scrollView.setHPosition(0.8);
    EXPECT_EQ(scrollView.hPosition(), 0);
    EXPECT_GE(scrollView.hProportion(), 1);
}

TEST(StandaloneTransparentScroller, DrawsNothingWhenShortAndNoKnobWithoutRange)
{
    StandaloneTransparentScroller scroller(Qt::Vertical);
    scroller.setRange(0, 100);
    scroller.setPageStep(50);
    scroller.resize(11, 19);
    EXPECT_EQ(paintedPixels(scroller), 0);
    scroller.resize(11, 20);
    const int withKnob = paintedPixels(scroller);
    EXPECT_GT(withKnob, 0);
    EXPECT_NEAR(scroller.knobProportion(), 1.0 / 3, 1e-9);

    scroller.setRange(0, 0);
    EXPECT_EQ(scroller.knobProportion(), 0);
    EXPECT_TRUE(scroller.knobRect().isEmpty());
    const int slotOnly = paintedPixels(scroller);
    EXPECT_GT(slotOnly, 0);
    scroller.resize(11, 200);
    scroller.setRange(0, 100);
    const QRectF top = scroller.knobRect();
    scroller.setValue(100);
    EXPECT_EQ(scroller.knobRect().bottom(), 200) << "at the end the knob meets the slot's end";
    EXPECT_EQ(top.top(), 0);
}

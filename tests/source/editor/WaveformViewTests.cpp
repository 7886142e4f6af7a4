// The waveform area driven by real mouse events under the offscreen platform.

#include "source/editor/NotifierScrollView.h"
#include "source/editor/WaveformNavigator.h"
#include "source/editor/WaveformView.h"
#include "source/editor/WaveformViewController.h"

#include "platform/foundation/UndoManager.h"
#include "ZNTUtilities/Geometry.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/media/Asset.h"
#include "platform/media/Track.h"
#include "tests/source/editor/EditorFixtures.h"
#include "tests/support/Gate.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace editortest;
using tolvan::test::drainEvents;
using tolvan::test::Gate;
using tolvan::test::ReleasedAtEnd;
using tolvan::test::waitUntil;

namespace {

struct WaveformAreaTest : ::testing::Test {
    QTemporaryDir folder;
    tolvan::UndoManager undo;
    WaveformViewController controller;
    WaveformView* view = controller.waveformView();

    void SetUp() override
    {
        tolvan::UserDefaults::standard().remove("pixelsPerSecond");
        controller.view()->resize(800, 240);
        controller.view()->show();
        controller.setUndoManager(&undo);
        controller.setMaxSelectionSize(40);
    }

    void open(double seconds, double pointsPerSecond = 25)
    {
        controller.setPointsPerSecond(pointsPerSecond);
        controller.setAsset(assetAt(writeSong(folder, QString("song-%1.wav").arg(seconds), seconds)));
        ASSERT_TRUE(waitUntil([&] { return controller.provider()->finished(); }));
        drainEvents(20);
    }

    // The view's picture of rect once the full renders of its tiles have
    // landed: the same twice in a row.
    QImage settledPicture(const QRect& rect) const
    {
        QImage last;
        for (int tries = 0; tries < 60; ++tries) {
            drainEvents(300);
            QImage next = view->grab(rect).toImage();
            if (next == last)
                break;
            last = std::move(next);
        }
        return last;
    }

    // The view's x of a time measured from the track, where drags measure it.
    double trackX(double t) const { return view->waveformGeometry().trackBounds().x() + t * view->pointsPerSecond(); }
    // A point given y-up, as the view's rules are, in the widget's y-down terms.
    QPointF at(double x, double yUp) const { return {x, view->height() - yUp}; }

    void send(QEvent::Type type, QPointF p, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QMouseEvent event(type, p, view->mapToGlobal(p), Qt::LeftButton, buttons, modifiers);
        QApplication::sendEvent(view, &event);
    }
    void press(QPointF p, Qt::KeyboardModifiers m = Qt::NoModifier) { send(QEvent::MouseButtonPress, p, Qt::LeftButton, m); }
    void move(QPointF p, Qt::KeyboardModifiers m = Qt::NoModifier) { send(QEvent::MouseMove, p, Qt::LeftButton, m); }
    void release(QPointF p, Qt::KeyboardModifiers m = Qt::NoModifier) { send(QEvent::MouseButtonRelease, p, Qt::NoButton, m); }
    // A drag in steps of 10 points.
    void drag(QPointF from, QPointF to, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        press(from, m);
        const int steps = std::max(1, int(std::abs(to.x() - from.x()) / 10));
        for (int i = 1; i <= steps; ++i)
            move(from + (to - from) * double(i) / steps, m);
        release(to, m);
    }
};

void expectSelection(ZNTTimeRange actual, double start, double duration)
{
    EXPECT_NEAR(actual.start, start, 1e-9);
    EXPECT_NEAR(actual.duration, duration, 1e-9);
}

// Holds back every stream of a song that starts at or past a frame until
// the gate is released.
class HeldTrack : public tolvan::Track {
public:
    HeldTrack(std::shared_ptr<tolvan::Track> inner, int64_t heldFrom, std::shared_ptr<const Gate> gate)
        : Track(inner->trackID(), inner->mediaType(), inner->formatDescriptions(), inner->duration()), inner_(std::move(inner)),
          heldFrom_(heldFrom), gate_(std::move(gate))
    {
    }
    std::unique_ptr<tolvan::PcmStream> openPcmStream(const tolvan::AudioOutputSettings& settings, tolvan::Error* error) const override
    {
        return inner_->openPcmStream(settings, error);
    }
    std::unique_ptr<tolvan::PcmStream> openPcmStreamFromFrame(const tolvan::AudioOutputSettings& settings, int64_t startFrame,
                                                              tolvan::Error* error) const override
    {
        return openSharedPcmStreamFromFrame(settings, startFrame, nullptr, error);
    }
    std::shared_ptr<tolvan::SharedTrackInput> openSharedInput() const override { return inner_->openSharedInput(); }
    std::unique_ptr<tolvan::PcmStream> openSharedPcmStreamFromFrame(const tolvan::AudioOutputSettings& settings, int64_t startFrame,
                                                                    std::shared_ptr<tolvan::SharedTrackInput> input,
                                                                    tolvan::Error* error) const override
    {
        if (startFrame >= heldFrom_)
            gate_->pass();
        return inner_->openSharedPcmStreamFromFrame(settings, startFrame, std::move(input), error);
    }

private:
    std::shared_ptr<tolvan::Track> inner_;
    int64_t heldFrom_;
    std::shared_ptr<const Gate> gate_;
};

// A song whose audio from `heldFrom` seconds on waits for the gate.
class HeldAsset : public tolvan::Asset {
public:
    HeldAsset(std::shared_ptr<tolvan::Asset> inner, double heldFrom, const std::shared_ptr<const Gate>& gate) : inner_(std::move(inner))
    {
        for (const auto& track : inner_->tracks())
            tracks_.push_back(std::make_shared<HeldTrack>(track, int64_t(heldFrom * 8000), gate));
    }
    tolvan::MediaTime duration() const override { return inner_->duration(); }
    std::vector<std::shared_ptr<tolvan::Track>> tracks() const override { return tracks_; }

private:
    std::shared_ptr<tolvan::Asset> inner_;
    std::vector<std::shared_ptr<tolvan::Track>> tracks_;
};

}  // namespace

TEST_F(WaveformAreaTest, AClickMovesThePlayHeadAndLeavesTheSelection)
{
    open(20);
    controller.setSelection({10, 4});
    QSignalSpy moved(view, &WaveformView::didMovePlayPosition);
    QSignalSpy didChange(view, &WaveformView::selectionDidChange);
    const QPointF p = at(trackX(3), 100);
    press(p);
    move(p + QPointF(4, 0));  // inside the 5-point dead zone
    release(p + QPointF(4, 0));
    EXPECT_NEAR(view->playTime(), 3 + 4 / 25.0, 1e-9);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(0).toDouble(), kZNTInfinity);
    EXPECT_EQ(didChange.count(), 0);
    expectSelection(controller.selection(), 10, 4);
}

TEST_F(WaveformAreaTest, ALeftwardDragSelectsBackFromTheAnchor)
{
    open(60);
    QSignalSpy scrubs(view, &WaveformView::didScrub);
    QSignalSpy selectionSignals(&controller, &WaveformViewController::selectionChanged);
    drag(at(trackX(20), 100), at(trackX(12), 100));
    expectSelection(controller.selection(), 12, 8);
    expectSelection(view->selection(), 12, 8);
    EXPECT_GT(scrubs.count(), 0);
    EXPECT_EQ(selectionSignals.count(), scrubs.count()) << "one announcement per change";

    drag(at(trackX(30), 100), at(trackX(29.6), 100));  // less than a second, more than 5 points
    expectSelection(controller.selection(), 29, 1);
}

TEST_F(WaveformAreaTest, HandlesKeepTheSelectionBetweenOneSecondAndTheLimits)
{
    open(60);
    controller.setSelection({10, 5});
    const QRectF s = view->selectionBounds();
    const QPointF startHandle = at(s.left() - 5, 27);
    drag(startHandle, startHandle + QPointF(400, 0));
    expectSelection(view->selection(), 14, 1);
    const QPointF movedStart = at(view->selectionBounds().left() - 5, 27);
    drag(movedStart, QPointF(-300, movedStart.y()));
    expectSelection(view->selection(), 0, 15);  // not before the song

    controller.setSelection({50, 5});
    view->setMaxSelectionSize(40);
    const QPointF endHandle = at(view->selectionBounds().right() + 5, 27);
    drag(endHandle, endHandle + QPointF(1000, 0));
    expectSelection(view->selection(), 50, 10);  // not past the song's end
}

TEST_F(WaveformAreaTest, ShiftSnapsToWholeSeconds)
{
    open(60);
    drag(at(trackX(20.3), 100), at(trackX(25.6), 100), Qt::ShiftModifier);
    expectSelection(view->selection(), 20, 6);
    const QPointF body = at(view->selectionBounds().center().x(), 100);
    drag(body, body + QPointF(25 * 2.3, 0), Qt::ShiftModifier);
    EXPECT_EQ(view->selection().start, std::round(view->selection().start)) << view->selection().start;
}

TEST_F(WaveformAreaTest, OneDragIsOneUndoStep)
{
    open(60);
    controller.setSelection({10, 5});
    drainEvents(10);
    undo.removeAllActions();
    const QPointF body = at(view->selectionBounds().center().x(), 100);
    drag(body, body + QPointF(200, 0));
    expectSelection(view->selection(), 18, 5);
    drainEvents(10);
    ASSERT_TRUE(undo.undo());
    expectSelection(controller.selection(), 10, 5);
    EXPECT_FALSE(undo.canUndo());
    ASSERT_TRUE(undo.redo());
    expectSelection(controller.selection(), 18, 5);
}

TEST_F(WaveformAreaTest, SetSelectionComparesAfterLimiting)
{
    open(60);
    undo.setGroupsByEvent(false);
    controller.setSelection({5, 2});
    QSignalSpy changes(view, &WaveformView::selectionChanged);
    view->setSelection({7, 0.2});
    view->setSelection({7, 0.2});
    view->setSelection({7, 1});
    EXPECT_EQ(changes.count(), 1);
    expectSelection(view->selection(), 7, 1);
    ASSERT_TRUE(undo.undo());
    expectSelection(view->selection(), 5, 2);  // no empty step in between
}

TEST_F(WaveformAreaTest, TheControllerAnnouncesItsOwnSelectionOnce)
{
    open(60);
    QSignalSpy spy(&controller, &WaveformViewController::selectionChanged);
    controller.setSelection({3, 90});
    EXPECT_EQ(spy.count(), 1);
    expectSelection(controller.selection(), 3, 40);  // the copy is what the view kept
}

TEST_F(WaveformAreaTest, DraggingAtTheEdgeScrollsWhileTheMouseStandsStill)
{
    open(60, 150);
    QScrollBar* bar = controller.scrollView()->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    const double visibleRight = view->visibleBounds().right();
    const QPointF from = at(visibleRight - 400, 100), edge = at(visibleRight - 10, 100);
    press(from);
    move(edge);
    const int before = bar->value();
    const double endBefore = ZNTTimeRangeEnd(view->selection());
    drainEvents(300);
    EXPECT_GT(bar->value(), before);
    EXPECT_GT(ZNTTimeRangeEnd(view->selection()), endBefore) << "the moving edge follows the scroll";
    release(view->mapFromGlobal(view->mapToGlobal(edge)));
    const int stopped = bar->value();
    drainEvents(100);
    EXPECT_EQ(bar->value(), stopped) << "the timer ends with the drag";
}

TEST_F(WaveformAreaTest, ThePlayHeadDraggedPastTheEndIsHidden)
{
    open(20);
    view->setPlayTime(10);
    QSignalSpy moved(view, &WaveformView::didMovePlayPosition);
    const QPointF head = at(view->locationFromTime(10), 100);
    drag(head, QPointF(view->width() + 50, head.y()));
    EXPECT_EQ(view->playTime(), kZNTInfinity);
    ASSERT_GT(moved.count(), 0);
    EXPECT_EQ(moved.last().at(1).toDouble(), kZNTInfinity);
}

TEST_F(WaveformAreaTest, ADoubleClickBeforeTheSongReportsZero)
{
    open(3);
    QSignalSpy doubleClicks(view, &WaveformView::doubleClickAtTime);
    QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(2, 100), view->mapToGlobal(QPointF(2, 100)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
    ASSERT_EQ(doubleClicks.count(), 1);
    EXPECT_EQ(doubleClicks.at(0).at(0).toDouble(), 0.0);
}

TEST_F(WaveformAreaTest, TheNavigatorHidesForASongThatFits)
{
    open(3);
    EXPECT_TRUE(view->completelyVisible());
    EXPECT_FALSE(controller.navigatorVisible());
    EXPECT_TRUE(controller.waveformNavigator()->isHidden());
    EXPECT_EQ(controller.scrollView()->geometry().height(), 240);
    open(60, 25);
    EXPECT_TRUE(controller.navigatorVisible());
    EXPECT_FALSE(controller.waveformNavigator()->isHidden());
    EXPECT_EQ(controller.scrollView()->geometry().bottom() + 1, controller.waveformNavigator()->geometry().top());
    const ZNTTimeRange visible = controller.waveformNavigator()->visibleTimeRange();
    EXPECT_EQ(visible.start, 0);
    EXPECT_NEAR(visible.duration, (800 - 32) / 25.0, 0.1);
}

TEST_F(WaveformAreaTest, ANavigatorDragScrollsTheWaveformUnderTheMouse)
{
    open(60, 100);
    WaveformNavigator* strip = controller.waveformNavigator();
    QSignalSpy fast(view, &WaveformView::selectionChanged);
    const auto g = strip->navigatorGeometry();
    const QPointF p(g.locationForTime(30), 20);
    QMouseEvent down(QEvent::MouseButtonPress, p, strip->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(strip, &down);
    EXPECT_TRUE(view->useFastDrawing());
    // A click outside the visible range centres it on the click.
    const ZNTTimeRange visible = strip->visibleTimeRange();
    EXPECT_NEAR(visible.start + visible.duration / 2, 30, 0.5);
    QMouseEvent up(QEvent::MouseButtonRelease, p, strip->mapToGlobal(p), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(strip, &up);
    EXPECT_FALSE(view->useFastDrawing());
}

TEST_F(WaveformAreaTest, ZoomingKeepsTheVisibleCentreInPlace)
{
    open(60, 50);
    controller.scrollView()->setHPosition(0.5);
    QCursor::setPos(-500, -500);
    const QRectF visible = view->visibleBounds();
    const double centre = view->timeFromLocation(visible.center().x());
    QSignalSpy zoom(&controller, &WaveformViewController::pointsPerSecondChanged);
    controller.zoomIn();
    view->magnifyBy(0.0);
    EXPECT_EQ(view->pointsPerSecond(), 51);
    EXPECT_EQ(zoom.count(), 1) << "a magnification of 0 does not zoom";
    EXPECT_NEAR(view->timeFromLocation(view->visibleBounds().center().x()), centre, 1.0 / 50);
    EXPECT_EQ(tolvan::UserDefaults::standard().doubleValue("pixelsPerSecond"), 51);
}

TEST_F(WaveformAreaTest, AnotherSongStartsAfreshAndLateTilesAreDropped)
{
    open(60, 150);
    view->repaint();
    EXPECT_FALSE(view->cachedTileIndexes().empty());
    controller.setSelection({5, 5});
    view->setPlayTime(3);
    // The full renders of the first song are still on their way; hidden, the
    // view draws no tile of the new song, so any tile would be a late one.
    controller.view()->hide();
    controller.setAsset(assetAt(writeSong(folder, "other.wav", 30)));
    drainEvents(300);
    EXPECT_TRUE(view->cachedTileIndexes().empty());
    expectSelection(controller.selection(), 0, 0);
    EXPECT_EQ(view->playTime(), kZNTInfinity);
    // Loading the same song again changes nothing.
    controller.setSelection({2, 3});
    view->setAsset(view->asset(), view->waveformProvider());
    expectSelection(view->selection(), 2, 3);
}

// A song given before the area is laid out, as at launch, and wider than
// the area brings up the scroller as the area gets its size: the waveform
// is painted at its final height from the first paint on, not first at the
// height without the scroller until the re-render delay has passed.
TEST(WaveformAreaLayout, ASongWiderThanTheAreaHasItsFinalHeightBeforeItIsPainted)
{
    QTemporaryDir folder;
    WaveformViewController controller;
    controller.setPointsPerSecond(25);
    controller.setAsset(assetAt(writeSong(folder, "wide.wav", 120)));
    controller.view()->resize(800, 240);
    controller.view()->show();  // lays the area out; no event handled since
    auto* area = qobject_cast<NotifierScrollView*>(controller.waveformView()->parentWidget()->parentWidget());
    ASSERT_TRUE(area);
    EXPECT_TRUE(area->horizontalScrollBar()->isVisible());
    EXPECT_EQ(controller.waveformView()->height(), area->viewport()->height());
    drainEvents(20);
    EXPECT_EQ(controller.waveformView()->height(), area->viewport()->height());
}

// A four-minute song shows its first screen while the rest is still read:
// the screen's chunks come first, and the picture is the one the whole
// song gives there.
TEST_F(WaveformAreaTest, TheFirstScreenOfASongIsDrawnBeforeItsReadingEnds)
{
    const auto gate = std::make_shared<Gate>();
    const ReleasedAtEnd releaseAtEnd(*gate);  // before the controller goes
    controller.setPointsPerSecond(25);
    controller.setAsset(std::make_shared<HeldAsset>(assetAt(writeSong(folder, "four.wav", 240)), 100.0, gate));
    const auto visible = [&] { return view->visibleBounds(); };
    const double screenEnd = view->timeFromLocation(visible().right());
    ASSERT_LT(screenEnd, 100.0) << "the screen shows only audio that is not held back";
    ASSERT_TRUE(waitUntil([&] { return ZNTTimeRangeEnd(controller.provider()->timeRangeOfSamples()) >= screenEnd; }, 20000));
    const QRect screen = flippedRect(visible(), view->height()).toAlignedRect();
    const QImage first = settledPicture(screen);
    EXPECT_FALSE(controller.provider()->finished()) << "the first screen waits for no more than its own audio";

    gate->release();
    ASSERT_TRUE(waitUntil([&] { return controller.provider()->finished(); }, 20000));
    EXPECT_EQ(first, settledPicture(screen)) << "the first screen is already the song's own picture";
}

TEST(WaveformViewControllerLifetime, TheAreaBelongsToTheWidgetItIsPlacedIn)
{
    auto window = std::make_unique<QWidget>();
    {
        WaveformViewController controller;
        controller.view()->setParent(window.get());
    }
    EXPECT_EQ(window->findChildren<WaveformView*>().size(), 1u) << "the laid-out area outlives its controller";

    auto controller = std::make_unique<WaveformViewController>();
    controller->view()->setParent(window.get());
    window.reset();  // the window closes first
    controller->updateNavigator();
    controller.reset();
}

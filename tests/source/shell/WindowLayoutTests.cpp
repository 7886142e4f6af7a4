// The main window as a user resizes it, with the application's editor: the
// waveform fills its area after every change of the window's size, the first
// song is drawn at full height, the smallest window shows every control of
// the editor whole, the footer's grip drags the divider, and the menu item
// that moves the selection to the play head scrolls the waveform to it.
#include "tests/source/shell/ShellFixtures.h"

#include "source/browser/CoverListController.h"
#include "source/browser/WelcomeViewController.h"
#include "source/editor/EditorViewController.h"
#include "source/editor/NotifierScrollView.h"
#include "source/editor/WaveformView.h"
#include "source/editor/WaveformViewController.h"
#include "source/shell/ApplicationEditor.h"
#include "source/shell/TolvanMainWindow.h"
#include "tests/source/editor/EditorFixtures.h"
#include "tests/support/EventLoop.h"

#include "ZNTUtilities/Geometry.h"
#include "ZNTUtilities/widgets/DarkControls.h"
#include "ZNTUtilities/widgets/PanelViews.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSlider>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace shelltest;
using namespace tolvan;

namespace {

bool isSelectionBlue(const QColor& c) { return c.blue() > 150 && c.blue() > c.red() + 60; }

// The first and last rows (window points) of a column whose pixels are blue, between top and bottom.
std::pair<int, int> blueRowsOfColumn(const QImage& picture, int x, int top, int bottom)
{
    const qreal ratio = picture.devicePixelRatio();
    int first = -1, last = -1;
    for (int y = top; y <= bottom; ++y) {
        if (isSelectionBlue(picture.pixelColor(int(x * ratio), int(y * ratio)))) {
            if (first < 0)
                first = y;
            last = y;
        }
    }
    return {first, last};
}

// The controls a user reaches below `root` that show on its window.
std::vector<QWidget*> shownControlsBelow(QWidget* root)
{
    std::vector<QWidget*> controls;
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget)
            || qobject_cast<QLineEdit*>(widget) || qobject_cast<QSlider*>(widget) || qobject_cast<DarkSegmentedControl*>(widget);
        if (control && widget->isVisibleTo(widget->window()))
            controls.push_back(widget);
    }
    return controls;
}

QString describeControl(const QWidget* control)
{
    QString text = control->metaObject()->className();
    if (auto* label = qobject_cast<const QLabel*>(control))
        text += " \"" + label->text() + "\"";
    if (auto* button = qobject_cast<const QAbstractButton*>(control))
        text += " \"" + button->text() + "\"";
    return text + " " + control->accessibleName();
}

// The control lies wholly inside each of its ancestors up to the window, and
// a control that shows text is at least as wide as the text asks.
::testing::AssertionResult shownWhole(QWidget* control)
{
    QRect rect = control->rect();
    for (QWidget* widget = control; !widget->isWindow(); widget = widget->parentWidget()) {
        rect.translate(widget->pos());
        if (!widget->parentWidget()->rect().contains(rect))
            return ::testing::AssertionFailure() << describeControl(control).toStdString() << " is cut by its "
                                                 << widget->parentWidget()->metaObject()->className();
    }
    const bool showsText = qobject_cast<QLabel*>(control) || qobject_cast<QComboBox*>(control) || qobject_cast<DarkSegmentedControl*>(control)
        || (qobject_cast<QAbstractButton*>(control) && !qobject_cast<ZNTButton*>(control));
    if (showsText && control->width() < control->sizeHint().width())
        return ::testing::AssertionFailure() << describeControl(control).toStdString() << " is " << control->width() << " wide of "
                                             << control->sizeHint().width();
    return ::testing::AssertionSuccess();
}

class WindowLayoutTest : public ::testing::Test {
public:
    EditorViewController& editor() { return dynamic_cast<ApplicationEditor&>(*controller.editorViewController()).editor(); }
    TolvanMainWindow& window() { return *controller.mainWindow(); }

    // A song whose loudness swells and fades, so its waveform has a shape.
    QString writeSong(double seconds) { return editortest::writeSong(shell.home, "swell.wav", seconds); }

    void openSong(double seconds)
    {
        controller.openSource(ShellHarness::sourceFor(writeSong(seconds)));
        ASSERT_TRUE(test::waitUntil([&] { return editor().asset() && !editor().loadingAsset() && editor().selectionDuration() > 0; }, 20000));
        test::drainEvents(50);
    }

    // A picture of the window with where the waveform area and the selection
    // lay on it when it was taken, in window points.
    struct Picture {
        QImage image;
        QRect area;
        QRectF selection;
    };
    Picture grab()
    {
        QWidget* viewport = editor().waveformViewController()->scrollView()->viewport();
        WaveformView* view = editor().waveformViewController()->waveformView();
        return {window().grab().toImage(), QRect(viewport->mapTo(&window(), QPoint(0, 0)), viewport->size()),
                flippedRect(view->selectionBounds(), view->height()).translated(view->mapTo(&window(), QPoint(0, 0)))};
    }

    // The waveform fills its area in the picture: the selection's blue runs
    // from the area's top to its bottom, and the start handle ends 12 points
    // above the area's bottom.
    static ::testing::AssertionResult waveformFillsItsArea(const Picture& shot)
    {
        const QRect& area = shot.area;
        const int inside = int(shot.selection.left() + shot.selection.width() * 0.25);
        const auto [top, bottom] = blueRowsOfColumn(shot.image, inside, area.top(), area.bottom());
        if (top < 0 || top > area.top() + 3 || bottom < area.bottom() - 3)
            return ::testing::AssertionFailure() << "the selection spans rows " << top << " to " << bottom << " of an area from "
                                                 << area.top() << " to " << area.bottom();
        const int handle = int(shot.selection.left()) - 8;
        const int handleBottom = blueRowsOfColumn(shot.image, handle, area.center().y(), area.bottom()).second;
        if (handleBottom < area.bottom() - 19 || handleBottom > area.bottom() - 12)
            return ::testing::AssertionFailure() << "the start handle ends at row " << handleBottom << " above an area ending at "
                                                 << area.bottom();
        return ::testing::AssertionSuccess();
    }

    void savePicture(const QString& name)
    {
        for (const qreal ratio : {1.0, 2.0}) {
            QImage picture(window().size() * ratio, QImage::Format_ARGB32_Premultiplied);
            picture.setDevicePixelRatio(ratio);
            picture.fill(Qt::black);
            window().render(&picture);
            picture.save(QStringLiteral(SHELL_PICTURE_DIR "/%1@%2x.png").arg(name).arg(int(ratio)));
        }
    }

    ShellHarness shell{true};
    TolvanController& controller = *shell.controller;
};

}  // namespace

TEST_F(WindowLayoutTest, TheWaveformFillsItsAreaAfterEveryResizeAndInFullScreen)
{
    window().resize(1100, 700);
    window().show();
    openSong(240);
    editor().setPointsPerSecond(25);
    test::drainEvents(50);
    ASSERT_TRUE(waveformFillsItsArea(grab()));

    for (const QSize size : {QSize(1400, 950), QSize(1, 1), QSize(1200, 640), QSize(1000, 900)}) {
        window().resize(size);
        test::drainEvents(50);
        EXPECT_TRUE(waveformFillsItsArea(grab())) << "at " << window().width() << "x" << window().height();
    }
    savePicture("window-resized");

    controller.setFullScreenAnimationDuration(0.0);
    controller.toggleFullScreen();
    ASSERT_TRUE(test::waitUntil([&] { return controller.isFullScreen(); }));
    test::drainEvents(50);
    EXPECT_TRUE(waveformFillsItsArea(grab())) << "in full screen";
    controller.toggleFullScreen();
    ASSERT_TRUE(test::waitUntil([&] { return !controller.isFullScreen(); }));
    test::drainEvents(50);
    EXPECT_TRUE(waveformFillsItsArea(grab())) << "after full screen";
}

TEST_F(WindowLayoutTest, TheFirstPictureOfTheFirstSongIsAtFullHeight)
{
    window().resize(1100, 700);
    window().show();
    test::drainEvents(50);

    // The window as it stands right after the waveform is first painted.
    struct FirstPaint : QObject {
        WindowLayoutTest* test = nullptr;
        std::optional<Picture> shot;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint && !shot)
                QTimer::singleShot(0, this, [this] {
                    if (!shot)
                        shot = test->grab();
                });
            return false;
        }
    } firstPaint;
    firstPaint.test = this;
    editor().waveformViewController()->waveformView()->installEventFilter(&firstPaint);

    // Twenty minutes, still being read when the waveform is first painted.
    controller.openSource(ShellHarness::sourceFor(writeSong(1200)));
    ASSERT_TRUE(test::waitUntil([&] { return firstPaint.shot.has_value(); }, 20000));
    EXPECT_TRUE(waveformFillsItsArea(*firstPaint.shot));
    firstPaint.shot->image.save(QStringLiteral(SHELL_PICTURE_DIR "/first-song.png"));
}

TEST_F(WindowLayoutTest, TheSmallestWindowShowsEveryControlWhole)
{
    window().show();
    openSong(60);
    ASSERT_FALSE(editor().advancedVisible());
    for (const bool advanced : {true, false}) {
        controller.advancedButton()->click();
        ASSERT_EQ(editor().advancedVisible(), advanced);
        window().resize(1, 1);  // as small as the window lets itself be
        test::drainEvents(50);
        EXPECT_EQ(window().size(), window().minimumSize());

        std::vector<QWidget*> controls = shownControlsBelow(editor().view());
        // kind, three labels and pop-ups, Close, Play, Preview, Create; the
        // advanced panel's two labels and fields, check box and slider
        EXPECT_EQ(controls.size(), advanced ? 17u : 11u);
        for (QWidget* control : shownControlsBelow(controller.scaleSlider()->parentWidget()))
            controls.push_back(control);
        for (QWidget* control : controls)
            EXPECT_TRUE(shownWhole(control)) << (advanced ? "advanced shown" : "advanced hidden");
        savePicture(advanced ? "smallest-window-advanced" : "smallest-window");
    }
}

TEST_F(WindowLayoutTest, TheSmallestWindowShowsTheWelcomeViewWhole)
{
    WelcomeViewController* welcome = controller.welcomeViewController();
    for (const char* title : {"First", "Second", "Third"})
        shell.library.recent.push_back(browsertest::track({.title = title, .artist = "Someone"}));
    welcome->coverListController()->updateRecentItems();
    ASSERT_TRUE(welcome->showsRecentSongs());
    window().show();
    window().resize(1, 1);
    test::drainEvents(50);
    ASSERT_EQ(controller.contentView(), welcome);
    const QSize smallest = WelcomeViewController::smallestSize();
    EXPECT_TRUE(welcome->width() >= smallest.width() && welcome->height() >= smallest.height())
        << "the welcome view is " << welcome->width() << "x" << welcome->height() << " of at least " << smallest.width() << "x"
        << smallest.height();
    for (QWidget* control : shownControlsBelow(welcome))
        EXPECT_TRUE(shownWhole(control));
    savePicture("smallest-window-welcome");
}

TEST_F(WindowLayoutTest, MovingTheSelectionToThePlayHeadScrollsTheWaveformToIt)
{
    window().show();
    controller.buildApplicationMenus();
    openSong(240);
    editor().setPointsPerSecond(25);  // 6,000 points of waveform
    WaveformView* view = editor().waveformViewController()->waveformView();

    // The user scrolls to 3:05, clicks there to put the play head, and scrolls back to the start.
    view->scrollRectToVisible(QRectF(view->locationFromTime(180), 0, 250, 1));
    test::drainEvents(20);
    const QPoint click = view->mapTo(&window(), QPointF(view->locationFromTime(185), view->height() / 2.0).toPoint());
    QTest::mouseClick(window().windowHandle(), Qt::LeftButton, {}, click);
    ASSERT_NEAR(editor().waveformViewController()->playTime(), 185, 0.1);
    editor().waveformViewController()->scrollView()->setHPosition(0);
    ASSERT_FALSE(view->visibleBounds().intersects(QRectF(view->locationFromTime(185), 0, 250, 1)));

    QAction* item = nullptr;
    for (QAction* top : window().menuBar()->actions())
        for (QAction* action : top->menu()->actions())
            if (menuActionOf(action) == MenuAction::MoveSelectionToPlayLocation)
                item = action;
    ASSERT_TRUE(item);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
    item->trigger();
    EXPECT_NEAR(editor().selectionStartTime(), 185, 0.1);
    EXPECT_TRUE(view->visibleBounds().contains(view->selectionBounds()))
        << "the view shows " << view->visibleBounds().left() << " to " << view->visibleBounds().right() << ", the selection starts at "
        << view->selectionBounds().left();
}

TEST_F(WindowLayoutTest, TheFootersGripDragsTheDivider)
{
    window().resize(1100, 700);
    window().show();
    test::drainEvents(50);
    QSplitter* split = controller.splitView();
    const int before = split->sizes().at(0);
    ASSERT_EQ(before, controller.browserContainer()->width());

    // From the grip's middle, 6 points in from the browser pane's end and 15
    // up from the bottom, the mouse drags by dx in two moves.
    QWindow* handle = window().windowHandle();
    const auto drag = [&](int dx) {
        const QPoint grip = split->mapTo(&window(), QPoint(split->sizes().at(0) - 6, split->height() - 15));
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        QTest::mouseMove(handle, grip + QPoint(dx / 2, 0));
        QTest::mouseMove(handle, grip + QPoint(dx, 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(dx, 0));
        test::drainEvents(20);
    };
    drag(30);
    EXPECT_EQ(split->sizes().at(0), before + 30);
    EXPECT_EQ(controller.browserContainer()->width(), before + 30);
    drag(-30);
    EXPECT_EQ(split->sizes().at(0), before);
    // The pane stays between 200 and 300 points wide.
    drag(200);
    EXPECT_EQ(split->sizes().at(0), 300);
    drag(-250);
    EXPECT_EQ(split->sizes().at(0), 200);
}

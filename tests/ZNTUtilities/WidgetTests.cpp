#include "RenderSupport.h"

#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/UIColorManager.h"
#include "ZNTUtilities/Utilities.h"
#include "ZNTUtilities/widgets/DarkControls.h"
#include "ZNTUtilities/widgets/PanelViews.h"
#include "ZNTUtilities/widgets/ViewAdditions.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QEnterEvent>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

using namespace znttest;

namespace {

QImage solid(QColor color, QSize size = {10, 10})
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

void enter(QWidget& w)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(&w, &event);
}

void leave(QWidget& w)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&w, &event);
}

}  // namespace

TEST(ZNTButtonRender, DrawsThePictureOfItsStateWhereverItsFrameLies)
{
    ZNTButton button;
    button.setBackgroundImage(ZNTImage(solid(Qt::red)), 0);
    button.setBackgroundImage(ZNTImage(solid(Qt::blue)), 1);
    button.setBackgroundImage(ZNTImage(solid(Qt::green)), 2);
    EXPECT_TRUE(near(at(render(button, {40, 20}), 20, 10), Qt::red));
    button.setDown(true);
    EXPECT_TRUE(near(at(render(button, {40, 20}), 20, 10), Qt::blue));
    button.setDown(false);
    button.setEnabled(false);
    EXPECT_TRUE(near(at(render(button, {40, 20}), 20, 10), Qt::green));

    // A cell drawn into a frame away from the origin fills that frame only.
    ZNTButtonCell cell;
    cell.setBackgroundImage(ZNTImage(solid(Qt::red)), 0);
    const QImage offset = paint({60, 60}, [&](QPainter& p) { cell.draw(p, {10, 30, 40, 20}, {}); });
    EXPECT_TRUE(near(at(offset, 30, 40), Qt::red));
    EXPECT_TRUE(near(at(offset, 30, 20), darkBackground));
}

TEST(ZNTButtonHover, FollowsTheHoverPictureAndClearsOnPress)
{
    ZNTButton button;
    button.setBackgroundImage(ZNTImage(solid(Qt::red)), 0);
    EXPECT_FALSE(button.wantsHover());
    QSignalSpy changes(&button, &ZNTButton::hoveringChanged);
    enter(button);
    EXPECT_FALSE(button.hovering());  // no hover picture, no tracking

    button.setBackgroundImage(ZNTImage(solid(Qt::yellow)), 8);
    button.setBackgroundImage(ZNTImage(solid(Qt::yellow)), 8);
    EXPECT_TRUE(button.wantsHover());
    enter(button);
    EXPECT_TRUE(button.hovering());
    EXPECT_TRUE(near(at(render(button, {40, 20}), 20, 10), Qt::yellow));
    button.setEnabled(false);
    EXPECT_TRUE(near(at(render(button, {40, 20}), 20, 10), Qt::red));  // disabled wins over hover
    button.setEnabled(true);

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(button.hovering());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(button.hovering());
    leave(button);
    enter(button);
    EXPECT_TRUE(button.hovering());
    EXPECT_EQ(changes.count(), 3);

    button.setBackgroundImage(ZNTImage(), 8);
    EXPECT_FALSE(button.wantsHover());
    EXPECT_FALSE(button.hovering());
}

TEST(MomentaryButton, ActsOnPressCrossingsAndRelease)
{
    MomentaryButton button;
    button.resize(30, 30);
    std::vector<int> states;
    QObject::connect(&button, &MomentaryButton::action, [&](int s) { states.push_back(s); });
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(states, (std::vector<int>{1, 0}));

    states.clear();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent out(QEvent::MouseMove, QPointF(50, 10), QPointF(50, 10), Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&button, &out);
    QMouseEvent in(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&button, &in);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(states, (std::vector<int>{1, 0, 1, 0}));
}

TEST(DarkControlsRender, PushButtonGlossRimAndPress)
{
    DarkPushButton button("OK");
    const QImage normal = render(button, {100, 30});
    const QColor top = at(normal, 10, 4), bottom = at(normal, 10, 23);
    EXPECT_GT(top.red(), bottom.red() - 1);  // lightened upper half
    EXPECT_LT(at(normal, 10, 16).red(), 60);  // dark base just below the middle
    button.setDown(true);
    const QImage pressed = render(button, {100, 30});
    EXPECT_GT(at(pressed, 10, 16).red(), at(normal, 10, 16).red() + 40);  // white 0.5 while held
    // The title is white and centred.
    int whitest = 0;
    for (int x = 40; x < 60; ++x)
        whitest = std::max(whitest, at(normal, x, 14).red());
    EXPECT_GT(whitest, 200);
}

TEST(DarkControlsRender, CheckboxMarkOnlyWhenOn)
{
    DarkCheckbox box("Fade");
    const QRectF bezel = DarkCheckboxButtonCell::bezelRect({0, 0, 100, 20});
    const QPointF c = bezel.center();
    const QImage off = render(box, {100, 20});
    box.setChecked(true);
    const QImage on = render(box, {100, 20});
    EXPECT_LT(at(off, c.x() + 0.5, c.y() + 1.5).red(), 90);
    EXPECT_GT(at(on, c.x() + 0.5, c.y() + 1.5).red(), 200);
}

TEST(DarkControlsRender, SegmentedSelectionIsLighter)
{
    DarkSegmentedControl control;
    control.addSegment("Ring", ZNTImage(), 40);
    control.addSegment("Alert", ZNTImage(), 40);
    const QImage first = render(control, {90, 26});
    // Just above the middle: the selected segment is the lighter of the two.
    EXPECT_GT(at(first, 6, 10).red(), at(first, 80, 10).red() + 10);
    QSignalSpy chosen(&control, &DarkSegmentedControl::selectedSegmentChanged);
    QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(60, 12));
    EXPECT_EQ(control.selectedSegment(), 1);
    EXPECT_EQ(chosen.count(), 1);
    QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(45, 12));  // the gap between them
    EXPECT_EQ(control.selectedSegment(), 1);
}

TEST(PanelViewsRender, BackgroundFillsAndBordersOnlyWithAColour)
{
    ZNTBackgroundView view;
    EXPECT_TRUE(view.isOpaque());
    QImage plain = render(view, {40, 20});
    EXPECT_TRUE(near(at(plain, 0, 0), QColor::fromRgbF(2 / 3.0, 2 / 3.0, 2 / 3.0), 2));
    view.setBorderColor(Qt::red);
    view.setBorderEdges(7);
    const QImage bordered = render(view, {40, 20});
    EXPECT_TRUE(near(at(bordered, 20, 0), Qt::red, 2));   // top
    EXPECT_TRUE(near(at(bordered, 20, 19), Qt::red, 2));  // bottom
    EXPECT_TRUE(near(at(bordered, 0, 10), Qt::red, 2));   // left
    EXPECT_FALSE(near(at(bordered, 39, 10), Qt::red, 60));  // no right edge
    view.setBackgroundColor(QColor::fromRgbF(1, 1, 1, 0.99f));
    EXPECT_FALSE(view.isOpaque());
}

TEST(PanelViewsRender, FooterGripIsCrispAndSeparatorFades)
{
    FooterView footer;
    footer.setResizeStyle(2);
    const QImage grip = render(footer, {200, 22});
    // Top line white 0.9; grooves from y 6 to 16 on screen, one pixel each.
    EXPECT_TRUE(near(at(grip, 100, 0), QColor::fromRgbF(0.9f, 0.9f, 0.9f), 2));
    EXPECT_LT(at(grip, 189, 10).red(), at(grip, 188, 10).red());   // dark groove
    EXPECT_GT(at(grip, 190, 10).red(), at(grip, 188, 10).red());   // light groove beside it
    EXPECT_EQ(at(grip, 188, 10), at(grip, 187, 10));

    GradientSeparator separator;
    const QImage line = render(separator, {200, 1});
    EXPECT_TRUE(near(at(line, 100, 0), QColor::fromRgbF(0.5f, 0.5f, 0.5f), 3));
    EXPECT_TRUE(near(at(line, 0, 0), darkBackground, 8));
}

// A knob picture whose centred place falls on half points is snapped to
// whole ones: half a point up on screen, half a point right.
TEST(SliderRender, TheKnobPictureSnapsUpAndRightFromHalfPoints)
{
    ZNTSlider slider;
    slider.resize(200, 22);
    slider.setRange(0, 100);
    slider.setValue(40);
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = Qt::Horizontal;
    option.minimum = 0;
    option.maximum = 100;
    option.sliderPosition = option.sliderValue = 40;
    const QRect knob = slider.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider);
    ASSERT_GE(knob.height(), 6);
    // One point narrower and shorter by an odd count: centred, it starts on a half point each way.
    const QSize picture(knob.width() - 1, knob.height() - 5);
    slider.setKnobImage(ZNTImage(solid(Qt::red, picture)));
    const QImage drawn = render(slider, slider.size());

    int top = -1, left = -1;
    for (int y = drawn.height() - 1; y >= 0; --y)
        top = near(at(drawn, knob.center().x(), y), Qt::red) ? y : top;
    for (int x = drawn.width() - 1; x >= 0; --x)
        left = near(at(drawn, x, top), Qt::red) ? x : left;
    EXPECT_EQ(top, knob.y() + 2) << "centred at " << knob.y() + 2.5 << ", drawn on the upper pixel";
    EXPECT_EQ(left, knob.x() + 1) << "centred at " << knob.x() + 0.5 << ", drawn on the pixel to its right";
    EXPECT_TRUE(near(at(drawn, knob.center().x(), top + picture.height() - 1), Qt::red));
    EXPECT_FALSE(near(at(drawn, knob.center().x(), top + picture.height()), Qt::red));
}

TEST(PanelViewsRender, SplitViewDividerCanTakeNoRoom)
{
    CustomSplitView split;
    auto* left = new QWidget, *right = new QWidget;
    split.addWidget(left);
    split.addWidget(right);
    split.resize(200, 50);
    split.setHideDivider(true);
    EXPECT_EQ(split.dividerThickness(), 0);
    split.setSizes({100, 100});
    EXPECT_EQ(right->geometry().left(), left->geometry().right() + 1);
}

TEST(Spinner, TurnsOnATimerAndKeepsItsPhase)
{
    LargeProgressIndicator spinner;
    EXPECT_EQ(spinner.interval(), 111);
    spinner.stopAnimation();  // harmless without a start
    spinner.startAnimation();
    spinner.startAnimation();
    EXPECT_TRUE(spinner.isAnimating());
    for (int i = 0; i < 13; ++i)
        spinner.timerFired();
    EXPECT_EQ(spinner.phase(), 1);
    spinner.stopAnimation();
    EXPECT_FALSE(spinner.isAnimating());
    EXPECT_EQ(spinner.phase(), 1);
    // The head spoke (pointing up) is white.
    LargeProgressIndicator fresh;
    const QImage drawn = render(fresh, {100, 60});
    EXPECT_GT(at(drawn, 30, 9).red(), 230);
}

TEST(ScrollerWidget, HitAreasAreTheDrawnKnob)
{
    DarkScroller scroller(Qt::Vertical);
    scroller.resize(15, 200);
    scroller.setRange(0, 100);
    scroller.setPageStep(100);
    const QRectF knob = scroller.knobRect();
    EXPECT_EQ(knob.height(), 100);
    const QImage drawn = render(scroller, {15, 200});
    EXPECT_GT(at(drawn, 7, knob.top() + 10).red(), at(drawn, 7, knob.bottom() + 20).red());
    scroller.setRange(0, 0);
    EXPECT_TRUE(scroller.knobRect().isEmpty());  // content fits: no knob
}

TEST(AnimatedDrawing, CountsPerWindowAndNests)
{
    QWidget window, other;
    auto* view = new QWidget(&window);
    EXPECT_FALSE(tolvan_wantsAnimatedDrawing(view));
    tolvan_startAnimatedDrawing(view);
    tolvan_startAnimatedDrawing(&window);
    EXPECT_TRUE(tolvan_endAnimatedDrawing(view));
    EXPECT_TRUE(tolvan_wantsAnimatedDrawing(view));
    EXPECT_FALSE(tolvan_wantsAnimatedDrawing(&other));
    EXPECT_TRUE(tolvan_endAnimatedDrawing(view));
    EXPECT_FALSE(tolvan_wantsAnimatedDrawing(view));
    EXPECT_FALSE(tolvan_endAnimatedDrawing(view));
    EXPECT_FALSE(tolvan_wantsAnimatedDrawing(view));
    EXPECT_FALSE(tolvan_wantsAnimatedDrawing(nullptr));
}

namespace {

class Opener : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    QObject* opened = nullptr;
    Q_INVOKABLE void openSource(QObject* source) { opened = source; }
};

class Controller : public QObject {
    Q_OBJECT
public:
    QObject* opened = nullptr;
    Q_INVOKABLE void openSource(QObject* source) { opened = source; }
};

class Notes : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString text MEMBER text NOTIFY textChanged)
public:
    QString text;
signals:
    void textChanged();
};

}  // namespace

TEST(ActionRouting, TheViewControllerAnswersFirst)
{
    Opener window;
    Controller controller;
    auto* controllerView = new ViewControllerView(&controller, &window);
    auto* list = new QWidget(controllerView);
    QObject source;
    EXPECT_TRUE(tryToPerform(list, "openSource", &source));
    EXPECT_EQ(controller.opened, &source);
    EXPECT_EQ(window.opened, nullptr);

    auto* plain = new QWidget(&window);
    EXPECT_TRUE(tryToPerform(plain, "openSource", &source));
    EXPECT_EQ(window.opened, &source);
    EXPECT_FALSE(tryToPerform(plain, "noSuchAction", &source));
}

TEST(ZNTObserver, LivesWithTheObjectAndSeveralCanWatchIt)
{
    auto* notes = new Notes;
    QStringList seen, seenToo;
    EXPECT_EQ(ZNTObserver::observeObject(notes, "text", 0, {}), nullptr);
    EXPECT_EQ(ZNTObserver::observeObject(notes, "nothing", 0, [](auto...) {}), nullptr);
    ZNTObserver* first = ZNTObserver::observeObject(notes, "text", ZNTObserver::none,
                                                    [&](QObject*, const QString&, const QVariant& v, ZNTObserver*) { seen << v.toString(); });
    ZNTObserver::observeObject(notes, "text", ZNTObserver::initial,
                               [&](QObject*, const QString& key, const QVariant& v, ZNTObserver*) { seenToo << key + "=" + v.toString(); });
    notes->setProperty("text", "a");
    first->removeObserver();
    notes->setProperty("text", "b");
    EXPECT_EQ(seen, QStringList{"a"});
    EXPECT_EQ(seenToo, (QStringList{"text=", "text=a", "text=b"}));
    delete notes;  // takes its observers with it
}

TEST(ColorBinding, AViewFollowsTheSharedSelectionColour)
{
    ZNTBackgroundView view;
    UIColorManager* colors = UIColorManager::sharedManager();
    const QColor original = colors->selectionColor();
    ASSERT_TRUE(bindProperty(&view, "backgroundColor", colors, "selectionColor"));
    colors->setSelectionColor(Qt::magenta);
    EXPECT_TRUE(near(at(render(view, {10, 10}), 5, 5), Qt::magenta, 2));
    colors->setSelectionColor(original);
}

#include "WidgetTests.moc"

// The kit's controls worked without a mouse: each draws the focus ring while
// it has the focus (and only then), Tab reaches them and a click does not,
// Space and Return press a button, the segmented control is a radio group
// its arrows walk, and the pop-up button is named by its label. The rings of
// every kind of control go into focus-rings@1x.png and @2x.png.
#include "RenderSupport.h"

#include "ZNTUtilities/FocusRing.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/SliderCell.h"
#include "ZNTUtilities/widgets/ControlAccessibility.h"
#include "ZNTUtilities/widgets/DarkControls.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace znttest;

namespace {

// Pixels of the ring's colour in the image.
int ringPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (near(image.pixelColor(x, y), FocusRing::color(), 24))
                ++count;
    return count;
}

struct FocusSample {
    QString name;
    QSize size;
    std::function<void(QPainter&, const QRectF&, const CellState&)> draw;
};

QList<FocusSample> focusSamples()
{
    auto pill = std::make_shared<ZNTButtonCell>();
    pill->setBackgroundImage(ImageStore::named("orange_button").stretchableImage(18, 0), 0);
    pill->title = {"Create", interfaceFont(13, true), Qt::white, {}};
    pill->focusRingRadius = 6;
    auto round = std::make_shared<ZNTButtonCell>();
    round->setBackgroundImage(ImageStore::named("global_play"), 0);
    round->focusRingRadius = 16;
    auto push = std::make_shared<DarkPushButtonCell>();
    push->title = "Done";
    auto check = std::make_shared<DarkCheckboxButtonCell>();
    check->title = "Manual Volume";
    auto popup = std::make_shared<DarkPopupButtonCell>();
    popup->title = "1 s";
    auto segments = std::make_shared<DarkSegmentedCell>();
    segments->segments = {{40, {}, ImageStore::named("kind_ringtone"), true}, {40, {}, ImageStore::named("kind_alerttone"), false}};
    auto roundDark = std::make_shared<DarkRoundButtonCell>();
    roundDark->setImage(ImageStore::named("global_play"));
    auto slider = std::make_shared<ZNTSliderCell>();
    slider->knobImage = ImageStore::named("slider_knob");
    slider->trackImage = ImageStore::named("slider_track").stretchableImage(3, 0);
    return {
        {"image button", {104, 28}, [pill](QPainter& p, const QRectF& f, const CellState& s) { pill->draw(p, f, s); }},
        {"round picture", {32, 32}, [round](QPainter& p, const QRectF& f, const CellState& s) { round->draw(p, f, s); }},
        {"push button", {90, 28}, [push](QPainter& p, const QRectF& f, const CellState& s) { push->draw(p, f, s); }},
        {"check box", {130, 20}, [check](QPainter& p, const QRectF& f, const CellState& s) { check->draw(p, f, s); }},
        {"pop-up", {70, 26}, [popup](QPainter& p, const QRectF& f, const CellState& s) { popup->draw(p, f, s); }},
        {"segments", {92, 26}, [segments](QPainter& p, const QRectF& f, const CellState& s) { segments->draw(p, f, s); }},
        {"round button", {32, 32}, [roundDark](QPainter& p, const QRectF& f, const CellState& s) { roundDark->draw(p, f, s); }},
        {"slider", {140, 22},
         [slider](QPainter& p, const QRectF& f, const CellState& s) {
             slider->drawBar(p, f, s.enabled);
             slider->drawKnob(p, QRectF(f.x() + 50, f.y(), 20, f.height()), s.enabled, s.focused);
         }},
    };
}

QImage sampleImage(const FocusSample& sample, bool focused, qreal dpr)
{
    CellState state;
    state.focused = focused;
    return paint(sample.size, [&](QPainter& p) { sample.draw(p, QRectF(QPointF(), sample.size), state); }, dpr);
}

// A shown, active window holding the controls.
struct ControlWindow {
    QWidget window;
    ZNTButton* button = new ZNTButton;
    DarkSegmentedControl* segments = new DarkSegmentedControl;
    DarkPopupButton* popup = new DarkPopupButton;

    ControlWindow()
    {
        auto* row = new QHBoxLayout(&window);
        button->setText("Create");
        button->setBackgroundImage(ImageStore::named("orange_button").stretchableImage(18, 0), 0);
        button->setFixedSize(104, 28);
        segments->addSegment("ring", {}, 40);
        segments->addSegment("alert", {}, 40);
        segments->setAccessibleName("tone kind");
        segments->setSegmentAccessibleName(0, "ringtone");
        segments->setSegmentToolTip(1, "Chooses an alert tone.");
        popup->addItems({"None", "1 s", "2 s"});
        popup->setAccessibleName("Fade In:");
        row->addWidget(button);
        row->addWidget(segments);
        row->addWidget(popup);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
};

}  // namespace

TEST(FocusRing, EveryKindOfControlDrawsItWhileFocusedAndOnlyThen)
{
    for (const qreal dpr : {1.0, 2.0}) {
        const QList<FocusSample> samples = focusSamples();
        QImage sheet = canvas(QSize(400, 16 + 40 * int(samples.size())), dpr);
        QPainter painter(&sheet);
        painter.setFont(interfaceFont(10));
        for (int i = 0; i < samples.size(); ++i) {
            const FocusSample& sample = samples[i];
            const QImage plain = sampleImage(sample, false, dpr), focused = sampleImage(sample, true, dpr);
            EXPECT_EQ(ringPixels(plain), 0) << sample.name.toStdString() << " at " << dpr << "x";
            // A band of the ring's width at least round a knob.
            EXPECT_GT(ringPixels(focused), 30 * dpr * dpr) << sample.name.toStdString() << " at " << dpr << "x";
            const int y = 12 + 40 * i;
            painter.setPen(Qt::white);
            painter.drawText(QPointF(8, y + 18), sample.name);
            painter.drawImage(QPointF(100, y), plain);
            painter.drawImage(QPointF(100 + 8 + sample.size.width(), y), focused);
        }
        painter.end();
        EXPECT_TRUE(sheet.save(QString(KIT_SHEET_DIR "/focus-rings@%1x.png").arg(int(dpr))));
    }
}

TEST(FocusRing, TabReachesTheControlsAndTheFocusedOneShowsIt)
{
    ControlWindow controls;
    controls.popup->setFocus();
    QTest::mouseClick(controls.button, Qt::LeftButton);
    EXPECT_TRUE(controls.popup->hasFocus()) << "a click leaves the focus where it was";

    controls.window.setFocus();
    QTest::keyClick(&controls.window, Qt::Key_Tab);
    ASSERT_TRUE(controls.button->hasFocus());
    EXPECT_GT(ringPixels(controls.button->grab().toImage()), 100);
    QTest::keyClick(controls.button, Qt::Key_Tab);
    ASSERT_TRUE(controls.segments->hasFocus());
    EXPECT_EQ(ringPixels(controls.button->grab().toImage()), 0) << "the ring leaves with the focus";
    EXPECT_GT(ringPixels(controls.segments->grab().toImage()), 100);
    QTest::keyClick(controls.segments, Qt::Key_Tab);
    ASSERT_TRUE(controls.popup->hasFocus());
    EXPECT_GT(ringPixels(controls.popup->grab().toImage()), 100);
}

TEST(FocusRing, AScrollingViewShowsItOverItsVisibleAreaAsItScrolls)
{
    QListWidget list;
    for (int i = 0; i < 100; ++i)
        list.addItem(QString("Row %1").arg(i));
    list.resize(200, 150);
    FocusRingOverlay::attach(&list);
    list.show();
    list.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
    list.clearFocus();
    EXPECT_EQ(ringPixels(list.grab().toImage()), 0);
    list.setFocus();
    list.scrollToBottom();
    QCoreApplication::processEvents();
    const QImage shown = list.grab().toImage();
    const QRect area = list.viewport()->geometry();
    EXPECT_TRUE(near(at(shown, area.left() + 1, 75), FocusRing::color(), 24)) << "the left edge";
    EXPECT_TRUE(near(at(shown, area.right() - 1, 75), FocusRing::color(), 24)) << "the right edge";
    EXPECT_FALSE(near(at(shown, area.center().x(), 75), FocusRing::color(), 24)) << "not over the rows";
}

TEST(KeyboardControls, SpaceAndReturnPressTheFocusedButtonOnce)
{
    ControlWindow controls;
    QSignalSpy clicks(controls.button, &QAbstractButton::clicked);
    controls.button->setFocus(Qt::TabFocusReason);
    QTest::keyClick(controls.button, Qt::Key_Space);
    EXPECT_EQ(clicks.size(), 1);
    QTest::keyClick(controls.button, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicks.size() == 2; }, 1000));
    // A Return that presses shows the button down at once and clicks a moment
    // later: Shift+Return leaves it up and clicks nothing.
    QTest::keyClick(controls.button, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_FALSE(controls.button->isDown()) << "Shift+Return is not a press";
    EXPECT_EQ(clicks.size(), 2);
}

TEST(KeyboardControls, TheSegmentedControlIsARadioGroupItsArrowsWalk)
{
    ControlWindow controls;
    DarkSegmentedControl* kind = controls.segments;
    QSignalSpy chosen(kind, &DarkSegmentedControl::selectedSegmentChanged);
    kind->setFocus(Qt::TabFocusReason);

    QAccessibleInterface* group = QAccessible::queryAccessibleInterface(kind);
    ASSERT_TRUE(group);
    EXPECT_EQ(group->role(), QAccessible::Grouping);
    EXPECT_EQ(group->text(QAccessible::Name), "tone kind");
    ASSERT_EQ(group->childCount(), 2);
    QAccessibleInterface* ring = group->child(0);
    QAccessibleInterface* alert = group->child(1);
    EXPECT_EQ(ring->role(), QAccessible::RadioButton);
    EXPECT_EQ(ring->text(QAccessible::Name), "ringtone");
    EXPECT_EQ(alert->text(QAccessible::Name), "alert") << "a segment without a name is called by its label";
    EXPECT_EQ(alert->text(QAccessible::Description), "Chooses an alert tone.");
    EXPECT_EQ(group->indexOfChild(alert), 1);
    EXPECT_EQ(alert->parent(), group);
    EXPECT_TRUE(ring->state().checked && ring->state().focused);
    EXPECT_EQ(group->focusChild(), ring);
    EXPECT_EQ(group->childAt(alert->rect().center().x(), alert->rect().center().y()), alert);

    QTest::keyClick(kind, Qt::Key_Right);
    EXPECT_EQ(kind->selectedSegment(), 1);
    EXPECT_TRUE(alert->state().checked && alert->state().focused);
    EXPECT_FALSE(ring->state().checked || ring->state().focused);
    QTest::keyClick(kind, Qt::Key_Down);
    EXPECT_EQ(kind->selectedSegment(), 1) << "the last stays chosen";
    QTest::keyClick(kind, Qt::Key_Up);
    EXPECT_EQ(kind->selectedSegment(), 0);
    EXPECT_EQ(chosen.size(), 2);

    alert->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(kind->selectedSegment(), 1) << "a screen reader's press chooses the segment";
    EXPECT_EQ(chosen.size(), 3);
}

TEST(KeyboardControls, APopUpIsNamedByItsLabelAndSpeaksItsItem)
{
    ControlWindow controls;
    DarkPopupButton* popup = controls.popup;
    popup->setCurrentIndex(1);
    popup->setToolTip("Sets the fade in duration");
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(popup);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->role(), QAccessible::ComboBox);
    EXPECT_EQ(node->text(QAccessible::Name), "Fade In:");
    EXPECT_EQ(node->text(QAccessible::Value), "1 s");
    EXPECT_EQ(node->text(QAccessible::Description), "Sets the fade in duration");
    ASSERT_EQ(node->childCount(), 1);
    EXPECT_EQ(node->child(0)->object(), popup->view()) << "the items, as a list";

    popup->setAccessibleName({});
    EXPECT_EQ(node->text(QAccessible::Name), "1 s") << "unnamed, it says what it shows";

    popup->setFocus(Qt::TabFocusReason);
    QTest::keyClick(popup, Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return popup->view()->isVisible(); }, 1000)) << "Space opens the menu";
    QTest::keyClick(popup->view(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !popup->view()->isVisible(); }, 1000));
    node->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return popup->view()->isVisible(); }, 1000));
    popup->hidePopup();
}

// The main window worked by keyboard alone and read by a screen reader: every
// control named, Tab through all of them in reading order, the space bar on
// the focused control, the kind control's arrows, the menu bar from F10 and
// Alt, and a tone shaped in the advanced fields and written without a mouse.
#include "tests/source/shell/WindowFixtures.h"

#include "source/browser/SimpleBrowserController.h"
#include "tests/support/MediaProbe.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QPainter>

using namespace shelltest;
using namespace tolvan;

namespace {

// The accessible interfaces under an interface, depth first, leaving out
// what is not on the screen (closed menus, hidden views).
void collectShown(QAccessibleInterface* node, QList<QAccessibleInterface*>& into)
{
    if (!node || node->state().invisible)
        return;
    into << node;
    if (node->role() == QAccessible::MenuBar)
        return;  // its items are the menus' titles, read with the bar
    for (int i = 0; i < node->childCount(); ++i)
        collectShown(node->child(i), into);
}

bool isControl(QAccessibleInterface* node)
{
    switch (node->role()) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::Slider:
    case QAccessible::ScrollBar:
    case QAccessible::List:
    case QAccessible::MenuItem:
        return true;
    default:
        return node->state().focusable;
    }
}

class KeyboardAccessTest : public EditingMenuTest {
protected:
    void SetUp() override
    {
        EditingMenuTest::SetUp();
        controller().applicationWillFinishLaunching();
        openSong("Evening Bells.wav", 40.0);
    }

    QList<QAccessibleInterface*> shownInterfaces()
    {
        QList<QAccessibleInterface*> shown;
        collectShown(QAccessible::queryAccessibleInterface(controller().mainWindow()), shown);
        return shown;
    }

    // What says it has the focus, of everything on the screen.
    std::string focusedNames()
    {
        QStringList focused;
        for (QAccessibleInterface* node : shownInterfaces())
            if (node->state().focused)
                focused << node->text(QAccessible::Name);
        return focused.join(" | ").toStdString();
    }

    // The names Tab moves through from the search field until it is back.
    QStringList tabRound(Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* start = controller().simpleBrowserController()->searchField();
        start->setFocus(Qt::TabFocusReason);
        QStringList names;
        for (int i = 0; i < 40; ++i) {
            click(Qt::Key_Tab, modifiers);
            QWidget* focus = QApplication::focusWidget();
            if (focus == start)
                return names;
            names << spokenName(focus);
        }
        ADD_FAILURE() << "Tab never came back to the search field: " << names.join(" | ").toStdString();
        return names;
    }

    // Tab until the control with that name has the focus.
    QWidget* tabTo(const QString& name)
    {
        for (int i = 0; i < 40; ++i) {
            click(Qt::Key_Tab);
            if (spokenName(QApplication::focusWidget()) == name)
                return QApplication::focusWidget();
        }
        ADD_FAILURE() << "Tab does not reach " << name.toStdString();
        return nullptr;
    }

    void typeKeys(const QString& text)
    {
        for (const QChar c : text)
            click(Qt::Key(c.toUpper().unicode()), Qt::NoModifier, QString(c));
    }

    // Down through the open menu until its active item does the action.
    bool walkMenuTo(MenuAction wanted)
    {
        for (int i = 0; i < 20; ++i) {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return false;
            if (menuActionOf(menu->activeAction()) == wanted)
                return true;
            QTest::keyClick(menu, Qt::Key_Down);
        }
        return false;
    }
};

}  // namespace

TEST_F(KeyboardAccessTest, EveryControlOfTheWindowHasAName)
{
    editor().setAdvancedVisible(true);
    test::drainEvents(20);
    QStringList unnamed;
    int controls = 0;
    for (QAccessibleInterface* node : shownInterfaces()) {
        if (!isControl(node))
            continue;
        ++controls;
        if (node->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QString("%1 %2").arg(int(node->role())).arg(node->object() ? node->object()->metaObject()->className() : "(part)");
    }
    EXPECT_GT(controls, 20);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();

    // The pop-ups are named by their labels and speak their items as values.
    QAccessibleInterface* fadeIn = QAccessible::queryAccessibleInterface(control<QComboBox>("Fade In:"));
    ASSERT_TRUE(fadeIn);
    EXPECT_EQ(fadeIn->role(), QAccessible::ComboBox);
    EXPECT_EQ(fadeIn->text(QAccessible::Name), "Fade In:");
    EXPECT_EQ(fadeIn->text(QAccessible::Value), "1 s");
    EXPECT_EQ(fadeIn->text(QAccessible::Description), "Sets the fade in duration");

    // The kind control is a group of two named radio buttons.
    QAccessibleInterface* kind = QAccessible::queryAccessibleInterface(control<QWidget>("tone kind"));
    ASSERT_TRUE(kind);
    ASSERT_EQ(kind->childCount(), 2);
    EXPECT_EQ(kind->child(0)->role(), QAccessible::RadioButton);
    EXPECT_EQ(kind->child(0)->text(QAccessible::Name), "ringtone");
    EXPECT_EQ(kind->child(1)->text(QAccessible::Name), "alert tone");
    EXPECT_TRUE(kind->child(1)->text(QAccessible::Description).startsWith("Chooses that an alert tone be created."));
    EXPECT_TRUE(kind->child(0)->state().checked);
    EXPECT_FALSE(kind->child(1)->state().checked);

    QAccessibleInterface* share = QAccessible::queryAccessibleInterface(controller().sharingButton());
    EXPECT_EQ(share->text(QAccessible::Name), "share message about ringtone");
    EXPECT_EQ(share->text(QAccessible::Description), "Shares a message about your ringtone");
    EXPECT_EQ(spokenName(controller().advancedButton()), "advanced panel");
    EXPECT_EQ(spokenName(controller().simpleBrowserController()->searchField()), "Filter");
}

TEST_F(KeyboardAccessTest, TabVisitsEveryControlInReadingOrderAndShiftTabGoesBack)
{
    const QStringList editing = {"Media Browser", "waveform", "Close editor", "Play/pause", "tone kind", "Fade In:", "Fade Out:", "Gap:",
                                 "Preview", "Create"};
    const QStringList bar = {"waveform scale", "share message about ringtone", "advanced panel"};
    EXPECT_EQ(tabRound().join(" | ").toStdString(), (editing + bar).join(" | ").toStdString());

    // The advanced panel's controls join the round where the panel shows;
    // the volume slider once Manual Volume is on.
    click(Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(editor().advancedVisible());
    const QStringList advanced = {"start time", "duration", "Manual Volume"};
    EXPECT_EQ(tabRound().join(" | ").toStdString(), (editing + advanced + bar).join(" | ").toStdString());
    editor().setManuallyAdjustVolume(true);
    const QStringList round = editing + advanced + QStringList{"volume adjustment"} + bar;
    EXPECT_EQ(tabRound().join(" | ").toStdString(), round.join(" | ").toStdString());

    // Backwards, with Shift held Create says it saves elsewhere.
    QStringList backwards = round;
    std::reverse(backwards.begin(), backwards.end());
    backwards.replace(backwards.indexOf("Create"), "Save As...");
    EXPECT_EQ(tabRound(Qt::ShiftModifier).join(" | ").toStdString(), backwards.join(" | ").toStdString());
}

TEST_F(KeyboardAccessTest, SpaceActsOnTheFocusedControlAndPreviewsElsewhere)
{
    // On the waveform the space bar is the window's: it previews.
    tabTo("waveform");
    EXPECT_EQ(focusedNames(), "waveform") << "the area alone, not its visible part";
    click(Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_TRUE(test::waitUntil([&] { return editor().isPreviewing(); }));
    click(Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_TRUE(test::waitUntil([&] { return !editor().isPreviewing(); }));

    // On the kind control it previews nothing, and the arrows choose the kind.
    QWidget* kind = tabTo("tone kind");
    ASSERT_TRUE(kind);
    click(Qt::Key_Space, Qt::NoModifier, " ");
    test::drainEvents(20);
    EXPECT_FALSE(editor().isPreviewing());
    click(Qt::Key_Right);
    EXPECT_EQ(editor().selectedKind(), 1);
    QAccessibleInterface* group = QAccessible::queryAccessibleInterface(kind);
    EXPECT_TRUE(group->child(1)->state().checked);
    EXPECT_TRUE(group->child(1)->state().focused) << "the focus is on the chosen kind";
    EXPECT_EQ(group->focusChild(), group->child(1));
    EXPECT_EQ(focusedNames(), "alert tone") << "not the group as well";
    click(Qt::Key_Right);
    EXPECT_EQ(editor().selectedKind(), 1) << "the last kind stays chosen";
    click(Qt::Key_Left);
    EXPECT_EQ(editor().selectedKind(), 0);

    // On a pop-up it opens the menu, and Escape closes it with nothing changed.
    auto* fadeIn = qobject_cast<QComboBox*>(tabTo("Fade In:"));
    ASSERT_TRUE(fadeIn);
    click(Qt::Key_Space, Qt::NoModifier, " ");
    ASSERT_TRUE(test::waitUntil([&] { return fadeIn->view()->isVisible(); }));
    EXPECT_FALSE(editor().isPreviewing());
    QTest::keyClick(fadeIn->view(), Qt::Key_Escape);
    ASSERT_TRUE(test::waitUntil([&] { return !fadeIn->view()->isVisible(); }));

    // After the menu closed, the pop-up alone says it has the focus.
    controller().mainWindow()->activateWindow();
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::focusWidget() == fadeIn; }));
    EXPECT_EQ(focusedNames(), "Fade In:");
}

TEST_F(KeyboardAccessTest, SpaceOnCreateWritesTheTone)
{
    QWidget* create = tabTo("Create");
    ASSERT_TRUE(create);
    click(Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_FALSE(editor().isPreviewing());
    ASSERT_TRUE(test::waitUntil([&] { return controller().saveRoad().isExporting(); }));
    ASSERT_TRUE(test::waitUntil([&] { return !controller().saveRoad().isExporting(); }, 60000));
    EXPECT_TRUE(QFileInfo::exists(shell.home.filePath("Documents/Tolvan/Evening Bells.m4r")))
        << QDir(shell.home.filePath("Documents/Tolvan")).entryList().join(", ").toStdString();
}

TEST_F(KeyboardAccessTest, TheMenuBarOpensFromF10AndAltAndItsMnemonics)
{
    QMenuBar* bar = controller().mainWindow()->menuBar();
    click(Qt::Key_F10);
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::activePopupWidget() != nullptr; }));
    EXPECT_EQ(QApplication::activePopupWidget(), bar->actions().first()->menu()) << "F10 opens the first menu";
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    test::drainEvents(20);
    if (QApplication::activePopupWidget())
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    ASSERT_TRUE(test::waitUntil([&] { return !QApplication::activePopupWidget(); }));
    controller().mainWindow()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller().mainWindow()));

    // Alt alone selects the bar's first title; Escape leaves it.
    press(Qt::Key_Alt, Qt::AltModifier);
    release(Qt::Key_Alt, Qt::NoModifier);
    EXPECT_TRUE(test::waitUntil([&] { return bar->activeAction() == bar->actions().first(); }));
    click(Qt::Key_Escape);
    EXPECT_TRUE(test::waitUntil([&] { return !bar->activeAction(); }));

    // The titles read as they are, with Qt's mnemonic marks for Alt.
    QStringList titles;
    for (QAction* top : bar->actions())
        titles << top->text();
    EXPECT_EQ(titles.join(" ").toStdString(), "&Tolvan &File &Edit &View &Window &Help");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(bar)->child(3)->text(QAccessible::Name), "View");

    // Alt+V, then the arrows and Return, show the advanced panel.
    click(Qt::Key_V, Qt::AltModifier, "v");
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::activePopupWidget() == bar->actions().at(3)->menu(); }));
    ASSERT_TRUE(walkMenuTo(MenuAction::ToggleAdvancedMode));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
    EXPECT_TRUE(test::waitUntil([&] { return editor().advancedVisible(); }));
}

TEST_F(KeyboardAccessTest, EditDeleteReachedByF10AndTheArrowsDeletesTheSearchFieldsSelection)
{
    click(Qt::Key_F, Qt::ControlModifier);
    QLineEdit* field = controller().simpleBrowserController()->searchField();
    ASSERT_TRUE(test::waitUntil([&] { return field->hasFocus(); }));
    typeKeys("odd name");
    click(Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier);
    ASSERT_EQ(field->selectedText(), "name");

    // The menu bar takes the keyboard while it is walked; the edits still go
    // to the field the user was in.
    QMenuBar* bar = controller().mainWindow()->menuBar();
    click(Qt::Key_F10);
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::activePopupWidget() == bar->actions().at(0)->menu(); }));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Right);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Right);
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::activePopupWidget() == bar->actions().at(2)->menu(); }));
    ASSERT_TRUE(walkMenuTo(MenuAction::Delete)) << "Delete is enabled: there is a selection to delete";
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
    EXPECT_TRUE(test::waitUntil([&] { return field->text() == "odd "; })) << field->text().toStdString();
}

TEST_F(KeyboardAccessTest, ASelectionTypedIntoStartAndDurationIsTheToneWritten)
{
    click(Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(editor().advancedVisible());
    ASSERT_TRUE(tabTo("start time"));
    click(Qt::Key_A, Qt::ControlModifier);
    typeKeys("5");
    click(Qt::Key_Tab);
    ASSERT_EQ(spokenName(QApplication::focusWidget()), "duration");
    EXPECT_EQ(editor().selectionStartTime(), 5.0) << "leaving the field applies it";
    click(Qt::Key_A, Qt::ControlModifier);
    typeKeys("12.5");
    click(Qt::Key_Return);
    EXPECT_EQ(editor().selectionDuration(), 12.5);
    EXPECT_EQ(editor().selectionStartTime(), 5.0);

    // On round to Create, and the space bar.
    ASSERT_TRUE(tabTo("Create"));
    click(Qt::Key_Space, Qt::NoModifier, " ");
    ASSERT_TRUE(test::waitUntil([&] { return controller().saveRoad().isExporting(); }));
    ASSERT_TRUE(test::waitUntil([&] { return !controller().saveRoad().isExporting(); }, 60000));
    const QString tone = shell.home.filePath("Documents/Tolvan/Evening Bells.m4r");
    ASSERT_TRUE(QFileInfo::exists(tone));
    EXPECT_NEAR(test::probe(tone).seconds, 12.5, 0.05);
}

TEST_F(KeyboardAccessTest, EveryStopShowsWhereTheFocusIs)
{
    editor().setAdvancedVisible(true);
    editor().setManuallyAdjustVolume(true);
    test::drainEvents(20);
    QWidget* window = controller().mainWindow();
    const QList<QWidget*> loop = controller().keyViewLoop();
    ASSERT_GT(loop.size(), 15);
    const auto shot = [window](QWidget* stop, qreal ratio) {
        const QRect area = QRect(stop->mapTo(window, QPoint()), stop->size()).adjusted(-6, -6, 6, 6).intersected(window->rect());
        QImage image(area.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::black);
        window->render(&image, QPoint(), QRegion(area));
        return image;
    };
    for (const qreal ratio : {1.0, 2.0}) {
        QList<QImage> shots;
        loop.last()->setFocus(Qt::TabFocusReason);
        for (QWidget* stop : loop) {
            const QImage before = shot(stop, ratio);
            click(Qt::Key_Tab);
            ASSERT_EQ(QApplication::focusWidget(), stop);
            const QImage after = shot(stop, ratio);
            int changed = 0;
            for (int y = 0; y < after.height(); ++y)
                for (int x = 0; x < after.width(); ++x)
                    changed += before.pixel(x, y) != after.pixel(x, y);
            EXPECT_GT(changed, 40 * ratio * ratio) << "focus on " << spokenName(stop).toStdString() << " at " << ratio << "x";
            shots << after;
        }
        // One picture of every stop with its ring, for a person to look at.
        int width = 0, height = 0;
        for (const QImage& image : shots) {
            width = std::max(width, int(image.width() / ratio));
            height += int(image.height() / ratio) + 4;
        }
        QImage sheet(QSize(width, height) * ratio, QImage::Format_ARGB32_Premultiplied);
        sheet.setDevicePixelRatio(ratio);
        sheet.fill(QColor(60, 60, 60));
        QPainter painter(&sheet);
        int y = 0;
        for (const QImage& image : shots) {
            painter.drawImage(QPointF(0, y), image);
            y += int(image.height() / ratio) + 4;
        }
        painter.end();
        EXPECT_TRUE(sheet.save(QStringLiteral(SHELL_PICTURE_DIR "/focus-stops@%1x.png").arg(int(ratio))));
    }
}

TEST_F(KeyboardAccessTest, AfterASearchOrAnOpenedRowTabReachesTheListAndItsBackButton)
{
    shell.library.music = {browsertest::track({.title = "Halo", .artist = "Beyoncé", .album = "I Am"})};
    const auto tabs = [&](int count, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QStringList names;
        for (int i = 0; i < count; ++i) {
            click(Qt::Key_Tab, modifiers);
            names << spokenName(QApplication::focusWidget());
        }
        return names.join(" | ").toStdString();
    };

    // A search pushes the songs list: Tab goes to its back button, then to it.
    QLineEdit* search = controller().simpleBrowserController()->searchField();
    search->setFocus(Qt::TabFocusReason);
    typeKeys("ha");
    test::drainEvents(400);  // the list slides in
    EXPECT_EQ(tabs(3), "Media Browser | Songs | waveform");

    // Space on the back button goes back to the menu.
    EXPECT_EQ(tabs(2, Qt::ShiftModifier), "Songs | Media Browser");
    click(Qt::Key_Space, Qt::NoModifier, " ");
    test::drainEvents(400);
    ASSERT_TRUE(test::waitUntil([&] { return spokenName(QApplication::focusWidget()) == "Media Browser"; }));
    EXPECT_EQ(QApplication::focusWidget()->metaObject()->className(), std::string("SimpleBrowserTable")) << "the menu's list";

    // Opening Songs from the keyboard: the list that slides in has the focus.
    click(Qt::Key_Down);
    click(Qt::Key_Return);
    test::drainEvents(400);
    ASSERT_TRUE(test::waitUntil([&] { return spokenName(QApplication::focusWidget()) == "Songs"; }));
    EXPECT_EQ(tabs(2, Qt::ShiftModifier), "Media Browser | Filter");
    EXPECT_EQ(tabs(3), "Media Browser | Songs | waveform");
}

TEST(KeyboardStart, TheWindowOpensWithTheKeysOnTheBrowsersList)
{
    ShellHarness shell;
    TolvanMainWindow* window = shell.controller->mainWindow();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(spokenName(QApplication::focusWidget()), "Media Browser");

    // The welcome screen's controls are named too.
    QList<QAccessibleInterface*> shown;
    collectShown(QAccessible::queryAccessibleInterface(window), shown);
    QStringList unnamed;
    for (QAccessibleInterface* node : shown)
        if (isControl(node) && node->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << (node->object() ? node->object()->metaObject()->className() : "(part)");
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
}

#pragma once
// The main window shown and active, as the user has it, with keys delivered
// as the window system delivers them; with the stand-in editor or the
// application's own.

#include "tests/source/shell/ShellFixtures.h"

#include "source/editor/EditorViewController.h"
#include "source/editor/WaveformViewController.h"
#include "source/shell/ApplicationEditor.h"
#include "source/shell/TolvanMainWindow.h"
#include "tests/support/EventLoop.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

namespace shelltest {

// The main window shown and active, as the user has it.
class MenuRoadTest : public ::testing::Test {
protected:
    explicit MenuRoadTest(bool applicationEditor = false) : shell(applicationEditor) {}

    void SetUp() override
    {
        TolvanMainWindow* window = controller().mainWindow();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }

    TolvanController& controller() { return *shell.controller; }
    QWindow* windowHandle() { return controller().mainWindow()->windowHandle(); }

    // The bar's item of an action (for the two preview items, the one in the menu).
    QAction* item(MenuAction wanted)
    {
        for (QAction* top : controller().mainWindow()->menuBar()->actions())
            for (QAction* action : top->menu()->actions())
                if (menuActionOf(action) == wanted)
                    return action;
        ADD_FAILURE() << "no item for action " << int(wanted);
        return nullptr;
    }

    // Opens the item's menu as a click on the bar does and reads the item's title.
    std::string titleAsShown(MenuAction wanted)
    {
        QAction* found = item(wanted);
        for (QAction* top : controller().mainWindow()->menuBar()->actions()) {
            QMenu* menu = top->menu();
            if (!menu->actions().contains(found))
                continue;
            menu->popup(controller().mainWindow()->mapToGlobal(QPoint(0, 0)));
            EXPECT_TRUE(tolvan::test::waitUntil([&] { return menu->isVisible(); }));
            const std::string title = found->text().toStdString();
            menu->hide();
            // The offscreen platform does not hand the activation back when a popup closes.
            tolvan::test::drainEvents(20);
            controller().mainWindow()->activateWindow();
            EXPECT_TRUE(tolvan::test::waitUntil([&] { return QApplication::activeWindow() == controller().mainWindow(); }));
            return title;
        }
        return {};
    }

    // A key as the window system delivers it to the window.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}, bool autoRepeat = false)
    {
        QTest::simulateEvent(windowHandle(), true, key, modifiers, text, autoRepeat, 1);
    }
    void release(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}, bool autoRepeat = false)
    {
        QTest::simulateEvent(windowHandle(), false, key, modifiers, text, autoRepeat, 1);
    }
    void click(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
    {
        press(key, modifiers, text);
        release(key, modifiers, text);
    }
    // A key held down: its press, the auto-repeated releases and presses a
    // held key sends, and its release.
    void hold(Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text, int repeats)
    {
        press(key, modifiers, text);
        for (int i = 0; i < repeats; ++i) {
            release(key, modifiers, text, true);
            press(key, modifiers, text, true);
        }
        release(key, modifiers, text);
    }

    ShellHarness shell;
};

// The same window with the application's own editor.
class EditingMenuTest : public MenuRoadTest {
protected:
    EditingMenuTest() : MenuRoadTest(true) {}

    EditorViewController& editor() { return dynamic_cast<ApplicationEditor&>(*controller().editorViewController()).editor(); }

    void openSong(const QString& name, double seconds = 60.0)
    {
        controller().openSource(ShellHarness::sourceFor(shell.writeSong(name, tolvan::test::ToneSpec{.seconds = seconds})));
        // Loaded once the waveform area shows the song the editor was given.
        ASSERT_TRUE(tolvan::test::waitUntil([&] { return editor().asset() && editor().waveformViewController()->asset() == editor().asset(); }, 20000));
        tolvan::test::drainEvents(20);
    }

    template <class Control>
    Control* control(const QString& accessibleName)
    {
        for (Control* found : editor().view()->findChildren<Control*>())
            if (found->accessibleName() == accessibleName)
                return found;
        ADD_FAILURE() << "no control named " << accessibleName.toStdString();
        return nullptr;
    }

    // The user picks an item of one of the editor's pop-ups, then the event loop turns.
    void choose(const QString& popupName, int index)
    {
        auto* popup = control<QComboBox>(popupName);
        popup->setCurrentIndex(index);
        emit popup->activated(index);
        tolvan::test::drainEvents(20);
    }

    // The user types a start time into the advanced panel's field and
    // presses Return; the field keeps the focus.
    void typeStart(const QString& seconds)
    {
        if (!editor().advancedVisible())
            item(MenuAction::ToggleAdvancedMode)->trigger();
        auto* field = control<QLineEdit>("start time");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, seconds);
        QTest::keyClick(field, Qt::Key_Return);
        ASSERT_TRUE(field->hasFocus());
        tolvan::test::drainEvents(20);
    }
};


}  // namespace shelltest

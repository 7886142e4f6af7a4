// The menus and keys as a user meets them in the shown, active main window:
// Undo and Redo through their items and their keys, a held space bar, and
// the items whose titles follow the state of the window.
#include "tests/source/shell/WindowFixtures.h"

#include "source/browser/BrowserListController.h"
#include "source/browser/NavigationController.h"
#include "source/browser/SimpleBrowserController.h"
#include "source/editor/EditorViewController.h"
#include "source/editor/WaveformViewController.h"
#include "source/shell/ApplicationEditor.h"
#include "source/shell/TolvanMainWindow.h"
#include "ZNTUtilities/widgets/ZNTButton.h"
#include "tests/support/EventLoop.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace shelltest;
using namespace tolvan;


TEST_F(EditingMenuTest, UndoAndRedoTakeBackSelectionFadeAndGapThroughTheItemsAndTheKeys)
{
    controller().applicationWillFinishLaunching();
    openSong("song.wav");
    QAction* undo = item(MenuAction::Undo);
    QAction* redo = item(MenuAction::Redo);
    EXPECT_FALSE(undo->isEnabled()) << "opening a song is no step to take back";
    EXPECT_FALSE(redo->isEnabled());
    EXPECT_EQ(titleAsShown(MenuAction::Undo), "Undo");
    EXPECT_EQ(titleAsShown(MenuAction::Redo), "Redo");
    const int fadeIn = editor().selectedFadeIn();

    typeStart("5");
    choose("Fade In:", 5);  // 3 s
    choose("Gap:", 3);      // 1 s
    ASSERT_EQ(editor().selectionStartTime(), 5);
    ASSERT_EQ(editor().fadeInDuration(), 3.0);
    ASSERT_EQ(editor().gapDuration(), 1.0);
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());

    click(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor().gapDuration(), 0.0) << "Ctrl+Z on the window takes back the last change";
    EXPECT_EQ(editor().fadeInDuration(), 3.0);
    EXPECT_TRUE(redo->isEnabled());
    undo->trigger();
    EXPECT_EQ(editor().selectedFadeIn(), fadeIn) << "the item takes back the one before";
    EXPECT_EQ(editor().selectionStartTime(), 5);
    click(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor().selectionStartTime(), 0);
    EXPECT_EQ(editor().selectionDuration(), 10);
    EXPECT_FALSE(undo->isEnabled()) << "nothing more to take back";
    click(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor().selectionStartTime(), 0);

    click(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor().selectionStartTime(), 5) << "Ctrl+Shift+Z does it again";
    redo->trigger();
    EXPECT_EQ(editor().fadeInDuration(), 3.0);
    click(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor().gapDuration(), 1.0);
    EXPECT_FALSE(redo->isEnabled());
    EXPECT_TRUE(undo->isEnabled());

    // Typing not yet applied is the field's own to take back.
    auto* field = control<QLineEdit>("start time");
    ASSERT_TRUE(field->hasFocus());
    const QString shown = field->text();
    field->selectAll();
    QTest::keyClicks(field, "9");
    click(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(field->text(), shown);
    EXPECT_EQ(editor().gapDuration(), 1.0);
    EXPECT_EQ(editor().selectionStartTime(), 5);
}

TEST_F(EditingMenuTest, OpeningAnotherSongForgetsTheStepsOfTheLast)
{
    controller().applicationWillFinishLaunching();
    openSong("first.wav");
    typeStart("7");
    click(Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(editor().selectionStartTime(), 0);
    ASSERT_TRUE(item(MenuAction::Redo)->isEnabled());
    typeStart("7");
    ASSERT_TRUE(item(MenuAction::Undo)->isEnabled());

    openSong("second.wav", 50.0);
    EXPECT_FALSE(item(MenuAction::Undo)->isEnabled());
    EXPECT_FALSE(item(MenuAction::Redo)->isEnabled());
    typeStart("3");
    click(Qt::Key_Z, Qt::ControlModifier);
    click(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor().selectionStartTime(), 0) << "undo stops at the song's own first selection";
    EXPECT_EQ(editor().selectionDuration(), 10);
}

TEST_F(EditingMenuTest, TheAdvancedAndFullScreenItemsSayWhatTheyWillDo)
{
    controller().applicationWillFinishLaunching();
    EXPECT_EQ(titleAsShown(MenuAction::ToggleAdvancedMode), "Show Advanced Controls") << "also without a song";
    EXPECT_FALSE(item(MenuAction::ToggleAdvancedMode)->isEnabled());
    openSong("song.wav");
    item(MenuAction::ToggleAdvancedMode)->trigger();
    ASSERT_TRUE(editor().advancedVisible());
    EXPECT_EQ(titleAsShown(MenuAction::ToggleAdvancedMode), "Hide Advanced Controls");
    controller().advancedButton()->click();
    ASSERT_FALSE(editor().advancedVisible());
    EXPECT_EQ(titleAsShown(MenuAction::ToggleAdvancedMode), "Show Advanced Controls") << "the bar's button hid it";

    controller().setFullScreenAnimationDuration(0.0);
    EXPECT_EQ(titleAsShown(MenuAction::ToggleFullScreen), "Enter Full Screen");
    item(MenuAction::ToggleFullScreen)->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return controller().isFullScreen(); }));
    EXPECT_EQ(titleAsShown(MenuAction::ToggleFullScreen), "Exit Full Screen");
    click(Qt::Key_F, Qt::ControlModifier | Qt::MetaModifier);
    ASSERT_TRUE(test::waitUntil([&] { return !controller().isFullScreen(); }));
    EXPECT_EQ(titleAsShown(MenuAction::ToggleFullScreen), "Enter Full Screen");
}

TEST_F(MenuRoadTest, F11OnTheWindowTogglesFullScreenAsTheMenusKeyDoes)
{
    controller().applicationWillFinishLaunching();
    controller().setFullScreenAnimationDuration(0.0);
    QTest::keyClick(controller().mainWindow(), Qt::Key_F11);
    ASSERT_TRUE(test::waitUntil([&] { return controller().isFullScreen() && controller().mainWindow()->isFullScreen(); }));
    EXPECT_EQ(titleAsShown(MenuAction::ToggleFullScreen), "Exit Full Screen");
    click(Qt::Key_F11);
    ASSERT_TRUE(test::waitUntil([&] { return !controller().isFullScreen(); }));
    EXPECT_FALSE(controller().mainWindow()->isFullScreen());
    click(Qt::Key_F, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_TRUE(test::waitUntil([&] { return controller().isFullScreen(); })) << "the menu's own key still works";
}

TEST_F(MenuRoadTest, DeleteRemovesTheSearchFieldsSelectionAndIsDisabledWithoutOne)
{
    controller().applicationWillFinishLaunching();
    QLineEdit* field = controller().simpleBrowserController()->searchField();
    field->setFocus();
    ASSERT_TRUE(test::waitUntil([&] { return field->hasFocus(); }));
    field->setText("bells and whistles");
    QAction* deleteItem = item(MenuAction::Delete);
    titleAsShown(MenuAction::Delete);  // the Edit menu opened and closed
    EXPECT_FALSE(deleteItem->isEnabled()) << "nothing selected";
    deleteItem->trigger();
    EXPECT_EQ(field->text(), "bells and whistles");

    field->setSelection(5, 4);  // " and"
    EXPECT_EQ(titleAsShown(MenuAction::Delete), "Delete");
    ASSERT_TRUE(deleteItem->isEnabled());
    ASSERT_TRUE(field->hasFocus());
    deleteItem->trigger();
    EXPECT_EQ(field->text(), "bells whistles");
    EXPECT_EQ(field->cursorPosition(), 5);
    EXPECT_FALSE(field->hasSelectedText());
    titleAsShown(MenuAction::Delete);
    EXPECT_FALSE(deleteItem->isEnabled()) << "the selection is gone";
}

TEST_F(MenuRoadTest, AHeldSpaceBarTogglesThePreviewOncePerPressOnEveryRoad)
{
    const auto previews = [&] { return shell.editor->calls.count("startStopPreview"); };
    controller().openSource(ShellHarness::sourceFor(shell.writeSong("tone.wav")));
    ASSERT_EQ(controller().contentKind(), ContentKind::Editor);
    // The song was picked in the library's list, which keeps the focus.
    auto* list = controller().browserContainer()->findChild<QAbstractItemView*>();
    ASSERT_TRUE(list);
    list->setFocus();

    // Before the menus exist the window's own key handling takes the space bar.
    hold(Qt::Key_Space, Qt::NoModifier, " ", 4);
    EXPECT_EQ(previews(), 1);

    controller().applicationWillFinishLaunching();
    hold(Qt::Key_Space, Qt::NoModifier, " ", 4);
    EXPECT_EQ(previews(), 2) << "the \"Preview Selection\" item's bare space bar";
    hold(Qt::Key_Space, Qt::AltModifier, " ", 4);
    EXPECT_EQ(previews(), 3) << "Alt+Space, \"Preview Selection Near End\"";
    click(Qt::Key_Space, Qt::NoModifier, " ");
    click(Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_EQ(previews(), 5) << "each new press acts";

    // The other toggles act once per press too.
    hold(Qt::Key_P, Qt::ControlModifier, "p", 3);
    EXPECT_EQ(shell.editor->calls.count("startStopPlay"), 1);
    const bool advanced = shell.editor->advancedVisible;
    hold(Qt::Key_E, Qt::ControlModifier, "e", 3);
    EXPECT_NE(shell.editor->advancedVisible, advanced) << "toggled once, not back and forth";
}

TEST_F(MenuRoadTest, EscapeInTheSearchFieldHandsTheKeysBackToTheList)
{
    controller().applicationWillFinishLaunching();
    SimpleBrowserController* browser = controller().simpleBrowserController();
    QLineEdit* field = browser->searchField();
    const auto visibleTable = [&] {
        auto* list = dynamic_cast<BrowserListController*>(browser->navigationController()->visibleViewController());
        return list ? list->tableView() : nullptr;
    };
    ASSERT_TRUE(visibleTable());

    click(Qt::Key_F, Qt::ControlModifier, "f");
    ASSERT_TRUE(field->hasFocus()) << "Find puts the keys in the search field";
    click(Qt::Key_Escape);
    EXPECT_TRUE(visibleTable()->hasFocus()) << "the main menu";

    click(Qt::Key_F, Qt::ControlModifier, "f");
    click(Qt::Key_A, Qt::NoModifier, "a");
    ASSERT_EQ(field->text(), "a");
    ASSERT_EQ(browser->navigationController()->viewControllers().size(), 2u) << "typing in the menu searches the songs";
    click(Qt::Key_Escape);
    EXPECT_TRUE(visibleTable()->hasFocus()) << "the songs list that the search opened";
    EXPECT_EQ(field->text(), "a") << "the filter stays";
    click(Qt::Key_Escape);
    EXPECT_TRUE(visibleTable()->hasFocus());
}

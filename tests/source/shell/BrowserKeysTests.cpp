// The library browser in the main window by keys alone, as the window system
// delivers them: Ctrl+F, a title typed, Tab to the list, Down, Return; the
// first Down in every freshly pushed list; and the space bar right after
// launch.
#include "tests/source/shell/WindowFixtures.h"

#include "source/browser/BrowserListController.h"
#include "source/browser/NavigationController.h"
#include "source/browser/SimpleBrowserController.h"

#include <QAccessible>

using namespace shelltest;
using namespace tolvan;

namespace {

class BrowserKeysTest : public MenuRoadTest {
protected:
    void SetUp() override
    {
        // Real files, so that a song opened from the list reaches the editor.
        for (const QString& title : {QStringLiteral("Clocks"), QStringLiteral("Halo"), QStringLiteral("Yellow")}) {
            const QString path = shell.writeSong(title + ".wav");
            ASSERT_FALSE(path.isEmpty());
            paths[title] = path;
            shell.library.music.push_back(browsertest::track({.title = title, .artist = "Someone", .album = "Something", .path = path}));
        }
        controller().applicationWillFinishLaunching();
        MenuRoadTest::SetUp();
    }

    SimpleBrowserController* browser() { return controller().simpleBrowserController(); }
    BrowserListController* visibleList()
    {
        return dynamic_cast<BrowserListController*>(browser()->navigationController()->visibleViewController());
    }
    // The title of the visible list's selected row, "" for none.
    std::string selectedTitle()
    {
        BrowserListController* list = visibleList();
        const BrowserRow* row = list ? list->selectedRow() : nullptr;
        return row ? row->title.toStdString() : std::string();
    }
    // Waits until the visible list, titled title, has its rows (any number
    // when rows is negative) and the focus.
    bool arrivedWithFocus(const QString& title, int rows = -1)
    {
        return test::waitUntil([&] {
            BrowserListController* list = visibleList();
            return list && list->title() == title && !list->isLoading() && (rows < 0 || list->arrangedRows().rowCount() == rows) &&
                   QApplication::focusWidget() == list->tableView();
        });
    }
    void typeKeys(const QString& text)
    {
        for (const QChar c : text)
            click(Qt::Key(c.toUpper().unicode()), Qt::NoModifier, QString(c));
    }
    std::string openedPath() const
    {
        const auto source = shell.controller->selectedSource();
        return source ? source->mediaFileURL().toLocalFile().toStdString() : std::string();
    }

    std::map<QString, QString> paths;
};

}  // namespace

TEST_F(BrowserKeysTest, CtrlFATitleTabDownAndReturnOpenTheOneSongTheSearchFinds)
{
    click(Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), browser()->searchField());
    typeKeys("halo");
    ASSERT_EQ(browser()->searchField()->text(), "halo");
    ASSERT_TRUE(test::waitUntil([&] {
        BrowserListController* list = visibleList();
        return list && list->title() == "Songs" && !list->isLoading() && list->arrangedRows().rowCount() == 1;
    })) << "the menu pushes a songs list holding the one song found";
    test::drainEvents(400);  // the list slides in

    // One Tab from the field reaches the back button above the list; Down
    // goes on into the list and selects its first (and only) row.
    click(Qt::Key_Tab);
    ASSERT_EQ(spokenName(QApplication::focusWidget()), "Media Browser") << "the back button";
    EXPECT_EQ(selectedTitle(), "") << "Tab alone selects nothing";
    click(Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), visibleList()->tableView());
    EXPECT_EQ(selectedTitle(), "Halo") << "the first Down selects the first (and only) row";
    click(Qt::Key_Down);
    EXPECT_EQ(selectedTitle(), "Halo") << "there is no row below it";
    click(Qt::Key_Return);
    EXPECT_EQ(openedPath(), paths["Halo"].toStdString());
    ASSERT_TRUE(shell.editor);
    ASSERT_TRUE(test::waitUntil([&] { return shell.editor->asset() != nullptr; }));
    EXPECT_EQ(selectedTitle(), "Halo") << "the opened song stays selected";

    // With a song open the space bar is the preview's, on the list too.
    const int loads = shell.editor->loads;
    click(Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_EQ(shell.editor->calls, QStringList{"startStopPreview"});
    EXPECT_EQ(shell.editor->loads, loads) << "the row is not opened again";
}

// Ctrl+F again after a search takes the field with its text selected, so
// what is typed next is a new search rather than a longer one.
TEST_F(BrowserKeysTest, CtrlFAgainSelectsTheSearchSoTypingReplacesIt)
{
    click(Qt::Key_F, Qt::ControlModifier);
    typeKeys("halo");
    click(Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), browser()->searchField());
    click(Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), browser()->searchField());
    EXPECT_EQ(browser()->searchField()->selectedText().toStdString(), "halo");
    typeKeys("clocks");
    EXPECT_EQ(browser()->searchField()->text().toStdString(), "clocks");
}

TEST_F(BrowserKeysTest, TheFirstDownInAFreshlyPushedListSelectsItsFirstRow)
{
    ASSERT_EQ(spokenName(QApplication::focusWidget()), "Media Browser") << "the window opens with the keys on the menu";
    click(Qt::Key_Down);
    EXPECT_EQ(selectedTitle(), "Songs") << "the first row that can be chosen, below the LIBRARY heading";

    // Return on a menu row pushes its list with the focus on it.
    click(Qt::Key_Return);
    ASSERT_TRUE(arrivedWithFocus("Songs", 3));
    EXPECT_EQ(selectedTitle(), "");
    click(Qt::Key_Down);
    EXPECT_EQ(selectedTitle(), "Clocks") << "row 0, not row 1";
    click(Qt::Key_Down);
    EXPECT_EQ(selectedTitle(), "Halo");

    // Left goes back; Right on the next menu row pushes the artists list.
    click(Qt::Key_Left);
    ASSERT_TRUE(arrivedWithFocus("Media Browser"));
    click(Qt::Key_Down);
    click(Qt::Key_Down);
    ASSERT_EQ(selectedTitle(), "Artists");
    click(Qt::Key_Right);
    ASSERT_TRUE(arrivedWithFocus("Artists", 1));
    click(Qt::Key_Down);
    EXPECT_EQ(selectedTitle(), "Someone");

    // A search typed in the menu over several songs: the first Down takes
    // the first.
    click(Qt::Key_Left);
    ASSERT_TRUE(arrivedWithFocus("Media Browser"));
    click(Qt::Key_F, Qt::ControlModifier);
    typeKeys("l");
    ASSERT_TRUE(test::waitUntil([&] {
        BrowserListController* list = visibleList();
        return list && list->title() == "Songs" && !list->isLoading() && list->arrangedRows().rowCount() == 3;
    }));
    test::drainEvents(400);
    click(Qt::Key_Tab);
    click(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), visibleList()->tableView()) << "the second Tab passes the back button";
    click(Qt::Key_Down);
    EXPECT_EQ(selectedTitle(), "Clocks");
    click(Qt::Key_Space);
    EXPECT_EQ(openedPath(), paths["Clocks"].toStdString()) << "with nothing open, Space opens the row as Return does";
}

// Launched as the program launches, with a song or without.
class SpaceAtLaunchTest : public UnlaunchedShellTest {
protected:
    void launch(const QStringList& files)
    {
        controller = std::make_unique<TolvanController>(services);
        controller->launch([&] { controller->applicationOpenFiles(files); });
        controller->mainWindow()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->mainWindow()));
        ASSERT_TRUE(test::waitUntil([&] { return controller->hasFinishedLaunching(); }));
    }
    void pressSpace()
    {
        QWindow* window = controller->mainWindow()->windowHandle();
        QTest::simulateEvent(window, true, Qt::Key_Space, Qt::NoModifier, " ", false, 1);
        QTest::simulateEvent(window, false, Qt::Key_Space, Qt::NoModifier, " ", false, 1);
    }

};

TEST_F(SpaceAtLaunchTest, WithASongGivenSpaceStartsThePreview)
{
    launch({shell.writeSong("launch.wav")});
    ASSERT_EQ(controller->contentKind(), ContentKind::Editor);
    EXPECT_EQ(spokenName(QApplication::focusWidget()), "Media Browser");
    pressSpace();
    EXPECT_EQ(editor->calls, QStringList{"startStopPreview"});
    EXPECT_EQ(controller->simpleBrowserController()->searchField()->text(), "") << "no blank typed into the filter";
}

TEST_F(SpaceAtLaunchTest, WithNothingOpenSpaceTypesNothingAndOpensNothing)
{
    shell.library.music.push_back(browsertest::track({.title = "Halo", .path = shell.writeSong("Halo.wav")}));
    launch({});
    ASSERT_EQ(controller->contentKind(), ContentKind::Welcome);
    EXPECT_EQ(spokenName(QApplication::focusWidget()), "Media Browser");
    pressSpace();
    test::drainEvents(50);
    EXPECT_EQ(controller->simpleBrowserController()->searchField()->text(), "");
    EXPECT_EQ(controller->selectedSource(), nullptr) << "no row is selected, so none opens";
    EXPECT_EQ(editor->calls, QStringList{}) << "nothing to preview";
}

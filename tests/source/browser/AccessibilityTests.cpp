// The browser's lists as a screen reader meets them: each table a list whose
// rows are buttons described as "item", named after what their cell shows,
// and pressed ("selected") as a click would.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/NavigationController.h"
#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleBrowserController.h"
#include "source/browser/SimpleMainMenuController.h"
#include "source/browser/SimpleSongsController.h"

#include <QAccessible>
#include <QLineEdit>
#include <QTest>

using namespace browsertest;

namespace {

QAccessibleInterface* accessibleTable(BrowserListController& list)
{
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(list.tableView());
    EXPECT_TRUE(table);
    return table;
}

std::string nameOf(QAccessibleInterface* row) { return row ? row->text(QAccessible::Name).toStdString() : "(no row)"; }

void press(QAccessibleInterface* row)
{
    ASSERT_TRUE(row && row->actionInterface());
    row->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

class ScreenReaderTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        library.music = {track({.title = "Halo", .artist = "Beyoncé", .album = "I Am", .trackNumber = 2}),
                         track({.title = "Single Ladies", .artist = "Beyoncé", .album = "I Am", .trackNumber = 1}),
                         track({.title = "Crazy in Love", .artist = "Beyoncé", .album = "Dangerously"})};
    }

    template <class List>
    std::shared_ptr<List> loaded(std::shared_ptr<List> list)
    {
        EXPECT_TRUE(tolvan::test::waitUntil([&] { return !list->isLoading(); }));
        return list;
    }
};

}  // namespace

TEST_F(ScreenReaderTest, ASongsRowReadsItsTitleAndPressingOpensIt)
{
    auto songs = loaded(SimpleSongsController::songs(services()));
    QAccessibleInterface* table = accessibleTable(*songs);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->role(), QAccessible::List);
    EXPECT_EQ(table->text(QAccessible::Name), "Songs");
    ASSERT_EQ(table->childCount(), 3);

    QAccessibleInterface* row = table->child(1);
    ASSERT_TRUE(row && row->isValid());
    EXPECT_EQ(row->role(), QAccessible::Button);
    EXPECT_EQ(nameOf(row), "Halo") << "the title, not the detail line under it";
    EXPECT_EQ(row->text(QAccessible::Value), "Halo");
    EXPECT_EQ(row->text(QAccessible::Description), "item");
    EXPECT_EQ(row->parent(), table);
    EXPECT_EQ(table->indexOfChild(row), 1);
    EXPECT_EQ(table->child(1), row) << "a row keeps its interface";
    EXPECT_EQ(table->child(3), nullptr);

    QAccessibleActionInterface* actions = row->actionInterface();
    ASSERT_TRUE(actions);
    EXPECT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    EXPECT_EQ(actions->localizedActionDescription(QAccessibleActionInterface::pressAction()), "selected");
    EXPECT_FALSE(row->state().selected);

    press(row);
    EXPECT_EQ(songs->tableView()->selectedRow(), 1) << "pressing selects the row";
    EXPECT_TRUE(row->state().selected);
    ASSERT_EQ(host.opened.size(), 1u) << "and opens it, once";
    EXPECT_EQ(host.open->mediaFileURL().toLocalFile(), "/music/Halo.m4a");
}

TEST_F(ScreenReaderTest, EveryKindOfCellReadsWhatItShowsFirst)
{
    auto album = loaded(SimpleSongsController::songsWithTracks(services(), library.music, "I Am", SimpleSongsController::Order::trackNumber));
    QAccessibleInterface* plain = accessibleTable(*album);
    ASSERT_TRUE(plain);
    EXPECT_EQ(nameOf(plain->child(0)), "Crazy in Love");
    EXPECT_EQ(nameOf(plain->child(1)), "Single Ladies");

    auto albums = loaded(SimpleAlbumsController::albumsWithTracks(services(), library.music, "Beyoncé"));
    QAccessibleInterface* detailed = accessibleTable(*albums);
    ASSERT_TRUE(detailed);
    EXPECT_EQ(nameOf(detailed->child(0)), "All Songs");
    EXPECT_EQ(nameOf(detailed->child(1)), "Dangerously") << "the album, not its artist";
    EXPECT_EQ(detailed->child(1)->text(QAccessible::Description), "item");
}

TEST_F(ScreenReaderTest, RowsFollowTheFilterAndTheKeyboardFocus)
{
    QWidget window;
    window.resize(340, 400);
    auto songs = loaded(SimpleSongsController::songs(services()));
    songs->view()->setParent(&window);
    songs->view()->setGeometry(window.rect());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QAccessibleInterface* table = accessibleTable(*songs);
    ASSERT_TRUE(table);
    QAccessibleInterface* last = table->child(2);
    ASSERT_TRUE(last);
    EXPECT_FALSE(last->state().offscreen);
    EXPECT_TRUE(window.geometry().contains(last->rect().center())) << "the row's place on the screen";

    songs->setSearchString("halo");
    EXPECT_EQ(table->childCount(), 1);
    EXPECT_FALSE(last->isValid()) << "a row filtered away is gone";
    EXPECT_EQ(nameOf(table->child(0)), "Halo");
    songs->setSearchString({});
    EXPECT_TRUE(last->isValid());

    songs->tableView()->setFocus();
    QTest::keyClick(songs->tableView(), Qt::Key_Down);
    QTest::keyClick(songs->tableView(), Qt::Key_Down);
    QAccessibleInterface* focused = table->focusChild();
    ASSERT_TRUE(focused);
    EXPECT_EQ(table->indexOfChild(focused), 1);
    EXPECT_TRUE(focused->state().focused);
    const QPoint centre = focused->rect().center();
    EXPECT_EQ(table->childAt(centre.x(), centre.y()), focused) << "a point of the screen finds its row";
}

TEST_F(ScreenReaderTest, PressingAMenuRowChoosesItAndAHeadingDoesNothing)
{
    QWidget window;
    SimpleBrowserController pane(services(), &window);
    auto* menu = dynamic_cast<SimpleMainMenuController*>(pane.navigationController()->visibleViewController());
    ASSERT_TRUE(menu);
    QAccessibleInterface* table = accessibleTable(*menu);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->text(QAccessible::Name), "Media Browser");

    QAccessibleInterface* heading = table->child(0);
    EXPECT_EQ(nameOf(heading), "LIBRARY");
    EXPECT_FALSE(heading->state().selectable);
    EXPECT_FALSE(heading->state().focusable) << "a heading is no stop for the focus";
    press(heading);
    EXPECT_EQ(menu->tableView()->selectedRow(), -1);
    EXPECT_EQ(pane.navigationController()->viewControllers().size(), 1u);

    QAccessibleInterface* songsRow = table->child(1);
    EXPECT_EQ(nameOf(songsRow), "Songs");
    EXPECT_TRUE(songsRow->state().selectable);
    EXPECT_TRUE(songsRow->state().focusable);
    press(songsRow);
    ASSERT_EQ(pane.navigationController()->viewControllers().size(), 2u);
    EXPECT_TRUE(dynamic_cast<SimpleSongsController*>(pane.navigationController()->visibleViewController()));
}

TEST_F(ScreenReaderTest, ATableWithoutAnActionIgnoresThePress)
{
    auto songs = loaded(SimpleSongsController::songs(services()));
    SimpleBrowserTable* table = songs->tableView();
    int runs = 0;
    table->setAction([&](int) { ++runs; });
    press(accessibleTable(*songs)->child(0));
    EXPECT_EQ(runs, 1);

    table->setAction(nullptr);
    press(accessibleTable(*songs)->child(2));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(table->selectedRow(), 0) << "nothing is selected either";
    EXPECT_TRUE(host.opened.empty());
}

// The browser as a user drives it: a music library written as an XML file
// over audio files made by the test, the pane in a window under the offscreen
// platform, and a host that records what it is handed.
#include "tests/source/browser/BrowserFixtures.h"

#include "platform/foundation/Localizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "source/browser/NavigationController.h"
#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleArtistsController.h"
#include "source/browser/SimpleBrowserController.h"
#include "source/browser/SimpleMainMenuController.h"
#include "source/browser/SimplePlaylistsController.h"
#include "source/browser/SimpleRingtoneSetController.h"
#include "source/browser/SimpleSongsController.h"
#include "source/media_library/XMLMediaLibrary.h"
#include "tests/source/media_library/LibraryFixtures.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"
#include "tests/support/ShownTexts.h"
#include "ZNTUtilities/Fonts.h"
#include "tests/support/FileFixtures.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <cmath>

using namespace browsertest;
namespace pl = tolvan::test::plist;

namespace {

struct Song {
    qint64 id;
    QString name, artist, album, genre;
    int trackNumber;
    QString played;  // "Play Date UTC", or empty
};

const QList<Song> songs{
    {1, "Halo", "Beyoncé", "I Am", "Pop", 2, "2024-05-01T10:00:00Z"},
    {2, "Crazy in Love", "Beyoncé", "Dangerously", "Pop", 1, ""},
    {3, "Single Ladies", "Beyoncé", "I Am", "Pop", 1, "2024-05-03T10:00:00Z"},
    {4, "Take Five", "Dave Brubeck", "Time Out", "Jazz", 3, "2024-05-02T10:00:00Z"},
    {5, "Blue Rondo", "Dave Brubeck", "Time Out", "Jazz", 1, ""},
    {6, "10 Seconds", "Nobody", "", "Noise", 1, "2024-04-01T10:00:00Z"},
};

// Right-clicks the table at point and, when a menu pops up, clicks its
// first item; answers the titles of the menu's items (none without a menu).
QStringList rightClickAndChooseFirstItem(SimpleBrowserTable* table, QPoint point)
{
    auto items = std::make_shared<QStringList>();
    QTimer::singleShot(0, [items] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || menu->actions().isEmpty())
            return;
        for (const QAction* action : menu->actions())
            *items << action->text();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().first()).center());
    });
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, point, table->viewport()->mapToGlobal(point));
    QApplication::sendEvent(table->viewport(), &rightClick);
    tolvan::test::drainEvents(20);
    if (QWidget* left = QApplication::activePopupWidget())
        left->close();
    return *items;
}

class ScenarioTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        registerFontSubstitutions();
        library = loadLibrary(writeLibrary());
        ASSERT_TRUE(library);
        window.resize(340, 560);
        pane = new SimpleBrowserController(services(), &window);
        pane->setGeometry(0, 0, 340, 560);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    BrowserServices services() { return {&host, library.get(), included(), defaults.get()}; }
    virtual IncludedLibrary* included() { return &IncludedLibrary::defaultLibrary(); }

    QString songPath(qint64 id) const { return dir.filePath(QString("song%1.wav").arg(id)); }

    QString writeLibrary()
    {
        QList<std::pair<QString, QString>> tracks;
        for (const Song& song : songs) {
            std::vector<int16_t> tone(8000);
            for (std::size_t i = 0; i < tone.size(); ++i)
                tone[i] = int16_t(8000 * std::sin(i * 0.05 * double(song.id)));
            QFile file(songPath(song.id));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(tolvan::test::wavOf16BitSamples(8000, 1, tone));
            QList<std::pair<QString, QString>> entries{{"Track ID", pl::integer(song.id)},
                                                       {"Name", pl::string(song.name)},
                                                       {"Artist", pl::string(song.artist)},
                                                       {"Genre", pl::string(song.genre)},
                                                       {"Track Number", pl::integer(song.trackNumber)},
                                                       {"Track Type", pl::string("File")},
                                                       {"Location", pl::string(QUrl::fromLocalFile(songPath(song.id)).toString())}};
            if (!song.album.isEmpty())
                entries.append({"Album", pl::string(song.album)});
            if (!song.played.isEmpty())
                entries.append({"Play Date UTC", pl::date(song.played)});
            tracks.append({QString::number(song.id), pl::dict(entries)});
        }
        auto playlist = [](const QString& name, QList<std::pair<QString, QString>> extra, std::initializer_list<qint64> ids) {
            extra.prepend({"Name", pl::string(name)});
            extra.append({"Playlist Items", pl::playlistItems(ids)});
            return pl::dict(extra);
        };
        const QString playlists = pl::array({
            playlist("Library", {{"Master", pl::boolean(true)}, {"Visible", pl::boolean(false)}}, {1, 2, 3, 4, 5, 6}),
            playlist("Music", {{"Music", pl::boolean(true)}, {"Distinguished Kind", pl::integer(4)}}, {1, 2, 3, 4, 5, 6}),
            playlist("Road Trip", {}, {5, 1, 4}),
            playlist("Nothing Yet", {}, {}),
        });
        const QString text = pl::document(pl::dict({{"Major Version", pl::integer(1)}, {"Tracks", pl::dict(tracks)}, {"Playlists", playlists}}));
        const QString path = dir.filePath("Library.xml");
        tolvan::test::writeFile(path, text.toUtf8());
        return path;
    }

    std::unique_ptr<XMLMediaLibrary> loadLibrary(const QString& path)
    {
        defaults->setValue("iTunesRecentDatabasePaths", QStringList{path});
        auto loaded = std::make_unique<XMLMediaLibrary>(*defaults);
        EXPECT_TRUE(tolvan::test::waitUntil([&] { return !loaded->loading() && loaded->masterMusicPlaylist(); }, 30000));
        return loaded;
    }

    NavigationController* stack() { return pane->navigationController(); }
    template <class List>
    List* visible()
    {
        return dynamic_cast<List*>(stack()->visibleViewController());
    }

    // Waits for the visible list's rows and the end of the slide.
    template <class List>
    List* arrive()
    {
        EXPECT_TRUE(tolvan::test::waitUntil([&] {
            auto* list = visible<List>();
            return list && !list->isLoading() && !stack()->isSliding();
        }, 10000));
        return visible<List>();
    }

    void click(BrowserListController* list, int row)
    {
        SimpleBrowserTable* table = list->tableView();
        const QRect rect = table->visualRect(table->model()->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
    }

    int rowTitled(BrowserListController* list, const QString& title)
    {
        for (int row = 0; row < list->arrangedRows().rowCount(); ++row) {
            if (list->arrangedRows().rowAt(row)->title == title)
                return row;
        }
        ADD_FAILURE() << "no row " << title.toStdString();
        return -1;
    }

    static QStringList titles(BrowserListController* list)
    {
        QStringList out;
        for (int row = 0; row < list->arrangedRows().rowCount(); ++row)
            out << list->arrangedRows().rowAt(row)->title;
        return out;
    }

    QString openedPath() const { return host.open ? host.open->mediaFileURL().toLocalFile() : QString(); }

    std::unique_ptr<XMLMediaLibrary> library;
    QWidget window;
    SimpleBrowserController* pane = nullptr;
};

}  // namespace

TEST_F(ScenarioTest, OpenSongsFilterOpenASongAndGoBack)
{
    auto* menu = visible<SimpleMainMenuController>();
    ASSERT_TRUE(menu);
    click(menu, rowTitled(menu, "Songs"));
    auto* list = arrive<SimpleSongsController>();
    ASSERT_TRUE(list);
    EXPECT_EQ(titles(list), (QStringList{"Blue Rondo", "Crazy in Love", "Halo", "Single Ladies", "Take Five", "10 Seconds"}));

    QTest::keyClicks(pane->searchField(), "BEYONCE");
    EXPECT_EQ(titles(list), (QStringList{"Crazy in Love", "Halo", "Single Ladies"})) << "the artist, without its accent";
    click(list, rowTitled(list, "Halo"));
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(openedPath(), songPath(1));
    EXPECT_EQ(host.open->title(), "Halo");

    list->tableView()->setFocus();
    QTest::keyClick(list->tableView(), Qt::Key_Left);
    EXPECT_TRUE(arrive<SimpleMainMenuController>());
    EXPECT_TRUE(pane->searchField()->text().isEmpty()) << "a covered filtering list empties the field";
    EXPECT_EQ(menu->tableView()->selectedRow(), -1) << "the menu shows no selection on return";
}

TEST_F(ScenarioTest, ArtistThenAlbumsThenSongsInTrackOrder)
{
    auto* menu = visible<SimpleMainMenuController>();
    click(menu, rowTitled(menu, "Artists"));
    auto* artists = arrive<SimpleArtistsController>();
    ASSERT_TRUE(artists);
    EXPECT_EQ(titles(artists), (QStringList{"Beyoncé", "Dave Brubeck", "Nobody"}));

    QTest::keyClicks(pane->searchField(), "dave");
    ASSERT_EQ(titles(artists), QStringList{"Dave Brubeck"});
    click(artists, 0);
    auto* onlyAlbum = arrive<SimpleSongsController>();
    ASSERT_TRUE(onlyAlbum) << "one album: the songs at once";
    EXPECT_EQ(titles(onlyAlbum), (QStringList{"Blue Rondo", "Take Five"})) << "by track number";
    EXPECT_TRUE(pane->searchField()->text().isEmpty());
    stack()->popViewControllerAnimated(false);
    EXPECT_EQ(pane->searchField()->text(), "dave") << "the artists list puts its filter back";

    pane->searchField()->clear();
    click(artists, rowTitled(artists, "Beyoncé"));
    auto* albums = arrive<SimpleAlbumsController>();
    ASSERT_TRUE(albums);
    EXPECT_EQ(titles(albums), (QStringList{"All Songs", "Dangerously", "I Am"}));
    click(albums, rowTitled(albums, "I Am"));
    auto* album = arrive<SimpleSongsController>();
    ASSERT_TRUE(album);
    EXPECT_EQ(album->title(), "I Am");
    EXPECT_EQ(titles(album), (QStringList{"Single Ladies", "Halo"}));

    stack()->popViewControllerAnimated(false);
    click(albums, 0);
    auto* all = arrive<SimpleSongsController>();
    ASSERT_TRUE(all);
    EXPECT_EQ(all->title(), "All Songs");
    EXPECT_EQ(titles(all), (QStringList{"Crazy in Love", "Halo", "Single Ladies"})) << "by title";
    EXPECT_EQ(stack()->viewControllers().size(), 4u);
}

TEST_F(ScenarioTest, APlaylistKeepsItsOwnOrderAndEmptyOnesAreHidden)
{
    auto* menu = visible<SimpleMainMenuController>();
    click(menu, rowTitled(menu, "Playlists"));
    auto* playlists = arrive<SimplePlaylistsController>();
    ASSERT_TRUE(playlists);
    EXPECT_EQ(titles(playlists), QStringList{"Road Trip"});
    click(playlists, 0);
    auto* trip = arrive<SimpleSongsController>();
    ASSERT_TRUE(trip);
    EXPECT_EQ(trip->look(), SimpleSongsController::Look::detailed);
    EXPECT_EQ(titles(trip), (QStringList{"Blue Rondo", "Halo", "Take Five"}));
}

TEST_F(ScenarioTest, TypingInTheMenuSearchesAllSongs)
{
    QTest::keyClicks(pane->searchField(), "jazz");
    auto* list = arrive<SimpleSongsController>();
    ASSERT_TRUE(list);
    EXPECT_EQ(stack()->viewControllers().size(), 2u);
    EXPECT_EQ(titles(list), (QStringList{"Blue Rondo", "Take Five"})) << "the genre matches";
    QTest::keyClicks(pane->searchField(), "z");
    EXPECT_EQ(stack()->viewControllers().size(), 2u) << "more typing filters the same list";
    EXPECT_TRUE(titles(list).isEmpty());

    stack()->popViewControllerAnimated(false);
    pane->setSearchString("   ");
    EXPECT_EQ(stack()->viewControllers().size(), 1u) << "blank is no search";
}

TEST_F(ScenarioTest, KeysOpenTheSelectedRowAndTheSpaceBarGoesToTheHostFirst)
{
    pane->setSearchString("Take");
    auto* list = arrive<SimpleSongsController>();
    ASSERT_TRUE(list);
    SimpleBrowserTable* table = list->tableView();
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_TRUE(host.opened.empty()) << "nothing selected: nothing opens";

    table->selectRow(0);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Right, Qt::Key_Space})
        QTest::keyClick(table, key);
    EXPECT_EQ(host.opened.size(), 4u);
    EXPECT_EQ(openedPath(), songPath(4));

    host.wantsSpace = true;
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_EQ(host.spaces, 1);
    EXPECT_EQ(host.opened.size(), 4u) << "the host took the space bar";

    QTest::keyPress(table, Qt::Key_Shift, Qt::ShiftModifier);
    const std::size_t pressed = host.flags.size();
    EXPECT_GT(pressed, 0u) << "every change of the modifier keys goes to the host";
    QTest::keyRelease(table, Qt::Key_Shift);
    EXPECT_GT(host.flags.size(), pressed);

    table->clearFocus();
    host.wantsSpace = false;
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(host.opened.size(), 4u) << "only the focused table opens rows";
}

TEST_F(ScenarioTest, TheArrowKeysStepOverTheHeadings)
{
    auto* menu = visible<SimpleMainMenuController>();
    SimpleBrowserTable* table = menu->tableView();
    const auto selectedTitle = [&] { return table->selectedRow() < 0 ? std::string() : titles(menu).at(table->selectedRow()).toStdString(); };
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(selectedTitle(), "Songs") << "the first row that can be chosen, not the LIBRARY heading";
    QTest::keyClick(table, Qt::Key_Up);
    EXPECT_EQ(selectedTitle(), "Songs") << "only a heading lies above: the selection stays";

    const int ringtones = rowTitled(menu, "RINGTONES");
    ASSERT_LT(ringtones + 1, menu->arrangedRows().rowCount()) << "the shipped tone sets follow the heading";
    table->selectRow(rowTitled(menu, "Playlists"));
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(table->selectedRow(), ringtones + 1) << "over the RINGTONES heading to the first set";
    QTest::keyClick(table, Qt::Key_Up);
    EXPECT_EQ(selectedTitle(), "Playlists");
    QTest::keyClick(table, Qt::Key_End);
    EXPECT_EQ(table->selectedRow(), menu->arrangedRows().rowCount() - 1);
    QTest::keyClick(table, Qt::Key_Home);
    EXPECT_EQ(selectedTitle(), "Songs");
    QTest::keyClick(table, Qt::Key_PageUp);
    EXPECT_EQ(selectedTitle(), "Songs");
    EXPECT_EQ(stack()->viewControllers().size(), 1u) << "moving opens nothing";
}

TEST_F(ScenarioTest, SelectionFollowsTheOpenSourceAndTheContextMenuRevealsTheFile)
{
    pane->setSearchString("Halo");
    auto* list = arrive<SimpleSongsController>();
    ASSERT_TRUE(list);
    click(list, 0);
    pane->selectedAssetChanged();
    EXPECT_EQ(list->tableView()->selectedRow(), 0) << "the open song stays selected";
    host.openSource(TolvanSource::sourceWithFile(QUrl::fromLocalFile(songPath(6))));
    pane->selectedAssetChanged();
    EXPECT_EQ(list->tableView()->selectedRow(), -1) << "another source clears it";

    SimpleBrowserTable* table = list->tableView();
    const QRect first = table->visualRect(table->model()->index(0, 0));
    const QStringList items = rightClickAndChooseFirstItem(table, first.center());
    EXPECT_EQ(items.join(" | ").toStdString(), "Show in File Manager");
    EXPECT_EQ(tolvan::test::foreignDesktopNamesReport(items), "");
    EXPECT_EQ(host.revealed, std::vector<QString>{songPath(1)});
    EXPECT_TRUE(rightClickAndChooseFirstItem(table, first.center() + QPoint(0, 200)).isEmpty()) << "no menu below the last row";
    EXPECT_EQ(host.revealed.size(), 1u);
}

TEST_F(ScenarioTest, BrowsingToASongByNameLeavesTheMenuAndOneSongsList)
{
    auto* menu = visible<SimpleMainMenuController>();
    click(menu, rowTitled(menu, "Artists"));
    arrive<SimpleArtistsController>();
    pane->browseToAndSelectSongNamed("Take Five");
    ASSERT_EQ(stack()->viewControllers().size(), 2u);
    auto* list = visible<SimpleSongsController>();
    ASSERT_TRUE(list);
    EXPECT_EQ(openedPath(), songPath(4));
    EXPECT_EQ(list->arrangedRows().rowAt(list->tableView()->selectedRow())->title, "Take Five");
    BrowserListController::setSynchronousLoading(false);  // other tests load as the application usually does
}

TEST_F(ScenarioTest, TheMenuFollowsTheToneSettingAndIgnoresHeadings)
{
    auto* menu = visible<SimpleMainMenuController>();
    const int before = menu->arrangedRows().rowCount();
    EXPECT_TRUE(titles(menu).contains("RINGTONES"));
    click(menu, 0);
    click(menu, rowTitled(menu, "RINGTONES"));
    EXPECT_EQ(stack()->viewControllers().size(), 1u) << "headings cannot be chosen";
    EXPECT_EQ(menu->tableView()->selectedRow(), -1);

    // A row without an action does nothing, even right after one with an action.
    BrowserRows rows(3);
    rows[0].title = "LIBRARY";
    rows[0].isGroup = true;
    rows[1].title = "Songs";
    rows[1].itemType = rows[2].itemType = "songs";
    rows[1].action = BrowserRow::MenuAction::selectLibraryItem;
    rows[2].title = "Inert";
    menu->rows().setRows(std::move(rows));
    const QStringList eventsBefore = loggedEvents();
    click(menu, 2);
    tolvan::test::drainEvents(50);
    EXPECT_EQ(stack()->viewControllers().size(), 1u);
    EXPECT_EQ(loggedEvents(), eventsBefore);

    defaults->setValue("showIncludedRingtones", false);
    EXPECT_EQ(menu->arrangedRows().rowCount(), 7) << "the tone sets go at once";
    EXPECT_LT(7, before);

    host.recording = true;
    menu->tableView()->selectRow(1);
    pane->selectedAssetChanged();
    EXPECT_EQ(menu->tableView()->selectedRow(), 1) << "kept while the recorder is the source";
    host.recording = false;
    pane->selectedAssetChanged();
    EXPECT_EQ(menu->tableView()->selectedRow(), -1);
}

// Every row of every set the application ships, clicked as a user would:
// a tone opens its file, the footer opens its web address; no row is
// selected and opens nothing.
TEST_F(ScenarioTest, EveryRowOfTheShippedSetsOpensAToneOrItsLink)
{
    auto* menu = visible<SimpleMainMenuController>();
    QStringList sets;
    for (int row = rowTitled(menu, "RINGTONES") + 1; row < menu->arrangedRows().rowCount(); ++row)
        sets << menu->arrangedRows().rowAt(row)->title;
    ASSERT_TRUE(sets.contains("Alerts"));
    for (const QString& name : sets) {
        click(menu, rowTitled(menu, name));
        auto* set = arrive<SimpleRingtoneSetController>();
        ASSERT_TRUE(set) << name.toStdString();
        for (int row = 0; row < set->arrangedRows().rowCount(); ++row) {
            const QString title = set->arrangedRows().rowAt(row)->title;
            const auto opened = host.opened.size();
            const auto links = host.urls.size();
            click(set, row);
            const std::string where = name.toStdString() + " row \"" + title.toStdString() + "\"";
            if (host.urls.size() > links) {
                EXPECT_EQ(row, set->arrangedRows().rowCount() - 1) << where << ": only the footer opens a link";
                EXPECT_EQ(set->tableView()->selectedRow(), -1) << where;
                continue;
            }
            ASSERT_EQ(host.opened.size(), opened + 1) << where << " opens neither a tone nor a link";
            EXPECT_TRUE(QFileInfo(openedPath()).isFile()) << where << " opens " << openedPath().toStdString();
            ASSERT_TRUE(host.open->mediaInfo()) << where;
            EXPECT_TRUE(host.open->mediaInfo()->value("includedRingtone").toBool()) << where;
        }
        stack()->popViewControllerAnimated(false);
    }
}

// A tone set of the test's own, with a footer.
class ToneSetScenarioTest : public ScenarioTest {
protected:
    void SetUp() override
    {
        const QString resources = toneDir.filePath("resources");
        QDir().mkpath(resources + "/included/bells");
        QDir().mkpath(resources + "/strings");
        for (const char* name : {"b-ding.wav", "a-dong.wav"}) {
            QFile file(resources + "/included/bells/" + name);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(tolvan::test::wavOf16BitSamples(8000, 1, std::vector<int16_t>(4000, 1000)));
        }
        QFile footer(resources + "/included/bells/footer.plist");
        EXPECT_TRUE(footer.open(QIODevice::WriteOnly));
        footer.write(pl::document(pl::dict({{"footerItem", pl::boolean(true)},
                                            {"title", pl::string("More bells on our web site")},
                                            {"link", pl::string("https://example.invalid/bells")}}))
                         .toUtf8());
        footer.close();
        localizer = std::make_unique<tolvan::Localizer>(resources + "/strings");
        tones = std::make_unique<IncludedLibrary>(resources, *localizer);
        ScenarioTest::SetUp();
    }
    IncludedLibrary* included() override { return tones.get(); }

    QTemporaryDir toneDir;
    std::unique_ptr<tolvan::Localizer> localizer;
    std::unique_ptr<IncludedLibrary> tones;
};

TEST_F(ToneSetScenarioTest, TonesOpenWithTheirDictionaryAndTheFooterOpensItsLink)
{
    auto* menu = visible<SimpleMainMenuController>();
    click(menu, rowTitled(menu, "bells"));
    auto* set = arrive<SimpleRingtoneSetController>();
    ASSERT_TRUE(set);
    EXPECT_EQ(titles(set), (QStringList{"a-dong.wav", "b-ding.wav", "More bells on our web site"}));
    SimpleBrowserTable* table = set->tableView();
    EXPECT_EQ(table->visualRect(table->model()->index(2, 0)).height(), 60);

    click(set, 2);
    EXPECT_EQ(table->selectedRow(), -1) << "the footer cannot be selected";
    EXPECT_EQ(host.urls, std::vector<QUrl>{QUrl("https://example.invalid/bells")});

    click(set, 0);
    ASSERT_TRUE(host.open);
    EXPECT_TRUE(host.open->mediaFileURL().toLocalFile().endsWith("/bells/a-dong.wav"));
    ASSERT_TRUE(host.open->mediaInfo());
    EXPECT_TRUE(host.open->mediaInfo()->value("includedRingtone").toBool());
    pane->selectedAssetChanged();
    EXPECT_EQ(table->selectedRow(), 0) << "the open tone stays selected";

    // A row without a file location opens nothing.
    set->rows().setRows(BrowserRows{SimpleRingtoneSetController::rowForEntry({{"title", "broken"}})});
    const auto opened = host.opened.size();
    click(set, 0);
    EXPECT_EQ(host.opened.size(), opened);

    set->rows().setRows(BrowserRows{SimpleRingtoneSetController::rowForEntry({{"title", "kept"}, {"Location", "file:///x.wav"}})});
    table->selectRow(0);
    const auto popped = stack()->popViewControllerAnimated(false);
    EXPECT_EQ(table->selectedRow(), -1) << "leaving the list clears its selection";
}

TEST_F(ToneSetScenarioTest, TheArrowKeysStopAtTheLastToneAboveTheFooter)
{
    auto* menu = visible<SimpleMainMenuController>();
    click(menu, rowTitled(menu, "bells"));
    auto* set = arrive<SimpleRingtoneSetController>();
    ASSERT_TRUE(set);
    SimpleBrowserTable* table = set->tableView();
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(table->selectedRow(), 1);
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(table->selectedRow(), 1) << "the footer is no row to stand on";
    QTest::keyClick(table, Qt::Key_End);
    EXPECT_EQ(table->selectedRow(), 1);
    EXPECT_TRUE(host.urls.empty());
}

// Lists opened while the library is still being read.
class LoadingLibraryTest : public BrowserTest {};

TEST_F(LoadingLibraryTest, ListsWaitForTheLoadWithTheSpinnerTurning)
{
    library.music = {track({.title = "Late", .artist = "Someone", .album = "One"}), track({.title = "Later", .artist = "Else", .album = "Two"})};
    library.playlists = {std::make_shared<FakePlaylist>("Mix", library.music)};
    library.setStillLoading(true);
    auto artists = SimpleArtistsController::artists(services());
    auto albums = SimpleAlbumsController::albums(services());
    auto songs = SimpleSongsController::songs(services());
    auto playlists = SimplePlaylistsController::playlists(services());
    playlists->view();
    tolvan::test::drainEvents(300);
    EXPECT_TRUE(artists->isLoading() && artists->isSpinning());
    EXPECT_TRUE(songs->isSpinning() && albums->isSpinning());
    EXPECT_EQ(playlists->arrangedRows().rowCount(), 0);

    library.setStillLoading(false);
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return !artists->isLoading() && !albums->isLoading() && !songs->isLoading(); }, 5000));
    EXPECT_FALSE(artists->isSpinning());
    EXPECT_EQ(artists->arrangedRows().rowCount(), 2);
    EXPECT_EQ(albums->arrangedRows().rowCount(), 2);
    EXPECT_EQ(songs->arrangedRows().rowCount(), 2);
    EXPECT_EQ(playlists->arrangedRows().rowCount(), 1);
}

TEST_F(LoadingLibraryTest, AListDestroyedWhileItWaitsStopsWaiting)
{
    library.music = {track({.title = "Never"})};
    library.setStillLoading(true);
    auto artists = SimpleArtistsController::artists(services());
    tolvan::test::drainEvents(100);
    QElapsedTimer timer;
    timer.start();
    artists.reset();
    EXPECT_LT(timer.elapsed(), 1000) << "the wait is cancelled";
    library.setStillLoading(false);
    tolvan::test::drainEvents(100);  // no rows reach the destroyed list
}

// The windows a user opens from the main window, each through its menu item
// or key: Preferences, the about panel and alerts open centred over the main
// window, Preferences closes with Escape and Ctrl+W; the main window's frame
// and full screen come back at the next launch; update checks at launch and
// from the menu show their result; the share button reaches the posting pages.
#include "tests/source/shell/ShellFixtures.h"

#include "platform/foundation/Bundle.h"
#include "platform/system/Updater.h"
#include "source/editor/EditorViewController.h"
#include "source/shell/AboutPanel.h"
#include "source/shell/BriscaAdapter.h"
#include "source/shell/ApplicationEditor.h"
#include "source/shell/PreferencesController.h"
#include "source/shell/PreferencesPanes.h"
#include "source/shell/TolvanMainWindow.h"
#include "tests/support/EventLoop.h"
#include "tests/support/HttpTestServer.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace shelltest;
using namespace tolvan;

namespace {

QAction* windowsMenuItem(TolvanController& controller, MenuAction wanted)
{
    for (QAction* top : controller.mainWindow()->menuBar()->actions())
        for (QAction* action : top->menu()->actions())
            if (menuActionOf(action) == wanted)
                return action;
    return nullptr;
}

// The main window on screen, with its menus. Its usual frame is centred on
// the test platform's 800 x 600 screen, so that a window centred over it
// fits the screen.
void showMainWindow(TolvanController& controller, const QRect& frame = QRect(-160, -60, 1120, 720))
{
    controller.buildApplicationMenus();
    controller.mainWindow()->setGeometry(frame);
    controller.mainWindow()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller.mainWindow()));
}

// Whether window sits centred over the main window, to the few pixels that
// rounding and the platform's window frames make.
::testing::AssertionResult centredOverMainWindow(const QWidget* window, TolvanController& controller)
{
    const QPoint offset = window->geometry().center() - controller.mainWindow()->geometry().center();
    if (offset.manhattanLength() <= 6)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << window->metaObject()->className() << " is off centre by " << offset.x() << "," << offset.y();
}

// A feed on 127.0.0.1 that lists build `version`.
struct UpdateFeed {
    explicit UpdateFeed(UserDefaults& defaults, const QByteArray& version)
    {
        server.body = R"(<rss><channel><item><enclosure url="https://example.org/get" version=")" + version
            + R"(" shortVersionString="0.9"/></item></channel></rss>)";
        defaults.setValue("UpdateFeedURL", server.url());
    }
    test::HttpTestServer server{"/appcast.xml"};
};

QMessageBox* waitForUpdateAlert(TolvanController& controller)
{
    QMessageBox* alert = nullptr;
    test::waitUntil([&] { return (alert = controller.mainWindow()->findChild<QMessageBox*>("updateCheckResult")) != nullptr; });
    return alert;
}

class WindowsOverMainTest : public ::testing::Test {
protected:
    // A second launch over the same settings, up to its window on screen.
    std::unique_ptr<TolvanController> relaunch()
    {
        TolvanServices services;
        services.defaults = &shell.scratch.defaults;
        services.library = &shell.library;
        services.includedLibrary = &IncludedLibrary::defaultLibrary();
        shell.controller.reset();
        auto next = std::make_unique<TolvanController>(services);
        // Frames smaller than the usual minimum fit the test platform's screen.
        next->mainWindow()->setMinimumSize(300, 200);
        next->buildApplicationMenus();
        next->applicationWillFinishLaunching();
        next->mainWindow()->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(next->mainWindow()));
        return next;
    }

    ShellHarness shell;
    TolvanController& controller = *shell.controller;
};

}  // namespace

TEST_F(WindowsOverMainTest, PreferencesOpenOverTheMainWindowAndCloseWithEscapeOrCtrlW)
{
    showMainWindow(controller);
    QAction* preferencesItem = windowsMenuItem(controller, MenuAction::ShowPreferences);
    ASSERT_TRUE(preferencesItem);
    const auto open = [&]() -> PreferencesController* {
        preferencesItem->trigger();
        PreferencesController* window = controller.preferencesController();
        if (!window || !QTest::qWaitForWindowActive(window))
            return nullptr;
        return window;
    };

    PreferencesController* preferences = open();
    ASSERT_TRUE(preferences);
    EXPECT_TRUE(centredOverMainWindow(preferences, controller));
    QTest::keyClick(preferences, Qt::Key_Escape);
    EXPECT_FALSE(preferences->isVisible()) << "Escape closes Preferences";

    // The main window has moved: Preferences follows it when it opens again.
    controller.mainWindow()->move(-140, -30);
    ASSERT_TRUE(test::waitUntil([&] { return controller.mainWindow()->frameGeometry().topLeft() == QPoint(-140, -30); }));
    ASSERT_EQ(open(), preferences) << "one window for the application's life";
    EXPECT_TRUE(centredOverMainWindow(preferences, controller));
    QTest::keyClick(preferences, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(preferences->isVisible()) << "Ctrl+W closes Preferences";
    EXPECT_TRUE(controller.mainWindow()->isVisible()) << "and only Preferences";
}

TEST_F(WindowsOverMainTest, TheAboutPanelShowsNameVersionAndIconOverTheMainWindow)
{
    showMainWindow(controller);
    windowsMenuItem(controller, MenuAction::About)->trigger();
    auto* panel = controller.mainWindow()->findChild<AboutPanel*>();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    EXPECT_TRUE(centredOverMainWindow(panel, controller));
    EXPECT_EQ(panel->windowTitle(), "About Tolvan");
    EXPECT_EQ(panel->nameLabel()->text(), Bundle::main().name());
    EXPECT_EQ(panel->versionLabel()->text(), QString("Version %1 (%2)").arg(Bundle::main().version(), Bundle::main().buildVersion()));
    const QPixmap icon = panel->iconView()->pixmap();
    ASSERT_FALSE(icon.isNull()) << "the application's icon";
    EXPECT_GE(icon.devicePixelRatio(), 2.0) << "drawn for high-density screens";
    // Room for the whole title beside the window manager's buttons.
    QFont titleFont = panel->font();
    titleFont.setBold(true);
    EXPECT_GE(panel->width(), QFontMetrics(titleFont).horizontalAdvance(panel->windowTitle()) + 150);
    for (QLabel* label : {panel->nameLabel(), panel->versionLabel()})
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString() << " is cut";
    shelltest::saveWindowPictures(*panel, "about-panel");

    windowsMenuItem(controller, MenuAction::About)->trigger();
    EXPECT_EQ(controller.mainWindow()->findChildren<AboutPanel*>().size(), 1) << "asking again shows the same panel";
    QTest::keyClick(panel, Qt::Key_Escape);
    EXPECT_TRUE(test::waitUntil([&] { return controller.mainWindow()->findChild<AboutPanel*>() == nullptr; }));
}

TEST_F(WindowsOverMainTest, AlertsOpenOverTheMainWindow)
{
    showMainWindow(controller);
    controller.saveRoadHost().presentError(Error{"X", 1, "Something went wrong"});
    auto* error = controller.mainWindow()->findChild<QMessageBox*>("errorAlert");
    ASSERT_TRUE(error);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(error));
    EXPECT_TRUE(centredOverMainWindow(error, controller));
    error->accept();

    // The reporting kit's prompt at launch, a modal alert of its own.
    bool promptCentred = false;
    QTimer::singleShot(100, [&] {
        auto* prompt = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(prompt);
        promptCentred = prompt->parentWidget() == controller.mainWindow() && centredOverMainWindow(prompt, controller);
        prompt->buttons().constLast()->click();
    });
    std::optional<std::size_t> answer;
    BriscaAdapter::shared().runModalAlert(BRSAlert{"Send Crash Report?", "", {"Send", "Don't Send"}},
                                          [&](std::optional<std::size_t> button) { answer = button; });
    ASSERT_TRUE(test::waitUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(promptCentred);

    EXPECT_EQ(mainWindowForAlerts(), controller.mainWindow()) << "the prompts' window while it is on screen";
    controller.mainWindow()->hide();
    EXPECT_EQ(mainWindowForAlerts(), nullptr);
}

TEST_F(WindowsOverMainTest, TheFrameComesBackAtTheNextLaunch)
{
    controller.mainWindow()->setMinimumSize(300, 200);
    showMainWindow(controller, QRect(60, 50, 640, 420));
    const QRect frame = controller.mainWindow()->geometry();
    windowsMenuItem(controller, MenuAction::PerformClose)->trigger();
    ASSERT_FALSE(controller.mainWindow()->isVisible());
    QFile stored(shell.scratch.dir.filePath("defaults.ini"));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_TRUE(stored.readAll().contains("mainWindowFrame")) << "on disk before the application ends";

    std::unique_ptr<TolvanController> next = relaunch();
    EXPECT_EQ(next->mainWindow()->geometry(), frame);
    EXPECT_FALSE(next->isFullScreen());
}

TEST_F(WindowsOverMainTest, FullScreenComesBackAtTheNextLaunchAndLeavesForTheFrameBefore)
{
    controller.mainWindow()->setMinimumSize(300, 200);
    controller.setFullScreenAnimationDuration(0.0);
    showMainWindow(controller, QRect(60, 50, 640, 420));
    const QRect frame = controller.mainWindow()->geometry();
    windowsMenuItem(controller, MenuAction::ToggleFullScreen)->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return controller.isFullScreen() && controller.mainWindow()->isFullScreen(); }));
    windowsMenuItem(controller, MenuAction::PerformClose)->trigger();

    std::unique_ptr<TolvanController> next = relaunch();
    EXPECT_TRUE(next->isFullScreen());
    EXPECT_EQ(windowsMenuItem(*next, MenuAction::ToggleFullScreen)->text(), "Exit Full Screen");
    EXPECT_TRUE(test::waitUntil([&] { return next->mainWindow()->isFullScreen(); })) << "opens in full screen";
    next->setFullScreenAnimationDuration(0.0);
    windowsMenuItem(*next, MenuAction::ToggleFullScreen)->trigger();
    EXPECT_TRUE(test::waitUntil([&] { return !next->isFullScreen() && next->mainWindow()->geometry() == frame; }))
        << "left at " << next->mainWindow()->geometry().width() << "x" << next->mainWindow()->geometry().height();
    EXPECT_FALSE(next->mainWindow()->isFullScreen());
}

TEST_F(WindowsOverMainTest, AutomaticUpdateChecksRunAtLaunchOnceSetInPreferences)
{
    UpdateFeed feed(shell.scratch.defaults, "9");
    showMainWindow(controller);
    controller.applicationDidFinishLaunching();
    test::drainEvents(300);
    EXPECT_TRUE(feed.server.requests.isEmpty()) << "no check unless asked for";

    windowsMenuItem(controller, MenuAction::ShowPreferences)->trigger();
    PreferencesController* preferences = controller.preferencesController();
    ASSERT_TRUE(preferences);
    preferences->toolbarItem("update")->trigger();
    auto* pane = static_cast<PreferencesUpdateController*>(preferences->paneViewController("update"));
    pane->autoCheckButton->click();
    preferences->close();

    std::unique_ptr<TolvanController> next = relaunch();
    next->applicationDidFinishLaunching();
    QMessageBox* alert = waitForUpdateAlert(*next);
    ASSERT_TRUE(alert) << "the launch's check found the newer version";
    EXPECT_EQ(feed.server.requests.size(), 1);
    EXPECT_EQ(alert->text(), "A new version is available!");
    EXPECT_EQ(alert->informativeText(), "Version 0.9 is now available.");
    EXPECT_TRUE(centredOverMainWindow(alert, *next));
    alert->close();
}

TEST_F(WindowsOverMainTest, AnAutomaticCheckThatFindsNothingNewStaysQuiet)
{
    UpdateFeed feed(shell.scratch.defaults, "1");
    controller.updater().setAutomaticallyChecksForUpdates(true);
    showMainWindow(controller);
    controller.applicationDidFinishLaunching();
    ASSERT_TRUE(test::waitUntil([&] { return feed.server.requests.size() == 1; }));
    test::drainEvents(300);
    EXPECT_FALSE(controller.mainWindow()->findChild<QMessageBox*>("updateCheckResult"));
}

TEST_F(WindowsOverMainTest, CheckForUpdatesOnACopyWithoutAFeedSaysWhoUpdatesItInABoxThatFitsItsText)
{
    // A copy from the package manager or a build of the user's own has no feed.
    showMainWindow(controller);
    windowsMenuItem(controller, MenuAction::CheckForUpdates)->trigger();
    QMessageBox* alert = waitForUpdateAlert(controller);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->icon(), QMessageBox::Information) << "no error";
    EXPECT_EQ(alert->text(), "This copy of Tolvan is updated by whoever installed it");
    EXPECT_EQ(alert->informativeText(),
              "It came from your system's packages or from a build of your own; its updates come the same way.");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(alert));
    for (QLabel* label : alert->findChildren<QLabel*>()) {
        if (label->text().isEmpty() || !label->isVisible())
            continue;
        // Each text shows whole in its label, in as many lines as it wraps to.
        const QRect needed = label->fontMetrics().boundingRect(label->contentsRect(), Qt::TextWordWrap, label->text());
        EXPECT_LE(needed.height(), label->contentsRect().height()) << label->text().toStdString();
        EXPECT_LE(needed.width(), label->contentsRect().width()) << label->text().toStdString();
    }
    const QLabel* informative = alert->findChild<QLabel*>("qt_msgbox_informativelabel");
    ASSERT_TRUE(informative);
    EXPECT_GE(informative->width(), 360) << "a box wide enough that the explanation reads in a few lines, not a narrow column";
    saveWindowPictures(*alert, "update-check-installed-copy");
    alert->close();
}

TEST_F(WindowsOverMainTest, CheckForUpdatesShowsItsResultWithoutTheUpdatePane)
{
    UpdateFeed feed(shell.scratch.defaults, "1");
    showMainWindow(controller);
    windowsMenuItem(controller, MenuAction::CheckForUpdates)->trigger();
    QMessageBox* alert = waitForUpdateAlert(controller);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), "You're up-to-date!");
    EXPECT_EQ(controller.preferencesController(), nullptr) << "Preferences were never opened";
    alert->close();
    ASSERT_TRUE(test::waitUntil([&] { return !controller.mainWindow()->findChild<QMessageBox*>("updateCheckResult"); }));

    // The pane's "Check Now..." tells its result the same way.
    feed.server.body.replace("version=\"1\"", "version=\"9\"");
    windowsMenuItem(controller, MenuAction::ShowPreferences)->trigger();
    controller.preferencesController()->setSelectedPaneWithIdentifier("update", false);
    static_cast<PreferencesUpdateController*>(controller.preferencesController()->paneViewController("update"))->checkNowButton->click();
    alert = waitForUpdateAlert(controller);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), "A new version is available!");
    alert->close();
    controller.preferencesController()->close();
}

TEST(ShareButtonTest, ReachesTheTwoPostingPages)
{
    ShellHarness shell(true);
    WorkspaceScope workspace;
    TolvanController& controller = *shell.controller;
    showMainWindow(controller);
    const QString song = shell.writeSong("share.wav", {.seconds = 3, .tags = {{"title", "Nocturne"}, {"artist", "Chopin"}}});
    controller.openSource(ShellHarness::sourceFor(song));
    EditorViewController& editor = dynamic_cast<ApplicationEditor&>(*controller.editorViewController()).editor();
    ASSERT_TRUE(test::waitUntil([&] { return editor.asset() && !editor.loadingAsset(); }, 20000));

    ASSERT_TRUE(controller.sharingButton()->isVisible());
    QTest::mousePress(controller.sharingButton(), Qt::LeftButton);
    ASSERT_TRUE(editor.sharingPicker() && editor.sharingPicker()->menu());
    QMenu* menu = editor.sharingPicker()->menu();
    QStringList titles;
    for (QAction* action : menu->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{"Copy", "Facebook", "Twitter"})) << "mail is left out";

    menu->actions().at(1)->trigger();
    menu->actions().at(2)->trigger();
    menu->close();
    ASSERT_EQ(workspace.log->addresses.size(), 2);
    const QUrl facebook = workspace.log->addresses[0], twitter = workspace.log->addresses[1];
    EXPECT_EQ(facebook.path(), "/dialog/feed");
    EXPECT_EQ(QUrlQuery(facebook).queryItemValue("message", QUrl::FullyDecoded), editor.sharingMessageWithLimit(false));
    EXPECT_EQ(twitter.path(), "/home");
    EXPECT_EQ(QUrlQuery(twitter).queryItemValue("status", QUrl::FullyDecoded), editor.sharingMessageWithLimit(true));
    EXPECT_TRUE(editor.sharingMessageWithLimit(true).contains("Nocturne by Chopin"));
}

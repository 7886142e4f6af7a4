// The controller with a stand-in editor: what the content area shows, every
// road of opening and its errors, folder access, keys, menus and start-up.
#include "tests/source/shell/ShellFixtures.h"

#include "platform/media/MediaError.h"
#include "source/browser/WelcomeViewController.h"
#include "source/editor/ErrorViewController.h"
#include "source/engine/TolvanError.h"
#include "source/shell/TolvanMainWindow.h"
#include "source/shell/TolvanScreenshots.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace shelltest;
using namespace tolvan;

TEST(ContentChoiceTest, AssetThenRecordingThenErrorThenWelcome)
{
    const struct {
        bool asset, recording, error;
        ContentKind shown;
    } cases[] = {
        {true, true, true, ContentKind::Editor},      {false, true, true, ContentKind::Recording},
        {false, false, true, ContentKind::Error},     {false, false, false, ContentKind::Welcome},
        {true, false, false, ContentKind::Editor},    {false, true, false, ContentKind::Recording},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseContent(c.asset, c.recording, c.error), c.shown) << c.asset << c.recording << c.error;
}

class ControllerTest : public ::testing::Test {
protected:
    ShellHarness shell;
    TolvanController& controller = *shell.controller;
};

TEST_F(ControllerTest, StartsOnTheWelcomeScreenAndOpensASong)
{
    EXPECT_EQ(controller.contentKind(), ContentKind::Welcome);
    EXPECT_EQ(controller.contentView(), controller.welcomeViewController());
    EXPECT_FALSE(controller.showEditorControls());
    EXPECT_EQ(controller.mainWindow()->windowTitle(), "Tolvan");

    const QString song = shell.writeSong("tone.wav");
    controller.openSource(ShellHarness::sourceFor(song));
    EXPECT_EQ(controller.contentKind(), ContentKind::Editor);
    EXPECT_EQ(controller.contentView(), shell.editor->view());
    EXPECT_EQ(controller.contentView()->parentWidget(), reinterpret_cast<QWidget*>(controller.previewBackground()));
    ASSERT_TRUE(shell.editor->asset());
    EXPECT_TRUE(controller.showEditorControls());

    const int loads = shell.editor->loads;
    controller.openSource(ShellHarness::sourceFor(song));
    EXPECT_EQ(shell.editor->loads, loads) << "the source already open is not opened again";
    controller.reopenSource(ShellHarness::sourceFor(song));
    EXPECT_EQ(shell.editor->loads, loads + 1) << "the open panel's road opens it afresh";

    controller.clearSelection();
    EXPECT_EQ(controller.contentKind(), ContentKind::Welcome);
    EXPECT_FALSE(shell.editor->asset());
}

TEST_F(ControllerTest, TheContentViewsGoWithTheController)
{
    const QPointer<QWidget> welcome = controller.welcomeViewController();
    const QPointer<QWidget> recorder = controller.recordViewController()->view();
    controller.openSource(ShellHarness::sourceFor(shell.writeSong("tone.wav")));
    ASSERT_EQ(controller.contentKind(), ContentKind::Editor);
    ASSERT_FALSE(welcome->parent()) << "out of the window while the editor shows";

    shell.controller.reset();
    EXPECT_FALSE(welcome) << "it would outlive the library it shows";
    EXPECT_FALSE(recorder);
}

TEST_F(ControllerTest, OpeningErrorsShowTheErrorView)
{
    const struct {
        QString path;
        QString domain;
        qint64 code;
    } cases[] = {
        {shell.home.filePath("Music/missing.mp3"), NSCocoaErrorDomain, NSFileNoSuchFileError},
        {shell.home.filePath("Music"), NSCocoaErrorDomain, NSFileNoSuchFileError},
        {shell.home.filePath("notes.wav"), TolvanErrorDomain, TolvanErrorNoAudio},
    };
    QDir().mkpath(shell.home.filePath("Music"));
    test::writeBytes(shell.home.filePath("notes.wav"), "no audio in here");
    for (const auto& c : cases) {
        controller.openSource(ShellHarness::sourceFor(c.path));
        ASSERT_EQ(controller.contentKind(), ContentKind::Error) << c.path.toStdString();
        EXPECT_EQ(controller.errorViewController()->error().domain, c.domain);
        EXPECT_EQ(controller.errorViewController()->error().code, c.code);
        EXPECT_FALSE(controller.selectedAsset());
        EXPECT_TRUE(controller.selectedSource()) << "a failed open keeps its source";
    }

    // A library track whose location is an address, not a file.
    controller.openSource(TolvanSource::sourceWithFile(QUrl("https://example.com/stream.mp3")));
    ASSERT_EQ(controller.contentKind(), ContentKind::Error);
    EXPECT_EQ(controller.errorViewController()->error().code, NSFileNoSuchFileError);

    controller.setRecordingSelected(true);
    EXPECT_EQ(controller.contentKind(), ContentKind::Recording) << "the recorder comes before an error";
    EXPECT_EQ(controller.errorViewController(), nullptr);
    controller.reportError(Error{"X", 1, "broken"});
    EXPECT_EQ(controller.contentKind(), ContentKind::Recording);
    controller.setRecordingSelected(false);
    EXPECT_EQ(controller.contentKind(), ContentKind::Welcome);
}

TEST_F(ControllerTest, UnreadableFileAsksForItsFolderOnceThenSaysNoPermission)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser reads every file";
    const QString song = shell.writeSong("locked/tone.wav");
    QFile::setPermissions(song, QFileDevice::WriteOwner);
    const QString before = shell.writeSong("open.wav");
    controller.openSource(ShellHarness::sourceFor(before));

    controller.openSource(ShellHarness::sourceFor(song));
    auto* panel = controller.mainWindow()->findChild<QFileDialog*>();
    ASSERT_TRUE(panel) << "the access panel";
    EXPECT_EQ(QFileInfo(panel->directory().absolutePath()).canonicalFilePath(), QFileInfo(shell.home.filePath("Music")).canonicalFilePath());
    controller.accessRequestDidEnd(ShellHarness::sourceFor(song), std::nullopt);
    EXPECT_EQ(controller.selectedSource()->mediaFileURL().toLocalFile(), before) << "cancelling leaves what was open";
    EXPECT_EQ(controller.contentKind(), ContentKind::Editor);

    controller.accessRequestDidEnd(ShellHarness::sourceFor(song), shell.home.filePath("Music"));
    EXPECT_EQ(controller.contentKind(), ContentKind::Error) << "granted and still unreadable: said, not asked again";
    EXPECT_EQ(controller.errorViewController()->error().code, kFileReadNoPermissionError);
    EXPECT_EQ(shell.scratch.defaults.arrayValue("accessBookmarks").size(), 1);
    delete panel;
}

TEST_F(ControllerTest, GrantedFoldersAreKeptAcrossLaunches)
{
    QTemporaryDir folders;
    for (const char* name : {"a", "b", "c", "d"}) {
        QDir().mkpath(folders.filePath(name));
        controller.bookmarkAccessURL(folders.filePath(name));
    }
    controller.bookmarkAccessURL(folders.filePath("d"));
    const QVariantList stored = shell.scratch.defaults.arrayValue("accessBookmarks");
    ASSERT_EQ(stored.size(), 3);
    EXPECT_TRUE(stored[0].toByteArray().endsWith("/d"));
    EXPECT_TRUE(stored[2].toByteArray().endsWith("/b"));
    EXPECT_FALSE(pathIsInsideFolders(folders.filePath("a/x.mp3"), controller.grantedFolders())) << "the cut entry's access ends";

    TolvanServices services;
    services.defaults = &shell.scratch.defaults;
    services.library = &shell.library;
    services.includedLibrary = &IncludedLibrary::defaultLibrary();
    shell.controller.reset();
    TolvanController relaunched(services);
    relaunched.applicationWillFinishLaunching();
    EXPECT_TRUE(pathIsInsideFolders(folders.filePath("b/x.mp3"), relaunched.grantedFolders()));
    EXPECT_FALSE(pathIsInsideFolders(folders.filePath("a/x.mp3"), relaunched.grantedFolders()));
    relaunched.clearBookmarkedAccessURLs();
    EXPECT_FALSE(shell.scratch.defaults.contains("accessBookmarks"));
}

TEST_F(ControllerTest, FinderDropsAndTheServicesRoad)
{
    const QString first = shell.writeSong("first.wav"), second = shell.writeSong("second.wav");
    controller.applicationOpenFiles({first, second});
    EXPECT_EQ(controller.selectedSource()->mediaFileURL().toLocalFile(), first) << "several files open only the first";

    QMimeData drop;
    drop.setUrls({QUrl("https://example.com/x.mp3"), QUrl::fromLocalFile(second)});
    EXPECT_TRUE(controller.draggingEntered(drop));
    EXPECT_TRUE(controller.welcomeViewController()->receivingDrag());
    controller.draggingExited();
    EXPECT_FALSE(controller.welcomeViewController()->receivingDrag());
    EXPECT_TRUE(controller.performDragOperation(drop));
    EXPECT_EQ(controller.selectedSource()->mediaFileURL().toLocalFile(), second);

    QMimeData nothing;
    nothing.setUrls({QUrl::fromLocalFile(shell.home.filePath("gone.mp3"))});
    EXPECT_FALSE(controller.draggingEntered(nothing));
    EXPECT_FALSE(controller.welcomeViewController()->receivingDrag()) << "a refused drop leaves the welcome screen as it was";
    EXPECT_FALSE(controller.performDragOperation(nothing));

    controller.makeRingtone(first);
    EXPECT_EQ(controller.selectedSource()->mediaFileURL().toLocalFile(), first);
}

TEST_F(ControllerTest, SpaceBarPreviewsOncePerPressOrStopsPlayback)
{
    const auto press = [&](bool repeat) {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", repeat);
        controller.keyDown(event);
    };
    press(false);
    EXPECT_TRUE(shell.editor->calls.isEmpty());
    controller.openSource(ShellHarness::sourceFor(shell.writeSong("tone.wav")));
    EXPECT_TRUE(controller.wantsToHandleSpacebar());
    press(false);
    press(true);
    press(true);
    EXPECT_EQ(shell.editor->calls, QStringList{"startStopPreview"}) << "a held space bar acts once";
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    controller.keyDown(letter);
    EXPECT_EQ(shell.editor->calls.size(), 1);
    shell.editor->playing = true;
    press(false);
    EXPECT_EQ(shell.editor->calls.back(), "stopPlaying") << "playback stops; no preview starts";
    EXPECT_EQ(shell.editor->calls.count("startStopPreview"), 1);
}

TEST_F(ControllerTest, FirstLaunchStoresAutomaticImportOnly)
{
    controller.applicationWillFinishLaunching();
    EXPECT_TRUE(shell.scratch.defaults.boolValue("autoImportIntoiTunes"));
    shell.scratch.defaults.setValue("autoImportIntoiTunes", false);
    controller.initializePreferences();
    EXPECT_FALSE(shell.scratch.defaults.boolValue("autoImportIntoiTunes")) << "a stored NO stays";
    EXPECT_FALSE(shell.scratch.defaults.contains("ringtonesCreated"));
    EXPECT_FALSE(TolvanScreenshots::isRunningInScreenshotMode(shell.scratch.defaults));
}

TEST_F(ControllerTest, MenusFollowTheOpenSong)
{
    controller.buildApplicationMenus();
    const auto find = [&](MenuAction wanted) -> QAction* {
        for (QAction* top : controller.mainWindow()->menuBar()->actions())
            for (QAction* action : top->menu()->actions())
                if (menuActionOf(action) == wanted)
                    return action;
        return nullptr;
    };
    for (MenuAction action : {MenuAction::Save, MenuAction::SaveAs, MenuAction::ZoomIn, MenuAction::StartStopPlay})
        EXPECT_FALSE(find(action)->isEnabled()) << int(action);
    EXPECT_TRUE(find(MenuAction::OpenDocument)->isEnabled());
    EXPECT_TRUE(find(MenuAction::ActivateSearchField)->isEnabled());

    controller.openSource(ShellHarness::sourceFor(shell.writeSong("tone.wav")));
    for (MenuAction action : {MenuAction::Save, MenuAction::SaveAs, MenuAction::ZoomIn, MenuAction::StartStopPlay})
        EXPECT_TRUE(find(action)->isEnabled()) << int(action);
    find(MenuAction::ZoomIn)->trigger();
    find(MenuAction::MoveSelectionToPlayLocation)->trigger();
    EXPECT_EQ(shell.editor->calls, (QStringList{"zoomIn", "moveSelectionToPlayLocation"}));
}

TEST_F(ControllerTest, FullScreenReturnsToTheSavedFrame)
{
    controller.setFullScreenAnimationDuration(0.0);
    controller.mainWindow()->setGeometry(QRect(40, 50, 900, 600));
    controller.mainWindow()->show();
    const QRect before = controller.mainWindow()->geometry();
    controller.toggleFullScreen();
    ASSERT_TRUE(test::waitUntil([&] { return controller.isFullScreen(); }));
    EXPECT_EQ(controller.frameForNonFullScreenMode(), QRectF(before));
    controller.toggleFullScreen();
    ASSERT_TRUE(test::waitUntil([&] { return !controller.isFullScreen() && controller.mainWindow()->geometry() == before; }))
        << "left at " << controller.mainWindow()->geometry().x() << "," << controller.mainWindow()->geometry().y();
}

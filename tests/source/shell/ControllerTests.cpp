// The controller with a stand-in editor: what the content area shows, every
// road of opening and its errors, granted folders, keys, menus and start-up.
#include "tests/source/shell/ShellFixtures.h"

#include "platform/media/MediaError.h"
#include "source/browser/WelcomeViewController.h"
#include "source/editor/ErrorViewController.h"
#include "source/engine/TolvanError.h"
#include "source/shell/TolvanMainWindow.h"
#include "source/shell/TolvanScreenshots.h"
#include "source/shell/feedback/QFFeedbackController.h"
#include "source/analytics/ZNTAnalytics.h"
#include "tests/support/HttpTestServer.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QPushButton>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QRandomGenerator>
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
        {shell.home.filePath("notes.wav"), AVFoundationErrorDomain, MediaErrorFileFormatNotRecognized},
        {shell.home.filePath("silence.wav"), TolvanErrorDomain, TolvanErrorNoAudio},
    };
    QDir().mkpath(shell.home.filePath("Music"));
    test::writeBytes(shell.home.filePath("notes.wav"), "no audio in here");
    test::writeBytes(shell.home.filePath("silence.wav"), test::wavOf16BitSamples(44100, 2, {}));  // a header, no sound
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

TEST_F(ControllerTest, FilesThatAreNotSongsCannotBeReadThroughTheOpenPanel)
{
    controller.buildApplicationMenus();
    QAction* open = menuItemFor(controller, MenuAction::OpenDocument);
    ASSERT_TRUE(open);
    QDir().mkpath(shell.home.filePath("Music"));
    QByteArray noise(80'000, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    const QString files[] = {shell.home.filePath("Music/noise.mp3"), shell.home.filePath("Music/list.wav"),
                             shell.home.filePath("Music/empty.mp3")};
    ASSERT_TRUE(test::writeBytes(files[0], noise));
    ASSERT_TRUE(test::writeBytes(files[1], QByteArray("Track 1, Track 2, Track 3: a list, not a song.\n").repeated(300)));
    ASSERT_TRUE(test::writeBytes(files[2], {}));

    for (const QString& file : files) {
        open->trigger();
        QFileDialog* panel = nullptr;
        for (QFileDialog* shown : controller.mainWindow()->findChildren<QFileDialog*>())
            panel = shown->isVisible() ? shown : panel;
        ASSERT_TRUE(panel) << "File > Open shows the open panel";
        panel->selectFile(file);
        panel->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
        ASSERT_EQ(controller.contentKind(), ContentKind::Error) << file.toStdString();
        EXPECT_EQ(controller.errorViewController()->errorText(), "Tolvan cannot read this type of file") << file.toStdString();
        EXPECT_FALSE(controller.selectedAsset());
    }
}

TEST_F(ControllerTest, ALockedFileOrFolderNamesThePermissionAtOnce)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser reads every file and enters every folder";
    const QString lockedFile = shell.writeSong("private.wav");
    const QString inLockedFolder = shell.writeSong("locked/tone.wav");
    const QString lockedFolder = QFileInfo(inLockedFolder).absolutePath();
    ASSERT_TRUE(QFile::setPermissions(lockedFile, QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(lockedFolder, {}));

    // Dropped on the window: taken, and the error view names the permission;
    // no panel asks for a folder first.
    TolvanMainWindow& window = *controller.mainWindow();
    for (const QString& file : {inLockedFolder, lockedFile}) {
        QMimeData drop;
        drop.setUrls({QUrl::fromLocalFile(file)});
        QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &drop, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        EXPECT_TRUE(enter.isAccepted()) << "a file that is there is taken: " << file.toStdString();
        QDropEvent dropped(QPointF(200, 200), Qt::CopyAction, &drop, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &dropped);
        ASSERT_EQ(controller.contentKind(), ContentKind::Error) << file.toStdString();
        EXPECT_EQ(controller.errorViewController()->error().code, kFileReadNoPermissionError) << file.toStdString();
        EXPECT_TRUE(controller.errorViewController()->errorText().contains("permission")) << file.toStdString();
        EXPECT_TRUE(window.findChildren<QFileDialog*>().isEmpty()) << "no folder is asked for";
    }

    // From the desktop, the same.
    controller.clearSelection();
    controller.applicationOpenFile(inLockedFolder);
    ASSERT_EQ(controller.contentKind(), ContentKind::Error);
    EXPECT_EQ(controller.errorViewController()->error().code, kFileReadNoPermissionError);
    QFile::setPermissions(lockedFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
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

TEST_F(ControllerTest, SendFeedbackPostsTheApplicationsInformationAsReadableText)
{
    test::HttpTestServer server;
    UserDefaults::standard().setValue("QFFeedbackURL", server.url());
    ZNTAnalytics::resetForTesting();
    ZNTAnalytics::addItemToLog(QVariantMap{{"event", "Opened Song"}, {"parameters", QVariantMap{{"seconds", 30}, {"kind", "m4r"}}}});
    ZNTAnalytics::setLogValue("Music folder", "defaultMediaLibrary");
    ZNTAnalytics::setLogValue("first\tsecond\nthird \"quoted\"", "note");
    controller.applicationWillFinishLaunching();

    menuItemFor(controller, MenuAction::ShowFeedback)->trigger();
    QFFeedbackController* form = QFFeedbackController::sharedController();
    ASSERT_TRUE(form);
    form->includeHardwareDetailsCheckbox()->setChecked(false);
    form->submitAction();
    const bool posted = test::waitUntil([&] { return !server.requests.isEmpty(); }, 15000);
    form->closeFeedback();
    UserDefaults::standard().remove("QFFeedbackURL");
    ZNTAnalytics::resetForTesting();
    ASSERT_TRUE(posted);

    const QByteArray& body = server.requests.front().body;
    const QByteArray head = "name=\"applicationInfo\"\r\n\r\n";
    const qsizetype start = body.indexOf(head) + head.size();
    ASSERT_GE(start, head.size());
    QString info = QString::fromUtf8(body.mid(start, body.indexOf("\r\n--", start) - start));
    if (info.endsWith("\r\n"))
        info.chop(2);  // the form's last value is followed by an empty line
    EXPECT_EQ(info.toStdString(), "{\n"
                                  "    eventLog = (\n"
                                  "        {\n"
                                  "            event = \"Opened Song\";\n"
                                  "            parameters = {\n"
                                  "                kind = m4r;\n"
                                  "                seconds = 30;\n"
                                  "            };\n"
                                  "        }\n"
                                  "    );\n"
                                  "    logValues = {\n"
                                  "        defaultMediaLibrary = \"Music folder\";\n"
                                  "        note = \"first\tsecond\nthird \\\"quoted\\\"\";\n"
                                  "    };\n"
                                  "}");
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

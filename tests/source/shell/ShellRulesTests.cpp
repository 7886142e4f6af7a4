// The shell's pure rules: what is wrong with a file, the granted-folder
// list, save names, the menu table and the window's geometry.
#include "source/shell/MainMenu.h"
#include "source/shell/OpenRules.h"
#include "source/shell/SaveNaming.h"
#include "source/shell/WindowGeometry.h"
#include "tests/support/AudioFixtures.h"

#include "platform/media/Asset.h"
#include "platform/media/MediaError.h"
#include "source/engine/TolvanError.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>

using namespace tolvan;

namespace {

QString touch(const QString& path, const QByteArray& bytes = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

}  // namespace

TEST(OpenRulesTest, FileProblemsBeforeReading)
{
    QTemporaryDir dir;
    EXPECT_EQ(fileProblemAtPath(dir.filePath("missing.mp3")), FileProblem::Missing);
    EXPECT_EQ(fileProblemAtPath(dir.path()), FileProblem::Missing) << "a folder is no song";
    EXPECT_EQ(fileProblemAtPath(QString()), FileProblem::Missing);
    const QString song = touch(dir.filePath("song.mp3"));
    EXPECT_EQ(fileProblemAtPath(song), FileProblem::None);
    EXPECT_EQ(fileProblemAtPath(song + "/inside.mp3"), FileProblem::Missing) << "a file is no folder";
    if (::geteuid() != 0) {  // the superuser reads every file and enters every folder
        QFile::setPermissions(song, QFileDevice::WriteOwner);
        EXPECT_EQ(fileProblemAtPath(song), FileProblem::Unreadable);
        const QString hidden = touch(dir.filePath("locked/hidden.mp3"));
        QFile::setPermissions(dir.filePath("locked"), {});
        EXPECT_EQ(fileProblemAtPath(hidden), FileProblem::Unreadable) << "a folder the user may not enter is a permission";
        EXPECT_EQ(fileProblemAtPath(dir.filePath("locked/other.mp3")), FileProblem::Unreadable) << "nor can anyone say it is missing";
        QFile::setPermissions(dir.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    EXPECT_EQ(noSuchFileError(), (Error{NSCocoaErrorDomain, NSFileNoSuchFileError, {}}));
    EXPECT_EQ(noPermissionError(song).code, kFileReadNoPermissionError);
    EXPECT_TRUE(noPermissionError(song).message.contains("song.mp3"));
}

TEST(OpenRulesTest, AssetErrorsForSilentAndUnreadableFiles)
{
    QTemporaryDir dir;
    const QString text = touch(dir.filePath("notes.wav"), "these are not samples");
    const auto textError = assetOpenError(*Asset::assetWithPath(text));
    ASSERT_TRUE(textError);
    EXPECT_EQ(textError->domain, AVFoundationErrorDomain) << "no media at all";
    EXPECT_EQ(textError->code, MediaErrorFileFormatNotRecognized);

    const QString header = touch(dir.filePath("header.wav"), test::wavOf16BitSamples(44100, 2, {}));
    const auto headerError = assetOpenError(*Asset::assetWithPath(header));
    ASSERT_TRUE(headerError);
    EXPECT_EQ(headerError->domain, TolvanErrorDomain) << "a header without a sound";
    EXPECT_EQ(headerError->code, TolvanErrorNoAudio);

    const QString tone = dir.filePath("tone.wav");
    ASSERT_TRUE(test::writeBytes(tone, test::wavOf16BitSamples(44100, 1, std::vector<int16_t>(4410, 1000))));
    EXPECT_FALSE(assetOpenError(*Asset::assetWithPath(tone)));
}

TEST(OpenRulesTest, GrantedFoldersHoldTheirFilesByWholeComponents)
{
    QTemporaryDir dir;
    const QString music = dir.filePath("Music"), elsewhere = dir.filePath("Elsewhere");
    EXPECT_TRUE(pathIsInsideFolders(touch(music + "/a/b.mp3"), {elsewhere, music}));
    EXPECT_TRUE(pathIsInsideFolders(music, {music}));
    EXPECT_FALSE(pathIsInsideFolders(touch(dir.filePath("Music2/e.mp3")), {music}))
        << "a folder whose name starts like Music is not inside it";
}

TEST(OpenRulesTest, BookmarkListKeepsThreeNewestWithoutDuplicates)
{
    BookmarkListChange change = addingBookmark({}, "a");
    change = addingBookmark(change.list, "b");
    change = addingBookmark(change.list, "c");
    EXPECT_EQ(change.list, (QList<QByteArray>{"c", "b", "a"}));
    EXPECT_TRUE(change.removed.isEmpty());

    const BookmarkListChange again = addingBookmark(change.list, "b");
    EXPECT_EQ(again.list, change.list) << "a folder granted twice keeps its one entry";
    EXPECT_TRUE(again.removed.isEmpty());

    const BookmarkListChange fourth = addingBookmark(change.list, "d");
    EXPECT_EQ(fourth.list, (QList<QByteArray>{"d", "c", "b"}));
    EXPECT_EQ(fourth.removed, (QList<QByteArray>{"a"})) << "exactly the entry cut off loses its access";

    QTemporaryDir dir;
    EXPECT_EQ(folderForBookmarkData(bookmarkDataForFolder(dir.path())), QFileInfo(dir.path()).canonicalFilePath());
    EXPECT_FALSE(folderForBookmarkData(bookmarkDataForFolder(dir.path()) + "/gone"));
}

TEST(OpenRulesTest, DroppedFilesAreLocalAndDistinct)
{
    EXPECT_EQ(filesOfUrls({QUrl::fromLocalFile("/m/a.mp3"), QUrl("https://example.com/b.mp3"), QUrl::fromLocalFile("/m/a.mp3"),
                           QUrl::fromLocalFile("/m/c.wav")}),
              (QStringList{"/m/a.mp3", "/m/c.wav"}));
}

TEST(SaveNamingTest, NamesFromTitlesAndFiles)
{
    EXPECT_EQ(defaultDestination("/t", QString("Song"), "x.mp3"), "/t/Song.m4r");
    EXPECT_EQ(defaultDestination("/t", QString("A/B"), "x.mp3"), "/t/A:B.m4r");
    EXPECT_EQ(defaultDestination("/t", QString("Op. 9"), "x.mp3"), "/t/Op. 9.m4r") << "a title's dots are not an extension";
    EXPECT_EQ(defaultDestination("/t", QString(""), "My Song.flac"), "/t/My Song.m4r") << "an empty title falls back to the file";
    EXPECT_EQ(defaultDestination("/t", std::nullopt, "Nocturne Op. 9.mp3"), "/t/Nocturne Op. 9.m4r");
    EXPECT_EQ(proposedSaveName(std::nullopt, "take.one.wav"), "take.one");
    EXPECT_EQ(proposedSaveName(QString("AC/DC Tribute"), "x.mp3"), "AC:DC Tribute") << "one file name, not a folder and a file";

    EXPECT_EQ(withExtension("Mr. Brightside", "m4r"), "Mr. Brightside.m4r");
    EXPECT_EQ(withExtension("Song.M4R", "m4r"), "Song.M4R");
    EXPECT_EQ(withExtension("Song.wav", "m4r"), "Song.wav.m4r") << "only the chosen format's extension counts";

    EXPECT_EQ(titleForDestination("/t/A:B.m4r"), "A/B");
    EXPECT_EQ(titleForDestination("/t/Op. 9.m4r"), "Op. 9");
    EXPECT_EQ(renamedDestination("/t/Song.m4r", "New/Name"), "/t/New:Name.m4r");
    EXPECT_EQ(renamedDestination("/t/Song.wav", "Other"), "/t/Other.wav");
}

TEST(SaveNamingTest, TakenNamesByBehaviour)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Song.m4r");
    EXPECT_EQ(resolveTakenDestination(path, RenameBehavior::Ask).path, path);
    EXPECT_FALSE(resolveTakenDestination(path, RenameBehavior::Ask).askUser) << "a free name needs no question";
    touch(path);
    EXPECT_EQ(resolveTakenDestination(path, RenameBehavior::MakeUnique).path, dir.filePath("Song 2.m4r"));
    touch(dir.filePath("Song 2.m4r"));
    EXPECT_EQ(resolveTakenDestination(path, RenameBehavior::MakeUnique).path, dir.filePath("Song 3.m4r"));
    EXPECT_TRUE(resolveTakenDestination(path, RenameBehavior::Ask).askUser);
    EXPECT_EQ(resolveTakenDestination(path, RenameBehavior::Replace).path, path);
    EXPECT_EQ(renameBehaviorFromInt(0), RenameBehavior::Ask);
    EXPECT_EQ(renameBehaviorFromInt(1), RenameBehavior::MakeUnique);
    EXPECT_EQ(renameBehaviorFromInt(7), RenameBehavior::Replace);
}

namespace {

const MenuItemSpec* findItem(const QString& title)
{
    for (const MenuSpec& menu : applicationMenuTable())
        for (const MenuItemSpec& item : menu.items)
            if (item.titleKey == title)
                return &item;
    return nullptr;
}

}  // namespace

TEST(MenuTableTest, MenusInOrderWithTheirKeys)
{
    QStringList menus;
    for (const MenuSpec& menu : applicationMenuTable())
        menus << menu.titleKey;
    EXPECT_EQ(menus, (QStringList{"Tolvan", "File", "Edit", "View", "Window", "Help"}));

    const struct {
        const char* title;
        QKeySequence key;
    } keys[] = {
        {"Open", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"Save As...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {"Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        {"Hide Others", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_H)},
        {"Preferences...", QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {"Zoom In", QKeySequence(Qt::CTRL | Qt::Key_Equal)},
        {"Preview Selection", QKeySequence(Qt::Key_Space)},
        {"Preview Selection Near End", QKeySequence(Qt::ALT | Qt::Key_Space)},
        {"Enter Full Screen", QKeySequence(Qt::CTRL | Qt::META | Qt::Key_F)},
        {"Tolvan Help", QKeySequence(Qt::CTRL | Qt::Key_Question)},
        {"Show Ringtones in Finder", QKeySequence()},
    };
    for (const auto& [title, key] : keys) {
        const MenuItemSpec* item = findItem(title);
        ASSERT_TRUE(item) << title;
        EXPECT_EQ(keyEquivalent(*item), key) << title;
    }
    EXPECT_TRUE(findItem("Preview Selection Near End")->alternate);
    EXPECT_EQ(findItem("Preview Selection Near End")->action, MenuAction::StartStopPreview);
    EXPECT_EQ(menuItemTitle(*findItem("release notes menu item")), "Release Notes");
}

namespace {

// Menus over a responder that records the handlers called and answers its
// rules from its fields.
class RecordingResponder : public MenuResponder {
public:
    void showAboutPanel() override { performed << MenuAction::About; }
    void checkForUpdates() override { performed << MenuAction::CheckForUpdates; }
    void showPreferencePanel() override { performed << MenuAction::ShowPreferences; }
    void hide() override { performed << MenuAction::Hide; }
    void terminate() override { performed << MenuAction::Terminate; }
    void openDocument() override { performed << MenuAction::OpenDocument; }
    void save() override { performed << MenuAction::Save; }
    void saveAs() override { performed << MenuAction::SaveAs; }
    void showRingtonesInFinder() override { performed << MenuAction::ShowRingtonesInFinder; }
    void performClose() override { performed << MenuAction::PerformClose; }
    void undo() override { performed << MenuAction::Undo; }
    void redo() override { performed << MenuAction::Redo; }
    void cut() override { performed << MenuAction::Cut; }
    void copy() override { performed << MenuAction::Copy; }
    void paste() override { performed << MenuAction::Paste; }
    void deleteSelection() override { performed << MenuAction::Delete; }
    void selectAll() override { performed << MenuAction::SelectAll; }
    void activateSearchField() override { performed << MenuAction::ActivateSearchField; }
    void zoomIn() override { performed << MenuAction::ZoomIn; }
    void zoomOut() override { performed << MenuAction::ZoomOut; }
    void startStopPreview() override { performed << MenuAction::StartStopPreview; }
    void startStopPlay() override { performed << MenuAction::StartStopPlay; }
    void moveSelectionToPlayLocation() override { performed << MenuAction::MoveSelectionToPlayLocation; }
    void toggleAdvancedMode() override { performed << MenuAction::ToggleAdvancedMode; }
    void toggleFullScreen() override { performed << MenuAction::ToggleFullScreen; }
    void minimize() override { performed << MenuAction::Minimize; }
    void zoom() override { performed << MenuAction::Zoom; }
    void arrangeInFront() override { performed << MenuAction::ArrangeInFront; }
    void showHelp() override { performed << MenuAction::ShowHelp; }
    void showReleaseNotes() override { performed << MenuAction::ShowReleaseNotes; }
    void showFeedback() override { performed << MenuAction::ShowFeedback; }

    bool hasSong(QAction&) override { return song; }
    bool canUndo(QAction&) override { return undoable; }
    bool canRedo(QAction&) override { return redoable; }
    bool editorAllows(QAction& item) override { return editorSays ? editorSays(menuActionOf(&item)) : song; }
    bool hasSelectionToDelete(QAction&) override { return selection; }
    bool titleFullScreen(QAction& item) override
    {
        item.setText(fullScreen ? "Exit Full Screen" : "Enter Full Screen");
        return true;
    }

    QList<MenuAction> performed;
    bool song = false, undoable = false, redoable = false, selection = false, fullScreen = false;
    std::function<bool(MenuAction)> editorSays;
};

struct BuiltMenus {
    QMenuBar bar;
    QWidget window;
    RecordingResponder responder;
    BuiltMenus() { buildApplicationMenus(&bar, &window, responder); }
    QAction* item(MenuAction wanted)
    {
        for (QAction* top : bar.actions())
            for (QAction* action : top->menu()->actions())
                if (menuActionOf(action) == wanted)
                    return action;
        return nullptr;
    }
    bool enabled(MenuAction action)
    {
        validateMenus(&bar, responder);
        return item(action)->isEnabled();
    }
};

}  // namespace

TEST(MenuTableTest, ValidationWithAndWithoutASong)
{
    BuiltMenus menus;
    const QList<MenuAction> needASong{MenuAction::Save, MenuAction::SaveAs, MenuAction::ZoomIn, MenuAction::ZoomOut, MenuAction::StartStopPreview,
                                      MenuAction::StartStopPlay, MenuAction::MoveSelectionToPlayLocation, MenuAction::ToggleAdvancedMode};
    for (MenuAction action : needASong)
        EXPECT_FALSE(menus.enabled(action)) << int(action);
    for (MenuAction action : {MenuAction::OpenDocument, MenuAction::ActivateSearchField, MenuAction::Minimize, MenuAction::ShowHelp,
                              MenuAction::ShowFeedback, MenuAction::Terminate, MenuAction::ToggleFullScreen})
        EXPECT_TRUE(menus.enabled(action)) << int(action);
    for (MenuAction action : {MenuAction::Services, MenuAction::HideOthers, MenuAction::ShowAll})
        EXPECT_FALSE(menus.enabled(action)) << "no meaning on this desktop: " << int(action);
    menus.responder.song = true;
    for (MenuAction action : needASong)
        EXPECT_TRUE(menus.enabled(action)) << int(action);

    menus.responder.editorSays = [](MenuAction action) { return action == MenuAction::ZoomIn; };
    EXPECT_TRUE(menus.enabled(MenuAction::ZoomIn));
    EXPECT_FALSE(menus.enabled(MenuAction::ZoomOut)) << "the editor decides its own items";
    EXPECT_TRUE(menus.enabled(MenuAction::Save));

    EXPECT_FALSE(menus.enabled(MenuAction::Undo)) << "a song alone gives nothing to undo";
    EXPECT_FALSE(menus.enabled(MenuAction::Redo));
    menus.responder.undoable = true;
    EXPECT_TRUE(menus.enabled(MenuAction::Undo));
    EXPECT_FALSE(menus.enabled(MenuAction::Redo));
    menus.responder.redoable = true;
    EXPECT_TRUE(menus.enabled(MenuAction::Redo));
    EXPECT_FALSE(menus.enabled(MenuAction::Delete)) << "nothing selected to delete";
    menus.responder.selection = true;
    EXPECT_TRUE(menus.enabled(MenuAction::Delete));
}

TEST(MenuTableTest, BuiltBarGivesEachKeyToOneItem)
{
    BuiltMenus menus;
    QHash<QKeySequence, QStringList> owners;
    for (QAction* top : menus.bar.actions())
        for (QAction* action : top->menu()->actions())
            for (const QKeySequence& key : action->shortcuts())
                owners[key] << action->text();
    for (auto it = owners.begin(); it != owners.end(); ++it)
        EXPECT_EQ(it.value().size(), 1) << it.key().toString().toStdString() << " " << it.value().join(", ").toStdString();
    QAction* minimize = menus.item(MenuAction::Minimize);
    QAction* moveSelection = menus.item(MenuAction::MoveSelectionToPlayLocation);
    ASSERT_TRUE(minimize && moveSelection);
    EXPECT_EQ(moveSelection->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
    EXPECT_TRUE(minimize->shortcut().isEmpty()) << "Ctrl+M is the View menu's already";
    EXPECT_EQ(menus.item(MenuAction::ToggleFullScreen)->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::META | Qt::Key_F), QKeySequence(Qt::Key_F11)}));
    ASSERT_EQ(menus.window.actions().size(), 1) << "the near-end preview keeps its key on the window";
    EXPECT_EQ(menus.window.actions().front()->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Space));

    validateMenus(&menus.bar, menus.responder);
    minimize->trigger();
    moveSelection->trigger();  // disabled: does nothing
    menus.item(MenuAction::Services)->trigger();  // no handler: does nothing
    EXPECT_EQ(menus.responder.performed, QList<MenuAction>{MenuAction::Minimize});
    menus.responder.song = true;
    validateMenus(&menus.bar, menus.responder);
    menus.responder.song = false;
    moveSelection->trigger();  // its key came after the song closed, before the menu was validated again
    EXPECT_EQ(menus.responder.performed, QList<MenuAction>{MenuAction::Minimize});
}

TEST(WindowGeometryTest, DividerStaysBetweenTwoAndThreeHundred)
{
    EXPECT_EQ(constrainSplitPosition(150), 200);
    EXPECT_EQ(constrainSplitPosition(250.5), 250.5);
    EXPECT_EQ(constrainSplitPosition(420), 300);
    EXPECT_EQ(browserGripRect(QRectF(0, 0, 250, 600), 640), QRectF(238, 610, 12, 30));
}

TEST(WindowGeometryTest, FullScreenFrames)
{
    // A window limited to 1600 x 1000 on a 1920 x 1080 screen right of the first.
    const QRectF screen(1920, 0, 1920, 1080);
    const auto steps = enterFullScreenSteps(QRectF(2000, 100, 1001, 601), QSizeF(1600, 1000), screen, 0.7);
    EXPECT_EQ(steps.final, QRectF(1920 + 160, 40, 1600, 1000));
    EXPECT_EQ(steps.intermediate, QRectF(1920 + 160 + 299, 40 + 199, 1001, 601)) << "centred, margins rounded down, on its own screen";
    EXPECT_DOUBLE_EQ(steps.stepDuration, 0.25);
    EXPECT_EQ(enterFullScreenSteps(QRectF(0, 0, 800, 600), QSizeF(1e6, 1e6), QRectF(0, 0, 1920, 1080), 0.1).stepDuration, 0.0)
        << "a short system duration gives no negative steps";
    EXPECT_EQ(enterFullScreenSteps(QRectF(0, 0, 800, 600), QSizeF(1e6, 1e6), QRectF(0, 0, 1920, 1080), 1).final, QRectF(0, 0, 1920, 1080));

    const QRectF saved(100, 80, 1000, 660);
    const auto back = exitFullScreenSteps(QRectF(0, 0, 1920, 1080), saved, QRectF(1, 2, 3, 4), 0.5);
    EXPECT_EQ(back.final, saved);
    EXPECT_EQ(back.intermediate, QRectF(460, 210, 1000, 660));
    EXPECT_DOUBLE_EQ(back.stepDuration, 0.25);
    EXPECT_EQ(exitFullScreenSteps(QRectF(0, 0, 1920, 1080), std::nullopt, QRectF(10, 20, 900, 600), 0.5).final, QRectF(10, 20, 900, 600))
        << "no saved frame: a sane one";
}

TEST(WindowGeometryTest, WindowsOpenCentredOverTheMainWindowAndStayOnTheScreen)
{
    const QRectF screen(0, 0, 1920, 1080);
    EXPECT_EQ(frameCentredOver(QSizeF(480, 261), QRectF(300, 200, 1120, 720), screen), QRectF(620, 429, 480, 261));
    // A main window near the screen's right and bottom edges: the window moves back on.
    EXPECT_EQ(frameCentredOver(QSizeF(480, 260), QRectF(1500, 900, 400, 300), screen), QRectF(1440, 820, 480, 260));
    // Near the left and top edges, and on a second screen.
    EXPECT_EQ(frameCentredOver(QSizeF(480, 260), QRectF(1920 - 100, -50, 300, 200), QRectF(1920, 0, 1280, 1024)),
              QRectF(1920, 0, 480, 260));
    // Larger than the screen: its top left corner stays on it.
    EXPECT_EQ(frameCentredOver(QSizeF(2000, 1200), QRectF(100, 100, 800, 600), screen), QRectF(0, 0, 2000, 1200));
}

TEST(MenuTableTest, EachTitleGetsAMnemonicNoEarlierTitleTook)
{
    QSet<QChar> taken;
    EXPECT_EQ(withMnemonic("File", taken), "&File");
    EXPECT_EQ(withMnemonic("Find", taken), "F&ind") << "F is File's";
    EXPECT_EQ(withMnemonic("R&B", taken), "&R&&B") << "the title's own ampersand stays text";
    EXPECT_EQ(withMnemonic("R&B", taken), "R&&&B");
    EXPECT_EQ(withMnemonic("fir", taken), "fir") << "every letter taken: no mnemonic";
}

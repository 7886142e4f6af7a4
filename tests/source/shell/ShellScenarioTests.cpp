// End to end inside the process, with the real editor and exporter in a
// scratch home: open a tagged song, Create, and find the tone in
// Documents/Tolvan with its audio settings, tags and cover.
#include "tests/source/shell/ShellFixtures.h"

#include "platform/media/MediaError.h"
#include "source/editor/ErrorViewController.h"
#include "source/editor/WaveformViewController.h"
#include "source/engine/AssetAdditions.h"
#include "source/engine/WaveformProvider.h"
#include "source/engine/CoverArt.h"
#include "source/shell/ApplicationEditor.h"
#include "tests/support/EventLoop.h"

#include <QMessageBox>
#include "source/shell/TolvanMainWindow.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/TagFixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace shelltest;
using namespace tolvan;

namespace {

class ShellScenarioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        song = shell.home.filePath("Music/Nocturne Op. 9.mp3");
        QDir().mkpath(shell.home.filePath("Music"));
        ASSERT_TRUE(test::writeTone(song, test::ToneSpec{.seconds = 12.0,
                                                         .tags = {{"title", "Op. 9 / No. 2"}, {"artist", "Chopin"}, {"album", "Nocturnes"}}}));
        cover = test::imageBytes("JPEG", QColor(40, 120, 220), 64);
        ASSERT_TRUE(test::setMP3Pictures(song, {{"image/jpeg", cover}}));
    }

    EditorViewController& editor() { return dynamic_cast<ApplicationEditor&>(*shell.controller->editorViewController()).editor(); }

    // Opens the song and waits until the editor has loaded it.
    void openSong()
    {
        shell.controller->openSource(ShellHarness::sourceFor(song));
        ASSERT_EQ(shell.controller->contentKind(), ContentKind::Editor);
        ASSERT_TRUE(test::waitUntil([&] { return editor().asset() && !editor().loadingAsset() && editor().selectionDuration() > 0; }, 20000));
    }

    // Create, then wait for the exporter's report.
    void create()
    {
        shell.controller->createButtonAction();
        ASSERT_TRUE(shell.controller->saveRoad().isExporting());
        ASSERT_TRUE(test::waitUntil([&] { return !shell.controller->saveRoad().isExporting(); }, 60000));
    }

    ShellHarness shell{true};
    WorkspaceScope workspace;
    QString song;
    QByteArray cover;
};

}  // namespace

TEST_F(ShellScenarioTest, CreateWritesTheToneIntoTheTonesFolderTwice)
{
    openSong();
    create();
    const QString tone = shell.home.filePath("Documents/Tolvan/Op. 9 : No. 2.m4r");
    ASSERT_TRUE(QFileInfo::exists(tone)) << QDir(shell.home.filePath("Documents/Tolvan")).entryList().join(", ").toStdString();
    const test::Probe probe = test::probe(tone);
    EXPECT_EQ(probe.codec, "aac");
    EXPECT_EQ(probe.sampleRate, 44100);
    EXPECT_EQ(probe.channels, 2);
    EXPECT_NEAR(probe.seconds, editor().selectionDuration(), 0.1);

    const auto written = Asset::assetWithPath(tone);
    EXPECT_EQ(metadataTitle(*written), "Op. 9 / No. 2") << "the title keeps its slash inside the file";
    EXPECT_EQ(metadataArtist(*written), "Chopin");
    EXPECT_EQ(metadataAlbum(*written), "Nocturnes");
    EXPECT_EQ(written->attachedPicture(), cover) << "the song's own cover, as stored";

    EXPECT_EQ(workspace.log->opened, QStringList{tone}) << "handed to the desktop's handler";
    ASSERT_TRUE(shell.controller->importCompleted()) << "the sheet follows a hand-over";
    shell.controller->closeImportedPanel();
    EXPECT_EQ(shell.scratch.defaults.integerValue("ringtonesCreated"), 1);

    create();
    EXPECT_TRUE(QFileInfo::exists(shell.home.filePath("Documents/Tolvan/Op. 9 : No. 2 2.m4r")));
    EXPECT_EQ(shell.scratch.defaults.integerValue("ringtonesCreated"), 2);
}

TEST_F(ShellScenarioTest, AReadOnlyTonesFolderGivesThePermissionAlertAndNoFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser writes into read-only folders";
    const QString folder = shell.home.filePath("Documents/Tolvan");
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    openSong();
    shell.controller->createButtonAction();
    EXPECT_FALSE(shell.controller->saveRoad().isExporting());
    auto* alert = shell.controller->mainWindow()->findChild<QMessageBox*>("errorAlert");
    ASSERT_TRUE(alert);
    EXPECT_TRUE(alert->text().startsWith("You do not have permission to write to the folder “" + folder + "”.")) << alert->text().toStdString();
    EXPECT_TRUE(QDir(folder).isEmpty());
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(ShellScenarioTest, ClosingTheWindowDuringAnExportLeavesNoTone)
{
    // A long song, so that the export is still running when the window closes.
    const QString longSong = shell.home.filePath("Music/long.wav");
    ASSERT_TRUE(test::writeTone(longSong, test::ToneSpec{.seconds = 240.0, .tags = {{"title", "Long"}}}));
    song = longSong;
    openSong();
    editor().setSelectionDuration(39.0);
    shell.controller->createButtonAction();
    ASSERT_TRUE(shell.controller->saveRoad().isExporting());
    shell.controller->windowWillClose();
    ASSERT_TRUE(test::waitUntil([&] { return !shell.controller->saveRoad().isExporting(); }, 30000));
    EXPECT_FALSE(QFileInfo::exists(shell.home.filePath("Documents/Tolvan/Long.m4r")));
    EXPECT_TRUE(workspace.log->opened.isEmpty());
}

// A song whose header promises audio that its data does not hold opens, and
// as soon as its waveform proves unreadable the error view says why; no
// silent waveform of the header's length stays behind to make a tone of.
TEST_F(ShellScenarioTest, ASongThatDecodesToNothingEndsInTheErrorView)
{
    const QString whole = shell.home.filePath("whole.flac");
    ASSERT_TRUE(test::writeTone(whole, test::ToneSpec{.seconds = 8.0}));
    song = shell.home.filePath("Music/damaged.flac");
    ASSERT_TRUE(test::writeFramesDamaged(whole, song));

    shell.controller->applicationOpenFile(song);  // as the file manager opens it
    EXPECT_EQ(shell.controller->contentKind(), ContentKind::Editor) << "its header promises a song";
    ASSERT_TRUE(test::waitUntil([&] { return shell.controller->contentKind() == ContentKind::Error; }, 20000));
    const Error& error = shell.controller->errorViewController()->error();
    EXPECT_EQ(error.domain, AVFoundationErrorDomain);
    EXPECT_EQ(error.code, MediaErrorDecodeFailed);
    EXPECT_EQ(shell.controller->errorViewController()->errorText(), error.message);
    EXPECT_FALSE(shell.controller->selectedAsset());
    EXPECT_FALSE(editor().asset());

    // The same song whole opens and stays open once its waveform is read.
    song = whole;
    openSong();
    ASSERT_TRUE(test::waitUntil([&] { return editor().waveformViewController()->provider()->finished(); }, 20000));
    test::drainEvents(100);
    EXPECT_EQ(shell.controller->contentKind(), ContentKind::Editor);
}

// Free-format MPEG audio states no bit rate in its frames, which no decoder
// of ours reads: opened as the file manager opens it, the song goes straight
// to the error view, which says so; no editor waits for its waveform.
TEST_F(ShellScenarioTest, FreeFormatMpegAudioEndsInTheErrorViewAtOnce)
{
    const QString stated = shell.home.filePath("stated.mp3");
    ASSERT_TRUE(test::writeTone(stated, test::ToneSpec{.seconds = 8.0, .bitRate = "128k"}));
    song = shell.home.filePath("Music/free format.mp3");
    ASSERT_TRUE(test::writeFreeFormat(stated, song));

    shell.controller->applicationOpenFile(song);
    ASSERT_EQ(shell.controller->contentKind(), ContentKind::Error);
    const Error& error = shell.controller->errorViewController()->error();
    EXPECT_EQ(error.domain, AVFoundationErrorDomain);
    EXPECT_EQ(error.code, MediaErrorDecodeFailed);
    EXPECT_EQ(shell.controller->errorViewController()->errorText().toStdString(),
              "The audio of this file cannot be decoded: it is free-format MPEG audio");
    EXPECT_FALSE(shell.controller->selectedAsset());
    EXPECT_FALSE(editor().asset());

    // The same song with its bit rates stated opens in the editor.
    song = stated;
    openSong();
}

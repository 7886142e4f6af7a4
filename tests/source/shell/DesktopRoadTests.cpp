// The roads between the window and the desktop, as a user takes them: the
// Open dialog's filters, the tones folder shown without a file manager, and
// files a later launch hands over while a tone is being handed to the desktop.
#include "tests/source/shell/ShellFixtures.h"

#include "platform/appkit/Workspace.h"
#include "platform/media/AudiovisualTypes.h"
#include "source/shell/TolvanMainWindow.h"
#include "tests/support/EventLoop.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <gtest/gtest.h>

using namespace shelltest;
using namespace tolvan;

namespace {

class DesktopRoadTest : public ::testing::Test {
protected:
    QFileDialog* shownOpenPanel() const
    {
        for (QFileDialog* panel : controller.mainWindow()->findChildren<QFileDialog*>())
            if (panel->isVisible())
                return panel;
        return nullptr;
    }

    // The names the panel's list shows in its folder, once it has read them.
    static QSet<QString> listedNames(QFileDialog& panel, qsizetype expected)
    {
        auto* list = panel.findChild<QAbstractItemView*>(QStringLiteral("listView"));
        if (!list)
            return {};
        QSet<QString> names;
        test::waitUntil([&] {
            names.clear();
            for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
                names << list->model()->index(row, 0, list->rootIndex()).data().toString();
            return names.size() == expected;
        });
        return names;
    }

    ShellHarness shell;
    TolvanController& controller = *shell.controller;
};

}  // namespace

TEST_F(DesktopRoadTest, TheOpenDialogOffersEveryTypeTheReaderTakesThenAllFiles)
{
    controller.buildApplicationMenus();
    controller.mainWindow()->show();
    const QDir music(shell.home.filePath("Music"));
    QDir().mkpath(music.path());
    QSet<QString> songs;
    for (const QString& extension : audiovisualExtensions()) {
        songs << "song." + extension;
        ASSERT_TRUE(test::writeBytes(music.filePath("song." + extension), "x"));
    }
    songs << "LOUD.MP3";  // an extension in capitals is the same type
    ASSERT_TRUE(test::writeBytes(music.filePath("LOUD.MP3"), "x"));
    for (const char* extension : {"ape", "mpc", "wv", "tta", "tak", "spx", "ac3", "mka", "dsf"})
        EXPECT_TRUE(songs.contains(QStringLiteral("song.") + extension)) << extension;
    // A song without an extension, and a file that is no song.
    ASSERT_TRUE(test::writeTone(music.filePath("recording.wav"), test::ToneSpec{.seconds = 1.0}));
    ASSERT_TRUE(QFile::rename(music.filePath("recording.wav"), music.filePath("recording")));
    ASSERT_TRUE(test::writeBytes(music.filePath("notes.txt"), "x"));

    menuItemFor(controller, MenuAction::OpenDocument)->trigger();
    QFileDialog* panel = shownOpenPanel();
    ASSERT_TRUE(panel) << "File > Open shows the open panel";
    ASSERT_EQ(panel->nameFilters().size(), 2);
    EXPECT_TRUE(panel->nameFilters()[0].startsWith("Audio files (*.mp3 *.mp2 *.m4a")) << panel->nameFilters()[0].toStdString();
    EXPECT_EQ(panel->nameFilters()[1], "All files (*)");
    EXPECT_EQ(listedNames(*panel, songs.size()), songs) << "the first filter shows every song and nothing else";
    panel->resize(720, 460);
    saveWindowPictures(*panel, "open-dialog");

    auto* types = panel->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(types);
    EXPECT_EQ(types->currentText(), "Audio files") << "the filter shows its name, not fifty patterns";
    types->setFocus();
    QTest::keyClick(types, Qt::Key_Down);
    EXPECT_EQ(types->currentText(), "All files");
    EXPECT_EQ(listedNames(*panel, songs.size() + 2), songs + QSet<QString>({"recording", "notes.txt"}));

    panel->selectFile(music.filePath("recording"));
    panel->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    EXPECT_EQ(controller.contentKind(), ContentKind::Editor) << "a song without an extension opens";
    EXPECT_EQ(controller.selectedSource()->mediaFileURL().toLocalFile(), music.filePath("recording"));
}

// With no file manager on the session bus nothing can be selected: the
// tones folder itself opens, not the Documents folder around it.
TEST_F(DesktopRoadTest, ShowRingtonesWithoutAFileManagerOpensTheTonesFolderItself)
{
    QTemporaryDir bin;
    const QString log = bin.filePath("gio.log");
    QFile script(bin.filePath("gio"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n").arg(log).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray savedPath = qgetenv("PATH"), savedBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("PATH", bin.path().toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + bin.filePath("no-bus").toLocal8Bit());

    controller.buildApplicationMenus();
    QAction* show = menuItemFor(controller, MenuAction::ShowRingtonesInFinder);
    ASSERT_TRUE(show);
    EXPECT_EQ(show->text().remove('&'), "Show Ringtones in File Manager");
    show->trigger();
    EXPECT_TRUE(test::waitUntil([&] { return QFileInfo::exists(log); }));
    QFile opened(log);
    opened.open(QIODevice::ReadOnly);
    EXPECT_EQ(QString::fromUtf8(opened.readAll()).split('\n', Qt::SkipEmptyParts),
              (QStringList{"open", shell.home.filePath("Documents/Tolvan")}));

    qputenv("PATH", savedPath);
    qputenv("DBUS_SESSION_BUS_ADDRESS", savedBus);
}

// The desktop's handler for tones turned out to start Tolvan with the tone:
// the song stays open and the tone is shown; later, the same tone asked for
// from the file manager opens.
TEST_F(DesktopRoadTest, ALaterLaunchWithTheToneJustHandedOverKeepsTheSongOpen)
{
    WorkspaceScope workspace;
    std::vector<std::shared_ptr<ManualExporter>> exporters;
    controller.saveRoad().setExporterFactory([&](const RingtoneDescription& description, std::weak_ptr<RingtoneExporterDelegate> delegate,
                                                 const QString& destination, std::vector<MetadataItem> metadata, Error*) {
        auto exporter = std::make_shared<ManualExporter>(QUrl::fromLocalFile(destination), description.sourceAsset(), description.kind(),
                                                         std::nullopt, std::move(metadata));
        exporter->setDelegate(delegate);
        exporters.push_back(exporter);
        return std::static_pointer_cast<RingtoneExporter>(exporter);
    });
    const QString song = shell.writeSong("Bars Song.wav", test::ToneSpec{.seconds = 3.0});
    controller.openSource(ShellHarness::sourceFor(song));
    controller.save();
    ASSERT_EQ(exporters.size(), 1u);
    const QString tone = exporters[0]->outputURL().toLocalFile();
    ASSERT_TRUE(test::writeTone(tone, test::ToneSpec{.seconds = 1.0}));
    exporters[0]->finish(RingtoneExporterStatus::Completed);
    ASSERT_EQ(workspace.log->opened, QStringList{tone});

    controller.laterLaunchOpenFiles({tone});
    EXPECT_EQ(controller.selectedSource()->mediaFileURL().toLocalFile(), song) << "the song stays open";
    EXPECT_EQ(workspace.log->revealed, QStringList{tone});
    EXPECT_FALSE(controller.importCompleted()) << "no sheet saying it went elsewhere";

    controller.laterLaunchOpenFiles({tone});
    EXPECT_EQ(controller.selectedSource()->mediaFileURL().toLocalFile(), tone) << "Open With Tolvan on the tone opens it";
}

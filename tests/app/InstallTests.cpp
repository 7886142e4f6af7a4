// The build installed as the README says, into a scratch prefix that is the
// desktop's only data folder, with its desktop and MIME databases updated
// there, so that Tolvan is the default application for ".m4r" files. This
// process is the running copy; Create hands the tone over with the real
// `gio`, and any later launch of the installed program hands its files here.
#include "app/LaunchArguments.h"
#include "platform/appkit/SingleInstance.h"
#include "platform/foundation/UserDefaults.h"
#include "source/editor/EditorViewController.h"
#include "source/shell/ApplicationEditor.h"
#include "source/shell/TolvanController.h"
#include "source/shell/TolvanMainWindow.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;

namespace {

// Runs a program to its end; its standard output, or none when it failed.
std::optional<QString> run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void writeExecutable(const QString& path, const QString& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

class InstalledDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The desktop is the scratch prefix alone: its data folder is the
        // user's, no system folder adds handlers, and no file manager
        // answers on a session bus.
        qputenv("HOME", path("home").toUtf8());
        qputenv("XDG_DATA_HOME", path("prefix/share").toUtf8());
        qputenv("XDG_DATA_DIRS", path("system").toUtf8());
        qputenv("XDG_CONFIG_HOME", path("home/.config").toUtf8());
        qputenv("XDG_CONFIG_DIRS", path("system").toUtf8());
        qputenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path("no-bus")).toUtf8());
        qputenv("PATH", (path("prefix/bin") + ':' + qgetenv("PATH")).toUtf8());
        for (const char* folder : {"home/Music", "home/.config", "system", "files"})
            QDir().mkpath(path(folder));

        ASSERT_TRUE(run("cmake", {"--install", TOLVAN_BUILD_DIR, "--prefix", path("prefix")}));
        // The folder handler stands in for a file manager: a desktop entry
        // for folders whose program notes what it was asked to open.
        writeExecutable(path("files/show"), QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(shownLog()));
        QFile entry(path("prefix/share/applications/files.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Files\nExec=%1 %U\nMimeType=inode/directory;\n")
                        .arg(path("files/show")).toUtf8());
        entry.close();
        ASSERT_TRUE(run("update-desktop-database", {path("prefix/share/applications")}));
        ASSERT_EQ(run("xdg-mime", {"query", "default", "audio/x-m4r"}), std::optional<QString>("tolvan.desktop"));
    }

    QString path(const QString& name) const { return scratch.filePath(name); }
    QString shownLog() const { return path("files/shown.log"); }
    // What the file manager was asked to show, as paths (an Exec line's %U
    // may pass a local file as its path or as its address).
    QStringList shown() const
    {
        QFile log(shownLog());
        QStringList paths;
        if (log.open(QIODevice::ReadOnly))
            for (const QString& line : QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts))
                paths << (line.startsWith("file:") ? QUrl(line).toLocalFile() : line);
        return paths;
    }

    QTemporaryDir scratch;
};

QAction* menuItem(QMenuBar& bar, const QString& title)
{
    for (QAction* top : bar.actions())
        for (QAction* action : top->menu()->actions())
            if (action->text().remove('&') == title)
                return action;
    return nullptr;
}

}  // namespace

TEST_F(InstalledDesktopTest, CreateShowsTheToneInTheFileManagerAndTheSongStaysOpen)
{
    setApplicationIdentity();
    const QString song = path("home/Music/Bars Song.wav");
    ASSERT_TRUE(test::writeTone(song, test::ToneSpec{.seconds = 4.0, .tags = {{"title", "Bars Song"}}}));

    UserDefaults defaults(path("home/defaults.ini"));
    TolvanServices services = TolvanServices::standard();
    services.defaults = &defaults;
    TolvanController controller(services);
    // This process is the running copy: later launches hand their files here.
    SingleInstance instance(singleInstanceKey());
    ASSERT_FALSE(instance.handOffToRunningInstance({}));
    QStringList handedOver;
    QObject::connect(&instance, &SingleInstance::filesReceived, &controller, [&](const QStringList& files) {
        handedOver << files;
        controller.laterLaunchOpenFiles(files);
    });
    controller.launch([&] { controller.applicationOpenFiles({song}); });
    auto& editor = dynamic_cast<ApplicationEditor&>(*controller.editorViewController()).editor();
    ASSERT_TRUE(test::waitUntil([&] { return editor.asset() && !editor.loadingAsset() && editor.selectionDuration() > 0; }, 20000));

    QAction* save = menuItem(*controller.mainWindow()->menuBar(), "Save");
    ASSERT_TRUE(save && save->isEnabled());
    save->trigger();
    const QString tone = path("home/Documents/Tolvan/Bars Song.m4r");
    ASSERT_TRUE(test::waitUntil([&] { return !shown().isEmpty(); }, 30000)) << "nothing was shown";
    EXPECT_TRUE(QFileInfo::exists(tone));
    EXPECT_EQ(shown(), QStringList{path("home/Documents/Tolvan")}) << "the tone's folder opens";
    // Time for a launch the tone might have started to reach us.
    test::drainEvents(2500);
    EXPECT_TRUE(handedOver.isEmpty()) << handedOver.join(", ").toStdString();
    EXPECT_EQ(controller.selectedSource()->mediaFileURL().toLocalFile(), song) << "the song stays open";
    EXPECT_EQ(controller.contentKind(), ContentKind::Editor);
    EXPECT_FALSE(controller.importCompleted()) << "no sheet says the tone went elsewhere";

    // Open With Tolvan from the file manager: the installed program starts,
    // hands the tone to this copy, and it opens.
    const qsizetype before = handedOver.size();
    ASSERT_TRUE(run("gio", {"open", tone}));
    // Waited for, so that the launch never outlives this copy.
    ASSERT_TRUE(test::waitUntil([&] { return handedOver.size() > before; }, 30000)) << "the later launch never reached us";
    EXPECT_EQ(handedOver.mid(before), QStringList{tone});
    EXPECT_EQ(controller.selectedSource()->mediaFileURL().toLocalFile(), tone);
}

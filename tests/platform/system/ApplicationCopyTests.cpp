#include "platform/system/ApplicationCopy.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FileFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Runs a script with /bin/sh and answers its standard output.
QByteArray runShell(const QString& script)
{
    QProcess shell;
    shell.start("/bin/sh", {"-c", script});
    shell.waitForFinished();
    return shell.readAllStandardOutput();
}

// A folder copy of the application: its program and resources.
QString makeFolderCopy(const QString& path, const QByteArray& version)
{
    writeFile(path + "/tolvan", "#!/bin/sh\n");
    QFile::setPermissions(path + "/tolvan", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(path + "/resources/Info.json", version);
    return path;
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

}  // namespace

TEST(ShellQuotingTest, PathsWithApostrophesAndSpacesStayOneWord)
{
    EXPECT_EQ(shellQuoted("/users/ann/My Apps/Tolvan"), "'/users/ann/My Apps/Tolvan'");
    EXPECT_EQ(shellQuoted("/users/o'neil/Tolvan"), "'/users/o'\\''neil/Tolvan'");
    for (const QString& path : {QString("/srv/it's a 'test'/x"), QString("/srv/$HOME `id` \"q\"; rm -rf x"), QString("''")}) {
        EXPECT_EQ(runShell("printf %s " + shellQuoted(path)), path.toUtf8());
        EXPECT_EQ(runShell("set -- " + shellQuoted(path) + "; echo $#"), "1\n");
    }
}

TEST(ApplicationCopyTest, AFolderCountsOnlyWithItsOwnResourcesAndAnAppImageAlways)
{
    QTemporaryDir dir;
    const QString folder = makeFolderCopy(dir.filePath("Tolvan"), "{}");
    const std::optional<ApplicationCopy> copy = applicationCopyFor(folder + "/tolvan", {});
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->kind, ApplicationCopy::Kind::Folder);
    EXPECT_EQ(copy->path, folder);
    EXPECT_EQ(programOfCopy(*copy, "/opt/Applications/Tolvan"), "/opt/Applications/Tolvan/tolvan");

    // A build tree links its resources from the sources: not a copy to move.
    QDir().mkpath(dir.filePath("build/bin"));
    QFile::link(folder + "/resources", dir.filePath("build/bin/resources"));
    EXPECT_FALSE(applicationCopyFor(dir.filePath("build/bin/tolvan"), {}));
    EXPECT_FALSE(applicationCopyFor("/usr/bin/tolvan", {}));

    writeFile(dir.filePath("Downloads/Tolvan.AppImage"), "ELF");
    const std::optional<ApplicationCopy> image = applicationCopyFor("/run/.mount_x/usr/bin/tolvan", dir.filePath("Downloads/Tolvan.AppImage"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->kind, ApplicationCopy::Kind::AppImage);
    EXPECT_EQ(programOfCopy(*image, "/users/a/Applications/Tolvan.AppImage"), "/users/a/Applications/Tolvan.AppImage");
}

TEST(CopyIntoPlaceTest, ACopyReplacesTheOldOneOnlyOnceComplete)
{
    QTemporaryDir dir;
    const QString source = makeFolderCopy(dir.filePath("Downloads/Tolvan"), "new");
    const QString destination = makeFolderCopy(dir.filePath("Applications/Tolvan"), "old");
    QStringList trashed;
    const auto trash = [&](const QString& path) -> std::optional<Error> {
        trashed << path;
        QDir(path).removeRecursively();
        return std::nullopt;
    };
    EXPECT_FALSE(copyIntoPlace(source, destination, trash));
    EXPECT_EQ(trashed, QStringList{destination});
    EXPECT_EQ(readFile(destination + "/resources/Info.json"), "new");
    EXPECT_TRUE(QFileInfo(destination + "/tolvan").isExecutable());
    EXPECT_EQ(entriesOf(dir.filePath("Applications")), QStringList{"Tolvan"});
    EXPECT_EQ(readFile(source + "/resources/Info.json"), "new");  // the old place is removed by the caller
}

TEST(CopyIntoPlaceTest, AFailedCopyOrTrashLeavesTheDestinationAsItWas)
{
    QTemporaryDir dir;
    const QString destination = makeFolderCopy(dir.filePath("Applications/Tolvan"), "old");
    bool trashCalled = false;
    const auto trash = [&](const QString&) -> std::optional<Error> {
        trashCalled = true;
        return Error{"TolvanErrorDomain", 1, "Could not trash"};
    };

    EXPECT_TRUE(copyIntoPlace(dir.filePath("Downloads/Missing"), destination, trash));
    EXPECT_FALSE(trashCalled);
    EXPECT_EQ(readFile(destination + "/resources/Info.json"), "old");
    EXPECT_EQ(entriesOf(dir.filePath("Applications")), QStringList{"Tolvan"});

    const QString source = makeFolderCopy(dir.filePath("Downloads/Tolvan"), "new");
    const std::optional<Error> error = copyIntoPlace(source, destination, trash);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message, "Could not trash");
    EXPECT_EQ(readFile(destination + "/resources/Info.json"), "old");
    EXPECT_EQ(entriesOf(dir.filePath("Applications")), QStringList{"Tolvan"});
}

TEST(CopyIntoPlaceTest, TheAdministratorsScriptReplacesAndKeepsTheOldOneOnFailure)
{
    QTemporaryDir dir;
    const QString source = makeFolderCopy(dir.filePath("Down loads/It's Tolvan"), "new");
    const QString destination = makeFolderCopy(dir.filePath("Apps 'n' more/It's Tolvan"), "old");

    QProcess shell;
    shell.start("/bin/sh", {"-c", copyIntoPlaceScript(dir.filePath("Down loads/Missing"), destination)});
    shell.waitForFinished();
    EXPECT_NE(shell.exitCode(), 0);
    EXPECT_EQ(readFile(destination + "/resources/Info.json"), "old");
    EXPECT_EQ(entriesOf(dir.filePath("Apps 'n' more")), QStringList{"It's Tolvan"});

    shell.start("/bin/sh", {"-c", copyIntoPlaceScript(source, destination)});
    shell.waitForFinished();
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    EXPECT_EQ(readFile(destination + "/resources/Info.json"), "new");
    EXPECT_EQ(entriesOf(dir.filePath("Apps 'n' more")), QStringList{"It's Tolvan"});

    // Into a folder that is not there yet.
    shell.start("/bin/sh", {"-c", copyIntoPlaceScript(source, dir.filePath("opt/Applications/It's Tolvan"))});
    shell.waitForFinished();
    EXPECT_EQ(readFile(dir.filePath("opt/Applications/It's Tolvan/resources/Info.json")), "new");
}

TEST(RelaunchTest, TheNewCopyStartsOnlyAfterThisProcessHasEnded)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("started");
    const QString program = dir.filePath("It's new/tolvan");
    writeFile(program, QStringLiteral("#!/bin/sh\ntouch %1\n").arg(shellQuoted(marker)).toUtf8());
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess old;
    old.start("/bin/sleep", {"0.6"});
    ASSERT_TRUE(old.waitForStarted());
    QProcess::startDetached("/bin/sh", {"-c", relaunchScript(old.processId(), program)});
    test::drainEvents(200);
    EXPECT_FALSE(QFile::exists(marker));
    old.waitForFinished();
    EXPECT_TRUE(test::waitUntil([&] { return QFile::exists(marker); }, 5000));
}

TEST(RunningCopyTest, OurOwnProcessIsFoundUnderItsFolderAndNothingElse)
{
    EXPECT_TRUE(isRunningFrom(QFileInfo(QCoreApplication::applicationFilePath()).absolutePath()));
    QTemporaryDir dir;
    EXPECT_FALSE(isRunningFrom(dir.path()));
    EXPECT_FALSE(isRunningFrom(dir.filePath("missing")));

    writeFile(dir.filePath("Tolvan.AppImage"), "ELF");
    EXPECT_FALSE(isRunningFrom(dir.filePath("Tolvan.AppImage")));
    QProcess running;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("APPIMAGE", dir.filePath("Tolvan.AppImage"));
    running.setProcessEnvironment(environment);
    running.start("/bin/sleep", {"5"});
    ASSERT_TRUE(running.waitForStarted());
    EXPECT_TRUE(isRunningFrom(dir.filePath("Tolvan.AppImage")));
    running.kill();
    running.waitForFinished();
}

TEST(MediumTest, RemovableDisksAndMountedImagesAreToldByTheKernelsDeviceList)
{
    QTemporaryDir sys;  // stands in for /sys: class/block links to the devices' folders
    QDir().mkpath(sys.filePath("class/block"));
    const auto device = [&](const QString& name, const QString& folder) {
        QDir().mkpath(sys.filePath("devices/" + folder));
        QFile::link(sys.filePath("devices/" + folder), sys.filePath("class/block/" + name));
    };
    device("sdb", "usb1/1-1/host6/block/sdb");
    device("sdb1", "usb1/1-1/host6/block/sdb/sdb1");
    writeFile(sys.filePath("devices/usb1/1-1/host6/block/sdb/removable"), "1\n");
    device("vda", "pci0/virtio1/block/vda");
    device("vda1", "pci0/virtio1/block/vda/vda1");
    writeFile(sys.filePath("devices/pci0/virtio1/block/vda/removable"), "0\n");
    device("loop0", "virtual/block/loop0");
    writeFile(sys.filePath("devices/virtual/block/loop0/removable"), "0\n");
    writeFile(sys.filePath("devices/virtual/block/loop0/loop/backing_file"), "/users/ann/Downloads/Tolvan.iso\n");
    device("loop0p1", "virtual/block/loop0/loop0p1");
    device("loop1", "virtual/block/loop1");  // a loop device with nothing attached
    writeFile(sys.filePath("devices/virtual/block/loop1/removable"), "0\n");

    const QString root = sys.filePath("class/block");
    for (const char* removable : {"sdb", "sdb1", "loop0", "loop0p1"})
        EXPECT_TRUE(isRemovableBlockDevice(removable, root)) << removable;
    for (const char* fixed : {"vda", "vda1", "loop1", "nvme0n1", "", "../devices"})
        EXPECT_FALSE(isRemovableBlockDevice(fixed, root)) << fixed;
}

TEST(MediumTest, ACopyOnAReadOnlyMountIsOnAReadOnlyMedium)
{
    QTemporaryDir dir;
    const QString folder = makeFolderCopy(dir.filePath("Tolvan"), "{}");
    EXPECT_EQ(applicationCopyFor(folder + "/tolvan", {})->medium, Medium::Fixed) << "the test's own scratch folder";
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting needs the superuser";
    const QString mounted = dir.filePath("mounted");
    QDir().mkpath(mounted);
    const auto run = [](const QStringList& arguments) { return QProcess::execute("mount", arguments) == 0; };
    if (!run({"--bind", folder, mounted}))
        GTEST_SKIP() << "this machine lets no one mount";
    const bool readOnly = run({"-o", "remount,bind,ro", mounted});
    if (readOnly) {
        const std::optional<ApplicationCopy> copy = applicationCopyFor(mounted + "/tolvan", {});
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->medium, Medium::ReadOnly);
        EXPECT_EQ(mediumOf(mounted + "/resources/Info.json"), Medium::ReadOnly);
    }
    QProcess::execute("umount", {mounted});
    ASSERT_TRUE(readOnly) << "the bind mount could not be made read-only";
}


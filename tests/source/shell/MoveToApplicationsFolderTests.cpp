#include "source/shell/MoveToApplicationsFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;

TEST(MoveOfferTest, NoOfferFromAnApplicationsFolderOrOnceDeclinedForGood)
{
    const QStringList folders{"/users/ann/Applications", "/opt/Applications"};
    EXPECT_TRUE(shouldOfferMove("/users/ann/Downloads/Tolvan", false, folders));
    EXPECT_TRUE(shouldOfferMove("/users/ann/Downloads/Tolvan.AppImage", false, folders));
    EXPECT_FALSE(shouldOfferMove("/users/ann/Downloads/Tolvan", true, folders));
    EXPECT_FALSE(shouldOfferMove("/users/ann/Applications/Tolvan", false, folders));
    EXPECT_FALSE(shouldOfferMove("/opt/Applications/Tolvan.AppImage", false, folders));
    EXPECT_FALSE(shouldOfferMove("/media/usb/Applications/tools/deep/Tolvan", false, folders));
    // A folder whose name merely begins like one is not inside it.
    EXPECT_TRUE(shouldOfferMove("/opt/ApplicationsOld/Tolvan", false, folders));
    EXPECT_FALSE(shouldOfferMove("/users/ann/Applications/../Applications/Tolvan", false, {}));
}

TEST(MoveOfferTest, TheHomeFolderIsChosenOnlyWhenItIsInUse)
{
    QTemporaryDir dir;
    const QString home = dir.filePath("home/Applications");
    const QString system = dir.filePath("opt/Applications");
    QDir().mkpath(system);

    MoveDestination destination = moveDestination("/x/Downloads/Tolvan", home, system);
    EXPECT_FALSE(destination.inHomeFolder);
    EXPECT_EQ(destination.path, QDir(system).filePath("Tolvan"));

    QDir().mkpath(home);
    EXPECT_FALSE(moveDestination("/x/Downloads/Tolvan", home, system).inHomeFolder);  // empty: not in use

    QFile(QDir(home).filePath("Other.AppImage")).open(QIODevice::WriteOnly);
    destination = moveDestination("/x/Downloads/Tolvan.AppImage", home, system);
    EXPECT_TRUE(destination.inHomeFolder);
    EXPECT_EQ(destination.path, QDir(home).filePath("Tolvan.AppImage"));
    EXPECT_FALSE(destination.needsAuthorization);
    EXPECT_EQ(moveOfferMessage(destination), "Move Tolvan to “" + QFileInfo(home).canonicalFilePath() + "”?");
}

TEST(MoveOfferTest, AFolderThatIsNotThereOrNotOursNeedsTheAdministrator)
{
    QTemporaryDir dir;
    const MoveDestination missing = moveDestination("/x/Tolvan", dir.filePath("none"), dir.filePath("opt/Applications"));
    EXPECT_TRUE(missing.needsAuthorization);
    EXPECT_EQ(moveOfferMessage(missing), "Move Tolvan to “" + dir.filePath("opt/Applications") + "” for all users?");
    EXPECT_EQ(moveOfferInformativeText(missing, true),
              "Tolvan can move itself there and start from its new place, if you'd like. Note that this will require an administrator password.");

    QDir().mkpath(dir.filePath("opt/Applications"));
    const MoveDestination writable = moveDestination("/x/Tolvan", dir.filePath("none"), dir.filePath("opt/Applications"));
    EXPECT_FALSE(writable.needsAuthorization);
    EXPECT_EQ(moveOfferInformativeText(writable, true),
              "Tolvan can move itself there and start from its new place, if you'd like. This will keep your Downloads folder uncluttered.");
    EXPECT_EQ(moveOfferInformativeText(writable, false), "Tolvan can move itself there and start from its new place, if you'd like.");
}

TEST(MoveOfferTest, TheSystemFolderIsTakenWithLinksResolved)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("real/Applications"));
    QFile::link(dir.filePath("real/Applications"), dir.filePath("Applications"));
    const MoveDestination destination = moveDestination("/x/Tolvan", dir.filePath("none"), dir.filePath("Applications"));
    EXPECT_EQ(destination.folder, QFileInfo(dir.filePath("real/Applications")).canonicalFilePath());
}

namespace {

QString makeCopy(const QString& folder, const QByteArray& version)
{
    QDir().mkpath(folder + "/resources");
    QFile info(folder + "/resources/Info.json");
    info.open(QIODevice::WriteOnly);
    info.write(version);
    QFile::copy("/bin/sleep", folder + "/tolvan");
    return folder;
}

QByteArray versionAt(const QString& folder)
{
    QFile info(folder + "/resources/Info.json");
    return info.open(QIODevice::ReadOnly) ? info.readAll() : QByteArray("<missing>");
}

}  // namespace

TEST(MoveApplicationTest, TheCopyMovesAndTheOldPlaceIsCleared)
{
    QTemporaryDir dir;
    const std::optional<ApplicationCopy> copy = applicationCopyFor(makeCopy(dir.filePath("Downloads/Tolvan"), "2") + "/tolvan", {});
    ASSERT_TRUE(copy);
    QDir().mkpath(dir.filePath("opt/Applications"));
    const MoveDestination destination = moveDestination(copy->path, dir.filePath("none"), dir.filePath("opt/Applications"));
    ASSERT_FALSE(destination.needsAuthorization);

    EXPECT_EQ(moveApplication(*copy, destination), MoveOutcome::Moved);
    EXPECT_EQ(versionAt(destination.path), "2");
    EXPECT_TRUE(QFileInfo(destination.path + "/tolvan").isExecutable());
    EXPECT_FALSE(QFileInfo::exists(copy->path));
}

TEST(MoveApplicationTest, NothingIsCopiedOverACopyRunningAtTheDestination)
{
    QTemporaryDir dir;
    const std::optional<ApplicationCopy> copy = applicationCopyFor(makeCopy(dir.filePath("Downloads/Tolvan"), "2") + "/tolvan", {});
    const QString installed = makeCopy(dir.filePath("opt/Applications/Tolvan"), "1");
    const MoveDestination destination = moveDestination(copy->path, dir.filePath("none"), dir.filePath("opt/Applications"));

    QProcess running;
    running.start(installed + "/tolvan", {"5"});
    ASSERT_TRUE(running.waitForStarted());
    EXPECT_EQ(moveApplication(*copy, destination), MoveOutcome::AlreadyRunningThere);
    running.kill();
    running.waitForFinished();
    EXPECT_EQ(versionAt(installed), "1");
    EXPECT_EQ(versionAt(copy->path), "2");
}

TEST(MoveApplicationTest, AFailedCopyKeepsTheCopyWeStartedFrom)
{
    QTemporaryDir dir;
    const std::optional<ApplicationCopy> copy = applicationCopyFor(makeCopy(dir.filePath("Downloads/Tolvan"), "2") + "/tolvan", {});
    QDir().mkpath(dir.filePath("opt/Applications"));
    MoveDestination destination = moveDestination(copy->path, dir.filePath("none"), dir.filePath("opt/Applications"));
    destination.path = dir.filePath("opt/Applications/missing folder/Tolvan");  // its folder is not there
    EXPECT_EQ(moveApplication(*copy, destination), MoveOutcome::Failed);
    EXPECT_EQ(versionAt(copy->path), "2");
}

TEST(MoveApplicationTest, ACopyOnARemovableOrReadOnlyMediumStaysWhereItWas)
{
    for (const Medium medium : {Medium::Removable, Medium::ReadOnly}) {
        QTemporaryDir dir;
        std::optional<ApplicationCopy> copy = applicationCopyFor(makeCopy(dir.filePath("stick/Tolvan"), "2") + "/tolvan", {});
        ASSERT_TRUE(copy);
        copy->medium = medium;  // as a USB stick or a mounted image would give
        QDir().mkpath(dir.filePath("opt/Applications"));
        const MoveDestination destination = moveDestination(copy->path, dir.filePath("none"), dir.filePath("opt/Applications"));

        EXPECT_EQ(moveApplication(*copy, destination), MoveOutcome::Moved);
        EXPECT_EQ(versionAt(destination.path), "2");
        EXPECT_EQ(versionAt(copy->path), "2") << "the copy it was started from is kept";
        EXPECT_TRUE(QFileInfo(copy->path + "/tolvan").isExecutable());
    }
}


// The workspace starts the desktop's openers as programs; fake ones on PATH
// record what they were asked and answer as told.

#include "platform/appkit/Workspace.h"

#include "tests/support/EventLoop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

using namespace tolvan;
using namespace tolvan::test;

namespace {

class WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedPath = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit());
        // No session bus: revealing falls back to opening the folder.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus").toLocal8Bit());
        song = dir.filePath("tone one.m4r");
        QFile file(song);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void TearDown() override { qputenv("PATH", savedPath); }

    // A program that writes its arguments, one per line, and exits with `code`.
    void fakeOpener(const QString& name, int code)
    {
        const QString path = bin.filePath(name);
        QFile script(path);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1'\nexit %2\n")
                         .arg(log(name)).arg(code).toUtf8());
        script.close();
        ASSERT_TRUE(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    QString log(const QString& name) const { return dir.filePath(name + ".log"); }
    QStringList argumentsOf(const QString& name) const
    {
        QFile file(log(name));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    std::optional<bool> open(const QString& path)
    {
        std::optional<bool> result;
        Workspace::shared().openFile(path, [&](bool ok) { result = ok; });
        waitUntil([&] { return result.has_value(); });
        return result;
    }

    QTemporaryDir bin, dir;
    QByteArray savedPath;
    QString song;
};

}  // namespace

TEST_F(WorkspaceTest, OpensWithTheDesktopsHandlerAndSaysWhetherOneTookIt)
{
    fakeOpener("gio", 0);
    fakeOpener("xdg-open", 0);
    EXPECT_EQ(open(song), std::optional<bool>(true));
    EXPECT_EQ(argumentsOf("gio"), (QStringList{"open", song}));
    EXPECT_TRUE(argumentsOf("xdg-open").isEmpty()) << "one opener is enough";

    fakeOpener("gio", 2);  // no application registered for the type
    EXPECT_EQ(open(song), std::optional<bool>(false));
}

TEST_F(WorkspaceTest, FallsBackToTheNextOpenerOrFailsWithoutOne)
{
    fakeOpener("xdg-open", 0);
    EXPECT_EQ(open(song), std::optional<bool>(true));
    EXPECT_EQ(argumentsOf("xdg-open"), QStringList{song});

    QFile::remove(bin.filePath("xdg-open"));
    EXPECT_EQ(open(song), std::optional<bool>(false));
}

TEST_F(WorkspaceTest, MissingFilesAreNotHandedOn)
{
    fakeOpener("gio", 0);
    EXPECT_EQ(open(dir.filePath("gone.m4r")), std::optional<bool>(false));
    EXPECT_EQ(open(QString()), std::optional<bool>(false));
    EXPECT_TRUE(argumentsOf("gio").isEmpty());
}

TEST_F(WorkspaceTest, RevealingWithoutAFileManagerOpensTheFolder)
{
    fakeOpener("gio", 0);
    std::optional<bool> result;
    Workspace::shared().revealFiles({song}, [&](bool ok) { result = ok; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(*result);
    EXPECT_EQ(argumentsOf("gio"), (QStringList{"open", dir.path()}));
}

TEST_F(WorkspaceTest, RevealingAFolderWithoutAFileManagerOpensThatFolder)
{
    fakeOpener("gio", 0);
    QDir().mkpath(dir.filePath("Tolvan"));
    std::optional<bool> result;
    Workspace::shared().revealFiles({dir.filePath("Tolvan")}, [&](bool ok) { result = ok; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(argumentsOf("gio"), (QStringList{"open", dir.filePath("Tolvan")})) << "its contents, not the folder around it";
}

TEST_F(WorkspaceTest, TestsCanPutTheirOwnWorkspaceInPlace)
{
    struct Recording : Workspace {
        QStringList opened;
        void openFile(const QString& path, Completion done) override { opened << path; done(true); }
    };
    auto recording = std::make_unique<Recording>();
    Recording* seen = recording.get();
    Workspace::setShared(std::move(recording));
    EXPECT_EQ(open(song), std::optional<bool>(true));
    EXPECT_EQ(seen->opened, QStringList{song});
    Workspace::setShared(nullptr);  // back to the desktop's
    EXPECT_EQ(open(song), std::optional<bool>(false)) << "no opener on PATH";
}

TEST_F(WorkspaceTest, AddressesGoToTheOpenerFullyEncoded)
{
    fakeOpener("gio", 0);
    std::optional<bool> result;
    const QUrl page(QStringLiteral("https://example.org/home?status=caf%C3%A9%20%26%20more"));
    Workspace::shared().openURL(page, [&](bool ok) { result = ok; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(*result);
    EXPECT_EQ(argumentsOf("gio"), (QStringList{"open", "https://example.org/home?status=caf%C3%A9%20%26%20more"}));

    result.reset();
    Workspace::shared().openURL(QUrl(QStringLiteral("no scheme")), [&](bool ok) { result = ok; });
    ASSERT_TRUE(result.has_value()) << "answered at once";
    EXPECT_FALSE(*result);
}

// A later launch hands its files to the running copy; a socket left behind by
// a copy that died is taken over.

#include "platform/appkit/SingleInstance.h"

#include "tests/support/EventLoop.h"

#include <QDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

QString uniqueKey() { return "tolvan-test-" + QUuid::createUuid().toString(QUuid::Id128); }

// Runs a second launch on its own thread, as another process would, so the
// first copy's event loop can answer it.
bool launchAgain(const QString& key, const QStringList& files, const std::function<bool()>& untilDone)
{
    std::atomic<bool> handedOff{false}, finished{false};
    std::thread second([&] {
        SingleInstance later(key);
        handedOff = later.handOffToRunningInstance(files);
        finished = true;
    });
    const bool answered = waitUntil([&] { return finished.load() && untilDone(); });
    second.join();
    return answered && handedOff;
}

}  // namespace

TEST(SingleInstance, ASecondLaunchHandsItsFilesToTheFirst)
{
    const QString key = uniqueKey();
    SingleInstance first(key);
    ASSERT_FALSE(first.handOffToRunningInstance({})) << "nobody runs yet: this copy stays";
    QList<QStringList> received;
    QObject::connect(&first, &SingleInstance::filesReceived, [&](const QStringList& files) { received << files; });

    ASSERT_TRUE(launchAgain(key, {"/music/a song.mp3", "/music/b.m4a"}, [&] { return received.size() == 1; }));
    EXPECT_EQ(received.value(0), (QStringList{"/music/a song.mp3", "/music/b.m4a"}));

    ASSERT_TRUE(launchAgain(key, {}, [&] { return received.size() == 2; })) << "a launch without files still ends";
    EXPECT_TRUE(received.value(1).isEmpty());
}

TEST(SingleInstance, RelativePathsArriveAbsolute)
{
    const QString key = uniqueKey();
    SingleInstance first(key);
    ASSERT_FALSE(first.handOffToRunningInstance({}));
    QStringList received;
    QObject::connect(&first, &SingleInstance::filesReceived, [&](const QStringList& files) { received = files; });
    ASSERT_TRUE(launchAgain(key, {"song.mp3"}, [&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, QStringList{QDir::current().absoluteFilePath("song.mp3")});
}

TEST(SingleInstance, ASocketLeftByACrashedCopyIsTakenOver)
{
    const QString key = uniqueKey();
    SingleInstance first(key);
    // A bound socket nobody listens on, as a killed copy leaves it.
    const QByteArray path = (QDir::tempPath() + "/" + first.serverName()).toLocal8Bit();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);

    ASSERT_FALSE(first.handOffToRunningInstance({}, 500));
    QStringList received;
    QObject::connect(&first, &SingleInstance::filesReceived, [&](const QStringList& files) { received = files; });
    ASSERT_TRUE(launchAgain(key, {"/x.mp3"}, [&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, QStringList{"/x.mp3"});
}

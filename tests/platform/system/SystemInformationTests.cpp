#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/SystemProfile.h"
#include "platform/system/Updater.h"
#include "platform/system/UserIdentity.h"
#include "platform/system/Version.h"
#include "tests/support/EventLoop.h"
#include "tests/support/HttpTestServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;

TEST(VersionTest, ComponentsCompareAsNumbersAndMissingOnesAsZero)
{
    EXPECT_EQ(compareVersions("2", "10"), -1);
    EXPECT_EQ(compareVersions("10", "2"), 1);
    EXPECT_EQ(compareVersions("1.0.0", "1"), 0);
    EXPECT_EQ(compareVersions("1.2", "1.2.0"), 0);
    EXPECT_EQ(compareVersions("1.10", "1.9"), 1);
    EXPECT_EQ(compareVersions("1.2.1", "1.2"), 1);
    EXPECT_EQ(compareVersions("", ""), 0);
    EXPECT_EQ(compareVersions("1.2b3", "1.2"), 0);   // leading digits only
    EXPECT_EQ(compareVersions("beta", "0"), 0);      // no digits counts as 0
    EXPECT_EQ(compareVersions("99999999999999999999", "1"), 1);
}

TEST(UserIdentityTest, CardsComeFromTheAccountNameAndTheEmailVariable)
{
    const std::optional<UserCard> full = userCardFrom("Ada  Lovelace,Room 1,555", " ada@example.org ");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->firstName, "Ada");
    EXPECT_EQ(full->lastName, "Lovelace");
    EXPECT_EQ(full->fullName(), "Ada Lovelace");
    EXPECT_EQ(full->emailAddresses, QStringList{"ada@example.org"});

    const std::optional<UserCard> oneName = userCardFrom("Cher", "");
    ASSERT_TRUE(oneName);
    EXPECT_EQ(oneName->fullName(), "Cher");  // no stray space
    EXPECT_TRUE(oneName->emailAddresses.isEmpty());

    const std::optional<UserCard> mailOnly = userCardFrom(",,,", "me@example.org");
    ASSERT_TRUE(mailOnly);
    EXPECT_EQ(mailOnly->fullName(), "");

    EXPECT_FALSE(userCardFrom("", "  "));
}

TEST(SystemProfileTest, EverySourceShowsAndAMissingOneReadsUnknown)
{
    QTemporaryDir dir;
    QFile osRelease(dir.filePath("os-release"));
    ASSERT_TRUE(osRelease.open(QIODevice::WriteOnly));
    osRelease.write("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    osRelease.close();
    QFile memory(dir.filePath("meminfo"));
    ASSERT_TRUE(memory.open(QIODevice::WriteOnly));
    memory.write("MemFree:  1024 kB\nMemTotal:       16384000 kB\n");
    memory.close();

    const QString profile = systemProfile({dir.filePath("os-release"), dir.filePath("meminfo"), dir.filePath("missing")});
    EXPECT_TRUE(profile.contains("Distribution: Debian GNU/Linux 12 (bookworm)\n")) << profile.toStdString();
    EXPECT_TRUE(profile.contains("Memory: 16000 MB\n")) << profile.toStdString();
    EXPECT_TRUE(profile.contains(" x unknown\n")) << profile.toStdString();
    EXPECT_TRUE(profile.startsWith("Kernel: Linux ")) << profile.toStdString();

    const QString nothing = systemProfile({dir.filePath("a"), dir.filePath("b"), dir.filePath("c")});
    EXPECT_TRUE(nothing.contains("Distribution: unknown\nMemory: unknown\n")) << nothing.toStdString();
}

TEST(SystemProfileTest, AGatheredProfileComesBackOnTheMainThreadEvenWhenSourcesFail)
{
    std::optional<QString> received;
    bool onMain = false;
    gatherSystemProfile([&](const QString& profile) {
        onMain = isMainThread();
        received = profile;
    }, {"/nonexistent/os-release", "/nonexistent/meminfo", "/nonexistent/cpuinfo"});
    ASSERT_TRUE(test::waitUntil([&] { return received.has_value(); }));
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(received->contains("Memory: unknown"));
}

TEST(AppcastTest, TheNewestItemWinsWhateverItsPlaceInTheFeed)
{
    const QByteArray feed = R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:up="http://example.org/update">
  <channel><title>Tolvan</title>
    <item><title>Version 1.9</title><enclosure url="https://example.org/1.9" up:version="19" up:shortVersionString="1.9"/></item>
    <item><title>Version 1.10</title><enclosure url="https://example.org/1.10" up:version="110" up:shortVersionString="1.10"/></item>
    <item><title>Version 1.2</title><version>12</version><link>https://example.org/1.2</link></item>
  </channel>
</rss>)";
    Error error;
    const std::optional<AppcastItem> newest = newestAppcastItem(feed, &error);
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->version, "110");
    EXPECT_EQ(newest->displayVersion, "1.10");
    EXPECT_EQ(newest->link, QUrl("https://example.org/1.10"));
    EXPECT_TRUE(error.message.isEmpty());
}

TEST(AppcastTest, EmptyFeedsHaveNoItemAndBrokenOnesSayWhy)
{
    Error error;
    EXPECT_FALSE(newestAppcastItem("<rss><channel></channel></rss>", &error));
    EXPECT_TRUE(error.message.isEmpty());
    EXPECT_FALSE(newestAppcastItem("<rss><channel><item>", &error));
    EXPECT_FALSE(error.message.isEmpty());
}

TEST(UpdaterTest, WithoutAFeedACheckSaysWhoUpdatesTheCopyInsteadOfUpToDateOrAnError)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.ini"));
    const Bundle bundle(dir.path());  // no information dictionary: no feed
    Updater updater(defaults, bundle);
    EXPECT_FALSE(updater.feedURL());
    std::optional<UpdateCheckResult> result;
    QObject::connect(&updater, &Updater::checkFinished, [&](const UpdateCheckResult& finished) { result = finished; });
    updater.checkForUpdates();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->newerVersion);
    EXPECT_FALSE(result->error);
    EXPECT_TRUE(result->updatedByInstaller);

    defaults.setValue("UpdateFeedURL", "http://127.0.0.1:9/appcast.xml");
    EXPECT_EQ(updater.feedURL(), QUrl("http://127.0.0.1:9/appcast.xml"));
}

TEST(UpdaterTest, ACheckReadsTheFeedAndReportsOnlyANewerVersion)
{
    test::HttpTestServer server("/appcast.xml");
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.ini"));
    defaults.setValue("UpdateFeedURL", server.url());
    Updater updater(defaults, Bundle::main());  // build version "1"
    std::optional<UpdateCheckResult> result;
    QObject::connect(&updater, &Updater::checkFinished, [&](const UpdateCheckResult& finished) { result = finished; });
    const auto check = [&] {
        result.reset();
        updater.checkForUpdates();
        return test::waitUntil([&] { return result.has_value(); });
    };

    server.body = R"(<rss><channel><item><enclosure url="https://example.org/2" version="2"/></item></channel></rss>)";
    ASSERT_TRUE(check());
    ASSERT_TRUE(result->newerVersion);
    EXPECT_EQ(result->newerVersion->version, "2");
    EXPECT_FALSE(result->error);
    EXPECT_TRUE(server.requests[0].head.startsWith("GET /appcast.xml "));

    server.body = R"(<rss><channel><item><enclosure url="https://example.org/1" version="1.0"/></item></channel></rss>)";
    ASSERT_TRUE(check());
    EXPECT_FALSE(result->newerVersion);
    EXPECT_FALSE(result->error);

    server.status = 404;
    ASSERT_TRUE(check());
    EXPECT_FALSE(result->newerVersion);
    EXPECT_TRUE(result->error);

    server.status = 200;
    server.body = "<rss><channel><item>";
    ASSERT_TRUE(check());
    EXPECT_TRUE(result->error);
}

TEST(UpdaterTest, TheLaunchCheckSpeaksOnlyOfANewerVersion)
{
    test::HttpTestServer server("/appcast.xml");
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.ini"));
    Updater updater(defaults, Bundle::main());  // build version "1"
    QList<UpdateCheckResult> results;
    QObject::connect(&updater, &Updater::checkFinished, [&](const UpdateCheckResult& finished) { results << finished; });

    updater.checkForUpdatesInBackground();  // no feed: nothing to read, nothing opened
    EXPECT_TRUE(results.isEmpty());
    EXPECT_TRUE(server.requests.isEmpty());

    defaults.setValue("UpdateFeedURL", server.url());
    const auto checkInBackground = [&](int status, const QByteArray& body) {
        server.status = status;
        server.body = body;
        const qsizetype asked = server.requests.size();
        updater.checkForUpdatesInBackground();
        EXPECT_TRUE(test::waitUntil([&] { return server.requests.size() > asked; }));
        test::drainEvents(100);
    };
    checkInBackground(200, R"(<rss><channel><item><enclosure url="https://example.org/1" version="1"/></item></channel></rss>)");
    checkInBackground(404, "gone");
    checkInBackground(200, "<rss><channel><item>");
    EXPECT_TRUE(results.isEmpty()) << "up to date, unreachable or unreadable: quiet";

    checkInBackground(200, R"(<rss><channel><item><enclosure url="https://example.org/2" version="2"/></item></channel></rss>)");
    ASSERT_TRUE(test::waitUntil([&] { return !results.isEmpty(); }));
    test::drainEvents(100);
    ASSERT_EQ(results.size(), 1) << "only the newer version was told";
    ASSERT_TRUE(results[0].newerVersion);
    EXPECT_EQ(results[0].newerVersion->version, "2");
}

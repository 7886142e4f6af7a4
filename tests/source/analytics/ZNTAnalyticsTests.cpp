#include "source/analytics/ZNTAnalytics.h"

#include "reporting/BriscaKit/Brisca.h"
#include "reporting/Plinth/PLNEnvironment.h"

#include <QCoreApplication>
#include <QDir>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <set>
#include <thread>

using tolvan::Error;

namespace {

// The kit starts for real in a scratch home, with settings from an earlier
// download that keep a log large enough for every line these cases write,
// and its settings download pointed at a closed port.
class ScratchKitEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        home_ = QDir::temp().filePath(QString("analytics-test-%1").arg(QCoreApplication::applicationPid())).toStdString();
        pln::PLNEnvironment environment;
        environment.infoDictionary = {{"CFBundleIdentifier", "com.kestrova.tolvan"}, {"CFBundleVersion", "1"}};
        environment.dataFolder = home_ + "/data";
        environment.cacheFolder = home_ + "/cache";
        environment.configFolder = home_ + "/config";
        pln::PLNSetEnvironment(environment);
        const auto settings = std::filesystem::path(home_) / "cache" / "io.plinth.sdk.mac.data" / "com.kestrova.tolvan";
        std::filesystem::create_directories(settings);
        std::ofstream(settings / "settings.json") << R"({"session": {"log_buffer_size": 16000000}, "features": {"collect_analytics": false}})";
        ::setenv("SettingsEndpoint", "https://127.0.0.1:9", 1);
        ::setenv("ConfigureEndpoint", "https://127.0.0.1:9", 1);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(home_, ignored);
    }

private:
    std::string home_;
};

const auto* const kScratchKit = ::testing::AddGlobalTestEnvironment(new ScratchKitEnvironment);

}  // namespace

// Before any other case of this program starts the kit (each case runs in a
// process of its own, and this one comes first in a run of them all).
TEST(ZNTAnalyticsStartTest, StartAnalyticsStartsTheKit)
{
    ASSERT_FALSE(Brisca::sharedInstance()->isBriscaStarted());
    ZNTAnalytics::startAnalytics();
    EXPECT_TRUE(Brisca::sharedInstance()->isBriscaStarted());
    EXPECT_EQ(Brisca::sharedInstance()->APIKey(), "BRISCA_API_KEY");
}

class ZNTAnalyticsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZNTAnalytics::resetForTesting();
        Brisca::startWithAPIKey("0123456789abcdef0123456789abcdef01234567");
        linesBefore = Brisca::sharedInstance()->logLines().size();
    }

    std::vector<std::string> newLines() const
    {
        std::vector<std::string> out;
        auto lines = Brisca::sharedInstance()->logLines();
        for (size_t i = linesBefore; i < lines.size(); ++i)
            out.push_back(lines[i].message);
        return out;
    }

    size_t linesBefore = 0;
};

TEST_F(ZNTAnalyticsTest, NothingRecordedMeansNoContainers)
{
    EXPECT_FALSE(ZNTAnalytics::eventLog().has_value());
    EXPECT_FALSE(ZNTAnalytics::logValues().has_value());
    ZNTAnalytics::addItemToLog(std::nullopt);  // creates the log, adds nothing
    ASSERT_TRUE(ZNTAnalytics::eventLog().has_value());
    EXPECT_TRUE(ZNTAnalytics::eventLog()->isEmpty());
}

TEST_F(ZNTAnalyticsTest, EventWritesItsLineThenItsItem)
{
    ZNTAnalytics::logEvent("Song opened");
    ZNTAnalytics::logEvent(QString());  // null: nothing
    EXPECT_EQ(newLines(), std::vector<std::string>{"Song opened"});
    ASSERT_EQ(ZNTAnalytics::eventLog()->size(), 1);
    EXPECT_EQ(ZNTAnalytics::eventLog()->first(), (QVariantMap{{"event", "Song opened"}}));
}

TEST_F(ZNTAnalyticsTest, EmptyNamesAndParametersAreRecordedNotCrashed)
{
    ZNTAnalytics::logEvent("");
    ZNTAnalytics::logEvent("", {});
    ZNTAnalytics::logEvent(QString(), {{"a", 1}});
    EXPECT_EQ(newLines(), (std::vector<std::string>{"", " {\n}"}));
    EXPECT_EQ(ZNTAnalytics::eventLog()->size(), 2);
}

TEST_F(ZNTAnalyticsTest, ParametersLineHasRealTabsWhileTheItemKeepsTheDictionary)
{
    const QVariantMap parameters{{"reader", "a\tb"}, {"status", 3}};
    ZNTAnalytics::logEvent("startReadingWaveform startReading failed", parameters);
    ASSERT_EQ(newLines().size(), 1u);
    EXPECT_EQ(newLines()[0], "startReadingWaveform startReading failed {\n    reader = \"a\tb\";\n    status = 3;\n}");
    const QVariantMap item = ZNTAnalytics::eventLog()->first();
    EXPECT_EQ(item.value("event").toString(), "startReadingWaveform startReading failed");
    EXPECT_EQ(item.value("parameters").toMap(), parameters);
}

TEST_F(ZNTAnalyticsTest, ErrorLineNamesTheMethodAndItsFixedLine)
{
    ZNTAnalytics::logError(QVariant(), QVariant(), std::nullopt);
    Error error{"NSCocoaErrorDomain", 4, "No such file"};
    ZNTAnalytics::logError("Failed to create bookmark.", QVariant(), error);

    const auto lines = newLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "+[ZNTAnalytics logError:message:error:] line 239 $ errorID (null), message (null), error (null)");
    EXPECT_EQ(lines[1],
              "+[ZNTAnalytics logError:message:error:] line 239 $ errorID Failed to create bookmark., message (null), "
              "error Error Domain=NSCocoaErrorDomain Code=4 \"No such file\"");

    const auto log = *ZNTAnalytics::eventLog();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].isEmpty());
    EXPECT_EQ(log[1].keys(), (QStringList{"error", "errorID"}));
    EXPECT_EQ(log[1].value("error").value<Error>(), error);
}

TEST_F(ZNTAnalyticsTest, TheHundredAndFirstItemDropsTheOldest)
{
    for (int i = 1; i <= 101; ++i)
        ZNTAnalytics::logEvent(QString("event %1").arg(i));
    const auto log = *ZNTAnalytics::eventLog();
    ASSERT_EQ(log.size(), 100);
    EXPECT_EQ(log.first().value("event").toString(), "event 2");
    EXPECT_EQ(log.last().value("event").toString(), "event 101");
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(log[i].value("event").toString(), QString("event %1").arg(i + 2));
}

TEST_F(ZNTAnalyticsTest, EventLogIsACopyThatLaterEventsDoNotChange)
{
    ZNTAnalytics::logEvent("one");
    auto snapshot = *ZNTAnalytics::eventLog();
    ZNTAnalytics::logEvent("two");
    EXPECT_EQ(snapshot.size(), 1);
    EXPECT_EQ(ZNTAnalytics::eventLog()->size(), 2);
}

TEST_F(ZNTAnalyticsTest, LogValuesGoToTheKitAndNilRemoves)
{
    ZNTAnalytics::setLogValue(QVariant(), "never set");  // removing first creates nothing
    EXPECT_FALSE(ZNTAnalytics::logValues().has_value());

    ZNTAnalytics::setLogValue("XMLMediaLibrary", "defaultMediaLibrary");
    EXPECT_EQ(ZNTAnalytics::logValues()->value("defaultMediaLibrary").toString(), "XMLMediaLibrary");
    EXPECT_EQ(Brisca::sharedInstance()->customKeys().at("defaultMediaLibrary"), "XMLMediaLibrary");

    ZNTAnalytics::setLogValue(QVariant(), "defaultMediaLibrary");
    EXPECT_FALSE(ZNTAnalytics::logValues()->contains("defaultMediaLibrary"));
    EXPECT_FALSE(Brisca::sharedInstance()->customKeys().at("defaultMediaLibrary").has_value());

    ZNTAnalytics::setLogValue("ignored", QString());  // null key
    EXPECT_TRUE(ZNTAnalytics::logValues()->isEmpty());
    EXPECT_TRUE(newLines().empty());  // values write no log lines
}

TEST_F(ZNTAnalyticsTest, ManyThreadsRecordingAndReadingLoseNothing)
{
    constexpr int threads = 16, perThread = 2000;
    std::vector<std::thread> workers;
    std::atomic<bool> readerSawOverfull{false};
    std::thread reader([&] {
        for (int i = 0; i < 2000; ++i) {
            if (auto log = ZNTAnalytics::eventLog(); log && log->size() > ZNTAnalytics::kEventLogCapacity)
                readerSawOverfull = true;
            ZNTAnalytics::logValues();
        }
    });
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i) {
                switch (i % 4) {
                case 0: ZNTAnalytics::logEvent(QString("e%1-%2").arg(t).arg(i)); break;
                case 1: ZNTAnalytics::logEvent("p", {{"i", i}}); break;
                case 2: ZNTAnalytics::logError("id", QVariant(), std::nullopt); break;
                case 3: ZNTAnalytics::setLogValue(i, QString("key%1").arg(t)); break;
                }
            }
        });
    for (auto& w : workers)
        w.join();
    reader.join();

    EXPECT_FALSE(readerSawOverfull);
    EXPECT_EQ(ZNTAnalytics::eventLog()->size(), ZNTAnalytics::kEventLogCapacity);
    EXPECT_EQ(newLines().size(), size_t(threads * perThread * 3 / 4));
    const auto values = *ZNTAnalytics::logValues();
    EXPECT_EQ(values.size(), threads);
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(values.value(QString("key%1").arg(t)).toInt(), perThread - 1);
}

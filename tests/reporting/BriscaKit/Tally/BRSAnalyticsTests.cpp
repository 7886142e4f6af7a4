// Usage events: their lines, the session's log, its maintenance and upload
// to the fake reporting service on 127.0.0.1.
#include "reporting/BriscaKit/BRSApplication.h"
#include "reporting/BriscaKit/Tally/BRSAnalyticsController.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "reporting/Plinth/Plinth.h"
#include "tests/reporting/Plinth/ScratchFolder.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/HoldingScheduler.h"
#include "tests/support/reporting/Multipart.h"
#include "tests/support/reporting/Waiter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

using reportingtest::ScratchFolder;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Line {
    std::string timestamp;
    std::string key;
};

// The lines of a log file's text, in order.
std::vector<Line> linesOf(const std::string& text)
{
    std::vector<Line> lines;
    size_t at = 0;
    while (at < text.size()) {
        const auto tab = text.find('\t', at);
        auto end = text.find_first_of("\t\n", tab + 1);
        lines.push_back({text.substr(at, tab - at), text.substr(tab + 1, end - tab - 1)});
        if (text[end] == '\t') {  // a payload: skip it by its length
            const auto lengthEnd = text.find('\t', end + 1);
            end = lengthEnd + 1 + std::stoul(text.substr(end + 1, lengthEnd - end - 1));
        }
        at = end + 1;
    }
    return lines;
}

// The keys of a log file's lines, in order.
std::vector<std::string> keysOf(const std::string& path)
{
    std::vector<std::string> keys;
    for (const auto& line : linesOf(contents(path)))
        keys.push_back(line.key);
    return keys;
}

std::vector<std::string> filesUnder(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file())
            found.push_back(fs::relative(it->path(), folder).string());
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

TEST(BRSAnalyticsEventTest, EventsCarryTheirKindPriorityAndIdentifier)
{
    const auto custom = BRSAnalyticsEvent::customEvent("Share", {{"kind", "ringtone"}}, 1000, "E1");
    ASSERT_TRUE(custom);
    EXPECT_EQ(custom->key(), "custom");
    EXPECT_EQ(custom->priority(), 2u);
    EXPECT_EQ(json::parse(*custom->payload()), (json{{"custom_type", "Share"}, {"custom_attributes", {{"kind", "ringtone"}}}, {"eventId", "E1"}}));
    EXPECT_EQ(json::parse(*BRSAnalyticsEvent::customEvent("Bare", nullptr, 1, "E2")->payload())["custom_attributes"], json::object());
    EXPECT_FALSE(BRSAnalyticsEvent::customEvent(std::nullopt, nullptr, 1, "E3"));

    const auto replaced = BRSAnalyticsEvent::make(BRSEventPriority::Low, 1, "k", "E4", {{"eventId", "given"}});
    EXPECT_EQ(json::parse(*replaced->payload())["eventId"], "E4");
    EXPECT_EQ(replaced->stringPayloadValueDict()["eventId"], "given");
    EXPECT_FALSE(BRSAnalyticsEvent::make(BRSEventPriority::Low, 1, "k", "E5", {{"bad", std::string("\xff\xfe")}}));

    EXPECT_EQ(BRSAnalyticsEvent::applicationNotification(kBRSApplicationWillResignActiveNotification, 1, "E", true)->priority(), 0u);
    EXPECT_EQ(BRSAnalyticsEvent::applicationNotification(kBRSApplicationWillResignActiveNotification, 1, "E", false)->priority(), 1u);
    EXPECT_EQ(BRSAnalyticsEvent::applicationNotification(kBRSApplicationDidBecomeActiveNotification, 1, "E", false)->key(), "app_became_active");
    EXPECT_EQ(BRSAnalyticsEvent::applicationNotification(kBRSApplicationWillTerminateNotification, 1, "E", false)->key(), "app_terminated");
    EXPECT_FALSE(BRSAnalyticsEvent::applicationNotification("SomethingElse", 1, "E", false));

    EXPECT_EQ(BRSAnalyticsMetadataController::unwrapBetaToken("2:abc"), "abc");
    EXPECT_FALSE(BRSAnalyticsMetadataController::unwrapBetaToken("abc"));
    EXPECT_FALSE(BRSAnalyticsMetadataController::unwrapBetaToken("2:a:b"));
    EXPECT_FALSE(BRSAnalyticsMetadataController::unwrapBetaToken("3:abc"));
    const auto a = BRSAnalyticsIdentifierGenerator::generateEventIdentifier();
    EXPECT_EQ(a.size(), 36u);
    EXPECT_NE(a, BRSAnalyticsIdentifierGenerator::generateEventIdentifier());
}

namespace {

class AnalyticsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pln::PLNEnvironment environment;
        environment.infoDictionary = {{"CFBundleIdentifier", "com.kestrova.tolvan"}, {"CFBundleVersion", "7"}};
        environment.cacheFolder = folder.path() + "/cache";
        environment.dataFolder = folder.path() + "/data";
        pln::PLNSetEnvironment(environment);
        ::setenv("SettingsEndpoint", "https://127.0.0.1:9", 1);
        pln::PLNSetConsoleSink([this](const std::string& line) {
            std::lock_guard lock(mutex);
            console.push_back(line);
        });
        host.setAPIKey("0123456789abcdef0123456789abcdef01234567");
    }
    void TearDown() override { pln::PLNSetConsoleSink(nullptr); }

    std::shared_ptr<BRSAnalyticsController> makeController(const std::string& session = "s1")
    {
        return BRSAnalyticsController::create(session, root, std::nullopt, {&host, &store, {{}, scheduler}});
    }
    void maintain(BRSAnalyticsController& controller)
    {
        reportingtest::Waiter<bool> done;
        controller.maintainSessionFragments([&](auto) { done.set(true); });
        ASSERT_TRUE(done.wait());
    }
    bool logged(const std::string& fragment)
    {
        std::lock_guard lock(mutex);
        return std::any_of(console.begin(), console.end(), [&](const auto& line) { return line.find(fragment) != std::string::npos; });
    }
    std::string active() const { return root + "/v1/ACTIVE"; }
    std::string packaged() const { return root + "/v1/PACKAGED"; }

    ScratchFolder folder;
    std::string root = folder.path() + "/analytics";
    std::shared_ptr<reportingtest::HoldingScheduler> scheduler = std::make_shared<reportingtest::HoldingScheduler>();
    pln::BRSUserDefaults store{folder.path() + "/data/com.brisca"};
    pln::Plinth host{store, {{}, scheduler}};
    std::mutex mutex;
    std::vector<std::string> console;
};

}  // namespace

TEST_F(AnalyticsTest, AttributesAreCappedAtTwentyAndCutAtAHundredUnitsWithoutSplittingACharacter)
{
    auto controller = makeController();
    json attributes = json::object();
    for (int i = 0; i < 25; ++i)
        attributes["k" + std::to_string(100 + i)] = i;
    const auto kept = controller->filterCustomAttributes(attributes);
    EXPECT_EQ(kept.size(), 20u);
    EXPECT_TRUE(logged("[Brisca] Maximum number of Event attributes exceeded. Ignoring last 5 attributes "));

    const auto cut = controller->filterCustomAttributes({{"long", std::string(150, 'a')}, {"nested", {{"x", 1}}}});
    EXPECT_EQ(cut["long"], std::string(100, 'a'));
    EXPECT_FALSE(cut.contains("nested"));
    // A character outside the basic plane is two units: it does not fit in the last one.
    const std::string emoji = "\xF0\x9F\x98\x80";
    EXPECT_EQ(BRSAnalyticsController::truncateCustomEventAttribute(std::string(99, 'a') + emoji), std::string(99, 'a'));
    EXPECT_EQ(BRSAnalyticsController::truncateCustomEventAttribute(std::string(98, 'a') + emoji + "b"), std::string(98, 'a') + emoji);
    EXPECT_EQ(BRSAnalyticsController::truncateCustomEventAttribute("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
}

TEST_F(AnalyticsTest, BeforeSettingsEventsAreLoggedAndAHighPriorityOneOnlyMarksMaintenance)
{
    auto controller = makeController();
    ASSERT_TRUE(controller);
    ASSERT_TRUE(host.isFirstInstall());
    controller->logAppInstalled();
    controller->logAppLaunched();
    auto& center = pln::PLNNotificationCenter::defaultCenter();
    center.post(kBRSApplicationDidBecomeActiveNotification);
    center.post(kBRSApplicationWillResignActiveNotification);
    center.post(kBRSApplicationWillTerminateNotification);
    controller->logCustomEventWithName("Share", {{"kind", "ringtone"}});
    controller->waitUntilIdle();
    const std::string fragment = controller->currentSessionFragmentDirectory();
    EXPECT_EQ(keysOf(fragment + "/1.log"), (std::vector<std::string>{"metadata", "app_launched", "app_became_inactive", "app_terminated"}));
    EXPECT_EQ(keysOf(fragment + "/0.log"), (std::vector<std::string>{"metadata", "app_installed", "app_became_active"}));
    EXPECT_EQ(keysOf(fragment + "/2.log"), (std::vector<std::string>{"metadata", "custom"}));
    EXPECT_FALSE(fs::exists(packaged())) << "no maintenance before settings";
    EXPECT_TRUE(scheduler->delays().empty()) << "no timer before settings";
    const json metadata = json::parse(controller->metadataJSONData());
    EXPECT_EQ(metadata["session_id"], host.executionIdentifier());
    EXPECT_EQ(metadata["platform"], "mac");
    EXPECT_EQ(metadata["started_at"], controller->sessionTimestamp() / 1000);

    // Settings arrive: the marked maintenance packages the fragment just closed.
    controller->setSettings(json{{"features", {{"collect_analytics", true}}}, {"analytics", {{"flush_interval_secs", 600}}}});
    controller->waitUntilIdle();
    controller->waitUntilIdle();
    const auto files = filesUnder(packaged());
    EXPECT_EQ(files.size(), 3u);
    for (const auto& file : files)
        EXPECT_EQ(fs::path(file).extension(), ".zip") << file;
    EXPECT_FALSE(scheduler->delays().empty()) << "a maintenance timer once the settings ask for one";
}

TEST_F(AnalyticsTest, MaintenanceUploadsEachPackagedFragmentAndRemovesItOnSuccess)
{
    const auto& pki = reportingtest::KitTestPKI::shared();
    pki.installTrustedRootAsSystemStore(folder.path());
    reportingtest::FakeReportingService service(pki.trustedLeaf);
    service.script("POST", "/events", {reportingtest::ScriptedAnswer{200, "{}"}});
    auto controller = makeController();
    controller->setSettings(json{{"features", {{"collect_analytics", true}}}, {"analytics", {{"url", service.baseURL() + "/events"}, {"track_custom_events", true}}}});
    controller->logAppLaunched();
    controller->logCustomEventWithName("Share", nullptr);
    controller->waitUntilIdle();
    maintain(*controller);  // packages the fragment of the two events and sends it

    ASSERT_EQ(service.requestCount("POST", "/events"), 1u);
    const auto request = service.requests().back();
    // The upper-case names as they stand, the body's type and length, and no
    // other field: none the transfer library would add of its own either.
    const std::string contentType = request.header("Content-Type").value_or("");
    EXPECT_EQ(contentType.rfind("multipart/form-data; boundary=", 0), 0u) << contentType;
    std::map<std::string, std::string> expected = {{"Host", "127.0.0.1:" + std::to_string(service.port())},
                                                         {"Content-Type", contentType},
                                                         {"Content-Length", request.header("Content-Length").value_or("")},
                                                         {"User-Agent", "Brisca Mac SDK/3.0.8"},
                                                         {"X-BRISCA-DEVELOPER-TOKEN", "e3b97a0c52d14f86a9c07b3e1d5f28c46a0b9e71"},
                                                         {"X-BRISCA-API-CLIENT-TYPE", "Brisca Mac SDK"},
                                                         {"X-BRISCA-API-CLIENT-VERSION", "50"},
                                                         {"X-BRISCA-API-CLIENT-DISPLAY-VERSION", "3.0.8"},
                                                         {"X-BRISCA-API-CLIENT-BUILD-VERSION", "50"},
                                                         {"X-BRISCA-API-KEY", "0123456789abcdef0123456789abcdef01234567"}};
    EXPECT_EQ(request.fieldsAsSent(), expected);
    ASSERT_EQ(request.parts.size(), 2u);
    EXPECT_EQ(request.parts[0].name, "1.log.zip");
    EXPECT_EQ(request.parts[0].fileName, "1.log.zip");
    EXPECT_EQ(request.parts[0].contentType, "application/vnd.brisca.ios.events");
    const auto medium = reportingtest::gunzip(request.parts[0].data);
    ASSERT_TRUE(medium);
    EXPECT_NE(medium->find("\tapp_launched\t"), std::string::npos);
    EXPECT_NE(reportingtest::gunzip(request.parts[1].data).value_or("").find("\"custom_type\":\"Share\""), std::string::npos);
    EXPECT_TRUE(filesUnder(packaged()).empty()) << "sent fragments are removed";

    // A failed upload keeps the fragment for the next maintenance.
    service.script("POST", "/events", {reportingtest::ScriptedAnswer{400, "{}"}});
    controller->logAppLaunched();
    controller->waitUntilIdle();
    maintain(*controller);
    EXPECT_EQ(service.requestCount("POST", "/events"), 2u);
    EXPECT_EQ(filesUnder(packaged()).size(), 1u);
}

TEST_F(AnalyticsTest, PruningDropsTheOldestFilesOfTheLowestPriorityFirst)
{
    const std::string session = active() + "/1_old";
    const std::vector<std::pair<std::string, std::string>> files{
        {"1000_a", "0.log"}, {"2000_b", "2.log"}, {"3000_c", "2.log"}, {"4000_d", "1.log"}, {"5000_e", "2.log"}};
    for (const auto& [fragment, name] : files) {
        fs::create_directories(session + "/" + fragment);
        std::ofstream(session + "/" + fragment + "/" + name) << "1\tmetadata\n";
    }
    auto controller = makeController();
    controller->setSettings(json{{"features", {{"collect_analytics", true}}}, {"analytics", {{"max_pending_send_file_count", 3}}}});
    controller->waitUntilIdle();
    maintain(*controller);
    EXPECT_EQ(filesUnder(packaged()),
              (std::vector<std::string>{"1_old/1000_a/0.log.zip", "1_old/4000_d/1.log.zip", "1_old/5000_e/2.log.zip"}));
    EXPECT_FALSE(fs::exists(active() + "/1_old"));
}

TEST_F(AnalyticsTest, AFileGrownPastItsLimitStartsAMaintenance)
{
    auto controller = makeController();
    controller->setSettings(json{{"features", {{"collect_analytics", true}}}, {"analytics", {{"max_byte_size_per_file", 10}, {"track_custom_events", true}}}});
    controller->waitUntilIdle();
    const std::string first = controller->currentSessionFragmentDirectory();
    controller->logCustomEventWithName("Big", {{"text", std::string(50, 'x')}});
    controller->waitUntilIdle();
    controller->waitUntilIdle();
    EXPECT_NE(controller->currentSessionFragmentDirectory(), first);
    EXPECT_EQ(filesUnder(packaged()).size(), 1u);
}

TEST_F(AnalyticsTest, SettingsThatTurnUsageEventsOffRemoveTheStore)
{
    auto controller = makeController();
    controller->logAppLaunched();
    controller->waitUntilIdle();
    ASSERT_TRUE(fs::exists(root));
    controller->setSettings(json{{"features", {{"collect_analytics", false}}}});
    controller->waitUntilIdle();
    EXPECT_FALSE(fs::exists(root));
    controller->logCustomEventWithName("Share", nullptr);
    EXPECT_TRUE(logged("[Brisca:Tally] Tally is disabled for this application. Please enable Tally on your dashboard."));
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(AnalyticsTest, ACrashIsLoggedIntoItsOwnSessionOnly)
{
    std::string firstSessionDirectory;
    {
        auto first = makeController("first");
        firstSessionDirectory = fs::path(first->currentSessionFragmentDirectory()).parent_path().filename().string();
        first->waitUntilIdle();
    }
    auto second = makeController("second");
    second->logPreviousSessionCrashedOnDate(1700000000, "older");  // not the previous session: nothing
    second->logPreviousSessionCrashedOnDate(1700000000, "first");
    second->waitUntilIdle();
    const auto files = filesUnder(active() + "/" + firstSessionDirectory);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(fs::path(files[0]).filename(), "1.log");
    EXPECT_EQ(fs::path(files[0]).parent_path().string().substr(0, 14), "1700000000000_");
    EXPECT_EQ(keysOf(active() + "/" + firstSessionDirectory + "/" + files[0]), (std::vector<std::string>{"metadata", "app_crashed"}));
}

TEST_F(AnalyticsTest, SettingsFlagsWrittenAsTextReadAsTheRestOfTheKitReadsThem)
{
    auto controller = makeController();
    controller->setSettings(json{{"features", {{"collect_analytics", " 01"}}}, {"analytics", {{"flush_on_background", "YES"}, {"track_custom_events", "0"}}}});
    controller->waitUntilIdle();
    auto settings = controller->settings();
    EXPECT_TRUE(settings.shouldCollectAnalytics);
    EXPECT_TRUE(settings.shouldFlushOnBackground);
    EXPECT_FALSE(settings.trackCustomEvents);

    controller->setSettings(json{{"features", {{"collect_analytics", "NO"}}}, {"analytics", {{"flush_on_background", "+1"}, {"track_custom_events", "true"}}}});
    controller->waitUntilIdle();
    settings = controller->settings();
    EXPECT_FALSE(settings.shouldCollectAnalytics);
    EXPECT_TRUE(settings.shouldFlushOnBackground);
    EXPECT_TRUE(settings.trackCustomEvents);
}

// Fragments rotate while events of every priority arrive from other threads.
// An event that comes between the new fragment's set-up and the moment its
// queue lets go of the old file must not open a file that is then let go of
// and opened again, which writes a second metadata line into it.
TEST_F(AnalyticsTest, EveryLogFileStartsWithItsOneMetadataLineWhileFragmentsRotate)
{
    auto controller = makeController();
    controller->setSettings(json{{"features", {{"collect_analytics", true}}}, {"analytics", {{"track_custom_events", true}}}});
    controller->waitUntilIdle();
    std::mt19937 random(20261211);
    for (int rotation = 0; rotation < 150; ++rotation) {
        reportingtest::Waiter<bool> rotated;
        controller->maintainSessionFragments([&](auto) { rotated.set(true); });
        const auto spin = std::chrono::microseconds(random() % 400);
        std::vector<std::thread> loggers;
        for (int priority = 0; priority < 3; ++priority)
            loggers.emplace_back([&, priority] {
                for (const auto until = std::chrono::steady_clock::now() + spin; std::chrono::steady_clock::now() < until;)
                    ;
                if (priority == 1)
                    controller->logAppLaunched();
                else if (priority == 2)
                    controller->logCustomEventWithName("Race", nullptr);
                else
                    controller->logEvent(BRSAnalyticsEvent::make(BRSEventPriority::High, 1, "race", "E", nlohmann::json::object()));
            });
        for (auto& logger : loggers)
            logger.join();
        ASSERT_TRUE(rotated.wait());
        controller->logAppLaunched();  // opens the open fragment's file again if it was let go of
        controller->logCustomEventWithName("After", nullptr);
    }
    controller->waitUntilIdle();

    std::size_t checked = 0;
    for (const auto& state : {active(), packaged()})
        for (const auto& file : filesUnder(state)) {
            const std::string path = state + "/" + file;
            const auto text = fs::path(file).extension() == ".zip" ? reportingtest::gunzip(contents(path)) : std::optional(contents(path));
            ASSERT_TRUE(text) << file;
            const auto lines = linesOf(*text);
            ASSERT_FALSE(lines.empty()) << file;
            EXPECT_EQ(lines[0].key, "metadata") << file;
            // The metadata line carries the timestamp of the fragment it stands in.
            const std::string fragment = fs::path(file).parent_path().filename().string();
            EXPECT_EQ(lines[0].timestamp, fragment.substr(0, fragment.find('_'))) << file;
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const Line& line) { return line.key == "metadata"; }), 1) << file;
            ++checked;
        }
    EXPECT_GT(checked, 150u);
}

// The metadata line heading each log file carries the session's metadata
// with its members in the order the service reads them; a member without a
// value is left out, the flags and numbers are always there.
TEST_F(AnalyticsTest, TheMetadataLineCarriesItsMembersInTheirOrder)
{
    auto controller = makeController();
    controller->logAppLaunched();
    controller->waitUntilIdle();
    const std::string text = contents(controller->currentSessionFragmentDirectory() + "/1.log");
    const auto lines = linesOf(text);
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ(lines[0].key, "metadata");
    const auto payload = text.substr(text.find('{'), text.find('\n') - text.find('{'));
    const auto metadata = nlohmann::ordered_json::parse(payload, nullptr, false);
    ASSERT_TRUE(metadata.is_object()) << payload;
    const std::vector<std::string> table = {"generator", "links_ad_support", "advertising_tracking_enabled", "advertising_id", "api_key",
                                            "session_id", "started_at", "vendor_id", "install_id", "beta_tester_token", "model",
                                            "machine", "locale", "os_build", "os_version", "platform", "platform_code", "cores",
                                            "jailbroken", "bundle_id", "bundle_version", "bundle_short_version", "instance_id"};
    std::size_t at = 0;
    for (const auto& member : metadata.items()) {
        while (at < table.size() && table[at] != member.key())
            ++at;
        EXPECT_LT(at, table.size()) << "\"" << member.key() << "\" out of its place in " << payload;
    }
    for (const char* always : {"generator", "links_ad_support", "advertising_tracking_enabled", "api_key", "session_id", "started_at",
                               "install_id", "platform", "platform_code", "cores", "jailbroken", "bundle_id", "instance_id"})
        EXPECT_TRUE(metadata.contains(always)) << always << " in " << payload;
    EXPECT_EQ(metadata["install_id"], host.installID());
}

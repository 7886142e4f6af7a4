#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNIdentity.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "reporting/Plinth/PLNSettingsOnboardingManager.h"
#include "tests/reporting/Plinth/MachOBuilder.h"
#include "tests/reporting/Plinth/ScratchFolder.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/ManualScheduler.h"
#include "tests/support/reporting/Waiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

using namespace pln;
using reportingtest::FakeReportingService;
using reportingtest::KitTestPKI;
using reportingtest::ScriptedAnswer;
using reportingtest::ScratchFolder;

namespace {

const std::string kSettingsPath = "/spi/v2/platforms/mac/apps/com.example.tone/settings";
const std::string kCreatePath = "/spi/v1/platforms/mac/apps";
const std::string kUpdatePath = "/spi/v1/platforms/mac/apps/com.example.tone";
const std::string kAPIKey = std::string(40, 'a');

std::string pngBytes() { return std::string("\x89PNG\r\n\x1a\n", 8) + "icon pixels"; }

// One part of a multipart body: its name and its value or file bytes.
struct Part {
    std::string name;
    std::string value;
    std::string head;
};

std::vector<Part> partsOf(const std::string& body, const std::string& boundary)
{
    std::vector<Part> parts;
    const std::string delimiter = "--" + boundary + "\r\n";
    std::size_t at = body.find(delimiter);
    while (at != std::string::npos) {
        const std::size_t start = at + delimiter.size();
        const std::size_t headEnd = body.find("\r\n\r\n", start);
        std::size_t next = body.find("\r\n--" + boundary, headEnd);
        if (headEnd == std::string::npos || next == std::string::npos)
            break;
        Part part;
        part.head = body.substr(start, headEnd - start);
        const auto nameAt = part.head.find("name=\"") + 6;
        part.name = part.head.substr(nameAt, part.head.find('"', nameAt) - nameAt);
        part.value = body.substr(headEnd + 4, next - headEnd - 4);
        parts.push_back(part);
        at = body.find(delimiter, next + 2);
    }
    return parts;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static ScratchFolder roots;
        KitTestPKI::shared().installTrustedRootAsSystemStore(roots.path());
        setenv("SettingsEndpoint", service.baseURL().c_str(), 1);
        setenv("ConfigureEndpoint", service.baseURL().c_str(), 1);
        useEnvironment({{"CFBundleIdentifier", "com.example.tone"}, {"CFBundleVersion", "7"}, {"CFBundleShortVersionString", "1.0"},
                        {"CFBundleName", "Tone"}});
        PLNSetConsoleSink([this](const std::string& line) {
            std::lock_guard lock(linesMutex);
            lines.push_back(line);
            if (line == awaitedLine)
                lineSeen.set(true);
        });
        observer = PLNNotificationCenter::defaultCenter().addObserver(kPLNSettingsAvailableNotification, [this, gate = gate] {
            // A notification may still be on its way when the test ends: the
            // gate lets the fixture wait for it and then turn the rest away.
            std::lock_guard lock(gate->mutex);
            if (!gate->open)
                return;
            notificationGETCount = service.requestCount("GET", kSettingsPath);
            if (++notifications == 2)
                notifiedAgain.set(true);
            notified.set(true);
        });
    }

    void TearDown() override
    {
        observer.reset();
        {
            std::lock_guard lock(gate->mutex);
            gate->open = false;
        }
        PLNSetConsoleSink(nullptr);
        PLNSetDebugEnabled(false);
        unsetenv("SettingsEndpoint");
        unsetenv("ConfigureEndpoint");
        PLNSetEnvironment(PLNEnvironment{});
    }

    // What every settings and onboarding request carries, with the test's locale and key.
    static std::map<std::string, std::string> hostKitFields()
    {
        return {{"User-Agent", "io.plinth.sdk.mac/1.2.4 (15)"},
                {"Accept-Charset", "utf-8"},
                {"Accept-Language", "en_US"},
                {"Content-Language", "en_US"},
                {"X-Brisca-Developer-Token", "5d0c3f9a8e7b61d24a0f93c5b7e18d6a2c4f0b91"},
                {"X-Brisca-API-Client-Id", "io.plinth.sdk.mac"},
                {"X-Brisca-API-Client-Display-Version", "1.2.4"},
                {"X-Brisca-API-Client-Build-Version", "15"},
                {"X-Brisca-API-Key", kAPIKey}};
    }

    void useEnvironment(nlohmann::json info, bool withIcon = false)
    {
        PLNEnvironment environment;
        environment.infoDictionary = std::move(info);
        environment.cacheFolder = caches.path();
        if (withIcon)
            environment.icon = PLNIconImage{pngBytes(), 57.9, 64};
        PLNSetEnvironment(environment);
    }

    std::shared_ptr<PLNSettingsOnboardingManager> makeManager(std::optional<std::string> token = std::nullopt)
    {
        model = PLNApplicationIdentiferModel::initWithInstallID("INSTALL-ID");
        return std::make_shared<PLNSettingsOnboardingManager>(model, token, PLNNetworkOptions{{KitTestPKI::shared().pinnedRoot.certificate}, scheduler});
    }

    std::string settingsFile() const { return caches.path() + "/io.plinth.sdk.mac.data/com.example.tone/settings.json"; }

    void awaitLine(const std::string& line)
    {
        {
            std::lock_guard lock(linesMutex);
            awaitedLine = line;
            for (const auto& each : lines)
                if (each == line)
                    return;
        }
        EXPECT_EQ(lineSeen.wait(), true) << line << " among:\n" << [this] { std::lock_guard lock(linesMutex); std::string all; for (const auto& each : lines) all += each + "\n"; return all; }();
    }

    ScratchFolder caches;
    FakeReportingService service{KitTestPKI::shared().pinnedLeaf};
    std::shared_ptr<reportingtest::ManualScheduler> scheduler = std::make_shared<reportingtest::ManualScheduler>();
    std::shared_ptr<PLNApplicationIdentiferModel> model;
    struct Gate {
        std::mutex mutex;
        bool open = true;
    };
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    PLNNotificationCenter::Token observer;
    std::atomic<int> notifications{0};
    std::atomic<std::size_t> notificationGETCount{0};
    reportingtest::Waiter<bool> notified;
    reportingtest::Waiter<bool> notifiedAgain;
    std::mutex linesMutex;
    std::vector<std::string> lines;
    std::string awaitedLine;
    reportingtest::Waiter<bool> lineSeen;
};

}  // namespace

TEST_F(SettingsTest, DownloadSendsTheSettingsRequestAndCachesTheBody)
{
    service.script("GET", kSettingsPath, {ScriptedAnswer{200, R"({"app":{"status":"activated"},"features":{"x":1}})", "application/json"}});
    auto manager = makeManager("AD-TOKEN");
    manager->beginSettingsAndOnboardingOperationsWithAPIKey(kAPIKey, {{"io.plinth.sdk.mac", "1.2.4"}});
    ASSERT_EQ(notified.wait(), true);
    EXPECT_EQ(ScratchFolder::read(settingsFile()), R"({"app":{"status":"activated"},"features":{"x":1}})");
    EXPECT_EQ(manager->settingsModel()->settingsDictionary()->at("features")["x"], 1);
    EXPECT_FALSE(manager->hasAttemptedAppConfigure());

    const auto request = service.requests().front();
    EXPECT_EQ(request.method, "GET");
    const std::vector<std::pair<std::string, std::string>> query = {
        {"build_version", "7"}, {"display_version", "1.0"}, {"instance", model->instanceIdentifier()}, {"source", "1"}};
    EXPECT_EQ(request.queryInOrder, query);  // no icon, no icon_hash
    auto expected = hostKitFields();
    expected.insert({{"Accept", "application/json"},
                     {"X-Brisca-Installation-ID", "INSTALL-ID"},
                     {"X-Brisca-OS-Display-Version", PLNHostOSDisplayVersion()},
                     {"X-Brisca-Advertising-Token", "AD-TOKEN"}});
    if (const auto model = PLNHostModel())
        expected.emplace("X-Brisca-Device-Model", *model);
    if (const auto build = PLNHostOSBuildVersion())
        expected.emplace("X-Brisca-OS-Build-Version", *build);
    EXPECT_EQ(request.kitFields(), expected);
    // Nothing but the settings file is left in its folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(settingsFile()).parent_path()), {}), 1);
}

TEST_F(SettingsTest, NewApplicationIsCreatedAndNotifiedOnlyAfterTheNextDownload)
{
    service.script("GET", kSettingsPath, {ScriptedAnswer{200, R"({"app":{"status":"new"}})"}, ScriptedAnswer{200, R"({"app":{"status":"activated"}})"}});
    service.script("POST", kCreatePath, {ScriptedAnswer{201, "{}"}});
    auto manager = makeManager();
    manager->beginSettingsAndOnboardingOperationsWithAPIKey(kAPIKey, {});
    ASSERT_EQ(notified.wait(), true);
    EXPECT_EQ(notificationGETCount, 2u);
    EXPECT_EQ(service.requestCount("POST", kCreatePath), 1u);
    EXPECT_EQ(manager->settingsModel()->appStatus(), "activated");
    // The creation is a form: the host kit's fields and the form's own two.
    const auto requests = service.requests();
    const auto create = *std::find_if(requests.begin(), requests.end(), [](const auto& each) { return each.method == "POST"; });
    EXPECT_EQ(create.formKitFields(), hostKitFields());
    EXPECT_FALSE(manager->onboardingOperation());  // cleared after the success
}

TEST_F(SettingsTest, UpdateRequiredStartsAnUpdateAndNotifiesAtOnce)
{
    service.script("GET", kSettingsPath, {ScriptedAnswer{200, R"({"app":{"status":"activated","update_required":true}})"}});
    service.script("PUT", kUpdatePath, {ScriptedAnswer{200, "{}"}});
    auto manager = makeManager();
    manager->beginSettingsAndOnboardingOperationsWithAPIKey(kAPIKey, {});
    ASSERT_EQ(notified.wait(), true);
    EXPECT_EQ(notificationGETCount, 1u);
    EXPECT_TRUE(manager->hasAttemptedAppConfigure());
    for (int i = 0; i < 10000 && service.requestCount("PUT", kUpdatePath) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(service.requestCount("PUT", kUpdatePath), 1u);

    // A second download in the same run that asks again starts nothing more.
    manager->beginSettingsDownload();
    ASSERT_EQ(notifiedAgain.wait(), true);
    EXPECT_EQ(service.requestCount("GET", kSettingsPath), 2u);
    EXPECT_EQ(service.requestCount("PUT", kUpdatePath), 1u);
}

TEST_F(SettingsTest, FailedDownloadKeepsTheCachedSettings)
{
    std::filesystem::create_directories(std::filesystem::path(settingsFile()).parent_path());
    ScratchFolder::writeFile(settingsFile(), R"({"app":{"status":"activated"},"cached":true})");
    service.script("GET", kSettingsPath, {ScriptedAnswer{503, "busy", "text/plain"}});
    auto manager = makeManager();
    manager->beginSettingsAndOnboardingOperationsWithAPIKey(kAPIKey, {});
    awaitLine("[Plinth] failed to download settings Error Domain=PLNNetworkError Code=-1 \"\" UserInfo="
              R"({"content_type":"text/plain","request_id":"","status_code":503,"type":3})");
    EXPECT_EQ(service.requestCount("GET", kSettingsPath), 2u);  // one retry
    EXPECT_EQ(scheduler->delays(), std::vector<double>{300});
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(manager->settingsModel()->settingsDictionary()->at("cached"), true);
}

TEST_F(SettingsTest, CorruptOrNonObjectCacheIsDeleted)
{
    std::filesystem::create_directories(std::filesystem::path(settingsFile()).parent_path());
    for (const std::string content : {"abc", "[1,2,3]", "\"text\""}) {
        ScratchFolder::writeFile(settingsFile(), content);
        PLNSettings settings(settingsFile());
        EXPECT_FALSE(settings.settingsDictionary()) << content;
        EXPECT_FALSE(std::filesystem::exists(settingsFile())) << content;
        EXPECT_FALSE(settings.appNeedsOnboarding());
    }
}

TEST_F(SettingsTest, DamagedCacheIsLoggedRemovedAndReplacedByTheNextDownload)
{
    const std::string deep = "{\"app\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    const struct {
        std::string what;
        std::function<void()> damage;
        std::string logged;
    } damages[] = {
        {"a folder", [&] { std::filesystem::create_directories(settingsFile() + "/inside"); }, "open: Is a directory"},
        {"deep nesting", [&] { ScratchFolder::writeFile(settingsFile(), deep); }, "The data nests deeper than 256 levels"},
        {"cut in half", [&] { ScratchFolder::writeFile(settingsFile(), R"({"app":{"sta)"); }, "The data is not JSON"},
        {"not UTF-8", [&] { ScratchFolder::writeFile(settingsFile(), "{\"app\":\"\xff\"}"); }, "The data is not JSON"},
    };
    for (const auto& damage : damages) {
        std::filesystem::remove_all(settingsFile());
        std::filesystem::create_directories(std::filesystem::path(settingsFile()).parent_path());
        damage.damage();
        PLNSettings settings(settingsFile());
        EXPECT_FALSE(settings.settingsDictionary()) << damage.what;
        EXPECT_FALSE(std::filesystem::exists(settingsFile())) << damage.what;
        awaitLine("[Plinth] Could not load settings with error: " + damage.logged);
    }

    std::filesystem::create_directories(settingsFile() + "/inside");
    service.script("GET", kSettingsPath, {ScriptedAnswer{200, R"({"app":{"status":"activated"}})"}});
    auto manager = makeManager();
    manager->beginSettingsAndOnboardingOperationsWithAPIKey(kAPIKey, {});
    ASSERT_EQ(notified.wait(), true) << [this] { std::lock_guard lock(linesMutex); std::string all; for (const auto& each : lines) all += each + "\n"; return all; }();
    EXPECT_EQ(manager->settingsModel()->appStatus(), "activated");
    EXPECT_TRUE(std::filesystem::is_regular_file(settingsFile()));
}

// The settings read once answer every later question: a file changed or
// removed behind their back changes nothing until they are cleared.
TEST_F(SettingsTest, AnswersComeFromTheDictionaryHeldNotFromTheFileAgain)
{
    std::filesystem::create_directories(std::filesystem::path(settingsFile()).parent_path());
    ScratchFolder::writeFile(settingsFile(), R"({"app":{"status":"activated"},"read":1})");
    PLNSettings settings(settingsFile());
    ASSERT_EQ(settings.appStatus(), "activated");

    ScratchFolder::writeFile(settingsFile(), R"({"app":{"status":"new","update_required":true},"read":2})");
    EXPECT_EQ(settings.settingsDictionary()->at("read"), 1);
    EXPECT_EQ(settings.appStatus(), "activated");
    EXPECT_FALSE(settings.appNeedsOnboarding());
    EXPECT_FALSE(settings.appUpdateRequired());
    std::filesystem::remove(settingsFile());
    EXPECT_EQ(settings.appStatus(), "activated");
    EXPECT_TRUE(settings.appSettings());

    // Given settings are held as they were given.
    settings.setSettingsDictionary(nlohmann::json{{"app", {{"update_required", true}}}});
    ScratchFolder::writeFile(settingsFile(), R"({"app":{"update_required":false}})");
    EXPECT_TRUE(settings.appUpdateRequired());

    // Cleared, the next question reads the file of now.
    settings.clearSettingsDictionary();
    ScratchFolder::writeFile(settingsFile(), R"({"app":{"status":"new"},"read":3})");
    EXPECT_TRUE(settings.appNeedsOnboarding());
    ScratchFolder::writeFile(settingsFile(), R"({"app":{"status":"activated"},"read":4})");
    EXPECT_EQ(settings.settingsDictionary()->at("read"), 3);
}

TEST_F(SettingsTest, WrongTypedAppValuesCountAsAbsent)
{
    PLNSettings settings("/nonexistent");
    settings.setSettingsDictionary(nlohmann::json{{"app", {{"status", 5}, {"update_required", "yes"}}}});
    EXPECT_FALSE(settings.appStatus());
    EXPECT_FALSE(settings.appUpdateRequired());
    settings.setSettingsDictionary(nlohmann::json{{"app", "new"}});
    EXPECT_FALSE(settings.appSettings());
    settings.setSettingsDictionary(nlohmann::json{{"app", nullptr}});
    EXPECT_FALSE(settings.appNeedsOnboarding());
}

TEST_F(SettingsTest, ConfigurationLookupOrder)
{
    useEnvironment({{"CFBundleIdentifier", "com.example.tone"}, {"Brisca", {{"SettingsEndpoint", "https://from.info"}, {"ConfigureEndpoint", 3}}}});
    EXPECT_EQ(PLNSettingsOnboardingManager::valueForConfigurationKey("SettingsEndpoint"), service.baseURL());
    unsetenv("SettingsEndpoint");
    unsetenv("ConfigureEndpoint");
    EXPECT_EQ(PLNSettingsOnboardingManager::valueForConfigurationKey("SettingsEndpoint"), "https://from.info");
    EXPECT_EQ(PLNSettingsOnboardingManager::valueForConfigurationKey("ConfigureEndpoint"),
              PLNSettingsOnboardingManager::defaultConfiguration()["ConfigureEndpoint"]);
}

TEST_F(SettingsTest, IconHashAndAdvertisingTokenRules)
{
    useEnvironment({{"CFBundleIdentifier", "com.example.tone"}, {"Plinth", {{"ReportIdentifiers", false}}}}, true);
    service.script("GET", kSettingsPath, {ScriptedAnswer{200, "{}"}});
    auto manager = makeManager("AD-TOKEN");
    manager->beginSettingsAndOnboardingOperationsWithAPIKey(kAPIKey, {});
    ASSERT_EQ(notified.wait(), true);
    const auto request = service.requests().front();
    EXPECT_FALSE(request.header("X-Brisca-Advertising-Token"));
    const auto hash = request.query.find("icon_hash");
    ASSERT_NE(hash, request.query.end());
    EXPECT_EQ(hash->second, PLNSHA1HexStringFromData(pngBytes()));
}

TEST_F(SettingsTest, BundleIdentifiersThatWalkOutOfTheCachesFolderAreRefused)
{
    for (const std::string identifier : {"", ".", "..", "../escape", "a//b", "/absolute"}) {
        useEnvironment({{"CFBundleIdentifier", identifier}});
        EXPECT_FALSE(PLNSettingsOnboardingManager::settingsDirectoryPath()) << identifier;
    }
    useEnvironment({{"CFBundleIdentifier", ".."}, {"CFBundleVersion", "1"}});
    auto manager = makeManager();
    manager->beginSettingsAndOnboardingOperationsWithAPIKey(kAPIKey, {});
    EXPECT_TRUE(service.requests().empty());
    EXPECT_TRUE(std::filesystem::exists(caches.path()));
}

TEST_F(SettingsTest, OperationsNeedAnAPIKey)
{
    EXPECT_FALSE(PLNDownloadAndSaveSettingsOperation::create(std::nullopt, {}, "https://x", "/d", "/d/f", std::nullopt, std::nullopt));
    EXPECT_FALSE(PLNOnboardingOperation::create({}, true, std::nullopt, {}, nullptr, "https://x"));
}

TEST_F(SettingsTest, OnboardingFormFieldByField)
{
    useEnvironment({{"CFBundleIdentifier", "com.example/tone"}, {"CFBundleVersion", "7"}, {"CFBundleShortVersionString", "1.0"},
                    {"CFBundleDisplayName", "Tone Maker"}},
                   true);
    ScratchFolder folder;
    const reportingtest::MachOBuilder intel = reportingtest::MachOBuilder(0x01000007, 3).uuid(std::vector<std::uint8_t>(16, 0xab)).minimumVersion(36, 10 << 16 | 9 << 8, 10 << 16 | 13 << 8);
    const reportingtest::MachOBuilder arm = reportingtest::MachOBuilder(0x0100000c, 0).uuid(std::vector<std::uint8_t>(16, 0x01));
    const auto universal = PLNApplicationIdentiferModel::initWithInstallID("ID", folder.write("app", reportingtest::MachOBuilder::fat({{intel, intel.bytes()}, {arm, arm.bytes()}})));
    ASSERT_TRUE(universal);
    const auto create = PLNOnboardingOperation::create({}, true, kAPIKey, {{"com.plinth.brisca.mac", "3.1"}, {"io.plinth.sdk.mac", "1.2.4"}},
                                                       universal, "https://configure.test");
    const auto request = create->buildRequest();
    EXPECT_EQ(request.httpMethod, "POST");
    EXPECT_EQ(request.url, "https://configure.test/spi/v1/platforms/mac/apps");
    EXPECT_EQ(request.timeoutInterval, 2.0);
    EXPECT_EQ(request.valueForHTTPHeaderField("X-Brisca-API-Key"), kAPIKey);
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::to_string(request.body.size()));
    const auto boundary = request.valueForHTTPHeaderField("Content-Type")->substr(30);
    const auto parts = partsOf(request.body, boundary);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"app[identifier]", "com.example_tone"},
        {"app[instance_identifier]", universal->instanceIdentifier()},
        {"app[name]", "Tone Maker"},
        {"app[build_version]", "7"},
        {"app[display_version]", "1.0"},
        {"app[source]", "1"},
        {"app[minimum_sdk_version]", "10.9.0"},
        {"app[built_sdk_version]", "10.13.0"},
        {"app[build][libraries][com.plinth.brisca.mac]", "3.1"},
        {"app[build][libraries][io.plinth.sdk.mac]", "1.2.4"},
        {"app[slices][][arch]", "arm64"},
        {"app[slices][][uuid]", "01010101010101010101010101010101"},
        {"app[slices][][arch]", "x86_64"},
        {"app[slices][][uuid]", "abababababababababababababababab"},
        {"app[icon][hash]", PLNSHA1HexStringFromData(pngBytes())},
        {"app[icon][prerendered]", "true"},
        {"app[icon][width]", "57"},
        {"app[icon][height]", "64"},
        {"app[icon][data]", pngBytes()},
    };
    ASSERT_EQ(parts.size(), expected.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(parts[i].name, expected[i].first) << i;
        EXPECT_EQ(parts[i].value, expected[i].second) << expected[i].first;
    }
    EXPECT_NE(parts.back().head.find("filename=\"icon.png\""), std::string::npos);
    EXPECT_NE(parts.back().head.find("Content-Type: image/png"), std::string::npos);

    const auto update = PLNOnboardingOperation::create({}, false, kAPIKey, {}, universal, "https://configure.test");
    const auto updateRequest = update->buildRequest();
    EXPECT_EQ(updateRequest.httpMethod, "PUT");
    EXPECT_EQ(updateRequest.url, "https://configure.test/spi/v1/platforms/mac/apps/com.example_tone");
    EXPECT_EQ(updateRequest.timeoutInterval, 10.0);

    // Without an icon the form ends with the slice fields.
    useEnvironment({{"CFBundleIdentifier", "com.example.tone"}});
    const auto plain = PLNApplicationIdentiferModel::initWithInstallID("ID", folder.write("plain", intel.bytes()));
    const auto plainParts = partsOf(PLNOnboardingOperation::create({}, true, kAPIKey, {}, plain, "https://c")->buildRequest().body, boundary);
    EXPECT_TRUE(plainParts.empty());  // a new request has a new boundary
    const auto plainRequest = PLNOnboardingOperation::create({}, true, kAPIKey, {}, plain, "https://c")->buildRequest();
    const auto lastParts = partsOf(plainRequest.body, plainRequest.valueForHTTPHeaderField("Content-Type")->substr(30));
    ASSERT_FALSE(lastParts.empty());
    EXPECT_EQ(lastParts.back().name, "app[slices][][uuid]");
}

#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "reporting/Plinth/Plinth.h"
#include "tests/reporting/Plinth/MemoryLegacyDefaults.h"
#include "tests/reporting/Plinth/ScratchFolder.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/ManualScheduler.h"
#include "tests/support/reporting/Waiter.h"

#include <gtest/gtest.h>

#include <regex>

using namespace pln;
using reportingtest::MemoryLegacyDefaults;
using reportingtest::ScratchFolder;

namespace {

const std::string kPlinthAPIKey = "0123456789abcdef0123456789abcdef01234567";

class RecordingKit : public PLNKit {
public:
    RecordingKit(std::string name, std::optional<std::string> version, std::optional<std::string> bundle, Plinth* host = nullptr)
        : name_(std::move(name)), version_(std::move(version)), bundle_(std::move(bundle)), host_(host)
    {
    }
    std::string className() const override { return name_; }
    void start() override
    {
        ++starts;
        if (host_)
            sawItselfDuringStart = host_->kitForClass(name_) != nullptr;
    }
    std::optional<std::string> version() const override { return version_; }
    std::optional<std::string> bundleIdentifier() const override { return bundle_; }

    int starts = 0;
    bool sawItselfDuringStart = false;

private:
    std::string name_;
    std::optional<std::string> version_;
    std::optional<std::string> bundle_;
    Plinth* host_;
};

class PlinthTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        useInfo({{"CFBundleIdentifier", "com.example.tone"}, {"CFBundleVersion", "7"}, {"Plinth", {{"APIKey", kPlinthAPIKey}, {"Kits", nlohmann::json::array()}}}});
        PLNSetConsoleSink([this](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        });
        // No test here talks to the built-in endpoints.
        setenv("SettingsEndpoint", "https://127.0.0.1:9", 1);
    }
    void TearDown() override
    {
        PLNSetConsoleSink(nullptr);
        unsetenv("SettingsEndpoint");
        unsetenv("ConfigureEndpoint");
        PLNSetEnvironment(PLNEnvironment{});
    }

    void useInfo(nlohmann::json info, std::shared_ptr<PLNLegacyDefaults> legacy = nullptr)
    {
        PLNEnvironment environment;
        environment.infoDictionary = std::move(info);
        environment.cacheFolder = folder.path() + "/caches";
        environment.legacyDefaults = std::move(legacy);
        PLNSetEnvironment(environment);
    }

    std::unique_ptr<Plinth> makeHost()
    {
        return std::make_unique<Plinth>(store, PLNNetworkOptions{{}, std::make_shared<reportingtest::ManualScheduler>()});
    }

    bool logged(const std::string& line)
    {
        std::lock_guard lock(mutex);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    ScratchFolder folder;
    BRSUserDefaults store{folder.path() + "/com.brisca"};
    std::mutex mutex;
    std::vector<std::string> lines;
};

}  // namespace

TEST_F(PlinthTest, RegistersAndStartsKitsOnceAndListsTheirVersions)
{
    auto host = makeHost();
    auto crash = std::make_shared<RecordingKit>("Brisca", "3.1", "com.plinth.brisca.mac", host.get());
    auto bare = std::make_shared<RecordingKit>("BareKit", std::nullopt, std::nullopt);
    auto impostor = std::make_shared<RecordingKit>("Impostor", "9.9", "io.plinth.sdk.mac");
    host->registerKits({crash, bare, impostor});
    host->registerKits({crash});
    EXPECT_EQ(crash->starts, 1);
    EXPECT_FALSE(crash->sawItselfDuringStart);  // the map is stored after every start
    EXPECT_EQ(host->kitForClass("Brisca"), crash);
    EXPECT_EQ(host->kitForClass("Unknown"), nullptr);
    const PLNKitVersions expected = {{"com.plinth.brisca.mac", "3.1"}, {"BareKit", "???"}, {"io.plinth.sdk.mac", "1.2.4"}};
    EXPECT_EQ(host->SDKKitVersions(), expected);
}

TEST_F(PlinthTest, LaterKitOfTheSameClassReplacesTheEarlierButBothStart)
{
    auto host = makeHost();
    auto first = std::make_shared<RecordingKit>("Brisca", "1", std::nullopt);
    auto second = std::make_shared<RecordingKit>("Brisca", "2", std::nullopt);
    host->registerKits({first, second});
    EXPECT_EQ(first->starts, 1);
    EXPECT_EQ(second->starts, 1);
    EXPECT_EQ(host->kitForClass("Brisca"), second);
}

TEST_F(PlinthTest, WithoutAnAPIKeyNothingStartsAndTheRegistrationIsUsedUp)
{
    useInfo({{"CFBundleIdentifier", "com.example.tone"}, {"Plinth", {{"APIKey", kPlinthAPIKey}}}});
    auto host = makeHost();
    host->setSDKConfig(nlohmann::json{{"Kits", nlohmann::json::array()}});
    auto kit = std::make_shared<RecordingKit>("Brisca", "1", std::nullopt);
    host->registerKits({kit});
    EXPECT_EQ(kit->starts, 0);
    EXPECT_TRUE(host->kitMap().empty());
    EXPECT_TRUE(logged("[Plinth] Plinth API Key is nil! Plinth won't work unless there is a valid API Key setup in Info.plist"));
    host->setAPIKey(kPlinthAPIKey);
    host->registerKits({kit});
    EXPECT_EQ(kit->starts, 0);
}

TEST_F(PlinthTest, ConfigurationChecksRaiseForWhatTheKitCannotRunWith)
{
    auto message = [](const nlohmann::json& info) {
        try {
            Plinth::validSDKConfigFromInfoPlist(info);
        } catch (const PLNException& exception) {
            return std::string(exception.what());
        }
        return std::string("no exception");
    };
    EXPECT_EQ(message(nullptr), "[Plinth] Cannot find Info.plist.");
    EXPECT_EQ(message({{"Plinth", "text"}}), "[Plinth] Value of Info.plist key \"Plinth\" must be a NSDictionary.");
    EXPECT_EQ(message({{"Plinth", {{"Kits", nlohmann::json::array()}}}}),
              "[Plinth] Value of Info.plist[Plinth][APIKey] must contain your Plinth API Key.");
    EXPECT_EQ(message({{"Plinth", {{"APIKey", kPlinthAPIKey}}}}), "no exception");
    EXPECT_TRUE(logged("[Plinth] [Plinth] Value of Info.plist[Plinth][Kits] should be a NSArray."));

    useInfo({{"Plinth", {{"Kits", nlohmann::json::array()}}}});
    auto host = makeHost();
    EXPECT_THROW(host->APIKey(), PLNException);
}

TEST_F(PlinthTest, KitConfigurationTakesTheFirstEntryAndSetsKitInfoOverTheDecodedOne)
{
    const std::string obfuscated = "eyJhIjoib2JmdXNjYXRlZCIsImIiOiJvYmZ1c2NhdGVkIn0=";  // {"a":"obfuscated","b":"obfuscated"}
    useInfo({{"Plinth",
              {{"APIKey", kPlinthAPIKey},
               {"Kits",
                {"not a dictionary",
                 {{"KitName", "Brisca"}, {"KitInfo", {{"b", "plain"}}}, {"ObfuscatedKitInfo", obfuscated}},
                 {{"KitName", "Brisca"}, {"KitInfo", {{"b", "second"}}}},
                 {{"KitName", "Other"}, {"KitInfo", "wrong type"}}}}}}});
    auto host = makeHost();
    RecordingKit brisca("Brisca", "1", std::nullopt), other("Other", "1", std::nullopt), absent("Absent", "1", std::nullopt);
    EXPECT_EQ(host->configurationDictionaryForKit(brisca), (nlohmann::json{{"a", "obfuscated"}, {"b", "plain"}}));
    EXPECT_EQ(host->configurationDictionaryForKit(other), nlohmann::json::object());
    EXPECT_FALSE(host->configurationDictionaryForKit(absent));

    useInfo({{"Plinth", {{"APIKey", kPlinthAPIKey}, {"Kits", {{"KitName", "Brisca"}}}}}});
    EXPECT_FALSE(makeHost()->configurationDictionaryForKit(brisca));  // "Kits" is a dictionary here, not an array
}

TEST_F(PlinthTest, InstallationIdentifierIsMadeOnceAndKeptAcrossLaunches)
{
    std::string first;
    {
        auto host = makeHost();
        EXPECT_TRUE(host->isFirstInstall());
        first = host->installID();
        EXPECT_TRUE(std::regex_match(first, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")));
        EXPECT_TRUE(std::regex_match(host->executionIdentifier(), std::regex("[0-9a-f]{32}")));
        ASSERT_TRUE(host->instanceIdentifier());
        EXPECT_EQ(host->instanceIdentifier()->size(), 40u);
    }
    BRSUserDefaults nextLaunch(folder.path() + "/com.brisca");
    Plinth host(nextLaunch, PLNNetworkOptions{{}, std::make_shared<reportingtest::ManualScheduler>()});
    EXPECT_FALSE(host.isFirstInstall());
    EXPECT_EQ(host.installID(), first);
}

TEST_F(PlinthTest, InstallationIdentifierOfAnOlderVersionIsMovedIn)
{
    auto legacy = std::make_shared<MemoryLegacyDefaults>();
    legacy->values["com.brisca.iuuid"] = "LEGACY-INSTALL-ID";
    useInfo({{"Plinth", {{"APIKey", kPlinthAPIKey}}}}, legacy);
    auto host = makeHost();
    EXPECT_FALSE(host->isFirstInstall());
    EXPECT_EQ(host->installID(), "LEGACY-INSTALL-ID");
    EXPECT_TRUE(legacy->values.empty());
}

TEST_F(PlinthTest, StartingKitsDownloadsTheSettingsThatTheHostThenAnswers)
{
    const auto& pki = reportingtest::KitTestPKI::shared();
    static ScratchFolder roots;
    pki.installTrustedRootAsSystemStore(roots.path());
    reportingtest::FakeReportingService service(pki.pinnedLeaf);
    service.script("GET", "/spi/v2/platforms/mac/apps/com.example.tone/settings",
                   {reportingtest::ScriptedAnswer{200, R"({"app":{"status":"activated"},"features":{"collect_reports":true}})"}});
    setenv("SettingsEndpoint", service.baseURL().c_str(), 1);
    reportingtest::Waiter<bool> available;
    auto token = PLNNotificationCenter::defaultCenter().addObserver(kPLNSettingsAvailableNotification, [&] { available.set(true); });

    Plinth host(store, PLNNetworkOptions{{pki.pinnedRoot.certificate}, std::make_shared<reportingtest::ManualScheduler>()});
    EXPECT_FALSE(host.settings());
    host.registerKits({std::make_shared<RecordingKit>("Brisca", "3.1", "com.plinth.brisca.mac")});
    ASSERT_EQ(available.wait(), true);
    ASSERT_TRUE(host.settings());
    EXPECT_EQ((*host.settings())["features"]["collect_reports"], true);
    const auto request = service.requests().front();
    EXPECT_EQ(request.header("X-Brisca-API-Key"), kPlinthAPIKey);
    EXPECT_EQ(request.header("X-Brisca-Installation-ID"), host.installID());
}

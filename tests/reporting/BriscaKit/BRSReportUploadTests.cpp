// Reports of earlier executions found at a launch, asked about, packaged and
// posted to the fake reporting service on 127.0.0.1.
#include "reporting/BriscaKit/BRSCrashReportingController.h"
#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/BriscaKit/Tally/BRSAnalyticsController.h"
#include "reporting/Plinth/PLNConsole.h"
#include "tests/reporting/BriscaKit/LaunchFixtures.h"
#include "tests/reporting/BriscaKit/ReportFixtures.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/HoldingScheduler.h"
#include "tests/support/reporting/ManualScheduler.h"
#include "tests/support/reporting/Multipart.h"

#include <gtest/gtest.h>

#include <thread>

using namespace brstest;
using reportingtest::FakeReportingService;
using reportingtest::KitTestPKI;
using reportingtest::ScriptedAnswer;
namespace fs = std::filesystem;

namespace {


// Polls until the condition holds; the limit only guards a hung test.
template <typename Condition>
bool eventually(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class ReportUploadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        installLaunchEnvironment(home.path(), service.baseURL());
    }

    // A launch: a host of its own over the same store, as a new process has.
    std::shared_ptr<Brisca> launch(std::shared_ptr<brs::Scheduler> scheduler, BRSApplication& application)
    {
        pln::PLNNetworkOptions network{{KitTestPKI::shared().pinnedRoot.certificate}, std::move(scheduler)};
        hosts.push_back(std::make_unique<pln::Plinth>(store, network));
        auto kit = Brisca::create({hosts.back().get(), &runtime, &application, &store, network});
        kit->startWith(kTestAPIKey, nullptr);
        return kit;
    }

    std::string earlierReport(const std::string& name, bool crash = true) { return writeReport(files.activePath() + "/" + name, name, crash); }
    bool logged(const std::string& fragment) const { return console.mentions(fragment); }

    ScratchFolder home;
    FakeReportingService service{KitTestPKI::shared().pinnedLeaf};
    pln::BRSUserDefaults store{home.path() + "/.local/share/com.brisca"};
    FakeRuntime runtime{home.path() + "/.cache"};
    BRSFileManager files{runtime};
    std::vector<std::unique_ptr<pln::Plinth>> hosts;
    ConsoleCapture console;
};

}  // namespace

TEST_F(ReportUploadTest, AReportTheUserSendsIsPostedWithItsHeadersAndPartsAndLeavesNothingBehind)
{
    writeCachedSettings(home.path(), {{"features", {{"prompt_enabled", true}}}});
    ASSERT_TRUE(files.prepareForNewLaunch());
    earlierReport("abc123");
    service.script("POST", kReportsPath, {ScriptedAnswer{200, "{}"}});
    TestApplication application(0);
    auto kit = launch(std::make_shared<reportingtest::ManualScheduler>(), application);

    ASSERT_TRUE(eventually([&] { return service.requestCount("POST", kReportsPath) == 1 && files.preparedPathContents().empty(); }));
    const auto alerts = application.alerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, "Send Crash Report?");
    EXPECT_EQ(alerts[0].informativeText, "Looks like we crashed! Please help us fix the problem by sending a crash report.");
    EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"Send", "Always Send", "Don't Send"}));
    EXPECT_EQ(kit->crashReportingController()->promptChoice(), BRSPromptChoice::Send);

    const auto request = service.requests().back();
    const std::map<std::string, std::string> expected = {{"User-Agent", "Brisca Mac SDK/3.0.8"},
                                                         {"Accept", "application/json"},
                                                         {"Accept-Charset", "utf-8"},
                                                         {"Accept-Language", "en_US"},
                                                         {"Content-Language", "en_US"},
                                                         {"X-Brisca-Developer-Token", "e3b97a0c52d14f86a9c07b3e1d5f28c46a0b9e71"},
                                                         {"X-Brisca-API-Client-Id", "com.plinth.brisca.mac"},
                                                         {"X-Brisca-API-Client-Display-Version", "3.0.8"},
                                                         {"X-Brisca-API-Client-Build-Version", "50"},
                                                         {"X-Brisca-API-Key", kTestAPIKey}};
    EXPECT_EQ(request.formKitFields(), expected);
    const auto& parts = request.parts;
    std::vector<std::string> names;
    for (const auto& part : parts)
        names.push_back(part.name);
    EXPECT_EQ(names, (std::vector<std::string>{"api_key", "report_id", "metadata", "sdk", "signal"}));
    EXPECT_EQ(parts[1].data, "abc123");
    // Nothing of the report is left: not in active, processing or prepared.
    EXPECT_FALSE(fs::exists(files.activePath() + "/abc123"));
    EXPECT_TRUE(files.processingPathContents().empty());
}

TEST_F(ReportUploadTest, AfterALaunchThatDiedEarlyReportsAreSentAtOnceDuringTheStart)
{
    ASSERT_TRUE(files.prepareForNewLaunch());
    earlierReport("abc123");
    writeFile(files.structurePath() + "/launchmarker", "");  // the last launch never reached its main loop
    service.script("POST", kReportsPath, {ScriptedAnswer{200, "{}"}});
    TestApplication application;
    auto kit = launch(std::make_shared<reportingtest::ManualScheduler>(), application);
    // Sent before the start returned, on the starting thread.
    EXPECT_EQ(service.requestCount("POST", kReportsPath), 1u);
    ASSERT_TRUE(eventually([&] { return files.preparedPathContents().empty(); }));
    application.drainMain();
    EXPECT_FALSE(fs::exists(files.structurePath() + "/launchmarker")) << "this launch reached its main loop";
}

TEST_F(ReportUploadTest, A503IsTriedAgainAfterItsRetryValue)
{
    ASSERT_TRUE(files.prepareForNewLaunch());
    earlierReport("abc123");
    service.script("POST", kReportsPath, {ScriptedAnswer{503, "busy", "text/plain", "7"}, ScriptedAnswer{200, "{}"}});
    auto scheduler = std::make_shared<reportingtest::ManualScheduler>();
    TestApplication application;
    auto kit = launch(scheduler, application);
    ASSERT_TRUE(eventually([&] { return service.requestCount("POST", kReportsPath) == 2 && files.preparedPathContents().empty(); }));
    const auto delays = scheduler->delays();
    EXPECT_NE(std::find(delays.begin(), delays.end(), 7.0), delays.end());
    EXPECT_TRUE(application.alerts().empty()) << "no prompt without the setting";
}

TEST_F(ReportUploadTest, ARefusedPackageIsKeptAndTriedOnlyAFewTimes)
{
    ASSERT_TRUE(files.prepareForNewLaunch());
    earlierReport("abc123");
    service.script("POST", kReportsPath, {ScriptedAnswer{401, "{}"}});
    auto scheduler = std::make_shared<reportingtest::ManualScheduler>();
    TestApplication application;
    auto kit = launch(scheduler, application);
    ASSERT_TRUE(eventually([&] { return logged("it is kept and tried again at the next launch"); }));
    kit->crashReportingController()->operationQueue()->sync([] {});
    EXPECT_EQ(service.requestCount("POST", kReportsPath), size_t(kBRSRejectedUploadAttempts));
    EXPECT_EQ(files.preparedPathContents().size(), 1u);
    const auto delays = scheduler->delays();
    EXPECT_EQ(std::count(delays.begin(), delays.end(), kBRSUploadRetryInterval), kBRSRejectedUploadAttempts - 1);
}

TEST_F(ReportUploadTest, AServiceThatIsDownLosesNothingAndTheNextLaunchSendsIt)
{
    ASSERT_TRUE(files.prepareForNewLaunch());
    earlierReport("abc123");
    {
        installLaunchEnvironment(home.path(), "https://127.0.0.1:9");
        auto scheduler = std::make_shared<reportingtest::HoldingScheduler>();
        TestApplication application;
        auto kit = launch(scheduler, application);
        ASSERT_TRUE(eventually([&] {
            const auto delays = scheduler->delays();
            return std::find(delays.begin(), delays.end(), kBRSUploadRetryInterval) != delays.end();
        }));
        EXPECT_EQ(files.preparedPathContents().size(), 1u);
    }
    installLaunchEnvironment(home.path(), service.baseURL());
    service.script("POST", kReportsPath, {ScriptedAnswer{200, "{}"}});
    TestApplication application;
    auto kit = launch(std::make_shared<reportingtest::ManualScheduler>(), application);
    ASSERT_TRUE(eventually([&] { return service.requestCount("POST", kReportsPath) == 1 && files.preparedPathContents().empty(); }));
}

TEST_F(ReportUploadTest, DontSendRemovesThisAndLaterReportsWithoutAskingAgain)
{
    writeCachedSettings(home.path(), {{"features", {{"prompt_enabled", true}}}, {"prompt", {{"always_send_button_title", ""}}}});
    ASSERT_TRUE(files.prepareForNewLaunch());
    earlierReport("first");
    earlierReport("second", false);
    TestApplication application(1);  // without "Always Send" the second button is "Don't Send"
    auto kit = launch(std::make_shared<reportingtest::ManualScheduler>(), application);
    ASSERT_TRUE(eventually([&] { return files.activePathContents().size() == 1; }));
    kit->crashReportingController()->operationQueue()->sync([] {});
    ASSERT_EQ(application.alerts().size(), 1u);
    EXPECT_EQ(application.alerts()[0].buttons, (std::vector<std::string>{"Send", "Don't Send"}));
    EXPECT_EQ(kit->crashReportingController()->promptChoice(), BRSPromptChoice::DontSend);
    EXPECT_EQ(service.requestCount("POST", kReportsPath), 0u);
}

TEST_F(ReportUploadTest, AReportOfARunningInstanceIsLeftAlone)
{
    ASSERT_TRUE(files.prepareForNewLaunch());
    // One running instance crashed-looking (its record half written), one
    // with nothing worth sending yet: neither is taken nor deleted.
    const std::string other = earlierReport("running");
    const std::string live = files.activePath() + "/live";
    writeFile(live + "/log_a.brsrecord", "{\"log\":{}}\n");
    const int lock = BRSLockReportDirectory(other);
    const int liveLock = BRSLockReportDirectory(live);
    ASSERT_GE(lock, 0);
    ASSERT_GE(liveLock, 0);
    TestApplication application;
    // The kit says when it leaves a report alone; nothing else touches it.
    pln::PLNSetDebugEnabled(true);
    auto kit = launch(std::make_shared<reportingtest::ManualScheduler>(), application);
    ASSERT_TRUE(eventually([&] { return logged("running instance at " + other) && logged("running instance at " + live); }));
    pln::PLNSetDebugEnabled(false);
    kit->crashReportingController()->operationQueue()->sync([] {});
    EXPECT_TRUE(fs::exists(other + "/signal.brsrecord"));
    EXPECT_TRUE(fs::exists(live + "/log_a.brsrecord"));
    EXPECT_EQ(service.requestCount("POST", kReportsPath), 0u);
    ::close(lock);
    ::close(liveLock);
    EXPECT_FALSE(BRSReportDirectoryIsLocked(other));
}

TEST_F(ReportUploadTest, ACrashedRunEndsItsOwnSessionWithACrashEventAtTheNextLaunch)
{
    ASSERT_TRUE(files.prepareForNewLaunch());
    std::string crashedRun;
    {
        TestApplication application;
        auto kit = launch(std::make_shared<reportingtest::HoldingScheduler>(), application);
        crashedRun = hosts.back()->executionIdentifier();
    }
    hosts.clear();  // that process ends: its kit and the lock on its report go
    // That run crashed: its report holds a crash record beside its metadata.
    const std::string report = files.activePath() + "/" + crashedRun;
    ASSERT_TRUE(fs::exists(report + "/metadata.brsrecord"));
    writeFile(report + "/signal.brsrecord", "{\"signal\":{}}\n");
    service.script("POST", kReportsPath, {ScriptedAnswer{200, "{}"}});
    TestApplication application;
    auto kit = launch(std::make_shared<reportingtest::HoldingScheduler>(), application);
    ASSERT_TRUE(eventually([&] { return service.requestCount("POST", kReportsPath) == 1; }));
    kit->analyticsController()->waitUntilIdle();

    std::vector<std::string> crashEvents;
    for (const auto& entry : fs::recursive_directory_iterator(reportRoot(home.path()) + "/analytics"))
        if (entry.is_regular_file() && fileText(entry.path().string()).find("\tapp_crashed\t") != std::string::npos)
            crashEvents.push_back(entry.path().string());
    ASSERT_EQ(crashEvents.size(), 1u);
    EXPECT_NE(crashEvents[0].find("_" + crashedRun + "/"), std::string::npos) << crashEvents[0];
}

namespace {

class CountingDelegate : public BRSNetworkClientDelegate {
public:
    bool networkClientCanUseBackgroundSessions(BRSNetworkClient&) override { return false; }
    void networkClientDidFinishUpload(BRSNetworkClient&, const std::string&, const std::optional<brs::Error>& error) override
    {
        std::lock_guard lock(mutex);
        ends.push_back(error);
    }
    std::mutex mutex;
    std::vector<std::optional<brs::Error>> ends;
};

}  // namespace

TEST_F(ReportUploadTest, TwoStartsOfOnePackageSendItOnce)
{
    ASSERT_TRUE(files.prepareForNewLaunch());
    writeFile(files.preparedPath() + "/B.multipartmime", "body");
    service.script("POST", "/upload", {ScriptedAnswer{200, "{}"}});
    auto delegate = std::make_shared<CountingDelegate>();
    auto client = BRSNetworkClient::create(std::make_shared<brs::SerialQueue>("test.work"), files, delegate,
                                           {{KitTestPKI::shared().pinnedRoot.certificate}, std::make_shared<reportingtest::ManualScheduler>()});
    brs::URLRequest request;
    request.url = service.baseURL() + "/upload";
    request.httpMethod = "POST";
    request.setValueForHTTPHeaderField("application/json", "Accept");
    client->startUploadRequest(request, files.preparedPath() + "/B.multipartmime", false);
    client->startUploadRequest(request, files.preparedPath() + "/B.multipartmime", false);
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(delegate->mutex);
        return !delegate->ends.empty();
    }));
    client->operationQueue()->sync([] {});
    EXPECT_EQ(service.requestCount("POST", "/upload"), 1u);
    EXPECT_EQ(delegate->ends.size(), 1u);
    EXPECT_FALSE(delegate->ends[0]);

    // Once that upload has ended, the package may be sent again; an unreadable one ends with its path.
    client->startUploadRequest(request, files.preparedPath() + "/missing.multipartmime", false);
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(delegate->mutex);
        return delegate->ends.size() == 2;
    }));
    EXPECT_EQ(delegate->ends[1]->domain, "BRSNetworkError");
    EXPECT_EQ(delegate->ends[1]->code, -2);
}

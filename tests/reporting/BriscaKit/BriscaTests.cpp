// The kit's front started as the application starts it, in a scratch home,
// with its settings download pointed at a closed port.
#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/BriscaKit/Brisca.h"
#include "reporting/Plinth/PLNConsole.h"
#include "tests/reporting/BriscaKit/LaunchFixtures.h"
#include "tests/support/reporting/ManualScheduler.h"

#include <gtest/gtest.h>


using namespace brstest;

namespace {

class BriscaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        installLaunchEnvironment(home.path(), "https://127.0.0.1:9");
    }

    std::shared_ptr<Brisca> makeKit() { return Brisca::create({&host, &runtime, &application, &store, network}); }

    bool logged(const std::string& line) const { return console.hasLine(line); }

    ScratchFolder home;
    pln::PLNNetworkOptions network{{}, std::make_shared<reportingtest::ManualScheduler>()};
    pln::BRSUserDefaults store{home.path() + "/.local/share/com.brisca"};
    pln::Plinth host{store, network};
    FakeRuntime runtime{home.path() + "/.cache"};
    TestApplication application;
    ConsoleCapture console;
};

}  // namespace

TEST_F(BriscaTest, NothingIsRecordedBeforeTheStartAndTheStartRunsOnce)
{
    auto kit = makeKit();
    BRSUserLoggingLog("early %d", 1);
    kit->setObjectValue("v", "early");
    EXPECT_FALSE(kit->isBriscaStarted());
    EXPECT_TRUE(kit->logLines().empty());

    kit->startWith(kTestAPIKey, nullptr);
    ASSERT_TRUE(kit->isBriscaStarted());
    const auto controller = kit->crashReportingController();
    kit->startWith("another key", nullptr);  // registers again, but starts nothing new
    EXPECT_EQ(kit->crashReportingController(), controller);
    EXPECT_EQ(kit->APIKey(), "another key");
    EXPECT_TRUE(logged("[Brisca] Version 3.0.8 (50)"));
    EXPECT_TRUE(kit->customKeys().empty());
    EXPECT_TRUE(kit->logLines().empty());
}

TEST_F(BriscaTest, LogLinesAndCustomKeysLandInThisRunsReport)
{
    auto kit = makeKit();
    kit->startWith(kTestAPIKey, nullptr);
    BRSUserLoggingLog("%s line %d $ %s", "who", 239, "what");
    BRSUserLoggingLog(nullptr);
    kit->setObjectValue("first", "defaultMediaLibrary");
    kit->setObjectValue("second", "defaultMediaLibrary");
    kit->setObjectValue(std::nullopt, "cleared");
    kit->setIntValue(42, "answer");

    const auto lines = kit->logLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "who line 239 $ what");
    EXPECT_LT(lines[0].millisecondsSinceStart, 600000u);
    const auto keys = kit->customKeys();
    EXPECT_EQ(keys.at("defaultMediaLibrary"), "second");
    EXPECT_EQ(keys.at("answer"), "42");
    ASSERT_TRUE(keys.count("cleared"));
    EXPECT_FALSE(keys.at("cleared").has_value());

    // The files are those of this execution's own report directory.
    BRSFileManager files(runtime);
    const std::string current = files.activePath() + "/" + host.executionIdentifier();
    EXPECT_TRUE(std::filesystem::exists(current + "/metadata.brsrecord"));
    EXPECT_NE(fileText(current + "/log_a.brsrecord").find("time"), std::string::npos);
}

TEST_F(BriscaTest, ManyThreadsLogWholeLines)
{
    auto kit = makeKit();
    kit->startWith(kTestAPIKey, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i)
                BRSUserLoggingLog("thread %d line %d", t, i);
        });
    for (auto& thread : threads)
        thread.join();
    const auto lines = kit->logLines();
    EXPECT_EQ(lines.size(), 800u);
    for (const auto& line : lines)
        EXPECT_EQ(line.message.rfind("thread ", 0), 0u) << line.message;
}

TEST_F(BriscaTest, DebugModeIsTurnedOnWhateverTheArgumentAndWarnsAfterTheStart)
{
    auto kit = makeKit();
    kit->setDebugMode(false);
    EXPECT_TRUE(kit->debugMode());
    EXPECT_FALSE(logged("[Brisca] Warning, consider enabling debug mode before starting Brisca"));
    kit->startWith(kTestAPIKey, nullptr);
    kit->setDebugMode(true);
    EXPECT_TRUE(logged("[Brisca] Warning, consider enabling debug mode before starting Brisca"));
}

TEST_F(BriscaTest, DelegateDecidesOnlyWhatItAnswers)
{
    auto kit = makeKit();
    EXPECT_FALSE(kit->shouldInstallCrashCallback());
    EXPECT_TRUE(kit->reportingControllerCanUseBackgroundSessions());
    EXPECT_FALSE(kit->reportingControllerMustInformDelegateOfReports());
    EXPECT_FALSE(kit->reportingControllerEnsureDeliveryOfUnixSignal(SIGABRT));

    auto delegate = std::make_shared<BriscaDelegate>();
    delegate->didDetectCrashDuringPreviousExecution = [] {};
    delegate->ensureDeliveryOfUnixSignal = [](int signal) { return signal == SIGABRT; };
    kit->setDelegate(delegate);
    EXPECT_TRUE(kit->reportingControllerMustInformDelegateOfReports());  // a legacy method is enough
    EXPECT_TRUE(kit->reportingControllerEnsureDeliveryOfUnixSignal(SIGABRT));
    EXPECT_FALSE(kit->reportingControllerEnsureDeliveryOfUnixSignal(SIGSEGV));

    // Only the legacy method: the report is submitted, then the method runs on the main thread.
    std::optional<bool> submitted;
    kit->reportingControllerDidDetectReportForLastExecution(std::make_shared<BRSInternalReport>(home.path(), "x"),
                                                            [&](bool submit) { submitted = submit; });
    EXPECT_EQ(submitted, true);
}

TEST_F(BriscaTest, ThrowExceptionRaisesTheTestException)
{
    auto kit = makeKit();
    EXPECT_THROW(kit->throwException(), std::runtime_error);
}

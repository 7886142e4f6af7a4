// A crash report reaches the fake reporting service on 127.0.0.1 once: the
// service's answer says "accepted" as soon as its status line and fields
// have come, however long the rest of the answer takes, and a launch killed
// after that point leaves nothing to send again.
#include "tests/reporting/BriscaKit/CrashHelperRun.h"
#include "tests/reporting/BriscaKit/LaunchFixtures.h"
#include "tests/reporting/BriscaKit/ReportFixtures.h"
#include "tests/support/reporting/FakeReportingService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

using namespace brstest;
using reportingtest::FakeReportingService;
using reportingtest::KitTestPKI;
using reportingtest::ScriptedAnswer;
namespace fs = std::filesystem;

namespace {


// A 200 whose status and fields come at once and whose body then takes
// about 10 s, a byte every 1.5 s: no idle time-out ever fires on it.
ScriptedAnswer slowTwoHundred() { return ScriptedAnswer{200, "{\"ok\":1}", "application/json", {}, {}, {}, {}, std::chrono::milliseconds(1500)}; }

class CrashDeliveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(home.file("root.pem"), KitTestPKI::shared().pinnedRoot.certificatePEM());
        writeCachedSettings(home.path(), nlohmann::json::object());
        runCrashHelper({"abort"}, {{"HOME", home.path()}});
        ASSERT_TRUE(fs::exists(reportRoot(home.path()) + "/v3/active/crashrun/signal.brsrecord")) << "the crash left a report";
    }

    HelperEnvironment launchEnvironment() const
    {
        return {{"HOME", home.path()}, {"BRISCA_TEST_SERVICE", service.baseURL()}, {"BRISCA_TEST_ROOT", home.file("root.pem")}};
    }

    // The kit's mark of a launch that ended before its main loop turned:
    // the next launch sends the earlier reports as urgent, before it goes on.
    void markLastLaunchFailed() const { writeFile(reportRoot(home.path()) + "/v3/launchmarker", ""); }

    std::size_t packagesWaiting() const
    {
        std::error_code error;
        std::size_t count = 0;
        for (fs::directory_iterator it(reportRoot(home.path()) + "/v3/prepared", error), end; !error && it != end; it.increment(error))
            ++count;
        return count;
    }

    // Starts the next launch without waiting for it; its output is dropped.
    pid_t startNextLaunch() const { return startCrashHelper({"next-launch"}, launchEnvironment()); }

    ScratchFolder home;
    FakeReportingService service{KitTestPKI::shared().pinnedLeaf};
};

long startMilliseconds(const std::string& output)
{
    std::smatch found;
    return std::regex_search(output, found, std::regex("start took (\\d+) ms")) ? std::stol(found[1]) : -1;
}

}  // namespace

TEST_F(CrashDeliveryTest, AnUrgentReportAnsweredSlowlyIsSentOnceAndHoldsTheLaunchNoLongerThanItsTimeOut)
{
    markLastLaunchFailed();
    service.script("POST", kReportsPath, {slowTwoHundred()});
    const auto first = runCrashHelper({"next-launch"}, launchEnvironment());
    EXPECT_NE(first.output.find("prepared 0 processing 0 active 1"), std::string::npos) << first.output;
    const long held = startMilliseconds(first.output);
    ASSERT_GE(held, 0) << first.output;
    EXPECT_LT(held, 2500) << "the urgent send's time-out is 2 s";

    service.script("POST", kReportsPath, {ScriptedAnswer{200, "{}"}});
    runCrashHelper({"next-launch"}, launchEnvironment());
    EXPECT_EQ(service.requestCount("POST", kReportsPath), 1u);
}

TEST_F(CrashDeliveryTest, ALaunchKilledWhileTheAcceptedReportsAnswerStillComesSendsNothingAgain)
{
    service.script("POST", kReportsPath, {slowTwoHundred()});
    const pid_t launch = startNextLaunch();
    ASSERT_GT(launch, 0);
    // The service has the whole report once it answers; the launch is
    // killed while the answer's body is still on its way.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (service.requestCount("POST", kReportsPath) == 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(service.requestCount("POST", kReportsPath), 1u);
    for (const auto settle = std::chrono::steady_clock::now() + std::chrono::seconds(3); packagesWaiting() > 0 && std::chrono::steady_clock::now() < settle;)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Killed, or ended by itself once nothing was left to send: either way
    // gone seconds before the answer's body is whole.
    ::kill(launch, SIGKILL);
    ::waitpid(launch, nullptr, 0);

    service.script("POST", kReportsPath, {ScriptedAnswer{200, "{}"}});
    const auto relaunch = runCrashHelper({"next-launch"}, launchEnvironment());
    EXPECT_NE(relaunch.output.find("prepared 0 processing 0 active 1"), std::string::npos) << relaunch.output;
    EXPECT_EQ(service.requestCount("POST", kReportsPath), 1u) << "the accepted report went out again";
}

TEST_F(CrashDeliveryTest, AReportKilledBeforeTheServiceAnsweredIsSentByTheNextLaunch)
{
    // The service takes 3 s before it answers at all: the launch dies first.
    service.script("POST", kReportsPath, {ScriptedAnswer{200, "{}", "application/json", {}, {}, {}, std::chrono::milliseconds(3000)}});
    const pid_t launch = startNextLaunch();
    ASSERT_GT(launch, 0);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (service.requestCount("POST", kReportsPath) == 0 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(launch, SIGKILL);
    ::waitpid(launch, nullptr, 0);
    EXPECT_EQ(packagesWaiting(), 1u) << "an unanswered report stays for the next launch";

    service.script("POST", kReportsPath, {ScriptedAnswer{200, "{}"}});
    const auto relaunch = runCrashHelper({"next-launch"}, launchEnvironment());
    EXPECT_NE(relaunch.output.find("prepared 0 processing 0 active 1"), std::string::npos) << relaunch.output;
    EXPECT_EQ(service.requestCount("POST", kReportsPath), 2u);
    EXPECT_EQ(packagesWaiting(), 0u);
}

// What the kit's own log says of a fault: the exception kind and its codes
// as the record gives them, not the signal's number.
TEST(CrashLogTest, TheExceptionServersLineNamesTheExceptionAndItsCodes)
{
    ScratchFolder home;
    runCrashHelper({"null-write"}, {{"HOME", home.path()}});
    const std::string folder = reportRoot(home.path()) + "/v3/active/crashrun";
    const auto record = records(folder + "/mach_exception.brsrecord");
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record[0]["mach_exception"]["exception"], 1);
    const std::string log = fileText(folder + "/sdk.log");
    EXPECT_NE(log.find("BRSMachExceptionServer: Mach exception: 0x1, count: 2, code: 0x1 0x0\n"), std::string::npos) << log;
}

// The beta-update check's request, sent to a stand-in for the service.
#include "reporting/BriscaKit/BRSBetaController.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/ManualScheduler.h"
#include "tests/support/reporting/Waiter.h"

#include <gtest/gtest.h>

namespace {

class BetaDelegate : public BRSBetaControllerDelegate {
public:
    std::optional<std::string> APIKeyForBetaController() override { return "BETA-API-KEY"; }
    std::shared_ptr<const BRSSettings> settingsForBetaController() override { return std::make_shared<BRSSettings>(); }
};

}  // namespace

TEST(BetaCheckTest, TheCheckAsksForJSONWithTheCrashKitsFieldsTheKeyAndTheBetaToken)
{
    const auto& pki = reportingtest::KitTestPKI::shared();
    reportingtest::FakeReportingService service(pki.pinnedLeaf);
    service.script("GET", "/beta", {reportingtest::ScriptedAnswer{200, R"({"url":"https://example.test/build"})"}});
    pln::PLNEnvironment environment;
    environment.localeIdentifier = "fr_CA";
    pln::PLNSetEnvironment(environment);
    auto delegate = std::make_shared<BetaDelegate>();
    const pln::PLNNetworkOptions options{{pki.pinnedRoot.certificate}, std::make_shared<reportingtest::ManualScheduler>()};
    auto controller = BRSBetaController::create(delegate, options, [] { return std::optional<std::string>("BETA-TOKEN"); });

    pln::PLNNetworkClient client(nullptr, options.pinnedCertificates, options.scheduler);
    reportingtest::Waiter<std::optional<std::string>> answer;
    client.startDataTaskWithRequest(controller->updateCheckRequest(service.baseURL() + "/beta"),
                                    [&](auto data, auto, auto error) { answer.set(error ? std::nullopt : data); });
    const auto data = answer.wait().value_or(std::nullopt);
    ASSERT_TRUE(data);
    EXPECT_EQ(BRSBetaController::updateWithData(*data, nullptr)->url, "https://example.test/build");

    const auto request = service.requests().front();
    EXPECT_EQ(request.method, "GET");
    const std::map<std::string, std::string> expected = {{"User-Agent", "Brisca Mac SDK/3.0.8"},
                                                         {"Accept", "application/json"},
                                                         {"Accept-Charset", "utf-8"},
                                                         {"Accept-Language", "fr_CA"},
                                                         {"Content-Language", "fr_CA"},
                                                         {"X-Brisca-Developer-Token", "e3b97a0c52d14f86a9c07b3e1d5f28c46a0b9e71"},
                                                         {"X-Brisca-API-Client-Id", "com.plinth.brisca.mac"},
                                                         {"X-Brisca-API-Client-Display-Version", "3.0.8"},
                                                         {"X-Brisca-API-Client-Build-Version", "50"},
                                                         {"X-Brisca-API-Key", "BETA-API-KEY"},
                                                         {"X-Brisca-Beta-Token", "BETA-TOKEN"}};
    EXPECT_EQ(request.kitFields(), expected);
    pln::PLNSetEnvironment(pln::PLNEnvironment{});
}

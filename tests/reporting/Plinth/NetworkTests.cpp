#include "reporting/Plinth/PLNCertificatePinner.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNNetworkClient.h"
#include "reporting/Plinth/PLNNetworkResponseHandler.h"
#include "reporting/Plinth/PLNNetworkTaskUtility.h"
#include "tests/reporting/Plinth/ScratchFolder.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/ManualScheduler.h"
#include "tests/support/reporting/Waiter.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace pln;
using reportingtest::FakeReportingService;
using reportingtest::KitTestPKI;
using reportingtest::ScriptedAnswer;

namespace {

struct Result {
    std::optional<std::string> data;
    std::optional<brs::URLResponse> response;
    std::optional<brs::Error> error;
};

brs::URLResponse responseWith(long status, std::vector<std::pair<std::string, std::string>> headers = {})
{
    brs::URLResponse response;
    response.statusCode = status;
    for (const auto& [name, value] : headers)
        response.headers.set(name, value);
    return response;
}

struct Verdict {
    bool retry = false;
    std::optional<brs::Error> error;
};

Verdict judge(const std::optional<brs::URLResponse>& response, const brs::URLRequest& request = {},
              const std::optional<brs::Error>& transport = std::nullopt)
{
    Verdict verdict;
    int calls = 0;
    PLNNetworkResponseHandler::handleCompletedResponse(response, request, transport, [&](bool retry, std::optional<brs::Error> error) {
        ++calls;
        verdict = {retry, error};
    });
    EXPECT_EQ(calls, 1);
    return verdict;
}

class NetworkTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static reportingtest::ScratchFolder roots;
        KitTestPKI::shared().installTrustedRootAsSystemStore(roots.path());
    }
    void TearDown() override { PLNSetDebugEnabled(false); }

    static brs::CertificateList testPins() { return {KitTestPKI::shared().pinnedRoot.certificate}; }

    static brs::URLRequest requestTo(const FakeReportingService& service, const std::string& path)
    {
        brs::URLRequest request;
        request.url = service.baseURL() + path;
        return request;
    }

    static Result run(PLNNetworkTaskUtility& utility, const brs::URLRequest& request, unsigned retries)
    {
        reportingtest::Waiter<Result> done;
        utility.beginDataTaskWithRequest(request, retries, [&](auto data, auto response, auto error) { done.set({data, response, error}); });
        return done.wait().value_or(Result{});
    }

    static Result run(PLNNetworkClient& client, const brs::URLRequest& request)
    {
        reportingtest::Waiter<Result> done;
        client.startDataTaskWithRequest(request, [&](auto data, auto response, auto error) { done.set({data, response, error}); });
        return done.wait().value_or(Result{});
    }
};

}  // namespace

TEST(ResponseClassification, StatusTable)
{
    const std::vector<std::pair<long, PLNResponseType>> table = {
        {100, PLNResponseType::Unexpected}, {200, PLNResponseType::Success},     {201, PLNResponseType::Success},
        {202, PLNResponseType::Success},    {203, PLNResponseType::Unexpected},  {204, PLNResponseType::Success},
        {205, PLNResponseType::Unexpected}, {301, PLNResponseType::Unexpected},  {304, PLNResponseType::Success},
        {400, PLNResponseType::ClientError}, {401, PLNResponseType::ClientError}, {402, PLNResponseType::Unexpected},
        {403, PLNResponseType::ClientError}, {404, PLNResponseType::ClientError}, {405, PLNResponseType::Unexpected},
        {406, PLNResponseType::ClientError}, {408, PLNResponseType::ServerError}, {409, PLNResponseType::Unexpected},
        {410, PLNResponseType::ClientError}, {411, PLNResponseType::ClientError}, {412, PLNResponseType::Unexpected},
        {413, PLNResponseType::ClientError}, {419, PLNResponseType::ClientError}, {420, PLNResponseType::Throttled},
        {422, PLNResponseType::ClientError}, {429, PLNResponseType::Throttled},   {431, PLNResponseType::ClientError},
        {432, PLNResponseType::Unexpected}, {500, PLNResponseType::ServerError}, {503, PLNResponseType::ServerError},
        {599, PLNResponseType::ServerError}, {600, PLNResponseType::Unexpected},
    };
    for (const auto& [status, expected] : table) {
        std::optional<PLNResponseType> type;
        PLNNetworkResponseHandler::clientResponseType(responseWith(status), [&](PLNResponseType t, long s) {
            type = t;
            EXPECT_EQ(s, status);
        });
        EXPECT_EQ(type, expected) << status;
    }
    PLNNetworkResponseHandler::clientResponseType(std::nullopt, [](PLNResponseType t, long s) {
        EXPECT_EQ(t, PLNResponseType::Unexpected);
        EXPECT_EQ(s, 0);
    });
}

TEST(ResponseClassification, VerdictsAndTheirErrors)
{
    EXPECT_FALSE(judge(responseWith(200)).error);
    const auto unexpected = judge(responseWith(203, {{"X-Request-Id", "r1"}, {"Content-Type", "text/html"}}));
    EXPECT_FALSE(unexpected.retry);
    ASSERT_TRUE(unexpected.error);
    EXPECT_EQ(unexpected.error->domain, "PLNNetworkError");
    EXPECT_EQ(unexpected.error->code, -4);
    EXPECT_EQ(unexpected.error->userInfo,
              (nlohmann::json{{"type", 1}, {"status_code", 203}, {"request_id", "r1"}, {"content_type", "text/html"}}));
    EXPECT_EQ(judge(responseWith(404)).error->code, -5);
    EXPECT_EQ(judge(responseWith(404)).error->userInfo["request_id"], "");
    const auto server = judge(responseWith(503));
    EXPECT_TRUE(server.retry);
    EXPECT_EQ(server.error->code, -1);
    EXPECT_EQ(server.error->userInfo["type"], 3);
    EXPECT_EQ(judge(responseWith(429)).error->userInfo["type"], 4);
    // A transport error is passed on as it is, whatever the response says.
    const brs::Error transport{"BRSURLSessionTransportError", 7, "refused", nullptr};
    const auto passed = judge(responseWith(503), {}, transport);
    EXPECT_FALSE(passed.retry);
    EXPECT_EQ(passed.error, transport);
}

TEST(ResponseClassification, ContentTypeMustMatchTheRequestsAccept)
{
    brs::URLRequest json;
    json.setValueForHTTPHeaderField("application/json", "Accept");
    EXPECT_FALSE(judge(responseWith(200, {{"Content-Type", "Application/JSON"}}), json).error);
    EXPECT_FALSE(judge(responseWith(200, {{"Content-Type", "application/json; charset=latin1"}}), json).error);
    EXPECT_EQ(judge(responseWith(200, {{"Content-Type", "application/json;charset=utf-8"}}), json).error->code, -4);
    EXPECT_EQ(judge(responseWith(200), json).error->code, -4);
    EXPECT_FALSE(judge(responseWith(200), brs::URLRequest{}).error);
    json.setValueForHTTPHeaderField("utf-8", "Accept-Charset");
    EXPECT_FALSE(judge(responseWith(200, {{"Content-Type", "application/json; charset=UTF-8"}}), json).error);
    EXPECT_EQ(judge(responseWith(200, {{"Content-Type", "application/json; charset=latin1"}}), json).error->code, -4);
    brs::URLRequest several;
    several.setValueForHTTPHeaderField("application/json, text/plain", "Accept");
    EXPECT_TRUE(judge(responseWith(200, {{"Content-Type", "application/json"}}), several).error);
}

TEST(ResponseClassification, RetryValues)
{
    auto retryAfter = [](const std::string& value) { return PLNNetworkResponseHandler::retryValueForResponse(responseWith(503, {{"Retry-After", value}})); };
    EXPECT_EQ(retryAfter("0"), 0);
    EXPECT_EQ(retryAfter("2.5"), 2.5);
    EXPECT_EQ(retryAfter("-5"), 300);
    EXPECT_EQ(retryAfter("Wed, 21 Oct 2015 07:28:00 GMT"), 0);
    EXPECT_EQ(PLNNetworkResponseHandler::retryValueForResponse(responseWith(503)), 300);
    EXPECT_EQ(PLNNetworkResponseHandler::retryValueForResponse(std::nullopt), 300);
    // Huge and infinite values are cut to the longest wait instead of overflowing a clock.
    EXPECT_EQ(retryAfter("1e300"), kPLNLongestRetryValue);
    EXPECT_EQ(retryAfter("inf"), kPLNLongestRetryValue);
    EXPECT_EQ(retryAfter("nan"), 0);
}

TEST(PinnedRoots, EightRootsInOrderWithTheirSizes)
{
    const auto roots = PLNPinnedRootCertificates();
    ASSERT_EQ(roots.size(), 8u);
    const std::vector<std::tuple<std::string, std::string, std::size_t>> expected = {
        {"AddTrust External CA Root", "AddTrust AB", 1082},
        {"Entrust Root Certification Authority", "Entrust, Inc.", 1173},
        {"DigiCert High Assurance EV Root CA", "DigiCert Inc", 969},
        {"VeriSign Class 3 Public Primary Certification Authority - G5", "VeriSign, Inc.", 1239},
        {"VeriSign Class 1 Public Primary Certification Authority - G3", "VeriSign, Inc.", 1054},
        {"VeriSign Class 2 Public Primary Certification Authority - G3", "VeriSign, Inc.", 1053},
        {"VeriSign Class 3 Public Primary Certification Authority - G3", "VeriSign, Inc.", 1054},
        {"VeriSign Class 4 Public Primary Certification Authority - G3", "VeriSign, Inc.", 1054},
    };
    for (std::size_t i = 0; i < roots.size(); ++i) {
        EXPECT_EQ(roots[i]->subjectCommonName(), std::get<0>(expected[i]));
        EXPECT_EQ(roots[i]->subjectOrganization(), std::get<1>(expected[i]));
        EXPECT_EQ(roots[i]->derLength(), std::get<2>(expected[i]));
    }
    EXPECT_NE(PLNPinnedRootCertificates()[0], roots[0]);  // a new list of new objects each time
    EXPECT_FALSE(PLNCertificatePinner::createCertificationWithData(reinterpret_cast<const unsigned char*>("nope"), 4));
}

TEST_F(NetworkTest, PinningMatrix)
{
    const auto& pki = KitTestPKI::shared();
    struct Case {
        const char* name;
        const reportingtest::TestIdentity& leaf;
        brs::CertificateList pins;
        bool passes;
    };
    const std::vector<Case> cases = {
        {"pinned chain", pki.pinnedLeaf, testPins(), true},
        {"trusted but unpinned root", pki.trustedLeaf, testPins(), false},
        {"wrong host", pki.wrongHostLeaf, testPins(), false},
        {"expired", pki.expiredLeaf, testPins(), false},
        {"empty pin list", pki.pinnedLeaf, {}, false},
        {"the kit's own roots", pki.pinnedLeaf, PLNPinnedRootCertificates(), false},
    };
    for (const auto& each : cases) {
        FakeReportingService service(each.leaf);
        service.script("GET", "/ping", {ScriptedAnswer{200, "pong", "text/plain"}});
        PLNNetworkTaskUtility utility(nullptr, PLNNetworkOptions{each.pins, std::make_shared<reportingtest::ManualScheduler>()});
        const auto result = run(utility, requestTo(service, "/ping"), 0);
        EXPECT_EQ(!result.error, each.passes) << each.name << (result.error ? ": " + result.error->description() : "");
        EXPECT_EQ(service.requestCount("GET", "/ping"), each.passes ? 1u : 0u) << each.name;
        if (!each.passes && result.error) {
            EXPECT_FALSE(result.response) << each.name;
        }
    }
}

TEST_F(NetworkTest, DebugModeTrustsWhatTheSystemTrustsWithoutPinning)
{
    FakeReportingService service(KitTestPKI::shared().trustedLeaf);
    service.script("GET", "/ping", {ScriptedAnswer{200, "pong", "text/plain"}});
    PLNSetDebugEnabled(true);
    PLNNetworkTaskUtility utility(nullptr, PLNNetworkOptions{testPins(), std::make_shared<reportingtest::ManualScheduler>()});
    EXPECT_FALSE(run(utility, requestTo(service, "/ping"), 0).error);
    // Default handling still refuses what the system does not trust.
    FakeReportingService untrusted(KitTestPKI::shared().pinnedLeaf);
    untrusted.script("GET", "/ping", {ScriptedAnswer{200, "pong", "text/plain"}});
    EXPECT_TRUE(run(utility, requestTo(untrusted, "/ping"), 0).error);
}

TEST_F(NetworkTest, PasswordChallengeIsCancelled)
{
    PLNCertificatePinner pinner(testPins());
    auto session = brs::BRSURLSession::sessionWithConfiguration(brs::BRSURLSessionConfiguration::defaultSessionConfiguration());
    brs::AuthenticationChallenge challenge;
    challenge.method = brs::AuthenticationMethod::HTTPBasic;
    std::optional<brs::ChallengeDisposition> answer;
    EXPECT_FALSE(pinner.handleChallenge(challenge, *session, [&](auto disposition, auto) { answer = disposition; }));
    EXPECT_EQ(answer, brs::ChallengeDisposition::CancelAuthenticationChallenge);
}

TEST_F(NetworkTest, TaskUtilityRetriesAfterTheRetryValueAndHandsOnTheLastVerdict)
{
    FakeReportingService service(KitTestPKI::shared().pinnedLeaf);
    service.script("GET", "/busy", {ScriptedAnswer{503, "first", "text/plain"}, ScriptedAnswer{503, "second", "text/plain", "7"}});
    service.script("GET", "/throttled", {ScriptedAnswer{429, "", "text/plain"}});
    service.script("GET", "/missing", {ScriptedAnswer{404, "nope", "text/plain"}});
    auto scheduler = std::make_shared<reportingtest::ManualScheduler>();
    PLNNetworkTaskUtility utility(nullptr, PLNNetworkOptions{testPins(), scheduler});

    const auto busy = run(utility, requestTo(service, "/busy"), 1);
    ASSERT_TRUE(busy.error);
    EXPECT_EQ(busy.error->code, -1);
    EXPECT_EQ(busy.data, "second");
    EXPECT_EQ(busy.response->statusCode, 503);
    EXPECT_EQ(scheduler->delays(), std::vector<double>{300});
    EXPECT_EQ(service.requestCount("GET", "/busy"), 2u);

    EXPECT_EQ(run(utility, requestTo(service, "/throttled"), 0).error->code, -1);
    const auto missing = run(utility, requestTo(service, "/missing"), 3);
    EXPECT_EQ(missing.error->code, -5);
    EXPECT_EQ(missing.data, "nope");
    EXPECT_EQ(scheduler->delays().size(), 1u);  // neither was retried
}

// A request that makes no task makes no call-back at all: the utility has
// no error of its own. The caller learns it from the answer of the call.
TEST_F(NetworkTest, TaskUtilityMakesNoCallBackForARequestThatMakesNoTask)
{
    auto queue = std::make_shared<brs::SerialQueue>("test.task-utility");
    PLNNetworkTaskUtility utility(queue, PLNNetworkOptions{testPins(), std::make_shared<reportingtest::ManualScheduler>()});
    brs::URLRequest bad;
    bad.url = "::not a url::";
    int calls = 0;
    EXPECT_FALSE(utility.beginDataTaskWithRequest(bad, 2, [&](auto, auto, auto) { ++calls; }));
    EXPECT_FALSE(utility.beginDownloadTaskWithRequest(bad, 2, [&](auto, auto, auto) { ++calls; }));
    queue->sync([] {});
    EXPECT_EQ(calls, 0);
}

TEST_F(NetworkTest, NetworkClientRetriesTenTimesWithGrowingJitteredDelaysThenGivesUp)
{
    FakeReportingService service(KitTestPKI::shared().pinnedLeaf);
    service.script("GET", "/down", {ScriptedAnswer{503, "down", "text/plain"}});
    auto scheduler = std::make_shared<reportingtest::ManualScheduler>();
    PLNNetworkClient client(nullptr, testPins(), scheduler);
    const auto result = run(client, requestTo(service, "/down"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, -6);
    EXPECT_TRUE(result.error->userInfo.is_null());
    EXPECT_FALSE(result.data);
    EXPECT_FALSE(result.response);
    EXPECT_EQ(service.requestCount("GET", "/down"), 11u);
    const auto delays = scheduler->delays();
    ASSERT_EQ(delays.size(), 10u);
    for (std::size_t n = 1; n <= delays.size(); ++n) {
        EXPECT_GE(delays[n - 1], 300.0 * n * 0.89999997615814209 - 1e-6) << n;
        EXPECT_LE(delays[n - 1], 300.0 * n * 1.1000000238418579 + 1e-6) << n;
    }
}

TEST_F(NetworkTest, NetworkClientFollowsTheServersRetryValueAndStopsOnSuccess)
{
    FakeReportingService service(KitTestPKI::shared().pinnedLeaf);
    service.script("GET", "/later", {ScriptedAnswer{429, "", "text/plain", "2"}, ScriptedAnswer{429, "", "text/plain", "2"},
                                     ScriptedAnswer{429, "", "text/plain", "2"}, ScriptedAnswer{200, "done", "text/plain"}});
    auto scheduler = std::make_shared<reportingtest::ManualScheduler>();
    PLNNetworkClient client(nullptr, testPins(), scheduler);
    const auto result = run(client, requestTo(service, "/later"));
    ASSERT_FALSE(result.error) << result.error->description();
    EXPECT_EQ(result.data, "done");
    const auto delays = scheduler->delays();
    ASSERT_EQ(delays.size(), 3u);
    for (std::size_t n = 1; n <= 3; ++n)
        EXPECT_NEAR(delays[n - 1], 2.0 * n, 0.2 * n + 1e-6);
}

TEST_F(NetworkTest, NetworkClientPassesClientErrorsAndTransportErrorsAtOnce)
{
    FakeReportingService service(KitTestPKI::shared().pinnedLeaf);
    service.script("GET", "/gone", {ScriptedAnswer{404, "{\"error\":1}", "application/json"}});
    auto scheduler = std::make_shared<reportingtest::ManualScheduler>();
    PLNNetworkClient pinned(nullptr, testPins(), scheduler);
    const auto gone = run(pinned, requestTo(service, "/gone"));
    EXPECT_EQ(gone.error->code, -5);
    EXPECT_EQ(gone.data, "{\"error\":1}");

    // A client without pins never refuses a server itself: the system store decides.
    FakeReportingService trusted(KitTestPKI::shared().trustedLeaf);
    trusted.script("GET", "/ok", {ScriptedAnswer{200, "ok", "text/plain"}});
    PLNNetworkClient unpinned(nullptr, std::nullopt, scheduler);
    EXPECT_FALSE(run(unpinned, requestTo(trusted, "/ok")).error);
    const auto refused = run(pinned, requestTo(trusted, "/ok"));
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code, static_cast<long>(brs::URLErrorCode::Cancelled));
    EXPECT_TRUE(scheduler->delays().empty());

    brs::URLRequest bad;
    bad.url = "";
    EXPECT_EQ(run(pinned, bad).error->code, -3);
}

TEST(NetworkClientDelays, JitterStaysInItsRange)
{
    for (int i = 0; i < 1000; ++i) {
        const double jitter = PLNNetworkClient::generateRandomJitter();
        EXPECT_GE(jitter, 0.89999997615814209);
        EXPECT_LE(jitter, 1.1000000238418579);
    }
    brs::URLResponse zero = responseWith(503, {{"Retry-After", "0"}});
    EXPECT_EQ(PLNNetworkClient::computeDelayForResponse(zero, 5), 0);
    const double first = PLNNetworkClient::computeDelayForResponse(std::nullopt, 0);
    EXPECT_GE(first, 300 * 0.89999997615814209 - 1e-6);
    EXPECT_LE(first, 330 + 1e-6);
}

TEST_F(NetworkTest, StatusTableThroughTheService)
{
    // Each status goes through a real exchange once: the verdict's error, and
    // whether the utility asked for a wait before trying again.
    struct Row {
        int status;
        std::optional<long> code;
        bool retried;
    };
    const std::vector<Row> rows = {{200, std::nullopt, false}, {202, std::nullopt, false}, {203, -4, false}, {304, std::nullopt, false},
                                   {402, -4, false},           {404, -5, false},           {408, -1, true},  {420, -1, true},
                                   {429, -1, true},            {500, -1, true},            {599, -1, true},  {600, -4, false}};
    FakeReportingService service(KitTestPKI::shared().pinnedLeaf);
    for (const auto& row : rows) {
        const std::string path = "/status/" + std::to_string(row.status);
        service.script("GET", path, {ScriptedAnswer{row.status, row.status == 304 ? "" : "body", "text/plain", "1", "id-" + path}});
        auto scheduler = std::make_shared<reportingtest::ManualScheduler>();
        PLNNetworkTaskUtility utility(nullptr, PLNNetworkOptions{testPins(), scheduler});
        const auto result = run(utility, requestTo(service, path), 1);
        EXPECT_EQ(result.error ? std::optional<long>(result.error->code) : std::nullopt, row.code) << row.status;
        EXPECT_EQ(scheduler->delays().size(), row.retried ? 1u : 0u) << row.status;
        if (row.code) {
            EXPECT_EQ(result.error->userInfo["status_code"], row.status);
            EXPECT_EQ(result.error->userInfo["request_id"], "id-" + path);
        }
    }
}

TEST_F(NetworkTest, DroppedConnectionIsATransportErrorAndNotRetried)
{
    FakeReportingService service(KitTestPKI::shared().pinnedLeaf);
    service.script("GET", "/drop", {ScriptedAnswer{200, std::string(10000, 'z'), "application/json", {}, {}, 10}});
    auto scheduler = std::make_shared<reportingtest::ManualScheduler>();
    PLNNetworkClient client(nullptr, testPins(), scheduler);
    const auto result = run(client, requestTo(service, "/drop"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->domain, brs::kBRSURLSessionTransportErrorDomain);
    EXPECT_TRUE(scheduler->delays().empty());
    EXPECT_EQ(service.requestCount("GET", "/drop"), 1u);
}

// Both clients share one retry loop; their policies differ in the limit, the
// wait and what the caller hears once the retries are spent.
TEST_F(NetworkTest, RetryPoliciesOfTheTwoClients)
{
    FakeReportingService service(KitTestPKI::shared().pinnedLeaf);
    service.script("GET", "/now", {ScriptedAnswer{503, "", "text/plain", "0"}});
    service.script("GET", "/steady", {ScriptedAnswer{503, "a", "text/plain", "5"}});
    service.script("GET", "/late", {ScriptedAnswer{503, "", "text/plain", "4"}});
    auto scheduler = std::make_shared<reportingtest::ManualScheduler>();

    // The network client: a "Retry-After" of 0 is asked again at once, ten times, then -6.
    PLNNetworkClient client(nullptr, testPins(), scheduler);
    const auto now = run(client, requestTo(service, "/now"));
    EXPECT_EQ(now.error->code, -6);
    EXPECT_EQ(service.requestCount("GET", "/now"), 11u);
    EXPECT_EQ(scheduler->delays(), std::vector<double>(10, 0.0));

    // A caller with its own session joins at its retry count: retry 10 is the last.
    reportingtest::Waiter<Result> late;
    PLNNetworkClient::startDataTaskForSession(client.session(), requestTo(service, "/late"), 9,
                                              [&](auto data, auto response, auto error) { late.set({data, response, error}); }, scheduler);
    const auto lateResult = late.wait().value_or(Result{});
    ASSERT_TRUE(lateResult.error);
    EXPECT_EQ(lateResult.error->code, -6);
    EXPECT_EQ(service.requestCount("GET", "/late"), 2u);
    ASSERT_EQ(scheduler->delays().size(), 11u);
    EXPECT_NEAR(scheduler->delays().back(), 4.0 * 10, 4.0 * 10 * 0.1 + 1e-6);

    // The task utility waits the same retry value each time, without jitter,
    // and hands on the last answer as it came.
    auto steadyScheduler = std::make_shared<reportingtest::ManualScheduler>();
    PLNNetworkTaskUtility utility(nullptr, PLNNetworkOptions{testPins(), steadyScheduler});
    const auto steady = run(utility, requestTo(service, "/steady"), 3);
    EXPECT_EQ(steady.error->code, -1);
    EXPECT_EQ(steady.data, "a");
    EXPECT_EQ(steady.response->statusCode, 503);
    EXPECT_EQ(service.requestCount("GET", "/steady"), 4u);
    EXPECT_EQ(steadyScheduler->delays(), (std::vector<double>{5, 5, 5}));
}

TEST_F(NetworkTest, DownloadsRetryThroughTheSameLoop)
{
    FakeReportingService service(KitTestPKI::shared().pinnedLeaf);
    service.script("GET", "/file", {ScriptedAnswer{503, "", "text/plain"}, ScriptedAnswer{200, "contents", "text/plain"}});
    auto scheduler = std::make_shared<reportingtest::ManualScheduler>();
    PLNNetworkTaskUtility utility(nullptr, PLNNetworkOptions{testPins(), scheduler});
    reportingtest::Waiter<Result> done;
    utility.beginDownloadTaskWithRequest(requestTo(service, "/file"), 1, [&](auto location, auto response, auto error) {
        // The downloaded file lives only as long as the handler runs.
        done.set({location ? std::optional<std::string>(ScratchFolder::read(*location)) : std::nullopt, response, error});
    });
    const auto result = done.wait().value_or(Result{});
    ASSERT_FALSE(result.error) << result.error->description();
    EXPECT_EQ(result.data, "contents");
    EXPECT_EQ(scheduler->delays(), std::vector<double>{300});

    PLNNetworkClient client(nullptr, testPins(), scheduler);
    reportingtest::Waiter<Result> gaveUp;
    service.script("GET", "/gone", {ScriptedAnswer{503, "", "text/plain", "1"}});
    client.startDownloadTaskWithRequest(requestTo(service, "/gone"), [&](auto location, auto response, auto error) { gaveUp.set({location, response, error}); });
    const auto limit = gaveUp.wait().value_or(Result{});
    ASSERT_TRUE(limit.error);
    EXPECT_EQ(limit.error->code, -6);
    EXPECT_FALSE(limit.data);
    EXPECT_EQ(service.requestCount("GET", "/gone"), 11u);
}

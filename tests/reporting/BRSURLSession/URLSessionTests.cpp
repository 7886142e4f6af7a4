#include "reporting/BRSURLSession/BRSURLSession.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/Waiter.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace brs;
using reportingtest::FakeReportingService;
using reportingtest::KitTestPKI;
using reportingtest::ScriptedAnswer;

namespace {

struct DataResult {
    std::optional<std::string> data;
    std::optional<URLResponse> response;
    std::optional<Error> error;
};

struct DownloadResult {
    std::optional<std::string> path;
    std::optional<URLResponse> response;
    std::optional<Error> error;
    bool fileExisted = false;
    std::string fileContents;
};

// A plain HTTP server on 127.0.0.1 that counts what reaches it.
struct PlainServer {
    PlainServer()
    {
        http.Get(R"(/.*)", [this](const httplib::Request&, httplib::Response& response) {
            ++requests;
            response.set_content("in clear", "text/plain");
        });
        port = http.bind_to_any_port("127.0.0.1");
        serving = std::thread([this] { http.listen_after_bind(); });
        while (!http.is_running())
            std::this_thread::yield();
    }
    ~PlainServer()
    {
        http.stop();
        serving.join();
    }
    httplib::Server http;
    std::thread serving;
    int port = 0;
    std::atomic<int> requests{0};
};

// A port of 127.0.0.1 where nothing listens, for as long as this object
// lives: its socket holds the port bound without listening, so a connection
// is refused and no other server of a parallel run can take the port.
struct PortWithNoListener {
    PortWithNoListener()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~PortWithNoListener() { ::close(descriptor); }
    PortWithNoListener(const PortWithNoListener&) = delete;
    PortWithNoListener& operator=(const PortWithNoListener&) = delete;

    const int descriptor = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
};

bool exists(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

// Counts what the session delegate hears; trusts the test server's chain.
class RecordingDelegate : public BRSURLSessionDelegate {
public:
    void didReceiveChallenge(BRSURLSession&, const AuthenticationChallenge& challenge, const ChallengeCompletion& completion) override
    {
        completion(ChallengeDisposition::UseCredential, URLCredential{challenge.serverTrust});
    }
    void didCompleteWithError(BRSURLSession&, BRSURLSessionTask&, const std::optional<Error>& error) override
    {
        ++completions;
        completed.set(error.has_value());
    }
    void didReceiveData(BRSURLSession&, BRSURLSessionDataTask&, const std::string& data) override { received += data; }

    std::atomic<int> completions{0};
    std::string received;
    reportingtest::Waiter<bool> completed;
};

class URLSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = std::filesystem::temp_directory_path() / ("brs-session-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        KitTestPKI::shared().installTrustedRootAsSystemStore(folder.string());
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }

    URLRequest request(const std::string& path) const
    {
        URLRequest request;
        request.url = service.baseURL() + path;
        return request;
    }

    DataResult fetch(const std::shared_ptr<BRSURLSession>& session, const URLRequest& request)
    {
        reportingtest::Waiter<DataResult> result;
        auto task = session->dataTaskWithRequest(request, [&](auto data, auto response, auto error) {
            result.set(DataResult{data, response, error});
        });
        EXPECT_TRUE(task);
        if (!task)
            return {};
        task->resume();
        return result.wait().value_or(DataResult{});
    }

    DownloadResult download(const std::shared_ptr<BRSURLSession>& session, const URLRequest& request)
    {
        reportingtest::Waiter<DownloadResult> result;
        auto task = session->downloadTaskWithRequest(request, [&](auto path, auto response, auto error) {
            DownloadResult r{path, response, error};
            if (path && exists(*path)) {
                r.fileExisted = true;
                std::ifstream in(*path, std::ios::binary);
                r.fileContents.assign(std::istreambuf_iterator<char>(in), {});
            }
            result.set(r);
        });
        task->resume();
        return result.wait().value_or(DownloadResult{});
    }

    static inline std::filesystem::path folder;
    FakeReportingService service{KitTestPKI::shared().trustedLeaf};
};

}  // namespace

TEST_F(URLSessionTest, DataTaskDeliversBodyAndResponseToItsHandlerOnly)
{
    service.script("GET", "/hello", {ScriptedAnswer{201, "hi there", "text/plain", "7", "req-1"}});
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration(), delegate);
    const auto result = fetch(session, request("/hello"));
    ASSERT_FALSE(result.error) << result.error->description();
    EXPECT_EQ(result.data, "hi there");
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 201);
    EXPECT_EQ(result.response->headers.value("retry-after"), "7");
    EXPECT_EQ(result.response->headers.value("X-Request-Id"), "req-1");
    // A handler task tells the delegate nothing; flush its queue to be sure.
    session->delegateQueue()->sync([] {});
    EXPECT_EQ(delegate->completions, 0);
}

TEST_F(URLSessionTest, DelegateHearsDataAndCompletionOfATaskWithoutHandler)
{
    service.script("GET", "/stream", {ScriptedAnswer{200, std::string(100000, 'x'), "text/plain"}});
    auto delegate = std::make_shared<RecordingDelegate>();
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration(), delegate);
    session->dataTaskWithRequest(request("/stream"))->resume();
    EXPECT_EQ(delegate->completed.wait(), false);
    EXPECT_EQ(delegate->completions, 1);
    EXPECT_EQ(delegate->received, std::string(100000, 'x'));
}

TEST_F(URLSessionTest, ConfiguredHeadersAreAddedToThoseOfTheRequest)
{
    service.script("POST", "/echo", {ScriptedAnswer{204, "", ""}});
    auto configuration = BRSURLSessionConfiguration::defaultSessionConfiguration();
    configuration->HTTPAdditionalHeaders.set("X-Kit", "configured");
    configuration->HTTPAdditionalHeaders.set("X-Only-Config", "yes");
    auto session = BRSURLSession::sessionWithConfiguration(configuration);
    auto post = request("/echo");
    post.httpMethod = "POST";
    post.body = "payload";
    post.setValueForHTTPHeaderField("mine", "X-Kit");
    const auto result = fetch(session, post);
    ASSERT_FALSE(result.error) << result.error->description();
    const auto recorded = service.requests().back();
    EXPECT_EQ(recorded.header("X-Kit"), "mine,configured");
    EXPECT_EQ(recorded.header("X-Only-Config"), "yes");
    EXPECT_EQ(recorded.body, "payload");
}

TEST_F(URLSessionTest, UploadTaskSendsTheFileWithTheRequestMethod)
{
    service.script("PUT", "/upload", {ScriptedAnswer{200, "{}", "application/json"}});
    const auto file = (folder / "upload.bin").string();
    std::string contents(70000, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i)
        contents[i] = static_cast<char>(i * 31);
    std::ofstream(file, std::ios::binary) << contents;
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    auto put = request("/upload");
    put.httpMethod = "PUT";
    put.body = "ignored: the file is the body";
    put.setValueForHTTPHeaderField("application/octet-stream", "Content-Type");
    reportingtest::Waiter<DataResult> result;
    session->uploadTaskWithRequest(put, file, [&](auto data, auto response, auto error) { result.set({data, response, error}); })->resume();
    const auto answer = result.wait();
    ASSERT_TRUE(answer);
    ASSERT_FALSE(answer->error) << answer->error->description();
    EXPECT_EQ(answer->response->statusCode, 200) << answer->data.value_or("-");
    const auto recorded = service.requests();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded.back().method, "PUT");
    EXPECT_EQ(recorded.back().body, contents);
}

TEST_F(URLSessionTest, ConfigurationCopyKeepsOnlyTheHeaders)
{
    auto configuration = BRSURLSessionConfiguration::defaultSessionConfiguration();
    configuration->HTTPAdditionalHeaders.set("A", "1");
    configuration->URLCache = "cache";
    configuration->HTTPCookieAcceptPolicy = 2;
    const auto copy = configuration->copy();
    EXPECT_EQ(copy->HTTPAdditionalHeaders.value("A"), "1");
    EXPECT_FALSE(copy->URLCache);
    EXPECT_EQ(copy->HTTPCookieAcceptPolicy, 0u);
    EXPECT_FALSE(BRSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier("x"));
    EXPECT_FALSE(BRSURLSession::sessionWithConfiguration(nullptr));
}

TEST_F(URLSessionTest, NoTaskForARequestThatCannotBeSent)
{
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    URLRequest bad;
    bad.url = "not a url";
    EXPECT_FALSE(session->dataTaskWithRequest(bad));
    bad.url = "file:///etc/passwd";
    EXPECT_FALSE(session->downloadTaskWithRequest(bad));
    bad.url = "";
    EXPECT_FALSE(session->uploadTaskWithRequest(bad, "/dev/null"));
}

TEST_F(URLSessionTest, TaskListsAreEmptyEvenWhileATaskRuns)
{
    service.script("GET", "/slow", {ScriptedAnswer{200, "x", "text/plain"}});
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    auto task = session->dataTaskWithRequest(request("/slow"));
    task->resume();
    reportingtest::Waiter<std::size_t> count;
    session->getTasksWithCompletionHandler([&](auto data, auto uploads, auto downloads) { count.set(data.size() + uploads.size() + downloads.size()); });
    EXPECT_EQ(count.wait(), 0u);
}

TEST_F(URLSessionTest, DownloadHandsOverAClosedCompleteFileAndRemovesItAfterwards)
{
    std::string body(300000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i % 251);
    service.script("GET", "/file", {ScriptedAnswer{200, body, "application/octet-stream"}});
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    const auto result = download(session, request("/file"));
    ASSERT_FALSE(result.error) << result.error->description();
    ASSERT_TRUE(result.fileExisted);
    EXPECT_EQ(result.fileContents, body);
    // The file goes once the handler has returned, in the same step on the
    // delegate queue: a step queued behind it runs after the file is gone.
    session->delegateQueue()->sync([] {});
    EXPECT_FALSE(exists(*result.path));
}

TEST_F(URLSessionTest, EmptyDownloadStillGivesAFile)
{
    service.script("GET", "/empty", {ScriptedAnswer{204, "", ""}});
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    const auto result = download(session, request("/empty"));
    ASSERT_FALSE(result.error) << result.error->description();
    EXPECT_TRUE(result.fileExisted);
    EXPECT_EQ(result.fileContents, "");
}

TEST_F(URLSessionTest, TruncatedDownloadIsAnErrorAndLeavesNoFile)
{
    service.script("GET", "/cut", {ScriptedAnswer{200, std::string(50000, 'y'), "application/json", {}, {}, 1000}});
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    const auto result = download(session, request("/cut"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->domain, kBRSURLSessionTransportErrorDomain);
    ASSERT_TRUE(result.path);
    session->delegateQueue()->sync([] {});
    EXPECT_FALSE(exists(*result.path));
}

TEST_F(URLSessionTest, ASlowServiceTimesOutOnlyPastTheRequestsTimeout)
{
    service.script("GET", "/slow", {ScriptedAnswer{.status = 200, .body = "late", .delay = std::chrono::milliseconds(1500)}});
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    auto impatient = request("/slow");
    impatient.timeoutInterval = 0.3;
    const auto timedOut = fetch(session, impatient);
    ASSERT_TRUE(timedOut.error);
    EXPECT_EQ(timedOut.error->domain, kBRSURLSessionTransportErrorDomain);
    EXPECT_EQ(timedOut.error->code, static_cast<long>(URLErrorCode::TimedOut));

    auto patient = request("/slow");
    patient.timeoutInterval = 30;
    const auto answered = fetch(session, patient);
    ASSERT_FALSE(answered.error) << answered.error->description();
    EXPECT_EQ(answered.data, "late");
}

TEST_F(URLSessionTest, DownloadIntoAnUnwritableFolderFailsWithTheDownloadError)
{
    service.script("GET", "/file", {ScriptedAnswer{200, "content", "text/plain"}});
    const auto saved = std::getenv("TMPDIR") ? std::optional<std::string>(std::getenv("TMPDIR")) : std::nullopt;
    setenv("TMPDIR", (folder / "missing" / "deeper").c_str(), 1);
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    const auto result = download(session, request("/file"));
    saved ? setenv("TMPDIR", saved->c_str(), 1) : unsetenv("TMPDIR");
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->domain, kBRSURLSessionDownloadTaskErrorDomain);
    EXPECT_EQ(result.error->code, -1);
}

TEST_F(URLSessionTest, DefaultHandlingTrustsTheSystemStoreOnly)
{
    // No delegate: the system's roots decide. The test's system store holds
    // only the trusted root, so a server under the pinned root is refused.
    service.script("GET", "/ok", {ScriptedAnswer{200, "ok", "text/plain"}});
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    EXPECT_FALSE(fetch(session, request("/ok")).error);

    FakeReportingService other(KitTestPKI::shared().pinnedLeaf);
    other.script("GET", "/ok", {ScriptedAnswer{200, "ok", "text/plain"}});
    URLRequest toOther;
    toOther.url = other.baseURL() + "/ok";
    const auto refused = fetch(session, toOther);
    ASSERT_TRUE(refused.error);
    EXPECT_FALSE(refused.response);
    EXPECT_EQ(other.requestCount("GET", "/ok"), 0u);
}

// The time-out counts from the last byte that moved, not from the start: a
// large report on a slow link goes through, a link that goes quiet does not.
TEST_F(URLSessionTest, ATransferThatKeepsMovingOutlastsItsTimeout)
{
    // A byte every 0.3 s for 1.5 s in all, against a time-out of 1.2 s that
    // also leaves a loaded machine its handshake.
    const std::string body = "012345";
    service.script("GET", "/trickle", {ScriptedAnswer{.status = 200, .body = body, .contentType = "text/plain",
                                                      .trickleInterval = std::chrono::milliseconds(300)}});
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    auto trickling = request("/trickle");
    trickling.timeoutInterval = 1.2;
    const auto started = std::chrono::steady_clock::now();
    const auto result = fetch(session, trickling);
    ASSERT_FALSE(result.error) << result.error->description();
    EXPECT_EQ(result.data, body);
    EXPECT_GT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1400)) << "longer than the time-out in all";
}

TEST_F(URLSessionTest, ATransferThatGoesQuietTimesOut)
{
    service.script("GET", "/quiet", {ScriptedAnswer{.status = 200, .body = "ab", .contentType = "text/plain",
                                                    .trickleInterval = std::chrono::milliseconds(1500)}});
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    auto quiet = request("/quiet");
    quiet.timeoutInterval = 0.3;
    // Had the transfer waited for the second byte, it would have ended with
    // the whole body: a time-out proves it gave up in the quiet gap, however
    // slowly a loaded machine got there.
    const auto result = fetch(session, quiet);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, static_cast<long>(URLErrorCode::TimedOut)) << result.error->description();
}

TEST_F(URLSessionTest, ARedirectMayNotLeaveHttps)
{
    PlainServer plain;
    const int plainPort = plain.port;
    const std::atomic<int>& plainRequests = plain.requests;

    service.script("GET", "/hello", {ScriptedAnswer{200, "hi", "text/plain"}});
    service.script("GET", "/to-https", {ScriptedAnswer{.status = 302, .location = service.baseURL() + "/hello"}});
    service.script("GET", "/to-http",
                   {ScriptedAnswer{.status = 302, .location = "http://127.0.0.1:" + std::to_string(plainPort) + "/landing"}});
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());

    const auto followed = fetch(session, request("/to-https"));
    ASSERT_FALSE(followed.error) << followed.error->description();
    EXPECT_EQ(followed.data, "hi");

    auto keyed = request("/to-http");
    keyed.setValueForHTTPHeaderField("secret", "X-API-Key");
    const auto refused = fetch(session, keyed);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->domain, kBRSURLSessionTransportErrorDomain);
    EXPECT_EQ(refused.error->code, static_cast<long>(URLErrorCode::RedirectRefused)) << refused.error->description();
    EXPECT_EQ(plainRequests, 0) << "nothing was sent in clear";

    URLRequest fromPlain;
    fromPlain.url = "http://127.0.0.1:" + std::to_string(plainPort) + "/start";
    const auto plainToPlain = fetch(session, fromPlain);
    EXPECT_FALSE(plainToPlain.error) << "a plain request may stay plain";
    EXPECT_EQ(plainRequests, 1);
}

TEST_F(URLSessionTest, FailuresComeBackAsTheSessionsOwnCodes)
{
    auto session = BRSURLSession::sessionWithConfiguration(BRSURLSessionConfiguration::defaultSessionConfiguration());
    const PortWithNoListener closed;
    URLRequest refused;
    refused.url = "https://127.0.0.1:" + std::to_string(closed.port) + "/";
    const auto unconnected = fetch(session, refused);
    ASSERT_TRUE(unconnected.error);
    EXPECT_EQ(unconnected.error->code, static_cast<long>(URLErrorCode::CannotConnectToHost)) << unconnected.error->description();

    service.script("GET", "/cut", {ScriptedAnswer{200, std::string(50000, 'y'), "text/plain", {}, {}, 1000}});
    const auto cut = fetch(session, request("/cut"));
    ASSERT_TRUE(cut.error);
    EXPECT_EQ(cut.error->code, static_cast<long>(URLErrorCode::NetworkConnectionLost)) << cut.error->description();

    reportingtest::Waiter<DataResult> unread;
    session->uploadTaskWithRequest(request("/upload"), (folder / "missing.bin").string(),
                                   [&](auto data, auto response, auto error) { unread.set({data, response, error}); })
        ->resume();
    const auto answer = unread.wait();
    ASSERT_TRUE(answer && answer->error);
    EXPECT_EQ(answer->error->code, static_cast<long>(URLErrorCode::CannotReadBodyFile));
}

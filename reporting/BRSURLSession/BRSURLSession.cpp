#include "reporting/BRSURLSession/BRSURLSession.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <thread>

// OpenSSL's own exit handler frees its tables. Asked before anything else
// starts OpenSSL, it installs none; when another library started it first,
// the transfer engine still stops at exit before that handler runs.
[[maybe_unused]] static const bool openSSLKeepsItsTablesAtExit = OPENSSL_init_ssl(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

namespace brs {

// ---------------------------------------------------------------------------
// Configuration

std::shared_ptr<BRSURLSessionConfiguration> BRSURLSessionConfiguration::defaultSessionConfiguration()
{
    return std::make_shared<BRSURLSessionConfiguration>();
}

std::shared_ptr<BRSURLSessionConfiguration> BRSURLSessionConfiguration::ephemeralSessionConfiguration()
{
    return std::make_shared<BRSURLSessionConfiguration>();
}

std::shared_ptr<BRSURLSessionConfiguration> BRSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(const std::string&)
{
    return nullptr;
}

std::shared_ptr<BRSURLSessionConfiguration> BRSURLSessionConfiguration::copy() const
{
    auto copied = std::make_shared<BRSURLSessionConfiguration>();
    copied->HTTPAdditionalHeaders = HTTPAdditionalHeaders;
    return copied;
}

// ---------------------------------------------------------------------------
// Task state shared between the engine thread and the task's queue

struct BRSURLSessionTask::State {
    mutable std::mutex mutex;  // guards response, error and description
    std::optional<URLResponse> response;
    std::optional<Error> error;
    std::string description;
    std::atomic<bool> started{false};

    // Engine thread only.
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    FILE* bodyFile = nullptr;
    URLResponse receiving;
    bool challengeCancelled = false;
    // The idle time-out: the time of the last byte in either direction.
    std::chrono::milliseconds idleLimit{0};
    std::chrono::steady_clock::time_point lastActivity;
    curl_off_t bytesMoved = 0;
    bool idleTooLong = false;

    // Where the transfer's events reach the task.
    std::shared_ptr<SerialQueue> queue = std::make_shared<SerialQueue>("com.brisca.URLSessionTask");
};

struct BRSURLSession::Queues {
    std::shared_ptr<SerialQueue> own = std::make_shared<SerialQueue>("com.brisca.URLSession");
    std::shared_ptr<SerialQueue> delegate;
};

namespace {

Error transportError(URLErrorCode code, std::string message)
{
    return Error{kBRSURLSessionTransportErrorDomain, static_cast<long>(code), std::move(message), nullptr};
}

URLErrorCode errorCodeOf(CURLcode result)
{
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT: return URLErrorCode::TimedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return URLErrorCode::CannotFindHost;
    case CURLE_COULDNT_CONNECT: return URLErrorCode::CannotConnectToHost;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING: return URLErrorCode::NetworkConnectionLost;
    case CURLE_TOO_MANY_REDIRECTS: return URLErrorCode::TooManyRedirects;
    // The first request's scheme is checked before it starts: only a
    // redirect can lead to a scheme the transfer may not use.
    case CURLE_UNSUPPORTED_PROTOCOL: return URLErrorCode::RedirectRefused;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING: return URLErrorCode::BadServerResponse;
    case CURLE_READ_ERROR: return URLErrorCode::CannotReadBodyFile;
    case CURLE_PEER_FAILED_VERIFICATION: return URLErrorCode::ServerCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CLIENTCERT: return URLErrorCode::SecureConnectionFailed;
    default: return URLErrorCode::Unknown;
    }
}

bool isSecure(const std::string& url) { return url.size() >= 6 && equalsIgnoringCase(url.substr(0, 6), "https:"); }

std::string hostOf(const std::string& url, int* port)
{
    CURLU* handle = curl_url();
    std::string host;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* part = nullptr;
        if (curl_url_get(handle, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
            host = part;
            curl_free(part);
        }
        if (port && curl_url_get(handle, CURLUPART_PORT, &part, CURLU_DEFAULT_PORT) == CURLUE_OK) {
            *port = std::atoi(part);
            curl_free(part);
        }
    }
    curl_url_cleanup(handle);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return host;
}

bool isSendable(const std::string& url)
{
    CURLU* handle = curl_url();
    bool sendable = false;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK) {
            const std::string text = scheme;
            sendable = equalsIgnoringCase(text, "http") || equalsIgnoringCase(text, "https");
            curl_free(scheme);
        }
    }
    curl_url_cleanup(handle);
    return sendable;
}

// The user's temporary folder: TMPDIR when set, else the system's.
std::string temporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    if (folder && *folder)
        return folder;
    std::error_code error;
    const auto path = std::filesystem::temp_directory_path(error);
    return error ? std::string(".") : path.string();
}

std::string uniqueName()
{
    static std::atomic<unsigned long> counter{0};
    std::random_device device;
    char name[96];
    std::snprintf(name, sizeof name, "BRSURLSessionDownload-%d-%lu-%08x%08x", static_cast<int>(getpid()), counter++, device(), device());
    return name;
}

}  // namespace

// ---------------------------------------------------------------------------
// The engine: one thread running every transfer through a curl multi handle

struct TransferEngine {
    static TransferEngine& shared()
    {
        static auto* engine = new TransferEngine;  // lives as long as the process
        return *engine;
    }

    void add(std::shared_ptr<BRSURLSessionTask> task)
    {
        {
            std::lock_guard lock(mutex_);
            inbox_.push_back(std::move(task));
        }
        curl_multi_wakeup(multi_);
    }

private:
    TransferEngine()
    {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        multi_ = curl_multi_init();
        thread_ = std::thread([this] { run(); });
        // A transfer in its handshake uses OpenSSL's tables, which OpenSSL's
        // own exit handler frees: the engine stops first. Handlers run in the
        // reverse order of registration and the libraries' own run last.
        std::atexit([] { shared().stop(); });
    }

    void stop()
    {
        if (::getpid() != owner_)
            return;  // a forked child that exits has no engine thread to join
        stopping_ = true;
        curl_multi_wakeup(multi_);
        if (thread_.joinable())
            thread_.join();
    }

    void run()
    {
        while (!stopping_) {
            std::vector<std::shared_ptr<BRSURLSessionTask>> arrived;
            {
                std::lock_guard lock(mutex_);
                arrived.swap(inbox_);
            }
            for (auto& task : arrived)
                begin(std::move(task));
            int stillRunning = 0;
            curl_multi_perform(multi_, &stillRunning);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
                if (message->msg == CURLMSG_DONE)
                    finish(message->easy_handle, message->data.result);
            }
            // Running transfers wake the engine often enough to check their idle time.
            curl_multi_poll(multi_, nullptr, 0, running_.empty() ? 1000 : 100, nullptr);
        }
    }

    void begin(std::shared_ptr<BRSURLSessionTask> task)
    {
        auto& state = *task->state_;
        CURL* easy = curl_easy_init();
        if (!easy) {
            task->transferDidFinish(transportError(URLErrorCode::Unknown, curl_easy_strerror(CURLE_OUT_OF_MEMORY)));
            return;
        }
        state.easy = easy;
        const URLRequest& request = task->originalRequest_;
        curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        // A redirect never leaves https: the request's headers (the API key
        // among them) would travel in clear.
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, isSecure(request.url) ? "https" : "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        watchIdleTime(easy, state, request.timeoutInterval);
        // Every transfer gets a connection and a handshake of its own, so the
        // trust answer of one session never carries over to another.
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &TransferEngine::configureContext);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, task.get());

        for (const auto& [name, value] : request.headers.fields())
            state.headerList = curl_slist_append(state.headerList, (name + ": " + value).c_str());
        state.headerList = curl_slist_append(state.headerList, "Expect:");
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, state.headerList);

        const std::string& method = request.httpMethod;
        if (method == "HEAD") {
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        } else if (method != "GET" || !request.body.empty() || request.bodyFilePath) {
            curl_easy_setopt(easy, CURLOPT_POST, 1L);
            if (request.bodyFilePath) {
                state.bodyFile = std::fopen(request.bodyFilePath->c_str(), "rb");
                if (!state.bodyFile) {
                    finishEarly(task, transportError(URLErrorCode::CannotReadBodyFile, "cannot read the body file " + *request.bodyFilePath));
                    return;
                }
                struct stat status {};
                fstat(fileno(state.bodyFile), &status);
                curl_easy_setopt(easy, CURLOPT_READFUNCTION, &TransferEngine::readBody);
                curl_easy_setopt(easy, CURLOPT_READDATA, state.bodyFile);
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(status.st_size));
            } else {
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
                curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
            }
            if (method != "POST")
                curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TransferEngine::receiveHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, task.get());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TransferEngine::receiveData);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, task.get());
        curl_easy_setopt(easy, CURLOPT_PRIVATE, task.get());

        if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
            finishEarly(task, transportError(URLErrorCode::Unknown, curl_easy_strerror(CURLE_FAILED_INIT)));
            return;
        }
        running_[easy] = std::move(task);
    }

    void finishEarly(const std::shared_ptr<BRSURLSessionTask>& task, Error error)
    {
        release(*task->state_);
        task->transferDidFinish(std::move(error));
    }

    static void release(BRSURLSessionTask::State& state)
    {
        if (state.easy)
            curl_easy_cleanup(state.easy);
        state.easy = nullptr;
        curl_slist_free_all(state.headerList);
        state.headerList = nullptr;
        if (state.bodyFile)
            std::fclose(state.bodyFile);
        state.bodyFile = nullptr;
    }

    void finish(CURL* easy, CURLcode result)
    {
        auto found = running_.find(easy);
        if (found == running_.end())
            return;
        auto task = std::move(found->second);
        running_.erase(found);
        curl_multi_remove_handle(multi_, easy);
        auto& state = *task->state_;
        std::optional<Error> error;
        if (state.challengeCancelled)
            error = transportError(URLErrorCode::Cancelled, "cancelled");
        else if (state.idleTooLong)
            error = transportError(URLErrorCode::TimedOut, "no data moved for the request's time-out");
        else if (result != CURLE_OK)
            error = transportError(errorCodeOf(result), curl_easy_strerror(result));
        release(state);
        task->transferDidFinish(std::move(error));
    }

    // The request's time-out is an idle time: the transfer fails when no
    // byte has come or gone for that long, however long it runs in all.
    static void watchIdleTime(CURL* easy, BRSURLSessionTask::State& state, double seconds)
    {
        if (!(seconds > 0) || !std::isfinite(seconds))
            return;
        state.idleLimit = std::chrono::milliseconds(static_cast<long>(std::min(seconds, 86400.0) * 1000.0));
        state.lastActivity = std::chrono::steady_clock::now();
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(state.idleLimit.count()));
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TransferEngine::checkIdleTime);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &state);
    }

    static void noteActivity(BRSURLSessionTask::State& state) { state.lastActivity = std::chrono::steady_clock::now(); }

    static int checkIdleTime(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent)
    {
        auto& state = *static_cast<BRSURLSessionTask::State*>(context);
        if (received + sent != state.bytesMoved) {
            state.bytesMoved = received + sent;
            noteActivity(state);
        }
        state.idleTooLong = std::chrono::steady_clock::now() - state.lastActivity > state.idleLimit;
        return state.idleTooLong ? 1 : 0;  // a non-zero answer ends the transfer
    }

    static std::size_t readBody(char* buffer, std::size_t size, std::size_t count, void* file)
    {
        const std::size_t read = std::fread(buffer, size, count, static_cast<FILE*>(file));
        return std::ferror(static_cast<FILE*>(file)) ? CURL_READFUNC_ABORT : read;
    }

    static std::size_t receiveHeader(char* buffer, std::size_t size, std::size_t count, void* context)
    {
        auto* task = static_cast<BRSURLSessionTask*>(context);
        noteActivity(*task->state_);
        auto& receiving = task->state_->receiving;
        std::string line(buffer, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.rfind("HTTP/", 0) == 0) {  // a new status line: a new response begins
            receiving = URLResponse{};
            const auto space = line.find(' ');
            receiving.statusCode = space == std::string::npos ? 0 : std::atol(line.c_str() + space + 1);
        } else if (line.empty()) {
            const long status = receiving.statusCode.value_or(0);
            char* location = nullptr;
            curl_easy_getinfo(task->state_->easy, CURLINFO_REDIRECT_URL, &location);
            const bool interim = status / 100 == 1 || (status / 100 == 3 && location);
            if (!interim) {
                char* url = nullptr;
                curl_easy_getinfo(task->state_->easy, CURLINFO_EFFECTIVE_URL, &url);
                receiving.url = url ? url : task->originalRequest_.url;
                task->transferDidReceiveResponse(receiving);
            }
        } else if (const auto colon = line.find(':'); colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            receiving.headers.add(line.substr(0, colon), value);
        }
        return size * count;
    }

    static std::size_t receiveData(char* buffer, std::size_t size, std::size_t count, void* context)
    {
        auto* task = static_cast<BRSURLSessionTask*>(context);
        noteActivity(*task->state_);
        return task->transferDidReceiveData(buffer, size * count) ? size * count : 0;
    }

    static CURLcode configureContext(CURL*, void* sslContext, void* context)
    {
        SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(sslContext), &TransferEngine::verifyChain, context);
        return CURLE_OK;
    }

    // Replaces the library's chain verification: the session's delegate
    // answers the server-trust challenge. curl still checks the host name
    // after the handshake.
    static int verifyChain(X509_STORE_CTX* chain, void* context)
    {
        auto* task = static_cast<BRSURLSessionTask*>(context);
        char* url = nullptr;
        curl_easy_getinfo(task->state_->easy, CURLINFO_EFFECTIVE_URL, &url);
        AuthenticationChallenge challenge;
        challenge.host = hostOf(url ? url : task->originalRequest_.url, &challenge.port);
        ServerTrust trust(challenge.host, X509_STORE_CTX_get0_cert(chain), X509_STORE_CTX_get0_untrusted(chain));
        challenge.serverTrust = &trust;

        auto session = task->session_.lock();
        ChallengeDisposition disposition = ChallengeDisposition::PerformDefaultHandling;
        if (session)
            disposition = session->answerChallenge(challenge);
        switch (disposition) {
        case ChallengeDisposition::UseCredential:
            return 1;
        case ChallengeDisposition::PerformDefaultHandling: {
            TrustResult result = TrustResult::Invalid;
            const bool trusted = trust.evaluate(result) == 0 && (result == TrustResult::Proceed || result == TrustResult::Unspecified);
            if (!trusted)
                X509_STORE_CTX_set_error(chain, X509_V_ERR_CERT_UNTRUSTED);
            return trusted ? 1 : 0;
        }
        case ChallengeDisposition::CancelAuthenticationChallenge:
        case ChallengeDisposition::RejectProtectionSpace:
            break;
        }
        task->state_->challengeCancelled = true;
        X509_STORE_CTX_set_error(chain, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }

    CURLM* multi_ = nullptr;
    std::thread thread_;
    const pid_t owner_ = ::getpid();
    std::atomic<bool> stopping_ = false;
    std::mutex mutex_;
    std::vector<std::shared_ptr<BRSURLSessionTask>> inbox_;
    std::map<CURL*, std::shared_ptr<BRSURLSessionTask>> running_;
};

// ---------------------------------------------------------------------------
// Session

std::shared_ptr<BRSURLSession> BRSURLSession::sessionWithConfiguration(std::shared_ptr<BRSURLSessionConfiguration> configuration,
                                                                       std::shared_ptr<BRSURLSessionDelegate> delegate,
                                                                       std::shared_ptr<SerialQueue> delegateQueue)
{
    if (!configuration)
        return nullptr;
    std::shared_ptr<BRSURLSession> session(new BRSURLSession);
    session->configuration_ = configuration->copy();
    session->delegate_ = std::move(delegate);
    session->queues_->delegate = delegateQueue ? std::move(delegateQueue) : newDefaultDelegateQueue();
    return session;
}

std::shared_ptr<SerialQueue> BRSURLSession::newDefaultDelegateQueue()
{
    static std::atomic<unsigned> number{0};
    return std::make_shared<SerialQueue>("BRSURLSession delegate queue " + std::to_string(++number));
}

BRSURLSession::BRSURLSession() : queues_(std::make_unique<Queues>()) {}

BRSURLSession::~BRSURLSession() = default;

const std::shared_ptr<SerialQueue>& BRSURLSession::delegateQueue() const { return queues_->delegate; }

bool BRSURLSession::configureTask(BRSURLSessionTask& task, const URLRequest& request, const std::function<void(URLRequest&)>& block)
{
    if (!isSendable(request.url))
        return false;
    URLRequest configured = request;
    queues_->own->sync([&] {
        for (const auto& [name, value] : configuration_->HTTPAdditionalHeaders.fields())
            configured.headers.add(name, value);
    });
    if (block)
        block(configured);
    task.originalRequest_ = std::move(configured);
    task.session_ = weak_from_this();
    return true;
}

std::shared_ptr<BRSURLSessionDataTask> BRSURLSession::dataTaskWithRequest(const URLRequest& request, DataCompletionHandler handler)
{
    std::shared_ptr<BRSURLSessionDataTask> task(new BRSURLSessionDataTask);
    if (handler) {
        task->completionHandler_ = std::move(handler);
        task->invokesDelegate_ = false;
    }
    return configureTask(*task, request, nullptr) ? task : nullptr;
}

std::shared_ptr<BRSURLSessionUploadTask> BRSURLSession::uploadTaskWithRequest(const URLRequest& request, const std::string& fromFile,
                                                                              DataCompletionHandler handler)
{
    std::shared_ptr<BRSURLSessionUploadTask> task(new BRSURLSessionUploadTask);
    if (handler) {
        task->completionHandler_ = std::move(handler);
        task->invokesDelegate_ = false;
    }
    const bool made = configureTask(*task, request, [&](URLRequest& configured) {
        configured.body.clear();
        configured.bodyFilePath = fromFile;
    });
    return made ? task : nullptr;
}

std::shared_ptr<BRSURLSessionDownloadTask> BRSURLSession::downloadTaskWithRequest(const URLRequest& request,
                                                                                  DownloadCompletionHandler handler)
{
    std::shared_ptr<BRSURLSessionDownloadTask> task(new BRSURLSessionDownloadTask);
    if (handler) {
        task->downloadCompletionHandler_ = std::move(handler);
        task->invokesDelegate_ = false;
    }
    return configureTask(*task, request, nullptr) ? task : nullptr;
}

std::shared_ptr<BRSURLSessionDownloadTask> BRSURLSession::downloadTaskWithURL(const std::string& url)
{
    URLRequest request;
    request.url = url;
    return downloadTaskWithRequest(request);
}

void BRSURLSession::getTasksWithCompletionHandler(
    std::function<void(std::vector<std::shared_ptr<BRSURLSessionDataTask>>, std::vector<std::shared_ptr<BRSURLSessionUploadTask>>,
                       std::vector<std::shared_ptr<BRSURLSessionDownloadTask>>)>
        handler)
{
    if (handler)
        queues_->delegate->async([handler = std::move(handler)] { handler({}, {}, {}); });
}

bool BRSURLSession::shouldInvokeDelegate(const BRSURLSessionTask& task) const { return task.invokesDelegate_ && delegate_; }

void BRSURLSession::taskDidComplete(const std::shared_ptr<BRSURLSessionTask>& task, const std::optional<Error>& error)
{
    if (!shouldInvokeDelegate(*task))
        return;
    queues_->delegate->async([self = shared_from_this(), task, error] { self->delegate_->didCompleteWithError(*self, *task, error); });
}

void BRSURLSession::taskDidReceiveResponse(const std::shared_ptr<BRSURLSessionDataTask>& task, const URLResponse& response)
{
    if (shouldInvokeDelegate(*task))
        queues_->delegate->async([self = shared_from_this(), task, response] { self->delegate_->didReceiveResponse(*self, *task, response); });
}

void BRSURLSession::taskDidReceiveData(const std::shared_ptr<BRSURLSessionDataTask>& task, const std::string& data)
{
    if (shouldInvokeDelegate(*task))
        queues_->delegate->async([self = shared_from_this(), task, data] { self->delegate_->didReceiveData(*self, *task, data); });
}

void BRSURLSession::downloadTaskDidFinish(const std::shared_ptr<BRSURLSessionDownloadTask>& task, const std::string& path)
{
    if (!shouldInvokeDelegate(*task)) {
        task->cleanup();
        return;
    }
    queues_->delegate->async([self = shared_from_this(), task, path] {
        self->delegate_->didFinishDownloadingToURL(*self, *task, path);
        task->cleanup();
    });
}

ChallengeDisposition BRSURLSession::answerChallenge(const AuthenticationChallenge& challenge)
{
    if (!delegate_)
        return ChallengeDisposition::PerformDefaultHandling;
    // A delegate that never answers cancels the challenge.
    ChallengeDisposition answer = ChallengeDisposition::CancelAuthenticationChallenge;
    delegate_->didReceiveChallenge(*this, challenge, [&](ChallengeDisposition disposition, std::optional<URLCredential> credential) {
        if (disposition == ChallengeDisposition::UseCredential && (!credential || credential->trust != challenge.serverTrust))
            disposition = ChallengeDisposition::CancelAuthenticationChallenge;  // a credential for another trust vouches for nothing
        answer = disposition;
    });
    return answer;
}

// ---------------------------------------------------------------------------
// Tasks

BRSURLSessionTask::BRSURLSessionTask() : state_(std::make_unique<State>()) {}
BRSURLSessionTask::~BRSURLSessionTask() = default;

std::optional<URLResponse> BRSURLSessionTask::response() const
{
    std::lock_guard lock(state_->mutex);
    return state_->response;
}

std::optional<Error> BRSURLSessionTask::error() const
{
    std::lock_guard lock(state_->mutex);
    return state_->error;
}

std::string BRSURLSessionTask::taskDescription() const
{
    std::lock_guard lock(state_->mutex);
    return state_->description;
}

void BRSURLSessionTask::setTaskDescription(std::string description)
{
    std::lock_guard lock(state_->mutex);
    state_->description = std::move(description);
}

void BRSURLSessionTask::start()
{
    if (state_->started.exchange(true))
        return;
    TransferEngine::shared().add(shared_from_this());
}

void BRSURLSessionTask::transferDidReceiveResponse(URLResponse response)
{
    state_->queue->async([self = shared_from_this(), response = std::move(response)] {
        if (auto session = self->session_.lock())
            if (dynamic_cast<BRSURLSessionDataTask*>(self.get()))
                session->taskDidReceiveResponse(std::static_pointer_cast<BRSURLSessionDataTask>(self), response);
        std::lock_guard lock(self->state_->mutex);
        self->state_->response = response;
    });
}

void BRSURLSessionTask::transferDidFinish(std::optional<Error> error)
{
    state_->queue->async([self = shared_from_this(), error = std::move(error)] {
        {
            std::lock_guard lock(self->state_->mutex);
            if (!self->state_->error)
                self->state_->error = error;
        }
        self->complete();
    });
}

void BRSURLSessionDataTask::resume() { start(); }

std::optional<std::string> BRSURLSessionDataTask::data() const { return data_; }

bool BRSURLSessionDataTask::transferDidReceiveData(const char* bytes, std::size_t length)
{
    state_->queue->async([self = std::static_pointer_cast<BRSURLSessionDataTask>(shared_from_this()), chunk = std::string(bytes, length)] {
        if (!self->data_)
            self->data_.emplace();
        self->data_->append(chunk);
        if (auto session = self->session_.lock())
            session->taskDidReceiveData(self, chunk);
    });
    return true;
}

// Handlers run on the session's delegate queue, as the session's delegate calls do.
void BRSURLSessionDataTask::complete()
{
    auto self = std::static_pointer_cast<BRSURLSessionDataTask>(shared_from_this());
    auto session = session_.lock();
    auto finish = [self, session] {
        if (self->completionHandler_)
            self->completionHandler_(self->data_, self->response(), self->error());
        if (session)
            session->taskDidComplete(self, self->error());
    };
    session ? session->delegateQueue()->async(std::move(finish)) : finish();
}

BRSURLSessionDownloadTask::BRSURLSessionDownloadTask() : targetPath_(temporaryFolder() + "/" + uniqueName()) {}

BRSURLSessionDownloadTask::~BRSURLSessionDownloadTask()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
    cleanup();  // a download nobody collected leaves no file behind
}

void BRSURLSessionDownloadTask::cleanup() { ::unlink(targetPath_.c_str()); }

bool BRSURLSessionDownloadTask::transferDidReceiveData(const char* bytes, std::size_t length)
{
    if (descriptor_ < 0 && !writeFailed_) {
        descriptor_ = ::open(targetPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        writeFailed_ = descriptor_ < 0;
    }
    while (!writeFailed_ && length > 0) {
        const ssize_t written = ::write(descriptor_, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            writeFailed_ = true;
            break;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return !writeFailed_;
}

void BRSURLSessionDownloadTask::transferDidFinish(std::optional<Error> error)
{
    // The file is complete and closed before anyone hears of it; an empty
    // body still gives an (empty) file.
    if (descriptor_ < 0 && !writeFailed_) {
        descriptor_ = ::open(targetPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        writeFailed_ = descriptor_ < 0;
    }
    if (descriptor_ >= 0 && ::close(descriptor_) != 0)
        writeFailed_ = true;
    descriptor_ = -1;
    if (writeFailed_)
        error = Error{kBRSURLSessionDownloadTaskErrorDomain, -1, "the download file could not be written", nullptr};
    BRSURLSessionTask::transferDidFinish(std::move(error));
}

void BRSURLSessionDownloadTask::complete()
{
    auto self = std::static_pointer_cast<BRSURLSessionDownloadTask>(shared_from_this());
    auto session = session_.lock();
    auto finish = [self, session] {
        const auto failure = self->error();
        if (self->downloadCompletionHandler_)
            self->downloadCompletionHandler_(self->targetPath_, self->response(), failure);
        if (!failure && session)
            session->downloadTaskDidFinish(self, self->targetPath_);
        else
            self->cleanup();  // a failed download leaves no file behind
        if (session)
            session->taskDidComplete(self, failure);
    };
    session ? session->delegateQueue()->async(std::move(finish)) : finish();
}

}  // namespace brs

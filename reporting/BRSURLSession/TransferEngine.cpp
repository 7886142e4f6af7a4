#include "reporting/BRSURLSession/BRSURLSession_p.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

// OpenSSL's own exit handler frees its tables. Asked before anything else
// starts OpenSSL, it installs none; when another library started it first,
// the transfer engine still stops at exit before that handler runs.
[[maybe_unused]] static const bool openSSLKeepsItsTablesAtExit = OPENSSL_init_ssl(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

namespace brs {

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

}  // namespace

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
        // Only the fields the request names go out: curl's own "Accept: */*"
        // and "Expect: 100-continue" are switched off.
        if (!request.headers.value("Accept"))
            state.headerList = curl_slist_append(state.headerList, "Accept:");
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


void TransferEngineAdd(std::shared_ptr<BRSURLSessionTask> task) { TransferEngine::shared().add(std::move(task)); }

bool TransferEngineCanSend(const std::string& url) { return isSendable(url); }

}  // namespace brs

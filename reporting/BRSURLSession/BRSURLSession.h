#pragma once
// The kit's URL-session layer: sessions that make data, upload and download
// tasks over libcurl, with completion handlers or delegate calls, additional
// headers from the configuration and server-trust challenges for the delegate.
// Every transfer of the process runs on one engine thread.

#include "reporting/BRSURLSession/Dispatch.h"
#include "reporting/BRSURLSession/ServerTrust.h"
#include "reporting/BRSURLSession/URLTypes.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brs {

class BRSURLSession;
class BRSURLSessionTask;
class BRSURLSessionDataTask;
class BRSURLSessionUploadTask;
class BRSURLSessionDownloadTask;

class BRSURLSessionConfiguration {
public:
    static std::shared_ptr<BRSURLSessionConfiguration> defaultSessionConfiguration();
    static std::shared_ptr<BRSURLSessionConfiguration> ephemeralSessionConfiguration();
    // Background sessions need the platform's own session classes; there are none here.
    static std::shared_ptr<BRSURLSessionConfiguration> backgroundSessionConfigurationWithIdentifier(const std::string& identifier);

    // A copy carries the additional headers only.
    std::shared_ptr<BRSURLSessionConfiguration> copy() const;

    HeaderFields HTTPAdditionalHeaders;
    std::optional<std::string> URLCache;  // kept for callers; the layer caches nothing
    unsigned HTTPCookieAcceptPolicy = 0;
    bool sessionSendsLaunchEvents() const { return false; }
};

// A server-trust or other authentication challenge met during a transfer.
enum class AuthenticationMethod { ServerTrust, HTTPBasic, ClientCertificate };

struct AuthenticationChallenge {
    AuthenticationMethod method = AuthenticationMethod::ServerTrust;
    std::string host;
    int port = 0;
    ServerTrust* serverTrust = nullptr;  // only for ServerTrust challenges
};

enum class ChallengeDisposition { UseCredential, PerformDefaultHandling, CancelAuthenticationChallenge, RejectProtectionSpace };

// A credential that vouches for one server trust.
struct URLCredential {
    const ServerTrust* trust = nullptr;
};

using ChallengeCompletion = std::function<void(ChallengeDisposition, std::optional<URLCredential>)>;

// What a session tells its delegate. Every call runs as an operation on the
// session's delegate queue, except challenges, which are answered during the
// handshake on the engine thread and must not block.
class BRSURLSessionDelegate {
public:
    virtual ~BRSURLSessionDelegate() = default;
    virtual void didReceiveChallenge(BRSURLSession&, const AuthenticationChallenge&, const ChallengeCompletion& completion)
    {
        completion(ChallengeDisposition::PerformDefaultHandling, std::nullopt);
    }
    virtual void didBecomeInvalidWithError(BRSURLSession&, const std::optional<Error>&) {}
    virtual void didCompleteWithError(BRSURLSession&, BRSURLSessionTask&, const std::optional<Error>&) {}
    virtual void didReceiveResponse(BRSURLSession&, BRSURLSessionDataTask&, const URLResponse&) {}
    virtual void didReceiveData(BRSURLSession&, BRSURLSessionDataTask&, const std::string&) {}
    virtual void didFinishDownloadingToURL(BRSURLSession&, BRSURLSessionDownloadTask&, const std::string& /*path*/) {}
};

using DataCompletionHandler = std::function<void(std::optional<std::string> data, std::optional<URLResponse>, std::optional<Error>)>;
using DownloadCompletionHandler = std::function<void(std::optional<std::string> path, std::optional<URLResponse>, std::optional<Error>)>;

// The download file could not be written.
inline constexpr const char* kBRSURLSessionDownloadTaskErrorDomain = "BRSURLSessionDownloadTaskError";

class BRSURLSession : public std::enable_shared_from_this<BRSURLSession> {
public:
    // Null without a configuration. With a delegate and no queue the session
    // makes its own queue that runs one operation at a time.
    static std::shared_ptr<BRSURLSession> sessionWithConfiguration(std::shared_ptr<BRSURLSessionConfiguration> configuration,
                                                                   std::shared_ptr<BRSURLSessionDelegate> delegate = nullptr,
                                                                   std::shared_ptr<SerialQueue> delegateQueue = nullptr);
    static std::shared_ptr<SerialQueue> newDefaultDelegateQueue();
    ~BRSURLSession();

    // Each answers null when the request cannot be sent (no http or https URL).
    // A task with a handler tells the delegate nothing of itself.
    std::shared_ptr<BRSURLSessionDataTask> dataTaskWithRequest(const URLRequest& request, DataCompletionHandler handler = nullptr);
    std::shared_ptr<BRSURLSessionUploadTask> uploadTaskWithRequest(const URLRequest& request, const std::string& fromFile,
                                                                   DataCompletionHandler handler = nullptr);
    std::shared_ptr<BRSURLSessionDownloadTask> downloadTaskWithRequest(const URLRequest& request,
                                                                       DownloadCompletionHandler handler = nullptr);
    std::shared_ptr<BRSURLSessionDownloadTask> downloadTaskWithURL(const std::string& url);

    // The layer keeps no list of running tasks: the lists are always empty.
    void getTasksWithCompletionHandler(
        std::function<void(std::vector<std::shared_ptr<BRSURLSessionDataTask>>, std::vector<std::shared_ptr<BRSURLSessionUploadTask>>,
                           std::vector<std::shared_ptr<BRSURLSessionDownloadTask>>)>
            handler);

    const std::shared_ptr<BRSURLSessionDelegate>& delegate() const { return delegate_; }
    const std::shared_ptr<SerialQueue>& delegateQueue() const;
    const std::shared_ptr<BRSURLSessionConfiguration>& configuration() const { return configuration_; }
    std::string sessionDescription;

private:
    friend class BRSURLSessionTask;
    friend class BRSURLSessionDataTask;
    friend class BRSURLSessionDownloadTask;
    friend struct TransferEngine;
    BRSURLSession();

    bool configureTask(BRSURLSessionTask& task, const URLRequest& request, const std::function<void(URLRequest&)>& block);
    bool shouldInvokeDelegate(const BRSURLSessionTask& task) const;
    void taskDidComplete(const std::shared_ptr<BRSURLSessionTask>& task, const std::optional<Error>& error);
    void taskDidReceiveResponse(const std::shared_ptr<BRSURLSessionDataTask>& task, const URLResponse& response);
    void taskDidReceiveData(const std::shared_ptr<BRSURLSessionDataTask>& task, const std::string& data);
    void downloadTaskDidFinish(const std::shared_ptr<BRSURLSessionDownloadTask>& task, const std::string& path);
    ChallengeDisposition answerChallenge(const AuthenticationChallenge& challenge);

    // The session's own queue, over its configuration, and the queue its delegate is called on.
    struct Queues;
    std::unique_ptr<Queues> queues_;
    std::shared_ptr<BRSURLSessionConfiguration> configuration_;
    std::shared_ptr<BRSURLSessionDelegate> delegate_;
};

class BRSURLSessionTask : public std::enable_shared_from_this<BRSURLSessionTask> {
public:
    virtual ~BRSURLSessionTask();

    // Starts the transfer; a second call does nothing.
    virtual void resume() = 0;
    virtual void cleanup() {}

    const URLRequest& originalRequest() const { return originalRequest_; }
    const URLRequest& currentRequest() const { return originalRequest_; }
    std::optional<URLResponse> response() const;
    std::optional<Error> error() const;
    std::string taskDescription() const;
    void setTaskDescription(std::string description);
    bool invokesDelegate() const { return invokesDelegate_; }

protected:
    friend class BRSURLSession;
    friend struct TransferEngine;
    BRSURLSessionTask();

    // Called on the engine thread as the transfer goes; each hops to the task's queue.
    virtual void transferDidReceiveResponse(URLResponse response);
    virtual bool transferDidReceiveData(const char* bytes, std::size_t length) = 0;
    virtual void transferDidFinish(std::optional<Error> error);
    virtual void complete() = 0;
    void start();

    // The transfer's state, its lock and the task's queue.
    struct State;
    std::unique_ptr<State> state_;
    URLRequest originalRequest_;
    bool invokesDelegate_ = true;
    std::weak_ptr<BRSURLSession> session_;
};

class BRSURLSessionDataTask : public BRSURLSessionTask {
public:
    void resume() override;
    // The bytes received so far (on the task's queue), absent before the first.
    std::optional<std::string> data() const;

protected:
    friend class BRSURLSession;
    bool transferDidReceiveData(const char* bytes, std::size_t length) override;
    void complete() override;

    DataCompletionHandler completionHandler_;
    std::optional<std::string> data_;
};

class BRSURLSessionUploadTask : public BRSURLSessionDataTask {};

// Downloads into a file of its own in the temporary folder. The file exists,
// closed and complete, when the handler or the delegate hears of it, and is
// removed right after: move or copy it before returning.
class BRSURLSessionDownloadTask : public BRSURLSessionDataTask {
public:
    ~BRSURLSessionDownloadTask() override;
    const std::string& targetPath() const { return targetPath_; }
    void cleanup() override;

protected:
    friend class BRSURLSession;
    BRSURLSessionDownloadTask();
    bool transferDidReceiveData(const char* bytes, std::size_t length) override;
    void transferDidFinish(std::optional<Error> error) override;
    void complete() override;

    DownloadCompletionHandler downloadCompletionHandler_;
    std::string targetPath_;
    int descriptor_ = -1;
    bool writeFailed_ = false;
};

}  // namespace brs

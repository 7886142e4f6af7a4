#pragma once
// Uploads report packages to the reporting service. There are no background
// sessions here: every upload runs on an ordinary session whose callbacks
// run on the reporting work queue, and the package stays in "prepared"
// until an upload of it succeeds. Each upload is keyed by the package's path
// below the report root; a package with an upload under way, urgent or
// not, is not started again. Retryable answers are tried again after the
// server's retry value. The service's verdict is taken from the status line
// and fields of its answer, as soon as they come: a report the service has
// accepted is never sent again, however long the rest of the answer takes
// or whatever becomes of this process meanwhile.

#include "reporting/BRSURLSession/BRSURLSession.h"
#include "reporting/Plinth/PLNNetworkTaskUtility.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class BRSFileManager;
class BRSNetworkClient;

inline constexpr const char* kBRSNetworkErrorDomain = "BRSNetworkError";

class BRSNetworkClientDelegate {
public:
    virtual ~BRSNetworkClientDelegate() = default;
    virtual bool networkClientCanUseBackgroundSessions(BRSNetworkClient&) = 0;
    // Every end of an upload that was started on the task road; none means success.
    virtual void networkClientDidFinishUpload(BRSNetworkClient&, const std::string& path, const std::optional<brs::Error>& error) = 0;
};

class BRSNetworkClient : public std::enable_shared_from_this<BRSNetworkClient> {
public:
    static std::shared_ptr<BRSNetworkClient> create(std::shared_ptr<brs::SerialQueue> queue, const BRSFileManager& fileManager,
                                                    std::weak_ptr<BRSNetworkClientDelegate> delegate, pln::PLNNetworkOptions options = {});
    ~BRSNetworkClient();

    void startUploadRequest(const brs::URLRequest& request, const std::string& filePath, bool immediately);
    void startImmediateUploadRequest(const brs::URLRequest& request, const std::string& filePath);
    // Runs the block at once: there is no background session to reconnect to.
    void attemptToReconnectBackgroundSessionWithCompletionBlock(const std::function<void()>& block) { block(); }

    bool supportsBackgroundRequests() const { return false; }
    std::string rootPath() const;
    std::string absolutePathForRelativeTaskPath(const std::string& relative) const;
    std::optional<std::string> relativeTaskPathForAbsolutePath(const std::string& absolute) const;
    const std::shared_ptr<brs::SerialQueue>& operationQueue() const;
    const std::shared_ptr<brs::BRSURLSession>& session() const { return session_; }

private:
    BRSNetworkClient(std::shared_ptr<brs::SerialQueue> queue, const BRSFileManager& fileManager,
                     std::weak_ptr<BRSNetworkClientDelegate> delegate, pln::PLNNetworkOptions options);
    void startNewUploadRequest(const brs::URLRequest& request, const std::string& filePath);
    void restart(const brs::URLRequest& request, const std::string& filePath, const std::optional<brs::URLResponse>& response);
    void finishUpload(const std::string& filePath, const std::optional<brs::Error>& error);
    // Claims the package for one upload; false when an upload of it runs.
    bool claim(const std::string& filePath);
    void release(const std::string& filePath);
    // A task's answer came (its status line and fields), or the task ended;
    // the first of the two gives the verdict.
    void uploadAnswered(const brs::BRSURLSessionTask& task, const std::optional<brs::URLResponse>& response,
                        const std::optional<brs::Error>& error);
    void uploadEnded(const brs::BRSURLSessionTask& task, const std::optional<brs::Error>& error);

    // The session delegate that brings a task's answer and end to the client.
    class Events;
    // The queue uploads finish on, and the uploads under way behind their lock.
    struct Private;
    std::unique_ptr<Private> d;
    std::string rootPath_;
    std::weak_ptr<BRSNetworkClientDelegate> delegate_;
    pln::PLNNetworkOptions options_;
    std::shared_ptr<pln::PLNCertificatePinner> certPinner_;
    std::shared_ptr<brs::BRSURLSession> session_;
};

#include "reporting/BriscaKit/Reports/BRSNetworkClient.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNNetworkResponseHandler.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <unistd.h>

struct BRSNetworkClient::Private {
    // One upload under way, from its start to its task's end.
    struct Upload {
        std::string filePath;
        brs::URLRequest request;
        bool immediate = false;
        std::shared_ptr<brs::BRSURLSession> session;  // an immediate upload's own, kept until its task ends
        bool answered = false;     // the verdict is taken
        bool succeeded = false;    // the status said the service accepted the package
        bool callerWaits = false;  // immediate: the caller still waits for the verdict
    };

    explicit Private(std::shared_ptr<brs::SerialQueue> queue) : operationQueue(std::move(queue)) {}
    std::shared_ptr<brs::SerialQueue> operationQueue;
    std::mutex mutex;
    std::condition_variable verdictTaken;  // an immediate upload's caller waits on it
    std::set<std::string> uploadsUnderWay;  // task descriptions
    std::map<const brs::BRSURLSessionTask*, std::shared_ptr<Upload>> uploads;
};

class BRSNetworkClient::Events : public pln::PLNChallengeResponder {
public:
    Events(std::weak_ptr<BRSNetworkClient> client, std::shared_ptr<pln::PLNCertificatePinner> pinner)
        : PLNChallengeResponder(std::move(pinner)), client_(std::move(client))
    {
    }
    void didReceiveResponse(brs::BRSURLSession&, brs::BRSURLSessionDataTask& task, const brs::URLResponse& response) override
    {
        if (auto client = client_.lock())
            client->uploadAnswered(task, response, std::nullopt);
    }
    void didCompleteWithError(brs::BRSURLSession&, brs::BRSURLSessionTask& task, const std::optional<brs::Error>& error) override
    {
        if (auto client = client_.lock())
            client->uploadEnded(task, error);
    }

private:
    std::weak_ptr<BRSNetworkClient> client_;
};

std::shared_ptr<BRSNetworkClient> BRSNetworkClient::create(std::shared_ptr<brs::SerialQueue> queue, const BRSFileManager& fileManager,
                                                           std::weak_ptr<BRSNetworkClientDelegate> delegate, pln::PLNNetworkOptions options)
{
    std::shared_ptr<BRSNetworkClient> client(new BRSNetworkClient(std::move(queue), fileManager, std::move(delegate), std::move(options)));
    client->session_ = brs::BRSURLSession::sessionWithConfiguration(brs::BRSURLSessionConfiguration::defaultSessionConfiguration(),
                                                                    std::make_shared<Events>(client, client->certPinner_),
                                                                    client->d->operationQueue);
    if (!client->session_)
        pln::PLNLog("[Brisca:Crash:Client] Failed to initialize");
    return client;
}

BRSNetworkClient::BRSNetworkClient(std::shared_ptr<brs::SerialQueue> queue, const BRSFileManager& fileManager,
                                   std::weak_ptr<BRSNetworkClientDelegate> delegate, pln::PLNNetworkOptions options)
    : d(std::make_unique<Private>(std::move(queue))), rootPath_(fileManager.rootPath()), delegate_(std::move(delegate)), options_(std::move(options)),
      certPinner_(std::make_shared<pln::PLNCertificatePinner>(options_.pinnedCertificates))
{
    // Asked, as the delegate expects, though the answer changes nothing here.
    if (auto delegate = delegate_.lock())
        delegate->networkClientCanUseBackgroundSessions(*this);
    pln::PLNDebugLog("[Brisca:Crash:Client] Background uploading not supported");
}

BRSNetworkClient::~BRSNetworkClient() = default;

const std::shared_ptr<brs::SerialQueue>& BRSNetworkClient::operationQueue() const { return d->operationQueue; }

std::string BRSNetworkClient::rootPath() const { return rootPath_; }

std::string BRSNetworkClient::absolutePathForRelativeTaskPath(const std::string& relative) const { return rootPath() + "/" + relative; }

std::optional<std::string> BRSNetworkClient::relativeTaskPathForAbsolutePath(const std::string& absolute) const
{
    const std::string root = rootPath() + "/";
    if (absolute.compare(0, root.size(), root) != 0) {
        BRSSDKLog("%s: Error: path '%s' is not at the root '%s'\n", __func__, absolute.c_str(), root.c_str());
        return std::nullopt;
    }
    return absolute.substr(root.size());
}

bool BRSNetworkClient::claim(const std::string& filePath)
{
    // A package outside the root has no description and never matches another upload.
    const auto description = relativeTaskPathForAbsolutePath(filePath);
    if (!description)
        return true;
    std::lock_guard lock(d->mutex);
    return d->uploadsUnderWay.insert(*description).second;
}

void BRSNetworkClient::release(const std::string& filePath)
{
    if (const auto description = relativeTaskPathForAbsolutePath(filePath)) {
        std::lock_guard lock(d->mutex);
        d->uploadsUnderWay.erase(*description);
    }
}

void BRSNetworkClient::startUploadRequest(const brs::URLRequest& request, const std::string& filePath, bool immediately)
{
    if (immediately) {
        startImmediateUploadRequest(request, filePath);
        return;
    }
    // The claim and the check are one step, so two starts of one package
    // before its task exists cannot both send it.
    if (!claim(filePath)) {
        pln::PLNDebugLog("[Brisca:Crash:Client] A task currently exists for this upload, skipping");
        return;
    }
    startNewUploadRequest(request, filePath);
}

void BRSNetworkClient::startNewUploadRequest(const brs::URLRequest& request, const std::string& filePath)
{
    std::shared_ptr<brs::BRSURLSessionUploadTask> task;
    if (session_ && ::access(filePath.c_str(), R_OK) == 0)
        task = session_->uploadTaskWithRequest(request, filePath);
    if (task) {
        if (auto description = relativeTaskPathForAbsolutePath(filePath))
            task->setTaskDescription(*description);
        {
            std::lock_guard lock(d->mutex);
            d->uploads[task.get()] = std::make_shared<Private::Upload>(Private::Upload{filePath, request});
        }
        task->resume();
        return;
    }
    d->operationQueue->async([weak = weak_from_this(), filePath] {
        if (auto self = weak.lock())
            self->finishUpload(filePath, brs::Error{kBRSNetworkErrorDomain, -2, "The package cannot be read", {{"path", filePath}}});
    });
}

void BRSNetworkClient::uploadAnswered(const brs::BRSURLSessionTask& task, const std::optional<brs::URLResponse>& response,
                                      const std::optional<brs::Error>& error)
{
    bool accepted = false;
    pln::PLNNetworkResponseHandler::clientResponseType(response, [&](pln::PLNResponseType type, long) {
        accepted = type == pln::PLNResponseType::Success;
    });
    std::shared_ptr<Private::Upload> upload;
    bool reportLater = false;
    {
        std::lock_guard lock(d->mutex);
        const auto found = d->uploads.find(&task);
        if (found == d->uploads.end() || found->second->answered)
            return;
        upload = found->second;
        upload->answered = true;
        upload->succeeded = accepted;
        // An immediate upload's success is told by its caller while it
        // waits, by the client's queue once the caller has gone on.
        reportLater = upload->immediate && accepted && !upload->callerWaits;
    }
    d->verdictTaken.notify_all();
    if (upload->immediate) {
        if (reportLater)
            d->operationQueue->async([weak = weak_from_this(), path = upload->filePath] {
                if (auto self = weak.lock())
                    if (auto delegate = self->delegate_.lock())
                        delegate->networkClientDidFinishUpload(*self, path, std::nullopt);
            });
        return;
    }
    pln::PLNNetworkResponseHandler::handleCompletedResponse(response, upload->request, error, [&](bool retry, std::optional<brs::Error> verdict) {
        if (retry)
            restart(upload->request, upload->filePath, response);
        else
            finishUpload(upload->filePath, verdict);
    });
}

void BRSNetworkClient::uploadEnded(const brs::BRSURLSessionTask& task, const std::optional<brs::Error>& error)
{
    // An end without an answer (a transport error) gives the verdict now.
    uploadAnswered(task, task.response(), error);
    std::shared_ptr<Private::Upload> upload;
    {
        std::lock_guard lock(d->mutex);
        const auto found = d->uploads.find(&task);
        if (found == d->uploads.end())
            return;
        upload = found->second;
        d->uploads.erase(found);
    }
    if (upload->immediate)
        release(upload->filePath);
}

void BRSNetworkClient::restart(const brs::URLRequest& request, const std::string& filePath, const std::optional<brs::URLResponse>& response)
{
    std::weak_ptr<BRSNetworkClient> weak = weak_from_this();
    const double wait = pln::PLNNetworkResponseHandler::retryValueForResponse(response);
    options_.scheduler->runAfter(wait, [weak, request, filePath] {
        if (auto self = weak.lock())
            self->d->operationQueue->async([weak, request, filePath] {
                if (auto self = weak.lock())
                    self->startNewUploadRequest(request, filePath);
            });
    });
}

void BRSNetworkClient::finishUpload(const std::string& filePath, const std::optional<brs::Error>& error)
{
    release(filePath);
    if (auto delegate = delegate_.lock())
        delegate->networkClientDidFinishUpload(*this, filePath, error);
}

void BRSNetworkClient::startImmediateUploadRequest(const brs::URLRequest& request, const std::string& filePath)
{
    if (::access(filePath.c_str(), R_OK) != 0) {
        BRSSDKLog("%s: Error: file unreadable\n", __func__);
        return;
    }
    if (!claim(filePath)) {
        pln::PLNDebugLog("[Brisca:Crash:Client] A task currently exists for this upload, skipping");
        return;
    }
    // A session of its own whose answers arrive on a queue of their own: the
    // caller may be the work queue, which this send blocks.
    auto upload = std::make_shared<Private::Upload>(Private::Upload{filePath, request, true});
    upload->request.bodyFilePath = filePath;
    upload->session = brs::BRSURLSession::sessionWithConfiguration(brs::BRSURLSessionConfiguration::defaultSessionConfiguration(),
                                                                   std::make_shared<Events>(weak_from_this(), certPinner_));
    auto task = upload->session ? upload->session->dataTaskWithRequest(upload->request) : nullptr;
    if (!task) {
        release(filePath);
        return;
    }
    upload->callerWaits = true;
    {
        std::lock_guard lock(d->mutex);
        d->uploads[task.get()] = upload;
    }
    task->resume();
    // The caller waits for the verdict no longer than the request's time-out;
    // an answer that comes later still counts.
    std::unique_lock lock(d->mutex);
    d->verdictTaken.wait_for(lock, std::chrono::duration<double>(upload->request.timeoutInterval), [&] { return upload->answered; });
    upload->callerWaits = false;
    const bool succeeded = upload->answered && upload->succeeded;
    lock.unlock();
    if (succeeded)
        if (auto delegate = delegate_.lock())
            delegate->networkClientDidFinishUpload(*this, filePath, std::nullopt);
}

#include "reporting/BriscaKit/Reports/BRSNetworkClient.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNNetworkResponseHandler.h"

#include <condition_variable>
#include <mutex>
#include <set>
#include <unistd.h>

struct BRSNetworkClient::Private {
    explicit Private(std::shared_ptr<brs::SerialQueue> queue) : operationQueue(std::move(queue)) {}
    std::shared_ptr<brs::SerialQueue> operationQueue;
    std::mutex mutex;
    std::set<std::string> uploadsUnderWay;  // task descriptions
};

std::shared_ptr<BRSNetworkClient> BRSNetworkClient::create(std::shared_ptr<brs::SerialQueue> queue, const BRSFileManager& fileManager,
                                                           std::weak_ptr<BRSNetworkClientDelegate> delegate, pln::PLNNetworkOptions options)
{
    return std::shared_ptr<BRSNetworkClient>(new BRSNetworkClient(std::move(queue), fileManager, std::move(delegate), std::move(options)));
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
    session_ = brs::BRSURLSession::sessionWithConfiguration(brs::BRSURLSessionConfiguration::defaultSessionConfiguration(),
                                                            std::make_shared<pln::PLNChallengeResponder>(certPinner_), d->operationQueue);
    if (!session_)
        pln::PLNLog("[Brisca:Crash:Client] Failed to initialize");
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
    std::weak_ptr<BRSNetworkClient> weak = weak_from_this();
    std::shared_ptr<brs::BRSURLSessionUploadTask> task;
    if (session_ && ::access(filePath.c_str(), R_OK) == 0)
        task = session_->uploadTaskWithRequest(request, filePath, [weak, request, filePath](auto, auto response, auto error) {
            auto self = weak.lock();
            if (!self)
                return;
            pln::PLNNetworkResponseHandler::handleCompletedResponse(response, request, error, [&](bool retry, std::optional<brs::Error> verdict) {
                if (retry)
                    self->restart(request, filePath, response);
                else
                    self->finishUpload(filePath, verdict);
            });
        });
    if (task) {
        if (auto description = relativeTaskPathForAbsolutePath(filePath))
            task->setTaskDescription(*description);
        task->resume();
        return;
    }
    d->operationQueue->async([weak, filePath] {
        if (auto self = weak.lock())
            self->finishUpload(filePath, brs::Error{kBRSNetworkErrorDomain, -2, "The package cannot be read", {{"path", filePath}}});
    });
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
    if (const auto description = relativeTaskPathForAbsolutePath(filePath)) {
        std::lock_guard lock(d->mutex);
        d->uploadsUnderWay.erase(*description);
    }
    if (auto delegate = delegate_.lock())
        delegate->networkClientDidFinishUpload(*this, filePath, error);
}

void BRSNetworkClient::startImmediateUploadRequest(const brs::URLRequest& request, const std::string& filePath)
{
    if (::access(filePath.c_str(), R_OK) != 0) {
        BRSSDKLog("%s: Error: file unreadable\n", __func__);
        return;
    }
    // A session of its own whose answers arrive on a queue of their own: the
    // caller may be the work queue, which this send blocks.
    auto session = brs::BRSURLSession::sessionWithConfiguration(brs::BRSURLSessionConfiguration::defaultSessionConfiguration(),
                                                                std::make_shared<pln::PLNChallengeResponder>(certPinner_));
    if (!session)
        return;
    brs::URLRequest copy = request;
    copy.bodyFilePath = filePath;
    struct Outcome {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::optional<brs::URLResponse> response;
    };
    auto outcome = std::make_shared<Outcome>();
    auto task = session->dataTaskWithRequest(copy, [outcome](auto, auto response, auto) {
        std::lock_guard lock(outcome->mutex);
        outcome->response = response;
        outcome->finished = true;
        outcome->done.notify_all();
    });
    if (!task)
        return;
    task->resume();
    std::unique_lock lock(outcome->mutex);
    outcome->done.wait_for(lock, std::chrono::duration<double>(copy.timeoutInterval + 5), [&] { return outcome->finished; });
    if (!outcome->finished)
        return;
    bool succeeded = false;
    pln::PLNNetworkResponseHandler::clientResponseType(outcome->response, [&](pln::PLNResponseType type, long) {
        succeeded = type == pln::PLNResponseType::Success;
    });
    lock.unlock();
    if (succeeded)
        if (auto delegate = delegate_.lock())
            delegate->networkClientDidFinishUpload(*this, filePath, std::nullopt);
}

#include "reporting/BRSURLSession/BRSURLSession_p.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

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

namespace {

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
    if (!TransferEngineCanSend(request.url))
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
    TransferEngineAdd(shared_from_this());
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

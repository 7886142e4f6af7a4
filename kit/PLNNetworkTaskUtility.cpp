#include "kit/PLNNetworkTaskUtility.h"

#include "kit/PLNConsole.h"
#include "kit/PLNNetworkResponseHandler.h"

namespace pln {

void PLNChallengeResponder::didReceiveChallenge(brs::BRSURLSession& session, const brs::AuthenticationChallenge& challenge,
                                                const brs::ChallengeCompletion& completion)
{
    if (PLNDebugEnabled() || !pinner_) {
        completion(brs::ChallengeDisposition::PerformDefaultHandling, std::nullopt);
        return;
    }
    pinner_->handleChallenge(challenge, session, completion);
}

PLNNetworkTaskUtility::PLNNetworkTaskUtility(std::shared_ptr<brs::SerialQueue> queue, PLNNetworkOptions options)
    : certPinner_(std::make_shared<PLNCertificatePinner>(std::move(options.pinnedCertificates))),
      session_(brs::BRSURLSession::sessionWithConfiguration(brs::BRSURLSessionConfiguration::defaultSessionConfiguration(),
                                                            std::make_shared<PLNChallengeResponder>(certPinner_), std::move(queue))),
      scheduler_(std::move(options.scheduler))
{
}

namespace {

// Waits the response's retry value on a queue of its own, then runs block.
void runAfterRetryValue(const std::shared_ptr<brs::Scheduler>& scheduler, const std::optional<brs::URLResponse>& response,
                        std::function<void()> block)
{
    auto queue = std::make_shared<brs::SerialQueue>("io.plinth.sdk.mac.retry-work-queue");
    scheduler->runAfter(PLNNetworkResponseHandler::retryValueForResponse(response), [queue, block = std::move(block)] { queue->async(block); });
}

// One attempt and the retries after it, for data and download tasks alike.
// Everything a later attempt needs is held by value: the utility may be gone by then.
template <typename Handler, typename MakeTask>
void attempt(std::shared_ptr<brs::Scheduler> scheduler, const brs::URLRequest& request, unsigned retriesLeft, Handler handler, MakeTask makeTask)
{
    auto task = makeTask(request, [scheduler, request, retriesLeft, handler, makeTask](auto result, auto response, auto error) {
        PLNNetworkResponseHandler::handleCompletedResponse(response, request, error, [&](bool retry, std::optional<brs::Error> verdict) {
            if (retry && retriesLeft > 0) {
                runAfterRetryValue(scheduler, response, [scheduler, request, retriesLeft, handler, makeTask] {
                    attempt(scheduler, request, retriesLeft - 1, handler, makeTask);
                });
                return;
            }
            if (handler)
                handler(result, response, verdict);
        });
    });
    if (!task) {
        // The caller hears of a request that could not even be started.
        if (handler)
            handler(std::nullopt, std::nullopt, PLNNetworkResponseHandler::errorForCode(PLNNetworkErrorCode::NoTask));
        return;
    }
    task->resume();
}

}  // namespace

void PLNNetworkTaskUtility::runAfterRetryValueFromResponse(const std::optional<brs::URLResponse>& response, std::function<void()> block) const
{
    runAfterRetryValue(scheduler_, response, std::move(block));
}

void PLNNetworkTaskUtility::beginDataTaskWithRequest(const brs::URLRequest& request, unsigned maxNumberOfRetries,
                                                     brs::DataCompletionHandler handler)
{
    auto session = session_;
    attempt(scheduler_, request, maxNumberOfRetries, std::move(handler),
            [session](const brs::URLRequest& each, brs::DataCompletionHandler done) { return session->dataTaskWithRequest(each, std::move(done)); });
}

void PLNNetworkTaskUtility::beginDownloadTaskWithRequest(const brs::URLRequest& request, unsigned maxNumberOfRetries,
                                                         brs::DownloadCompletionHandler handler)
{
    auto session = session_;
    attempt(scheduler_, request, maxNumberOfRetries, std::move(handler), [session](const brs::URLRequest& each, brs::DownloadCompletionHandler done) {
        return session->downloadTaskWithRequest(each, std::move(done));
    });
}

}  // namespace pln

#include "reporting/Plinth/PLNNetworkTaskUtility.h"

#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNNetworkResponseHandler.h"
#include "reporting/Plinth/PLNRetry_p.h"

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

PLNRetryingSession::PLNRetryingSession(std::shared_ptr<brs::BRSURLSessionConfiguration> configuration, std::shared_ptr<brs::SerialQueue> queue,
                                       std::optional<brs::CertificateList> pinnedCertificates, std::shared_ptr<brs::Scheduler> scheduler)
    : certPinner(pinnedCertificates ? std::make_shared<PLNCertificatePinner>(std::move(*pinnedCertificates)) : nullptr),
      session(brs::BRSURLSession::sessionWithConfiguration(std::move(configuration), std::make_shared<PLNChallengeResponder>(certPinner),
                                                           std::move(queue))),
      scheduler(std::move(scheduler))
{
}

PLNNetworkTaskUtility::PLNNetworkTaskUtility(std::shared_ptr<brs::SerialQueue> queue, PLNNetworkOptions options)
    : base_(brs::BRSURLSessionConfiguration::defaultSessionConfiguration(), std::move(queue), std::move(options.pinnedCertificates),
            std::move(options.scheduler))
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

// As many retries as the caller allows, each after the response's retry
// value; then the last answer as it is.
std::shared_ptr<const PLNRetryPolicy> constantRetries(std::shared_ptr<brs::Scheduler> scheduler, unsigned maxRetries)
{
    return std::make_shared<const PLNRetryPolicy>(PLNRetryPolicy{
        maxRetries, PLNRetriesSpent::HandOnLastVerdict,
        [scheduler = std::move(scheduler)](const std::optional<brs::URLResponse>& response, unsigned, std::function<void()> next) {
            runAfterRetryValue(scheduler, response, std::move(next));
        },
        false});
}

}  // namespace

void PLNNetworkTaskUtility::runAfterRetryValueFromResponse(const std::optional<brs::URLResponse>& response, std::function<void()> block) const
{
    runAfterRetryValue(base_.scheduler, response, std::move(block));
}

bool PLNNetworkTaskUtility::beginDataTaskWithRequest(const brs::URLRequest& request, unsigned maxNumberOfRetries,
                                                     brs::DataCompletionHandler handler)
{
    auto session = base_.session;
    return PLNAttemptWithRetries(constantRetries(base_.scheduler, maxNumberOfRetries), request, 0, std::move(handler),
                          [session](const brs::URLRequest& each, brs::DataCompletionHandler done) { return session->dataTaskWithRequest(each, std::move(done)); });
}

bool PLNNetworkTaskUtility::beginDownloadTaskWithRequest(const brs::URLRequest& request, unsigned maxNumberOfRetries,
                                                         brs::DownloadCompletionHandler handler)
{
    auto session = base_.session;
    return PLNAttemptWithRetries(constantRetries(base_.scheduler, maxNumberOfRetries), request, 0, std::move(handler),
                          [session](const brs::URLRequest& each, brs::DownloadCompletionHandler done) {
                              return session->downloadTaskWithRequest(each, std::move(done));
                          });
}

}  // namespace pln

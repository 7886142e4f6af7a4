#include "reporting/Plinth/PLNNetworkClient.h"

#include "reporting/Plinth/PLNNetworkResponseHandler.h"
#include "reporting/Plinth/PLNRetry_p.h"

#include <cstdlib>
#include <mutex>

namespace pln {

PLNNetworkClient::PLNNetworkClient(std::shared_ptr<brs::SerialQueue> queue, std::optional<brs::CertificateList> pinnedCertificates,
                                   std::shared_ptr<brs::Scheduler> scheduler)
    : PLNNetworkClient(brs::BRSURLSessionConfiguration::defaultSessionConfiguration(), std::move(queue), std::move(pinnedCertificates),
                       std::move(scheduler))
{
}

PLNNetworkClient::PLNNetworkClient(std::shared_ptr<brs::BRSURLSessionConfiguration> configuration, std::shared_ptr<brs::SerialQueue> queue,
                                   std::optional<brs::CertificateList> pinnedCertificates, std::shared_ptr<brs::Scheduler> scheduler)
    : base_(std::move(configuration), std::move(queue), std::move(pinnedCertificates), std::move(scheduler))
{
}

std::shared_ptr<PLNNetworkClient> PLNNetworkClient::create(std::shared_ptr<brs::BRSURLSessionConfiguration> configuration,
                                                           std::shared_ptr<brs::SerialQueue> queue,
                                                           std::optional<brs::CertificateList> pinnedCertificates,
                                                           std::shared_ptr<brs::Scheduler> scheduler)
{
    std::shared_ptr<PLNNetworkClient> client(
        new PLNNetworkClient(std::move(configuration), std::move(queue), std::move(pinnedCertificates), std::move(scheduler)));
    return client->session() ? client : nullptr;
}

void PLNNetworkClient::startDataTaskWithRequest(const brs::URLRequest& request, brs::DataCompletionHandler handler)
{
    startDataTaskForSession(base_.session, request, 0, std::move(handler), base_.scheduler);
}

void PLNNetworkClient::startDownloadTaskWithRequest(const brs::URLRequest& request, brs::DownloadCompletionHandler handler)
{
    startDownloadTaskForSession(base_.session, request, 0, std::move(handler), base_.scheduler);
}

double PLNNetworkClient::randomDoubleWithMin(double min, double max)
{
    // The process's 48-bit generator, never seeded: every launch draws the same sequence.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    return min + drand48() * (max - min);
}

double PLNNetworkClient::generateRandomJitter() { return randomDoubleWithMin(static_cast<double>(0.9f), static_cast<double>(1.1f)); }

double PLNNetworkClient::computeDelayForResponse(const std::optional<brs::URLResponse>& response, unsigned retryCount)
{
    const unsigned attempt = retryCount == 0 ? 1 : retryCount;
    return PLNNetworkResponseHandler::retryValueForResponse(response) * attempt * generateRandomJitter();
}

void PLNNetworkClient::runAfterRetryValueFromResponse(const std::optional<brs::URLResponse>& response, unsigned attempts,
                                                      const std::shared_ptr<brs::Scheduler>& scheduler, std::function<void()> block)
{
    scheduler->runAfter(computeDelayForResponse(response, attempts), std::move(block));
}

namespace {

// Up to ten retries, each after the response's retry value times the retry's
// number with jitter; then error -6.
std::shared_ptr<const PLNRetryPolicy> growingJitteredRetries(std::shared_ptr<brs::Scheduler> scheduler)
{
    return std::make_shared<const PLNRetryPolicy>(PLNRetryPolicy{
        kPLNNetworkClientRetryLimit, PLNRetriesSpent::ReportLimitReached,
        [scheduler = std::move(scheduler)](const std::optional<brs::URLResponse>& response, unsigned retry, std::function<void()> next) {
            PLNNetworkClient::runAfterRetryValueFromResponse(response, retry, scheduler, std::move(next));
        }});
}

}  // namespace

void PLNNetworkClient::startDataTaskForSession(const std::shared_ptr<brs::BRSURLSession>& session, const brs::URLRequest& request,
                                               unsigned retryCount, brs::DataCompletionHandler handler,
                                               std::shared_ptr<brs::Scheduler> scheduler)
{
    PLNAttemptWithRetries(growingJitteredRetries(std::move(scheduler)), request, retryCount, std::move(handler),
                          [session](const brs::URLRequest& each, brs::DataCompletionHandler done) { return session->dataTaskWithRequest(each, std::move(done)); });
}

void PLNNetworkClient::startDownloadTaskForSession(const std::shared_ptr<brs::BRSURLSession>& session, const brs::URLRequest& request,
                                                   unsigned retryCount, brs::DownloadCompletionHandler handler,
                                                   std::shared_ptr<brs::Scheduler> scheduler)
{
    PLNAttemptWithRetries(growingJitteredRetries(std::move(scheduler)), request, retryCount, std::move(handler),
                          [session](const brs::URLRequest& each, brs::DownloadCompletionHandler done) {
                              return session->downloadTaskWithRequest(each, std::move(done));
                          });
}

}  // namespace pln

#pragma once
// The one retry loop of the kit's retrying clients (PLNNetworkClient and
// PLNNetworkTaskUtility): each attempt's exchange is judged by the response
// handler, and a retryable one is tried again after the policy's wait until
// the policy's retries are spent. Private to those two clients.

#include "reporting/BRSURLSession/BRSURLSession.h"
#include "reporting/Plinth/PLNNetworkResponseHandler.h"

#include <functional>
#include <memory>
#include <optional>

namespace pln {

// What a client does when a retryable answer comes after its last retry.
enum class PLNRetriesSpent {
    HandOnLastVerdict,  // the caller gets that answer and its error (-1)
    ReportLimitReached, // the caller gets error -6, without data or response
};

struct PLNRetryPolicy {
    unsigned maxRetries = 0;
    PLNRetriesSpent whenSpent = PLNRetriesSpent::HandOnLastVerdict;
    // Runs the next attempt later: retry is its number, 1 for the first retry.
    std::function<void(const std::optional<brs::URLResponse>& response, unsigned retry, std::function<void()> next)> wait;
    // Whether a request that makes no task calls the handler with error -3.
    bool reportsNoTask = true;
};

// One attempt and the retries after it, for data and download tasks alike;
// retriesMade counts the retries before this attempt. Everything a later
// attempt needs is held by value: the client may be gone by then. Answers
// whether the attempt's task was made and started.
template <typename Handler, typename MakeTask>
bool PLNAttemptWithRetries(std::shared_ptr<const PLNRetryPolicy> policy, const brs::URLRequest& request, unsigned retriesMade, Handler handler,
                           MakeTask makeTask)
{
    auto task = makeTask(request, [policy, request, retriesMade, handler, makeTask](auto result, auto response, auto error) {
        PLNNetworkResponseHandler::handleCompletedResponse(response, request, error, [&](bool retry, std::optional<brs::Error> verdict) {
            if (retry && retriesMade < policy->maxRetries) {
                policy->wait(response, retriesMade + 1, [=] { PLNAttemptWithRetries(policy, request, retriesMade + 1, handler, makeTask); });
                return;
            }
            if (!handler)
                return;
            if (retry && policy->whenSpent == PLNRetriesSpent::ReportLimitReached)
                handler(std::nullopt, std::nullopt, PLNNetworkResponseHandler::errorForCode(PLNNetworkErrorCode::RetryLimitReached));
            else
                handler(result, response, verdict);
        });
    });
    if (!task) {
        if (handler && policy->reportsNoTask)
            handler(std::nullopt, std::nullopt, PLNNetworkResponseHandler::errorForCode(PLNNetworkErrorCode::NoTask));
        return false;
    }
    task->resume();
    return true;
}

}  // namespace pln

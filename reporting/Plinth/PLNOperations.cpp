#include "reporting/Plinth/PLNOperations.h"

#include "reporting/BRSURLSession/Dispatch.h"
#include "reporting/Plinth/PLNEnvironment.h"

#include <atomic>

namespace pln {

struct PLNAsynchronousOperation::Private {
    std::atomic<bool> executing{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> cancelled{false};
    std::shared_ptr<PLNAsynchronousOperation> keepAlive;
};

PLNAsynchronousOperation::PLNAsynchronousOperation() : d(std::make_unique<Private>()) {}

PLNAsynchronousOperation::~PLNAsynchronousOperation() = default;

void PLNAsynchronousOperation::start()
{
    if (d->executing.exchange(true) || d->finished)
        return;
    d->keepAlive = shared_from_this();
    brs::dispatchGlobal([self = d->keepAlive] { self->main(); });
}

void PLNAsynchronousOperation::finish()
{
    d->executing = false;
    d->finished = true;
    brs::dispatchGlobal([self = std::move(d->keepAlive)] {});  // released off the finishing call's stack
}

void PLNAsynchronousOperation::cancel() { d->cancelled = true; }
bool PLNAsynchronousOperation::isExecuting() const { return d->executing; }
bool PLNAsynchronousOperation::isFinished() const { return d->finished; }
bool PLNAsynchronousOperation::isCancelled() const { return d->cancelled; }

brs::URLRequest PLNNetworkOperation::mutableRequestWithDefaultHTTPHeadersForURL(const std::string& url, double timeout) const
{
    return PLNServiceRequest(url, PLNHostKitIdentity(), {.timeout = timeout, .APIKey = APIKey_});
}

brs::URLRequest PLNNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const
{
    return mutableRequestWithDefaultHTTPHeadersForURL(url, 10.0);
}

std::string PLNNetworkOperation::userAgentString() { return PLNHostKitIdentity().userAgent; }

std::string PLNNetworkOperation::localeIdentifier() { return PLNCurrentEnvironment()->localeIdentifier; }

}  // namespace pln

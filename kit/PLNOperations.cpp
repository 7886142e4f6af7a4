#include "kit/PLNOperations.h"

#include "BRSURLSession/Dispatch.h"
#include "kit/PLNEnvironment.h"

namespace pln {

void PLNAsynchronousOperation::start()
{
    if (executing_.exchange(true) || finished_)
        return;
    keepAlive_ = shared_from_this();
    brs::dispatchGlobal([self = keepAlive_] { self->main(); });
}

void PLNAsynchronousOperation::finish()
{
    executing_ = false;
    finished_ = true;
    brs::dispatchGlobal([self = std::move(keepAlive_)] {});  // released off the finishing call's stack
}

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

#include "kit/PLNOperations.h"

#include "BRSURLSession/Dispatch.h"
#include "kit/PLNEnvironment.h"

namespace pln {
namespace {
// The kit's developer token, sent with every request to the reporting service.
constexpr const char* kDeveloperToken = "5d0c3f9a8e7b61d24a0f93c5b7e18d6a2c4f0b91";
}  // namespace

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
    brs::URLRequest request;
    request.url = url;
    request.timeoutInterval = timeout;
    request.ignoresLocalCache = true;
    const std::string locale = localeIdentifier();
    request.setValueForHTTPHeaderField(userAgentString(), "User-Agent");
    request.setValueForHTTPHeaderField("utf-8", "Accept-Charset");
    request.setValueForHTTPHeaderField(locale, "Accept-Language");
    request.setValueForHTTPHeaderField(locale, "Content-Language");
    request.setValueForHTTPHeaderField(kDeveloperToken, "X-Brisca-Developer-Token");
    request.setValueForHTTPHeaderField(kPLNKitIdentifier, "X-Brisca-API-Client-Id");
    request.setValueForHTTPHeaderField(kPLNKitVersion, "X-Brisca-API-Client-Display-Version");
    request.setValueForHTTPHeaderField(kPLNKitBuild, "X-Brisca-API-Client-Build-Version");
    request.setValueForHTTPHeaderField(APIKey_, "X-Brisca-API-Key");
    return request;
}

brs::URLRequest PLNNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const
{
    return mutableRequestWithDefaultHTTPHeadersForURL(url, 10.0);
}

std::string PLNNetworkOperation::userAgentString()
{
    return std::string(kPLNKitIdentifier) + "/" + kPLNKitVersion + " (" + kPLNKitBuild + ")";
}

std::string PLNNetworkOperation::localeIdentifier() { return PLNCurrentEnvironment()->localeIdentifier; }

}  // namespace pln

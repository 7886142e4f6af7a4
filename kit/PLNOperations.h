#pragma once
// The settings download's and the onboarding's operations: an asynchronous
// base that runs its main on the shared pool, and a network base with the
// kit's default request headers.

#include "BRSURLSession/URLTypes.h"
#include "kit/PLNServiceRequest.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace pln {

class PLNAsynchronousOperation : public std::enable_shared_from_this<PLNAsynchronousOperation> {
public:
    virtual ~PLNAsynchronousOperation() = default;
    // Runs main on the shared pool; the operation keeps itself alive until it finishes.
    void start();
    void finish();
    void cancel() { cancelled_ = true; }
    bool isConcurrent() const { return true; }
    bool isExecuting() const { return executing_; }
    bool isFinished() const { return finished_; }
    bool isCancelled() const { return cancelled_; }

protected:
    virtual void main() = 0;

private:
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancelled_{false};
    std::shared_ptr<PLNAsynchronousOperation> keepAlive_;
};

class PLNNetworkOperation : public PLNAsynchronousOperation {
public:
    explicit PLNNetworkOperation(std::string APIKey) : APIKey_(std::move(APIKey)) {}

    brs::URLRequest mutableRequestWithDefaultHTTPHeadersForURL(const std::string& url, double timeout) const;
    virtual brs::URLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const;
    static std::string userAgentString();
    static std::string localeIdentifier();
    const std::string& APIKey() const { return APIKey_; }

private:
    std::string APIKey_;
};

}  // namespace pln

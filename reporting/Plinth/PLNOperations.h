#pragma once
// The settings download's and the onboarding's operations: an asynchronous
// base that runs its main on the shared pool, and a network base with the
// kit's default request headers.

#include "reporting/BRSURLSession/URLTypes.h"
#include "reporting/Plinth/PLNServiceRequest.h"

#include <memory>
#include <optional>
#include <string>

namespace pln {

class PLNAsynchronousOperation : public std::enable_shared_from_this<PLNAsynchronousOperation> {
public:
    PLNAsynchronousOperation();
    virtual ~PLNAsynchronousOperation();
    // Runs main on the shared pool; the operation keeps itself alive until it finishes.
    void start();
    void finish();
    void cancel();
    bool isConcurrent() const { return true; }
    bool isExecuting() const;
    bool isFinished() const;
    bool isCancelled() const;

protected:
    virtual void main() = 0;

private:
    // The state flags, read from any thread, and the reference that keeps a running operation alive.
    struct Private;
    std::unique_ptr<Private> d;
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

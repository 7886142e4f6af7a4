#pragma once
// The small retrying HTTP client of the settings download and the
// onboarding: pinned to the kit's roots, retrying as often as its caller
// allows after the server's "Retry-After" delay.

#include "reporting/BRSURLSession/BRSURLSession.h"
#include "reporting/Plinth/PLNCertificatePinner.h"

#include <functional>
#include <memory>
#include <optional>

namespace pln {

// What the kit's network clients trust and the clock their waits run on;
// the defaults are the pinned roots and the process's timer.
struct PLNNetworkOptions {
    brs::CertificateList pinnedCertificates = PLNPinnedRootCertificates();
    std::shared_ptr<brs::Scheduler> scheduler = brs::Scheduler::system();
};

// Answers a session's challenges: default handling in the kit's debug mode,
// else the pinner's answer when there is a pinner.
class PLNChallengeResponder : public brs::BRSURLSessionDelegate {
public:
    explicit PLNChallengeResponder(std::shared_ptr<PLNCertificatePinner> pinner) : pinner_(std::move(pinner)) {}
    void didReceiveChallenge(brs::BRSURLSession& session, const brs::AuthenticationChallenge& challenge,
                             const brs::ChallengeCompletion& completion) override;

private:
    std::shared_ptr<PLNCertificatePinner> pinner_;
};

// What both retrying clients are made of: a session of the URL-session
// layer whose challenges a PLNChallengeResponder answers (pinning when there
// is a pinner), and the clock their retries wait on.
struct PLNRetryingSession {
    PLNRetryingSession(std::shared_ptr<brs::BRSURLSessionConfiguration> configuration, std::shared_ptr<brs::SerialQueue> queue,
                       std::optional<brs::CertificateList> pinnedCertificates, std::shared_ptr<brs::Scheduler> scheduler);

    std::shared_ptr<PLNCertificatePinner> certPinner;
    std::shared_ptr<brs::BRSURLSession> session;  // null when none could be made
    std::shared_ptr<brs::Scheduler> scheduler;
};

class PLNNetworkTaskUtility {
public:
    explicit PLNNetworkTaskUtility(std::shared_ptr<brs::SerialQueue> queue = nullptr, PLNNetworkOptions options = {});

    // The handler is called once, with the last attempt's data or file, its
    // response and the verdict's error. A request that makes no task makes
    // no call-back at all: the answer is false then.
    bool beginDataTaskWithRequest(const brs::URLRequest& request, unsigned maxNumberOfRetries, brs::DataCompletionHandler handler);
    bool beginDownloadTaskWithRequest(const brs::URLRequest& request, unsigned maxNumberOfRetries, brs::DownloadCompletionHandler handler);
    void runAfterRetryValueFromResponse(const std::optional<brs::URLResponse>& response, std::function<void()> block) const;

    const std::shared_ptr<PLNCertificatePinner>& certPinner() const { return base_.certPinner; }
    const std::shared_ptr<brs::BRSURLSession>& session() const { return base_.session; }

private:
    PLNRetryingSession base_;
};

}  // namespace pln

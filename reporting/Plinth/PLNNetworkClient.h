#pragma once
// The kit's HTTP client for requests whose answer the caller waits for: a
// retryable request is repeated up to ten times, after the server's retry
// value times the retry number, with jitter.

#include "reporting/Plinth/PLNNetworkTaskUtility.h"

#include <optional>

namespace pln {

inline constexpr unsigned kPLNNetworkClientRetryLimit = 10;

class PLNNetworkClient {
public:
    // Without pinned certificates the client never refuses a server itself.
    explicit PLNNetworkClient(std::shared_ptr<brs::SerialQueue> queue = nullptr,
                              std::optional<brs::CertificateList> pinnedCertificates = std::nullopt,
                              std::shared_ptr<brs::Scheduler> scheduler = brs::Scheduler::system());
    // Null when no session could be made.
    static std::shared_ptr<PLNNetworkClient> create(std::shared_ptr<brs::BRSURLSessionConfiguration> configuration,
                                                    std::shared_ptr<brs::SerialQueue> queue,
                                                    std::optional<brs::CertificateList> pinnedCertificates,
                                                    std::shared_ptr<brs::Scheduler> scheduler = brs::Scheduler::system());

    void startDataTaskWithRequest(const brs::URLRequest& request, brs::DataCompletionHandler handler);
    void startDownloadTaskWithRequest(const brs::URLRequest& request, brs::DownloadCompletionHandler handler);

    // The retry machinery, for a caller with a session of its own.
    static void startDataTaskForSession(const std::shared_ptr<brs::BRSURLSession>& session, const brs::URLRequest& request,
                                        unsigned retryCount, brs::DataCompletionHandler handler,
                                        std::shared_ptr<brs::Scheduler> scheduler = brs::Scheduler::system());
    static void startDownloadTaskForSession(const std::shared_ptr<brs::BRSURLSession>& session, const brs::URLRequest& request,
                                            unsigned retryCount, brs::DownloadCompletionHandler handler,
                                            std::shared_ptr<brs::Scheduler> scheduler = brs::Scheduler::system());
    static double computeDelayForResponse(const std::optional<brs::URLResponse>& response, unsigned retryCount);
    static double generateRandomJitter();
    static double randomDoubleWithMin(double min, double max);
    static void runAfterRetryValueFromResponse(const std::optional<brs::URLResponse>& response, unsigned attempts,
                                               const std::shared_ptr<brs::Scheduler>& scheduler, std::function<void()> block);

    const std::shared_ptr<PLNCertificatePinner>& certPinner() const { return base_.certPinner; }
    const std::shared_ptr<brs::BRSURLSession>& session() const { return base_.session; }

private:
    PLNNetworkClient(std::shared_ptr<brs::BRSURLSessionConfiguration> configuration, std::shared_ptr<brs::SerialQueue> queue,
                     std::optional<brs::CertificateList> pinnedCertificates, std::shared_ptr<brs::Scheduler> scheduler);

    PLNRetryingSession base_;
};

}  // namespace pln

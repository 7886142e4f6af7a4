#pragma once
// Sends the log files of one packaged session fragment to the usage-event
// endpoint in one multipart POST; retries and the judgement of the answer
// belong to the kit's network client.

#include "reporting/Plinth/PLNNetworkClient.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BRSAnalyticsNetworkingClient {
public:
    explicit BRSAnalyticsNetworkingClient(pln::PLNNetworkOptions options = {});

    // The completion runs once, with nothing on success.
    void transmitLogFiles(const std::vector<std::string>& files, const std::string& url, const std::optional<std::string>& APIKey,
                          std::function<void(std::optional<brs::Error>)> completion);
    static brs::URLRequest requestForLogFiles(const std::vector<std::string>& files, const std::string& url,
                                              const std::optional<std::string>& APIKey);
    const std::shared_ptr<pln::PLNNetworkClient>& networkClient() const { return networkClient_; }

private:
    std::shared_ptr<pln::PLNNetworkClient> networkClient_;
};

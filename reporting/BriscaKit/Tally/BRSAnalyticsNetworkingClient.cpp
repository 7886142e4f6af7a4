#include "reporting/BriscaKit/Tally/BRSAnalyticsNetworkingClient.h"

#include "reporting/Plinth/PLNMultipartMimeStreamEncoder.h"
#include "reporting/Plinth/PLNServiceRequest.h"

#include <filesystem>

BRSAnalyticsNetworkingClient::BRSAnalyticsNetworkingClient(pln::PLNNetworkOptions options)
    // The usage-event endpoint is not pinned: only the system's trust applies.
    : networkClient_(std::make_shared<pln::PLNNetworkClient>(nullptr, std::nullopt, options.scheduler))
{
}

brs::URLRequest BRSAnalyticsNetworkingClient::requestForLogFiles(const std::vector<std::string>& files, const std::string& url,
                                                                 const std::optional<std::string>& APIKey)
{
    auto request = pln::PLNServiceRequest(url, pln::PLNCrashKitIdentity(),
                                          {.method = "POST", .timeout = 20, .headerSet = pln::PLNHeaderSet::UsageEvents, .APIKey = APIKey});
    pln::PLNMultipartMimeStreamEncoder::populateRequest(request, [&](pln::PLNMultipartMimeStreamEncoder& encoder) {
        for (const auto& file : files) {
            const std::string name = std::filesystem::path(file).filename().string();
            encoder.addFile(file, name, "application/vnd.brisca.ios.events", name);
        }
    });
    return request;
}

void BRSAnalyticsNetworkingClient::transmitLogFiles(const std::vector<std::string>& files, const std::string& url,
                                                    const std::optional<std::string>& APIKey,
                                                    std::function<void(std::optional<brs::Error>)> completion)
{
    networkClient_->startDataTaskWithRequest(requestForLogFiles(files, url, APIKey),
                                             [completion = std::move(completion)](auto, auto, auto error) { completion(error); });
}

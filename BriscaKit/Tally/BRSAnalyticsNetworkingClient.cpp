#include "BriscaKit/Tally/BRSAnalyticsNetworkingClient.h"

#include "BriscaKit/BRSKitConstants.h"
#include "kit/PLNMultipartMimeStreamEncoder.h"

#include <filesystem>

BRSAnalyticsNetworkingClient::BRSAnalyticsNetworkingClient(pln::PLNNetworkOptions options)
    // The usage-event endpoint is not pinned: only the system's trust applies.
    : networkClient_(std::make_shared<pln::PLNNetworkClient>(nullptr, std::nullopt, options.scheduler))
{
}

brs::URLRequest BRSAnalyticsNetworkingClient::requestForLogFiles(const std::vector<std::string>& files, const std::string& url,
                                                                 const std::optional<std::string>& APIKey)
{
    brs::URLRequest request;
    request.url = url;
    request.ignoresLocalCache = true;
    request.timeoutInterval = 20;
    request.httpMethod = "POST";
    request.setValueForHTTPHeaderField(kBRSUserAgent, "User-Agent");
    request.setValueForHTTPHeaderField(kBRSDeveloperToken, "X-BRISCA-DEVELOPER-TOKEN");
    request.setValueForHTTPHeaderField(kBRSClientType, "X-BRISCA-API-CLIENT-TYPE");
    request.setValueForHTTPHeaderField(kBRSKitBuild, "X-BRISCA-API-CLIENT-VERSION");
    request.setValueForHTTPHeaderField(kBRSKitVersion, "X-BRISCA-API-CLIENT-DISPLAY-VERSION");
    request.setValueForHTTPHeaderField(kBRSKitBuild, "X-BRISCA-API-CLIENT-BUILD-VERSION");
    if (APIKey)
        request.setValueForHTTPHeaderField(*APIKey, "X-BRISCA-API-KEY");
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

#pragma once
// Judges every finished HTTP exchange of the kit: success, failure for good,
// or worth trying again; failures become "PLNNetworkError" errors.

#include "reporting/BRSURLSession/URLTypes.h"

#include <functional>
#include <optional>
#include <string>

namespace pln {

inline constexpr const char* kPLNNetworkErrorDomain = "PLNNetworkError";

enum class PLNNetworkErrorCode : long {
    Retryable = -1,
    NoTask = -3,
    UnexpectedResponse = -4,
    ClientError = -5,
    RetryLimitReached = -6,
};

enum class PLNResponseType { Success = 0, Unexpected = 1, ClientError = 2, ServerError = 3, Throttled = 4 };

// The longest wait a "Retry-After" can ask for; larger or infinite values are cut to it.
inline constexpr double kPLNLongestRetryValue = 86400.0;
inline constexpr double kPLNDefaultRetryValue = 300.0;

class PLNNetworkResponseHandler {
public:
    using Response = std::optional<brs::URLResponse>;

    static std::optional<std::string> headerForResponse(const Response& response, const std::string& key);
    static double retryValueForResponse(const Response& response);
    static std::optional<std::string> requestIdForResponse(const Response& response);
    static bool contentTypeForResponse(const Response& response, const brs::URLRequest& request);
    static brs::Error errorForCode(PLNNetworkErrorCode code, nlohmann::json userInfo = nullptr);
    static std::optional<brs::Error> errorForResponse(const Response& response, PLNResponseType type, long status);
    static void clientResponseType(const Response& response, const std::function<void(PLNResponseType, long status)>& handler);
    // Calls block once, at once, with whether to retry and the error (none on success).
    static void handleCompletedResponse(const Response& response, const brs::URLRequest& originalRequest,
                                        const std::optional<brs::Error>& error,
                                        const std::function<void(bool retry, std::optional<brs::Error>)>& block);
};

}  // namespace pln

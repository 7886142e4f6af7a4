#include "reporting/Plinth/PLNNetworkResponseHandler.h"

#include <cmath>
#include <cstdlib>

namespace pln {
namespace {

PLNResponseType typeOfStatus(long status)
{
    switch (status) {
    case 200: case 201: case 202: case 204: case 304:
        return PLNResponseType::Success;
    case 400: case 401: case 403: case 404: case 406: case 410: case 411: case 413: case 419: case 422: case 431:
        return PLNResponseType::ClientError;
    case 420: case 429:
        return PLNResponseType::Throttled;
    case 408:
        return PLNResponseType::ServerError;
    default:
        return status >= 500 && status <= 599 ? PLNResponseType::ServerError : PLNResponseType::Unexpected;
    }
}

}  // namespace

std::optional<std::string> PLNNetworkResponseHandler::headerForResponse(const Response& response, const std::string& key)
{
    if (!response || !response->statusCode)
        return std::nullopt;
    return response->headers.value(key);
}

double PLNNetworkResponseHandler::retryValueForResponse(const Response& response)
{
    const auto header = headerForResponse(response, "Retry-After");
    if (!header)
        return kPLNDefaultRetryValue;
    // Read as a leading decimal number: text that is no number reads as 0.
    const double value = std::strtod(header->c_str(), nullptr);
    if (std::isnan(value))
        return 0;
    if (value < 0)
        return kPLNDefaultRetryValue;
    return std::min(value, kPLNLongestRetryValue);
}

std::optional<std::string> PLNNetworkResponseHandler::requestIdForResponse(const Response& response)
{
    return headerForResponse(response, "X-Request-Id");
}

bool PLNNetworkResponseHandler::contentTypeForResponse(const Response& response, const brs::URLRequest& request)
{
    const auto accept = request.valueForHTTPHeaderField("Accept");
    if (!accept)
        return true;
    const auto contentType = headerForResponse(response, "Content-Type");
    if (!contentType)
        return false;
    static const std::string separator = "; charset=";
    const auto split = contentType->find(separator);
    if (!brs::equalsIgnoringCase(contentType->substr(0, split), *accept))
        return false;
    const auto charset = request.valueForHTTPHeaderField("Accept-Charset");
    if (charset && split != std::string::npos) {
        std::string second = contentType->substr(split + separator.size());
        second = second.substr(0, second.find(separator));  // only the piece between the first two separators
        return brs::equalsIgnoringCase(second, *charset);
    }
    return true;
}

brs::Error PLNNetworkResponseHandler::errorForCode(PLNNetworkErrorCode code, nlohmann::json userInfo)
{
    return brs::Error{kPLNNetworkErrorDomain, static_cast<long>(code), "", std::move(userInfo)};
}

std::optional<brs::Error> PLNNetworkResponseHandler::errorForResponse(const Response& response, PLNResponseType type, long status)
{
    PLNNetworkErrorCode code;
    switch (type) {
    case PLNResponseType::Success: return std::nullopt;
    case PLNResponseType::Unexpected: code = PLNNetworkErrorCode::UnexpectedResponse; break;
    case PLNResponseType::ClientError: code = PLNNetworkErrorCode::ClientError; break;
    default: code = PLNNetworkErrorCode::Retryable; break;
    }
    return errorForCode(code, {{"type", static_cast<int>(type)},
                               {"status_code", status},
                               {"request_id", requestIdForResponse(response).value_or("")},
                               {"content_type", headerForResponse(response, "Content-Type").value_or("")}});
}

void PLNNetworkResponseHandler::clientResponseType(const Response& response, const std::function<void(PLNResponseType, long)>& handler)
{
    if (!response || !response->statusCode) {
        handler(PLNResponseType::Unexpected, 0);
        return;
    }
    handler(typeOfStatus(*response->statusCode), *response->statusCode);
}

void PLNNetworkResponseHandler::handleCompletedResponse(const Response& response, const brs::URLRequest& originalRequest,
                                                        const std::optional<brs::Error>& error,
                                                        const std::function<void(bool, std::optional<brs::Error>)>& block)
{
    if (error) {
        block(false, error);
        return;
    }
    clientResponseType(response, [&](PLNResponseType type, long status) {
        switch (type) {
        case PLNResponseType::Success:
            if (contentTypeForResponse(response, originalRequest))
                block(false, std::nullopt);
            else
                block(false, errorForResponse(response, PLNResponseType::Unexpected, status));
            return;
        case PLNResponseType::Unexpected:
        case PLNResponseType::ClientError:
            block(false, errorForResponse(response, type, status));
            return;
        case PLNResponseType::ServerError:
        case PLNResponseType::Throttled:
            block(true, errorForResponse(response, type, status));
            return;
        }
    });
}

}  // namespace pln

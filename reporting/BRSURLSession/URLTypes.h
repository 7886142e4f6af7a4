#pragma once
// Requests, responses and errors of the kit's HTTP layer.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brs {

// A failure as a value. userInfo is a JSON object of extra facts (a network
// error's status code and request id, for example); null when there are none.
struct Error {
    std::string domain;
    long code = 0;
    std::string message;
    nlohmann::json userInfo;

    std::string description() const;
    bool operator==(const Error&) const = default;
};

// Header fields in the order they were set; names compare without regard to case.
class HeaderFields {
public:
    std::optional<std::string> value(const std::string& name) const;
    // Replaces every field of that name with one field.
    void set(const std::string& name, const std::string& value);
    // Adds to a field of that name, joining the values with ",", or adds the field.
    void add(const std::string& name, const std::string& value);
    void remove(const std::string& name);
    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }
    bool empty() const { return fields_.empty(); }

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

struct URLRequest {
    std::string url;
    std::string httpMethod = "GET";
    HeaderFields headers;
    std::string body;
    // When set, the body is streamed from this file instead.
    std::optional<std::string> bodyFilePath;
    double timeoutInterval = 60.0;
    // The kit's requests never answer from a local cache; the flag records that they asked.
    bool ignoresLocalCache = false;

    std::optional<std::string> valueForHTTPHeaderField(const std::string& name) const { return headers.value(name); }
    void setValueForHTTPHeaderField(const std::string& value, const std::string& name) { headers.set(name, value); }
};

// What the server answered. statusCode is absent for a response that is not an
// HTTP response; then it has no header fields either.
struct URLResponse {
    std::string url;
    std::optional<long> statusCode;
    HeaderFields headers;
};

bool equalsIgnoringCase(const std::string& a, const std::string& b);

// The transport errors of the session layer, in this domain with one of
// these codes (the message keeps the transfer library's own words).
inline constexpr const char* kBRSURLSessionTransportErrorDomain = "BRSURLSessionTransportError";
enum class URLErrorCode : long {
    Unknown = -1,
    Cancelled = -999,  // a server-trust challenge was cancelled
    TimedOut = -1001,  // no byte came or went for the request's time-out
    CannotFindHost = -1003,
    CannotConnectToHost = -1004,
    NetworkConnectionLost = -1005,  // the connection ended before the whole answer
    TooManyRedirects = -1007,
    BadServerResponse = -1011,
    RedirectRefused = -1022,  // from https to plain http, or to a scheme that is not http
    CannotReadBodyFile = -1102,
    SecureConnectionFailed = -1200,
    ServerCertificateUntrusted = -1202,
};

}  // namespace brs

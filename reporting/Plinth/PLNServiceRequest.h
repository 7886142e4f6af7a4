#pragma once
// The requests the kit sends to its reporting service, with the headers that
// announce who is asking. Every request names its client, versions and
// developer token; the usage-event upload does so in its own header set.

#include "reporting/BRSURLSession/URLTypes.h"

#include <optional>
#include <string>

namespace pln {

inline constexpr const char* kPLNKitIdentifier = "io.plinth.sdk.mac";
inline constexpr const char* kPLNKitVersion = "1.2.4";
inline constexpr const char* kPLNKitBuild = "15";

// One part of the kit as the service knows it.
struct PLNClientIdentity {
    std::string identifier;
    std::string displayVersion;
    std::string buildVersion;
    std::string userAgent;
    std::string developerToken;
    std::string clientType;  // sent by the usage-event upload only
};

// The host kit (settings, onboarding) and the crash kit (reports, beta
// check, usage events) announce themselves differently.
const PLNClientIdentity& PLNHostKitIdentity();
const PLNClientIdentity& PLNCrashKitIdentity();

enum class PLNHeaderSet {
    // "User-Agent", the charset and languages, the developer token, the
    // client's id and versions, then the API key.
    Service,
    // The usage-event upload: upper-case names, the client type and the
    // versions, no charset, languages or client id.
    UsageEvents,
};

struct PLNRequestOptions {
    std::string method = "GET";
    double timeout = 10;
    PLNHeaderSet headerSet = PLNHeaderSet::Service;
    // Asks for "application/json" right after the "User-Agent".
    bool acceptsJSON = false;
    // Sent only when there is one.
    std::optional<std::string> APIKey;
};

// A request that ignores any local cache, with the identity's headers in
// the order the header set gives.
brs::URLRequest PLNServiceRequest(const std::string& url, const PLNClientIdentity& identity, const PLNRequestOptions& options);

}  // namespace pln

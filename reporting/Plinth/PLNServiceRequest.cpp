#include "reporting/Plinth/PLNServiceRequest.h"

#include "reporting/Plinth/BRSKitConstants.h"
#include "reporting/Plinth/PLNEnvironment.h"

#include <utility>
#include <vector>

namespace pln {
namespace {
// The host kit's developer token, sent with its settings and onboarding requests.
constexpr const char* kPLNDeveloperToken = "5d0c3f9a8e7b61d24a0f93c5b7e18d6a2c4f0b91";
}  // namespace

// Both are made once and never destroyed: the kit's detached workers may
// still build a request while the process exits.
const PLNClientIdentity& PLNHostKitIdentity()
{
    static const auto* identity = new PLNClientIdentity{kPLNKitIdentifier,
                                                        kPLNKitVersion,
                                                        kPLNKitBuild,
                                                        std::string(kPLNKitIdentifier) + "/" + kPLNKitVersion + " (" + kPLNKitBuild + ")",
                                                        kPLNDeveloperToken,
                                                        {}};
    return *identity;
}

const PLNClientIdentity& PLNCrashKitIdentity()
{
    static const auto* identity =
        new PLNClientIdentity{kBRSKitBundleIdentifier, kBRSKitVersion, kBRSKitBuild, kBRSUserAgent, kBRSDeveloperToken, kBRSClientType};
    return *identity;
}

namespace {

using Fields = std::vector<std::pair<const char*, std::string>>;

Fields serviceFields(const PLNClientIdentity& identity, const std::string& locale)
{
    return {{"Accept-Charset", "utf-8"},
            {"Accept-Language", locale},
            {"Content-Language", locale},
            {"X-Brisca-Developer-Token", identity.developerToken},
            {"X-Brisca-API-Client-Id", identity.identifier},
            {"X-Brisca-API-Client-Display-Version", identity.displayVersion},
            {"X-Brisca-API-Client-Build-Version", identity.buildVersion}};
}

// The service reads the build number as the client's version, too.
Fields usageEventFields(const PLNClientIdentity& identity)
{
    return {{"X-BRISCA-DEVELOPER-TOKEN", identity.developerToken},
            {"X-BRISCA-API-CLIENT-TYPE", identity.clientType},
            {"X-BRISCA-API-CLIENT-VERSION", identity.buildVersion},
            {"X-BRISCA-API-CLIENT-DISPLAY-VERSION", identity.displayVersion},
            {"X-BRISCA-API-CLIENT-BUILD-VERSION", identity.buildVersion}};
}

}  // namespace

brs::URLRequest PLNServiceRequest(const std::string& url, const PLNClientIdentity& identity, const PLNRequestOptions& options)
{
    brs::URLRequest request;
    request.url = url;
    request.httpMethod = options.method;
    request.timeoutInterval = options.timeout;
    request.ignoresLocalCache = true;
    const bool usageEvents = options.headerSet == PLNHeaderSet::UsageEvents;
    request.setValueForHTTPHeaderField(identity.userAgent, "User-Agent");
    if (options.acceptsJSON)
        request.setValueForHTTPHeaderField("application/json", "Accept");
    const Fields fields = usageEvents ? usageEventFields(identity) : serviceFields(identity, PLNCurrentEnvironment()->localeIdentifier);
    for (const auto& [name, value] : fields)
        request.setValueForHTTPHeaderField(value, name);
    if (options.APIKey)
        request.setValueForHTTPHeaderField(*options.APIKey, usageEvents ? "X-BRISCA-API-KEY" : "X-Brisca-API-Key");
    return request;
}

}  // namespace pln

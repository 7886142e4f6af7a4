#include "kit/PLNServiceRequest.h"

#include "kit/BRSKitConstants.h"
#include "kit/PLNEnvironment.h"

namespace pln {
namespace {
// The host kit's developer token, sent with its settings and onboarding requests.
constexpr const char* kPLNDeveloperToken = "5d0c3f9a8e7b61d24a0f93c5b7e18d6a2c4f0b91";
}  // namespace

const PLNClientIdentity& PLNHostKitIdentity()
{
    static const PLNClientIdentity identity{kPLNKitIdentifier,
                                            kPLNKitVersion,
                                            kPLNKitBuild,
                                            std::string(kPLNKitIdentifier) + "/" + kPLNKitVersion + " (" + kPLNKitBuild + ")",
                                            kPLNDeveloperToken,
                                            {}};
    return identity;
}

const PLNClientIdentity& PLNCrashKitIdentity()
{
    static const PLNClientIdentity identity{kBRSKitBundleIdentifier, kBRSKitVersion, kBRSKitBuild, kBRSUserAgent, kBRSDeveloperToken, kBRSClientType};
    return identity;
}

namespace {

void addServiceHeaders(brs::URLRequest& request, const PLNClientIdentity& identity, const PLNRequestOptions& options)
{
    const std::string locale = PLNCurrentEnvironment()->localeIdentifier;
    request.setValueForHTTPHeaderField(identity.userAgent, "User-Agent");
    if (options.acceptsJSON)
        request.setValueForHTTPHeaderField("application/json", "Accept");
    request.setValueForHTTPHeaderField("utf-8", "Accept-Charset");
    request.setValueForHTTPHeaderField(locale, "Accept-Language");
    request.setValueForHTTPHeaderField(locale, "Content-Language");
    request.setValueForHTTPHeaderField(identity.developerToken, "X-Brisca-Developer-Token");
    request.setValueForHTTPHeaderField(identity.identifier, "X-Brisca-API-Client-Id");
    request.setValueForHTTPHeaderField(identity.displayVersion, "X-Brisca-API-Client-Display-Version");
    request.setValueForHTTPHeaderField(identity.buildVersion, "X-Brisca-API-Client-Build-Version");
    if (options.APIKey)
        request.setValueForHTTPHeaderField(*options.APIKey, "X-Brisca-API-Key");
}

void addUsageEventHeaders(brs::URLRequest& request, const PLNClientIdentity& identity, const PLNRequestOptions& options)
{
    request.setValueForHTTPHeaderField(identity.userAgent, "User-Agent");
    if (options.acceptsJSON)
        request.setValueForHTTPHeaderField("application/json", "Accept");
    request.setValueForHTTPHeaderField(identity.developerToken, "X-BRISCA-DEVELOPER-TOKEN");
    request.setValueForHTTPHeaderField(identity.clientType, "X-BRISCA-API-CLIENT-TYPE");
    // The service reads the build number as the client's version.
    request.setValueForHTTPHeaderField(identity.buildVersion, "X-BRISCA-API-CLIENT-VERSION");
    request.setValueForHTTPHeaderField(identity.displayVersion, "X-BRISCA-API-CLIENT-DISPLAY-VERSION");
    request.setValueForHTTPHeaderField(identity.buildVersion, "X-BRISCA-API-CLIENT-BUILD-VERSION");
    if (options.APIKey)
        request.setValueForHTTPHeaderField(*options.APIKey, "X-BRISCA-API-KEY");
}

}  // namespace

brs::URLRequest PLNServiceRequest(const std::string& url, const PLNClientIdentity& identity, const PLNRequestOptions& options)
{
    brs::URLRequest request;
    request.url = url;
    request.httpMethod = options.method;
    request.timeoutInterval = options.timeout;
    request.ignoresLocalCache = true;
    if (options.headerSet == PLNHeaderSet::UsageEvents)
        addUsageEventHeaders(request, identity, options);
    else
        addServiceHeaders(request, identity, options);
    return request;
}

}  // namespace pln

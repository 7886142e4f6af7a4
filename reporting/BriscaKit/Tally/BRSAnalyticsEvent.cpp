#include "reporting/BriscaKit/Tally/BRSAnalyticsEvent.h"

#include "reporting/Plinth/BRSApplicationNotifications.h"
#include "reporting/Plinth/BRSKitConstants.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNIdentity.h"
#include "reporting/Plinth/PLNSettings.h"
#include "reporting/Plinth/Plinth.h"

#include <chrono>
#include <thread>

BRSAnalyticsEvent::BRSAnalyticsEvent(BRSEventPriority priority, uint64_t timestamp, std::string key, std::string payload,
                                     std::string eventIdentifier, nlohmann::json values)
    : BRSEventLogEvent(uint64_t(priority), timestamp, std::move(key), std::move(payload)), eventIdentifier_(std::move(eventIdentifier)),
      stringPayloadValueDict_(std::move(values))
{
}

std::shared_ptr<BRSAnalyticsEvent> BRSAnalyticsEvent::make(BRSEventPriority priority, uint64_t timestamp, const std::string& key,
                                                           const std::string& eventIdentifier, const nlohmann::json& payloadValues)
{
    nlohmann::json payload = payloadValues.is_object() ? payloadValues : nlohmann::json::object();
    payload["eventId"] = eventIdentifier;
    std::string encoded;
    try {
        encoded = payload.dump();
    } catch (const nlohmann::json::exception& error) {
        pln::PLNDebugLog(std::string("[Brisca:Tally] BRSAnalyticsEvent unable to JSON-encode payloadValueDictionary {error: ") + error.what() + "}");
        return nullptr;
    }
    return std::make_shared<BRSAnalyticsEvent>(priority, timestamp, key, std::move(encoded), eventIdentifier, payloadValues);
}

std::shared_ptr<BRSAnalyticsEvent> BRSAnalyticsEvent::applicationInstalled(uint64_t timestamp, const std::string& eventIdentifier)
{
    return make(BRSEventPriority::High, timestamp, "app_installed", eventIdentifier);
}

std::shared_ptr<BRSAnalyticsEvent> BRSAnalyticsEvent::applicationLaunched(uint64_t timestamp, const std::string& eventIdentifier)
{
    return make(BRSEventPriority::Medium, timestamp, "app_launched", eventIdentifier);
}

std::shared_ptr<BRSAnalyticsEvent> BRSAnalyticsEvent::applicationCrashed(uint64_t timestamp, const std::string& eventIdentifier)
{
    return make(BRSEventPriority::Medium, timestamp, "app_crashed", eventIdentifier);
}

std::shared_ptr<BRSAnalyticsEvent> BRSAnalyticsEvent::applicationNotification(const std::string& name, uint64_t timestamp,
                                                                              const std::string& eventIdentifier, bool highPriorityOnBackground)
{
    if (name == kBRSApplicationWillTerminateNotification)
        return make(BRSEventPriority::Medium, timestamp, "app_terminated", eventIdentifier);
    if (name == kBRSApplicationWillResignActiveNotification)
        return make(highPriorityOnBackground ? BRSEventPriority::High : BRSEventPriority::Medium, timestamp, "app_became_inactive",
                    eventIdentifier);
    if (name == kBRSApplicationDidBecomeActiveNotification)
        return make(BRSEventPriority::High, timestamp, "app_became_active", eventIdentifier);
    return nullptr;
}

std::shared_ptr<BRSAnalyticsEvent> BRSAnalyticsEvent::customEvent(const std::optional<std::string>& name, const nlohmann::json& attributes,
                                                                  uint64_t timestamp, const std::string& eventIdentifier)
{
    if (!name) {
        pln::PLNLog("[Brisca] Cannot init CustomEvent with a nil name");
        return nullptr;
    }
    const nlohmann::json values{{"custom_type", *name}, {"custom_attributes", attributes.is_object() ? attributes : nlohmann::json::object()}};
    return make(BRSEventPriority::Low, timestamp, "custom", eventIdentifier, values);
}

std::string BRSAnalyticsEvent::description() const
{
    return "BRSAnalyticsEvent {id=" + eventIdentifier_ + ", key=" + key() + ", stringPayloadValueDict=" + stringPayloadValueDict_.dump() + "}";
}

std::optional<std::string> BRSAnalyticsMetadataController::unwrapBetaToken(const std::optional<std::string>& token)
{
    if (!token)
        return std::nullopt;
    const auto colon = token->find(':');
    if (colon == std::string::npos || token->find(':', colon + 1) != std::string::npos || token->substr(0, colon) != "2")
        return std::nullopt;
    return token->substr(colon + 1);
}

nlohmann::ordered_json BRSAnalyticsMetadataController::metadataWithTimeStamp(pln::Plinth& host, uint64_t timestamp,
                                                                             const std::optional<std::string>& betaToken)
{
    nlohmann::ordered_json metadata = nlohmann::ordered_json::object();
    auto set = [&](const char* key, const std::optional<std::string>& value) {
        if (value)
            metadata[key] = *value;
    };
    const auto version = pln::PLNOperatingSystemVersion();
    const auto model = pln::PLNHostModel();
    metadata["generator"] = kBRSUserAgent;
    metadata["links_ad_support"] = false;
    metadata["advertising_tracking_enabled"] = false;
    set("api_key", host.APIKey());
    set("session_id", host.executionIdentifier());
    metadata["started_at"] = timestamp / 1000;
    set("install_id", host.installID());
    set("beta_tester_token", unwrapBetaToken(betaToken));
    set("model", model);
    set("machine", model);
    set("locale", pln::PLNCurrentEnvironment()->localeIdentifier);
    set("os_build", pln::PLNHostOSBuildVersion());
    set("os_version", std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.patch));
    metadata["platform"] = pln::PLNSettings::appPlatform();
    metadata["platform_code"] = 0;
    metadata["cores"] = std::thread::hardware_concurrency();
    metadata["jailbroken"] = false;
    set("bundle_id", pln::PLNSanitizedBundleIdentifier());
    set("bundle_version", pln::PLNBundleVersion());
    set("bundle_short_version", pln::PLNBundleShortVersionString());
    set("instance_id", host.instanceIdentifier());
    return metadata;
}

BRSAnalyticsMetadataController::BRSAnalyticsMetadataController(pln::Plinth& host, uint64_t sessionTimestamp,
                                                               const std::optional<std::string>& betaToken)
{
    host.setAdvertisingToken(std::nullopt);  // there is no advertising identifier here
    metadata_ = metadataWithTimeStamp(host, sessionTimestamp, betaToken);
    metadataJSONData_ = metadata_.dump();
}

std::string BRSAnalyticsIdentifierGenerator::generateEventIdentifier() { return pln::PLNNewUUIDString(); }

uint64_t BRSAnalyticsTimestampGenerator::generateAnalyticsTimestamp()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count());
}

#pragma once
// What the usage-event log records: the application's life-cycle events,
// custom events and the crash of a previous session, each with a JSON
// payload that carries its identifier; the metadata that heads every log
// file; and the generators of identifiers and millisecond timestamps.

#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogEvent.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>

namespace pln {
class Plinth;
}

enum class BRSEventPriority : uint64_t { High = 0, Medium = 1, Low = 2 };

class BRSAnalyticsEvent : public BRSEventLogEvent {
public:
    // Null when the payload cannot be encoded as JSON.
    static std::shared_ptr<BRSAnalyticsEvent> make(BRSEventPriority priority, uint64_t timestamp, const std::string& key,
                                                   const std::string& eventIdentifier, const nlohmann::json& payloadValues = nlohmann::json::object());
    static std::shared_ptr<BRSAnalyticsEvent> applicationInstalled(uint64_t timestamp, const std::string& eventIdentifier);
    static std::shared_ptr<BRSAnalyticsEvent> applicationLaunched(uint64_t timestamp, const std::string& eventIdentifier);
    static std::shared_ptr<BRSAnalyticsEvent> applicationCrashed(uint64_t timestamp, const std::string& eventIdentifier);
    // Null for any notification but will-terminate, will-resign-active and did-become-active.
    static std::shared_ptr<BRSAnalyticsEvent> applicationNotification(const std::string& name, uint64_t timestamp,
                                                                      const std::string& eventIdentifier, bool highPriorityOnBackground);
    // Null without a name; the attributes arrive already filtered.
    static std::shared_ptr<BRSAnalyticsEvent> customEvent(const std::optional<std::string>& name, const nlohmann::json& attributes,
                                                          uint64_t timestamp, const std::string& eventIdentifier);

    const std::string& eventIdentifier() const { return eventIdentifier_; }
    const nlohmann::json& stringPayloadValueDict() const { return stringPayloadValueDict_; }
    std::string description() const;

    BRSAnalyticsEvent(BRSEventPriority priority, uint64_t timestamp, std::string key, std::string payload, std::string eventIdentifier,
                      nlohmann::json values);

private:
    std::string eventIdentifier_;
    nlohmann::json stringPayloadValueDict_;
};

// The "metadata" line that heads each log file.
class BRSAnalyticsMetadataEvent : public BRSEventLogEvent {
public:
    BRSAnalyticsMetadataEvent(uint64_t priority, uint64_t timestamp, const std::string& metadataJSONData)
        : BRSEventLogEvent(priority, timestamp, "metadata", metadataJSONData) {}
    const std::string& metadataJSONData() const { return *payload(); }
};

// The installation, host and application, computed once per session.
class BRSAnalyticsMetadataController {
public:
    BRSAnalyticsMetadataController(pln::Plinth& host, uint64_t sessionTimestamp, const std::optional<std::string>& betaToken);
    const nlohmann::ordered_json& metadata() const { return metadata_; }
    const std::string& metadataJSONData() const { return metadataJSONData_; }

    static nlohmann::ordered_json metadataWithTimeStamp(pln::Plinth& host, uint64_t timestamp, const std::optional<std::string>& betaToken);
    // "2:<token>" gives the token; anything else nothing.
    static std::optional<std::string> unwrapBetaToken(const std::optional<std::string>& token);

private:
    nlohmann::ordered_json metadata_;
    std::string metadataJSONData_;
};

struct BRSAnalyticsIdentifierGenerator {
    // A new random UUID, 36 upper-case characters.
    static std::string generateEventIdentifier();
    static std::string generateSessionFragmentIdentifier() { return generateEventIdentifier(); }
};

struct BRSAnalyticsTimestampGenerator {
    // Milliseconds since 1970, rounded down.
    static uint64_t generateAnalyticsTimestamp();
};

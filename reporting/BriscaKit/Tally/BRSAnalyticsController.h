#pragma once
// The usage-event log of one process, one session: life-cycle, custom and
// previous-session crash events become lines in per-priority log files of
// the open session fragment. A maintenance pass (on a timer, when a file
// grows too big, or after a high-priority event) opens a new fragment,
// packages the closed ones into "PACKAGED", uploads them, prunes the oldest
// files above the pending limit and cleans up the store. What it does is
// governed by the "analytics" group of the downloaded settings.

#include "reporting/BriscaKit/Tally/BRSAnalyticsEvent.h"
#include "reporting/BriscaKit/Tally/BRSAnalyticsNetworkingClient.h"
#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogFile.h"
#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogSessionRepository.h"
#include "reporting/BRSURLSession/Dispatch.h"
#include "reporting/Plinth/BRSUserDefaults.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pln {
class Plinth;
}

inline constexpr const char* kBRSAnalyticsControllerErrorDomain = "BRSAnalyticsControllerErrorDomain";
enum class BRSAnalyticsControllerErrorCode : long { TransmissionRunning = -1, NoAnalyticsURL = -2, PruningRanOut = -3 };

inline constexpr uint32_t kBRSMaxCustomEventAttributeCount = 20;
inline constexpr uint32_t kBRSMaxCustomEventAttributeSize = 100;  // UTF-16 units, as the service counts them

struct BRSAnalyticsHost {
    pln::Plinth* host = nullptr;
    pln::BRSUserDefaults* store = nullptr;
    pln::PLNNetworkOptions network;
};

struct BRSAnalyticsSettings {
    bool haveSettings = false;
    bool shouldCollectAnalytics = false;
    std::optional<std::string> analyticsURL;
    bool shouldFlushOnBackground = false;
    uint64_t maxByteSizePerFile = 0;  // 0: no limit
    uint32_t flushIntervalSecs = 0;   // 0: no timer
    uint32_t maxPendingSendFileCount = 0;
    bool trackCustomEvents = true;
};

class BRSAnalyticsController : public std::enable_shared_from_this<BRSAnalyticsController> {
public:
    static bool supported() { return true; }
    // Null when the first fragment cannot be prepared.
    static std::shared_ptr<BRSAnalyticsController> create(const std::string& sessionIdentifier, const std::string& rootDirectory,
                                                          const std::optional<std::string>& betaToken, BRSAnalyticsHost host);
    ~BRSAnalyticsController();

    void logAppInstalled();
    void logAppLaunched();
    void logCustomEventWithName(const std::optional<std::string>& name, const nlohmann::json& attributes);
    // The crash of the session with that identifier, at whole seconds since
    // 1970; logged into that session only when it is the previous session.
    void logPreviousSessionCrashedOnDate(uint64_t seconds, const std::string& sessionIdentifier);
    void logEvent(const std::shared_ptr<BRSEventLogEvent>& event);
    void applicationLifecycleEvent(const std::string& notificationName);

    void setSettings(const std::optional<nlohmann::json>& settings);
    BRSAnalyticsSettings settings() const;
    bool analyticsFeatureSwitchEnabled() const;
    bool customEventsFeatureSwitchEnabled() const;
    nlohmann::json filterCustomAttributes(const nlohmann::json& attributes) const;
    static std::string truncateCustomEventAttribute(const std::string& text);

    void maintainSessionFragments(std::function<void(std::optional<brs::Error>)> completion);
    // Waits until the work queued so far on every queue has run.
    void waitUntilIdle();

    const std::string& sessionIdentifier() const { return sessionIdentifier_; }
    uint64_t sessionTimestamp() const { return sessionTimestamp_; }
    std::string currentSessionFragmentDirectory() const;
    BRSEventLogSessionRepository& repository() { return repository_; }
    const std::string& metadataJSONData() const { return metadataController_.metadataJSONData(); }
    const std::shared_ptr<brs::SerialQueue>& sessionMaintenanceQueue() const;

private:
    BRSAnalyticsController(const std::string& sessionIdentifier, const std::string& rootDirectory, const std::optional<std::string>& betaToken,
                           BRSAnalyticsHost host, uint64_t sessionTimestamp);
    bool prepareNewSessionFragment(const std::string& identifier, uint64_t timestamp, brs::Error* error);
    bool ensureLogFileExistsForPriority(size_t priority, brs::Error* error);
    void readLastSessionInformation();
    void saveCurrentSessionInformation();
    void handleDisabledFeatureSwitch();
    void runMaintenance();
    void runPackageClosedSessionFragments(std::function<void(std::optional<brs::Error>)> next);
    void transmitPackagedSessionFragments(std::function<void(std::optional<brs::Error>)> next);
    void transmitNextPackagedSessionFragment(std::function<void(std::optional<brs::Error>)> next);
    std::optional<brs::Error> pruneSessionFragmentLogFiles();
    void scheduleSessionMaintenance();
    void cancelSessionMaintenance();
    void armSessionMaintenanceTimer(uint64_t generation, double delay, double interval);
    uint64_t lastMaintenanceDate();
    void saveLastMaintenanceDate(uint64_t seconds);
    static brs::Error error(BRSAnalyticsControllerErrorCode code);

    std::string sessionIdentifier_;
    uint64_t sessionTimestamp_;
    std::optional<std::string> betaToken_;
    BRSAnalyticsHost host_;
    std::string rootDirectory_;
    BRSEventLogSessionRepository repository_;
    BRSAnalyticsMetadataController metadataController_;
    BRSAnalyticsNetworkingClient networkingClient_;
    // The queues and the files they write, and the state the lock guards.
    struct Private;
    std::unique_ptr<Private> d;
    std::vector<std::shared_ptr<void>> observers_;
};

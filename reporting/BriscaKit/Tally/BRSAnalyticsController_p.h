#pragma once
// The usage-event controller's private state, shared by its logging
// (BRSAnalyticsController.cpp) and its maintenance (BRSAnalyticsMaintenance.cpp).

#include "reporting/BriscaKit/Tally/BRSAnalyticsController.h"
#include "reporting/Plinth/PLNConsole.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct BRSAnalyticsController::Private {
    struct Fragment {
        std::string identifier;
        uint64_t timestamp = 0;
        std::string directory;
    };
    // What a priority's queue owns, and only that queue touches: the log
    // file of its priority in the open fragment (path and fragment
    // timestamp, swapped together with dropping the file) and the file once
    // opened.
    struct PriorityLog {
        std::string path;
        uint64_t fragmentTimestamp = 0;
        std::unique_ptr<BRSEventLogEventFile> file;
    };

    std::array<std::shared_ptr<brs::SerialQueue>, 3> priorityQueues{std::make_shared<brs::SerialQueue>("com.brisca.analytics.high-priority"),
                                                                    std::make_shared<brs::SerialQueue>("com.brisca.analytics.medium-priority"),
                                                                    std::make_shared<brs::SerialQueue>("com.brisca.analytics.low-priority")};
    std::array<PriorityLog, 3> priorityLogs;  // each on its own queue
    std::shared_ptr<brs::SerialQueue> maintenanceQueue = std::make_shared<brs::SerialQueue>("com.brisca.analytics.maintenance");
    mutable std::mutex mutex;  // the fragment and the settings
    Fragment fragment;
    BRSAnalyticsSettings settings;
    bool performSessionMaintenanceAfterSettingsArrive = false;
    bool loggedAnalyticsEnabled = false;
    std::optional<std::string> lastSessionIdentifier;
    uint64_t lastSessionTimestamp = 0;
    std::optional<std::string> lastSessionMetadata;
    std::optional<std::vector<std::string>> sessionFragmentsToTransmit;  // on the maintenance queue
    std::atomic<uint64_t> timerGeneration{0};
};

namespace tally {

inline uint64_t nowSeconds() { return BRSAnalyticsTimestampGenerator::generateAnalyticsTimestamp() / 1000; }

// Logs a failed step of the maintenance in debug mode.
inline void logFailure(const char* what, const std::optional<brs::Error>& error)
{
    if (error)
        pln::PLNDebugLog(std::string("[Brisca:Tally] ") + what + " {" + error->description() + "}");
}

}  // namespace tally

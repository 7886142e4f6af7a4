#include "reporting/BriscaKit/Tally/BRSAnalyticsController_p.h"

#include "reporting/Plinth/BRSApplicationNotifications.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "reporting/Plinth/PLNUntrustedData.h"
#include "reporting/Plinth/Plinth.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>

namespace fs = std::filesystem;
using tally::logFailure;
using tally::nowSeconds;

namespace {

constexpr const char* kLastSessionIdentifierKey = "com.brisca.insights.lastsessionidentifier";
constexpr const char* kLastSessionTimestampKey = "com.brisca.insights.lastsessiontimestamp";
constexpr const char* kLastSessionMetadataKey = "com.brisca.insights.lastsessionmetadata";

const nlohmann::json* member(const std::optional<nlohmann::json>& settings, const char* group, const char* key)
{
    if (!settings || !settings->is_object() || !settings->contains(group) || !(*settings)[group].is_object())
        return nullptr;
    const auto& values = (*settings)[group];
    const auto found = values.find(key);
    return found == values.end() || found->is_null() ? nullptr : &*found;
}

bool flagOf(const nlohmann::json* value) { return value && pln::PLNBoolValue(*value); }

uint64_t numberOf(const nlohmann::json* value)
{
    if (value && value->is_number())
        return value->get<double>() <= 0 ? 0 : uint64_t(value->get<double>());
    if (value && value->is_string())
        return std::strtoull(value->get<std::string>().c_str(), nullptr, 10);
    return 0;
}

// Bytes of the UTF-8 sequence that starts with lead; 1 for a stray byte.
size_t sequenceLength(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

size_t utf16Length(const std::string& text)
{
    size_t units = 0;
    for (size_t i = 0; i < text.size(); i += sequenceLength(static_cast<unsigned char>(text[i])))
        units += sequenceLength(static_cast<unsigned char>(text[i])) == 4 ? 2 : 1;
    return units;
}

}  // namespace


std::shared_ptr<BRSAnalyticsController> BRSAnalyticsController::create(const std::string& sessionIdentifier, const std::string& rootDirectory,
                                                                       const std::optional<std::string>& betaToken, BRSAnalyticsHost host)
{
    const uint64_t sessionTimestamp = BRSAnalyticsTimestampGenerator::generateAnalyticsTimestamp();
    std::shared_ptr<BRSAnalyticsController> controller(
        new BRSAnalyticsController(sessionIdentifier, rootDirectory, betaToken, std::move(host), sessionTimestamp));
    brs::Error error;
    const bool prepared =
        controller->prepareNewSessionFragment(BRSAnalyticsIdentifierGenerator::generateSessionFragmentIdentifier(), sessionTimestamp, &error);
    if (!prepared)
        pln::PLNDebugLog("[Brisca:Tally] Unable to prepare new session fragment {error: " + error.description() + "}");
    controller->readLastSessionInformation();
    controller->saveCurrentSessionInformation();

    std::weak_ptr<BRSAnalyticsController> weak = controller;
    auto& center = pln::PLNNotificationCenter::defaultCenter();
    controller->observers_.push_back(center.addObserver(pln::kPLNSettingsAvailableNotification, [weak] {
        if (auto self = weak.lock())
            self->setSettings(self->host_.host->settings());
    }));
    for (const char* name : {kBRSApplicationWillTerminateNotification, kBRSApplicationWillResignActiveNotification,
                             kBRSApplicationDidBecomeActiveNotification})
        controller->observers_.push_back(center.addObserver(name, [weak, name] {
            if (auto self = weak.lock())
                self->applicationLifecycleEvent(name);
        }));
    controller->setSettings(controller->host_.host->settings());
    return prepared ? controller : nullptr;
}

BRSAnalyticsController::BRSAnalyticsController(const std::string& sessionIdentifier, const std::string& rootDirectory,
                                               const std::optional<std::string>& betaToken, BRSAnalyticsHost host, uint64_t sessionTimestamp)
    : sessionIdentifier_(sessionIdentifier), sessionTimestamp_(sessionTimestamp), betaToken_(betaToken), host_(std::move(host)),
      rootDirectory_(rootDirectory), repository_(rootDirectory), metadataController_(*host_.host, sessionTimestamp, betaToken),
      networkingClient_(host_.network), d(std::make_unique<Private>())
{
}

BRSAnalyticsController::~BRSAnalyticsController() { cancelSessionMaintenance(); }

const std::shared_ptr<brs::SerialQueue>& BRSAnalyticsController::sessionMaintenanceQueue() const { return d->maintenanceQueue; }

brs::Error BRSAnalyticsController::error(BRSAnalyticsControllerErrorCode code)
{
    return brs::Error{kBRSAnalyticsControllerErrorDomain, long(code), "", nullptr};
}

std::string BRSAnalyticsController::currentSessionFragmentDirectory() const
{
    std::lock_guard lock(d->mutex);
    return d->fragment.directory;
}

BRSAnalyticsSettings BRSAnalyticsController::settings() const
{
    std::lock_guard lock(d->mutex);
    return d->settings;
}

bool BRSAnalyticsController::analyticsFeatureSwitchEnabled() const
{
    std::lock_guard lock(d->mutex);
    return !d->settings.haveSettings || d->settings.shouldCollectAnalytics;
}

bool BRSAnalyticsController::customEventsFeatureSwitchEnabled() const
{
    std::lock_guard lock(d->mutex);
    return !d->settings.haveSettings || (d->settings.shouldCollectAnalytics && d->settings.trackCustomEvents);
}

void BRSAnalyticsController::waitUntilIdle()
{
    for (const auto& queue : d->priorityQueues)
        queue->sync([] {});
    d->maintenanceQueue->sync([] {});
}

bool BRSAnalyticsController::prepareNewSessionFragment(const std::string& identifier, uint64_t timestamp, brs::Error* error)
{
    Private::Fragment fragment{identifier, timestamp, {}};
    const auto directory = repository_.sessionFragmentDirectory(kBRSEventLogStateActive, sessionIdentifier_, sessionTimestamp_, identifier,
                                                                timestamp, error);
    if (!directory)
        return false;
    fragment.directory = *directory;
    std::array<std::string, 3> files;
    for (uint64_t priority = 0; priority < 3; ++priority) {
        const auto file = repository_.eventLogFile(kBRSEventLogStateActive, sessionIdentifier_, sessionTimestamp_, identifier, timestamp,
                                                   priority, error);
        if (!file)
            return false;
        files[priority] = *file;
    }
    {
        std::lock_guard lock(d->mutex);
        d->fragment = std::move(fragment);
    }
    // Each queue drops its open file and takes the new path in one job: an
    // event before the job still goes to the old fragment, one after it
    // opens the new file, and no file is opened, dropped and opened again.
    struct Group {
        std::mutex mutex;
        std::condition_variable done;
        int pending = 3;
    };
    auto group = std::make_shared<Group>();
    for (size_t priority = 0; priority < 3; ++priority)
        d->priorityQueues[priority]->async([this, self = shared_from_this(), group, priority, path = files[priority], timestamp] {
            d->priorityLogs[priority] = {path, timestamp, nullptr};
            std::lock_guard lock(group->mutex);
            --group->pending;
            group->done.notify_all();
        });
    std::unique_lock lock(group->mutex);
    return group->done.wait_for(lock, std::chrono::seconds(5), [&] { return group->pending == 0; });
}

bool BRSAnalyticsController::ensureLogFileExistsForPriority(size_t priority, brs::Error* error)
{
    auto& log = d->priorityLogs[priority];
    if (log.file)
        return true;
    if (log.path.empty() || !repository_.createDirectory(BRSEventLogSessionRepository::parentDirectory(log.path), error))
        return false;
    auto file = BRSEventLogEventFile::open(log.path);
    if (!file) {
        if (error)
            *error = BRSEventLogPOSIXError(EIO, "open " + log.path);
        return false;
    }
    if (!file->appendEvent(BRSAnalyticsMetadataEvent(priority, log.fragmentTimestamp, metadataJSONData()), error))
        return false;
    log.file = std::move(file);
    return true;
}

void BRSAnalyticsController::logEvent(const std::shared_ptr<BRSEventLogEvent>& event)
{
    if (!event || !analyticsFeatureSwitchEnabled() || event->priority() > 2)
        return;
    const size_t priority = size_t(event->priority());
    auto work = [weak = weak_from_this(), event, priority] {
        auto self = weak.lock();
        if (!self)
            return;
        brs::Error error;
        if (!self->ensureLogFileExistsForPriority(priority, &error)) {
            pln::PLNDebugLog("[Brisca:Tally] Unable to create a new log file for priority " + std::to_string(priority) +
                             " {error: " + error.description() + "}");
            return;
        }
        auto& file = self->d->priorityLogs[priority].file;
        if (!file->appendEvent(*event, &error)) {
            // The line was cut back; the file is opened afresh for the next event.
            file.reset();
            return;
        }
        const auto settings = self->settings();
        if (settings.maxByteSizePerFile != 0 && file->fileSize() > settings.maxByteSizePerFile) {
            self->runMaintenance();
            return;
        }
        if (priority != 0)
            return;
        {
            std::lock_guard lock(self->d->mutex);
            if (!self->d->settings.haveSettings) {
                self->d->performSessionMaintenanceAfterSettingsArrive = true;
                return;
            }
        }
        self->runMaintenance();
    };
    if (priority <= 1)
        d->priorityQueues[priority]->sync(work);
    else
        d->priorityQueues[priority]->async(std::move(work));
}

void BRSAnalyticsController::logAppInstalled()
{
    if (host_.host->isFirstInstall())
        logEvent(BRSAnalyticsEvent::applicationInstalled(BRSAnalyticsTimestampGenerator::generateAnalyticsTimestamp(),
                                                         BRSAnalyticsIdentifierGenerator::generateEventIdentifier()));
}

void BRSAnalyticsController::logAppLaunched()
{
    logEvent(BRSAnalyticsEvent::applicationLaunched(BRSAnalyticsTimestampGenerator::generateAnalyticsTimestamp(),
                                                    BRSAnalyticsIdentifierGenerator::generateEventIdentifier()));
}

void BRSAnalyticsController::applicationLifecycleEvent(const std::string& notificationName)
{
    logEvent(BRSAnalyticsEvent::applicationNotification(notificationName, BRSAnalyticsTimestampGenerator::generateAnalyticsTimestamp(),
                                                        BRSAnalyticsIdentifierGenerator::generateEventIdentifier(),
                                                        settings().shouldFlushOnBackground));
}

void BRSAnalyticsController::logCustomEventWithName(const std::optional<std::string>& name, const nlohmann::json& attributes)
{
    if (!analyticsFeatureSwitchEnabled()) {
        pln::PLNLog("[Brisca:Tally] Tally is disabled for this application. Please enable Tally on your dashboard.");
        return;
    }
    if (!customEventsFeatureSwitchEnabled()) {
        pln::PLNLog("[Brisca:Tally] Custom Event tracking is disabled for this application. Ignoring event named=" + name.value_or("(null)"));
        return;
    }
    logEvent(BRSAnalyticsEvent::customEvent(name, filterCustomAttributes(attributes), BRSAnalyticsTimestampGenerator::generateAnalyticsTimestamp(),
                                            BRSAnalyticsIdentifierGenerator::generateEventIdentifier()));
}

std::string BRSAnalyticsController::truncateCustomEventAttribute(const std::string& text)
{
    if (utf16Length(text) <= kBRSMaxCustomEventAttributeSize)
        return text;
    pln::PLNLog("[Brisca] Maximum length for an Event attributes exceeded. Truncating to " + std::to_string(kBRSMaxCustomEventAttributeSize) +
                " characters.");
    // Whole characters only: a character outside the basic plane (two
    // units) that would straddle the cut is left out entirely.
    size_t units = 0, end = 0;
    while (end < text.size()) {
        const size_t length = sequenceLength(static_cast<unsigned char>(text[end]));
        const size_t width = length == 4 ? 2 : 1;
        if (units + width > kBRSMaxCustomEventAttributeSize)
            break;
        units += width;
        end = std::min(text.size(), end + length);
    }
    return text.substr(0, end);
}

nlohmann::json BRSAnalyticsController::filterCustomAttributes(const nlohmann::json& attributes) const
{
    nlohmann::json filtered = nlohmann::json::object();
    if (!attributes.is_object())
        return filtered;
    uint32_t accepted = 0;
    for (const auto& [key, value] : attributes.items()) {
        if (accepted == kBRSMaxCustomEventAttributeCount) {
            pln::PLNLog("[Brisca] Maximum number of Event attributes exceeded. Ignoring last " +
                        std::to_string(attributes.size() - kBRSMaxCustomEventAttributeCount) + " attributes ");
            break;
        }
        if (!value.is_string() && !value.is_number() && !value.is_boolean()) {
            pln::PLNLog("[Brisca] Event attribute values must be of type NSString or NSNumber. Ignoring entry " + key + ":" + value.dump());
            continue;
        }
        filtered[truncateCustomEventAttribute(key)] = value.is_string() ? nlohmann::json(truncateCustomEventAttribute(value.get<std::string>())) : value;
        ++accepted;
    }
    return filtered;
}

void BRSAnalyticsController::logPreviousSessionCrashedOnDate(uint64_t seconds, const std::string& sessionIdentifier)
{
    pln::PLNDebugLog("[Brisca:Tally] Logging previous session crashed event {date: " + std::to_string(seconds) + "}");
    d->maintenanceQueue->async([weak = weak_from_this(), seconds, sessionIdentifier] {
        auto self = weak.lock();
        if (!self)
            return;
        std::optional<std::string> identifier, metadata;
        uint64_t sessionTimestamp;
        {
            std::lock_guard lock(self->d->mutex);
            identifier = self->d->lastSessionIdentifier;
            metadata = self->d->lastSessionMetadata;
            sessionTimestamp = self->d->lastSessionTimestamp;
        }
        // The crash belongs to its own session: an older one is not known here.
        if (!identifier || !metadata || *identifier != sessionIdentifier)
            return;
        const uint64_t timestamp = seconds * 1000;
        const auto crash = BRSAnalyticsEvent::applicationCrashed(timestamp, BRSAnalyticsIdentifierGenerator::generateEventIdentifier());
        const BRSAnalyticsMetadataEvent heading(crash->priority(), timestamp, *metadata);
        brs::Error error;
        const auto path = self->repository_.eventLogFile(kBRSEventLogStateActive, *identifier, sessionTimestamp,
                                                         BRSAnalyticsIdentifierGenerator::generateSessionFragmentIdentifier(), timestamp,
                                                         crash->priority(), &error);
        if (!path) {
            pln::PLNDebugLog("[Brisca:Tally] Unable to create a new session fragment to contain crash event {error: " + error.description() + "}");
            return;
        }
        auto file = BRSEventLogEventFile::open(*path);
        bool written = file && file->appendEvent(heading, &error);
        if (file && !written)
            pln::PLNDebugLog("[Brisca:Tally] Unable to log metadata event {error: " + error.description() + "}");
        if (written && !(written = file->appendEvent(*crash, &error)))
            pln::PLNDebugLog("[Brisca:Tally] Unable to log crash event {error: " + error.description() + "}");
        if (!written) {
            file.reset();
            self->repository_.removeLogFile(*path, nullptr);
        }
    });
}

void BRSAnalyticsController::readLastSessionInformation()
{
    const auto identifier = host_.store->objectForKey(kLastSessionIdentifierKey);
    const auto timestamp = host_.store->objectForKey(kLastSessionTimestampKey);
    const auto metadata = host_.store->objectForKey(kLastSessionMetadataKey);
    std::lock_guard lock(d->mutex);
    d->lastSessionIdentifier.reset();
    d->lastSessionMetadata.reset();
    d->lastSessionTimestamp = 0;
    if (identifier && identifier->is_string() && timestamp && timestamp->is_number() && metadata && metadata->is_string()) {
        d->lastSessionIdentifier = identifier->get<std::string>();
        d->lastSessionTimestamp = timestamp->get<uint64_t>();
        d->lastSessionMetadata = metadata->get<std::string>();
    }
}

void BRSAnalyticsController::saveCurrentSessionInformation()
{
    host_.store->setString(sessionIdentifier_, kLastSessionIdentifierKey);
    host_.store->setObject(sessionTimestamp_, kLastSessionTimestampKey);
    host_.store->setString(metadataJSONData(), kLastSessionMetadataKey);
    host_.store->synchronize();
}

void BRSAnalyticsController::setSettings(const std::optional<nlohmann::json>& dictionary)
{
    d->maintenanceQueue->async([weak = weak_from_this(), dictionary] {
        auto self = weak.lock();
        if (!self)
            return;
        BRSAnalyticsSettings settings;
        settings.haveSettings = dictionary.has_value();
        settings.shouldCollectAnalytics = flagOf(member(dictionary, "features", "collect_analytics"));
        if (const auto* url = member(dictionary, "analytics", "url"); url && url->is_string())
            settings.analyticsURL = url->get<std::string>();
        settings.shouldFlushOnBackground = flagOf(member(dictionary, "analytics", "flush_on_background"));
        settings.maxByteSizePerFile = numberOf(member(dictionary, "analytics", "max_byte_size_per_file"));
        settings.flushIntervalSecs = uint32_t(numberOf(member(dictionary, "analytics", "flush_interval_secs")));
        settings.maxPendingSendFileCount = uint32_t(numberOf(member(dictionary, "analytics", "max_pending_send_file_count")));
        settings.trackCustomEvents = !settings.haveSettings || flagOf(member(dictionary, "analytics", "track_custom_events"));
        {
            std::lock_guard lock(self->d->mutex);
            self->d->settings = settings;
        }
        if (settings.shouldCollectAnalytics && dictionary->contains("analytics"))
            pln::PLNDebugLog("[Brisca:Tally] Tally enabled with settings: " + (*dictionary)["analytics"].dump());
        self->scheduleSessionMaintenance();
        self->handleDisabledFeatureSwitch();
        if (!settings.shouldCollectAnalytics)
            return;
        bool maintain = false;
        {
            std::lock_guard lock(self->d->mutex);
            if (!self->d->loggedAnalyticsEnabled && BRSEventLogSessionRepository::isDirectory(BRSEventLogSessionRepository::parentDirectory(self->d->fragment.directory))) {
                self->d->loggedAnalyticsEnabled = true;
                pln::PLNDebugLog("[Brisca:Tally] Logging events to session directory " +
                                 BRSEventLogSessionRepository::parentDirectory(self->d->fragment.directory));
            }
            maintain = self->d->performSessionMaintenanceAfterSettingsArrive;
            self->d->performSessionMaintenanceAfterSettingsArrive = false;
        }
        if (maintain)
            self->runMaintenance();
    });
}

void BRSAnalyticsController::handleDisabledFeatureSwitch()
{
    if (analyticsFeatureSwitchEnabled())
        return;
    pln::PLNDebugLog("[Brisca:Tally] Tally is disabled. Cleaning up session directory");
    if (!BRSEventLogSessionRepository::isDirectory(rootDirectory_))
        return;
    for (size_t priority = 0; priority < 3; ++priority)
        d->priorityQueues[priority]->sync([this, priority] { d->priorityLogs[priority].file.reset(); });
    std::error_code code;
    fs::remove_all(rootDirectory_, code);
    if (code)
        pln::PLNDebugLog("[Brisca:Tally] Unable to purge analytics directory {error = " + code.message() + "}");
    std::lock_guard lock(d->mutex);
    d->performSessionMaintenanceAfterSettingsArrive = false;
}

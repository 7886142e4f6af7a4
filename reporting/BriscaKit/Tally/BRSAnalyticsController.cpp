#include "reporting/BriscaKit/Tally/BRSAnalyticsController.h"

#include "reporting/BriscaKit/Tally/BRSGzip.h"
#include "reporting/Plinth/BRSApplicationNotifications.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "reporting/Plinth/PLNUntrustedData.h"
#include "reporting/Plinth/Plinth.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

constexpr const char* kLastSessionIdentifierKey = "com.brisca.insights.lastsessionidentifier";
constexpr const char* kLastSessionTimestampKey = "com.brisca.insights.lastsessiontimestamp";
constexpr const char* kLastSessionMetadataKey = "com.brisca.insights.lastsessionmetadata";
constexpr const char* kLastMaintenanceDateKey = "com.brisca.insights.lastmaintenancedate";

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

uint64_t nowSeconds() { return BRSAnalyticsTimestampGenerator::generateAnalyticsTimestamp() / 1000; }

void logFailure(const char* what, const std::optional<brs::Error>& error)
{
    if (error)
        pln::PLNDebugLog(std::string("[Brisca:Tally] ") + what + " {" + error->description() + "}");
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

struct BRSAnalyticsController::Private {
    struct Fragment {
        std::string identifier;
        uint64_t timestamp = 0;
        std::string directory;
        std::array<std::string, 3> files;
    };

    std::array<std::shared_ptr<brs::SerialQueue>, 3> priorityQueues{std::make_shared<brs::SerialQueue>("com.brisca.analytics.high-priority"),
                                                                    std::make_shared<brs::SerialQueue>("com.brisca.analytics.medium-priority"),
                                                                    std::make_shared<brs::SerialQueue>("com.brisca.analytics.low-priority")};
    std::array<std::unique_ptr<BRSEventLogEventFile>, 3> priorityFiles;  // each on its own queue
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
    Private::Fragment fragment{identifier, timestamp, {}, {}};
    const auto directory = repository_.sessionFragmentDirectory(kBRSEventLogStateActive, sessionIdentifier_, sessionTimestamp_, identifier,
                                                                timestamp, error);
    if (!directory)
        return false;
    fragment.directory = *directory;
    for (uint64_t priority = 0; priority < 3; ++priority) {
        const auto file = repository_.eventLogFile(kBRSEventLogStateActive, sessionIdentifier_, sessionTimestamp_, identifier, timestamp,
                                                   priority, error);
        if (!file)
            return false;
        fragment.files[priority] = *file;
    }
    {
        std::lock_guard lock(d->mutex);
        d->fragment = std::move(fragment);
    }
    // Each queue drops its open file, so its next event opens the new one.
    struct Group {
        std::mutex mutex;
        std::condition_variable done;
        int pending = 3;
    };
    auto group = std::make_shared<Group>();
    for (size_t priority = 0; priority < 3; ++priority)
        d->priorityQueues[priority]->async([this, self = shared_from_this(), group, priority] {
            d->priorityFiles[priority].reset();
            std::lock_guard lock(group->mutex);
            --group->pending;
            group->done.notify_all();
        });
    std::unique_lock lock(group->mutex);
    return group->done.wait_for(lock, std::chrono::seconds(5), [&] { return group->pending == 0; });
}

bool BRSAnalyticsController::ensureLogFileExistsForPriority(size_t priority, brs::Error* error)
{
    if (d->priorityFiles[priority])
        return true;
    std::string path;
    uint64_t fragmentTimestamp;
    {
        std::lock_guard lock(d->mutex);
        path = d->fragment.files[priority];
        fragmentTimestamp = d->fragment.timestamp;
    }
    if (path.empty() || !repository_.createDirectory(BRSEventLogSessionRepository::parentDirectory(path), error))
        return false;
    auto file = BRSEventLogEventFile::open(path);
    if (!file) {
        if (error)
            *error = BRSEventLogPOSIXError(EIO, "open " + path);
        return false;
    }
    if (!file->appendEvent(BRSAnalyticsMetadataEvent(priority, fragmentTimestamp, metadataJSONData()), error))
        return false;
    d->priorityFiles[priority] = std::move(file);
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
        auto& file = self->d->priorityFiles[priority];
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
        d->priorityQueues[priority]->sync([this, priority] { d->priorityFiles[priority].reset(); });
    std::error_code code;
    fs::remove_all(rootDirectory_, code);
    if (code)
        pln::PLNDebugLog("[Brisca:Tally] Unable to purge analytics directory {error = " + code.message() + "}");
    std::lock_guard lock(d->mutex);
    d->performSessionMaintenanceAfterSettingsArrive = false;
}

void BRSAnalyticsController::runMaintenance()
{
    maintainSessionFragments([](std::optional<brs::Error> error) { logFailure("Unable to maintain session fragments", error); });
}

void BRSAnalyticsController::maintainSessionFragments(std::function<void(std::optional<brs::Error>)> completion)
{
    d->maintenanceQueue->async([self = shared_from_this(), completion = std::move(completion)] {
        brs::Error openError;
        if (!self->prepareNewSessionFragment(BRSAnalyticsIdentifierGenerator::generateSessionFragmentIdentifier(),
                                             BRSAnalyticsTimestampGenerator::generateAnalyticsTimestamp(), &openError))
            logFailure("Unable to open new session fragment", openError);
        self->runPackageClosedSessionFragments([self, completion](std::optional<brs::Error> packaging) {
            logFailure("Unable to package closed session fragments", packaging);
            self->transmitPackagedSessionFragments([self, completion](std::optional<brs::Error> transmission) {
                if (transmission)
                    logFailure("Unable to transmit packaged session fragments", transmission);
                else
                    pln::PLNDebugLog("[Brisca:Tally] Successfully transmitted packaged session fragments");
                logFailure("Unable to prune session fragment log files", self->pruneSessionFragmentLogFiles());
                brs::Error cleanUp;
                if (!self->repository_.cleanUpIgnoringSessionFragmentDirectory(self->currentSessionFragmentDirectory(), &cleanUp))
                    logFailure("Unable to clean up session repository", cleanUp);
                self->saveLastMaintenanceDate(nowSeconds());
                completion(std::nullopt);
            });
        });
    });
}

void BRSAnalyticsController::runPackageClosedSessionFragments(std::function<void(std::optional<brs::Error>)> next)
{
    brs::Error error;
    if (!repository_.purgePrepSessionFragmentDirectories(kBRSEventLogStatePackaged, &error))
        pln::PLNDebugLog("[Brisca:Tally] Unable to purge packaged prep session fragments {error = " + error.description() + "}");
    const auto sessions = repository_.sessionDirectories(kBRSEventLogStateActive, &error);
    if (!sessions)
        return next(error);
    const std::string open = fs::path(currentSessionFragmentDirectory()).lexically_normal().string();
    for (const auto& session : *sessions) {
        const auto fragments = repository_.sessionFragmentDirectories(session, &error);
        if (!fragments)
            return next(error);
        for (const auto& fragment : *fragments) {
            if (fs::path(fragment).lexically_normal().string() == open)
                continue;
            const auto prep = repository_.prepSessionFragmentDirectory(kBRSEventLogStatePackaged, fragment, &error);
            if (!prep)
                return next(error);
            const auto entries = repository_.contentsOfDirectory(fragment, &error);
            if (!entries)
                return next(error);
            for (const auto& file : *entries) {
                if (fs::path(file).extension() != ".log")
                    continue;
                std::FILE* input = std::fopen(file.c_str(), "rb");
                const std::string target = (fs::path(*prep) / (fs::path(file).filename().string() + ".zip")).string();
                std::FILE* output = input ? std::fopen(target.c_str(), "wb") : nullptr;
                const bool compressed = output && BRSGzipCompressFile(input, output) == 0;
                const bool closed = !output || std::fclose(output) == 0;
                if (input)
                    std::fclose(input);
                if (!compressed || !closed)
                    return next(BRSEventLogPOSIXError(EIO, "compress " + file));
            }
            if (!repository_.removePrepStatus(*prep, &error) || !repository_.removeSessionFragmentDirectory(fragment, &error))
                return next(error);
        }
    }
    next(std::nullopt);
}

void BRSAnalyticsController::transmitPackagedSessionFragments(std::function<void(std::optional<brs::Error>)> next)
{
    if (!settings().analyticsURL)
        return next(error(BRSAnalyticsControllerErrorCode::NoAnalyticsURL));
    if (d->sessionFragmentsToTransmit)
        return next(error(BRSAnalyticsControllerErrorCode::TransmissionRunning));
    brs::Error listError;
    const auto sessions = repository_.sessionDirectories(kBRSEventLogStatePackaged, &listError);
    if (!sessions)
        return next(listError);
    std::vector<std::string> fragments;
    for (const auto& session : *sessions)
        if (auto each = repository_.sessionFragmentDirectories(session, &listError))
            fragments.insert(fragments.end(), each->begin(), each->end());
    std::sort(fragments.begin(), fragments.end());
    d->sessionFragmentsToTransmit = std::move(fragments);
    transmitNextPackagedSessionFragment(std::move(next));
}

void BRSAnalyticsController::transmitNextPackagedSessionFragment(std::function<void(std::optional<brs::Error>)> next)
{
    if (d->sessionFragmentsToTransmit->empty()) {
        d->sessionFragmentsToTransmit.reset();
        return next(std::nullopt);
    }
    const std::string fragment = d->sessionFragmentsToTransmit->front();
    d->sessionFragmentsToTransmit->erase(d->sessionFragmentsToTransmit->begin());
    pln::PLNDebugLog("[Brisca:Tally] Transmitting packaged session fragments in " + fragment);
    auto files = repository_.logFiles(fragment, nullptr).value_or(std::vector<std::string>{});
    std::sort(files.begin(), files.end());
    networkingClient_.transmitLogFiles(files, *settings().analyticsURL, host_.host->APIKey(),
                                       [self = shared_from_this(), fragment, next = std::move(next)](std::optional<brs::Error> error) mutable {
                                           self->d->maintenanceQueue->async([self, fragment, error, next = std::move(next)]() mutable {
                                               brs::Error removal;
                                               if (!error && !self->repository_.removeSessionFragmentDirectory(fragment, &removal))
                                                   pln::PLNDebugLog("[Brisca:Tally] Unable to delete session fragment directory \"" + fragment +
                                                                    "\" {" + removal.description() + "}");
                                               self->transmitNextPackagedSessionFragment(std::move(next));
                                           });
                                       });
}

std::optional<brs::Error> BRSAnalyticsController::pruneSessionFragmentLogFiles()
{
    const auto settings = this->settings();
    if (!settings.haveSettings)
        return std::nullopt;
    brs::Error listError;
    auto files = repository_.logFilesForAllStates(&listError);
    if (!files)
        return listError;
    const std::string open = fs::path(currentSessionFragmentDirectory()).lexically_normal().string();
    std::erase_if(*files, [&](const std::string& file) { return fs::path(file).parent_path().lexically_normal().string() == open; });
    size_t count = files->size();
    // A limit of 0 (the service gave none) is no limit: unsent events are not thrown away wholesale.
    if (settings.maxPendingSendFileCount == 0 || count <= settings.maxPendingSendFileCount)
        return std::nullopt;
    std::map<int, std::vector<std::string>> groups;  // by priority, each oldest first
    for (const auto& file : *files) {
        const int priority = BRSEventLogSessionRepository::priorityForEventLogFileWithName(fs::path(file).filename().string());
        if (priority >= 0)
            groups[priority].push_back(file);
    }
    for (auto& [priority, group] : groups)
        std::sort(group.begin(), group.end());
    while (count > settings.maxPendingSendFileCount) {
        if (groups.empty())
            return error(BRSAnalyticsControllerErrorCode::PruningRanOut);
        auto& lowest = groups.rbegin()->second;
        brs::Error removal;
        if (!repository_.removeLogFile(lowest.front(), &removal))
            return removal;
        lowest.erase(lowest.begin());
        if (lowest.empty())
            groups.erase(std::prev(groups.end()));
        --count;
    }
    return std::nullopt;
}

uint64_t BRSAnalyticsController::lastMaintenanceDate()
{
    const auto stored = host_.store->objectForKey(kLastMaintenanceDateKey);
    if (stored && stored->is_number())
        return stored->get<uint64_t>();
    const uint64_t now = nowSeconds();
    saveLastMaintenanceDate(now);
    return now;
}

void BRSAnalyticsController::saveLastMaintenanceDate(uint64_t seconds)
{
    host_.store->setObject(seconds, kLastMaintenanceDateKey);
    host_.store->synchronize();
}

void BRSAnalyticsController::cancelSessionMaintenance() { ++d->timerGeneration; }

void BRSAnalyticsController::scheduleSessionMaintenance()
{
    cancelSessionMaintenance();
    const auto settings = this->settings();
    if (!analyticsFeatureSwitchEnabled() || settings.flushIntervalSecs == 0)
        return;
    const double sinceLast = double(nowSeconds()) - double(lastMaintenanceDate());
    armSessionMaintenanceTimer(d->timerGeneration, std::max(0.0, double(settings.flushIntervalSecs) - sinceLast), settings.flushIntervalSecs);
}

void BRSAnalyticsController::armSessionMaintenanceTimer(uint64_t generation, double delay, double interval)
{
    // The timer holds the controller weakly: it does not keep it alive.
    host_.network.scheduler->runAfter(delay, [weak = weak_from_this(), generation, interval] {
        auto self = weak.lock();
        if (!self || self->d->timerGeneration != generation)
            return;
        self->runMaintenance();
        self->armSessionMaintenanceTimer(generation, interval, interval);
    });
}

// The usage-event controller's maintenance: a new fragment, the closed ones
// packaged into "PACKAGED" and uploaded, the oldest files above the pending
// limit pruned, the store cleaned up; and the timer that runs it.
#include "reporting/BriscaKit/Tally/BRSAnalyticsController_p.h"

#include "reporting/BriscaKit/Tally/BRSGzip.h"
#include "reporting/Plinth/Plinth.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using tally::logFailure;
using tally::nowSeconds;

namespace {

constexpr const char* kLastMaintenanceDateKey = "com.brisca.insights.lastmaintenancedate";

}  // namespace

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

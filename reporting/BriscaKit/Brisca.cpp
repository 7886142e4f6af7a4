#include "reporting/BriscaKit/Brisca.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSException.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"
#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/BriscaKit/BRSRuntime.h"
#include "reporting/BriscaKit/Tally/BRSAnalyticsController.h"
#include "reporting/Plinth/BRSKitConstants.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNIdentity.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace {

class KitRuntime : public BRSRuntime {
public:
    std::string cachesDirectory() const override { return pln::PLNCachesFolder(); }
    std::string documentsDirectory() const override { return pln::PLNApplicationSupportFolder(); }
    std::string bundleIdentifier() const override { return pln::PLNBundleIdentifier().value_or(""); }
    std::string bundleBuildVersion() const override { return pln::PLNBundleVersion().value_or(""); }
    std::string bundleDisplayVersion() const override { return pln::PLNBundleShortVersionString().value_or(""); }
    std::string hostModel() const override { return pln::PLNHostModel().value_or(""); }
    std::string osBuildVersion() const override { return pln::PLNHostOSBuildVersion().value_or(""); }
    std::string osDisplayVersion() const override { return pln::PLNHostOSDisplayVersion(); }
    bool debug() const override { return pln::PLNDebugEnabled(); }
};

struct Shared {
    std::mutex mutex;
    BriscaEnvironment environment;
    std::shared_ptr<Brisca> kit;
};

Shared& shared()
{
    static auto* state = new Shared;  // lives until exit, also for late loggers
    return *state;
}

BriscaEnvironment completed(BriscaEnvironment environment)
{
    if (!environment.host)
        environment.host = &pln::Plinth::sharedSDK();
    if (!environment.runtime)
        environment.runtime = &BRSKitRuntime();
    if (!environment.application)
        environment.application = &BRSApplication::headless();
    if (!environment.store)
        environment.store = &pln::BRSUserDefaults::standardUserDefaults();
    return environment;
}

// The records of one kind in a file, or none.
std::vector<nlohmann::json> recordsOf(const char* path, const char* kind)
{
    std::vector<nlohmann::json> found;
    if (!path)
        return found;
    for (auto& record : BRSFileReadSections(path, false).value_or(std::vector<nlohmann::json>{}))
        if (record.is_object() && record.contains(kind) && record[kind].is_object())
            found.push_back(std::move(record[kind]));
    return found;
}

}  // namespace

class BriscaTestException : public std::runtime_error {
public:
    BriscaTestException() : std::runtime_error("This is an Objective-C exception using for testing.") {}
};

const BRSRuntime& BRSKitRuntime()
{
    static auto* runtime = new KitRuntime;
    return *runtime;
}

Brisca* Brisca::sharedInstance()
{
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    if (!state.kit)
        state.kit = std::shared_ptr<Brisca>(new Brisca(completed(state.environment)));
    return state.kit.get();
}

void Brisca::setSharedEnvironment(BriscaEnvironment environment)
{
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    state.environment = environment;
    // The shared kit may already be known to callers: it keeps its address.
    if (state.kit && !state.kit->isBriscaStarted())
        state.kit->environment_ = completed(environment);
}

Brisca* Brisca::startWithAPIKey(const std::string& apiKey, std::shared_ptr<BriscaDelegate> delegate)
{
    return sharedInstance()->startWith(apiKey, std::move(delegate));
}

Brisca* Brisca::startWithAPIKeyAfterDelay(const std::string& apiKey, float, std::shared_ptr<BriscaDelegate> delegate)
{
    pln::PLNLog(delegate ? "[Brisca] Warning, startWithAPIKey:delegate:afterDelay: is deprecated."
                         : "[Brisca] Warning, startWithAPIKey:afterDelay: is deprecated.");
    return startWithAPIKey(apiKey, std::move(delegate));
}

std::shared_ptr<Brisca> Brisca::create(BriscaEnvironment environment)
{
    return std::shared_ptr<Brisca>(new Brisca(completed(environment)));
}

struct Brisca::Private {
    mutable std::mutex mutex;
    std::once_flag started;
    std::shared_ptr<BriscaDelegate> delegate;
    std::vector<std::pair<uint64_t, std::string>> pendingCrashes;  // crash date, session
};

Brisca::Brisca(BriscaEnvironment environment) : environment_(environment), d(std::make_unique<Private>()) {}

Brisca::~Brisca()
{
    // A kit made for a while (tests) lets its queued work finish first.
    if (crashReportingController_)
        crashReportingController_->operationQueue()->sync([] {});
    if (analyticsController_)
        analyticsController_->waitUntilIdle();
}

Brisca* Brisca::startWith(const std::string& apiKey, std::shared_ptr<BriscaDelegate> delegate)
{
    if (delegate)
        setDelegate(std::move(delegate));
    environment_.host->setAPIKey(apiKey);
    environment_.host->registerKits({shared_from_this()});
    return this;
}

std::optional<std::string> Brisca::version() const { return std::string(kBRSKitVersion); }
std::optional<std::string> Brisca::bundleIdentifier() const { return std::string(kBRSKitBundleIdentifier); }
std::optional<std::string> Brisca::APIKey() { return environment_.host->APIKey(); }
std::string Brisca::installID() { return environment_.host->installID(); }
bool Brisca::isFirstInstall() { return environment_.host->isFirstInstall(); }

bool Brisca::isBriscaStarted() const
{
    std::lock_guard lock(d->mutex);
    return crashReportingController_ != nullptr;
}

void Brisca::setDebugMode(bool)
{
    environment_.host->setDebug(true);
    if (isBriscaStarted())
        pln::PLNLog("[Brisca] Warning, consider enabling debug mode before starting Brisca");
}

bool Brisca::debugMode() const { return environment_.host->debug(); }

void Brisca::setDelegate(std::shared_ptr<BriscaDelegate> delegate)
{
    {
        std::lock_guard lock(d->mutex);
        d->delegate = std::move(delegate);
    }
    if (isBriscaStarted())
        pln::PLNLog("[Brisca] Warning, setting delegate after start. Make sure to set the Brisca delegate before calling "
                    "startWithAPIKey:.., or +[Plinth with...] to avoid missing some delegate callbacks.");
}

std::shared_ptr<BriscaDelegate> Brisca::delegate() const
{
    std::lock_guard lock(d->mutex);
    return d->delegate;
}

void Brisca::start()
{
    std::call_once(d->started, [this] {
        const uint64_t mark = BRSMonotonicNanoseconds();
        pln::PLNLog(std::string("[Brisca] Version ") + kBRSKitVersion + " (" + kBRSKitBuild + ")");
        const BRSRuntime& runtime = *environment_.runtime;
        pln::PLNDebugLog("[Brisca] Running on " + runtime.hostModel() + ", " + runtime.osDisplayVersion() + " (" + runtime.osBuildVersion() + ")");
        const auto delegate = this->delegate();
        if (delegate && (delegate->didDetectCrashDuringPreviousExecutionWithReport || delegate->didDetectCrashDuringPreviousExecution))
            pln::PLNLog("[Brisca] The Brisca delegate implements deprecated methods.  Please see Brisca.h for details.");

        auto fileManager = std::make_shared<BRSFileManager>(runtime);
        std::shared_ptr<BRSBetaController> beta;
        if (BRSBetaController::isBetaSupported()) {
            beta = BRSBetaController::create(weak_from_this(), environment_.network);
            if (!beta->start())
                pln::PLNLog("[Brisca] Beta could not be initialized");
        }
        const auto betaToken = beta ? beta->betaToken() : std::nullopt;
        auto crash = BRSCrashReportingController::create(fileManager, weak_from_this(), runtime, *environment_.host,
                                                         *environment_.application, environment_.network);
        {
            std::lock_guard lock(d->mutex);
            fileManager_ = std::move(fileManager);
            betaController_ = beta;
            crashReportingController_ = crash;
        }
        if (!crash->startWithProfilingMark(mark, betaToken))
            pln::PLNLog("[Brisca] Crash reporting could not be initialized");

        if (BRSAnalyticsController::supported()) {
            BRSAnalyticsHost analyticsHost{environment_.host, environment_.store, environment_.network};
            auto analytics = BRSAnalyticsController::create(environment_.host->executionIdentifier(), fileManager_->rootPath() + "/analytics",
                                                             betaToken, analyticsHost);
            if (analytics) {
                analytics->logAppInstalled();
                analytics->logAppLaunched();
            }
            std::vector<std::pair<uint64_t, std::string>> crashes;
            {
                std::lock_guard lock(d->mutex);
                analyticsController_ = analytics;
                crashes = std::exchange(d->pendingCrashes, {});
            }
            for (const auto& [crashedOn, session] : crashes)
                if (analytics)
                    analytics->logPreviousSessionCrashedOnDate(crashedOn, session);
        }
    });
}

void Brisca::crash() { __builtin_trap(); }

void Brisca::throwException() { throw BriscaTestException(); }

void Brisca::setUserIdentifier(const std::string& value) { BRSUserLoggingRecordInternalKeyValue("com.brisca.user-id", value); }
void Brisca::setUserName(const std::string& value) { BRSUserLoggingRecordInternalKeyValue("com.brisca.user-name", value); }
void Brisca::setUserEmail(const std::string& value) { BRSUserLoggingRecordInternalKeyValue("com.brisca.user-email", value); }

void Brisca::setDevelopmentPlatformName(const std::string& value)
{
    BRSUserLoggingRecordInternalKeyValue("com.brisca.development-platform-name", value);
}

void Brisca::setDevelopmentPlatformVersion(const std::string& value)
{
    BRSUserLoggingRecordInternalKeyValue("com.brisca.development-platform-version", value);
}

void Brisca::setObjectValue(const std::optional<std::string>& value, const std::string& key)
{
    BRSUserLoggingRecordUserKeyValue(key, value);
}

void Brisca::setFloatValue(float value, const std::string& key)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", double(value));
    setObjectValue(std::string(text), key);
}

void Brisca::recordError(const std::string& domain, int64_t code, const BRSUserInfo& userInfo, const BRSUserInfo& additionalInfo)
{
    BRSUserLoggingRecordError(domain, code, userInfo, additionalInfo);
}

void Brisca::recordCustomExceptionName(const std::string& name, const std::string& reason, const std::vector<BRSStackFrame>& frames)
{
    BRSExceptionRecord(BRSExceptionKind::Custom, name.c_str(), reason.c_str(), frames, false);
}

void Brisca::recordScriptMessage(const nlohmann::json& body)
{
    if (!body.is_object()) {
        pln::PLNLog("[Brisca] Unable to record exception from WKWebView");
        return;
    }
    const std::string reason = body.contains("msg") && body["msg"].is_string() ? body["msg"].get<std::string>() : std::string();
    BRSExceptionRecord(BRSExceptionKind::JavaScript, "exception", reason.c_str(), {}, false);
}

void Brisca::logEvent(const std::string& name, const nlohmann::json& attributes)
{
    std::shared_ptr<BRSAnalyticsController> analytics;
    {
        std::lock_guard lock(d->mutex);
        analytics = analyticsController_;
    }
    if (analytics)
        analytics->logCustomEventWithName(name, attributes);
}

void Brisca::recordLogMessage(const std::string& message) { BRSUserLoggingRecordMessage(message); }

std::vector<BRSLogLine> Brisca::logLines() const
{
    std::vector<BRSLogLine> lines;
    if (!isBriscaStarted() || !BRSContextIsInitialized())
        return lines;
    std::lock_guard queue(BRSReportingQueue());
    for (const char* path : {gBRSContext->logging.log.pathA, gBRSContext->logging.log.pathB})
        for (const auto& record : recordsOf(path, "log"))
            lines.push_back({record.value("time", uint64_t(0)), BRSDecodeHexString(record.value("msg", nlohmann::json())).value_or("")});
    std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.millisecondsSinceStart < b.millisecondsSinceStart; });
    return lines;
}

std::map<std::string, std::optional<std::string>> Brisca::customKeys() const
{
    std::map<std::string, std::optional<std::string>> keys;
    if (!isBriscaStarted() || !BRSContextIsInitialized())
        return keys;
    std::lock_guard queue(BRSReportingQueue());
    const auto& storage = gBRSContext->logging.userKV;
    for (const char* path : {storage.compactedPath, storage.incrementalPath})
        for (const auto& record : recordsOf(path, "kv")) {
            const auto key = BRSDecodeHexString(record.value("key", nlohmann::json()));
            const auto value = BRSDecodeHexString(record.value("value", nlohmann::json()));
            if (key)
                keys[*key] = value && !value->empty() ? value : std::nullopt;
        }
    return keys;
}

bool Brisca::shouldInstallCrashCallback()
{
    const auto delegate = this->delegate();
    return delegate && delegate->didDetectCrash;
}

void Brisca::detectedCrash()
{
    const auto delegate = this->delegate();
    if (delegate && delegate->didDetectCrash)
        delegate->didDetectCrash();
}

bool Brisca::reportingControllerCanUseBackgroundSessions()
{
    const auto delegate = this->delegate();
    return !delegate || !delegate->canUseBackgroundSessions || delegate->canUseBackgroundSessions();
}

bool Brisca::reportingControllerMustInformDelegateOfReports()
{
    const auto delegate = this->delegate();
    return delegate && (delegate->didDetectReportForLastExecution || delegate->didDetectCrashDuringPreviousExecutionWithReport ||
                        delegate->didDetectCrashDuringPreviousExecution);
}

void Brisca::reportingControllerDidDetectReportForLastExecution(const std::shared_ptr<BRSInternalReport>& internalReport,
                                                                std::function<void(bool)> completion)
{
    if (!reportingControllerMustInformDelegateOfReports()) {
        completion(true);
        return;
    }
    auto report = std::make_shared<BRSReport>(internalReport);
    const auto delegate = this->delegate();
    if (delegate->didDetectReportForLastExecution)
        delegate->didDetectReportForLastExecution(report, std::move(completion));
    else
        completion(true);
    environment_.application->dispatchMain([delegate, report] {
        if (delegate->didDetectCrashDuringPreviousExecutionWithReport)
            delegate->didDetectCrashDuringPreviousExecutionWithReport(report);
        if (delegate->didDetectCrashDuringPreviousExecution)
            delegate->didDetectCrashDuringPreviousExecution();
    });
}

void Brisca::reportingControllerInternalDidDetectReportForLastExecution(const std::shared_ptr<BRSInternalReport>& report)
{
    // Only a crash ends a session, and it ends the session of that report's
    // own execution, not merely the one before this launch.
    if (!report->holdsCrash() || !report->identifier())
        return;
    std::shared_ptr<BRSAnalyticsController> analytics;
    {
        std::lock_guard lock(d->mutex);
        analytics = analyticsController_;
        // Reports are found during the start, before the usage-event log exists.
        if (!analytics) {
            d->pendingCrashes.emplace_back(report->dateCreated(), *report->identifier());
            return;
        }
    }
    analytics->logPreviousSessionCrashedOnDate(report->dateCreated(), *report->identifier());
}

bool Brisca::reportingControllerEnsureDeliveryOfUnixSignal(int signal)
{
    const auto delegate = this->delegate();
    return delegate && delegate->ensureDeliveryOfUnixSignal && delegate->ensureDeliveryOfUnixSignal(signal);
}

std::shared_ptr<const BRSSettings> Brisca::settingsForCrashReportingController()
{
    BRSApplication* application = environment_.application;
    return std::make_shared<BRSSettings>(environment_.host->settings(), [application](const std::string& table, const std::string& key,
                                                                                        const std::string& fallback) {
        return application->localizedString(table, key, fallback);
    });
}

void BRSUserLoggingLog(const char* format, ...)
{
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string message;
    if (length > 0) {
        message.resize(size_t(length));
        std::vsnprintf(message.data(), size_t(length) + 1, format, args);
    }
    va_end(args);
    // Does nothing until the kit has set up this run's report.
    BRSUserLoggingRecordMessage(message);
}

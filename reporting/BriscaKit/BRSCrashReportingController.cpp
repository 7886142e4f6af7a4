#include "reporting/BriscaKit/BRSCrashReportingController.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSException.h"
#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/BriscaKit/BRSRuntime.h"
#include "reporting/BriscaKit/CrashTime/BRSSignal.h"
#include "reporting/BriscaKit/BRSUserLogging.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNNetworkResponseHandler.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "reporting/Plinth/Plinth.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

// Taken while the program is being loaded: the process's start.
const uint64_t kProcessStartNanoseconds = BRSMonotonicNanoseconds();

constexpr const char* kLockName = ".lock";

std::string millisecondsSince(uint64_t mark)
{
    return std::to_string(double(BRSMonotonicNanoseconds() - mark) / 1e6);
}

class HeadlessApplication : public BRSApplication {
public:
    void dispatchMain(std::function<void()> work) override { queue_.async(std::move(work)); }
    void runModalAlert(const BRSAlert&, std::function<void(std::optional<std::size_t>)> completion) override { completion(std::nullopt); }

private:
    brs::SerialQueue queue_{"com.plinth.brisca.mac.headless-main"};
};

}  // namespace

BRSApplication& BRSApplication::headless()
{
    static auto* application = new HeadlessApplication;  // outlives every kit object
    return *application;
}

bool BRSReportDirectoryIsLocked(const std::string& path)
{
    const int fd = ::open((fs::path(path) / kLockName).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also gives up the lock taken just now
    return locked;
}

int BRSLockReportDirectory(const std::string& path)
{
    const int fd = ::open((fs::path(path) / kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct BRSCrashReportingController::Private {
    std::shared_ptr<brs::SerialQueue> operationQueue = std::make_shared<brs::SerialQueue>("com.plinth.brisca.mac.work-queue");
    std::shared_ptr<BRSNetworkClient> networkClient;
    std::unique_ptr<BRSReportsController> reportsController;  // on the work queue only
    std::shared_ptr<const BRSSettings> settings;
    std::mutex settingsMutex;
    std::atomic<BRSPromptChoice> promptChoice{BRSPromptChoice::NotAsked};
    std::map<std::string, int> rejections;  // package path -> refused uploads; on the work queue only
    bool prompting = false;  // on the work queue only
    std::vector<std::shared_ptr<BRSInternalReport>> awaitingAnswer;  // on the work queue only
};

std::shared_ptr<BRSCrashReportingController> BRSCrashReportingController::create(
    std::shared_ptr<BRSFileManager> fileManager, std::weak_ptr<BRSCrashReportingControllerDelegate> delegate, const BRSRuntime& runtime, pln::Plinth& host,
    BRSApplication& application, pln::PLNNetworkOptions options)
{
    std::shared_ptr<BRSCrashReportingController> controller(
        new BRSCrashReportingController(std::move(fileManager), std::move(delegate), runtime, host, application, std::move(options)));
    controller->d->networkClient = BRSNetworkClient::create(controller->d->operationQueue, controller->fileManager_, controller, controller->options_);
    return controller;
}

BRSCrashReportingController::BRSCrashReportingController(std::shared_ptr<BRSFileManager> fileManager,
                                                         std::weak_ptr<BRSCrashReportingControllerDelegate> delegate,
                                                         const BRSRuntime& runtime, pln::Plinth& host, BRSApplication& application,
                                                         pln::PLNNetworkOptions options)
    : fileManagerHeld_(std::move(fileManager)), fileManager_(*fileManagerHeld_), delegate_(std::move(delegate)), runtime_(runtime), host_(host), application_(application),
      options_(std::move(options)), d(std::make_unique<Private>())
{
}

BRSCrashReportingController::~BRSCrashReportingController()
{
    if (reportLock_ >= 0)
        ::close(reportLock_);
}

BRSPromptChoice BRSCrashReportingController::promptChoice() const { return d->promptChoice; }

const std::shared_ptr<brs::SerialQueue>& BRSCrashReportingController::operationQueue() const { return d->operationQueue; }

const std::shared_ptr<BRSNetworkClient>& BRSCrashReportingController::networkClient() const { return d->networkClient; }

void BRSCrashReportingController::enqueue(std::function<void(BRSCrashReportingController&)> work)
{
    d->operationQueue->async([self = shared_from_this(), work = std::move(work)] { work(*self); });
}

std::shared_ptr<const BRSSettings> BRSCrashReportingController::settings()
{
    std::lock_guard lock(d->settingsMutex);
    if (!d->settings) {
        auto delegate = delegate_.lock();
        d->settings = delegate ? delegate->settingsForCrashReportingController() : nullptr;
        if (!d->settings)
            d->settings = std::make_shared<BRSSettings>();
    }
    return d->settings;
}

std::string BRSCrashReportingController::bundleIdentifierForReportsController() { return BRSSanitizedBundleIdentifier(runtime_); }

std::optional<std::string> BRSCrashReportingController::APIKeyForReportsController()
{
    auto delegate = delegate_.lock();
    return delegate ? delegate->APIKeyForCrashReportingController() : std::nullopt;
}

bool BRSCrashReportingController::startWithProfilingMark(uint64_t mark, const std::optional<std::string>& betaToken)
{
    if (!checkPreconditions())
        return false;
    if (!settings()->crashReportingEnabled()) {
        pln::PLNLog("[Brisca:Crash] Reporting is disabled");
        fileManager_.removeContentsOfAllPaths();
        return false;
    }
    if (!fileManager_.prepareForNewLaunch())
        return false;
    const bool urgent = checkForAndCreateLaunchMarker();
    // All three listings are taken now, before any report moves: a report
    // this launch moves into processing or prepared is not taken up twice.
    const auto earlierReports = fileManager_.activePathContents();
    removeHiddenPartialPackages();
    const auto processing = fileManager_.processingPathContents();
    const auto prepared = fileManager_.preparedPathContents();

    currentReport_ = setupCurrentReport();
    if (!currentReport_)
        pln::PLNLog("[Brisca:Crash] Unable to setup a new report");
    else if (!startCrashReporter(betaToken, *currentReport_)) {
        pln::PLNLog("[Brisca:Crash] Unable to start crash reporter");
        currentReport_.reset();
    }
    processExistingReportPaths(earlierReports, urgent);
    handleContentsInOtherReportingDirectories(processing, prepared);
    BRSUserLoggingRecordInternalKeyValue("com.brisca.kit-start-time", millisecondsSince(mark));
    return currentReport_ != nullptr;
}

bool BRSCrashReportingController::checkPreconditions()
{
    if (runtime_.bundleIdentifier().empty()) {
        pln::PLNLog("[Brisca] An application must have a valid bundle idenifier in its Info.plist");
        return false;
    }
    return true;
}

std::string BRSCrashReportingController::launchFailureMarkerPath() const
{
    return (fs::path(fileManager_.structurePath()) / "launchmarker").string();
}

bool BRSCrashReportingController::createLaunchFailureMarker()
{
    const int fd = ::open(launchFailureMarkerPath().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool BRSCrashReportingController::checkForAndCreateLaunchMarker()
{
    std::error_code error;
    if (fs::exists(launchFailureMarkerPath(), error)) {
        pln::PLNDebugLog("[Brisca:Crash] Last launch failed");
        return true;
    }
    createLaunchFailureMarker();
    return false;
}

std::shared_ptr<BRSInternalReport> BRSCrashReportingController::setupCurrentReport()
{
    createLaunchFailureMarker();
    const std::string& identifier = host_.executionIdentifier();
    const auto path = fileManager_.setupNewPathForExecutionIdentifier(identifier);
    if (!path)
        return nullptr;
    reportLock_ = BRSLockReportDirectory(*path);
    return std::make_shared<BRSInternalReport>(*path, identifier);
}

uint32_t BRSCrashReportingController::machExceptionMask()
{
    auto delegate = delegate_.lock();
    uint32_t mask = 0;
    for (int signal : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP})
        if (delegate && delegate->reportingControllerEnsureDeliveryOfUnixSignal(signal))
            mask |= BRSMachExceptionMaskForSignal(signal);
    return mask;
}

bool BRSCrashReportingController::startCrashReporter(const std::optional<std::string>& betaToken, const BRSInternalReport& report)
{
    auto delegate = delegate_.lock();
    const auto settings = this->settings();
    BRSCrashReporterConfiguration configuration;
    configuration.apiKey = delegate ? delegate->APIKeyForCrashReportingController().value_or("") : "";
    configuration.firstInstall = delegate && delegate->isFirstInstallForCrashReportingController();
    configuration.installationIdentifier = delegate ? delegate->installIDForCrashReportingController() : "";
    configuration.reportIdentifier = report.identifier().value_or("");
    configuration.reportDirectory = report.path();
    configuration.betaToken = betaToken.value_or("");
    configuration.machExceptionsLeftToSignals = machExceptionMask();
    configuration.errorReportingEnabled = settings->errorReportingEnabled();
    configuration.customExceptionsEnabled = settings->customExceptionsEnabled();
    configuration.maximumCustomExceptions = settings->maxCustomExceptions();
    configuration.errorLogBufferSize = settings->errorLogBufferSize();
    configuration.logBufferSize = settings->logBufferSize();
    configuration.maximumCustomKeys = settings->maxCustomKeys();
    if (delegate && delegate->shouldInstallCrashCallback())
        configuration.crashCallbackTarget = this;
    BRSContextInitialize(&configuration, runtime_);
    setupStateNotifications();

    std::weak_ptr<BRSCrashReportingController> weak = weak_from_this();
    BRSApplication* application = &application_;
    options_.scheduler->runAfter(2.0, [weak, application] {
        application->dispatchMain([weak] {
            auto self = weak.lock();
            if (!self)
                return;
            BRSExceptionCheckHandlers();
            BRSSignalCheckHandlers();
            self->checkForUserPromptSetting();
        });
    });
    const std::string marker = launchFailureMarkerPath();
    application_.dispatchMain([marker] {
        std::error_code error;
        fs::remove(marker, error);
        BRSUserLoggingRecordInternalKeyValue("com.brisca.first-run-loop-time", millisecondsSince(kProcessStartNanoseconds));
    });
    return true;
}

void BRSCrashReportingController::setupStateNotifications()
{
    BRSUserLoggingRecordInternalKeyValue("com.brisca.in-background", "0");
    auto& center = pln::PLNNotificationCenter::defaultCenter();
    observers_.push_back(center.addObserver(kBRSApplicationWillBecomeActiveNotification,
                                            [] { BRSUserLoggingRecordInternalKeyValue("com.brisca.in-background", "0"); }));
    observers_.push_back(center.addObserver(kBRSApplicationDidResignActiveNotification,
                                            [] { BRSUserLoggingRecordInternalKeyValue("com.brisca.in-background", "1"); }));
}

void BRSCrashReportingController::processExistingReportPaths(const std::vector<std::string>& paths, bool urgent)
{
    for (const auto& path : paths)
        processExistingActiveReportPath(path, urgent);
}

void BRSCrashReportingController::processExistingActiveReportPath(const std::string& path, bool urgent)
{
    if (BRSReportDirectoryIsLocked(path)) {
        pln::PLNDebugLog("[Brisca:Crash] Leaving the report of a running instance at " + path);
        return;
    }
    auto report = BRSInternalReport::reportWithPath(path);
    if (!report->needsToBeSubmitted()) {
        removeReport(report);
        return;
    }
    auto delegate = delegate_.lock();
    if (delegate)
        delegate->reportingControllerInternalDidDetectReportForLastExecution(report);
    if (urgent && canProcessUrgentReports()) {
        reportsController().prepareAndSubmitReport(report, true, true);
        return;
    }
    if (!delegate) {
        handleDelegateCompletionForReport(report, true);
        return;
    }
    std::weak_ptr<BRSCrashReportingController> weak = weak_from_this();
    delegate->reportingControllerDidDetectReportForLastExecution(report, [weak, report](bool submit) {
        if (auto self = weak.lock())
            self->handleDelegateCompletionForReport(report, submit);
    });
}

void BRSCrashReportingController::handleDelegateCompletionForReport(const std::shared_ptr<BRSInternalReport>& report, bool submit)
{
    enqueue([report, submit](BRSCrashReportingController& self) {
        if (!submit) {
            pln::PLNDebugLog("[Brisca:Crash] Removing report at request of delegate");
            self.removeReport(report);
        } else if (self.needsToPrompt()) {
            self.displayPermissionAlertForReport(report);
        } else {
            self.prepareAndSubmit(report, false, true);
        }
    });
}

void BRSCrashReportingController::displayPermissionAlertForReport(const std::shared_ptr<BRSInternalReport>& report)
{
    const BRSPromptChoice choice = d->promptChoice;
    if (choice != BRSPromptChoice::NotAsked) {
        handlePromptComplete(report, choice != BRSPromptChoice::DontSend, false);
        return;
    }
    // One question at a time: reports found meanwhile follow its answer.
    if (d->prompting) {
        d->awaitingAnswer.push_back(report);
        return;
    }
    d->prompting = true;
    const auto settings = this->settings();
    BRSAlert alert{settings->interactivePromptTitle(), settings->interactivePromptMessage(), {settings->interactivePromptSendTitle()}};
    const std::string alwaysSend = settings->interactivePromptAlwaysSendTitle();
    if (!alwaysSend.empty())
        alert.buttons.push_back(alwaysSend);
    alert.buttons.push_back(settings->interactivePromptCancelTitle());
    pln::PLNDebugLog("[Brisca:Crash] Displaying permission alert");

    const bool hasAlwaysSend = !alwaysSend.empty();
    std::weak_ptr<BRSCrashReportingController> weak = weak_from_this();
    application_.runModalAlert(alert, [weak, report, hasAlwaysSend](std::optional<std::size_t> button) {
        if (auto self = weak.lock())
            self->enqueue([report, hasAlwaysSend, button](BRSCrashReportingController& self) {
                self.d->prompting = false;
                auto waiting = std::exchange(self.d->awaitingAnswer, {});
                if (!button) {
                    pln::PLNLog("[Brisca:Crash] Unable to ask about the reports of earlier launches; they stay for the next launch");
                    return;
                }
                const bool submit = *button != (hasAlwaysSend ? 2u : 1u);
                const bool always = hasAlwaysSend && *button == 1;
                self.d->promptChoice = !submit ? BRSPromptChoice::DontSend : always ? BRSPromptChoice::AlwaysSend : BRSPromptChoice::Send;
                self.handlePromptComplete(report, submit, always);
                for (const auto& later : waiting)
                    self.handlePromptComplete(later, submit, false);
            });
    });
}

void BRSCrashReportingController::handlePromptComplete(const std::shared_ptr<BRSInternalReport>& report, bool submit, bool alwaysSubmit)
{
    enqueue([report, submit, alwaysSubmit](BRSCrashReportingController& self) {
        if (!submit) {
            self.d->promptChoice = BRSPromptChoice::DontSend;
            pln::PLNDebugLog("[Brisca:Crash] Removing report at request of user");
            self.removeReport(report);
            return;
        }
        self.prepareAndSubmit(report, false, true);
        if (alwaysSubmit || self.d->promptChoice != BRSPromptChoice::AlwaysSend)
            self.d->promptChoice = alwaysSubmit ? BRSPromptChoice::AlwaysSend : BRSPromptChoice::Send;
        if (alwaysSubmit)
            pln::PLNLog("should set always submit here");
    });
}

bool BRSCrashReportingController::needsToPrompt()
{
    const BRSPromptChoice choice = d->promptChoice;
    if (choice == BRSPromptChoice::Send || choice == BRSPromptChoice::AlwaysSend)
        return false;
    return settings()->userPromptEnabled();
}

bool BRSCrashReportingController::delegateNeedsToBeInformedOfReports()
{
    auto delegate = delegate_.lock();
    return delegate && delegate->reportingControllerMustInformDelegateOfReports();
}

bool BRSCrashReportingController::canProcessUrgentReports()
{
    return settings()->canProcessUrgentReports() && !needsToPrompt() && !delegateNeedsToBeInformedOfReports();
}

void BRSCrashReportingController::checkForUserPromptSetting()
{
    if (settings()->userPromptEnabled() && !delegateNeedsToBeInformedOfReports())
        pln::PLNLog("[Brisca:Crash] WARNING: the user prompt feature is enabled. As of Brisca 3.0.0, implementing a user prompt is the "
                    "application's responsibility. See Brisca.h's notes about -briscaDidDetectReportForLastExecution:completionHandler:");
}

void BRSCrashReportingController::removeReport(const std::shared_ptr<BRSInternalReport>& report)
{
    fileManager_.removeItemAtPath(report->path());
}

BRSReportsController& BRSCrashReportingController::reportsController()
{
    if (!d->reportsController)
        d->reportsController = std::make_unique<BRSReportsController>(weak_from_this(), d->networkClient, fileManager_);
    return *d->reportsController;
}

void BRSCrashReportingController::prepareAndSubmit(const std::shared_ptr<BRSInternalReport>& report, bool urgent, bool processing)
{
    reportsController().prepareAndSubmitReport(report, urgent, processing);
}

void BRSCrashReportingController::removeHiddenPartialPackages()
{
    // A packaging killed half-way leaves a hidden partial package: it is never sent.
    std::error_code error;
    for (fs::directory_iterator it(fileManager_.preparedPath(), error), end; !error && it != end; it.increment(error))
        if (it->path().filename().string().starts_with("."))
            fs::remove(it->path(), error);
}

void BRSCrashReportingController::handleContentsInOtherReportingDirectories(const std::vector<std::string>& processing,
                                                                            const std::vector<std::string>& prepared)
{
    enqueue([processing](BRSCrashReportingController& self) {
        for (const auto& path : processing)
            self.prepareAndSubmit(BRSInternalReport::reportWithPath(path), false, false);
    });
    std::weak_ptr<BRSCrashReportingController> weak = weak_from_this();
    d->networkClient->attemptToReconnectBackgroundSessionWithCompletionBlock([weak, prepared] {
        if (auto self = weak.lock())
            self->enqueue([prepared](BRSCrashReportingController& self) { self.uploadPreexistingFiles(prepared); });
    });
}

void BRSCrashReportingController::uploadPreexistingFiles(const std::vector<std::string>& paths)
{
    for (const auto& path : paths) {
        std::error_code error;
        if (fs::exists(path, error))
            reportsController().uploadPackagedReportAtPath(path, false);
    }
}

bool BRSCrashReportingController::networkClientCanUseBackgroundSessions(BRSNetworkClient&)
{
    auto delegate = delegate_.lock();
    return delegate && delegate->reportingControllerCanUseBackgroundSessions();
}

void BRSCrashReportingController::networkClientDidFinishUpload(BRSNetworkClient&, const std::string& path, const std::optional<brs::Error>& error)
{
    reportsController().reportUploadAtPathCompletedWithError(path, error);
}

void BRSCrashReportingController::reportsControllerDidCompletePackageSubmission(const std::string& path, const std::optional<brs::Error>& error)
{
    if (!error) {
        d->rejections.erase(path);
        pln::PLNDebugLog("[Brisca:Crash] report submission successful");
        return;
    }
    pln::PLNDebugLog("[Brisca:Crash] report submission failed with error " + error->description());
    BRSSDKLog("%s: Error: failed to submit report '%s'\n", __func__, error->description().c_str());
    const bool refused = error->domain == pln::kPLNNetworkErrorDomain &&
                         (error->code == long(pln::PLNNetworkErrorCode::ClientError) ||
                          error->code == long(pln::PLNNetworkErrorCode::UnexpectedResponse));
    if (refused && ++d->rejections[path] >= kBRSRejectedUploadAttempts) {
        pln::PLNLog("[Brisca:Crash] The service refused the report " + path + " " + std::to_string(d->rejections[path]) +
                    " times; it is kept and tried again at the next launch");
        return;
    }
    retryUploadForReportAtPath(path);
}

void BRSCrashReportingController::retryUploadForReportAtPath(const std::string& path)
{
    std::weak_ptr<BRSCrashReportingController> weak = weak_from_this();
    options_.scheduler->runAfter(kBRSUploadRetryInterval, [weak, path] {
        if (auto self = weak.lock())
            self->enqueue([path](BRSCrashReportingController& self) {
                pln::PLNDebugLog("[Brisca:Crash] re-attempting report submission");
                self.reportsController().uploadPackagedReportAtPath(path, false);
            });
    });
}

void BRSCrashReportingController::deliverCrashDelegateCallback()
{
    if (auto delegate = delegate_.lock())
        delegate->detectedCrash();
}

void BRSCrashReportingController::potentiallySubmittableCrashOccurred()
{
    if (!canProcessUrgentReports())
        return;
    BRSSDKLog("%s: Attempting submission\n", __func__);
    try {
        attemptCurrentReportSubmission();
    } catch (...) {
        BRSSDKLog("%s: Last effort exception\n", __func__);
    }
}

bool BRSCrashReportingController::attemptCurrentReportSubmission()
{
    BRSSDKLog("%s: Attempting to submit the current report\n", __func__);
    const auto active = fileManager_.activePathContents();
    if (active.size() != 1) {
        BRSSDKLog("%s: More than one directory in active - cannot submit\n", __func__);
        return false;
    }
    const std::string copy = active.front() + "-submit";
    std::error_code error;
    fs::copy(active.front(), copy, fs::copy_options::recursive, error);
    if (error) {
        BRSSDKLog("%s: Error: unable to copy report for submission\n", __func__);
        return false;
    }
    return reportsController().prepareAndSubmitReport(BRSInternalReport::reportWithPath(copy), true, true);
}

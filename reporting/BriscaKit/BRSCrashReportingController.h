#pragma once
// Crash reporting for one launch: opens this execution's report directory,
// installs the crash-time handlers, finds the reports earlier executions
// left behind, asks the delegate and the user what to do with each, and has
// the reports controller process, package and upload them, retrying a
// failed upload ten minutes later. A launch marker tells the next launch
// that this one died before its main loop turned.
//
// Each process holds an advisory lock on its own report directory; a
// directory that is locked belongs to a running instance and is never taken
// for an earlier execution.

#include "reporting/BriscaKit/BRSApplication.h"
#include "reporting/BriscaKit/BRSCrashReporterConfiguration.h"
#include "reporting/BriscaKit/Reports/BRSReportsController.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BRSFileManager;
class BRSRuntime;

namespace pln {
class Plinth;
}

class BRSCrashReportingControllerDelegate {
public:
    virtual ~BRSCrashReportingControllerDelegate() = default;
    virtual bool shouldInstallCrashCallback() = 0;
    virtual void detectedCrash() = 0;
    virtual bool reportingControllerCanUseBackgroundSessions() = 0;
    virtual bool reportingControllerMustInformDelegateOfReports() = 0;
    virtual void reportingControllerDidDetectReportForLastExecution(const std::shared_ptr<BRSInternalReport>& report,
                                                                    std::function<void(bool submit)> completion) = 0;
    virtual void reportingControllerInternalDidDetectReportForLastExecution(const std::shared_ptr<BRSInternalReport>& report) = 0;
    virtual bool reportingControllerEnsureDeliveryOfUnixSignal(int signal) = 0;
    virtual std::optional<std::string> APIKeyForCrashReportingController() = 0;
    virtual std::string installIDForCrashReportingController() = 0;
    virtual bool isFirstInstallForCrashReportingController() = 0;
    virtual std::shared_ptr<const BRSSettings> settingsForCrashReportingController() = 0;
};

enum class BRSPromptChoice { NotAsked = 0, DontSend = 1, Send = 2, AlwaysSend = 3 };

// A package the service refuses for good (a client error) is tried this
// many times in one process, then left in "prepared" for a later launch.
inline constexpr int kBRSRejectedUploadAttempts = 3;
inline constexpr double kBRSUploadRetryInterval = 600;

class BRSCrashReportingController : public BRSNetworkClientDelegate,
                                    public BRSReportsControllerDelegate,
                                    public BRSCrashReporterTarget,
                                    public std::enable_shared_from_this<BRSCrashReportingController> {
public:
    static std::shared_ptr<BRSCrashReportingController> create(std::shared_ptr<BRSFileManager> fileManager,
                                                               std::weak_ptr<BRSCrashReportingControllerDelegate> delegate,
                                                               const BRSRuntime& runtime, pln::Plinth& host, BRSApplication& application,
                                                               pln::PLNNetworkOptions options = {});
    ~BRSCrashReportingController() override;

    // Answers whether this execution's report was set up and the handlers installed.
    bool startWithProfilingMark(uint64_t mark, const std::optional<std::string>& betaToken);

    std::shared_ptr<const BRSSettings> settings();
    BRSPromptChoice promptChoice() const;
    const std::shared_ptr<brs::SerialQueue>& operationQueue() const;
    const std::shared_ptr<BRSNetworkClient>& networkClient() const;
    std::string launchFailureMarkerPath() const;
    uint32_t machExceptionMask();

    // BRSNetworkClientDelegate
    bool networkClientCanUseBackgroundSessions(BRSNetworkClient&) override;
    void networkClientDidFinishUpload(BRSNetworkClient&, const std::string& path, const std::optional<brs::Error>& error) override;
    // BRSReportsControllerDelegate
    std::shared_ptr<const BRSSettings> settingsForReportsController() override { return settings(); }
    std::string bundleIdentifierForReportsController() override;
    std::optional<std::string> APIKeyForReportsController() override;
    void reportsControllerDidCompletePackageSubmission(const std::string& path, const std::optional<brs::Error>& error) override;
    // BRSCrashReporterTarget (crash time)
    void potentiallySubmittableCrashOccurred() override;
    void deliverCrashDelegateCallback() override;

private:
    BRSCrashReportingController(std::shared_ptr<BRSFileManager> fileManager, std::weak_ptr<BRSCrashReportingControllerDelegate> delegate,
                                const BRSRuntime& runtime, pln::Plinth& host, BRSApplication& application, pln::PLNNetworkOptions options);

    bool checkPreconditions();
    std::shared_ptr<BRSInternalReport> setupCurrentReport();
    bool startCrashReporter(const std::optional<std::string>& betaToken, const BRSInternalReport& report);
    void setupStateNotifications();
    bool checkForAndCreateLaunchMarker();
    bool createLaunchFailureMarker();
    void processExistingReportPaths(const std::vector<std::string>& paths, bool urgent);
    void processExistingActiveReportPath(const std::string& path, bool urgent);
    void handleDelegateCompletionForReport(const std::shared_ptr<BRSInternalReport>& report, bool submit);
    void displayPermissionAlertForReport(const std::shared_ptr<BRSInternalReport>& report);
    void handlePromptComplete(const std::shared_ptr<BRSInternalReport>& report, bool submit, bool alwaysSubmit);
    void removeHiddenPartialPackages();
    void handleContentsInOtherReportingDirectories(const std::vector<std::string>& processing, const std::vector<std::string>& prepared);
    void uploadPreexistingFiles(const std::vector<std::string>& paths);
    void retryUploadForReportAtPath(const std::string& path);
    void removeReport(const std::shared_ptr<BRSInternalReport>& report);
    void prepareAndSubmit(const std::shared_ptr<BRSInternalReport>& report, bool urgent, bool processing);
    bool needsToPrompt();
    bool delegateNeedsToBeInformedOfReports();
    bool canProcessUrgentReports();
    void checkForUserPromptSetting();
    bool attemptCurrentReportSubmission();
    BRSReportsController& reportsController();
    // Runs work as one operation on the work queue, holding this controller.
    void enqueue(std::function<void(BRSCrashReportingController&)> work);

    std::shared_ptr<BRSFileManager> fileManagerHeld_;
    BRSFileManager& fileManager_;
    std::weak_ptr<BRSCrashReportingControllerDelegate> delegate_;
    const BRSRuntime& runtime_;
    pln::Plinth& host_;
    BRSApplication& application_;
    pln::PLNNetworkOptions options_;
    // The work queue and what runs on it, and the settings behind their lock.
    struct Private;
    std::unique_ptr<Private> d;
    std::vector<std::shared_ptr<void>> observers_;
    std::shared_ptr<BRSInternalReport> currentReport_;
    int reportLock_ = -1;
};

// Whether another running process holds the lock of a report directory.
bool BRSReportDirectoryIsLocked(const std::string& path);
// Takes the lock of a report directory for this process; answers its descriptor.
int BRSLockReportDirectory(const std::string& path);

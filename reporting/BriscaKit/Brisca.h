#pragma once
// Front of the reporting kit: the one object through which the application
// starts crash reporting and the usage-event log, sets the user's identity
// and custom keys, records errors, custom exceptions and usage events, and
// hears about crashes. It is a kit of the host: the host starts it once.

#include "reporting/BriscaKit/BRSApplication.h"
#include "reporting/BriscaKit/BRSBetaController.h"
#include "reporting/BriscaKit/BRSCrashReportingController.h"
#include "reporting/BriscaKit/Reports/BRSReport.h"
#include "reporting/BriscaKit/BRSStackFrame.h"
#include "reporting/BriscaKit/BRSUserLogging.h"
#include "reporting/Plinth/Plinth.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BRSAnalyticsController;
class BRSFileManager;
class BRSRuntime;

// The application's delegate: every member is optional, and an empty one is
// never called.
struct BriscaDelegate {
    // A report of an earlier run was found; call the completion once, with
    // whether to submit it.
    std::function<void(std::shared_ptr<BRSReport>, std::function<void(bool submit)>)> didDetectReportForLastExecution;
    std::function<bool()> canUseBackgroundSessions;
    // On the crashing thread, after the crash was recorded.
    std::function<void()> didDetectCrash;
    // Whether the signal must still reach the process as a signal.
    std::function<bool(int signal)> ensureDeliveryOfUnixSignal;
    // Older forms of the report callback, called on the main thread.
    std::function<void(std::shared_ptr<BRSReport>)> didDetectCrashDuringPreviousExecutionWithReport;
    std::function<void()> didDetectCrashDuringPreviousExecution;
};

// What a kit runs with. The shared kit uses the process's host, the kit's
// own runtime and defaults store, and a headless application until the
// application gives its own.
struct BriscaEnvironment {
    pln::Plinth* host = nullptr;
    const BRSRuntime* runtime = nullptr;
    BRSApplication* application = nullptr;
    pln::BRSUserDefaults* store = nullptr;
    pln::PLNNetworkOptions network;
};

struct BRSLogLine {
    std::uint64_t millisecondsSinceStart;
    std::string message;
};

class Brisca : public pln::PLNKit,
               public BRSCrashReportingControllerDelegate,
               public BRSBetaControllerDelegate,
               public std::enable_shared_from_this<Brisca> {
public:
    static Brisca* sharedInstance();
    // Sets the application's kit environment for the shared kit; before the start.
    static void setSharedEnvironment(BriscaEnvironment environment);
    static Brisca* startWithAPIKey(const std::string& apiKey, std::shared_ptr<BriscaDelegate> delegate = nullptr);
    static Brisca* startWithAPIKeyAfterDelay(const std::string& apiKey, float delay, std::shared_ptr<BriscaDelegate> delegate = nullptr);

    // A kit of its own, for a host of the caller's choice.
    static std::shared_ptr<Brisca> create(BriscaEnvironment environment);
    ~Brisca() override;
    // Sets the delegate and the key on the host and registers with it, which starts the kit once.
    Brisca* startWith(const std::string& apiKey, std::shared_ptr<BriscaDelegate> delegate);

    // PLNKit
    std::string className() const override { return "Brisca"; }
    void start() override;
    std::optional<std::string> version() const override;
    std::optional<std::string> bundleIdentifier() const override;
    nlohmann::json kitInfo() const override { return nullptr; }
    void setKitInfo(nlohmann::json) override {}

    std::optional<std::string> APIKey();
    std::string installID();
    bool isFirstInstall();
    bool isBriscaStarted() const;
    void setDebugMode(bool);
    bool debugMode() const;
    void setDelegate(std::shared_ptr<BriscaDelegate> delegate);
    std::shared_ptr<BriscaDelegate> delegate() const;

    [[noreturn]] void crash();
    [[noreturn]] void throwException();

    void setUserIdentifier(const std::string& value);
    void setUserName(const std::string& value);
    void setUserEmail(const std::string& value);
    // A custom key of this run's report; an absent value is recorded as absent.
    void setObjectValue(const std::optional<std::string>& value, const std::string& key);
    void setIntValue(long long value, const std::string& key) { setObjectValue(std::to_string(value), key); }
    void setBoolValue(bool value, const std::string& key) { setObjectValue(value ? "1" : "0", key); }
    void setFloatValue(float value, const std::string& key);
    void setDevelopmentPlatformName(const std::string& value);
    void setDevelopmentPlatformVersion(const std::string& value);

    void recordError(const std::string& domain, int64_t code, const BRSUserInfo& userInfo = {}, const BRSUserInfo& additionalInfo = {});
    void recordCustomExceptionName(const std::string& name, const std::string& reason, const std::vector<BRSStackFrame>& frames);
    // A web view's script error, as its message body.
    void recordScriptMessage(const nlohmann::json& body);

    void logEvent(const std::string& name, const nlohmann::json& attributes = nullptr);

    // Used by BRSUserLoggingLog.
    void recordLogMessage(const std::string& message);
    // What this run's report holds so far, read back from its files.
    std::vector<BRSLogLine> logLines() const;
    std::map<std::string, std::optional<std::string>> customKeys() const;

    const std::shared_ptr<BRSCrashReportingController>& crashReportingController() const { return crashReportingController_; }
    const std::shared_ptr<BRSAnalyticsController>& analyticsController() const { return analyticsController_; }
    const std::shared_ptr<BRSBetaController>& betaController() const { return betaController_; }

    // BRSCrashReportingControllerDelegate
    bool shouldInstallCrashCallback() override;
    void detectedCrash() override;
    bool reportingControllerCanUseBackgroundSessions() override;
    bool reportingControllerMustInformDelegateOfReports() override;
    void reportingControllerDidDetectReportForLastExecution(const std::shared_ptr<BRSInternalReport>& report,
                                                            std::function<void(bool)> completion) override;
    void reportingControllerInternalDidDetectReportForLastExecution(const std::shared_ptr<BRSInternalReport>& report) override;
    bool reportingControllerEnsureDeliveryOfUnixSignal(int signal) override;
    std::optional<std::string> APIKeyForCrashReportingController() override { return APIKey(); }
    std::string installIDForCrashReportingController() override { return installID(); }
    bool isFirstInstallForCrashReportingController() override { return isFirstInstall(); }
    std::shared_ptr<const BRSSettings> settingsForCrashReportingController() override;
    // BRSBetaControllerDelegate
    std::optional<std::string> APIKeyForBetaController() override { return APIKey(); }
    std::shared_ptr<const BRSSettings> settingsForBetaController() override { return settingsForCrashReportingController(); }

private:
    explicit Brisca(BriscaEnvironment environment);

    BriscaEnvironment environment_;
    // The start's once-flag, the delegate and the crashes waiting for the usage-event controller.
    struct Private;
    std::unique_ptr<Private> d;
    std::shared_ptr<BRSFileManager> fileManager_;
    std::shared_ptr<BRSCrashReportingController> crashReportingController_;
    std::shared_ptr<BRSAnalyticsController> analyticsController_;
    std::shared_ptr<BRSBetaController> betaController_;
};

// printf-style: formats its arguments into one log line of this run's report.
// Nothing is recorded for a null format or before the kit has started.
void BRSUserLoggingLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The kit's runtime over the host's view of the application and the system.
const BRSRuntime& BRSKitRuntime();

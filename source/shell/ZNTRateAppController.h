#pragma once
// Asks the user, once the application has been in use for three days and
// three launches and the network is up, to rate it in the store; remembers
// the answer in the user defaults.

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace tolvan {

class Reachability;
class UserDefaults;
class NetworkStatusSource;

enum class RatePromptAnswer { RateIt, NoThanks };

class ZNTRateAppController {
public:
    // What the controller uses of the world; tests pass their own.
    struct Environment {
        UserDefaults* defaults = nullptr;
        QVariantMap infoDictionary;
        QString bundlePath;
        std::shared_ptr<NetworkStatusSource> network;  // null: the machine's own
        std::function<QDateTime()> now;
        std::function<RatePromptAnswer(const QString& message, const QString& informative)> ask;
        std::function<void(const QUrl&)> openURL;
    };

    // The application's one controller, made on first use.
    static ZNTRateAppController& sharedRateAppController();
    explicit ZNTRateAppController(Environment environment);
    ~ZNTRateAppController();

    void updateCounters();
    bool shouldShowRateRequest() const;
    void showRateRequestDialogIfNeeded();
    void showRateRequestDialog();

    void rateApp();
    void dontRateApp() { markAppAsRated(); }
    void markAppAsRated();
    void dontAskAgain();
    void resetAllRateRequestParameters();
    void forceRateRequestAtNextOpportunity();
    void logRateRequestParameters() const;

    QString currentAppVersion() const;
    bool connectedToNetwork() const;
    static int compareVersion(const QString& a, const QString& b);

    const QUrl& storeUrl() const { return storeUrl_; }
    const QString& applicationName() const { return applicationName_; }

    static constexpr double launchTimeThreshold = 259200.0;  // three days, in seconds
    static constexpr qint64 launchCountThreshold = 3;

private:
    void initZNTRateAppControllerMembers();

    Environment environment_;
    QUrl storeUrl_;
    QString applicationName_;
    std::unique_ptr<Reachability> reachability_;
};

}  // namespace tolvan

#include "source/shell/ZNTRateAppController.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/Version.h"
#include "source/shell/reachability/Reachability.h"
#include "source/shell/TolvanMainWindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace tolvan {

namespace {


QString text(const QString& key) { return Localizer::main().string(key, {}, QStringLiteral("ZNTRateApp")); }

RatePromptAnswer askWithAlert(const QString& message, const QString& informative)
{
    QMessageBox alert(QMessageBox::Question, QString(), message, QMessageBox::NoButton, mainWindowForAlerts());
    alert.setInformativeText(informative);
    QPushButton* rate = alert.addButton(text(QStringLiteral("Rate It!")), QMessageBox::AcceptRole);
    alert.addButton(text(QStringLiteral("No Thanks")), QMessageBox::RejectRole);
    alert.setDefaultButton(rate);
    alert.exec();
    return alert.clickedButton() == rate ? RatePromptAnswer::RateIt : RatePromptAnswer::NoThanks;
}

}  // namespace

ZNTRateAppController& ZNTRateAppController::sharedRateAppController()
{
    static ZNTRateAppController* controller = new ZNTRateAppController({
        &UserDefaults::standard(),
        Bundle::main().infoDictionary(),
        QCoreApplication::applicationDirPath(),
        nullptr,
        [] { return QDateTime::currentDateTimeUtc(); },
        &askWithAlert,
        [](const QUrl& url) { QDesktopServices::openUrl(url); },
    });
    return *controller;
}

ZNTRateAppController::ZNTRateAppController(Environment environment) : environment_(std::move(environment))
{
    initZNTRateAppControllerMembers();
}

ZNTRateAppController::~ZNTRateAppController() = default;

void ZNTRateAppController::initZNTRateAppControllerMembers()
{
    const QVariantMap& info = environment_.infoDictionary;
    storeUrl_ = QUrl(info.value(QStringLiteral("ZNTRateAppStoreURL")).toString());
    if (storeUrl_.isEmpty())
        qWarning("No store URL was found in the info.plist");
    applicationName_ = info.value(QStringLiteral("CFBundleDisplayName")).toString();
    if (applicationName_.isEmpty())
        applicationName_ = info.value(QStringLiteral("CFBundleName")).toString();
    if (applicationName_.isEmpty())
        applicationName_ = QFileInfo(environment_.bundlePath).fileName();
    // The store's own host when there is a store, else any route to the internet.
    reachability_ = storeUrl_.host().isEmpty() ? Reachability::reachabilityForInternetConnection(environment_.network)
                                               : Reachability::reachabilityWithHostName(storeUrl_.host(), environment_.network);
}

void ZNTRateAppController::updateCounters()
{
    UserDefaults& defaults = *environment_.defaults;
    if (!defaults.contains(settings::rateFirstLaunch))
        defaults.setValue(settings::rateFirstLaunch, environment_.now());
    const qint64 count = defaults.value(settings::rateLaunchCount);
    if (!defaults.value(settings::rateDontAskAgain) && !defaults.value(settings::rateDidRate))
        defaults.setValue(settings::rateLaunchCount, count + 1);
    else if (count > launchCountThreshold)
        defaults.setValue(settings::rateLaunchCount, 0);
    defaults.synchronize();
}

bool ZNTRateAppController::shouldShowRateRequest() const
{
    const UserDefaults& defaults = *environment_.defaults;
    if (defaults.value(settings::rateDontAskAgain))
        return false;
    // An answer holds for the version it was given in; a newer version may ask again.
    if (defaults.value(settings::rateDidRate) && compareVersion(currentAppVersion(), defaults.value(settings::rateLastRatedVersion)) <= 0)
        return false;
    if (!connectedToNetwork())
        return false;
    const QDateTime firstLaunch = defaults.value(settings::rateFirstLaunch);
    if (!firstLaunch.isValid() || firstLaunch.msecsTo(environment_.now()) / 1000.0 < launchTimeThreshold)
        return false;
    return defaults.value(settings::rateLaunchCount) >= launchCountThreshold;
}

void ZNTRateAppController::showRateRequestDialogIfNeeded()
{
    if (shouldShowRateRequest())
        showRateRequestDialog();
}

void ZNTRateAppController::showRateRequestDialog()
{
    const RatePromptAnswer answer = environment_.ask(text(QStringLiteral("Do you like %1?")).arg(applicationName_),
                                                     text(QStringLiteral("Please rate it in the App Store!")));
    if (answer == RatePromptAnswer::RateIt)
        rateApp();
    else
        dontRateApp();
}

void ZNTRateAppController::rateApp()
{
    if (storeUrl_.isEmpty()) {
        qWarning("ZNTRateAppController no rating URL specified");
        return;
    }
    environment_.openURL(storeUrl_);
    markAppAsRated();
}

void ZNTRateAppController::markAppAsRated()
{
    UserDefaults& defaults = *environment_.defaults;
    defaults.setValue(settings::rateDidRate, true);
    defaults.setValue(settings::rateLastRatedVersion, currentAppVersion());
    defaults.setValue(settings::rateLaunchCount, 0);
    defaults.synchronize();
}

void ZNTRateAppController::dontAskAgain()
{
    environment_.defaults->setValue(settings::rateDontAskAgain, true);
    environment_.defaults->setValue(settings::rateLaunchCount, 0);
}

void ZNTRateAppController::resetAllRateRequestParameters()
{
    for (const SettingKey* setting : std::initializer_list<const SettingKey*>{
             &settings::rateFirstLaunch, &settings::rateLaunchCount, &settings::rateDontAskAgain, &settings::rateDidRate,
             &settings::rateLastRatedVersion})
        environment_.defaults->remove(*setting);
    environment_.defaults->synchronize();
}

void ZNTRateAppController::forceRateRequestAtNextOpportunity()
{
    UserDefaults& defaults = *environment_.defaults;
    defaults.remove(settings::rateLastRatedVersion);
    defaults.remove(settings::rateDontAskAgain);
    defaults.remove(settings::rateFirstLaunch);
    defaults.setValue(settings::rateFirstLaunch, environment_.now().addMSecs(qint64(-1.1 * launchTimeThreshold * 1000)));
    defaults.setValue(settings::rateLaunchCount, launchCountThreshold + 1);
    defaults.remove(settings::rateDidRate);
    defaults.synchronize();
}

void ZNTRateAppController::logRateRequestParameters() const
{
    const UserDefaults& defaults = *environment_.defaults;
    qInfo().noquote() << QStringLiteral("Rate Request, first launch %1, launch count %2, did rate app %3, don't ask again %4, last rated version %5")
                             .arg(defaults.value(settings::rateFirstLaunch).toString(Qt::ISODate))
                             .arg(defaults.value(settings::rateLaunchCount))
                             .arg(int(defaults.value(settings::rateDidRate)))
                             .arg(int(defaults.value(settings::rateDontAskAgain)))
                             .arg(defaults.value(settings::rateLastRatedVersion));
}

QString ZNTRateAppController::currentAppVersion() const
{
    return environment_.infoDictionary.value(QStringLiteral("CFBundleVersion")).toString();
}

bool ZNTRateAppController::connectedToNetwork() const
{
    return reachability_ && reachability_->currentReachabilityStatus() != NetworkStatus::NotReachable;
}

int ZNTRateAppController::compareVersion(const QString& a, const QString& b) { return compareVersions(a, b); }

}  // namespace tolvan

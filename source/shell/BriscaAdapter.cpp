#include "source/shell/BriscaAdapter.h"

#include "reporting/BriscaKit/Brisca.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Localizer.h"
#include "source/shell/ApplicationIcon.h"
#include "source/shell/TolvanMainWindow.h"

#include "reporting/BRSURLSession/ServerTrust.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

namespace tolvan {

BriscaAdapter& BriscaAdapter::shared()
{
    static auto* adapter = new BriscaAdapter;  // lives as long as the application
    return *adapter;
}

BriscaAdapter::BriscaAdapter()
{
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        active_ = application->applicationState() == Qt::ApplicationActive;
        connect(application, &QGuiApplication::applicationStateChanged, this, &BriscaAdapter::applicationStateChanged);
    }
    if (auto* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this,
                [] { pln::PLNNotificationCenter::defaultCenter().post(kBRSApplicationWillTerminateNotification); });
}

void BriscaAdapter::applicationStateChanged(Qt::ApplicationState state)
{
    const bool active = state == Qt::ApplicationActive;
    if (active == active_)
        return;
    active_ = active;
    auto& center = pln::PLNNotificationCenter::defaultCenter();
    if (active) {
        center.post(kBRSApplicationWillBecomeActiveNotification);
        center.post(kBRSApplicationDidBecomeActiveNotification);
    } else {
        center.post(kBRSApplicationWillResignActiveNotification);
        center.post(kBRSApplicationDidResignActiveNotification);
    }
}

void BriscaAdapter::installKitEnvironment()
{
    pln::PLNEnvironment environment;
    environment.infoDictionary =
        nlohmann::json::parse(QJsonDocument(QJsonObject::fromVariantMap(Bundle::main().infoDictionary())).toJson().toStdString(), nullptr, false);
    if (environment.infoDictionary.is_discarded())
        environment.infoDictionary = nlohmann::json::object();
    environment.dataFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString();
    environment.cacheFolder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation).toStdString();
    environment.configFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
    environment.localeIdentifier = QLocale().name().toStdString();
    // The service shows the application's record with its icon.
    if (const QByteArray png = applicationIconPNG(); !png.isEmpty())
        environment.icon = pln::PLNIconImage{png.toStdString(), double(kKitIconPoints), double(kKitIconPoints)};
    pln::PLNSetEnvironment(std::move(environment));
}

void BriscaAdapter::startKit(const std::string& apiKey)
{
    installKitEnvironment();
    BriscaEnvironment environment;
    environment.application = this;
    // Tests point the kit at a local service whose root it must trust.
    if (const QString rootPath = qEnvironmentVariable("TOLVAN_TEST_KIT_ROOT"); !rootPath.isEmpty()) {
        QFile rootFile(rootPath);
        if (rootFile.open(QIODevice::ReadOnly))
            if (auto root = brs::Certificate::fromPEM(rootFile.readAll().toStdString()))
                environment.network.pinnedCertificates = {root};
    }
    Brisca::setSharedEnvironment(environment);
    Brisca::startWithAPIKey(apiKey);
}

void BriscaAdapter::dispatchMain(std::function<void()> work) { tolvan::dispatchMain(std::move(work)); }

void BriscaAdapter::runModalAlert(const BRSAlert& alert, std::function<void(std::optional<std::size_t>)> completion)
{
    if (alert.buttons.empty()) {
        completion(std::nullopt);
        return;
    }
    tolvan::dispatchMain([alert, completion = std::move(completion)] {
        QMessageBox box(mainWindowForAlerts());
        box.setIcon(QMessageBox::Warning);
        box.setText(QString::fromStdString(alert.messageText));
        box.setInformativeText(QString::fromStdString(alert.informativeText));
        std::vector<QAbstractButton*> buttons;
        for (const auto& title : alert.buttons)
            buttons.push_back(box.addButton(QString::fromStdString(title), buttons.empty() ? QMessageBox::AcceptRole : QMessageBox::ActionRole));
        if (!buttons.empty())
            box.setDefaultButton(static_cast<QPushButton*>(buttons.front()));
        box.exec();
        const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
        // Closing the box without a button is the last button: don't send.
        completion(chosen == buttons.end() ? buttons.size() - 1 : std::size_t(chosen - buttons.begin()));
    });
}

std::string BriscaAdapter::localizedString(const std::string& table, const std::string& key, const std::string& fallback)
{
    // The strings table answers the key itself when it has no text and no default.
    static const QString missing = QStringLiteral("\x1f");
    const QString text = Localizer::main().string(QString::fromStdString(key), missing, QString::fromStdString(table));
    return text == missing ? fallback : text.toStdString();
}

}  // namespace tolvan

// The adapter between the application and the reporting kit: life-cycle
// events become the kit's notifications, and the send prompt is a message
// box on the main thread whose answer goes back to the kit, and the kit
// sends the application's icon to a reporting service on 127.0.0.1.
#include "source/shell/BriscaAdapter.h"

#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNIdentity.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "reporting/Plinth/PLNSettingsOnboardingManager.h"
#include "tests/support/EventLoop.h"
#include "tests/support/reporting/FakeReportingService.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <mutex>

using tolvan::BriscaAdapter;

namespace {

class Recorder {
public:
    Recorder()
    {
        for (const char* name : {kBRSApplicationWillBecomeActiveNotification, kBRSApplicationDidBecomeActiveNotification,
                                 kBRSApplicationWillResignActiveNotification, kBRSApplicationDidResignActiveNotification,
                                 kBRSApplicationWillTerminateNotification})
            tokens_.push_back(pln::PLNNotificationCenter::defaultCenter().addObserver(name, [this, name] {
                std::lock_guard lock(mutex_);
                names_.push_back(name);
            }));
    }
    std::vector<std::string> names()
    {
        std::lock_guard lock(mutex_);
        return names_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> names_;
    std::vector<pln::PLNNotificationCenter::Token> tokens_;
};

}  // namespace

TEST(BriscaAdapterTest, ApplicationStatesBecomeTheKitsLifeCycleNotifications)
{
    BriscaAdapter::shared();
    Recorder recorder;
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    emit qApp->applicationStateChanged(Qt::ApplicationActive);  // no change: nothing
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    emit qApp->applicationStateChanged(Qt::ApplicationHidden);  // still not active: nothing
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    const std::vector<std::string> resignThenBecome{kBRSApplicationWillResignActiveNotification, kBRSApplicationDidResignActiveNotification,
                                                    kBRSApplicationWillBecomeActiveNotification, kBRSApplicationDidBecomeActiveNotification};
    const auto names = recorder.names();
    // The offscreen platform may have made the application active already.
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(names.end() - 4, names.end()), resignThenBecome);
    EXPECT_TRUE(names.size() == 4 || names.size() == 6) << names.size();
}

TEST(BriscaAdapterTest, ThePromptIsAMessageBoxWhoseButtonGoesBackToTheKit)
{
    BRSAlert alert{"Send Crash Report?", "Looks like we crashed! Please help us fix the problem by sending a crash report.",
                   {"Send", "Always Send", "Don't Send"}};
    std::optional<std::optional<std::size_t>> answer;
    QStringList shownButtons;
    QString shownText;
    QTimer::singleShot(100, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shownText = box->text() + "|" + box->informativeText();
        for (auto* button : box->buttons())
            shownButtons << button->text();
        for (qreal dpr : {1.0, 2.0}) {
            QImage image(box->size() * dpr, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(dpr);
            image.fill(Qt::white);
            box->render(&image);
            image.save(QDir(BRISCA_PROMPT_DIR).filePath(QString("send-prompt@%1x.png").arg(int(dpr))));
        }
        for (auto* button : box->buttons())
            if (button->text() == "Always Send")
                button->click();
    });
    BriscaAdapter::shared().runModalAlert(alert, [&](std::optional<std::size_t> button) { answer = button; });
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, std::optional<std::size_t>(1));
    EXPECT_EQ(shownText.toStdString(), alert.messageText + "|" + alert.informativeText);
    EXPECT_EQ(shownButtons.size(), 3);
    EXPECT_TRUE(shownButtons.contains("Don't Send"));
}

TEST(BriscaAdapterTest, StringsWithoutATranslationKeepTheirFallbackEvenWhenEmpty)
{
    auto& adapter = BriscaAdapter::shared();
    EXPECT_EQ(adapter.localizedString("Brisca", "BriscaCrashSubmissionPromptTitle", "Send Crash Report?"), "Send Crash Report?");
    EXPECT_EQ(adapter.localizedString("Brisca", "BriscaCrashSubmissionAlwaysSendTitle", ""), "");
}

TEST(BriscaAdapterTest, MainThreadWorkRunsOnTheMainThread)
{
    std::optional<bool> onMain;
    std::thread([&] { BriscaAdapter::shared().dispatchMain([&] { onMain = QThread::currentThread() == qApp->thread(); }); }).join();
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return onMain.has_value(); }));
    EXPECT_TRUE(*onMain);
}

TEST(BriscaAdapterTest, TheKitSendsTheApplicationsIconWithItsSettingsRequestAndItsRecord)
{
    const auto& pki = reportingtest::KitTestPKI::shared();
    QTemporaryDir scratch;
    pki.installTrustedRootAsSystemStore(scratch.path().toStdString());
    reportingtest::FakeReportingService service{pki.pinnedLeaf};
    setenv("SettingsEndpoint", service.baseURL().c_str(), 1);
    setenv("ConfigureEndpoint", service.baseURL().c_str(), 1);
    BriscaAdapter::installKitEnvironment();
    pln::PLNEnvironment environment = *pln::PLNCurrentEnvironment();
    environment.cacheFolder = scratch.filePath("cache").toStdString();  // the settings file goes here
    pln::PLNSetEnvironment(environment);
    const std::string app = "/spi/v2/platforms/mac/apps/" + environment.infoDictionary.value("CFBundleIdentifier", std::string()) + "/settings";
    // The service has no record of the application: the kit makes one.
    service.script("GET", app, {reportingtest::ScriptedAnswer{200, R"({"app":{"status":"new"}})"}});
    service.script("POST", "/spi/v1/platforms/mac/apps", {reportingtest::ScriptedAnswer{200, "{}"}});

    auto manager = std::make_shared<pln::PLNSettingsOnboardingManager>(pln::PLNApplicationIdentiferModel::initWithInstallID("INSTALL-ID"),
                                                                        std::nullopt, pln::PLNNetworkOptions{{pki.pinnedRoot.certificate}});
    manager->beginSettingsAndOnboardingOperationsWithAPIKey(std::string(40, 'a'), {});
    const bool onboarded = QTest::qWaitFor([&] { return service.requestCount("POST", "/spi/v1/platforms/mac/apps") > 0; }, 20000);
    unsetenv("SettingsEndpoint");
    unsetenv("ConfigureEndpoint");
    pln::PLNSetEnvironment(pln::PLNEnvironment{});
    ASSERT_TRUE(onboarded);

    std::optional<std::string> iconHash;
    std::map<std::string, reportingtest::RecordedPart> iconParts;
    for (const auto& request : service.requests()) {
        if (const auto hash = request.query.find("icon_hash"); request.path == app && hash != request.query.end())
            iconHash = hash->second;
        for (const auto& part : request.parts)
            if (part.name.starts_with("app[icon]"))
                iconParts[part.name] = part;
    }
    ASSERT_TRUE(iconHash) << "the settings request names the icon";
    ASSERT_TRUE(iconParts.contains("app[icon][data]")) << "the record carries the icon";
    const reportingtest::RecordedPart& data = iconParts["app[icon][data]"];
    EXPECT_EQ(data.fileName, "icon.png");
    EXPECT_EQ(data.contentType, "image/png");
    const QImage picture = QImage::fromData(QByteArray::fromStdString(data.data), "PNG");
    ASSERT_EQ(picture.size(), QSize(256, 256));
    EXPECT_GT(qAlpha(picture.pixel(128, 128)), 0) << "the picture is drawn, not blank";
    EXPECT_EQ(QCryptographicHash::hash(QByteArray::fromStdString(data.data), QCryptographicHash::Sha1).toHex().toStdString(), *iconHash);
    EXPECT_EQ(iconParts["app[icon][hash]"].data, *iconHash);
    EXPECT_EQ(iconParts["app[icon][width]"].data, "256");
    EXPECT_EQ(iconParts["app[icon][height]"].data, "256");
}

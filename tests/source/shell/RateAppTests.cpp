#include "source/shell/ZNTRateAppController.h"

#include "platform/foundation/UserDefaults.h"
#include "source/shell/reachability/Reachability.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;

namespace {

class FakeNetwork final : public NetworkStatusSource {
public:
    NetworkSnapshot snapshot() const override { return up ? NetworkSnapshot{SystemReachability::Online, {}} : NetworkSnapshot{}; }
    bool up = true;
};

constexpr qint64 day = 24 * 3600;

class RateAppTest : public ::testing::Test {
protected:
    ZNTRateAppController makeController(QVariantMap info = {{"CFBundleName", "Tolvan"}, {"CFBundleVersion", "1.2"},
                                                            {"ZNTRateAppStoreURL", "https://store.example.com/tolvan"}})
    {
        return ZNTRateAppController({&defaults, info, "/opt/Applications/Tolvan", network, [this] { return now; },
                                     [this](const QString& message, const QString&) {
                                         asked << message;
                                         return answer;
                                     },
                                     [this](const QUrl& url) { opened << url; }});
    }

    // One launch, some days after the one before.
    void launch(ZNTRateAppController& controller, qint64 daysLater = 0)
    {
        now = now.addSecs(daysLater * day);
        controller.updateCounters();
        controller.showRateRequestDialogIfNeeded();
    }

    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.ini")};
    std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>();
    QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    RatePromptAnswer answer = RatePromptAnswer::NoThanks;
    QStringList asked;
    QList<QUrl> opened;
};

}  // namespace

TEST_F(RateAppTest, AsksFromTheThirdLaunchOnceThreeDaysHavePassed)
{
    ZNTRateAppController controller = makeController();
    launch(controller);
    launch(controller, 4);
    EXPECT_TRUE(asked.isEmpty());  // four days, but two launches
    launch(controller, 0);
    EXPECT_EQ(asked, QStringList{"Do you like Tolvan?"});
}

TEST_F(RateAppTest, ThreeLaunchesWithinThreeDaysAreNotEnough)
{
    ZNTRateAppController controller = makeController();
    launch(controller);
    launch(controller, 1);
    launch(controller, 1);
    now = now.addSecs(day - 1);  // one second short of three days
    controller.showRateRequestDialogIfNeeded();
    EXPECT_TRUE(asked.isEmpty());
    now = now.addSecs(1);
    controller.showRateRequestDialogIfNeeded();
    EXPECT_EQ(asked.size(), 1);
}

TEST_F(RateAppTest, NeverAsksWithTheNetworkDown)
{
    ZNTRateAppController controller = makeController();
    controller.forceRateRequestAtNextOpportunity();
    network->up = false;
    EXPECT_FALSE(controller.connectedToNetwork());
    EXPECT_FALSE(controller.shouldShowRateRequest());
    network->up = true;
    EXPECT_TRUE(controller.shouldShowRateRequest());
}

TEST_F(RateAppTest, AnAnswerStopsTheCountUntilANewerVersion)
{
    ZNTRateAppController controller = makeController();
    for (int i = 0; i < 4; ++i)
        launch(controller, 2);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(defaults.integerValue("ZNTRateAppLaunchCount", -1), 0);
    EXPECT_TRUE(defaults.boolValue("ZNTRateAppDidRateApp"));
    EXPECT_EQ(defaults.stringValue("ZNTRateAppLastRatedVersion"), "1.2");
    for (int i = 0; i < 5; ++i)
        launch(controller, 2);
    EXPECT_EQ(defaults.integerValue("ZNTRateAppLaunchCount", -1), 0);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_TRUE(opened.isEmpty());

    // The same defaults under version 1.10: answered for 1.2, so it may ask again.
    ZNTRateAppController newer = makeController({{"CFBundleName", "Tolvan"}, {"CFBundleVersion", "1.10"}});
    defaults.setValue("ZNTRateAppLaunchCount", 3);
    EXPECT_TRUE(newer.shouldShowRateRequest());
    ZNTRateAppController older = makeController({{"CFBundleName", "Tolvan"}, {"CFBundleVersion", "1.2.0"}});
    EXPECT_FALSE(older.shouldShowRateRequest());
}

TEST_F(RateAppTest, RatingOpensTheStoreAndDecliningForGoodNeverAsks)
{
    answer = RatePromptAnswer::RateIt;
    ZNTRateAppController controller = makeController();
    controller.forceRateRequestAtNextOpportunity();
    EXPECT_EQ(defaults.integerValue("ZNTRateAppLaunchCount"), 4);
    controller.showRateRequestDialogIfNeeded();
    EXPECT_EQ(opened, QList<QUrl>{QUrl("https://store.example.com/tolvan")});
    EXPECT_FALSE(controller.shouldShowRateRequest());

    controller.forceRateRequestAtNextOpportunity();
    EXPECT_TRUE(controller.shouldShowRateRequest());
    controller.dontAskAgain();
    EXPECT_FALSE(controller.shouldShowRateRequest());
    EXPECT_EQ(defaults.integerValue("ZNTRateAppLaunchCount", -1), 0);

    controller.resetAllRateRequestParameters();
    for (const char* key : {"ZNTRateAppFirstLaunch", "ZNTRateAppLaunchCount", "ZNTRateAppDontAskAgain", "ZNTRateAppDidRateApp",
                            "ZNTRateAppLastRatedVersion"})
        EXPECT_FALSE(defaults.contains(key)) << key;
}

TEST_F(RateAppTest, WithoutAStoreAddressRatingChangesNothing)
{
    answer = RatePromptAnswer::RateIt;
    ZNTRateAppController controller = makeController({{"CFBundleVersion", "1"}});
    EXPECT_EQ(controller.applicationName(), "Tolvan");  // the copy's folder name
    controller.forceRateRequestAtNextOpportunity();
    controller.showRateRequestDialog();
    EXPECT_EQ(asked, QStringList{"Do you like Tolvan?"});
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_FALSE(defaults.boolValue("ZNTRateAppDidRateApp"));
}

TEST(RateAppVersionTest, VersionsCompareByNumbers)
{
    EXPECT_EQ(ZNTRateAppController::compareVersion("2", "10"), -1);
    EXPECT_EQ(ZNTRateAppController::compareVersion("1.0.0", "1"), 0);
    EXPECT_EQ(ZNTRateAppController::compareVersion("1.10", "1.9"), 1);
}

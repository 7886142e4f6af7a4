#include "source/shell/reachability/Reachability.h"

#include "platform/foundation/NotificationCenter.h"
#include "tests/support/EventLoop.h"

#include <gtest/gtest.h>

using namespace tolvan;
using F = ReachabilityFlag;

namespace {

// A network whose state the test sets, counting who watches it.
class FakeNetwork final : public NetworkStatusSource {
public:
    NetworkSnapshot snapshot() const override { return current; }
    void startWatching() override { ++watchers; }
    void stopWatching() override { --watchers; }
    void become(NetworkSnapshot next)
    {
        current = std::move(next);
        emit changed();
    }

    NetworkSnapshot current;
    int watchers = 0;
};

NetworkSnapshot online() { return {SystemReachability::Online, {{QHostAddress("192.168.1.20"), 24}}}; }
NetworkSnapshot offline() { return {SystemReachability::Disconnected, {}}; }

class ReachabilityTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>();
};

}  // namespace

TEST_F(ReachabilityTest, NetworkStatusFollowsTheFlagTable)
{
    auto reachability = Reachability::reachabilityForInternetConnection(network);
    ASSERT_TRUE(reachability);
    const auto status = [&](ReachabilityFlags flags) { return reachability->networkStatusForFlags(flags); };
    EXPECT_EQ(status({}), NetworkStatus::NotReachable);
    EXPECT_EQ(status(F::ConnectionOnDemand | F::IsDirect), NetworkStatus::NotReachable);
    EXPECT_EQ(status(F::Reachable), NetworkStatus::Reachable);
    EXPECT_EQ(status(F::Reachable | F::ConnectionRequired), NetworkStatus::NotReachable);
    EXPECT_EQ(status(F::Reachable | F::ConnectionRequired | F::ConnectionOnTraffic), NetworkStatus::Reachable);
    EXPECT_EQ(status(F::Reachable | F::ConnectionRequired | F::ConnectionOnTraffic | F::InterventionRequired), NetworkStatus::NotReachable);
    EXPECT_EQ(status(F::Reachable | F::ConnectionRequired | F::ConnectionOnDemand), NetworkStatus::Reachable);
    EXPECT_EQ(status(F::Reachable | F::InterventionRequired), NetworkStatus::Reachable);
}

TEST_F(ReachabilityTest, TheLocalLinkNeedsADirectRoute)
{
    auto local = Reachability::reachabilityForLocalWiFi(network);
    ASSERT_TRUE(local);
    EXPECT_TRUE(local->isLocalWiFi());
    EXPECT_EQ(local->localWiFiStatusForFlags(F::Reachable), NetworkStatus::NotReachable);
    EXPECT_EQ(local->localWiFiStatusForFlags(F::IsDirect), NetworkStatus::NotReachable);
    EXPECT_EQ(local->localWiFiStatusForFlags(F::Reachable | F::IsDirect), NetworkStatus::Reachable);

    network->current = online();
    EXPECT_EQ(local->currentReachabilityStatus(), NetworkStatus::NotReachable);
    network->current = {std::nullopt, {{QHostAddress("169.254.7.7"), 16}}};
    EXPECT_EQ(local->currentReachabilityStatus(), NetworkStatus::Reachable);
    EXPECT_FALSE(local->connectionRequired());
}

TEST_F(ReachabilityTest, TheFlagLineShowsEveryFlagInItsPlace)
{
    EXPECT_EQ(reachabilityFlagLine(ReachabilityFlags::fromInt(0x20002), "networkStatusForFlags"),
              "Reachability Flag Status: -R ------d networkStatusForFlags\n");
    EXPECT_EQ(reachabilityFlagLine({}, "x"), "Reachability Flag Status: -- ------- x\n");
    EXPECT_EQ(reachabilityFlagLine(ReachabilityFlags::fromInt(0x3003F), "all"), "Reachability Flag Status: -R tcCiDld all\n");
    EXPECT_EQ(reachabilityFlagLine(F::ConnectionRequired | F::IsLocalAddress, "c"), "Reachability Flag Status: -- -c---l- c\n");
}

TEST_F(ReachabilityTest, TargetsAreMadeOnlyForWhatCanBeWatched)
{
    EXPECT_FALSE(Reachability::reachabilityWithHostName("", network));
    EXPECT_FALSE(Reachability::reachabilityWithAddress(QHostAddress("::1"), network));
    auto host = Reachability::reachabilityWithHostName("store.example.com", network);
    ASSERT_TRUE(host);
    EXPECT_FALSE(host->isLocalWiFi());
    network->current = online();
    EXPECT_EQ(host->currentReachabilityStatus(), NetworkStatus::Reachable);
    network->current = offline();
    EXPECT_EQ(host->currentReachabilityStatus(), NetworkStatus::NotReachable);
}

TEST_F(ReachabilityTest, ChangesArePostedWithTheObjectOnlyWhileNotifying)
{
    auto reachability = Reachability::reachabilityForInternetConnection(network);
    std::vector<const void*> senders;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kNetworkReachabilityChangedNotification, nullptr, [&](const Notification& note) { senders.push_back(note.object); });

    network->become(online());
    EXPECT_TRUE(senders.empty());

    ASSERT_TRUE(reachability->startNotifier());
    EXPECT_TRUE(reachability->startNotifier());  // a second start adds no second callback
    EXPECT_EQ(network->watchers, 1);
    network->become(offline());
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0], reachability.get());
    EXPECT_EQ(reachability->currentReachabilityStatus(), NetworkStatus::NotReachable);

    reachability->stopNotifier();
    EXPECT_EQ(network->watchers, 0);
    network->become(online());
    EXPECT_EQ(senders.size(), 1u);
}

TEST_F(ReachabilityTest, AnObjectDestroyedWhileNotifyingIsNeverNamedAgain)
{
    std::vector<const void*> senders;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kNetworkReachabilityChangedNotification, nullptr, [&](const Notification& note) { senders.push_back(note.object); });
    auto kept = Reachability::reachabilityForInternetConnection(network);
    kept->startNotifier();
    {
        auto dropped = Reachability::reachabilityWithHostName("store.example.com", network);
        ASSERT_TRUE(dropped->startNotifier());
        EXPECT_EQ(network->watchers, 2);
    }
    EXPECT_EQ(network->watchers, 1);
    network->become(offline());
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0], kept.get());
}

TEST_F(ReachabilityTest, TheMachinesOwnNetworkIsWatchedOnlyWhileSomeoneListens)
{
    auto reachability = Reachability::reachabilityWithAddress(QHostAddress("127.0.0.1"));
    ASSERT_TRUE(reachability);
    EXPECT_EQ(reachability->currentReachabilityStatus(), NetworkStatus::Reachable);
    EXPECT_TRUE(reachability->startNotifier());
    reachability->stopNotifier();
    reachability->startNotifier();
    reachability.reset();  // destroyed while notifying
    test::drainEvents(20);
}

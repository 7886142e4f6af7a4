#include "platform/system/NetworkReachability.h"

#include <gtest/gtest.h>

using namespace tolvan;
using F = ReachabilityFlag;

namespace {

QHostAddress ip(const char* text) { return QHostAddress(QString::fromLatin1(text)); }

NetworkSnapshot onLan() { return {std::nullopt, {{ip("192.168.1.20"), 24}}}; }
NetworkSnapshot linkLocalOnly() { return {std::nullopt, {{ip("169.254.10.3"), 16}}}; }
NetworkSnapshot noInterfaces() { return {}; }

}  // namespace

TEST(ReachabilityFlagsTest, LoopbackIsReachableAndDirectEvenWithoutAnyNetwork)
{
    const ReachabilityFlags expected = F::Reachable | F::IsLocalAddress | F::IsDirect;
    EXPECT_EQ(reachabilityFlags(ip("127.0.0.1"), noInterfaces()), expected);
    EXPECT_EQ(reachabilityFlags(QStringLiteral("127.0.0.1"), noInterfaces()), expected);
    EXPECT_EQ(reachabilityFlags(QStringLiteral("LOCALHOST"), {SystemReachability::Disconnected, {}}), expected);
}

TEST(ReachabilityFlagsTest, TheInterfacesDecideWhenNoNetworkServiceAnswers)
{
    EXPECT_EQ(reachabilityFlags(QStringLiteral("feedback.example.com"), onLan()), ReachabilityFlags(F::Reachable));
    EXPECT_EQ(reachabilityFlags(ip("0.0.0.0"), onLan()), ReachabilityFlags(F::Reachable));
    EXPECT_EQ(reachabilityFlags(QStringLiteral("feedback.example.com"), noInterfaces()), ReachabilityFlags());
    // A self-assigned address reaches nothing beyond the link.
    EXPECT_EQ(reachabilityFlags(QStringLiteral("feedback.example.com"), linkLocalOnly()), ReachabilityFlags());
}

TEST(ReachabilityFlagsTest, TheNetworkServiceOverrulesTheInterfaces)
{
    NetworkSnapshot snapshot = onLan();
    snapshot.system = SystemReachability::Disconnected;
    EXPECT_EQ(reachabilityFlags(QStringLiteral("feedback.example.com"), snapshot), ReachabilityFlags());
    snapshot.system = SystemReachability::Local;
    EXPECT_EQ(reachabilityFlags(QStringLiteral("feedback.example.com"), snapshot), ReachabilityFlags());
    snapshot.system = SystemReachability::Online;
    EXPECT_EQ(reachabilityFlags(QStringLiteral("feedback.example.com"), noInterfaces()), ReachabilityFlags());
    EXPECT_EQ(reachabilityFlags(QStringLiteral("feedback.example.com"), {SystemReachability::Online, {}}),
              ReachabilityFlags(F::Reachable));
}

TEST(ReachabilityFlagsTest, AddressesOnOurOwnSubnetAreDirectAndOurOwnAreLocal)
{
    NetworkSnapshot snapshot = onLan();
    snapshot.system = SystemReachability::Local;  // no internet, but the LAN is there
    EXPECT_EQ(reachabilityFlags(ip("192.168.1.1"), snapshot), F::Reachable | F::IsDirect);
    EXPECT_EQ(reachabilityFlags(ip("192.168.1.20"), snapshot), F::Reachable | F::IsDirect | F::IsLocalAddress);
    EXPECT_EQ(reachabilityFlags(ip("10.0.0.1"), snapshot), ReachabilityFlags());
}

TEST(ReachabilityFlagsTest, TheLinkLocalNetworkNeedsALinkLocalAddressOfOurOwn)
{
    EXPECT_EQ(reachabilityFlags(ip("169.254.0.0"), linkLocalOnly()), F::Reachable | F::IsDirect);
    EXPECT_EQ(reachabilityFlags(ip("169.254.0.0"), onLan()), ReachabilityFlags());
    EXPECT_EQ(reachabilityFlags(ip("169.254.0.0"), {SystemReachability::Online, {{ip("10.1.1.1"), 8}}}), ReachabilityFlags());
}

TEST(ReachabilityFlagsTest, TheMachinesOwnSnapshotListsNoLoopbackOrDownInterfaces)
{
    const NetworkSnapshot snapshot = SystemNetworkStatus::shared()->snapshot();
    for (const InterfaceAddress& entry : snapshot.addresses)
        EXPECT_FALSE(entry.address.isLoopback()) << entry.address.toString().toStdString();
    EXPECT_TRUE(reachabilityFlags(QStringLiteral("127.0.0.1"), snapshot).testFlag(F::Reachable));
}

#include "platform/foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace tolvan;

TEST(NotificationCenter, DeliversByNameAndObjectFilter)
{
    NotificationCenter center;
    int sender = 0, other = 0;
    std::vector<QString> anySender, onlySender, everything;
    auto a = center.addObserver("Loaded", nullptr, [&](const Notification& n) { anySender.push_back(n.name); });
    auto b = center.addObserver("Loaded", &sender, [&](const Notification& n) { onlySender.push_back(n.name); });
    auto c = center.addObserver({}, nullptr, [&](const Notification& n) { everything.push_back(n.name); });

    center.post("Loaded", &sender);
    center.post("Loaded", &other);
    center.post("Other", &sender, {{"k", 1}});

    EXPECT_EQ(anySender.size(), 2u);
    EXPECT_EQ(onlySender.size(), 1u);
    EXPECT_EQ(everything, (std::vector<QString>{"Loaded", "Loaded", "Other"}));
}

TEST(NotificationCenter, CarriesSenderAndUserInfo)
{
    NotificationCenter center;
    int sender = 0;
    Notification seen;
    auto token = center.addObserver("N", nullptr, [&](const Notification& n) { seen = n; });
    center.post("N", &sender, {{"count", 3}});
    EXPECT_EQ(seen.object, &sender);
    EXPECT_EQ(seen.userInfo.value("count").toInt(), 3);
}

TEST(NotificationCenter, TokenRemovesItsObserver)
{
    NotificationCenter center;
    int calls = 0;
    {
        auto token = center.addObserver("N", nullptr, [&](const Notification&) { ++calls; });
        center.post("N");
    }
    center.post("N");
    EXPECT_EQ(calls, 1);

    auto token = center.addObserver("N", nullptr, [&](const Notification&) { ++calls; });
    ObserverToken moved = std::move(token);
    moved.reset();
    center.post("N");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, ObserverRemovedByAnEarlierObserverIsNotCalled)
{
    NotificationCenter center;
    ObserverToken second;
    int secondCalls = 0;
    auto first = center.addObserver("N", nullptr, [&](const Notification&) { second.reset(); });
    second = center.addObserver("N", nullptr, [&](const Notification&) { ++secondCalls; });
    center.post("N");
    EXPECT_EQ(secondCalls, 0);
}

TEST(NotificationCenter, EmptyNamesNeverCrashAndPostNothing)
{
    NotificationCenter center;
    int calls = 0;
    auto token = center.addObserver({}, nullptr, [&](const Notification&) { ++calls; });
    center.post({});
    center.post("");
    auto none = center.addObserver("N", nullptr, nullptr);
    EXPECT_FALSE(none);
    center.post("N");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, TokenOutlivingTheCenterIsHarmless)
{
    ObserverToken token;
    {
        NotificationCenter center;
        token = center.addObserver("N", nullptr, [](const Notification&) {});
    }
    token.reset();
    EXPECT_FALSE(token);
}

TEST(NotificationCenter, ObserversRunOnThePostingThreadWhilePostersRace)
{
    NotificationCenter center;
    static thread_local bool isPoster = false;
    std::atomic<int> calls{0};
    std::atomic<bool> allOnPosters{true};
    auto token = center.addObserver("N", nullptr, [&](const Notification&) {
        ++calls;
        if (!isPoster)
            allOnPosters = false;
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            isPoster = true;
            for (int i = 0; i < 500; ++i) {
                center.post("N");
                auto churn = center.addObserver("M", nullptr, [](const Notification&) {});
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(calls, 8 * 500);
    EXPECT_TRUE(allOnPosters);
}

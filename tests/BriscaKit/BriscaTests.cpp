#include "BriscaKit/Brisca.h"

#include <gtest/gtest.h>

#include <thread>

// Runs first: the kit is process-wide, and nothing may be kept before start.
TEST(BriscaBeforeStart, RecordsNothing)
{
    Brisca* kit = Brisca::sharedInstance();
    ASSERT_FALSE(kit->isStarted());
    BRSUserLoggingLog("early %d", 1);
    kit->setObjectValue("v", "early");
    EXPECT_TRUE(kit->logLines().empty());
    EXPECT_TRUE(kit->customKeys().empty());
}

class BriscaTest : public ::testing::Test {
protected:
    void SetUp() override { kit = Brisca::startWithAPIKey("0123456789abcdef0123456789abcdef01234567"); }
    Brisca* kit = nullptr;
};

TEST_F(BriscaTest, StartReturnsTheSharedObjectOnce)
{
    EXPECT_EQ(kit, Brisca::sharedInstance());
    EXPECT_TRUE(kit->isStarted());
    Brisca::startWithAPIKey("another");
    EXPECT_EQ(kit->apiKey(), "0123456789abcdef0123456789abcdef01234567");
}

TEST_F(BriscaTest, LogFormatsLikePrintfWithMillisecondsSinceProcessStart)
{
    const size_t before = kit->logLines().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    BRSUserLoggingLog("%s line %d $ %s", "who", 239, "what");
    BRSUserLoggingLog(nullptr);
    const auto lines = kit->logLines();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_EQ(lines.back().message, "who line 239 $ what");
    EXPECT_GE(lines.back().millisecondsSinceStart, 5u);
    EXPECT_LT(lines.back().millisecondsSinceStart, 600000u);
}

TEST_F(BriscaTest, LongMessagesAreKeptWhole)
{
    std::string longText(10000, 'x');
    BRSUserLoggingLog("%s", longText.c_str());
    EXPECT_EQ(kit->logLines().back().message, longText);
}

TEST_F(BriscaTest, CustomKeysKeepTheLatestValueAndAbsentValues)
{
    kit->setObjectValue("first", "defaultMediaLibrary");
    kit->setObjectValue("second", "defaultMediaLibrary");
    kit->setObjectValue(std::nullopt, "cleared");
    const auto keys = kit->customKeys();
    EXPECT_EQ(keys.at("defaultMediaLibrary"), "second");
    ASSERT_TRUE(keys.count("cleared"));
    EXPECT_FALSE(keys.at("cleared").has_value());
}

TEST_F(BriscaTest, ManyThreadsLogWithoutLoss)
{
    const size_t before = kit->logLines().size();
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 1000; ++i)
                BRSUserLoggingLog("thread %d line %d", t, i);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(kit->logLines().size(), before + 16 * 1000);
}

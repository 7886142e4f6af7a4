#include "kit/BRSUserDefaults.h"
#include "kit/PLNEnvironment.h"
#include "tests/kit/MemoryLegacyDefaults.h"
#include "tests/kit/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>

using namespace pln;
using kittest::MemoryLegacyDefaults;
using kittest::ScratchFolder;

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    void TearDown() override { PLNSetEnvironment(PLNEnvironment{}); }
    std::string storeFolder() const { return folder.path() + "/com.brisca"; }
    ScratchFolder folder;
};

}  // namespace

TEST_F(UserDefaultsTest, TypedReadsAndRemoval)
{
    BRSUserDefaults store(storeFolder());
    store.setObject(3, "number");
    store.setString("text", "string");
    store.setBool(true, "flag");
    EXPECT_FALSE(store.stringForKey("number"));
    EXPECT_EQ(store.stringForKey("string"), "text");
    EXPECT_FALSE(store.boolForKey("string"));
    EXPECT_TRUE(store.boolForKey("flag"));
    EXPECT_TRUE(store.boolForKey("number"));
    store.setObject(nullptr, "number");
    store.setString(std::nullopt, "string");
    EXPECT_FALSE(store.objectForKey("number"));
    EXPECT_FALSE(store.objectForKey("string"));
    EXPECT_EQ(store.dictionaryRepresentation(), (nlohmann::json{{"flag", true}}));
    store.removeAllObjects();
    EXPECT_TRUE(store.dictionaryRepresentation().empty());
}

TEST_F(UserDefaultsTest, OnlySynchronisedValuesReachTheFileAndComeBack)
{
    {
        BRSUserDefaults store(storeFolder());
        store.setObject(nlohmann::json{{"nested", {1, 2.5, "three", false}}, {"bytes", nlohmann::json::binary({0, 1, 255})}, {"negative", -7}},
                        "values");
        store.synchronize();
        store.setString("late", "unsynchronised");
    }
    const std::string file = ScratchFolder::read(storeFolder() + "/BRSUserDefaults.plist");
    EXPECT_NE(file.find("<plist"), std::string::npos);
    EXPECT_EQ(file.find("unsynchronised"), std::string::npos);

    BRSUserDefaults reopened(storeFolder());
    const auto values = reopened.objectForKey("values");
    ASSERT_TRUE(values);
    EXPECT_EQ((*values)["nested"], nlohmann::json({1, 2.5, "three", false}));
    EXPECT_EQ((*values)["bytes"], nlohmann::json::binary({0, 1, 255}));
    EXPECT_EQ((*values)["negative"], -7);
    EXPECT_FALSE(reopened.objectForKey("unsynchronised"));
    // Written atomically: no temporary file is left beside the store.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(storeFolder()), {}), 1);
}

TEST_F(UserDefaultsTest, DirectoryWhereTheFileBelongsIsRemovedAndTheStoreStartsEmpty)
{
    std::filesystem::create_directories(storeFolder() + "/BRSUserDefaults.plist/inside");
    BRSUserDefaults store(storeFolder());
    EXPECT_TRUE(store.dictionaryRepresentation().empty());
    EXPECT_FALSE(std::filesystem::exists(storeFolder() + "/BRSUserDefaults.plist"));
    store.setString("v", "k");
    store.synchronize();
    EXPECT_TRUE(std::filesystem::is_regular_file(storeFolder() + "/BRSUserDefaults.plist"));
}

TEST_F(UserDefaultsTest, FileWithoutADictionaryRootOrGarbageGivesAnEmptyStore)
{
    folder.write("com.brisca/BRSUserDefaults.plist",
                 "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>a</string></array></plist>");
    EXPECT_TRUE(BRSUserDefaults(storeFolder()).dictionaryRepresentation().empty());
    folder.write("com.brisca/BRSUserDefaults.plist", "garbage \x01\x02");
    EXPECT_TRUE(BRSUserDefaults(storeFolder()).dictionaryRepresentation().empty());
}

TEST_F(UserDefaultsTest, RacingSynchronisesLeaveTheNewestSnapshotOnDisk)
{
    BRSUserDefaults store(storeFolder());
    std::vector<std::thread> writers;
    for (int i = 0; i < 16; ++i)
        writers.emplace_back([&, i] {
            store.setObject(i, "key" + std::to_string(i));
            store.synchronize();
        });
    for (auto& writer : writers)
        writer.join();
    // Each writer synchronised after its own set, so the newest snapshot holds every key.
    EXPECT_EQ(BRSUserDefaults(storeFolder()).dictionaryRepresentation().size(), 16u);
}

TEST_F(UserDefaultsTest, MigrationMovesPresentKeysAndForgetsThemThere)
{
    auto legacy = std::make_shared<MemoryLegacyDefaults>();
    PLNEnvironment environment;
    environment.legacyDefaults = legacy;
    PLNSetEnvironment(environment);

    BRSUserDefaults store(storeFolder());
    store.migrateFromNSUserDefaults({"com.brisca.iuuid"});
    EXPECT_EQ(legacy->synchronizations, 0);
    EXPECT_FALSE(std::filesystem::exists(storeFolder() + "/BRSUserDefaults.plist"));

    legacy->values["com.brisca.iuuid"] = "OLD-ID";
    legacy->values["other"] = 1;
    store.migrateFromNSUserDefaults({"com.brisca.iuuid", "absent"});
    EXPECT_EQ(store.stringForKey("com.brisca.iuuid"), "OLD-ID");
    EXPECT_EQ(legacy->values.count("com.brisca.iuuid"), 0u);
    EXPECT_EQ(legacy->values.count("other"), 1u);
    EXPECT_EQ(legacy->synchronizations, 1);
    EXPECT_EQ(BRSUserDefaults(storeFolder()).stringForKey("com.brisca.iuuid"), "OLD-ID");
}

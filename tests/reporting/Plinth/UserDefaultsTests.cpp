#include "reporting/Plinth/BRSUserDefaults.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "tests/reporting/Plinth/MemoryLegacyDefaults.h"
#include "tests/reporting/Plinth/ScratchFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>

using namespace pln;
using reportingtest::MemoryLegacyDefaults;
using reportingtest::ScratchFolder;

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
    // Text stays false however true it reads elsewhere: the store counts booleans and numbers only.
    store.setString("YES", "yes");
    store.setString("1", "one");
    store.setObject(0, "zero");
    EXPECT_FALSE(store.boolForKey("yes"));
    EXPECT_FALSE(store.boolForKey("one"));
    EXPECT_FALSE(store.boolForKey("zero"));
    EXPECT_FALSE(store.boolForKey("absent"));
    store.removeObjectForKey("yes");
    store.removeObjectForKey("one");
    store.removeObjectForKey("zero");
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

TEST_F(UserDefaultsTest, DamagedFilesGiveAnEmptyStoreAndAreReplacedByTheNextSynchronise)
{
    const std::string head = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key>";
    std::string deep = head;
    for (int i = 0; i < 100000; ++i)
        deep += "<array>";
    for (int i = 0; i < 100000; ++i)
        deep += "</array>";
    deep += "</dict></plist>";
    // A binary list of 100000 arrays, each holding the next: libplist's binary
    // reader would follow them one call deeper each.
    std::string binary = "bplist00";
    std::vector<std::uint32_t> offsets;
    auto bigEndian = [](std::uint64_t value, int width) {
        std::string bytes;
        for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
            bytes.push_back(char(value >> shift));
        return bytes;
    };
    for (std::uint32_t i = 0; i < 100000; ++i) {
        offsets.push_back(std::uint32_t(binary.size()));
        binary += "\xa1" + bigEndian(i + 1, 4);
    }
    offsets.push_back(std::uint32_t(binary.size()));
    binary += "\xa0";
    const std::size_t table = binary.size();
    for (const auto offset : offsets)
        binary += bigEndian(offset, 4);
    binary += std::string(6, '\0') + "\x04\x04" + bigEndian(offsets.size(), 8) + bigEndian(0, 8) + bigEndian(table, 8);

    const std::string nul(1, '\0');
    const std::string damaged[] = {
        deep,
        binary,
        head + "<string>\xc3(</string></dict></plist>",        // not UTF-8
        head + "<string>&#xD800;</string></dict></plist>",     // a reference to no character
        head + "<string>a" + nul + "b</string></dict></plist>",  // NUL in a string
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k" + nul + "k</key><string>v</string></dict></plist>",
        head + "<string>a&#0;b</string></dict></plist>",       // NUL by reference
        head + "<string>a&#x000;b</string></dict></plist>",
        head + "<string>cut in ha",
        "",
    };
    for (const auto& bytes : damaged) {
        folder.write("com.brisca/BRSUserDefaults.plist", bytes);
        BRSUserDefaults store(storeFolder());
        EXPECT_TRUE(store.dictionaryRepresentation().empty()) << bytes.substr(0, 80);
        store.setString("fresh", "k");
        store.synchronize();
        EXPECT_EQ(BRSUserDefaults(storeFolder()).stringForKey("k"), "fresh") << bytes.substr(0, 80);
    }
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

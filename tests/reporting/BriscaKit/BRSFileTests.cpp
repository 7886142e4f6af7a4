#include "reporting/BriscaKit/CrashTime/BRSFile.h"

#include "tests/reporting/BriscaKit/KitFixtures.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <unistd.h>

using brstest::fileText;
using brstest::records;
using brstest::ScratchFolder;
using nlohmann::json;

class RecordFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(BRSFileInitWithPath(&file, path.c_str())); }
    std::string written()
    {
        BRSFileClose(&file);
        return fileText(path);
    }
    ScratchFolder folder;
    std::string path = folder.file("test.brsrecord");
    BRSFile file;
};

TEST_F(RecordFileTest, NumbersAndBooleansAreWrittenAsTheGrammarSays)
{
    BRSFileWriteSectionStart(&file, "values");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryUint64(&file, "zero", 0);
    BRSFileWriteHashEntryUint64(&file, "largest", UINT64_MAX);
    BRSFileWriteHashEntryInt64(&file, "negative", -5);
    BRSFileWriteHashEntryInt64(&file, "smallest", INT64_MIN);
    BRSFileWriteHashEntryBoolean(&file, "yes", true);
    BRSFileWriteHashEntryString(&file, "missing", nullptr);
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    EXPECT_EQ(written(), "{\"values\":{\"zero\":0,\"largest\":18446744073709551615,\"negative\":-5,"
                         "\"smallest\":-9223372036854775808,\"yes\":true,\"missing\":null}}\n");
    const auto back = records(path);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]["values"]["largest"].get<uint64_t>(), UINT64_MAX);
    EXPECT_EQ(back[0]["values"]["smallest"].get<int64_t>(), INT64_MIN);
}

TEST_F(RecordFileTest, HexStringsCarryAnyBytes)
{
    const std::string awkward = "quote \" backslash \\ line\nfeed \xc3\xa9 \x01";
    BRSFileWriteSectionStart(&file, "kv");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryHexEncodedString(&file, "key", "abc");
    BRSFileWriteHashEntryHexEncodedString(&file, "empty", "");
    BRSFileWriteHashEntryHexEncodedString(&file, "none", nullptr);
    BRSFileWriteHashEntryHexEncodedString(&file, "value", awkward.c_str());
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    const std::string text = written();
    EXPECT_NE(text.find("\"key\":\"616263\",\"empty\":\"\",\"none\":null"), std::string::npos);
    const auto back = records(path);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(brstest::hexDecoded(back[0]["kv"]["value"]), awkward);
}

TEST_F(RecordFileTest, RawStringsWithQuotesBackslashesAndControlBytesStillParse)
{
    const std::string path_ = "/srv/a \"quoted\" dir\\with\ttab\nand feed";
    BRSFileWriteSectionStart(&file, "load");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryString(&file, "path", path_.c_str());
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    const std::string text = written();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << "one record, one line";
    const auto back = records(path);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]["load"]["path"], path_);
}

TEST_F(RecordFileTest, RawStringsKeepValidUtf8AndReplaceEveryOtherByte)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5"},
        {"abcdefghijklmn\xc3", "abcdefghijklmn\xef\xbf\xbd"},              // cut inside a character
        {"/opt/caf\xe9/lib.so", "/opt/caf\xef\xbf\xbd/lib.so"},             // Latin-1
        {"\x80\xbf", "\xef\xbf\xbd\xef\xbf\xbd"},                      // stray continuation bytes
        {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},                      // overlong "/"
        {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // a surrogate
        {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // above U+10FFFF
        {"\xe2\x82", "\xef\xbf\xbd\xef\xbf\xbd"},                      // cut at the end
    };
    BRSFileWriteSectionStart(&file, "thread_names");
    BRSFileWriteArrayStart(&file);
    for (const auto& [raw, expected] : cases)
        BRSFileWriteArrayEntryString(&file, raw.c_str());
    BRSFileWriteArrayEnd(&file);
    BRSFileWriteSectionEnd(&file);
    BRSFileWriteSectionStart(&file, "load");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryString(&file, "path", cases[2].first.c_str());
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    written();

    const auto back = records(path);
    ASSERT_EQ(back.size(), 2u) << "both lines parse";
    ASSERT_EQ(back[0]["thread_names"].size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(back[0]["thread_names"][i], cases[i].second) << "case " << i;
    EXPECT_EQ(back[1]["load"]["path"], cases[2].second);
}

TEST_F(RecordFileTest, NestedCollectionsGetCommasOnlyBetweenElements)
{
    BRSFileWriteSectionStart(&file, "error");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashKey(&file, "info");
    BRSFileWriteArrayStart(&file);
    for (const char* pair : {"a", "b"}) {
        BRSFileWriteArrayStart(&file);
        BRSFileWriteArrayEntryHexEncodedString(&file, pair);
        BRSFileWriteArrayEntryUint64(&file, 1);
        BRSFileWriteArrayEnd(&file);
    }
    BRSFileWriteArrayEnd(&file);
    BRSFileWriteHashEntryUint64(&file, "after", 2);
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    BRSFileWriteSectionStart(&file, "storage");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    EXPECT_EQ(written(), "{\"error\":{\"info\":[[\"61\",1],[\"62\",1]],\"after\":2}}\n{\"storage\":{}}\n");
    const auto back = records(path);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1], json::parse("{\"storage\":{}}"));
}

TEST(RecordFileReading, SkipsCutAndBadLinesOneByOne)
{
    ScratchFolder folder;
    const std::string path = folder.file("mixed.brsrecord");
    {
        std::ofstream out(path, std::ios::binary);
        out << "{\"log\":{\"time\":1}}\n"
            << "{\"log\":{\"msg\":\"bad \xff\xfe utf8\"}}\n"
            << "{\"log\":{\"time\":2}}\n"
            << "{\"log\":" << std::string(100000, '[') << std::string(100000, ']') << "}\n"  // deeper than any reader walks
            << "{\"threads\":[{\"registers\":{\"ra";  // cut short by a crash
    }
    const auto back = records(path);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0]["log"]["time"], 1);
    EXPECT_EQ(back[1]["log"]["time"], 2);

    const auto onlySecond = BRSFileReadSections(path, false, [](json record) -> std::optional<json> {
        if (record["log"]["time"] != 2)
            return std::nullopt;
        return record["log"];
    });
    ASSERT_TRUE(onlySecond);
    ASSERT_EQ(onlySecond->size(), 1u);
    EXPECT_EQ((*onlySecond)[0]["time"], 2);
}

TEST(RecordFileReading, AFileThatCannotBeReadAnswersNothingAndIsRemovedWhenAsked)
{
    ScratchFolder folder;
    EXPECT_FALSE(BRSFileReadSections(folder.file("missing"), true));
    const std::string directory = folder.file("a-directory");
    std::filesystem::create_directory(directory);
    EXPECT_FALSE(BRSFileReadSections(directory, false));
}

TEST(RecordFileOpening, FailuresLeaveTheFileUnusable)
{
    BRSFile file;
    EXPECT_FALSE(BRSFileInit(nullptr, 1));
    EXPECT_FALSE(BRSFileInit(&file, -1));
    EXPECT_FALSE(BRSFileInitWithPath(&file, "/nonexistent-folder/x.brsrecord"));
    EXPECT_FALSE(BRSFileInitWithPath(&file, nullptr));
    EXPECT_FALSE(BRSFileClose(&file));
}

TEST(RecordFileOpening, TruncatingModeStartsTheFileAfresh)
{
    ScratchFolder folder;
    const std::string path = folder.file("t");
    for (bool append : {true, true, false}) {
        BRSFile file;
        ASSERT_TRUE(BRSFileInitWithPathMode(&file, path.c_str(), append));
        BRSFileWriteSectionStart(&file, "n");
        BRSFileWriteHashStart(&file);
        BRSFileWriteHashEnd(&file);
        BRSFileWriteSectionEnd(&file);
        BRSFileClose(&file);
    }
    EXPECT_EQ(records(path).size(), 1u);
}

TEST(RecordFileStreaming, ReadsWhatTheWriterWrote)
{
    ScratchFolder folder;
    const std::string path = folder.file("s");
    {
        BRSFile file;
        ASSERT_TRUE(BRSFileInitWithPath(&file, path.c_str()));
        BRSFileWriteSectionStart(&file, "load");
        BRSFileWriteHashStart(&file);
        BRSFileWriteHashEntryString(&file, "path", "/lib/x \"y\"");
        BRSFileWriteHashEntryUint64(&file, "base", 4096);
        BRSFileWriteHashEntryBoolean(&file, "framework", false);
        BRSFileWriteHashKey(&file, "list");
        BRSFileWriteArrayStart(&file);
        BRSFileWriteArrayEntryUint64(&file, 1);
        BRSFileWriteArrayEntryUint64(&file, 22);
        BRSFileWriteArrayEnd(&file);
        BRSFileWriteHashEnd(&file);
        BRSFileWriteSectionEnd(&file);
        BRSFileClose(&file);
    }
    BRSFile reader;
    ASSERT_TRUE(BRSFileInit(&reader, ::open(path.c_str(), O_RDONLY)));
    const auto value = BRSFileReadValue(&reader);
    ::close(reader.fd);
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, json::parse(R"({"load":{"path":"/lib/x \"y\"","base":4096,"framework":false,"list":[1,22]}})"));
}

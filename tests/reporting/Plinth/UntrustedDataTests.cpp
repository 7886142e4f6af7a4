#include "reporting/Plinth/PLNUntrustedData.h"
#include "tests/reporting/Plinth/ScratchFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>

using namespace pln;
using reportingtest::ScratchFolder;

namespace {

std::string nestedArrays(int depth) { return std::string(std::size_t(depth), '[') + std::string(std::size_t(depth), ']'); }

std::string nestedElements(int depth)
{
    std::string text = "<?xml version=\"1.0\"?><!-- a comment --><plist version=\"1.0\">";
    for (int i = 1; i < depth; ++i)
        text += "<array><true/>";
    for (int i = 1; i < depth; ++i)
        text += "</array>";
    return text + "</plist>";
}

}  // namespace

TEST(UntrustedJSON, NestingIsBoundedBeforeTheValueIsBuilt)
{
    EXPECT_TRUE(PLNParseJSON(nestedArrays(kPLNMaxNestingDepth), nullptr));
    brs::Error error;
    EXPECT_FALSE(PLNParseJSON(nestedArrays(kPLNMaxNestingDepth + 1), &error));
    EXPECT_EQ(error.message, "The data nests deeper than 256 levels");
    EXPECT_FALSE(PLNParseJSON("{\"a\":" + nestedArrays(100000) + "}", nullptr));
    EXPECT_FALSE(PLNParseJSON(std::string(100000, '['), nullptr));  // never closed
}

TEST(UntrustedJSON, DamagedTextIsRefusedAsNotJSON)
{
    const std::vector<std::string> damaged = {"", "{\"a\":1", "{\"a\":1}}", "{\"a\":\"\xff\xfe\"}", "{\"a\":\"\xc3\"}", std::string("{\"a\":\0}", 7)};
    for (const auto& text : damaged) {
        brs::Error error;
        EXPECT_FALSE(PLNParseJSON(text, &error)) << text;
        EXPECT_EQ(error.domain, "NSCocoaErrorDomain");
        EXPECT_EQ(error.code, 3840);
        EXPECT_EQ(error.message, "The data is not JSON");
    }
    EXPECT_EQ(PLNParseJSON("{\"a\":[\"\xc3\xa9\"]}", nullptr), nlohmann::json({{"a", {"\xc3\xa9"}}}));
}

TEST(UntrustedFiles, OnlyARegularFileIsRead)
{
    ScratchFolder folder;
    EXPECT_EQ(PLNReadRegularFile(folder.write("file", std::string("a\0b", 3)), nullptr), std::string("a\0b", 3));

    const struct {
        std::string path;
        int code;
    } unusable[] = {{folder.path() + "/missing", ENOENT}, {folder.path(), EISDIR}, {folder.path() + "/fifo", EINVAL}};
    ASSERT_EQ(::mkfifo(unusable[2].path.c_str(), 0600), 0);
    for (const auto& each : unusable) {
        brs::Error error;
        EXPECT_FALSE(PLNReadRegularFile(each.path, &error)) << each.path;  // a FIFO does not block the read
        EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
        EXPECT_EQ(error.code, each.code) << each.path;
    }
}

TEST(UntrustedXML, NestingCountsOpenElementsOnly)
{
    EXPECT_TRUE(PLNXMLNestingWithinLimit(nestedElements(kPLNMaxNestingDepth)));
    EXPECT_FALSE(PLNXMLNestingWithinLimit(nestedElements(kPLNMaxNestingDepth + 1)));
    std::string unclosed;
    for (int i = 0; i < 100000; ++i)
        unclosed += "<dict>";
    EXPECT_FALSE(PLNXMLNestingWithinLimit(unclosed));
    EXPECT_TRUE(PLNXMLNestingWithinLimit(std::string(1000, '<')));  // no tag ever closes
}

TEST(UntrustedText, UTF8)
{
    for (const std::string valid : {"", "plain", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x8e\xb5", "\xf4\x8f\xbf\xbf"})
        EXPECT_TRUE(PLNIsValidUTF8(valid)) << valid;
    const std::string invalid[] = {
        "\x80",              // a continuation byte alone
        "\xc3",              // cut inside a character
        "\xc3(",             // a missing continuation byte
        "\xc0\xaf",          // an overlong form
        "\xed\xa0\x80",      // a surrogate
        "\xf4\x90\x80\x80",  // past U+10FFFF
        "\xff",
    };
    for (const auto& text : invalid)
        EXPECT_FALSE(PLNIsValidUTF8("ok" + text)) << testing::PrintToString(text);
}

TEST(UntrustedFlags, TextCountsByItsFirstSignificantCharacter)
{
    for (const nlohmann::json value : {nlohmann::json(true), nlohmann::json(1), nlohmann::json(-2), nlohmann::json(0.5), nlohmann::json("YES"),
                                       nlohmann::json("yes"), nlohmann::json("true"), nlohmann::json("T"), nlohmann::json("1"),
                                       nlohmann::json(" 01"), nlohmann::json("+9"), nlohmann::json("-3"), nlohmann::json("\tY")})
        EXPECT_TRUE(PLNBoolValue(value)) << value.dump();
    for (const nlohmann::json value : {nlohmann::json(false), nlohmann::json(0), nlohmann::json(0.0), nlohmann::json("NO"), nlohmann::json("false"),
                                       nlohmann::json("0"), nlohmann::json("000"), nlohmann::json(""), nlohmann::json("  "), nlohmann::json("on"),
                                       nlohmann::json("x1"), nlohmann::json(nullptr), nlohmann::json::array({1}), nlohmann::json::object({{"a", 1}})})
        EXPECT_FALSE(PLNBoolValue(value)) << value.dump();
}

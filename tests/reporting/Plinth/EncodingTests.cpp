#include "reporting/Plinth/PLNMultipartMimeStreamEncoder.h"
#include "reporting/Plinth/PLNURLBuilder.h"
#include "tests/reporting/Plinth/ScratchFolder.h"

#include <gtest/gtest.h>

using namespace pln;
using reportingtest::ScratchFolder;

namespace {

const std::string kBoundary = "11111111-2222-3333-4444-555555555555";

std::string encode(const std::function<void(PLNMultipartMimeStreamEncoder&)>& parts)
{
    auto stream = std::make_shared<PLNMemoryOutputStream>();
    PLNMultipartMimeStreamEncoder encoder(stream, kBoundary);
    encoder.encode([&] { parts(encoder); });
    EXPECT_EQ(encoder.contentLengthHTTPHeaderValue(), std::to_string(stream->data().size()));
    return stream->data();
}

// A stream that refuses every write after a number of them.
class FailingStream : public PLNOutputStream {
public:
    explicit FailingStream(int goodWrites) : goodWrites_(goodWrites) {}
    void open() override {}
    void close() override {}
    std::size_t write(const char* bytes, std::size_t length) override
    {
        if (goodWrites_-- <= 0)
            return length / 2;
        data.append(bytes, length);
        return length;
    }
    std::string data;

private:
    int goodWrites_;
};

}  // namespace

TEST(MultipartEncoder, EmptyBodyIsHeaderThenFooterInSixtyOneBytes)
{
    const auto body = encode([](auto&) {});
    EXPECT_EQ(body, "MIME-Version: 1.0\r\n--" + kBoundary + "--\r\n");
    EXPECT_EQ(body.size(), 61u);
}

TEST(MultipartEncoder, TextAndFilePartsGoldenBytes)
{
    const auto body = encode([](PLNMultipartMimeStreamEncoder& encoder) {
        encoder.addValue("v\"1\r\nx", "a[name]");
        encoder.addValue(3, "count");
        encoder.addValue(nullptr, "skipped");
        encoder.addFileData(std::string("\x89PNG\0\x01", 6), "icon.png", "image/png", "app[icon][data]");
        encoder.addFileData(std::string("raw"), "blob.bin", std::nullopt, "blob");
        encoder.addFileData(std::string("x"), std::nullopt, "text/plain", "nameless");
        encoder.addFileData(std::nullopt, "none.txt", "text/plain", "empty");
    });
    const std::string expected = "MIME-Version: 1.0\r\n"
                                 "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"a[name]\"\r\nContent-Type: text/plain\r\n\r\nv\"1\r\nx\r\n"
                                 "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"count\"\r\nContent-Type: text/plain\r\n\r\n3\r\n"
                                 "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"app[icon][data]\"; filename=\"icon.png\"\r\n"
                                 "Content-Type: image/png\r\nContent-Transfer-Encoding: binary\r\n\r\n" + std::string("\x89PNG\0\x01", 6) + "\r\n"
                                 "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"blob\"; filename=\"blob.bin\"\r\n"
                                 "Content-Type: application/octet-stream\r\n\r\nraw\r\n"
                                 "--" + kBoundary + "--\r\n";
    EXPECT_EQ(body, expected);
}

TEST(MultipartEncoder, FilesAreReadWholeAndUnreadableOnesAddNothing)
{
    ScratchFolder folder;
    const auto path = folder.write("report.bin", std::string("abc\0def", 7));
    const auto body = encode([&](PLNMultipartMimeStreamEncoder& encoder) {
        encoder.addFile(path, "report.bin", "application/octet-stream", "file");
        encoder.addFile(folder.path() + "/missing", "missing", "text/plain", "gone");
    });
    EXPECT_NE(body.find(std::string("\r\n\r\nabc\0def\r\n", 13)), std::string::npos);
    EXPECT_EQ(body.find("gone"), std::string::npos);
}

TEST(MultipartEncoder, FailedWritesAreNotCounted)
{
    auto stream = std::make_shared<FailingStream>(2);  // header and the first part's head only
    PLNMultipartMimeStreamEncoder encoder(stream, kBoundary);
    encoder.encode([&] { encoder.addFileData(std::string("payload"), "f", "text/plain", "field"); });
    EXPECT_EQ(encoder.length(), stream->data.size());
    EXPECT_FALSE(encoder.writeBytes("abcd", 4));
    EXPECT_EQ(encoder.length(), stream->data.size());
}

TEST(MultipartEncoder, RequestIsFilledWithBodyAndHeadersAndBoundariesDiffer)
{
    brs::URLRequest request;
    PLNMultipartMimeStreamEncoder::populateRequest(request, [](PLNMultipartMimeStreamEncoder& encoder) { encoder.addValue("x", "y"); });
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::to_string(request.body.size()));
    const auto type = request.valueForHTTPHeaderField("Content-Type");
    ASSERT_TRUE(type);
    ASSERT_EQ(type->rfind("multipart/form-data; boundary=", 0), 0u);
    const std::string boundary = type->substr(30);
    EXPECT_EQ(boundary.size(), 36u);
    EXPECT_NE(request.body.find("--" + boundary + "--\r\n"), std::string::npos);
    EXPECT_NE(PLNMultipartMimeStreamEncoder(std::make_shared<PLNMemoryOutputStream>(), std::nullopt).boundary(),
              PLNMultipartMimeStreamEncoder(std::make_shared<PLNMemoryOutputStream>(), std::nullopt).boundary());
}

TEST(MultipartEncoder, FileStreamWritesTheBodyToDisk)
{
    ScratchFolder folder;
    const auto path = folder.path() + "/package.multipartmime";
    auto stream = std::make_shared<PLNFileOutputStream>(path);
    PLNMultipartMimeStreamEncoder encoder(stream, kBoundary);
    encoder.encode([&] { encoder.addValue("1", "a"); });
    const auto written = ScratchFolder::read(path);
    EXPECT_EQ(written.size(), encoder.length());
    EXPECT_EQ(written.substr(written.size() - 42), "--" + kBoundary + "--\r\n");
}

TEST(URLBuilder, QueryParametersAndTheirEscaping)
{
    auto builder = PLNURLBuilder::URLWithBase("x");
    builder.appendValue(1, "p");
    builder.appendValue(nullptr, "q");
    builder.appendValue("a b", "r");
    EXPECT_EQ(builder.URLString(), "x?p=1&r=a%20b");
    EXPECT_EQ(builder.queryParams(), 2u);
    builder.appendValue("k=v&w", "s");
    EXPECT_EQ(builder.URLString(), "x?p=1&r=a%20b&s=k=v&w");
}

TEST(URLBuilder, EscapingTable)
{
    const std::vector<std::pair<std::string, std::string>> table = {
        {" ", "%20"},   {"\"", "%22"}, {"%", "%25"}, {"<", "%3C"}, {">", "%3E"}, {"\\", "%5C"}, {"^", "%5E"},
        {"`", "%60"},   {"{", "%7B"},  {"|", "%7C"}, {"}", "%7D"}, {"\n", "%0A"}, {"\x7f", "%7F"},
        {"é", "%C3%A9"}, {";/?:@&=+$,", ";/?:@&=+$,"}, {"AZaz09-_.!~*'()", "AZaz09-_.!~*'()"},
    };
    for (const auto& [raw, escaped] : table)
        EXPECT_EQ(PLNURLBuilder::escapeString(raw), escaped) << raw;
}

TEST(URLBuilder, ServicePathsAndInvalidURLs)
{
    auto builder = PLNURLBuilder::URLWithBase("https://settings.example.test");
    builder.appendComponent("/spi/v2/platforms/");
    builder.escapeAndAppendComponent("mac");
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent("com.example tone");
    builder.appendComponent("/settings");
    EXPECT_EQ(builder.URL(), "https://settings.example.test/spi/v2/platforms/mac/apps/com.example%20tone/settings");

    auto blank = PLNURLBuilder::URLWithBase("https://a.test/");
    blank.appendComponent("with blank");
    EXPECT_FALSE(blank.URL());
}

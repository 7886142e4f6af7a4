#include "platform/media/TailStream.h"

#include <gtest/gtest.h>

#include <string>

using namespace tolvan;

namespace {

// "0123456789" with the tail from offset 6 in memory; the head is read from
// a string that counts how often it is asked.
struct Fixture {
    std::string file = "0123456789";
    int headReads = 0;
    TailStream stream{6, TagLib::ByteVector("6789"), [this](long offset, unsigned long length) {
                          ++headReads;
                          return TagLib::ByteVector(file.substr(std::size_t(offset), length).c_str(), uint(length));
                      }};
};

std::string text(const TagLib::ByteVector& bytes) { return std::string(bytes.data(), bytes.size()); }

}  // namespace

TEST(TailStream, ReadsTheHeadFromTheFileAndTheTailFromMemoryAcrossTheBoundary)
{
    Fixture f;
    EXPECT_EQ(f.stream.length(), 10);
    f.stream.seek(4);
    EXPECT_EQ(text(f.stream.readBlock(4)), "4567");
    EXPECT_EQ(f.stream.tell(), 8);
    EXPECT_EQ(text(f.stream.readBlock(10)), "89");  // stops at the end
    f.stream.seek(-3, TagLib::IOStream::End);
    EXPECT_EQ(text(f.stream.readBlock(3)), "789");
    EXPECT_EQ(f.headReads, 1);
}

TEST(TailStream, ChangesGoToTheTailAndAChangeBeforeItIsRefused)
{
    Fixture f;
    f.stream.insert(TagLib::ByteVector("ab"), 7, 1);  // "7" becomes "ab"
    EXPECT_EQ(text(f.stream.tail()), "6ab89");
    EXPECT_EQ(f.stream.length(), 11);
    f.stream.seek(10);
    f.stream.writeBlock(TagLib::ByteVector("Z"));
    f.stream.removeBlock(6, 1);
    EXPECT_EQ(text(f.stream.tail()), "ab8Z");
    EXPECT_FALSE(f.stream.touchedBeforeTail());

    f.stream.insert(TagLib::ByteVector("x"), 5, 0);
    EXPECT_TRUE(f.stream.touchedBeforeTail());
    f.stream.seek(8);
    f.stream.writeBlock(TagLib::ByteVector("y"));  // nothing more is changed once refused
    EXPECT_EQ(text(f.stream.tail()), "ab8Z");
}

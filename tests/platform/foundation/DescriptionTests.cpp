#include "platform/foundation/Description.h"
#include "platform/foundation/Error.h"

#include <gtest/gtest.h>

using namespace tolvan;

TEST(Description, DictionariesListsAndStrings)
{
    EXPECT_EQ(describe(QVariant()), "(null)");
    EXPECT_EQ(describe(QString("plain text")), "plain text");
    EXPECT_EQ(describe(QVariantMap{{"asset", "song.mp3"}, {"status", 3}}), "{\n    asset = song.mp3;\n    status = 3;\n}");
    EXPECT_EQ(describe(QVariantMap{{"a", QVariantList{1, "x y"}}}), "{\n    a = (\n        1,\n        \"x y\"\n    );\n}");
    EXPECT_EQ(describe(QVariantMap{{"t", "a\tb\n\"c\""}}), "{\n    t = \"a\\tb\\n\\\"c\\\"\";\n}");
}

TEST(Description, Errors)
{
    Error error{"AVFoundationErrorDomain", -11800, "The operation could not be completed"};
    EXPECT_EQ(describe(QVariant::fromValue(error)), "Error Domain=AVFoundationErrorDomain Code=-11800 \"The operation could not be completed\"");
}

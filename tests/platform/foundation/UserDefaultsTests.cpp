#include "platform/foundation/UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;

class UserDefaultsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath("defaults.ini"); }
};

TEST_F(UserDefaultsTest, TypedReadsFallBackWhenAbsentOrOfAnotherType)
{
    UserDefaults defaults(path());
    EXPECT_TRUE(defaults.boolValue("missing", true));
    EXPECT_EQ(defaults.integerValue("missing", 7), 7);
    EXPECT_DOUBLE_EQ(defaults.doubleValue("missing", 1.5), 1.5);
    EXPECT_EQ(defaults.stringValue("missing", "x"), "x");

    defaults.setValue("word", "hello");
    EXPECT_EQ(defaults.integerValue("word", 3), 3);
    EXPECT_TRUE(defaults.boolValue("word", true));
    EXPECT_EQ(defaults.arrayValue("word", {1}), QVariantList{1});
    EXPECT_EQ(defaults.dictionaryValue("word").size(), 0);

    defaults.setValue("list", QVariantList{1, 2});
    EXPECT_EQ(defaults.stringValue("list", "fallback"), "fallback");
    EXPECT_EQ(defaults.dataValue("list", "d"), QByteArray("d"));
}

TEST_F(UserDefaultsTest, ValuesSurviveAReopenWithTheirMeaning)
{
    {
        UserDefaults defaults(path());
        defaults.setValue("flag", true);
        defaults.setValue("gap", 1.25);
        defaults.setValue("count", 42);
        defaults.setValue("blob", QByteArray("\x00\x01\xff", 3));
        defaults.setValue("selections", QVariantMap{{"song", 2.5}});
        defaults.synchronize();
    }
    UserDefaults reopened(path());
    EXPECT_TRUE(reopened.boolValue("flag"));
    EXPECT_DOUBLE_EQ(reopened.doubleValue("gap"), 1.25);
    EXPECT_EQ(reopened.integerValue("count"), 42);
    EXPECT_EQ(reopened.dataValue("blob"), QByteArray("\x00\x01\xff", 3));
    EXPECT_DOUBLE_EQ(reopened.dictionaryValue("selections").value("song").toDouble(), 2.5);
}

TEST_F(UserDefaultsTest, RemoveAndChangedSignal)
{
    UserDefaults defaults(path());
    QSignalSpy spy(&defaults, &UserDefaults::changed);
    defaults.setValue("ringtoneKind", 1);
    defaults.remove("ringtoneKind");
    defaults.remove("ringtoneKind");  // nothing to remove: no signal
    defaults.setValue("", 1);         // no key: ignored
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toString(), "ringtoneKind");
    EXPECT_FALSE(defaults.contains("ringtoneKind"));
}

TEST_F(UserDefaultsTest, ArgumentsOverrideStoredValuesForTheRunOnly)
{
    UserDefaults defaults(path());
    defaults.setValue("screenshots", "/stored");
    defaults.setValue("autoImportIntoiTunes", true);
    defaults.setArguments({"tolvan", "-screenshots", "/from/args", "-autoImportIntoiTunes", "NO", "--long", "x", "song.mp3"});
    EXPECT_EQ(defaults.stringValue("screenshots"), "/from/args");
    EXPECT_FALSE(defaults.boolValue("autoImportIntoiTunes", true));
    EXPECT_FALSE(defaults.contains("-long"));
    EXPECT_FALSE(defaults.contains("long"));

    defaults.setArguments({});
    EXPECT_EQ(defaults.stringValue("screenshots"), "/stored");
}

TEST_F(UserDefaultsTest, ArgumentNumbersReadAsNumbers)
{
    UserDefaults defaults(path());
    defaults.setArguments({"-pixelsPerSecond", "80", "-fadeInDuration", "0.5"});
    EXPECT_EQ(defaults.integerValue("pixelsPerSecond"), 80);
    EXPECT_DOUBLE_EQ(defaults.doubleValue("fadeInDuration"), 0.5);
}

TEST_F(UserDefaultsTest, RegisteredDefaultsComeLast)
{
    UserDefaults defaults(path());
    defaults.registerDefaults({{"selectedGap", 1.0}, {"showIncludedRingtones", true}});
    EXPECT_DOUBLE_EQ(defaults.doubleValue("selectedGap"), 1.0);
    defaults.setValue("selectedGap", 2.0);
    EXPECT_DOUBLE_EQ(defaults.doubleValue("selectedGap"), 2.0);
    defaults.remove("selectedGap");
    EXPECT_DOUBLE_EQ(defaults.doubleValue("selectedGap"), 1.0);
    EXPECT_TRUE(defaults.boolValue("showIncludedRingtones"));
}

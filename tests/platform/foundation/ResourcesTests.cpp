#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "tests/support/FileFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

TEST(Localizer, TableValueElseNonEmptyDefaultElseKey)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("Localizable.json"), R"({"Create": "Skapa", "Number": 5})");
    writeFile(dir.filePath("MoveApplication.json"), R"({"Move": "Flytta"})");
    Localizer localizer(dir.path());

    EXPECT_EQ(localizer.string("Create"), "Skapa");
    EXPECT_EQ(localizer.string("Create", "Make"), "Skapa");
    EXPECT_EQ(localizer.string("Missing", "Shown"), "Shown");
    EXPECT_EQ(localizer.string("Missing", ""), "Missing");
    EXPECT_EQ(localizer.string("Number"), "Number");  // not a string: absent
    EXPECT_EQ(localizer.string("Move", {}, "MoveApplication"), "Flytta");
    EXPECT_EQ(localizer.string("Move"), "Move");
    EXPECT_EQ(localizer.string("Move", {}, "NoSuchTable"), "Move");
    EXPECT_EQ(localizer.string("", "x"), "x");
}

TEST(Localizer, MalformedTableIsEmpty)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("Localizable.json"), "{not json");
    EXPECT_EQ(Localizer(dir.path()).string("Key", "Default"), "Default");
}

TEST(Bundle, ReadsTheInformationDictionary)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("Info.json"),
              R"({"CFBundleName": "Tolvan", "CFBundleIdentifier": "com.kestrova.tolvan", "CFBundleShortVersionString": "1.2", "CFBundleVersion": "120"})");
    writeFile(dir.filePath("included/footer.plist"), "x");
    Bundle bundle(dir.path());
    EXPECT_EQ(bundle.name(), "Tolvan");
    EXPECT_EQ(bundle.identifier(), "com.kestrova.tolvan");
    EXPECT_EQ(bundle.version(), "1.2");
    EXPECT_EQ(bundle.buildVersion(), "120");
    EXPECT_EQ(bundle.pathForResource("footer", "plist", "included"), dir.filePath("included/footer.plist"));
    EXPECT_TRUE(bundle.pathForResource("absent", "png").isEmpty());
}

TEST(Bundle, MainBundleFollowsTheEnvironmentOverride)
{
    // CTest points TOLVAN_RESOURCES at the source tree's resources.
    const Bundle& main = Bundle::main();
    EXPECT_TRUE(QFileInfo(main.resourcesPath() + "/Info.json").isFile());
    EXPECT_EQ(main.name(), "Tolvan");
    EXPECT_FALSE(main.identifier().isEmpty());
}

#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/Plinth/PLNConsole.h"

#include "tests/reporting/BriscaKit/KitFixtures.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using brstest::FakeRuntime;
using brstest::ScratchFolder;

namespace {

void touch(const std::string& path) { std::ofstream(path) << "x"; }

}  // namespace

class FileManagerTest : public ::testing::Test {
protected:
    ScratchFolder caches;
    FakeRuntime runtime{caches.path()};
    BRSFileManager manager{runtime};
};

TEST_F(FileManagerTest, LaysOutTheTreeUnderTheSanitisedBundleIdentifier)
{
    runtime.bundleIdentifier_ = "com.kestrova/tolvan";
    EXPECT_EQ(manager.rootPath(), caches.path() + "/com.brisca.data/com.kestrova_tolvan");
    EXPECT_EQ(manager.activePath(), manager.rootPath() + "/v3/active");
    ASSERT_TRUE(manager.prepareForNewLaunch());
    for (const auto& path : {manager.activePath(), manager.processingPath(), manager.preparedPath()})
        EXPECT_TRUE(fs::is_directory(path)) << path;
    EXPECT_FALSE(fs::exists(manager.pendingPath()));
    const auto report = manager.setupNewPathForExecutionIdentifier("abc123");
    ASSERT_TRUE(report);
    EXPECT_EQ(*report, manager.activePath() + "/abc123");
    EXPECT_TRUE(fs::is_directory(*report));
}

TEST_F(FileManagerTest, ALegacyMarkerRemovesTheWholeRootFirstAndSaysSoOutsideDebugMode)
{
    std::vector<std::string> console;
    pln::PLNSetConsoleSink([&](const std::string& line) { console.push_back(line); });
    ASSERT_TRUE(manager.prepareForNewLaunch());
    EXPECT_TRUE(console.empty()) << "nothing to remove, nothing said";
    touch(manager.activePath() + "/old-report");
    touch(manager.rootPath() + "/sendable");
    ASSERT_TRUE(manager.prepareForNewLaunch());
    pln::PLNSetConsoleSink(nullptr);
    EXPECT_FALSE(fs::exists(manager.rootPath() + "/sendable"));
    EXPECT_TRUE(manager.activePathContents().empty());
    EXPECT_EQ(console, std::vector<std::string>{"[Brisca:FileManager] Removed legacy structure at " + manager.rootPath()});
}

TEST_F(FileManagerTest, HiddenEntriesAreNeverListedMovedOrRemoved)
{
    ASSERT_TRUE(manager.prepareForNewLaunch());
    fs::create_directories(manager.pendingPath());
    touch(manager.pendingPath() + "/.hidden");
    touch(manager.pendingPath() + "/report-b");
    fs::create_directory(manager.pendingPath() + "/report-a");
    touch(manager.pendingPath() + "/report-a/signal.brsrecord");

    EXPECT_EQ(manager.contentsOfDirectory(manager.pendingPath()).size(), 2u);
    ASSERT_TRUE(manager.movePendingToProcessing());
    EXPECT_EQ(manager.processingPathContents(),
              (std::vector<std::string>{manager.processingPath() + "/report-a", manager.processingPath() + "/report-b"}));
    EXPECT_TRUE(fs::exists(manager.processingPath() + "/report-a/signal.brsrecord"));
    EXPECT_TRUE(fs::exists(manager.pendingPath() + "/.hidden"));

    std::vector<std::pair<std::string, std::string>> seen;
    touch(manager.preparedPath() + "/package.multipartmime");
    manager.enumerateFilesInPreparedDirectory(
        [&](const std::string& path, const std::string& extension) { seen.emplace_back(path, extension); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].second, "multipartmime");

    EXPECT_TRUE(manager.removeContentsOfDirectoryAtPath(manager.pendingPath()));
    EXPECT_TRUE(fs::exists(manager.pendingPath() + "/.hidden"));
}

TEST_F(FileManagerTest, AFailedMoveLeavesTheRemainingEntriesWhereTheyAre)
{
    ASSERT_TRUE(manager.prepareForNewLaunch());
    touch(manager.activePath() + "/a");
    touch(manager.activePath() + "/b");
    EXPECT_FALSE(manager.moveItemsFromDirectory(manager.activePath(), caches.file("missing-destination")));
    EXPECT_EQ(manager.activePathContents().size(), 2u);
    EXPECT_FALSE(manager.moveItemAtPath("", manager.preparedPath()));
    EXPECT_FALSE(manager.removeItemAtPath(caches.file("never-existed")));
}

TEST_F(FileManagerTest, RemovingAllStagesEmptiesThoseThatExist)
{
    ASSERT_TRUE(manager.prepareForNewLaunch());
    touch(manager.activePath() + "/a");
    touch(manager.processingPath() + "/b");
    touch(manager.preparedPath() + "/c");
    EXPECT_TRUE(manager.removeContentsOfAllPaths()) << "a missing pending folder lists as empty";
    EXPECT_TRUE(manager.activePathContents().empty());
    EXPECT_TRUE(manager.processingPathContents().empty());
    EXPECT_TRUE(manager.preparedPathContents().empty());
    EXPECT_EQ(manager.fileSizeAtPath(manager.activePath()).has_value(), false);
}

// Event lines, log files and the usage-event directory tree.
#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogFile.h"
#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogSessionRepository.h"
#include "tests/reporting/Plinth/ScratchFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

using reportingtest::ScratchFolder;
namespace fs = std::filesystem;

namespace {

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void touch(const std::string& path, const std::string& text = "")
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(BRSEventLogEventTest, LinesCarryTheirPayloadByLengthUnchanged)
{
    EXPECT_EQ(BRSEventLogEvent(1, 1000, "app_launched").eventData(), "1000\tapp_launched\n");
    EXPECT_EQ(BRSEventLogEvent(2, 1000, "custom", "{}").eventData(), "1000\tcustom\t2\t{}\n");
    EXPECT_EQ(BRSEventLogEvent(2, 1000, "custom", "{}").eventData().size(), 17u);
    EXPECT_EQ(BRSEventLogEvent(0, 5, "k", std::string("a\tb\nc")).eventData(), "5\tk\t5\ta\tb\nc\n");

    const BRSEventLogEvent a(1, 7, "key"), b(1, 7, "key");
    EXPECT_TRUE(a == b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_FALSE(a == BRSEventLogEvent(1, 7, "key", ""));
    EXPECT_FALSE(a == BRSEventLogEvent(2, 7, "key"));
}

TEST(BRSEventLogFileTest, OpensAppendsResetsAndReadsBack)
{
    ScratchFolder folder;
    fs::create_directories(folder.path() + "/blocked/inner");
    auto blocked = BRSEventLogFile::open(folder.path() + "/blocked");
    ASSERT_TRUE(blocked) << "a directory in the way is removed";
    EXPECT_EQ(blocked->fileSize(), 0u);
    EXPECT_TRUE(fs::is_regular_file(folder.path() + "/blocked"));

    touch(folder.path() + "/0.log", std::string(50, 'x'));
    auto file = BRSEventLogFile::open("0.log", folder.path());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->fileSize(), 50u);
    ASSERT_TRUE(file->appendData(std::string(100, 'y'), nullptr));
    EXPECT_EQ(file->fileSize(), 150u);
    brs::Error error;
    EXPECT_EQ(file->readFromFile(&error), std::string(50, 'x') + std::string(100, 'y'));
    ASSERT_TRUE(file->appendData("z", nullptr)) << "still open for appending after a read";
    EXPECT_EQ(contents(folder.path() + "/0.log").back(), 'z');
    ASSERT_TRUE(file->resetFile(nullptr));
    EXPECT_EQ(file->fileSize(), 0u);
    EXPECT_EQ(fs::file_size(folder.path() + "/0.log"), 0u);

    EXPECT_FALSE(BRSEventLogFile::open(folder.path() + "/no/such/folder/1.log"));
}

TEST(BRSEventLogFileTest, ATornLineIsCutBackSoTheNextLineStartsClean)
{
    ScratchFolder folder;
    auto file = BRSEventLogEventFile::open(folder.path() + "/2.log");
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->appendEvent(BRSEventLogEvent(2, 1, "first"), nullptr));
    const uint64_t whole = file->fileSize();
    {
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = whole + 10;  // room for part of the next line only
        ::setrlimit(RLIMIT_FSIZE, &limited);
        brs::Error error;
        EXPECT_FALSE(file->appendEvent(BRSEventLogEvent(2, 2, "custom", std::string(200, 'p')), &error));
        EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
    EXPECT_EQ(fs::file_size(folder.path() + "/2.log"), whole);
    ASSERT_TRUE(file->appendEvent(BRSEventLogEvent(2, 3, "third"), nullptr));
    EXPECT_EQ(contents(folder.path() + "/2.log"), "1\tfirst\n3\tthird\n");
}

TEST(BRSEventLogSessionRepositoryTest, NamesAndPriorities)
{
    EXPECT_EQ(BRSEventLogSessionRepository::priorityForEventLogFileWithName("0.log"), 0);
    EXPECT_EQ(BRSEventLogSessionRepository::priorityForEventLogFileWithName("0.log.zip"), 0);
    EXPECT_EQ(BRSEventLogSessionRepository::priorityForEventLogFileWithName("2.log"), 2);
    EXPECT_EQ(BRSEventLogSessionRepository::priorityForEventLogFileWithName("3.log"), -1);
    EXPECT_EQ(BRSEventLogSessionRepository::priorityForEventLogFileWithName("log"), -1);
    EXPECT_EQ(BRSEventLogSessionRepository::priorityForEventLogFileWithName("0.txt"), -1);
    EXPECT_FALSE(BRSEventLogSessionRepository::activeEventLogFileNameForPriority(3));
    EXPECT_EQ(BRSEventLogSessionRepository::sessionDirectoryName("a1b2", 1000), "1000_a1b2");
    EXPECT_EQ(BRSEventLogSessionRepository::sessionDirectoryName("a1b2", 0), "0_a1b2");
}

TEST(BRSEventLogSessionRepositoryTest, TheLastLogFileTakesItsEmptyDirectoriesWithIt)
{
    ScratchFolder folder;
    BRSEventLogSessionRepository repository(folder.path());
    const auto file = repository.eventLogFile(kBRSEventLogStateActive, "s", 1, "f", 2, 1, nullptr);
    ASSERT_TRUE(file);
    EXPECT_EQ(*file, folder.path() + "/v1/ACTIVE/1_s/2_f/1.log");
    EXPECT_FALSE(fs::exists(*file)) << "the file itself is not made";
    touch(*file, "line\n");
    ASSERT_TRUE(repository.removeLogFile(*file, nullptr));
    EXPECT_FALSE(fs::exists(folder.path() + "/v1/ACTIVE"));
    EXPECT_TRUE(fs::exists(folder.path() + "/v1"));

    // A file where a directory belongs is replaced.
    touch(folder.path() + "/v1/PACKAGED", "stray");
    ASSERT_TRUE(repository.stateDirectory(kBRSEventLogStatePackaged, nullptr));
    EXPECT_TRUE(fs::is_directory(folder.path() + "/v1/PACKAGED"));
}

TEST(BRSEventLogSessionRepositoryTest, PackagingMovesThroughAPrepDirectory)
{
    ScratchFolder folder;
    BRSEventLogSessionRepository repository(folder.path());
    const auto fragment = repository.sessionFragmentDirectory(kBRSEventLogStateActive, "s", 1, "f", 2, nullptr);
    ASSERT_TRUE(fragment);
    const auto prep = repository.prepSessionFragmentDirectory(kBRSEventLogStatePackaged, *fragment, nullptr);
    ASSERT_TRUE(prep);
    EXPECT_EQ(*prep, folder.path() + "/v1/PACKAGED/1_s/2_f.prep");
    EXPECT_FALSE(repository.removePrepStatus(*fragment, nullptr)) << "not a prep directory: nothing moves";
    EXPECT_TRUE(fs::exists(*fragment));
    touch(*prep + "/0.log.zip", "z");
    const auto final = repository.removePrepStatus(*prep, nullptr);
    ASSERT_TRUE(final);
    EXPECT_TRUE(fs::exists(*final + "/0.log.zip"));

    fs::create_directories(folder.path() + "/v1/PACKAGED/1_s/3_g.prep");
    ASSERT_TRUE(repository.purgePrepSessionFragmentDirectories(kBRSEventLogStatePackaged, nullptr));
    EXPECT_FALSE(fs::exists(folder.path() + "/v1/PACKAGED/1_s/3_g.prep"));
    const auto all = repository.logFilesForAllStates(nullptr);
    ASSERT_TRUE(all);
    EXPECT_EQ(*all, std::vector<std::string>{*final + "/0.log.zip"});
}

TEST(BRSEventLogSessionRepositoryTest, CleanUpKeepsLogFilesAndTheOpenFragmentOnly)
{
    ScratchFolder folder;
    const std::string active = folder.path() + "/v1/ACTIVE";
    touch(active + "/1_s/2_a/0.log", "x");
    touch(active + "/1_s/2_a/notes.txt", "x");
    touch(active + "/1_s/3_b/notes.txt", "x");
    fs::create_directories(active + "/1_s/4_open");
    fs::create_directories(active + "/5_t/6_empty");
    touch(folder.path() + "/v1/STRAY/file", "x");
    BRSEventLogSessionRepository repository(folder.path());
    ASSERT_TRUE(repository.cleanUpIgnoringSessionFragmentDirectory(active + "/1_s/./4_open", nullptr));
    EXPECT_TRUE(fs::exists(active + "/1_s/2_a/0.log"));
    EXPECT_FALSE(fs::exists(active + "/1_s/2_a/notes.txt"));
    EXPECT_FALSE(fs::exists(active + "/1_s/3_b"));
    EXPECT_TRUE(fs::exists(active + "/1_s/4_open"));
    EXPECT_FALSE(fs::exists(active + "/5_t"));
    EXPECT_FALSE(fs::exists(folder.path() + "/v1/STRAY"));
    EXPECT_TRUE(fs::exists(folder.path() + "/v1"));
}

// Settings, reports of earlier executions, and their packaging.
#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/BriscaKit/Reports/BRSReport.h"
#include "reporting/BriscaKit/Reports/BRSReportPackaging.h"
#include "reporting/BriscaKit/Reports/BRSReportsController.h"
#include "reporting/BriscaKit/BRSSettings.h"
#include "reporting/BriscaKit/Tally/BRSGzip.h"
#include "reporting/Plinth/PLNConsole.h"
#include "tests/reporting/BriscaKit/ReportFixtures.h"
#include "tests/support/reporting/Multipart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <random>
#include <sys/resource.h>

using namespace brstest;
namespace fs = std::filesystem;

TEST(BRSSettingsTest, MissingValuesTakeTheirDefaults)
{
    for (const auto& dictionary : {std::optional<nlohmann::json>(), std::optional<nlohmann::json>(nlohmann::json{{"features", nlohmann::json::object()}})}) {
        BRSSettings settings(dictionary);
        EXPECT_TRUE(settings.crashReportingEnabled());
        EXPECT_TRUE(settings.errorReportingEnabled());
        EXPECT_FALSE(settings.userPromptEnabled());
        EXPECT_EQ(settings.logBufferSize(), 65536u);
        EXPECT_EQ(settings.maxCustomExceptions(), 16u);
        EXPECT_EQ(settings.maxCustomKeys(), 16u);
        EXPECT_EQ(settings.betaSuspendDuration(), 3600);
        EXPECT_TRUE(settings.shouldPackageReports());
        EXPECT_EQ(settings.interactivePromptSendTitle(), "Send");
    }
    BRSSettings given(nlohmann::json{{"features", {{"collect_reports", false}, {"prompt_enabled", true}}},
                                     {"session", {{"log_buffer_size", 1000}, {"max_custom_key_value_pairs", 3}}},
                                     {"prompt", {{"title", "Oops"}}}});
    EXPECT_FALSE(given.crashReportingEnabled());
    EXPECT_TRUE(given.userPromptEnabled());
    EXPECT_EQ(given.logBufferSize(), 1000u);
    EXPECT_EQ(given.maxCustomKeys(), 3u);
    EXPECT_EQ(given.interactivePromptTitle(), "Oops");
}

TEST(BRSSettingsTest, TranslationsWinOverDownloadedTextsAndTheEnvironmentOverridesSwitches)
{
    BRSSettings settings(nlohmann::json{{"prompt", {{"title", "Oops"}, {"message", "Downloaded"}}}},
                         [](const std::string& table, const std::string& key, const std::string& fallback) {
                             return table == "Brisca" && key == "BriscaCrashSubmissionPromptTitle" ? std::string("Hoppla") : fallback;
                         });
    EXPECT_EQ(settings.interactivePromptTitle(), "Hoppla");
    EXPECT_EQ(settings.interactivePromptMessage(), "Downloaded");

    std::vector<std::string> lines;
    pln::PLNSetConsoleSink([&](const std::string& line) { lines.push_back(line); });
    ::setenv("BriscaPackageReports", "NO", 1);
    EXPECT_FALSE(settings.shouldPackageReports());
    ::setenv("BriscaPackageReports", "yes", 1);
    EXPECT_TRUE(settings.shouldPackageReports());
    ::unsetenv("BriscaPackageReports");
    pln::PLNSetConsoleSink(nullptr);
    EXPECT_EQ(lines, (std::vector<std::string>{"[Brisca:Crash] override: 'PackageReports' => 'NO'",
                                                "[Brisca:Crash] override: 'PackageReports' => 'yes'"}));
}

TEST(BRSReportTest, MetadataValuesAndWhatMakesAReportWorthSending)
{
    ScratchFolder folder;
    auto crashed = BRSInternalReport::reportWithPath(writeReport(folder.file("one")));
    EXPECT_EQ(crashed->identifier(), "abc123");
    EXPECT_EQ(crashed->APIKey(), "0123456789abcdef0123456789abcdef01234567");
    EXPECT_EQ(crashed->dateCreated(), 1700000000u);
    EXPECT_EQ(crashed->OSVersion(), "Debian 12");
    EXPECT_EQ(crashed->OSBuildVersion(), "12.0");
    EXPECT_EQ(crashed->bundleVersion(), "7");
    EXPECT_EQ(crashed->bundleShortVersionString(), "1.2");
    EXPECT_TRUE(crashed->needsToBeSubmitted());
    EXPECT_TRUE(crashed->holdsCrash());

    auto errorsOnly = BRSInternalReport::reportWithPath(writeReport(folder.file("two"), "def", false));
    EXPECT_TRUE(errorsOnly->needsToBeSubmitted());
    EXPECT_FALSE(errorsOnly->holdsCrash());

    writeFile(folder.file("three/log_a.brsrecord"), "{\"log\":{}}\n");
    auto bare = BRSInternalReport::reportWithPath(folder.file("three"));
    EXPECT_FALSE(bare->identifier());
    EXPECT_EQ(bare->dateCreated(), 0u);
    EXPECT_FALSE(bare->APIKey());
    EXPECT_FALSE(bare->needsToBeSubmitted());
}

class PackagingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(files.prepareForNewLaunch()); }

    std::vector<std::string> preparedEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(files.preparedPath()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    ScratchFolder folder;
    FakeRuntime runtime{folder.path()};
    BRSFileManager files{runtime};
};

TEST_F(PackagingTest, APackageHoldsKeyIdentifierAndEveryFileCompressedOnce)
{
    const std::string report = writeReport(files.activePath() + "/abc123");
    writeFile(report + "/old.brsrecord.gz", "compressed by an earlier run");
    BRSPackageReportOperation packaging(BRSInternalReport::reportWithPath(report), files);
    packaging.main();
    ASSERT_TRUE(packaging.finalPath());
    EXPECT_EQ(fs::path(*packaging.finalPath()).parent_path(), fs::path(files.preparedPath()));
    EXPECT_EQ(preparedEntries(), std::vector<std::string>{fs::path(*packaging.finalPath()).filename().string()});

    const std::string boundary = fs::path(*packaging.finalPath()).stem().string();
    const std::string body = fileText(*packaging.finalPath());
    EXPECT_NE(body.find("--" + boundary + "--"), std::string::npos) << "the package ends with its closing boundary";
    const auto parts = reportingtest::parseMultipart(body, boundary);
    ASSERT_EQ(parts.size(), 5u);
    EXPECT_EQ(parts[0].name, "api_key");
    EXPECT_EQ(parts[0].data, "0123456789abcdef0123456789abcdef01234567");
    EXPECT_EQ(parts[1].name, "report_id");
    EXPECT_EQ(parts[1].data, "abc123");
    std::map<std::string, std::string> files;
    for (size_t i = 2; i < parts.size(); ++i) {
        EXPECT_EQ(parts[i].contentType, "application/x-gzip");
        ASSERT_TRUE(parts[i].fileName);
        files[parts[i].name] = *parts[i].fileName;
        const auto original = parts[i].fileName->substr(0, parts[i].fileName->size() - 3);
        EXPECT_EQ(reportingtest::gunzip(parts[i].data), fileText(report + "/" + original)) << original;
    }
    EXPECT_EQ(files, (std::map<std::string, std::string>{
                         {"metadata", "metadata.brsrecord.gz"}, {"signal", "signal.brsrecord.gz"}, {"sdk", "sdk.log.gz"}}));
}

TEST_F(PackagingTest, DamagedRecordsOfAnEarlierRunArePackagedWithoutFailing)
{
    const std::string report = writeReport(files.activePath() + "/abc123");
    fs::remove(report + "/signal.brsrecord");
    fs::create_directories(report + "/signal.brsrecord/inside");
    writeFile(report + "/metadata.brsrecord", "{\"identity\":" + std::string(100000, '[') + std::string(100000, ']') + "}\n");
    BRSSymbolResolver resolver;
    BRSProcessReportOperation(BRSInternalReport::reportWithPath(report), resolver).main();
    BRSPackageReportOperation packaging(BRSInternalReport::reportWithPath(report), files);
    packaging.main();
    ASSERT_TRUE(packaging.finalPath());
    const std::string boundary = fs::path(*packaging.finalPath()).stem().string();
    const auto parts = reportingtest::parseMultipart(fileText(*packaging.finalPath()), boundary);
    const auto signal = std::find_if(parts.begin(), parts.end(), [](const auto& part) { return part.name == "signal"; });
    ASSERT_NE(signal, parts.end());
    EXPECT_EQ(reportingtest::gunzip(signal->data), "") << "a folder is sent as an empty file";
}

TEST_F(PackagingTest, ProcessingWithoutBinaryImagesWritesNoSymbolicatedFrames)
{
    const std::string report = writeReport(files.activePath() + "/abc123");
    BRSSymbolResolver resolver;
    BRSProcessReportOperation(BRSInternalReport::reportWithPath(report), resolver).main();
    EXPECT_FALSE(fs::exists(report + "/signal.brsrecord.symbolicated"));
    const auto threads = BRSProcessReportOperation::threadArrayFromFile(report + "/signal.brsrecord");
    ASSERT_TRUE(threads);
    ASSERT_EQ(threads->size(), 1u);
    EXPECT_EQ((*threads)[0].size(), 2u);
    EXPECT_EQ((*threads)[0][1].address, 8192u);
}

namespace {

// Files may grow to limit bytes while it lives: writes beyond fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

std::string incompressible(size_t size)
{
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = char(random());
    return bytes;
}

class StubReportsDelegate : public BRSReportsControllerDelegate {
public:
    std::shared_ptr<const BRSSettings> settingsForReportsController() override { return std::make_shared<BRSSettings>(); }
    std::string bundleIdentifierForReportsController() override { return "com.kestrova.tolvan"; }
    std::optional<std::string> APIKeyForReportsController() override { return "key"; }
    void reportsControllerDidCompletePackageSubmission(const std::string&, const std::optional<brs::Error>&) override {}
};

}  // namespace

TEST_F(PackagingTest, AFullDiskKeepsTheReportAndLeavesNoPartialPackage)
{
    const std::string report = writeReport(files.activePath() + "/abc123");
    writeFile(report + "/log_a.brsrecord", incompressible(256 * 1024));
    auto delegate = std::make_shared<StubReportsDelegate>();
    auto queue = std::make_shared<brs::SerialQueue>("test.work");
    auto client = BRSNetworkClient::create(queue, files, std::weak_ptr<BRSNetworkClientDelegate>());
    BRSReportsController controller(delegate, client, files);
    {
        FileSizeLimit limit(128 * 1024);
        EXPECT_FALSE(controller.prepareAndSubmitReport(BRSInternalReport::reportWithPath(report), false, true));
    }
    EXPECT_TRUE(preparedEntries().empty()) << "no package, not even a hidden partial one";
    const std::string kept = files.processingPath() + "/abc123";
    EXPECT_TRUE(fs::exists(kept + "/signal.brsrecord"));
    EXPECT_EQ(fileText(kept + "/log_a.brsrecord").size(), 256u * 1024);

    // With room again, the kept report packages whole from where it lies
    // (and, with submission off, the package waits in "prepared").
    ::setenv("BriscaSubmitReports", "NO", 1);
    EXPECT_FALSE(controller.prepareAndSubmitReport(BRSInternalReport::reportWithPath(kept), false, false));
    ::unsetenv("BriscaSubmitReports");
    ASSERT_EQ(preparedEntries().size(), 1u);
    EXPECT_FALSE(fs::exists(kept));
    const std::string package = files.preparedPath() + "/" + preparedEntries()[0];
    const auto parts = reportingtest::parseMultipart(fileText(package), fs::path(package).stem().string());
    ASSERT_EQ(parts.size(), 6u);
    const auto log = std::find_if(parts.begin(), parts.end(), [](const auto& part) { return part.name == "log_a"; });
    ASSERT_NE(log, parts.end());
    EXPECT_EQ(reportingtest::gunzip(log->data).value_or("").size(), 256u * 1024);
}

// Report files and usage-event logs are compressed alike: the package's
// copy is byte for byte what the kit's gzip helper makes of the file.
TEST_F(PackagingTest, EveryFileIsCompressedByTheKitsGzipHelper)
{
    std::string log;
    for (int line = 0; line < 20000; ++line)
        log += "{\"log\":{\"msg\":\"" + std::to_string(line * 7919 % 10007) + "\",\"time\":" + std::to_string(line * 13) + "}}\n";
    writeFile(folder.file("log_a.brsrecord"), log);
    const auto compressed = BRSPackageReportOperation::compressFile(folder.file("log_a.brsrecord"));
    ASSERT_TRUE(compressed);
    EXPECT_EQ(*compressed, folder.file("log_a.brsrecord.gz"));

    std::FILE* in = std::fopen(folder.file("log_a.brsrecord").c_str(), "rb");
    std::FILE* out = std::fopen(folder.file("helper.gz").c_str(), "wb");
    ASSERT_EQ(BRSGzipCompressFile(in, out), 0);
    std::fclose(in);
    std::fclose(out);
    const std::string packaged = fileText(*compressed);
    EXPECT_EQ(packaged, fileText(folder.file("helper.gz")));
    EXPECT_EQ(reportingtest::gunzip(packaged), log);

    // A file that cannot be read is sent as an empty, whole stream.
    const auto unreadable = BRSPackageReportOperation::compressFile(folder.file("missing.brsrecord"));
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(reportingtest::gunzip(fileText(*unreadable)), "");
}

TEST(BRSGzipTest, CompressesEmptyAndIncompressibleInputIntoWholeStreams)
{
    ScratchFolder folder;
    for (const std::string& input : {std::string(), incompressible(100 * 1024), std::string(50000, 'a')}) {
        writeFile(folder.file("in"), input);
        std::FILE* in = std::fopen(folder.file("in").c_str(), "rb");
        std::FILE* out = std::fopen(folder.file("out.zip").c_str(), "wb");
        EXPECT_EQ(BRSGzipCompressFile(in, out), 0);
        std::fclose(in);
        std::fclose(out);
        EXPECT_EQ(reportingtest::gunzip(fileText(folder.file("out.zip"))), input);
    }
    EXPECT_EQ(BRSGzipCompressFile(nullptr, nullptr), -1);
}

// End to end on 127.0.0.1: the crash helper crashes in a scratch home; its
// next launch starts the whole kit, asks, symbolicates, packages and posts
// the report to the fake reporting service.
#include "tests/reporting/BriscaKit/CrashHelperRun.h"
#include "tests/reporting/BriscaKit/LaunchFixtures.h"
#include "tests/reporting/BriscaKit/ReportFixtures.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/Multipart.h"

#include <gtest/gtest.h>

#include <sstream>


using namespace brstest;
using reportingtest::FakeReportingService;
using reportingtest::KitTestPKI;
using reportingtest::ScriptedAnswer;
using nlohmann::json;

namespace {

const std::string kCrashReportsPath = "/sdk-api/v1/platforms/mac/apps/com.kestrova.tolvan/reports";

struct CrashKind {
    std::string command;
    std::string record;    // the part of the crash record
    std::string function;  // the crashing function, as symbolication names it
};

std::ostream& operator<<(std::ostream& out, const CrashKind& kind) { return out << kind.command; }

class CrashUploadTest : public ::testing::TestWithParam<CrashKind> {
protected:
    // Crashes the helper as the command says, runs its next launch against
    // the fake service (the send prompt's first button answering) and
    // answers the one report the service received, part by part.
    std::map<std::string, reportingtest::RecordedPart> crashAndRelaunch(const std::string& command)
    {
        writeFile(home.file("root.pem"), KitTestPKI::shared().pinnedRoot.certificatePEM());
        writeCachedSettings(home.path(), {{"features", {{"prompt_enabled", true}}}});
        service.script("POST", kCrashReportsPath, {ScriptedAnswer{200, "{}"}});
        runCrashHelper({command}, {{"HOME", home.path()}});
        nextLaunchOutput = runCrashHelper({"next-launch"}, {{"HOME", home.path()},
                                                            {"BRISCA_TEST_SERVICE", service.baseURL()},
                                                            {"BRISCA_TEST_ROOT", home.file("root.pem")},
                                                            {"BRISCA_TEST_PROMPT", "0"}}).output;
        std::map<std::string, reportingtest::RecordedPart> parts;
        if (service.requestCount("POST", kCrashReportsPath) != 1)
            return parts;
        request = service.requests().back();
        for (const auto& part : request.parts) {
            parts[part.name] = part;
            partOrder.push_back(part.name);
        }
        return parts;
    }

    ScratchFolder home;
    FakeReportingService service{KitTestPKI::shared().pinnedLeaf};
    std::string nextLaunchOutput;
    reportingtest::RecordedRequest request;
    std::vector<std::string> partOrder;
};

// The records of a gzipped record-file part, one per line.
std::vector<json> recordsOfPart(const reportingtest::RecordedPart& part)
{
    std::vector<json> records;
    const auto text = reportingtest::gunzip(part.data);
    if (!text)
        return records;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);)
        if (auto record = json::parse(line, nullptr, false); !record.is_discarded())
            records.push_back(std::move(record));
    return records;
}

std::string fileNameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// A crash as the service holds it: each thread's raw addresses beside the
// frames symbolication made of them, and the images the run had loaded.
struct UploadedCrash {
    std::vector<json> threads;       // the crash record's "threads"
    std::vector<json> symbolicated;  // one array of frames per thread
    std::vector<json> images;        // "load" and "unload" records, in order

    // The last "load" record of an image that held the address.
    std::optional<json> imageAt(uint64_t address) const
    {
        std::optional<json> found;
        for (const auto& event : images)
            if (event.contains("load")) {
                const uint64_t base = event["load"]["base"], size = event["load"]["size"];
                if (base <= address && address - base < size)
                    found = event["load"];
            }
        return found;
    }
    // The symbols of the crashed thread's frames at addresses in the named
    // library, as the run recorded its images ("" for a frame without one).
    std::vector<std::string> crashedSymbolsIn(const std::string& library) const
    {
        std::vector<std::string> symbols;
        for (size_t t = 0; t < threads.size() && t < symbolicated.size(); ++t) {
            if (!threads[t].value("crashed", false))
                continue;
            const auto& addresses = threads[t]["stacktrace"];
            for (size_t f = 0; f < addresses.size() && f < symbolicated[t].size(); ++f) {
                const auto image = imageAt(addresses[f].get<uint64_t>());
                const json& symbol = symbolicated[t][f]["symbol"];
                if (image && fileNameOf((*image)["path"].get<std::string>()) == library)
                    symbols.push_back(symbol.is_string() ? symbol.get<std::string>() : "");
            }
        }
        return symbols;
    }
};

UploadedCrash uploadedCrash(std::map<std::string, reportingtest::RecordedPart>& parts, const std::string& record)
{
    UploadedCrash crash;
    for (const auto& line : recordsOfPart(parts[record]))
        if (line.contains("threads"))
            crash.threads = line["threads"].get<std::vector<json>>();
    for (const auto& line : recordsOfPart(parts[record + ".brsrecord"]))
        if (line.contains("threads"))
            crash.symbolicated = line["threads"].get<std::vector<json>>();
    crash.images = recordsOfPart(parts["binary_images"]);
    return crash;
}

}  // namespace

TEST_P(CrashUploadTest, TheNextLaunchAsksThenPostsTheSymbolicatedReport)
{
    const CrashKind& kind = GetParam();
    auto parts = crashAndRelaunch(kind.command);
    EXPECT_NE(nextLaunchOutput.find("alert Send Crash Report?|"), std::string::npos) << nextLaunchOutput;
    EXPECT_NE(nextLaunchOutput.find("prepared 0 processing 0 active 1"), std::string::npos) << nextLaunchOutput;

    ASSERT_EQ(service.requestCount("POST", kCrashReportsPath), 1u);
    EXPECT_EQ(request.header("X-Brisca-API-Key"), kTestAPIKey);
    ASSERT_GE(partOrder.size(), 4u);
    EXPECT_EQ(partOrder[0], "api_key");
    EXPECT_EQ(partOrder[1], "report_id");
    EXPECT_EQ(parts["report_id"].data, "feedface");
    for (const std::string& name : {std::string("metadata"), std::string("binary_images"), kind.record})
        EXPECT_TRUE(parts.count(name)) << name;
    ASSERT_TRUE(parts.count(kind.record + ".brsrecord")) << "the symbolicated frames";
    const auto& symbolicated = parts[kind.record + ".brsrecord"];
    EXPECT_EQ(symbolicated.fileName, kind.record + ".brsrecord.symbolicated.gz");
    EXPECT_EQ(symbolicated.contentType, "application/x-gzip");

    const auto text = reportingtest::gunzip(symbolicated.data);
    ASSERT_TRUE(text);
    const json record = json::parse(*text, nullptr, false);
    ASSERT_TRUE(record.contains("threads")) << *text;
    bool named = false;
    for (const auto& thread : record["threads"])
        for (const auto& frame : thread)
            named = named || (frame["symbol"].is_string() && frame["symbol"].get<std::string>().find(kind.function) != std::string::npos &&
                              frame["library"] == "brisca-crash-helper");
    EXPECT_TRUE(named) << kind.function << " in " << text->substr(0, 2000);
}

// Every address that lies in an image the run recorded reaches the service
// with that image's name, whether or not a symbol covers it.
TEST_P(CrashUploadTest, EveryFrameInARecordedImageCarriesItsLibrary)
{
    const CrashKind& kind = GetParam();
    auto parts = crashAndRelaunch(kind.command);
    const UploadedCrash crash = uploadedCrash(parts, kind.record);
    ASSERT_FALSE(crash.threads.empty());
    ASSERT_EQ(crash.threads.size(), crash.symbolicated.size());
    size_t inImages = 0;
    for (size_t t = 0; t < crash.threads.size(); ++t) {
        const auto& addresses = crash.threads[t]["stacktrace"];
        const auto& frames = crash.symbolicated[t];
        ASSERT_EQ(addresses.size(), frames.size()) << "thread " << t;
        for (size_t f = 0; f < frames.size(); ++f) {
            const auto image = crash.imageAt(addresses[f].get<uint64_t>());
            if (!image)
                continue;
            ++inImages;
            EXPECT_EQ(frames[f]["library"], fileNameOf((*image)["path"].get<std::string>()))
                << "thread " << t << " frame " << f << ": " << frames[f].dump();
        }
    }
    EXPECT_GT(inImages, 10u);
}

INSTANTIATE_TEST_SUITE_P(Helper, CrashUploadTest,
                         ::testing::Values(CrashKind{"null-write", "mach_exception", "helper::crashByNullWrite"},
                                           CrashKind{"abort", "signal", "helper::crashByAbort"},
                                           CrashKind{"exception", "exception", "helper::crashByException"},
                                           CrashKind{"ud2", "mach_exception", "helper::crashByIllegalInstruction"},
                                           CrashKind{"divide", "mach_exception", "helper::crashByDivision"},
                                           CrashKind{"raise", "signal", "helper::crashByRaise"},
                                           CrashKind{"null-call", "mach_exception", "helper::crashByNullCall"},
                                           CrashKind{"throw-int", "exception", "helper::crashByThrowingAnInteger"},
                                           CrashKind{"late-library", "mach_exception", "helper::crashInLibraryOpenedLater"}),
                         [](const ::testing::TestParamInfo<CrashKind>& info) {
                             std::string name = info.param.command;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

namespace {

bool holds(const std::vector<std::string>& symbols, const std::string& name)
{
    return std::find(symbols.begin(), symbols.end(), name) != symbols.end();
}

class RuntimeFramesTest : public CrashUploadTest {};

}  // namespace

// An abort stops inside the C library, an uncaught exception passes through
// the C++ runtime on its way there: the developer reads those frames by
// their functions' names. The C library's own functions are named from its
// detached debug file (the system's libc6-dbg), the C++ runtime's exported
// ones from its dynamic symbols; a function the runtime keeps to itself,
// with no symbol table on the system to name it, is still placed by its
// library and offset.
TEST_F(RuntimeFramesTest, TheCLibrarysFramesOfAnAbortAreNamed)
{
    auto parts = crashAndRelaunch("abort");
    const auto libc = uploadedCrash(parts, "signal").crashedSymbolsIn("libc.so.6");
    ASSERT_GE(libc.size(), 3u);
    for (const auto& symbol : libc)
        EXPECT_FALSE(symbol.empty()) << ::testing::PrintToString(libc);
    EXPECT_TRUE(holds(libc, "abort")) << ::testing::PrintToString(libc);
    EXPECT_TRUE(holds(libc, "raise") || holds(libc, "gsignal")) << ::testing::PrintToString(libc);
}

TEST_F(RuntimeFramesTest, TheCppRuntimesFramesOfAnUncaughtExceptionAreNamed)
{
    auto parts = crashAndRelaunch("exception");
    const UploadedCrash crash = uploadedCrash(parts, "exception");
    const auto runtime = crash.crashedSymbolsIn("libstdc++.so.6");
    EXPECT_TRUE(holds(runtime, "__cxa_throw")) << ::testing::PrintToString(runtime);
    EXPECT_TRUE(holds(runtime, "std::terminate()")) << ::testing::PrintToString(runtime);
    for (const auto& symbol : crash.crashedSymbolsIn("libc.so.6"))
        EXPECT_FALSE(symbol.empty());
    const auto helper = crash.crashedSymbolsIn("brisca-crash-helper");
    EXPECT_TRUE(holds(helper, "helper::crashByException()")) << ::testing::PrintToString(helper);
}

// A library opened and closed again before the crash: the service learns
// both events, in order, with the library's place.
TEST_F(RuntimeFramesTest, ALibraryOpenedAndClosedBeforeTheCrashHasItsLoadAndUnloadRecords)
{
    auto parts = crashAndRelaunch("library-opened-and-closed");
    const UploadedCrash crash = uploadedCrash(parts, "mach_exception");
    std::vector<std::pair<std::string, json>> events;
    for (const auto& event : crash.images)
        for (const auto& [kind, image] : event.items())
            if (image.value("path", "").find("brisca-crash-module") != std::string::npos)
                events.emplace_back(kind, image);
    ASSERT_EQ(events.size(), 2u) << parts["binary_images"].data.size();
    EXPECT_EQ(events[0].first, "load");
    EXPECT_EQ(events[1].first, "unload");
    EXPECT_EQ(events[0].second["base"], events[1].second["base"]);
    EXPECT_EQ(events[0].second["size"], events[1].second["size"]);
    EXPECT_EQ(events[0].second["uuid"].get<std::string>().size(), 32u);
    EXPECT_EQ(events[0].second["uuid"], events[1].second["uuid"]);
}

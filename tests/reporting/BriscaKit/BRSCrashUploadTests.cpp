// End to end on 127.0.0.1: the crash helper crashes in a scratch home; its
// next launch starts the whole kit, asks, symbolicates, packages and posts
// the report to the fake reporting service.
#include "tests/reporting/BriscaKit/CrashHelperRun.h"
#include "tests/reporting/BriscaKit/LaunchFixtures.h"
#include "tests/reporting/BriscaKit/ReportFixtures.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/Multipart.h"

#include <gtest/gtest.h>


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
    ScratchFolder home;
    FakeReportingService service{KitTestPKI::shared().pinnedLeaf};
};

}  // namespace

TEST_P(CrashUploadTest, TheNextLaunchAsksThenPostsTheSymbolicatedReport)
{
    const CrashKind& kind = GetParam();
    writeFile(home.file("root.pem"), KitTestPKI::shared().pinnedRoot.certificatePEM());
    writeCachedSettings(home.path(), {{"features", {{"prompt_enabled", true}}}});
    service.script("POST", kCrashReportsPath, {ScriptedAnswer{200, "{}"}});

    runCrashHelper({kind.command}, {{"HOME", home.path()}});
    const std::string output = runCrashHelper({"next-launch"}, {{"HOME", home.path()},
                                                            {"BRISCA_TEST_SERVICE", service.baseURL()},
                                                            {"BRISCA_TEST_ROOT", home.file("root.pem")},
                                                            {"BRISCA_TEST_PROMPT", "0"}}).output;
    EXPECT_NE(output.find("alert Send Crash Report?|"), std::string::npos) << output;
    EXPECT_NE(output.find("prepared 0 processing 0 active 1"), std::string::npos) << output;

    ASSERT_EQ(service.requestCount("POST", kCrashReportsPath), 1u);
    const auto request = service.requests().back();
    EXPECT_EQ(request.header("X-Brisca-API-Key"), kTestAPIKey);
    std::map<std::string, reportingtest::RecordedPart> parts;
    std::vector<std::string> order;
    for (const auto& part : request.parts) {
        parts[part.name] = part;
        order.push_back(part.name);
    }
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(order[0], "api_key");
    EXPECT_EQ(order[1], "report_id");
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

INSTANTIATE_TEST_SUITE_P(Helper, CrashUploadTest,
                         ::testing::Values(CrashKind{"null-write", "mach_exception", "helper::crashByNullWrite"},
                                           CrashKind{"abort", "signal", "helper::crashByAbort"},
                                           CrashKind{"exception", "exception", "helper::crashByException"},
                                           CrashKind{"ud2", "mach_exception", "helper::crashByIllegalInstruction"},
                                           CrashKind{"divide", "mach_exception", "helper::crashByDivision"},
                                           CrashKind{"raise", "signal", "helper::crashByRaise"}),
                         [](const ::testing::TestParamInfo<CrashKind>& info) {
                             std::string name = info.param.command;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

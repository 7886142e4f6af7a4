// Every record line the kit writes, checked against the layout the reporting
// service reads: which kinds each file holds, and for each kind its member
// names in the order written (optional members only where they may stand).
// The lines come from a running kit's own files and from the report folders
// of crashed children.
#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSException.h"
#include "reporting/BriscaKit/Reports/BRSReport.h"
#include "reporting/BriscaKit/Reports/BRSReportPackaging.h"
#include "reporting/BriscaKit/Reports/BRSSymbolResolver.h"
#include "reporting/BriscaKit/BRSUserLogging.h"
#include "tests/reporting/BriscaKit/CrashHelperRun.h"
#include "tests/reporting/BriscaKit/KitFixtures.h"
#include "tests/reporting/BriscaKit/LaunchFixtures.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

using brstest::ScratchFolder;
using ordered_json = nlohmann::ordered_json;
namespace fs = std::filesystem;

namespace {

// A member name; an optional one is written "name?". The members of a
// layout's one group ("a?+", "b?+") stand or fall together.
using Layout = std::vector<std::string>;

const Layout kFrame = {"pc", "symbol?", "offset", "library?", "file?", "line"};
const Layout kThread = {"registers", "stacktrace", "crashed?"};

// The members of each record kind whose value is an object.
const std::map<std::string, Layout>& recordLayouts()
{
    static const std::map<std::string, Layout> layouts = {
        {"identity", {"generator", "build_version", "display_version", "api_key", "started_at", "session_id", "install_id", "beta_token"}},
        {"host", {"model", "machine", "cpu", "os_build_version", "os_display_version", "platform", "locale"}},
        {"application", {"bundle_id", "custom_bundle_id", "build_version", "display_version", "extension_id"}},
        {"executable", {"architecture", "uuid", "base", "size", "encrypted", "minimum_sdk_version", "built_sdk_version"}},
        {"load", {"path", "bundle_id?+", "build_version?+", "display_version?+", "uuid", "base", "size"}},
        {"unload", {"path", "bundle_id?+", "build_version?+", "display_version?+", "uuid", "base", "size"}},
        {"exception", {"type", "name", "reason", "time", "frames?"}},
        {"signal", {"number?+", "code?+", "address?+", "name?+", "code_name?+", "errno", "time"}},
        {"mach_exception", {"exception", "codes", "name", "code_name", "original_ports", "time"}},
        {"runtime", {"objc_selector", "crash_info_entries"}},
        {"process_stats", {"active", "inactive", "wired", "freeMem", "free_mem", "virtual", "resident", "user_time", "sys_time"}},
        {"storage", {"free?+", "total?+"}},
        {"kv", {"key", "value"}},
        {"log", {"msg", "time"}},
        {"error", {"domain", "code", "time", "stacktrace", "info?", "extra_info?"}},
    };
    return layouts;
}

// The record kinds whose value is an array.
const std::set<std::string> kArrayKinds = {"threads", "dispatch_queue_names", "thread_names"};

const std::vector<std::string> kCrashTimeKinds = {"threads", "runtime", "dispatch_queue_names", "thread_names", "process_stats", "storage"};

// The kinds each file may hold.
std::set<std::string> kindsOfFile(const std::string& name)
{
    auto with = [](std::vector<std::string> first) {
        std::set<std::string> kinds(first.begin(), first.end());
        kinds.insert(kCrashTimeKinds.begin(), kCrashTimeKinds.end());
        return kinds;
    };
    if (name == "metadata.brsrecord")
        return {"identity", "host", "application", "executable"};
    if (name == "binary_images.brsrecord")
        return {"load", "unload"};
    if (name == "exception.brsrecord")
        return with({"exception"});
    if (name == "custom_exception.brsrecord")
        return {"exception"};
    if (name == "signal.brsrecord")
        return with({"signal"});
    if (name == "mach_exception.brsrecord")
        return with({"mach_exception"});
    if (name.find("_kv.brsrecord") != std::string::npos)
        return {"kv"};
    if (name == "log_a.brsrecord" || name == "log_b.brsrecord")
        return {"log"};
    if (name == "errors_a.brsrecord" || name == "errors_b.brsrecord")
        return {"error"};
    return {};
}

std::vector<std::string> namesOf(const ordered_json& object)
{
    std::vector<std::string> names;
    for (const auto& member : object.items())
        names.push_back(member.key());
    return names;
}

// What is wrong with an object's member names against a layout; empty when
// nothing is.
std::string mismatch(const std::vector<std::string>& names, const Layout& layout)
{
    std::size_t at = 0;
    int groupSize = 0, groupSeen = 0;  // the one group of a layout, and how many of it came
    for (const auto& entry : layout) {
        const bool optional = entry.find('?') != std::string::npos;
        const bool grouped = entry.size() > 1 && entry.back() == '+';
        const std::string name = entry.substr(0, entry.find('?'));
        groupSize += grouped;
        if (at < names.size() && names[at] == name) {
            ++at;
            groupSeen += grouped;
        } else if (!optional) {
            break;
        }
    }
    std::ostringstream out;
    if (at != names.size())
        out << "unexpected member \"" << names[at] << "\" at " << at;
    else if (groupSeen != 0 && groupSeen != groupSize)
        out << "a group of members stands only in part";
    else {
        // Every member the layout asks for without "?" is there (checked by the walk).
        for (const auto& entry : layout)
            if (entry.find('?') == std::string::npos && std::find(names.begin(), names.end(), entry) == names.end())
                out << "missing \"" << entry << "\"";
    }
    if (!out.str().empty()) {
        out << " in [";
        for (const auto& name : names)
            out << name << " ";
        out << "]";
    }
    return out.str();
}

std::string recordMismatch(const std::string& kind, const ordered_json& value)
{
    if (kArrayKinds.count(kind)) {
        if (!value.is_array())
            return kind + " is not an array";
        if (kind == "threads")
            for (const auto& thread : value)
                if (auto wrong = mismatch(namesOf(thread), kThread); !wrong.empty())
                    return "a thread: " + wrong;
        return {};
    }
    const auto layout = recordLayouts().find(kind);
    if (layout == recordLayouts().end())
        return "no such record kind";
    if (!value.is_object())
        return kind + " is not an object";
    if (auto wrong = mismatch(namesOf(value), layout->second); !wrong.empty())
        return wrong;
    if (value.contains("frames"))
        for (const auto& frame : value["frames"])
            if (auto wrong = mismatch(namesOf(frame), kFrame); !wrong.empty())
                return "a frame: " + wrong;
    return {};
}

// Checks every line of every record file in the folder; answers the kinds seen.
std::set<std::string> checkRecordFiles(const std::string& folder)
{
    std::set<std::string> seen;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".brsrecord")
            continue;
        const auto allowed = kindsOfFile(name);
        EXPECT_FALSE(allowed.empty()) << "a record file of no known name: " << name;
        std::istringstream lines(brstest::fileText(entry.path().string()));
        std::size_t number = 0;
        for (std::string line; std::getline(lines, line);) {
            ++number;
            const auto record = ordered_json::parse(line, nullptr, false);
            if (!record.is_object() || record.size() != 1) {
                ADD_FAILURE() << name << ":" << number << " is not one record: " << line.substr(0, 200);
                continue;
            }
            const std::string kind = record.begin().key();
            seen.insert(kind);
            EXPECT_TRUE(allowed.count(kind)) << name << ":" << number << " holds a \"" << kind << "\" record";
            const auto wrong = recordMismatch(kind, record.begin().value());
            EXPECT_TRUE(wrong.empty()) << name << ":" << number << " \"" << kind << "\": " << wrong;
        }
    }
    return seen;
}

}  // namespace

TEST(RecordLayoutTest, TheCheckTellsAMemberOutOfPlace)
{
    EXPECT_EQ(mismatch({"key", "value"}, {"key", "value"}), "");
    EXPECT_NE(mismatch({"value", "key"}, {"key", "value"}), "");
    EXPECT_NE(mismatch({"key"}, {"key", "value"}), "");
    EXPECT_NE(mismatch({"key", "value", "more"}, {"key", "value"}), "");
    EXPECT_EQ(mismatch({"path", "uuid", "base", "size"}, recordLayouts().at("load")), "");
    EXPECT_NE(mismatch({"path", "bundle_id", "uuid", "base", "size"}, recordLayouts().at("load")), "") << "half a group";
    EXPECT_NE(mismatch({"generator", "build_version", "display_version", "api_key", "started_at", "session_id", "installation_id", "beta_token"},
                       recordLayouts().at("identity")),
              "");
}

// The files of a running kit: metadata, images, keys, log lines, errors and
// custom exceptions.
TEST(RecordLayoutTest, TheRunningKitsRecordsFollowTheirLayout)
{
    ScratchFolder folder;
    brstest::FakeRuntime runtime{folder.path()};
    auto configuration = brstest::configurationFor(folder.path());
    BRSContextInitialize(&configuration, runtime);
    ASSERT_TRUE(BRSContextIsInitialized());
    BRSUserLoggingRecordUserKeyValue("colour", "blue");
    BRSUserLoggingRecordInternalKeyValue("com.brisca.in-background", "0");
    BRSUserLoggingRecordMessage("a line");
    BRSUserLoggingRecordError("NSCocoaErrorDomain", -3, {{"NSFilePath", "/x"}}, {{"extra", "1"}});
    BRSUserLoggingRecordError("plain", 2, {}, {});
    BRSStackFrame known = BRSStackFrame::stackFrameWithAddress(0x1234);
    known.symbol = "symbol";
    known.library = "library";
    known.fileName = "file.cpp";
    BRSExceptionRecord(BRSExceptionKind::Custom, "name", "reason", {known, BRSStackFrame::stackFrameWithAddress(0x5678)}, false);
    BRSExceptionRecord(BRSExceptionKind::Custom, "bare", "reason", {}, false);

    const auto seen = checkRecordFiles(folder.path());
    for (const char* kind : {"identity", "host", "application", "executable", "load", "kv", "log", "error", "exception"})
        EXPECT_TRUE(seen.count(kind)) << "no \"" << kind << "\" record was written";
}

// The symbolicated frames the next launch writes beside a crash record: one
// "threads" record, an array per thread of frames {"symbol", "offset", "library"}.
void checkSymbolicatedFiles(const std::string& folder)
{
    BRSSymbolResolver resolver;
    BRSProcessReportOperation(std::make_shared<BRSInternalReport>(folder), resolver).main();
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".symbolicated")
            continue;
        ++files;
        std::istringstream lines(brstest::fileText(entry.path().string()));
        std::size_t count = 0;
        for (std::string line; std::getline(lines, line); ++count) {
            const auto record = ordered_json::parse(line, nullptr, false);
            ASSERT_TRUE(record.is_object() && record.size() == 1 && record.contains("threads")) << line.substr(0, 200);
            ASSERT_TRUE(record["threads"].is_array());
            for (const auto& thread : record["threads"])
                for (const auto& frame : thread)
                    EXPECT_EQ(namesOf(frame), (std::vector<std::string>{"symbol", "offset", "library"})) << frame.dump();
        }
        EXPECT_EQ(count, 1u) << entry.path();
    }
    EXPECT_EQ(files, 1u) << "one crash record, one file of its frames";
}

// The report folders of children crashed by a signal, a hardware fault and
// an uncaught exception, and the frames the next launch makes of them.
TEST(RecordLayoutTest, ACrashedRunsRecordsFollowTheirLayout)
{
    for (const std::string command : {"abort", "null-write", "exception"}) {
        SCOPED_TRACE(command);
        ScratchFolder home;
        brstest::runCrashHelper({command}, {{"HOME", home.path()}});
        const auto seen = checkRecordFiles(brstest::reportRoot(home.path()) + "/v3/active/crashrun");
        for (const auto& kind : kCrashTimeKinds)
            if (kind != "runtime")
                EXPECT_TRUE(seen.count(kind)) << "no \"" << kind << "\" record was written";
        EXPECT_TRUE(seen.count(command == "abort" ? "signal" : command == "null-write" ? "mach_exception" : "exception"));
        checkSymbolicatedFiles(brstest::reportRoot(home.path()) + "/v3/active/crashrun");
    }
}

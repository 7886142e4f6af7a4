// Runs the crash helper in a child with a scratch HOME for every way of
// crashing, then reads its report folder as the next launch would.
#include "reporting/BriscaKit/CrashTime/BRSException.h"

#include "tests/reporting/BriscaKit/CrashHelperRun.h"
#include "tests/reporting/BriscaKit/KitFixtures.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <csignal>
#include <dlfcn.h>
#include <sstream>
#include <sys/wait.h>

using brstest::hexDecoded;
using brstest::HelperRun;
using brstest::runCrashHelper;
using brstest::ScratchFolder;
using nlohmann::json;

namespace {

// Every line of a record file, each of which must parse.
std::vector<json> parsedLines(const std::string& path)
{
    std::vector<json> lines;
    std::istringstream text(brstest::fileText(path));
    for (std::string line; std::getline(text, line);) {
        json record = json::parse(line, nullptr, false);
        EXPECT_FALSE(record.is_discarded()) << "unparseable line in " << path << ": " << line.substr(0, 200);
        lines.push_back(record);
    }
    return lines;
}

// The file of the shared library that holds address.
std::string libraryHolding(void* address)
{
    Dl_info info{};
    return ::dladdr(address, &info) && info.dli_fname ? info.dli_fname : "";
}

std::string kindOf(const json& record) { return record.is_object() && !record.empty() ? record.begin().key() : ""; }

struct Crash {
    std::vector<std::string> arguments;
    int signal;      // how it dies; 0 for exit status 1
    std::string file;
    std::string function;
    std::string crashedThreadName;
};

std::ostream& operator<<(std::ostream& out, const Crash& crash) { return out << crash.arguments[0]; }

class CrashTest : public ::testing::TestWithParam<Crash> {
protected:
    std::string reportFolder() const
    {
        return home.path() + "/.cache/com.brisca.data/com.kestrova.tolvan/v3/active/crashrun";
    }
    std::string report(const std::string& name) const { return reportFolder() + "/" + name; }
    ScratchFolder home;
};

}  // namespace

TEST_P(CrashTest, RecordsTheCrashWithEveryThreadKeysAndLogLines)
{
    const Crash& crash = GetParam();
    const HelperRun run = runCrashHelper(crash.arguments, {{"HOME", home.path()}});
    if (crash.signal) {
        ASSERT_TRUE(WIFSIGNALED(run.status)) << "status " << run.status;
        EXPECT_EQ(WTERMSIG(run.status), crash.signal);
    } else {
        ASSERT_TRUE(WIFEXITED(run.status));
        EXPECT_EQ(WEXITSTATUS(run.status), 1);
    }
    for (const char* other : {"signal.brsrecord", "mach_exception.brsrecord", "exception.brsrecord"})
        if (crash.file != other) {
            EXPECT_FALSE(std::filesystem::exists(report(other))) << other << ": one crash, one record";
        }

    const auto lines = parsedLines(report(crash.file));
    std::vector<std::string> kinds;
    for (const auto& line : lines)
        kinds.push_back(kindOf(line));
    const std::string crashKind = crash.file.substr(0, crash.file.find('.'));
    ASSERT_EQ(kinds, (std::vector<std::string>{crashKind, "threads", "runtime", "dispatch_queue_names",
                                               "thread_names", "process_stats", "storage"}));

    const json& threads = lines[1]["threads"];
    ASSERT_GE(threads.size(), 4u) << "main, two parked workers, the exception server";
    size_t crashed = threads.size(), withRegisters = 0;
    for (size_t i = 0; i < threads.size(); ++i) {
        if (threads[i].value("crashed", false)) {
            EXPECT_EQ(crashed, threads.size()) << "one crashed thread";
            crashed = i;
        }
        if (threads[i].contains("registers")) {
            ++withRegisters;
            const bool calledNull = threads[i].value("crashed", false) && crash.arguments[0] == "null-call";
            EXPECT_EQ(threads[i]["registers"]["rip"] == 0, calledNull);
            EXPECT_NE(threads[i]["registers"]["rsp"], 0);
            EXPECT_GE(threads[i]["stacktrace"].size(), 2u) << "thread " << i << ": more than where it stopped";
        }
    }
    ASSERT_LT(crashed, threads.size());
    EXPECT_EQ(withRegisters, threads.size()) << "every thread stopped and gave its registers";
    const json& names = lines[4]["thread_names"];
    ASSERT_EQ(names.size(), threads.size());
    EXPECT_NE(std::find(names.begin(), names.end(), "parked-one"), names.end());
    if (!crash.crashedThreadName.empty()) {
        EXPECT_EQ(names[crashed], crash.crashedThreadName);
    }
    EXPECT_EQ(lines[3]["dispatch_queue_names"].size(), threads.size());
    EXPECT_GT(lines[5]["process_stats"]["resident"], 0);

    const HelperRun symbolicated = runCrashHelper({"symbolicate", reportFolder(), crash.file}, {{"HOME", home.path()}});
    ASSERT_TRUE(WIFEXITED(symbolicated.status) && WEXITSTATUS(symbolicated.status) == 0);
    const auto stack = json::parse(symbolicated.output);
    ASSERT_FALSE(stack.empty());
    const bool named = std::any_of(stack.begin(), stack.end(), [&](const json& symbol) {
        return symbol.get<std::string>().find(crash.function) != std::string::npos;
    });
    EXPECT_TRUE(named) << crash.function << " not in " << stack.dump().substr(0, 600);
    if (crash.function == "helper::overflowStack") {
        EXPECT_EQ(stack.size(), 512u) << "a recursion fills the stack up to the frame limit";
    } else if (crash.crashedThreadName.empty()) {
        EXPECT_TRUE(std::find(stack.begin(), stack.end(), "main") != stack.end())
            << "the main thread's stack reaches main: " << stack.dump().substr(0, 600);
    }

    const auto keys = brstest::records(report("user_incremental_kv.brsrecord"));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(hexDecoded(keys[0]["kv"]["key"]), "custom-key");
    EXPECT_EQ(hexDecoded(keys[0]["kv"]["value"]), "alpha");
    const auto log = brstest::records(report("log_a.brsrecord"));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(hexDecoded(log.back()["log"]["msg"]), "last line before " + crash.arguments[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Helper, CrashTest,
    ::testing::Values(Crash{{"null-write"}, SIGSEGV, "mach_exception.brsrecord", "helper::crashByNullWrite", ""},
                      Crash{{"null-call"}, SIGSEGV, "mach_exception.brsrecord", "helper::crashByNullCall", ""},
                      Crash{{"null-write", "--signals-only"}, SIGSEGV, "signal.brsrecord", "helper::crashByNullWrite", ""},
                      Crash{{"null-write", "--no-vm-read"}, SIGSEGV, "mach_exception.brsrecord", "helper::crashByNullWrite", ""},
                      Crash{{"late-library"}, SIGSEGV, "mach_exception.brsrecord", "helper::crashInLibraryOpenedLater", ""},
                      Crash{{"abort"}, SIGABRT, "signal.brsrecord", "helper::crashByAbort", ""},
                      Crash{{"exception"}, 0, "exception.brsrecord", "helper::crashByException", ""},
                      Crash{{"ud2"}, SIGILL, "mach_exception.brsrecord", "helper::crashByIllegalInstruction", ""},
                      Crash{{"divide"}, SIGFPE, "mach_exception.brsrecord", "helper::crashByDivision", ""},
                      Crash{{"stack-overflow"}, SIGSEGV, "mach_exception.brsrecord", "helper::overflowStack", ""},
                      Crash{{"worker-overflow"}, SIGSEGV, "mach_exception.brsrecord", "helper::overflowStack",
                            "overflowing"},
                      Crash{{"heap-locked"}, SIGSEGV, "mach_exception.brsrecord", "helper::crashByNullWrite", ""},
                      Crash{{"raise"}, SIGSEGV, "signal.brsrecord", "helper::crashByRaise", ""},
                      Crash{{"handler-fault"}, SIGSEGV, "mach_exception.brsrecord", "helper::crashByNullWrite", ""},
                      Crash{{"bus-error", "--signals-only"}, SIGBUS, "signal.brsrecord", "helper::crashByBusError", ""},
                      // Traps that would not come back by themselves: raised again after the record.
                      Crash{{"breakpoint"}, SIGTRAP, "mach_exception.brsrecord", "helper::crashByBreakpoint", ""},
                      Crash{{"seccomp-trap"}, SIGSYS, "signal.brsrecord", "helper::crashBySeccompTrap", ""},
                      // Overflows on threads of every age, each on an alternate stack of its own.
                      Crash{{"thread-200-overflow"}, SIGSEGV, "mach_exception.brsrecord", "helper::overflowStack",
                            "thread-200"},
                      Crash{{"older-thread-overflow"}, SIGSEGV, "mach_exception.brsrecord", "helper::overflowStack",
                            "older-than-kit"},
                      Crash{{"main-thread-overflow"}, SIGSEGV, "mach_exception.brsrecord", "helper::overflowStack", ""}),
    [](const ::testing::TestParamInfo<Crash>& info) {
        std::string name;
        for (const auto& argument : info.param.arguments)
            name += (name.empty() ? "" : "_") + argument.substr(argument.find_first_not_of('-'));
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

class CrashRecordTest : public ::testing::Test {
protected:
    std::string reportFile(const std::string& file) const
    {
        return home.path() + "/.cache/com.brisca.data/com.kestrova.tolvan/v3/active/crashrun/" + file;
    }
    json first(const std::string& file)
    {
        const auto all = brstest::records(reportFile(file));
        return all.empty() ? json() : all[0];
    }
    ScratchFolder home;
};

TEST_F(CrashRecordTest, ABadAccessNamesItsKindAndAddress)
{
    runCrashHelper({"null-write"}, {{"HOME", home.path()}});
    const json record = first("mach_exception.brsrecord")["mach_exception"];
    EXPECT_EQ(record["exception"], 1);
    EXPECT_EQ(record["name"], "EXC_BAD_ACCESS");
    EXPECT_EQ(record["code_name"], "KERN_INVALID_ADDRESS");
    EXPECT_EQ(record["codes"], json::array({1, 0}));
}

TEST_F(CrashRecordTest, DivisionAndIllegalInstructionNames)
{
    runCrashHelper({"divide"}, {{"HOME", home.path()}});
    EXPECT_EQ(first("mach_exception.brsrecord")["mach_exception"]["code_name"], "EXC_I386_DIV");
}

TEST_F(CrashRecordTest, AbortIsASignalRecordWithItsCodeName)
{
    runCrashHelper({"abort"}, {{"HOME", home.path()}});
    const json record = first("signal.brsrecord")["signal"];
    EXPECT_EQ(record["number"], SIGABRT);
    EXPECT_EQ(record["name"], "SIGABRT");
    EXPECT_EQ(record["code_name"], "ABORT");
}

TEST_F(CrashRecordTest, AnUncaughtExceptionKeepsItsReadableTypeAndReason)
{
    runCrashHelper({"exception"}, {{"HOME", home.path()}});
    const json record = first("exception.brsrecord")["exception"];
    EXPECT_EQ(record["type"], "c++");
    EXPECT_EQ(hexDecoded(record["name"]), "std::runtime_error");
    EXPECT_EQ(hexDecoded(record["reason"]), "helper exception");
}

TEST_F(CrashRecordTest, AnUncaughtIntegerIsNamedIntWithAnEmptyReason)
{
    const HelperRun run = runCrashHelper({"throw-int"}, {{"HOME", home.path()}});
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), 1);
    const json record = first("exception.brsrecord")["exception"];
    EXPECT_EQ(record["type"], "c++");
    EXPECT_EQ(hexDecoded(record["name"]), "int");
    EXPECT_EQ(record["reason"], "");
}

// Names the kernel cut inside a character and paths in another encoding are
// not UTF-8; they must not cost the line that holds them.
TEST_F(CrashRecordTest, NamesAndPathsThatAreNotUtf8KeepTheirLinesReadable)
{
    const std::string folder = home.path() + "/caf\xe9";  // Latin-1
    std::filesystem::create_directories(folder);
    const std::string library = folder + "/libcopy.so";
    std::filesystem::copy_file(libraryHolding(reinterpret_cast<void*>(&zlibVersion)), library);
    runCrashHelper({"cut-thread-name"}, {{"HOME", home.path()}, {"LD_PRELOAD", library}});

    const std::string replacement = "\xef\xbf\xbd";
    const auto crash = parsedLines(reportFile("mach_exception.brsrecord"));
    ASSERT_EQ(crash.size(), 7u);
    const json& names = crash[4]["thread_names"];
    for (const char* name : {"parked-one", "parked-two"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    EXPECT_NE(std::find(names.begin(), names.end(), "abcdefghijklmn" + replacement), names.end()) << names.dump();

    bool listed = false;
    for (const json& record : parsedLines(reportFile("binary_images.brsrecord")))
        listed = listed || (record.contains("load") && record["load"]["path"] == home.path() + "/caf" + replacement + "/libcopy.so");
    EXPECT_TRUE(listed) << "the preloaded library's load record";
}

TEST_F(CrashRecordTest, ThreadsThatRunAQueuesWorkAreNamedByTheQueue)
{
    runCrashHelper({"queue"}, {{"HOME", home.path()}});
    const auto crash = parsedLines(reportFile("mach_exception.brsrecord"));
    ASSERT_EQ(crash.size(), 7u);
    const json& threads = crash[1]["threads"];
    const json& queues = crash[3]["dispatch_queue_names"];
    const json& names = crash[4]["thread_names"];
    ASSERT_EQ(queues.size(), threads.size());
    ASSERT_EQ(names.size(), threads.size());
    for (size_t i = 0; i < threads.size(); ++i) {
        if (threads[i].value("crashed", false)) {
            EXPECT_EQ(queues[i], "com.kestrova.test.crashing");
        }
        if (names[i] == "parked-one") {
            EXPECT_EQ(queues[i], "") << "a thread of no queue";
        }
    }
    EXPECT_EQ(std::count(queues.begin(), queues.end(), "com.kestrova.test.waiting"), 1) << queues.dump();
}

TEST_F(CrashRecordTest, AHandlerInstalledBeforeTheKitGetsTheFaultAfterTheRecord)
{
    const HelperRun run = runCrashHelper({"chained"}, {{"HOME", home.path()}});
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), 7);
    const json record = first("mach_exception.brsrecord")["mach_exception"];
    EXPECT_EQ(record["name"], "EXC_BAD_ACCESS");
    EXPECT_EQ(record["original_ports"], 1);
}

TEST_F(CrashRecordTest, ABreakpointTrapNamesItsTrap)
{
    runCrashHelper({"breakpoint"}, {{"HOME", home.path()}});
    const json record = first("mach_exception.brsrecord")["mach_exception"];
    EXPECT_EQ(record["name"], "EXC_BREAKPOINT");
    EXPECT_EQ(record["code_name"], "EXC_I386_BPTFLT");
}

TEST_F(CrashRecordTest, ABusErrorLeftToSignalsHasTheServicesNumberAndItsCode)
{
    runCrashHelper({"bus-error", "--signals-only"}, {{"HOME", home.path()}});
    const json record = first("signal.brsrecord")["signal"];
    EXPECT_EQ(record["number"], 10);
    EXPECT_EQ(record["name"], "SIGBUS");
    EXPECT_EQ(record["code"], BUS_ADRERR);
    EXPECT_TRUE(record["code_name"].is_null());
}

TEST_F(CrashRecordTest, ASeccompRefusalIsASignalRecord)
{
    runCrashHelper({"seccomp-trap"}, {{"HOME", home.path()}});
    const json record = first("signal.brsrecord")["signal"];
    EXPECT_EQ(record["number"], 12) << "the service's number of SIGSYS";
    EXPECT_EQ(record["name"], "SIGSYS");
    EXPECT_EQ(record["code"], 1) << "the seccomp code of SIGSYS";
}

TEST_F(CrashRecordTest, AHandlerFromBeforeTheKitThatReturnsFromATrapStillEndsTheProcess)
{
    const HelperRun run = runCrashHelper({"chained-breakpoint"}, {{"HOME", home.path()}});
    EXPECT_EQ(run.output, "earlier handler\n") << "the earlier handler saw the trap once";
    ASSERT_TRUE(WIFSIGNALED(run.status)) << "status " << run.status;
    EXPECT_EQ(WTERMSIG(run.status), SIGTRAP);
    EXPECT_EQ(first("mach_exception.brsrecord")["mach_exception"]["name"], "EXC_BREAKPOINT");
}

TEST_F(CrashRecordTest, ThreadsThatDoNotStopHoldTheCrashForOneTimeLimitInAll)
{
    const HelperRun run = runCrashHelper({"threads-that-do-not-stop"}, {{"HOME", home.path()}});
    const auto ended = std::chrono::steady_clock::now().time_since_epoch().count();
    ASSERT_TRUE(WIFSIGNALED(run.status));
    EXPECT_EQ(WTERMSIG(run.status), SIGSEGV);
    const double seconds = double(ended - std::stoll(run.output)) / 1e9;
    EXPECT_LT(seconds, 3.0) << "from the crash to the end of the process";

    const auto all = brstest::records(
        home.path() + "/.cache/com.brisca.data/com.kestrova.tolvan/v3/active/crashrun/mach_exception.brsrecord");
    ASSERT_EQ(all.size(), 7u) << "every record written";
    const json& threads = all[1]["threads"];
    const json& names = all[4]["thread_names"];
    ASSERT_EQ(names.size(), threads.size());
    for (size_t i = 0; i < threads.size(); ++i) {
        const bool blocked = names[i].get<std::string>().rfind("blocked-", 0) == 0;
        EXPECT_EQ(threads[i].contains("registers"), !blocked) << names[i];
    }
}

TEST_F(CrashRecordTest, ACrashInALibraryOpenedAfterStartNamesItAndUnwindsOutOfIt)
{
    const HelperRun run = runCrashHelper({"late-library"}, {{"HOME", home.path()}});
    ASSERT_TRUE(WIFSIGNALED(run.status)) << "status " << run.status;
    const std::string folder = home.path() + "/.cache/com.brisca.data/com.kestrova.tolvan/v3/active/crashrun/";
    json library;
    for (const auto& record : brstest::records(folder + "binary_images.brsrecord"))
        if (record.contains("load") &&
            std::filesystem::path(record["load"]["path"].get<std::string>()).filename() == "libbrisca-crash-module.so")
            library = record["load"];
    ASSERT_TRUE(library.is_object()) << "the library opened after start has its load record";
    EXPECT_EQ(library["uuid"].get<std::string>().size(), 32u);

    std::vector<uint64_t> stack;
    for (const auto& record : brstest::records(folder + "mach_exception.brsrecord"))
        if (record.contains("threads"))
            for (const auto& thread : record["threads"])
                if (thread.value("crashed", false))
                    stack = thread["stacktrace"].get<std::vector<uint64_t>>();
    ASSERT_GE(stack.size(), 6u);
    const uint64_t base = library["base"], size = library["size"];
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(stack[i] >= base && stack[i] - base < size) << "frame " << i << " lies in the library";
    }
    EXPECT_FALSE(stack[5] >= base && stack[5] - base < size) << "and the sixth in its caller";

    // The next launch has not opened the library: its file names the frames.
    const HelperRun symbolicated = runCrashHelper({"symbolicate", folder, "mach_exception.brsrecord"}, {{"HOME", home.path()}});
    const auto names = json::parse(symbolicated.output);
    ASSERT_GE(names.size(), 6u);
    EXPECT_EQ(names[0], "(anonymous namespace)::writeThroughNull(int)");
    EXPECT_EQ(names[4], "brisca_crash_module_run");
    EXPECT_EQ(names[5], "helper::crashInLibraryOpenedLater()");
}

#include "reporting/BriscaKit/BRSAllocator.h"
#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSException.h"
#include "reporting/BriscaKit/CrashTime/BRSProcess.h"
#include "reporting/BriscaKit/CrashTime/BRSSignal.h"
#include "reporting/BriscaKit/BRSUserLogging.h"

#include "tests/reporting/BriscaKit/KitFixtures.h"

#include <cstring>
#include <gtest/gtest.h>

#include <csignal>
#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <functional>
#include <thread>

using brstest::fileText;
using brstest::hexDecoded;
using brstest::records;
using brstest::ScratchFolder;
using nlohmann::json;

TEST(Allocator, SizesAlignmentAndTheHeapFallback)
{
    const size_t page = BRSHostGetPageSize();
    BRSAllocator* allocator = BRSAllocatorCreate(page, 100);
    ASSERT_NE(allocator, nullptr);
    EXPECT_EQ(allocator->writable.size, 2 * page) << "a request of one page still gets two";
    EXPECT_EQ(allocator->mappingSize, 3 * page + 2 * page + page);

    void* odd = BRSAllocatorSafeAllocate(allocator, 3, BRSAllocationType::Writable);
    void* next = BRSAllocatorSafeAllocate(allocator, 8, BRSAllocationType::Writable);
    EXPECT_EQ(uintptr_t(next) % kBRSAllocationAlignment, 0u);
    EXPECT_GT(uintptr_t(next), uintptr_t(odd));
    EXPECT_EQ(BRSAllocatorSafeAllocate(allocator, 8, BRSAllocationType(7)), nullptr);

    const uintptr_t cursor = allocator->writable.cursor;
    void* large = BRSAllocatorSafeAllocate(allocator, 10 * page, BRSAllocationType::Writable);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(allocator->writable.cursor, cursor) << "an allocation too large comes from the heap";
    std::free(large);

    ASSERT_TRUE(BRSAllocatorProtect(allocator));
    void* afterProtect = BRSAllocatorSafeAllocate(allocator, 8, BRSAllocationType::Readable);
    EXPECT_FALSE(uintptr_t(afterProtect) >= allocator->readable.start &&
                 uintptr_t(afterProtect) < allocator->readable.start + allocator->readable.size);
    std::free(afterProtect);
    EXPECT_TRUE(BRSAllocatorUnprotect(allocator));
}

TEST(Allocator, GuardPagesSurroundTheRegions)
{
    BRSAllocator* allocator = BRSAllocatorCreate(100, 100);
    ASSERT_NE(allocator, nullptr);
    const size_t page = BRSHostGetPageSize();
    unsigned char probe;
    EXPECT_FALSE(BRSReadMemory(uintptr_t(allocator->base), &probe, 1));
    EXPECT_FALSE(BRSReadMemory(allocator->writable.start + allocator->writable.size, &probe, 1));
    EXPECT_TRUE(BRSReadMemory(allocator->writable.start, &probe, 1));
    EXPECT_FALSE(BRSReadMemory(allocator->readable.start + allocator->readable.size, &probe, 1));
    (void)page;
}

TEST(SafeRead, RefusesLowAndUnmappedAddresses)
{
    char text[] = "readable";
    uintptr_t start = 0;
    EXPECT_TRUE(BRSReadString(uintptr_t(text), &start, 64));
    EXPECT_EQ(start, uintptr_t(text));
    EXPECT_FALSE(BRSReadString(uintptr_t(text), &start, 4)) << "longer than the limit";
    uint64_t word;
    EXPECT_FALSE(BRSReadMemory(8, &word, sizeof word));
    void* unmapped = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_FALSE(BRSReadMemory(uintptr_t(unmapped), &word, sizeof word));
}

TEST(SafeRead, ThePipeFallbackCopiesReadableMemoryAndRefusesTheRest)
{
    const size_t page = 4096;
    void* mapping = ::mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    auto* bytes = static_cast<unsigned char*>(mapping);
    for (size_t i = 0; i < 3 * page; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + i / page);
    ASSERT_EQ(::mprotect(bytes + 3 * page, page, PROT_NONE), 0);

    std::vector<unsigned char> copy(3 * page);
    ASSERT_TRUE(BRSReadMemoryThroughPipe(uintptr_t(bytes), copy.data(), copy.size())) << "more than a pipe holds";
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), bytes));
    EXPECT_FALSE(BRSReadMemoryThroughPipe(uintptr_t(bytes + 3 * page - 8), copy.data(), 16)) << "runs into a guard page";
    EXPECT_FALSE(BRSReadMemoryThroughPipe(uintptr_t(bytes + 3 * page), copy.data(), 8));
    EXPECT_FALSE(BRSReadMemoryThroughPipe(8, copy.data(), 8));
    uint64_t word = 0;
    ASSERT_TRUE(BRSReadMemoryThroughPipe(uintptr_t(bytes + 8), &word, sizeof word));
    EXPECT_EQ(std::memcmp(&word, bytes + 8, sizeof word), 0) << "a failed read leaves nothing behind for the next";
    ::munmap(mapping, 4 * page);
}

TEST(SafeRead, ReadsWhereProcessVMReadIsRefused)
{
    // The filter cannot be taken off again: it goes into a child.
    EXPECT_EXIT(
        {
            if (!brstest::refuseProcessVMRead())
                ::_exit(2);
            char text[] = "readable";
            uintptr_t start = 0;
            uint64_t word = 0;
            void* unmapped = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            const bool read = BRSReadString(uintptr_t(text), &start, 64) && start == uintptr_t(text) &&
                              BRSReadMemory(uintptr_t(text), &word, sizeof word) &&
                              std::memcmp(&word, text, sizeof word) == 0;
            const bool refused = !BRSReadMemory(uintptr_t(unmapped), &word, sizeof word);
            ::_exit(read && refused ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

class ContextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        configuration = brstest::configurationFor(folder.path());
        configure(configuration);
        BRSContextInitialize(&configuration, runtime);
        ASSERT_TRUE(BRSContextIsInitialized());
    }
    virtual void configure(BRSCrashReporterConfiguration&) {}
    std::string path(const char* name) const { return folder.file(name); }

    ScratchFolder folder;
    brstest::FakeRuntime runtime{folder.path()};
    BRSCrashReporterConfiguration configuration;
};

TEST_F(ContextTest, WritesTheMetadataRecordAtStart)
{
    const auto metadata = records(path("metadata.brsrecord"));
    ASSERT_EQ(metadata.size(), 4u);
    EXPECT_EQ(metadata[0]["identity"]["api_key"], "0123456789abcdef");
    EXPECT_EQ(metadata[0]["identity"]["session_id"], "feedface");
    EXPECT_EQ(metadata[1]["host"]["model"], "TestBox1,1");
    EXPECT_EQ(metadata[1]["host"]["machine"], "x86_64");
    EXPECT_EQ(metadata[2]["application"]["bundle_id"], "com.kestrova.tolvan");
    const auto& executable = metadata[3]["executable"];
    EXPECT_EQ(executable["architecture"], "x86_64");
    EXPECT_EQ(executable["uuid"].get<std::string>().size(), 32u);
    EXPECT_GT(executable["size"].get<uint64_t>(), 0u);
}

TEST_F(ContextTest, KitLogFormatsTheConversionsItsCallersUseByHand)
{
    BRSSDKLog("%s: %d %i %u %x %02x %p|%llu %lld %llx %lu %zu %c %s %%|\n", "fn", -42, 7, 42u, 255u, 5u, reinterpret_cast<void*>(0xabc),
              18446744073709551615ull, -9000000000ll, 0xfeedfacecafeull, 123ul, std::size_t(99), 'Z', static_cast<const char*>(nullptr));
    EXPECT_NE(fileText(path("sdk.log")).find("fn: -42 7 42 ff 05 0xabc|18446744073709551615 -9000000000 feedfacecafe 123 99 Z (null) %|\n"),
              std::string::npos)
        << fileText(path("sdk.log"));
}

TEST_F(ContextTest, OnlyTheFirstCrashClaimsTheFlag)
{
    EXPECT_FALSE(BRSContextHasCrashed());
    EXPECT_FALSE(BRSContextMarkAndCheckIfCrashed());
    EXPECT_TRUE(BRSContextMarkAndCheckIfCrashed());
    EXPECT_TRUE(BRSContextHasCrashed());
}

class ImageTableTest : public ContextTest {
protected:
    std::vector<json> events(const char* kind)
    {
        std::vector<json> result;
        for (const auto& record : records(path("binary_images.brsrecord")))
            if (record.contains(kind))
                result.push_back(record[kind]);
        return result;
    }
    std::vector<json> loads() { return events("load"); }
    std::vector<json> unloads() { return events("unload"); }

    // A library this process has not loaded.
    static const char* unloadedLibrary()
    {
        for (const char* candidate : {"libbz2.so.1.0", "libcurl.so.4"})
            if (!dlopen(candidate, RTLD_NOW | RTLD_NOLOAD))
                return candidate;
        return nullptr;
    }

    // The C library's own dlopen and dlclose, behind the kit's back: as the
    // C library opens libraries for itself.
    using Open = void* (*)(const char*, int);
    using Close = int (*)(void*);
    const Open openUnseen = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "dlopen"));
    const Close closeUnseen = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "dlclose"));

    // Opens and closes a library this process has not loaded, twice, behind
    // the kit's back, and checks the table and the records after each
    // `bringUpToDate`.
    void expectTheTableFollowsALibrary(const std::function<void()>& bringUpToDate)
    {
        const size_t before = loads().size();
        EXPECT_GE(before, 3u);
        bringUpToDate();
        EXPECT_EQ(loads().size(), before) << "nothing opened or closed since start: nothing changes";
        EXPECT_TRUE(BRSBinaryImageFindImageForAddress(uintptr_t(&BRSContextInitialize), nullptr));

        const char* name = unloadedLibrary();
        ASSERT_NE(name, nullptr);
        for (size_t opened = 1; opened <= 2; ++opened) {
            void* library = openUnseen(name, RTLD_NOW | RTLD_LOCAL);
            ASSERT_NE(library, nullptr);
            void* function = dlsym(library, "BZ2_bzlibVersion") ?: dlsym(library, "curl_version");
            ASSERT_NE(function, nullptr);
            EXPECT_FALSE(BRSBinaryImageFindImageForAddress(uintptr_t(function), nullptr));
            bringUpToDate();
            BRSBinaryImageRuntimeNode node{};
            ASSERT_TRUE(BRSBinaryImageFindImageForAddress(uintptr_t(function), &node));
            EXPECT_TRUE(BRSBinaryImageHasEhFrameHdr(node));
            const auto loaded = loads();
            ASSERT_EQ(loaded.size(), before + opened) << "opened again, perhaps at the same place: a new record";
            EXPECT_EQ(std::filesystem::path(loaded.back()["path"].get<std::string>()).filename(), name);
            EXPECT_EQ(loaded.back()["base"], node.baseAddress);
            EXPECT_EQ(loaded.back()["uuid"].get<std::string>().size(), 32u);

            closeUnseen(library);
            bringUpToDate();
            EXPECT_FALSE(BRSBinaryImageFindImageForAddress(uintptr_t(function), nullptr));
            EXPECT_TRUE(BRSBinaryImageFindImageForAddress(uintptr_t(&BRSContextInitialize), nullptr));
        }
    }
};

TEST_F(ImageTableTest, TheWalkBeforeACrashFollowsLibrariesOpenedAndClosedAfterStart)
{
    expectTheTableFollowsALibrary([] { BRSBinaryImageSyncWithLoader(); });
}

TEST_F(ImageTableTest, RecordingAnErrorFollowsLibrariesOpenedAndClosedAfterStart)
{
    expectTheTableFollowsALibrary([] { BRSUserLoggingRecordError("ImageTableTest", 1, {}, {}); });
    EXPECT_EQ(unloads().size(), 2u) << "each close found at the next look";
}

// The program's own dlopen and dlclose: each event is in the table and the
// records by the time the call returns, the library's dependencies too.
TEST_F(ImageTableTest, EveryOpenAndCloseIsRecordedAsItHappens)
{
    const char* name = unloadedLibrary();
    ASSERT_NE(name, nullptr);
    const size_t loadsBefore = loads().size(), unloadsBefore = unloads().size();
    for (size_t opened = 1; opened <= 2; ++opened) {
        void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr);
        void* function = dlsym(library, "BZ2_bzlibVersion") ?: dlsym(library, "curl_version");
        ASSERT_NE(function, nullptr);
        BRSBinaryImageRuntimeNode node{};
        ASSERT_TRUE(BRSBinaryImageFindImageForAddress(uintptr_t(function), &node));
        const auto loaded = loads();
        const auto load = std::find_if(loaded.begin() + std::ptrdiff_t(loadsBefore), loaded.end(),
                                       [&](const json& event) { return event["base"] == node.baseAddress; });
        ASSERT_NE(load, loaded.end()) << "the library's own load record";
        EXPECT_EQ(std::filesystem::path((*load)["path"].get<std::string>()).filename(), name);

        ASSERT_EQ(dlclose(library), 0);
        EXPECT_FALSE(BRSBinaryImageFindImageForAddress(uintptr_t(function), nullptr));
        const auto unloaded = unloads();
        ASSERT_GT(unloaded.size(), unloadsBefore);
        const auto closed = std::find_if(unloaded.begin() + std::ptrdiff_t(unloadsBefore), unloaded.end(),
                                         [&](const json& unload) { return unload["base"] == node.baseAddress; });
        ASSERT_NE(closed, unloaded.end()) << "the library's own unload record";
        EXPECT_EQ(std::filesystem::path((*closed)["path"].get<std::string>()).filename(), name);
        EXPECT_EQ((*closed)["size"], node.size);
        EXPECT_EQ((*closed)["uuid"].get<std::string>().size(), 32u);
        EXPECT_EQ(loads().size() - loadsBefore, unloads().size() - unloadsBefore) << "every image it pulled in let go too";
    }
    EXPECT_TRUE(BRSBinaryImageFindImageForAddress(uintptr_t(&BRSContextInitialize), nullptr));
    EXPECT_EQ(fileText(path("sdk.log")).find("Unable to track"), std::string::npos);
}

// A library that opens another by a bare name, which only its own run path
// finds, still finds it; the other library is recorded at the next look.
TEST_F(ImageTableTest, ALibraryStillFindsItsSiblingAlongItsOwnRunPath)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's runtime calls the C library's dlopen from itself, so no caller's run path is searched";
#endif
    EXPECT_EQ(dlopen("libbrisca-sibling.so", RTLD_NOW), nullptr) << "the program's own search does not find it";
    void* opener = dlopen(BRISCA_RUNPATH_OPENER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(opener, nullptr) << dlerror();
    auto openSibling = reinterpret_cast<void* (*)()>(dlsym(opener, "brisca_open_sibling"));
    ASSERT_NE(openSibling, nullptr);
    void* sibling = openSibling();
    ASSERT_NE(sibling, nullptr) << dlerror();
    auto value = reinterpret_cast<int (*)()>(dlsym(sibling, "brisca_sibling_value"));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value(), 17);

    BRSUserLoggingRecordError("ImageTableTest", 2, {}, {});
    const auto loaded = loads();
    EXPECT_TRUE(std::any_of(loaded.begin(), loaded.end(), [](const json& load) {
        return std::filesystem::path(load["path"].get<std::string>()).filename() == "libbrisca-sibling.so";
    }));
    EXPECT_TRUE(BRSBinaryImageFindImageForAddress(uintptr_t(value), nullptr));
    dlclose(sibling);
    dlclose(opener);
}

// Threads that open and close libraries at once while another records
// errors: every load has its unload, and the table is left as it was.
class ImageEventsTest : public ImageTableTest {};

TEST_F(ImageEventsTest, OpensAndClosesOnManyThreadsPairUp)
{
    const char* name = unloadedLibrary();
    ASSERT_NE(name, nullptr);
    const size_t loadsBefore = loads().size(), unloadsBefore = unloads().size();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([name] {
            for (int i = 0; i < 25; ++i)
                if (void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL))
                    dlclose(library);
        });
    threads.emplace_back([] {
        for (int i = 0; i < 25; ++i)
            BRSUserLoggingRecordError("ImageEventsTest", i, {}, {});
    });
    for (auto& thread : threads)
        thread.join();
    EXPECT_GT(loads().size(), loadsBefore);
    EXPECT_EQ(loads().size() - loadsBefore, unloads().size() - unloadsBefore);
    EXPECT_FALSE(dlopen(name, RTLD_NOW | RTLD_NOLOAD));
    EXPECT_EQ(fileText(path("sdk.log")).find("Unable to track"), std::string::npos);
}

// dlopen keeps its own answers: a missing library gives null and an error
// text, a null name the program itself.
TEST_F(ImageTableTest, OpeningThroughTheKitKeepsTheCLibrarysAnswers)
{
    EXPECT_EQ(dlopen("libdoes-not-exist.so.9", RTLD_NOW), nullptr);
    const char* error = dlerror();
    ASSERT_NE(error, nullptr);
    EXPECT_NE(std::string(error).find("libdoes-not-exist.so.9"), std::string::npos);
    void* program = dlopen(nullptr, RTLD_NOW);
    ASSERT_NE(program, nullptr);
    EXPECT_NE(dlsym(program, "malloc"), nullptr);
    EXPECT_EQ(dlclose(program), 0);
}

class KeyValueTest : public ContextTest {
protected:
    void configure(BRSCrashReporterConfiguration& c) override { c.maximumCustomKeys = 16; }
    std::map<std::string, std::string> compacted()
    {
        std::map<std::string, std::string> entries;
        for (const auto& record : records(path("user_compacted_kv.brsrecord")))
            entries[hexDecoded(record["kv"]["key"])] = hexDecoded(record["kv"]["value"]);
        return entries;
    }
};

TEST_F(KeyValueTest, TheSixtyFourthWriteCompactsOnceAndTheLatestValueWins)
{
    for (int i = 0; i < 63; ++i)
        BRSUserLoggingRecordUserKeyValue("key" + std::to_string(i % 3), "value " + std::to_string(i));
    EXPECT_FALSE(std::filesystem::exists(path("user_compacted_kv.brsrecord")));
    EXPECT_EQ(records(path("user_incremental_kv.brsrecord")).size(), 63u);
    BRSUserLoggingRecordUserKeyValue("key0", std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(path("user_incremental_kv.brsrecord")));
    EXPECT_EQ(compacted(), (std::map<std::string, std::string>{{"key0", ""}, {"key1", "value 61"}, {"key2", "value 62"}}));
    EXPECT_EQ(gBRSContext->writable->userKeyCounter, 0u);

    BRSUserLoggingRecordUserKeyValue("quote\"d", "line\nfeed");
    const auto incremental = records(path("user_incremental_kv.brsrecord"));
    ASSERT_EQ(incremental.size(), 1u);
    EXPECT_EQ(hexDecoded(incremental[0]["kv"]["value"]), "line\nfeed");
}

TEST_F(KeyValueTest, CompactionKeepsTheMaximumNumberOfKeys)
{
    for (int i = 0; i < 20; ++i)
        BRSUserLoggingRecordUserKeyValue("k" + std::to_string(i), "v");
    BRSUserLoggingCompactKVEntries(&gBRSContext->logging.userKV);
    EXPECT_EQ(compacted().size(), 16u);
    EXPECT_NE(fileText(path("sdk.log")).find("Truncating KV set, which is above max 16"), std::string::npos);
}

TEST_F(KeyValueTest, AFailedCompactionKeepsBothFiles)
{
    for (int i = 0; i < 5; ++i)
        BRSUserLoggingRecordUserKeyValue("k" + std::to_string(i), "v");
    BRSUserLoggingCompactKVEntries(&gBRSContext->logging.userKV);
    BRSUserLoggingRecordUserKeyValue("later", "x");
    // The compacted file cannot be replaced: a folder stands where its new
    // copy is written.
    std::filesystem::create_directory(path("user_compacted_kv.brsrecord.new"));
    BRSUserLoggingCompactKVEntries(&gBRSContext->logging.userKV);
    EXPECT_EQ(compacted().size(), 5u);
    EXPECT_EQ(records(path("user_incremental_kv.brsrecord")).size(), 1u);
}

class ABFilesTest : public ContextTest {
protected:
    void configure(BRSCrashReporterConfiguration& c) override { c.logBufferSize = 200; }
    size_t linesIn(const char* name) { return records(path(name)).size(); }
};

TEST_F(ABFilesTest, LogLinesSwitchFilesPastTheBufferSize)
{
    BRSUserLoggingRecordMessage("say \"hi\"\n");
    const auto first = records(path("log_a.brsrecord"));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(hexDecoded(first[0]["log"]["msg"]), "say \"hi\"\n");

    const std::string message(70, 'm');  // about 170 bytes a line
    BRSUserLoggingRecordMessage(message);
    EXPECT_EQ(gBRSContext->writable->currentLogPath, gBRSContext->logging.log.pathB) << "A grew past 200 bytes";
    BRSUserLoggingRecordMessage(message);
    EXPECT_EQ(linesIn("log_a.brsrecord"), 2u) << "the filled half stays";
    EXPECT_EQ(linesIn("log_b.brsrecord"), 1u);
    BRSUserLoggingRecordMessage(message);
    EXPECT_EQ(gBRSContext->writable->currentLogPath, gBRSContext->logging.log.pathA);
    EXPECT_FALSE(std::filesystem::exists(path("log_a.brsrecord"))) << "the older half goes at the switch after next";
    EXPECT_EQ(linesIn("log_b.brsrecord"), 2u);
    BRSUserLoggingRecordMessage("newest");
    EXPECT_EQ(linesIn("log_a.brsrecord"), 1u);
}

TEST_F(ABFilesTest, ErrorsCarryTheirStackAndDictionaries)
{
    BRSUserLoggingRecordError("NSCocoaErrorDomain", -3, {{"NSFilePath", "/x"}}, {});
    const auto errors = records(path("errors_a.brsrecord"));
    ASSERT_EQ(errors.size(), 1u);
    const auto& error = errors[0]["error"];
    EXPECT_EQ(hexDecoded(error["domain"]), "NSCocoaErrorDomain");
    EXPECT_EQ(error["code"], -3);
    EXPECT_GT(error["stacktrace"].size(), 1u);
    ASSERT_EQ(error["info"].size(), 1u);
    EXPECT_EQ(hexDecoded(error["info"][0][1]), "/x");
    EXPECT_FALSE(error.contains("extra_info"));
}

class DisabledErrorsTest : public ContextTest {
protected:
    void configure(BRSCrashReporterConfiguration& c) override { c.errorReportingEnabled = false; }
};

TEST_F(DisabledErrorsTest, RecordNothing)
{
    BRSUserLoggingRecordError("domain", 1, {}, {});
    EXPECT_FALSE(std::filesystem::exists(path("errors_a.brsrecord")));
}

TEST_F(ContextTest, CustomExceptionsStopAtTheirMaximum)
{
    for (int i = 0; i < 17; ++i)
        BRSExceptionRecord(BRSExceptionKind::Custom, "name", ("reason " + std::to_string(i)).c_str(),
                           {BRSStackFrame::stackFrameWithAddress(0x1234)}, false);
    const auto recorded = records(path("custom_exception.brsrecord"));
    ASSERT_EQ(recorded.size(), 16u);
    const auto& last = recorded.back()["exception"];
    EXPECT_EQ(last["type"], "custom");
    EXPECT_EQ(hexDecoded(last["reason"]), "reason 15");
    EXPECT_EQ(last["frames"], json::parse(R"([{"pc":4660,"offset":0,"line":0}])"));
}

TEST_F(ContextTest, AThreadUnmapsItsAlternateSignalStackWhenItEnds)
{
    // The thread marks the far end of its stack, which no signal frame
    // reaches. Once the thread ends, that memory is gone, or mapped afresh by
    // another thread (the test's pool, say) and then no longer marked.
    static constexpr uint64_t kMark = 0x5354414b454e4453;
    stack_t seen{};
    std::thread([&seen] {
        ::sigaltstack(nullptr, &seen);
        if (!(seen.ss_flags & SS_DISABLE))
            std::memcpy(seen.ss_sp, &kMark, sizeof kMark);
    }).join();
    ASSERT_FALSE(seen.ss_flags & SS_DISABLE) << "a thread started after the kit has an alternate stack";
    EXPECT_GE(seen.ss_size, size_t(MINSIGSTKSZ));
    uint64_t left = 0;
    const bool readable = BRSReadMemory(uintptr_t(seen.ss_sp), &left, sizeof left);
    EXPECT_FALSE(readable && left == kMark) << "still mapped after the thread ended";
}

namespace {
void foreignHandler(int) {}
}  // namespace

TEST_F(ContextTest, TheHandlerCheckNamesAForeignHandler)
{
    testing::internal::CaptureStderr();
    BRSSignalCheckHandlers();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the kit's handlers are in place";
    signal(SIGBUS, foreignHandler);
    testing::internal::CaptureStderr();
    BRSSignalCheckHandlers();
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_NE(warning.find("The signal SIGBUS has a non-Brisca handler"), std::string::npos) << warning;
    EXPECT_EQ(warning.find("SIGSEGV"), std::string::npos);
}

TEST(SecondCrash, WaitsForTheFirstRecordingThenEndsWithStatusOne)
{
    ScratchFolder folder;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        brstest::FakeRuntime runtime(folder.path());
        auto configuration = brstest::configurationFor(folder.path());
        BRSContextInitialize(&configuration, runtime);
        BRSContextMarkAndCheckIfCrashed();  // a first crash is being recorded
        std::thread first([&] {
            ::usleep(100000);
            std::ofstream(folder.file("first-finished")) << "1";
            BRSContextMarkRecordingDone();
        });
        first.detach();
        if (BRSContextMarkAndCheckIfCrashed())
            BRSContextWaitForRecordingAndExit();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(std::filesystem::exists(folder.file("first-finished"))) << "the exit came after the first recording";
}

TEST(ContextUnderDebugger, InstallsNoHandlersButRecordsTheRest)
{
    ScratchFolder folder;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The parent becomes this process's tracer, as a debugger would.
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            _exit(3);
        brstest::FakeRuntime runtime(folder.path());
        auto configuration = brstest::configurationFor(folder.path());
        BRSContextInitialize(&configuration, runtime);
        struct sigaction action{};
        sigaction(SIGSEGV, nullptr, &action);
        const bool untouched = !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_DFL;
        const bool recorded = !records(folder.file("metadata.brsrecord")).empty() &&
                              !records(folder.file("binary_images.brsrecord")).empty();
        _exit(BRSContextIsDebuggerAttached() && untouched && recorded ? 0 : 1);
    }
    int status = 0;
    while (waitpid(child, &status, 0) == child && WIFSTOPPED(status))
        ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(intptr_t(WSTOPSIG(status))));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(fileText(folder.file("sdk.log")).find("Debugger present - not installing handlers"), std::string::npos);
}

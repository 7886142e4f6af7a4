#include "reporting/BriscaKit/Reports/BRSSymbolResolver.h"
#include "reporting/BriscaKit/CrashTime/BRSDemangle.h"

#include "tests/reporting/BriscaKit/KitFixtures.h"

#include <gtest/gtest.h>

namespace {

// Not exported: only the executable's own symbol table names it.
__attribute__((noinline)) int localFunctionToName(int x)
{
    asm volatile("" ::: "memory");
    return x * 3 + 1;
}

}  // namespace

class SymbolResolverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        configuration = brstest::configurationFor(folder.path());
        BRSContextInitialize(&configuration, runtime);
        ASSERT_TRUE(resolver.loadBinaryImagesFromFile(folder.file("binary_images.brsrecord")));
    }
    brstest::ScratchFolder folder;
    brstest::FakeRuntime runtime{folder.path()};
    BRSCrashReporterConfiguration configuration;
    BRSSymbolResolver resolver;
};

TEST_F(SymbolResolverTest, NamesLocalAndDynamicFunctionsWithLibraryAndOffset)
{
    const auto address = uint64_t(uintptr_t(&localFunctionToName));
    const auto frame = resolver.frameForAddress(address + 4);
    ASSERT_TRUE(frame);
    ASSERT_TRUE(frame->symbol);
    EXPECT_EQ(BRSDemangleOperation::demangleSymbol(frame->symbol->c_str()).value_or(""),
              "(anonymous namespace)::localFunctionToName(int)");
    EXPECT_EQ(frame->offset, 4u);
    EXPECT_EQ(frame->library, "tolvan_brisca_tests");

    const auto libc = resolver.frameForAddress(uint64_t(uintptr_t(&::getpid)) + 1);
    ASSERT_TRUE(libc);
    EXPECT_NE(libc->library.value_or("").find("libc"), std::string::npos);
}

TEST_F(SymbolResolverTest, OnlyReturnAddressesStepBackIntoTheCall)
{
    const auto address = uint64_t(uintptr_t(&localFunctionToName));
    BRSStackFrame exact = BRSStackFrame::stackFrameWithAddress(address);
    ASSERT_TRUE(resolver.updateStackFrame(exact, false));
    EXPECT_NE(exact.symbol->find("localFunctionToName"), std::string::npos) << "a thread's own pc stands as it is";
    BRSStackFrame returned = BRSStackFrame::stackFrameWithAddress(address);
    if (resolver.updateStackFrame(returned, true)) {
        EXPECT_EQ(returned.symbol->find("localFunctionToName"), std::string::npos)
            << "a return address at a function's first byte belongs to the function before";
    }
}

TEST_F(SymbolResolverTest, TheLatestLoadAtAnAddressWins)
{
    // A library closed earlier had this test program's place; its record
    // comes first in the file.
    const auto address = uint64_t(uintptr_t(&localFunctionToName));
    const auto current = resolver.loadedBinaryImageForPC(address);
    ASSERT_TRUE(current);
    nlohmann::json closed = *current;
    closed["path"] = "/usr/lib/closed-earlier.so";
    closed["uuid"] = std::string(32, '0');
    {
        std::ofstream file(folder.file("reused.brsrecord"));
        file << nlohmann::json{{"load", closed}}.dump() << "\n" << nlohmann::json{{"load", *current}}.dump() << "\n";
    }
    BRSSymbolResolver reused;
    ASSERT_TRUE(reused.loadBinaryImagesFromFile(folder.file("reused.brsrecord")));
    const auto frame = reused.frameForAddress(address + 4);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->library, "tolvan_brisca_tests");
}

// Data inside the program's image: no function holds it, yet the frame says
// where it is, for a developer's own tools.
TEST_F(SymbolResolverTest, AnAddressNoSymbolHoldsKeepsItsLibraryAndOffset)
{
    static const char data[] = "not code";
    const auto address = uint64_t(uintptr_t(data));
    const auto image = resolver.loadedBinaryImageForPC(address);
    ASSERT_TRUE(image);
    BRSStackFrame frame = BRSStackFrame::stackFrameWithAddress(address);
    EXPECT_FALSE(resolver.updateStackFrame(frame, true));
    EXPECT_FALSE(frame.symbol);
    EXPECT_EQ(frame.library, "tolvan_brisca_tests");
    EXPECT_EQ(frame.offset, address - (*image)["base"].get<uint64_t>());
}

TEST_F(SymbolResolverTest, AddressesOutsideTheRecordedImagesStayRaw)
{
    EXPECT_FALSE(resolver.frameForAddress(0));
    EXPECT_FALSE(resolver.frameForAddress(0x10));
    EXPECT_FALSE(resolver.loadedBinaryImageForPC(0x10));
}

TEST_F(SymbolResolverTest, TheSymbolicationOperationNamesThreadsAndStopsWhenCancelled)
{
    const auto address = uint64_t(uintptr_t(&localFunctionToName)) + 2;
    std::vector<std::vector<BRSStackFrame>> threads(2, std::vector<BRSStackFrame>(3, BRSStackFrame::stackFrameWithAddress(address)));
    BRSSymbolicationOperation operation(threads, resolver);
    operation.main();
    for (const auto& thread : operation.threadArray)
        for (const auto& frame : thread)
            EXPECT_TRUE(frame.symbol);

    BRSDemangleOperation cancelled(threads);
    size_t visited = 0;
    cancelled.enumerateFramesWithBlock([&](BRSStackFrame&, size_t) {
        if (++visited == 2)
            cancelled.cancel();
    });
    EXPECT_EQ(visited, 2u);
}

TEST(Demangling, ByPrefix)
{
    EXPECT_EQ(BRSDemangleOperation::demangleSymbol("_ZN3foo3barEi"), "foo::bar(int)");
    EXPECT_EQ(BRSDemangleOperation::demangleSymbol("__ZN3foo3barEi_block_invoke_2"), "foo::bar(int)_block_invoke_2");
    EXPECT_FALSE(BRSDemangleOperation::demangleSymbol("__ZN3foo3barEi"));
    EXPECT_FALSE(BRSDemangleOperation::demangleSymbol("_TFC4main3Foo"));
    EXPECT_FALSE(BRSDemangleOperation::demangleSymbol("main"));
    EXPECT_FALSE(BRSDemangleOperation::demangleSymbol("_Zgarbage"));
    EXPECT_FALSE(BRSDemangleOperation::demangleSymbol(nullptr));

    BRSDemangleOperation operation({{BRSStackFrame::stackFrameWithSymbol("_ZN3foo3barEi"),
                                     BRSStackFrame::stackFrameWithSymbol("plain"), BRSStackFrame()}});
    operation.main();
    EXPECT_EQ(operation.threadArray[0][0].symbol, "foo::bar(int)");
    EXPECT_EQ(operation.threadArray[0][1].symbol, "plain");
    EXPECT_FALSE(operation.threadArray[0][2].symbol);
}

// The crash-time form writes into the caller's buffer and keeps the mangled
// name when it cannot do better.
TEST(Demangling, TypeNamesIntoAFixedBuffer)
{
    char buffer[64];
    EXPECT_STREQ(BRSDemangleCppInto("St13runtime_error", buffer, sizeof buffer), "std::runtime_error");
    EXPECT_STREQ(BRSDemangleCppInto("i", buffer, sizeof buffer), "int");
    EXPECT_STREQ(BRSDemangleCppInto("PKc", buffer, sizeof buffer), "char const*");
    EXPECT_STREQ(BRSDemangleCppInto("not a type!", buffer, sizeof buffer), "not a type!");
    const char* longType = "NSt6chrono8durationIlSt5ratioILl1ELl1000EEEE";
    EXPECT_STREQ(BRSDemangleCppInto(longType, buffer, sizeof buffer), "std::chrono::duration<long, std::ratio<1l, 1000l> >");
    EXPECT_STREQ(BRSDemangleCppInto(longType, buffer, 20), longType) << "too long for the buffer";
}

TEST(StackFrameDescription, WithAndWithoutAFile)
{
    BRSStackFrame frame = BRSStackFrame::stackFrameWithSymbol("f");
    frame.address = 0x1f;
    frame.lineNumber = 7;
    EXPECT_EQ(frame.description(), "{[0x1f + 7] f}");
    frame.fileName = "a.cpp";
    EXPECT_EQ(frame.description(), "{[0x1f] a.cpp - f:7}");
}

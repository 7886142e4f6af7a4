// The unwinder against libunwind on live stacks of several threads: both
// must give the same return addresses.
#include "reporting/BriscaKit/CrashTime/BRSProcess.h"
#include "reporting/BriscaKit/CrashTime/BRSUnwind.h"

#include "tests/reporting/BriscaKit/KitFixtures.h"

#include <gtest/gtest.h>

#define UNW_LOCAL_ONLY
#include <libunwind.h>

#include <thread>
#include <ucontext.h>

namespace {

struct Stacks {
    std::vector<uint64_t> ours;
    std::vector<uint64_t> oracle;
};

__attribute__((noinline)) void capture(Stacks* out)
{
    ucontext_t context;
    getcontext(&context);
    BRSRegisterState state;
    BRSRegisterStateFromContext(&context, &state);
    BRSUnwindContext cursor;
    ASSERT_TRUE(BRSUnwindInit(&cursor, &state, false));
    while (BRSUnwindNextFrame(&cursor))
        out->ours.push_back(BRSUnwindGetPC(&cursor));

    unw_context_t oracleContext;
    unw_getcontext(&oracleContext);
    unw_cursor_t oracleCursor;
    unw_init_local(&oracleCursor, &oracleContext);
    do {
        unw_word_t ip = 0;
        unw_get_reg(&oracleCursor, UNW_REG_IP, &ip);
        out->oracle.push_back(ip);
    } while (unw_step(&oracleCursor) > 0);
}

// Frames of different shapes: with locals, with a variable-length array
// (a frame pointer), and plain recursion.
__attribute__((noinline)) int descend(int depth, Stacks* out)
{
    if (depth == 0) {
        capture(out);
        return 1;
    }
    if (depth % 3 == 0) {
        volatile char buffer[depth * 16];
        buffer[0] = char(depth);
        return descend(depth - 1, out) + buffer[0];
    }
    int result = descend(depth - 1, out);
    asm volatile("" ::: "memory");
    return result + 1;
}

void expectSameReturnAddresses(const Stacks& stacks)
{
    ASSERT_GT(stacks.ours.size(), 12u);
    ASSERT_EQ(stacks.ours.size(), stacks.oracle.size());
    // The first frame is where each capture was taken; from there on every
    // entry is a return address.
    for (size_t i = 1; i < stacks.ours.size(); ++i)
        EXPECT_EQ(stacks.ours[i], stacks.oracle[i]) << "frame " << i;
}

}  // namespace

class UnwindTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        configuration = brstest::configurationFor(folder.path());
        BRSContextInitialize(&configuration, runtime);
    }
    brstest::ScratchFolder folder;
    brstest::FakeRuntime runtime{folder.path()};
    BRSCrashReporterConfiguration configuration;
};

TEST_F(UnwindTest, MatchesLibunwindOnTheMainThread)
{
    Stacks stacks;
    descend(10, &stacks);
    expectSameReturnAddresses(stacks);
}

TEST_F(UnwindTest, MatchesLibunwindOnWorkerThreads)
{
    std::vector<Stacks> stacks(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < stacks.size(); ++i)
        threads.emplace_back([&, i] { descend(int(8 + i * 5), &stacks[i]); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& each : stacks)
        expectSameReturnAddresses(each);
}

TEST_F(UnwindTest, FramePointerStepsMoveTheStackPointer)
{
    uint64_t frame[2] = {0, 0x5000};
    BRSRegisterState state{};
    state.registers[kBRSRegisterRBP] = uintptr_t(frame);
    state.registers[kBRSRegisterRSP] = uintptr_t(frame) - 64;
    ASSERT_TRUE(BRSUnwindWithFramePointer(&state, false));
    EXPECT_EQ(state.registers[kBRSRegisterRIP], 0x5000u);
    EXPECT_EQ(state.registers[kBRSRegisterRSP], uintptr_t(frame) + 16);
    EXPECT_EQ(state.registers[kBRSRegisterRBP], 0u);
}

TEST_F(UnwindTest, TheFirstStepScansTheStackForAReturnAddress)
{
    // A function without a frame: rbp still the caller's, the return
    // address somewhere above the stack pointer among other words.
    uint64_t stack[8] = {1, 2, 3, uint64_t(uintptr_t(&BRSUnwindInit)) + 1, 5, 6, 7, 8};
    BRSRegisterState state{};
    state.registers[kBRSRegisterRSP] = uintptr_t(&stack[0]);
    state.registers[kBRSRegisterRBP] = uintptr_t(&stack[8]);
    ASSERT_TRUE(BRSUnwindWithFramePointer(&state, true));
    EXPECT_EQ(state.registers[kBRSRegisterRIP], stack[3]);
    EXPECT_EQ(state.registers[kBRSRegisterRSP], uintptr_t(&stack[4])) << "above the return address";
}

TEST_F(UnwindTest, ACorruptFramePointerEndsTheWalkWithoutAFault)
{
    BRSRegisterState state{};
    state.registers[kBRSRegisterRIP] = 0x10;  // outside every image: no call-frame information
    state.registers[kBRSRegisterRSP] = 0x7000;
    state.registers[kBRSRegisterRBP] = 0x20;
    BRSUnwindContext cursor;
    ASSERT_TRUE(BRSUnwindInit(&cursor, &state, true));
    EXPECT_TRUE(BRSUnwindNextFrame(&cursor)) << "the interrupted pc is the first frame wherever it is";
    EXPECT_EQ(BRSUnwindGetPC(&cursor), 0x10u);
    EXPECT_FALSE(BRSUnwindNextFrame(&cursor)) << "no step from a pc below 4096 over an unreadable stack";
    ASSERT_TRUE(BRSUnwindInit(&cursor, &state, false));
    EXPECT_FALSE(BRSUnwindNextFrame(&cursor)) << "a return address below 4096 is refused";
    state.registers[kBRSRegisterRIP] = 0x123456;
    ASSERT_TRUE(BRSUnwindInit(&cursor, &state, true));
    EXPECT_TRUE(BRSUnwindNextFrame(&cursor));
    EXPECT_FALSE(BRSUnwindNextFrame(&cursor));
}

TEST_F(UnwindTest, AThreadStoppedOutsideEveryImageReturnsThroughTheWordAtItsStackPointer)
{
    // A call through a null pointer: pc 0, the return address just pushed.
    const uint64_t returnAddress = uint64_t(uintptr_t(&BRSUnwindInit)) + 1;
    uint64_t stack[4] = {returnAddress, 0, 0, 0};
    BRSRegisterState state{};
    state.registers[kBRSRegisterRSP] = uintptr_t(&stack[0]);
    state.registers[kBRSRegisterRBP] = 0x20;  // no frame chain to fall back on
    for (const uint64_t pc : {uint64_t(0), uint64_t(0x5000)}) {
        state.registers[kBRSRegisterRIP] = pc;
        BRSUnwindContext cursor;
        ASSERT_TRUE(BRSUnwindInit(&cursor, &state, true));
        ASSERT_TRUE(BRSUnwindNextFrame(&cursor));
        EXPECT_EQ(BRSUnwindGetPC(&cursor), pc);
        ASSERT_TRUE(BRSUnwindNextFrame(&cursor)) << "pc " << pc;
        EXPECT_EQ(BRSUnwindGetPC(&cursor), returnAddress);
        EXPECT_EQ(BRSUnwindGetSP(&cursor), uintptr_t(&stack[1])) << "the caller's stack starts above it";
    }
}

TEST_F(UnwindTest, ADeepRecursionStopsAtTheFrameLimit)
{
    Stacks stacks;
    descend(600, &stacks);
    EXPECT_EQ(stacks.ours.size(), kBRSMaximumFrames);
}

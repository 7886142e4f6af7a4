// brisca-crash-helper COMMAND: starts crash capture in a report folder under
// $HOME, sets a custom key and a log line, parks two named workers, then
// crashes as COMMAND says. "symbolicate FOLDER FILE" prints the crashed
// thread's stack of a report as symbol names, as the next launch sees them.

#include "BriscaKit/BRSContext.h"
#include "BriscaKit/BRSException.h"
#include "BriscaKit/BRSFileManager.h"
#include "BriscaKit/BRSSymbolResolver.h"
#include "BriscaKit/Brisca.h"

#include "tests/BriscaKit/KitFixtures.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <latch>
#include <malloc.h>
#include <map>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace helper {

std::atomic<bool> gRelease{false};

void park(const char* name, std::latch* started)
{
    pthread_setname_np(pthread_self(), name);
    started->count_down();
    while (!gRelease)
        ::pause();
}

// Values the compiler cannot see through, so the faults stay in the code.
template <typename T>
T opaque(T value)
{
    asm volatile("" : "+r"(value));
    return value;
}

__attribute__((noinline)) void crashByNullWrite()
{
    *opaque(static_cast<volatile int*>(nullptr)) = 1;
}

__attribute__((noinline)) void crashByAbort() { std::abort(); }

__attribute__((noinline)) void crashByException() { throw std::runtime_error("helper exception"); }

__attribute__((noinline)) void crashByIllegalInstruction() { __builtin_trap(); }

__attribute__((noinline)) int crashByDivision(int divisor) { return opaque(1000) / opaque(divisor); }

__attribute__((noinline)) int overflowStack(int depth)
{
    volatile char frame[512];
    frame[0] = char(depth);
    if (opaque(depth) == -1)
        return 0;
    return overflowStack(depth + 1) + frame[0];
}

__attribute__((noinline)) void crashByRaise() { ::raise(SIGSEGV); }

class FaultingCallback : public BRSCrashReporterTarget {
public:
    void potentiallySubmittableCrashOccurred() override {}
    void deliverCrashDelegateCallback() override { crashByNullWrite(); }
};

// Crashes while a worker holds the heap's lock: the worker churns the heap
// (one arena for all threads) and is stopped at a random point; a probe
// thread that asks the heap for statistics stays blocked only when the
// stop came while the lock was held. Otherwise the worker goes on and the
// stop is tried again.
std::atomic<bool> gHold{false};
std::atomic<bool> gStopped{false};
std::atomic<int> gProbe{0};  // 1 probing, 2 done

void stopHere(int)
{
    gStopped = true;
    while (gHold)
        ::usleep(50);
    gStopped = false;
}

__attribute__((noinline)) void crashWhileTheHeapIsLocked()
{
    std::thread churn([] {
        pthread_setname_np(pthread_self(), "heap-churn");
        for (size_t size = 4000;; size = size % 8000 + 4000 + 97)
            free(opaque(malloc(size)));
    });
    std::thread probe([] {
        for (;;) {
            while (gProbe != 1)
                ::usleep(50);
            (void)mallinfo2();
            gProbe = 2;
        }
    });
    signal(SIGUSR1, stopHere);
    for (int attempt = 0; attempt < 500; ++attempt) {
        gHold = true;
        pthread_kill(churn.native_handle(), SIGUSR1);
        while (!gStopped)
            ::usleep(50);
        gProbe = 1;
        ::usleep(50000);
        if (gProbe == 1)
            crashByNullWrite();  // the probe is stuck on the lock the worker holds
        gProbe = 0;
        gHold = false;
        while (gStopped)
            ::usleep(50);
    }
    std::fprintf(stderr, "the heap lock was never held at a stop\n");
    ::_exit(3);
}

int symbolicate(const char* folder, const char* file)
{
    BRSSymbolResolver resolver;
    if (!resolver.loadBinaryImagesFromFile(std::string(folder) + "/binary_images.clsrecord"))
        return 2;
    std::vector<BRSStackFrame> stack;
    for (const auto& record : kit_test::records(std::string(folder) + "/" + file))
        if (record.contains("threads"))
            for (const auto& thread : record["threads"])
                if (thread.value("crashed", false))
                    for (const auto& pc : thread["stacktrace"])
                        stack.push_back(BRSStackFrame::stackFrameWithAddress(pc.get<uint64_t>()));
    BRSSymbolicationOperation symbolication({stack}, resolver);
    symbolication.main();
    BRSDemangleOperation demangling(symbolication.threadArray);
    demangling.main();
    nlohmann::json names = nlohmann::json::array();
    for (const auto& frame : demangling.threadArray[0])
        names.push_back(frame.symbol.value_or(""));
    std::printf("%s\n", names.dump().c_str());
    return 0;
}

}  // namespace helper

int main(int argc, char** argv)
{
    using namespace helper;
    if (argc == 4 && std::strcmp(argv[1], "symbolicate") == 0)
        return symbolicate(argv[2], argv[3]);
    if (argc < 2)
        return 2;
    const std::string command = argv[1];
    mallopt(M_ARENA_MAX, 1);
    if (command == "chained") {
        // A handler that was there before the kit: it must still see the fault.
        struct sigaction earlier{};
        earlier.sa_handler = [](int) { ::_exit(7); };
        sigaction(SIGSEGV, &earlier, nullptr);
    }

    kit_test::FakeRuntime runtime(std::string(std::getenv("HOME")) + "/.cache");
    BRSFileManager files(runtime);
    if (!files.prepareForNewLaunch())
        return 2;
    const auto folder = files.setupNewPathForExecutionIdentifier("crashrun");
    if (!folder)
        return 2;
    auto configuration = kit_test::configurationFor(*folder);
    FaultingCallback faultingCallback;
    if (command == "handler-fault")
        configuration.crashCallbackTarget = &faultingCallback;
    if (argc > 2 && std::strcmp(argv[2], "--signals-only") == 0)
        configuration.machExceptionsLeftToSignals = ~0u;
    BRSContextInitialize(&configuration, runtime);

    Brisca* kit = Brisca::startWithAPIKey("0123456789abcdef");
    kit->setObjectValue("alpha", "custom-key");
    std::latch started(2);
    std::thread first(park, "parked-one", &started);
    std::thread second(park, "parked-two", &started);
    started.wait();
    first.detach();
    second.detach();
    BRSUserLoggingLog("last line before %s", command.c_str());

    if (command == "null-write" || command == "handler-fault" || command == "chained")
        crashByNullWrite();
    else if (command == "abort")
        crashByAbort();
    else if (command == "exception")
        crashByException();
    else if (command == "ud2")
        crashByIllegalInstruction();
    else if (command == "divide")
        crashByDivision(0);
    else if (command == "stack-overflow")
        overflowStack(0);
    else if (command == "worker-overflow")
        std::thread([] {
            pthread_setname_np(pthread_self(), "overflowing");
            overflowStack(0);
        }).join();
    else if (command == "heap-locked")
        crashWhileTheHeapIsLocked();
    else if (command == "raise")
        crashByRaise();
    return 4;  // no crash
}

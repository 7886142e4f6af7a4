// brisca-crash-helper COMMAND: starts crash capture in a report folder under
// $HOME, sets a custom key and a log line, parks two named workers, then
// crashes as COMMAND says. "symbolicate FOLDER FILE" prints the crashed
// thread's stack of a report as symbol names, as the next launch sees them.
// "next-launch" starts the whole kit in $HOME as the application's next
// launch does, against the service in $BRISCA_TEST_SERVICE (pinned to the
// root in $BRISCA_TEST_ROOT), answers the send prompt with button
// $BRISCA_TEST_PROMPT and waits until no report is left to send.

#include "BriscaKit/BRSContext.h"
#include "BriscaKit/BRSException.h"
#include "BriscaKit/BRSFileManager.h"
#include "BriscaKit/BRSSymbolResolver.h"
#include "BriscaKit/Brisca.h"
#include "BriscaKit/BRSUserLogging.h"

#include "tests/BriscaKit/KitFixtures.h"
#include "tests/BriscaKit/LaunchFixtures.h"
#include "tests/support/kit/ManualScheduler.h"

#include <chrono>
#include <fstream>
#include <iostream>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
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

__attribute__((noinline)) void crashByNullCall()
{
    opaque(static_cast<void (*)()>(nullptr))();
    asm volatile("");  // not a tail call: the return address points back here
}

// Opens a library only now, long after the kit took its list of images,
// and crashes three calls deep inside it.
__attribute__((noinline)) void crashInLibraryOpenedLater()
{
    void* module = ::dlopen(BRISCA_CRASH_MODULE, RTLD_NOW | RTLD_LOCAL);
    auto run = module ? reinterpret_cast<void (*)(int)>(::dlsym(module, "brisca_crash_module_run")) : nullptr;
    if (!run)
        ::_exit(6);
    run(2);
    asm volatile("");
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

int nextLaunch()
{
    const std::string home = std::getenv("HOME");
    kit_test::installLaunchEnvironment(home, std::getenv("BRISCA_TEST_SERVICE"));
    std::ifstream rootFile(std::getenv("BRISCA_TEST_ROOT"));
    const std::string pem((std::istreambuf_iterator<char>(rootFile)), {});
    pln::PLNNetworkOptions network{{brs::Certificate::fromPEM(pem)}, std::make_shared<kittest::ManualScheduler>()};
    pln::BRSUserDefaults store(home + "/.local/share/com.brisca");
    pln::Plinth host(store, network);
    kit_test::FakeRuntime runtime(home + "/.cache");
    const char* answer = std::getenv("BRISCA_TEST_PROMPT");
    kit_test::TestApplication application(answer ? std::optional<std::size_t>(std::strtoul(answer, nullptr, 10)) : std::nullopt);
    auto kit = Brisca::create({&host, &runtime, &application, &store, network});
    kit->startWith(kit_test::kTestAPIKey, nullptr);

    BRSFileManager files(runtime);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        application.drainMain();
        kit->crashReportingController()->operationQueue()->sync([] {});
        if (files.activePathContents().size() == 1 && files.processingPathContents().empty() && files.preparedPathContents().empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (const auto& alert : application.alerts())
        std::printf("alert %s|%s|%zu\n", alert.messageText.c_str(), alert.informativeText.c_str(), alert.buttons.size());
    std::printf("prepared %zu processing %zu active %zu\n", files.preparedPathContents().size(), files.processingPathContents().size(),
                files.activePathContents().size());
    std::fflush(stdout);
    ::_exit(0);  // the kit's queues and handlers stay as they are
}

int symbolicate(const char* folder, const char* file)
{
    BRSSymbolResolver resolver;
    if (!resolver.loadBinaryImagesFromFile(std::string(folder) + "/binary_images.brsrecord"))
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
    if (command == "next-launch")
        return nextLaunch();
    mallopt(M_ARENA_MAX, 1);
    if (command == "chained") {
        // A handler that was there before the kit: it must still see the fault.
        struct sigaction earlier{};
        earlier.sa_handler = [](int) { ::_exit(7); };
        sigaction(SIGSEGV, &earlier, nullptr);
    }

    // As in a container whose policy refuses process_vm_readv.
    if (argc > 2 && std::strcmp(argv[2], "--no-vm-read") == 0 && !kit_test::refuseProcessVMRead())
        return 5;

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

    BRSUserLoggingRecordUserKeyValue("custom-key", "alpha");
    std::latch started(2);
    std::thread first(park, "parked-one", &started);
    std::thread second(park, "parked-two", &started);
    started.wait();
    first.detach();
    second.detach();
    BRSUserLoggingLog("last line before %s", command.c_str());

    if (command == "null-write" || command == "handler-fault" || command == "chained")
        crashByNullWrite();
    else if (command == "null-call")
        crashByNullCall();
    else if (command == "late-library")
        crashInLibraryOpenedLater();
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

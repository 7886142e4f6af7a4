// brisca-crash-helper COMMAND: starts crash capture in a report folder under
// $HOME, sets a custom key and a log line, parks two named workers, then
// crashes as COMMAND says. "symbolicate FOLDER FILE" prints the crashed
// thread's stack of a report as symbol names, as the next launch sees them.
// "next-launch" starts the whole kit in $HOME as the application's next
// launch does, against the service in $BRISCA_TEST_SERVICE (pinned to the
// root in $BRISCA_TEST_ROOT), answers the send prompt with button
// $BRISCA_TEST_PROMPT, waits until no report is left to send and prints how
// long the kit's start held the launch.

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSException.h"
#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/BriscaKit/Reports/BRSSymbolResolver.h"
#include "reporting/BriscaKit/Brisca.h"
#include "reporting/BriscaKit/BRSUserLogging.h"
#include "reporting/BRSURLSession/Dispatch.h"

#include "tests/reporting/BriscaKit/KitFixtures.h"
#include "tests/reporting/BriscaKit/LaunchFixtures.h"
#include "tests/support/reporting/ManualScheduler.h"

#include <chrono>
#include <fstream>
#include <iostream>

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <latch>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <malloc.h>
#include <map>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
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

// Opens a library and closes it again, then crashes elsewhere.
__attribute__((noinline)) void crashAfterALibraryCameAndWent()
{
    void* module = ::dlopen(BRISCA_CRASH_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!module || ::dlclose(module) != 0)
        ::_exit(6);
    crashByNullWrite();
}

__attribute__((noinline)) void crashByAbort() { std::abort(); }

__attribute__((noinline)) void crashByException() { throw std::runtime_error("helper exception"); }

__attribute__((noinline)) void crashByThrowingAnInteger() { throw opaque(42); }

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

// Reads a page mapped over an empty file: there is nothing behind it.
__attribute__((noinline)) int crashByBusError()
{
    const int empty = ::memfd_create("empty", MFD_CLOEXEC);
    const auto* page = static_cast<const volatile char*>(::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, empty, 0));
    return page[0];
}

// Traps that do not repeat when a handler returns: the process would run on.
__attribute__((noinline)) void crashByBreakpoint() { asm volatile("int3"); }

__attribute__((noinline)) void crashBySeccompTrap()
{
    // getppid is refused with a trap, which the kernel sends as SIGSYS.
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getppid, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog filter{sizeof program / sizeof program[0], program};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0)
        ::_exit(5);
    ::syscall(SYS_getppid);
}

// Three threads that block every signal, so the recorder cannot stop them.
// Prints the monotonic clock just before the crash.
__attribute__((noinline)) void crashWithThreadsThatDoNotStop()
{
    std::latch blocked(3);
    for (const char* name : {"blocked-one", "blocked-two", "blocked-three"})
        std::thread([name, &blocked] {
            pthread_setname_np(pthread_self(), name);
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
            blocked.count_down();
            while (!gRelease)
                ::pause();
        }).detach();
    blocked.wait();
    std::printf("%lld\n", static_cast<long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::fflush(stdout);
    crashByNullWrite();
}

// The 200th thread started since the kit overflows its stack; 47 threads
// before it have ended and 150 still run.
__attribute__((noinline)) void overflowOnThread200()
{
    for (int i = 0; i < 47; ++i)
        std::thread([] {}).join();
    std::latch running(150);
    for (int i = 0; i < 150; ++i)
        std::thread([&running] {
            running.count_down();
            while (!gRelease)
                ::pause();
        }).detach();
    running.wait();
    std::thread([] {
        pthread_setname_np(pthread_self(), "thread-200");
        overflowStack(0);
    }).join();
}

// One queue's work waits, another's crashes: each on a worker of the kit's pool.
__attribute__((noinline)) void crashOnAQueue()
{
    static brs::SerialQueue waiting("com.kestrova.test.waiting");
    static brs::SerialQueue crashing("com.kestrova.test.crashing");
    std::latch waits(1);
    waiting.async([&waits] {
        waits.count_down();
        while (!gRelease)
            ::pause();
    });
    waits.wait();
    crashing.async([] { crashByNullWrite(); });
    for (;;)
        ::pause();
}

// The kernel keeps 15 bytes of a thread's name: here 14 letters and the
// first byte of a two-byte character.
__attribute__((noinline)) void crashBesideACutThreadName()
{
    std::latch named(1);
    std::thread([&named] {
        ::prctl(PR_SET_NAME, "abcdefghijklmn\xc3\xa9");
        named.count_down();
        while (!gRelease)
            ::pause();
    }).detach();
    named.wait();
    crashByNullWrite();
}

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
    brstest::installLaunchEnvironment(home, std::getenv("BRISCA_TEST_SERVICE"));
    std::ifstream rootFile(std::getenv("BRISCA_TEST_ROOT"));
    const std::string pem((std::istreambuf_iterator<char>(rootFile)), {});
    pln::PLNNetworkOptions network{{brs::Certificate::fromPEM(pem)}, std::make_shared<reportingtest::ManualScheduler>()};
    pln::BRSUserDefaults store(home + "/.local/share/com.brisca");
    pln::Plinth host(store, network);
    brstest::FakeRuntime runtime(home + "/.cache");
    const char* answer = std::getenv("BRISCA_TEST_PROMPT");
    brstest::TestApplication application(answer ? std::optional<std::size_t>(std::strtoul(answer, nullptr, 10)) : std::nullopt);
    auto kit = Brisca::create({&host, &runtime, &application, &store, network});
    const auto starting = std::chrono::steady_clock::now();
    kit->startWith(brstest::kTestAPIKey, nullptr);
    const auto startMilliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - starting).count();

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
    std::printf("start took %lld ms\n", static_cast<long long>(startMilliseconds));
    std::fflush(stdout);
    ::_exit(0);  // the kit's queues and handlers stay as they are
}

int symbolicate(const char* folder, const char* file)
{
    BRSSymbolResolver resolver;
    if (!resolver.loadBinaryImagesFromFile(std::string(folder) + "/binary_images.brsrecord"))
        return 2;
    std::vector<BRSStackFrame> stack;
    for (const auto& record : brstest::records(std::string(folder) + "/" + file))
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
    if (command == "chained-breakpoint") {
        // One that sees the trap and returns, which would let the process run on.
        struct sigaction earlier{};
        earlier.sa_handler = [](int) { (void)!::write(STDOUT_FILENO, "earlier handler\n", 16); };
        sigaction(SIGTRAP, &earlier, nullptr);
    }

    // A thread that runs from before the kit and overflows its stack after.
    std::atomic<bool> overflowEarly{false};
    std::thread early;
    if (command == "older-thread-overflow")
        early = std::thread([&overflowEarly] {
            pthread_setname_np(pthread_self(), "older-than-kit");
            while (!overflowEarly)
                ::usleep(1000);
            overflowStack(0);
        });

    // As in a container whose policy refuses process_vm_readv.
    if (argc > 2 && std::strcmp(argv[2], "--no-vm-read") == 0 && !brstest::refuseProcessVMRead())
        return 5;

    brstest::FakeRuntime runtime(std::string(std::getenv("HOME")) + "/.cache");
    BRSFileManager files(runtime);
    if (!files.prepareForNewLaunch())
        return 2;
    const auto folder = files.setupNewPathForExecutionIdentifier("crashrun");
    if (!folder)
        return 2;
    auto configuration = brstest::configurationFor(*folder);
    FaultingCallback faultingCallback;
    if (command == "handler-fault")
        configuration.crashCallbackTarget = &faultingCallback;
    if (argc > 2 && std::strcmp(argv[2], "--signals-only") == 0)
        configuration.machExceptionsLeftToSignals = ~0u;
    if (command == "main-thread-overflow")  // the kit starts on another thread
        std::thread([&] { BRSContextInitialize(&configuration, runtime); }).join();
    else
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
    else if (command == "library-opened-and-closed")
        crashAfterALibraryCameAndWent();
    else if (command == "abort")
        crashByAbort();
    else if (command == "exception")
        crashByException();
    else if (command == "throw-int")
        crashByThrowingAnInteger();
    else if (command == "ud2")
        crashByIllegalInstruction();
    else if (command == "divide")
        crashByDivision(0);
    else if (command == "stack-overflow" || command == "main-thread-overflow")
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
    else if (command == "bus-error")
        crashByBusError();
    else if (command == "breakpoint" || command == "chained-breakpoint")
        crashByBreakpoint();
    else if (command == "seccomp-trap")
        crashBySeccompTrap();
    else if (command == "threads-that-do-not-stop")
        crashWithThreadsThatDoNotStop();
    else if (command == "thread-200-overflow")
        overflowOnThread200();
    else if (command == "older-thread-overflow") {
        overflowEarly = true;
        early.join();
    }
    else if (command == "cut-thread-name")
        crashBesideACutThreadName();
    else if (command == "queue")
        crashOnAQueue();
    return 4;  // no crash
}

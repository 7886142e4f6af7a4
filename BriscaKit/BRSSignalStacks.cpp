// Crash-time code: the pool is mapped once; taking and giving back a stack
// is a compare-and-swap and a sigaltstack call, safe inside a signal handler.
#include "BriscaKit/BRSContext.h"
#include "BriscaKit/BRSProcess.h"
#include "BriscaKit/BRSSignal.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr size_t kPoolStacks = 128;
constexpr size_t kPoolStackSize = 64 * 1024;
constexpr int kStackSignalOffset = 5;  // above SIGRTMIN

char* gPool = nullptr;
std::atomic<uint8_t> gPoolUsed[kPoolStacks];
size_t gPoolStride = 0;

void giveStackSignalHandler(int, siginfo_t*, void*)
{
    const int savedErrno = errno;
    BRSSignalStackInstallForCurrentThread();
    errno = savedErrno;
}

// Threads already running get their stack through the one-shot signal.
void sendStackSignalToOtherThreads(int signal)
{
    int fd = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    const pid_t self = BRSCurrentThreadID(), process = ::getpid();
    alignas(8) char buffer[4096];
    for (long bytes; (bytes = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer)) > 0;) {
        for (long offset = 0; offset < bytes;) {
            auto* entry = reinterpret_cast<dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            pid_t thread = 0;
            for (const char* p = entry->d_name; *p >= '0' && *p <= '9'; ++p)
                thread = thread * 10 + (*p - '0');
            if (thread > 0 && thread != self)
                ::syscall(SYS_tgkill, process, thread, signal);
        }
    }
    ::close(fd);
}

}  // namespace

void BRSSignalStackPoolInitialize()
{
    const size_t page = gBRSContext->pageSize ? gBRSContext->pageSize : 4096;
    gPoolStride = kPoolStackSize + page;
    void* pool = ::mmap(nullptr, kPoolStacks * gPoolStride, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (pool == MAP_FAILED) {
        BRSSDKLog("%s: Mapping failed %s\n", __func__, BRSErrorText(errno));
        return;
    }
    // A guard page below every stack: an overflowing handler faults
    // instead of writing into its neighbour.
    for (size_t i = 0; i < kPoolStacks; ++i)
        ::mprotect(static_cast<char*>(pool) + i * gPoolStride, page, PROT_NONE);
    gPool = static_cast<char*>(pool);
    struct sigaction action{};
    action.sa_sigaction = giveStackSignalHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    const int signal = SIGRTMIN + kStackSignalOffset;
    if (::sigaction(signal, &action, nullptr) == 0)
        sendStackSignalToOtherThreads(signal);
}

bool BRSSignalStackInstallForCurrentThread()
{
    if (!gPool)
        return false;
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return true;  // it has one already
    for (size_t i = 0; i < kPoolStacks; ++i) {
        uint8_t expected = 0;
        if (!gPoolUsed[i].compare_exchange_strong(expected, 1))
            continue;
        stack_t stack{};
        stack.ss_sp = gPool + i * gPoolStride + (gPoolStride - kPoolStackSize);
        stack.ss_size = kPoolStackSize;
        if (::sigaltstack(&stack, nullptr) == 0)
            return true;
        gPoolUsed[i] = 0;
        return false;
    }
    BRSSDKLog("%s: Error: no alternate signal stack left for thread %d\n", __func__, int(BRSCurrentThreadID()));
    return false;
}

void BRSSignalStackReleaseForCurrentThread()
{
    stack_t current{};
    if (!gPool || ::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE))
        return;
    const auto start = static_cast<char*>(current.ss_sp);
    if (start < gPool || start >= gPool + kPoolStacks * gPoolStride)
        return;
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    if (::sigaltstack(&disable, nullptr) == 0)
        gPoolUsed[size_t(start - gPool) / gPoolStride] = 0;
}

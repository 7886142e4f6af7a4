// Alternate signal stacks, one mapping per thread: a thread maps its own
// when it starts and unmaps it when it ends, so there is no pool for a busy
// program to use up. Threads that were running before the kit get theirs
// through a one-shot real-time signal and keep it until the process ends.
// Mapping and unmapping are plain system calls, safe inside that handler.
#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSProcess.h"
#include "reporting/BriscaKit/CrashTime/BRSSignal.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

constexpr size_t kStackSize = 64 * 1024;
constexpr int kStackSignalOffset = 5;  // above SIGRTMIN

std::atomic<size_t> gGuardSize{0};  // 0 until the kit starts giving stacks

void giveStackSignalHandler(int, siginfo_t*, void* context)
{
    const int savedErrno = errno;
    stack_t installed{};
    // The return from this handler puts back the alternate stack the thread
    // had when the signal came: it must find the new one there.
    if (BRSSignalStackInstallForCurrentThread() && ::sigaltstack(nullptr, &installed) == 0)
        static_cast<ucontext_t*>(context)->uc_stack = installed;
    errno = savedErrno;
}

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

void BRSSignalStacksInitialize()
{
    gGuardSize = gBRSContext->pageSize ? gBRSContext->pageSize : 4096;
    struct sigaction action{};
    action.sa_sigaction = giveStackSignalHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    const int signal = SIGRTMIN + kStackSignalOffset;
    if (::sigaction(signal, &action, nullptr) == 0)
        sendStackSignalToOtherThreads(signal);
    else
        BRSSDKLog("%s: Unable to install handler for %d (%s)\n", __func__, signal, BRSErrorText(errno));
}

void* BRSSignalStackInstallForCurrentThread()
{
    const size_t guard = gGuardSize.load();
    stack_t current{};
    if (guard == 0 || (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)))
        return nullptr;  // not started, or the thread has one already
    // A guard page below the stack: an overflowing handler faults instead
    // of writing into whatever is mapped below.
    void* mapping = ::mmap(nullptr, guard + kStackSize, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED) {
        BRSSDKLog("%s: Error: no alternate signal stack for thread %d (%s)\n", __func__, int(BRSCurrentThreadID()),
                  BRSErrorText(errno));
        return nullptr;
    }
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(mapping) + guard;
    stack.ss_size = kStackSize;
    if (::mprotect(mapping, guard, PROT_NONE) != 0 || ::sigaltstack(&stack, nullptr) != 0) {
        ::munmap(mapping, guard + kStackSize);
        return nullptr;
    }
    return mapping;
}

void BRSSignalStackRelease(void* mapping)
{
    const size_t guard = gGuardSize.load();
    if (!mapping || guard == 0)
        return;
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == static_cast<char*>(mapping) + guard) {
        stack_t disable{};
        disable.ss_flags = SS_DISABLE;
        if (::sigaltstack(&disable, nullptr) != 0)
            return;  // still in use: better kept than unmapped under the thread
    }
    ::munmap(mapping, guard + kStackSize);
}

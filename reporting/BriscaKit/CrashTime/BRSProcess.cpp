// Crash-time code: system calls, stack buffers and lock-free atomics only.
// Other threads are stopped with a reserved real-time signal whose handler
// stores its registers and waits on a futex until it is let go.
#include "reporting/BriscaKit/CrashTime/BRSProcess.h"

#include "reporting/BriscaKit/CrashTime/BRSBinaryImage.h"
#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"
#include "platform/concurrency/QueueLabels.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr uint32_t kSuspendTimeLimitMilliseconds = 2000;
constexpr uint32_t kSuspendedHoldMilliseconds = 30000;
constexpr int kSuspendSignalOffset = 4;  // above SIGRTMIN

struct SuspendSlot {
    std::atomic<int32_t> thread;
    std::atomic<uint32_t> stored;
    std::atomic<uint32_t> resume;
    BRSRegisterState state;
};

SuspendSlot gSuspendSlots[kBRSMaximumThreads];

struct ThreadList {
    pid_t threads[kBRSMaximumThreads];
    size_t count;
};

size_t readSmallFile(const char* path, char* buffer, size_t size)
{
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t used = 0;
    while (used + 1 < size) {
        ssize_t n = ::read(fd, buffer + used, size - 1 - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        used += size_t(n);
    }
    ::close(fd);
    buffer[used] = 0;
    return used;
}

uint64_t parseUnsigned(const char* p, const char** end)
{
    uint64_t value = 0;
    while (*p == ' ' || *p == '\t')
        ++p;
    while (*p >= '0' && *p <= '9')
        value = value * 10 + uint64_t(*p++ - '0');
    if (end)
        *end = p;
    return value;
}

// "Name:   1234 kB" in /proc/meminfo, in bytes.
uint64_t memInfoBytes(const char* text, const char* name)
{
    const size_t length = std::strlen(name);
    for (const char* line = text; *line;) {
        if (std::strncmp(line, name, length) == 0)
            return parseUnsigned(line + length, nullptr) * 1024;
        const char* next = std::strchr(line, '\n');
        if (!next)
            break;
        line = next + 1;
    }
    return 0;
}

void listThreads(ThreadList* list)
{
    list->count = 0;
    int fd = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        BRSSDKLog("%s: Error: unable to get task threads\n", "BRSProcessInit");
        return;
    }
    alignas(8) char buffer[4096];
    for (;;) {
        long bytes = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (bytes <= 0)
            break;
        for (long offset = 0; offset < bytes;) {
            auto* entry = reinterpret_cast<dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            if (entry->d_name[0] < '0' || entry->d_name[0] > '9' || list->count == kBRSMaximumThreads)
                continue;
            list->threads[list->count++] = pid_t(parseUnsigned(entry->d_name, nullptr));
        }
    }
    ::close(fd);
}

uint32_t millisecondsUntil(uint64_t deadline)
{
    const uint64_t now = BRSMonotonicNanoseconds();
    return now < deadline ? uint32_t((deadline - now + 999999u) / 1000000u) : 0;
}


// Stops every thread but the recording one and the crashed one (which is
// either the same or waiting for the exception server's reply).
size_t suspendOtherThreads(const ThreadList& list, pid_t current, pid_t crashed)
{
    size_t sent = 0;
    const pid_t process = ::getpid();
    for (size_t i = 0; i < list.count && sent < kBRSMaximumThreads; ++i) {
        const pid_t thread = list.threads[i];
        if (thread == current || thread == crashed)
            continue;
        SuspendSlot& slot = gSuspendSlots[sent];
        slot.stored.store(0);
        slot.resume.store(0);
        slot.thread.store(thread);
        if (::syscall(SYS_tgkill, process, thread, BRSProcessSuspendSignal()) == 0)
            ++sent;
        else
            slot.thread.store(0);
    }
    // One time limit for all of them: threads that block the signal cost
    // the crash that limit once, not once each.
    const uint64_t deadline = BRSMonotonicNanoseconds() + uint64_t(kSuspendTimeLimitMilliseconds) * 1000000u;
    for (size_t i = 0; i < sent; ++i)
        if (!BRSFutexWait(&gSuspendSlots[i].stored, 0, millisecondsUntil(deadline)))
            BRSSDKLog("%s: Error: thread %d did not stop in time\n", "BRSProcessSuspendAllOtherThreads",
                      int(gSuspendSlots[i].thread.load()));
    return sent;
}

void resumeOtherThreads(size_t sent)
{
    for (size_t i = 0; i < sent; ++i) {
        gSuspendSlots[i].resume.store(1);
        BRSFutexWake(&gSuspendSlots[i].resume);
        gSuspendSlots[i].thread.store(0);
    }
}

const SuspendSlot* stoppedSlotOf(pid_t thread, size_t sent)
{
    for (size_t i = 0; i < sent; ++i)
        if (gSuspendSlots[i].thread.load() == thread && gSuspendSlots[i].stored.load())
            return &gSuspendSlots[i];
    return nullptr;
}

__attribute__((noinline)) void fakeCurrentThreadState(BRSRegisterState* state)
{
    BRSSDKLog("%s: Faking current thread\n", "BRSProcessGetThreadState");
    ucontext_t context;
    ::getcontext(&context);
    BRSRegisterStateFromContext(&context, state);
}

void writeRegisters(BRSFile* file, const BRSRegisterState& state)
{
    static const struct {
        const char* name;
        int index;
    } order[] = {{"rax", 0}, {"rbx", 3},  {"rcx", 2},  {"rdx", 1},  {"rdi", 5},  {"rsi", 4},  {"rbp", 6},
                 {"rsp", 7}, {"r8", 8},   {"r9", 9},   {"r10", 10}, {"r11", 11}, {"r12", 12}, {"r13", 13},
                 {"r14", 14}, {"r15", 15}, {"rip", 16}};
    BRSFileWriteHashKey(file, "registers");
    BRSFileWriteHashStart(file);
    for (const auto& entry : order)
        BRSFileWriteHashEntryUint64(file, entry.name, state.registers[entry.index]);
    BRSFileWriteHashEntryUint64(file, "rflags", state.rflags);
    BRSFileWriteHashEntryUint64(file, "cs", state.cs);
    BRSFileWriteHashEntryUint64(file, "fs", state.fs);
    BRSFileWriteHashEntryUint64(file, "gs", state.gs);
    BRSFileWriteHashEnd(file);
}

void writeStack(BRSFile* file, const BRSRegisterState& state, bool exactFirstFrame)
{
    BRSFileWriteHashKey(file, "stacktrace");
    BRSFileWriteArrayStart(file);
    BRSUnwindContext cursor;
    if (BRSUnwindInit(&cursor, &state, exactFirstFrame)) {
        while (BRSUnwindNextFrame(&cursor))
            BRSFileWriteArrayEntryUint64(file, BRSUnwindGetPC(&cursor));
    } else {
        BRSSDKLog("%s: unable to init unwind context\n", "BRSProcessRecordAllThreads");
    }
    BRSFileWriteArrayEnd(file);
}

void recordAllThreads(BRSFile* file, const ThreadList& list, pid_t current, pid_t crashed,
                      const ucontext_t* crashedContext, size_t sent)
{
    BRSFileWriteSectionStart(file, "threads");
    BRSFileWriteArrayStart(file);
    for (size_t i = 0; i < list.count; ++i) {
        const pid_t thread = list.threads[i];
        BRSSDKLog("%s: recording thread %d data\n", "BRSProcessRecordAllThreads", int(i));
        BRSRegisterState state{};
        bool known = true, exact = true;
        if (thread == crashed && crashedContext) {
            BRSRegisterStateFromContext(crashedContext, &state);
        } else if (thread == current) {
            fakeCurrentThreadState(&state);
            exact = false;
        } else if (const SuspendSlot* slot = stoppedSlotOf(thread, sent)) {
            state = slot->state;
        } else {
            BRSSDKLog("%s: failed to get thread state\n", "BRSProcessGetThreadState");
            known = false;
        }
        BRSFileWriteHashStart(file);
        if (known) {
            writeRegisters(file, state);
            writeStack(file, state, exact);
        }
        if (thread == crashed)
            BRSFileWriteHashEntryBoolean(file, "crashed", true);
        BRSFileWriteHashEnd(file);
    }
    BRSFileWriteArrayEnd(file);
    BRSFileWriteSectionEnd(file);
    BRSSDKLog("%s: completed recording all thread data\n", "BRSProcessRecordAllThreads");
}

void recordRuntimeInfo(BRSFile* file)
{
    // No message dispatcher and no crash annotation section on this system.
    BRSFileWriteSectionStart(file, "runtime");
    BRSFileWriteHashStart(file);
    BRSFileWriteHashEntryString(file, "objc_selector", "");
    BRSFileWriteHashKey(file, "crash_info_entries");
    BRSFileWriteArrayStart(file);
    BRSFileWriteArrayEnd(file);
    BRSFileWriteHashEnd(file);
    BRSFileWriteSectionEnd(file);
}

// The label of the named queue whose work each thread runs, the empty
// string for a thread that runs none.
void recordQueueNames(BRSFile* file, const ThreadList& list)
{
    BRSFileWriteSectionStart(file, "dispatch_queue_names");
    BRSFileWriteArrayStart(file);
    for (size_t i = 0; i < list.count; ++i) {
        char label[tolvan::kQueueLabelCapacity];
        tolvan::copyQueueLabelOfThread(list.threads[i], label, sizeof label);
        BRSFileWriteArrayEntryString(file, label);
    }
    BRSFileWriteArrayEnd(file);
    BRSFileWriteSectionEnd(file);
}

void recordThreadNames(BRSFile* file, const ThreadList& list)
{
    BRSFileWriteSectionStart(file, "thread_names");
    BRSFileWriteArrayStart(file);
    for (size_t i = 0; i < list.count; ++i) {
        char path[64] = "/proc/self/task/";
        char digits[21];
        size_t length = std::strlen(path);
        const size_t count = BRSFormatUnsigned(uint64_t(list.threads[i]), 10, digits);
        std::memcpy(path + length, digits, count);
        std::memcpy(path + length + count, "/comm", 6);
        char name[64];
        size_t used = readSmallFile(path, name, sizeof name);
        if (used > 0 && name[used - 1] == '\n')
            name[used - 1] = 0;
        BRSFileWriteArrayEntryString(file, name);
    }
    BRSFileWriteArrayEnd(file);
    BRSFileWriteSectionEnd(file);
}

void recordStats(BRSFile* file)
{
    char memInfo[4096];
    if (readSmallFile("/proc/meminfo", memInfo, sizeof memInfo) == 0) {
        BRSSDKLog("%s: Failed to get vm statistics\n", "BRSProcessGetMemoryUsage");
        BRSSDKLog("%s: Unable to get process memory usage\n", "BRSProcessRecordStats");
        return;
    }
    char statm[256];
    rusage usage{};
    if (readSmallFile("/proc/self/statm", statm, sizeof statm) == 0 || ::getrusage(RUSAGE_SELF, &usage) != 0) {
        BRSSDKLog("%s: Failed to get task info\n", "BRSProcessGetInfo");
        BRSSDKLog("%s: Unable to get process stats\n", "BRSProcessRecordStats");
        return;
    }
    const uint64_t page = gBRSContext ? gBRSContext->pageSize : 4096;
    const char* rest = statm;
    const uint64_t virtualPages = parseUnsigned(rest, &rest);
    const uint64_t residentPages = parseUnsigned(rest, &rest);
    const uint64_t freeBytes = memInfoBytes(memInfo, "MemFree:");
    auto microseconds = [](const timeval& time) { return uint64_t(time.tv_sec) * 1000000u + uint64_t(time.tv_usec); };
    BRSFileWriteSectionStart(file, "process_stats");
    BRSFileWriteHashStart(file);
    BRSFileWriteHashEntryUint64(file, "active", memInfoBytes(memInfo, "Active:"));
    BRSFileWriteHashEntryUint64(file, "inactive", memInfoBytes(memInfo, "Inactive:"));
    BRSFileWriteHashEntryUint64(file, "wired", memInfoBytes(memInfo, "Unevictable:"));
    BRSFileWriteHashEntryUint64(file, "freeMem", freeBytes);
    BRSFileWriteHashEntryUint64(file, "free_mem", freeBytes);
    BRSFileWriteHashEntryUint64(file, "virtual", virtualPages * page);
    BRSFileWriteHashEntryUint64(file, "resident", residentPages * page);
    BRSFileWriteHashEntryUint64(file, "user_time", microseconds(usage.ru_utime));
    BRSFileWriteHashEntryUint64(file, "sys_time", microseconds(usage.ru_stime));
    BRSFileWriteHashEnd(file);
    BRSFileWriteSectionEnd(file);
}

}  // namespace

pid_t BRSCurrentThreadID() { return pid_t(::syscall(SYS_gettid)); }

int BRSProcessSuspendSignal() { return SIGRTMIN + kSuspendSignalOffset; }

void BRSProcessSuspendHandler(int, siginfo_t*, void* context)
{
    const int savedErrno = errno;
    const pid_t self = BRSCurrentThreadID();
    for (auto& slot : gSuspendSlots) {
        if (slot.thread.load() != self)
            continue;
        BRSRegisterStateFromContext(static_cast<const ucontext_t*>(context), &slot.state);
        slot.stored.store(1);
        BRSFutexWake(&slot.stored);
        BRSFutexWait(&slot.resume, 0, kSuspendedHoldMilliseconds);
        break;
    }
    errno = savedErrno;
}


void BRSRegisterStateFromContext(const ucontext_t* context, BRSRegisterState* state)
{
    const greg_t* g = context->uc_mcontext.gregs;
    static const int dwarfToContext[kBRSRegisterCount] = {REG_RAX, REG_RDX, REG_RCX, REG_RBX, REG_RSI, REG_RDI,
                                                          REG_RBP, REG_RSP, REG_R8,  REG_R9,  REG_R10, REG_R11,
                                                          REG_R12, REG_R13, REG_R14, REG_R15, REG_RIP};
    for (uint64_t i = 0; i < kBRSRegisterCount; ++i)
        state->registers[i] = uint64_t(g[dwarfToContext[i]]);
    state->rflags = uint64_t(g[REG_EFL]);
    const uint64_t segments = uint64_t(g[REG_CSGSFS]);  // cs, gs, fs: 16 bits each
    state->cs = segments & 0xffff;
    state->gs = (segments >> 16) & 0xffff;
    state->fs = (segments >> 32) & 0xffff;
}

void BRSHostRecordStorage(BRSFile* file)
{
    BRSFileWriteSectionStart(file, "storage");
    BRSFileWriteHashStart(file);
    struct statfs volume{};
    const char* path = gBRSContext ? gBRSContext->documentsPath : nullptr;
    if (path && ::syscall(SYS_statfs, path, &volume) == 0) {
        BRSFileWriteHashEntryUint64(file, "free", uint64_t(volume.f_bsize) * volume.f_bavail);
        BRSFileWriteHashEntryUint64(file, "total", uint64_t(volume.f_bsize) * volume.f_blocks);
    }
    BRSFileWriteHashEnd(file);
    BRSFileWriteSectionEnd(file);
}

void BRSHandler(BRSFile* file, pid_t crashedThread, const ucontext_t* machineContext)
{
    if (uintptr_t(machineContext) < 4096)
        machineContext = nullptr;
    const pid_t current = BRSCurrentThreadID();
    ThreadList list;
    listThreads(&list);
    const size_t sent = suspendOtherThreads(list, current, crashedThread);
    BRSBinaryImageSyncWithLoader();  // libraries opened or closed since start
    recordAllThreads(file, list, current, crashedThread, machineContext, sent);
    recordRuntimeInfo(file);
    recordQueueNames(file, list);
    recordThreadNames(file, list);
    recordStats(file);
    BRSHostRecordStorage(file);
    resumeOtherThreads(sent);
    BRSContextMarkRecordingDone();
    if (BRSContextIsInitialized() && gBRSContext->crashCallbackTarget) {
        BRSSDKLog("%s: Performing syncrhonous crash callback - hold onto your butts\n", __func__);
        gBRSContext->crashCallbackTarget->deliverCrashDelegateCallback();
    }
}

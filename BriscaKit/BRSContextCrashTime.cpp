// Crash-time code: system calls, stack buffers and lock-free atomics only.
#include "BriscaKit/BRSContext.h"

#include "BriscaKit/BRSFile.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

BRSContext* gBRSContext = nullptr;

namespace {

constexpr uintptr_t kLowestReadableAddress = 4096;
constexpr uint32_t kSecondCrashWaitMilliseconds = 10000;

void logWrite(int fd, const char* bytes, size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(fd, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        length -= size_t(written);
    }
}

int logDescriptor()
{
    BRSContext* context = gBRSContext;
    if (!context || !context->writable || !context->sdkLogPath)
        return -1;
    int fd = context->writable->logFd.load();
    if (fd == -1) {
        int opened = ::open(context->sdkLogPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        int expected = -1;
        if (!context->writable->logFd.compare_exchange_strong(expected, opened < 0 ? -2 : opened)) {
            if (opened >= 0)
                ::close(opened);
            return expected;
        }
        return opened;
    }
    return fd;
}

}  // namespace

void BRSSDKLog(const char* format, ...)
{
    const int fd = logDescriptor();
    if (fd < 0 || !format)
        return;
    va_list arguments;
    va_start(arguments, format);
    char digits[24];
    for (const char* p = format; *p; ++p) {
        if (*p != '%' || p[1] == 0) {
            // Ordinary characters go out in runs, one write each.
            const char* run = p;
            while (p[1] && p[1] != '%')
                ++p;
            logWrite(fd, run, size_t(p - run + 1));
            continue;
        }
        const char conversion = *++p;
        switch (conversion) {
        case 's': {
            const char* text = va_arg(arguments, const char*);
            if (!text)
                text = "(null)";
            logWrite(fd, text, std::strlen(text));
            break;
        }
        case 'd': {
            int value = va_arg(arguments, int);
            if (value < 0)
                logWrite(fd, "-", 1);
            uint64_t magnitude = value < 0 ? uint64_t(-int64_t(value)) : uint64_t(value);
            logWrite(fd, digits, BRSFormatUnsigned(magnitude, 10, digits));
            break;
        }
        case 'u':
            logWrite(fd, digits, BRSFormatUnsigned(va_arg(arguments, unsigned), 10, digits));
            break;
        case 'x':
            logWrite(fd, digits, BRSFormatUnsigned(va_arg(arguments, unsigned), 16, digits));
            break;
        case 'p':
            logWrite(fd, "0x", 2);
            logWrite(fd, digits, BRSFormatUnsigned(uint64_t(uintptr_t(va_arg(arguments, void*))), 16, digits));
            break;
        default: {
            // Anything else, length modifiers included, stands as written.
            char pair[2] = {'%', conversion};
            logWrite(fd, pair, 2);
        }
        }
    }
    va_end(arguments);
}

bool BRSContextIsInitialized()
{
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return gBRSContext && gBRSContext->initialized.load();
}

bool BRSContextHasCrashed()
{
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return BRSContextIsInitialized() && gBRSContext->writable->crashed.load() != 0;
}

bool BRSContextMarkAndCheckIfCrashed()
{
    if (!BRSContextIsInitialized())
        return false;
    return gBRSContext->writable->crashed.exchange(1) != 0;
}

void BRSContextMarkRecordingDone()
{
    if (!BRSContextIsInitialized())
        return;
    gBRSContext->writable->recordingDone.store(1);
    BRSFutexWake(&gBRSContext->writable->recordingDone);
}

void BRSContextWaitForRecordingAndExit()
{
    if (BRSContextIsInitialized())
        BRSFutexWait(&gBRSContext->writable->recordingDone, 0, kSecondCrashWaitMilliseconds);
    ::_exit(1);
}

bool BRSContextIsDebuggerAttached() { return BRSContextIsInitialized() && gBRSContext->debuggerAttached; }

bool BRSReadMemory(uintptr_t address, void* destination, size_t length)
{
    if (address < kLowestReadableAddress || !destination)
        return false;
    // The kernel copies for us and answers EFAULT for unmapped memory
    // instead of faulting.
    iovec local{destination, length};
    iovec remote{reinterpret_cast<void*>(address), length};
    return ::syscall(SYS_process_vm_readv, ::getpid(), &local, 1, &remote, 1, 0) == ssize_t(length);
}

bool BRSReadString(uintptr_t address, uintptr_t* start, size_t maximumLength)
{
    if (address < kLowestReadableAddress)
        return false;
    for (size_t i = 0; i < maximumLength; ++i) {
        char c;
        if (!BRSReadMemory(address + i, &c, 1))
            return false;
        if (c == 0) {
            if (start)
                *start = address;
            return true;
        }
    }
    return false;
}

bool BRSUnlinkIfExists(const char* path)
{
    return path && (::unlink(path) == 0 || errno == ENOENT);
}

const char* BRSErrorText(int error)
{
    const char* text = strerrordesc_np(error);
    return text ? text : "Unknown error";
}

uint64_t BRSMonotonicNanoseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

uint64_t BRSWallClockSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return uint64_t(now.tv_sec);
}

bool BRSFutexWait(std::atomic<uint32_t>* word, uint32_t expected, uint32_t milliseconds)
{
    const uint64_t deadline = BRSMonotonicNanoseconds() + uint64_t(milliseconds) * 1000000u;
    while (word->load() == expected) {
        const uint64_t now = BRSMonotonicNanoseconds();
        if (now >= deadline)
            return false;
        const uint64_t left = deadline - now;
        timespec timeout{time_t(left / 1000000000u), long(left % 1000000000u)};
        ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, expected, &timeout, nullptr, 0);
    }
    return true;
}

void BRSFutexWake(std::atomic<uint32_t>* word)
{
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, INT32_MAX, nullptr, nullptr, 0);
}

// Crash-time code: system calls, stack buffers and lock-free atomics only.
#include "reporting/BriscaKit/CrashTime/BRSContext.h"

#include "reporting/BriscaKit/CrashTime/BRSFile.h"

#include <algorithm>
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
constexpr size_t kPipeChunk = 4096;   // what the smallest pipe holds
constexpr size_t kStringPage = 4096;  // the smallest page size

// Set once process_vm_readv has been refused (a seccomp filter, a
// container's policy): later reads go straight through a pipe.
std::atomic<bool> gProcessVMReadRefused{false};

long retryingSyscall(long number, long a, long b, long c)
{
    long result;
    do
        result = ::syscall(number, a, b, c);
    while (result < 0 && errno == EINTR);
    return result;
}

// Reads back exactly the bytes just written into the pipe.
bool drain(int readEnd, char* destination, size_t length)
{
    while (length > 0) {
        const long got = retryingSyscall(SYS_read, readEnd, long(uintptr_t(destination)), long(length));
        if (got <= 0)
            return false;
        destination += got;
        length -= size_t(got);
    }
    return true;
}

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
        const char* conversionStart = p;
        // A zero-padded width, then a length: "%02x", "%llu", "%zu".
        const bool zeros = p[1] == '0';
        if (zeros)
            ++p;
        size_t width = 0;
        while (p[1] >= '0' && p[1] <= '9')
            width = width * 10 + size_t(*++p - '0');
        int longs = 0;
        bool size = false;
        for (; p[1] == 'l' && longs < 2; ++p)
            ++longs;
        if (!longs && p[1] == 'z') {
            size = true;
            ++p;
        }
        const char conversion = *++p;
        auto unsignedArgument = [&]() -> uint64_t {
            if (size)
                return va_arg(arguments, size_t);
            if (longs == 2)
                return va_arg(arguments, unsigned long long);
            if (longs == 1)
                return va_arg(arguments, unsigned long);
            return va_arg(arguments, unsigned);
        };
        auto number = [&](uint64_t value, unsigned base, bool negative) {
            const size_t count = BRSFormatUnsigned(value, base, digits);
            if (negative)
                logWrite(fd, "-", 1);
            for (size_t pad = count + negative; pad < width; ++pad)
                logWrite(fd, zeros ? "0" : " ", 1);
            logWrite(fd, digits, count);
        };
        switch (conversion) {
        case 's': {
            const char* text = va_arg(arguments, const char*);
            if (!text)
                text = "(null)";
            logWrite(fd, text, std::strlen(text));
            break;
        }
        case 'c': {
            const char character = char(va_arg(arguments, int));
            logWrite(fd, &character, 1);
            break;
        }
        case 'd':
        case 'i': {
            const int64_t value = size ? int64_t(va_arg(arguments, ssize_t))
                                  : longs == 2 ? int64_t(va_arg(arguments, long long))
                                  : longs == 1 ? int64_t(va_arg(arguments, long))
                                               : int64_t(va_arg(arguments, int));
            number(value < 0 ? uint64_t(0) - uint64_t(value) : uint64_t(value), 10, value < 0);
            break;
        }
        case 'u':
            number(unsignedArgument(), 10, false);
            break;
        case 'x':
            number(unsignedArgument(), 16, false);
            break;
        case 'p':
            logWrite(fd, "0x", 2);
            logWrite(fd, digits, BRSFormatUnsigned(uint64_t(uintptr_t(va_arg(arguments, void*))), 16, digits));
            break;
        case '%':
            logWrite(fd, "%", 1);
            break;
        default:
            // Anything else stands as written, and takes no argument.
            logWrite(fd, conversionStart, size_t(p - conversionStart) + (conversion ? 1 : 0));
        }
        if (!conversion)
            break;
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
    if (!gProcessVMReadRefused.load(std::memory_order_relaxed)) {
        iovec local{destination, length};
        iovec remote{reinterpret_cast<void*>(address), length};
        const long copied = ::syscall(SYS_process_vm_readv, ::getpid(), &local, 1, &remote, 1, 0);
        if (copied >= 0 || errno == EFAULT)
            return copied == long(length);
        if (errno == EPERM || errno == ENOSYS)
            gProcessVMReadRefused.store(true, std::memory_order_relaxed);
    }
    return BRSReadMemoryThroughPipe(address, destination, length);
}

bool BRSReadMemoryThroughPipe(uintptr_t address, void* destination, size_t length)
{
    if (address < kLowestReadableAddress || !destination)
        return false;
    int ends[2];
    if (::syscall(SYS_pipe2, ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto* out = static_cast<char*>(destination);
    bool copied = true;
    for (size_t done = 0; copied && done < length;) {
        const size_t chunk = std::min(length - done, kPipeChunk);
        const long written = retryingSyscall(SYS_write, ends[1], long(address + done), long(chunk));
        // A source that turns unreadable part-way writes what came before.
        copied = written == long(chunk) && drain(ends[0], out + done, chunk);
        done += chunk;
    }
    ::close(ends[0]);
    ::close(ends[1]);
    return copied;
}

bool BRSReadString(uintptr_t address, uintptr_t* start, size_t maximumLength)
{
    if (address < kLowestReadableAddress)
        return false;
    // Page by page: a page that is readable at all is readable to its end.
    char chunk[kStringPage];
    for (size_t offset = 0; offset < maximumLength;) {
        const uintptr_t at = address + offset;
        const size_t length = std::min(kStringPage - at % kStringPage, maximumLength - offset);
        if (!BRSReadMemory(at, chunk, length))
            return false;
        if (std::memchr(chunk, 0, length)) {
            if (start)
                *start = address;
            return true;
        }
        offset += length;
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

#pragma once
// The crash-time context: everything crash handlers need, prepared once at
// start in memory mapped for it (pre-joined paths, stacks, limits, handler
// bookkeeping, the image table), and the kit's crash-safe log "sdk.log".

#include "reporting/BriscaKit/BRSAllocator.h"
#include "reporting/BriscaKit/CrashTime/BRSBinaryImage.h"
#include "reporting/BriscaKit/BRSCrashReporterConfiguration.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <exception>
#include <mutex>
#include <pthread.h>
#include <string>

class BRSRuntime;

constexpr size_t kBRSHandlerStackSize = 262144;
constexpr size_t kBRSHandledSignalCount = 7;
constexpr uint32_t kBRSInternalKeyMaximum = 32;

struct BRSUserLoggingKVStorage {
    const char* incrementalPath;
    const char* compactedPath;
    uint32_t compactionThreshold;
    uint32_t maxEntries;
};

struct BRSUserLoggingABStorage {
    const char* pathA;
    const char* pathB;
    uint64_t maxSize;
};

// The part written at run time.
struct BRSContextWritable {
    std::atomic<int32_t> logFd;
    std::atomic<uint8_t> crashed;
    std::atomic<uint32_t> recordingDone;  // futex word: 1 once the first crash is recorded
    BRSBinaryImageRuntimeNode images[kBRSBinaryImageSlots];
    const char* currentLogPath;
    const char* currentErrorPath;
    uint32_t userKeyCounter;
    uint32_t internalKeyCounter;
    uint32_t customExceptionCounter;
};

struct BRSSignalReadContext {
    const char* path;
    struct sigaction saved[kBRSHandledSignalCount];
    bool hasSaved[kBRSHandledSignalCount];
    stack_t savedStack;
    bool hasSavedStack;
    pid_t savedStackOwner;  // the thread whose earlier alternate stack was saved
};

struct BRSExceptionServerContext {
    int requestPipe[2];
    const char* path;
    uint32_t mask;  // fault kinds handed to the server
    uint32_t savedCount;
    std::atomic<bool> registered;
};

struct BRSExceptionReadContext {
    const char* path;
    const char* customPath;
    std::terminate_handler previousTerminateHandler;
    uint32_t maxCustomExceptions;
};

struct BRSUserLoggingReadContext {
    BRSUserLoggingKVStorage userKV;
    BRSUserLoggingKVStorage internalKV;
    BRSUserLoggingABStorage log;
    BRSUserLoggingABStorage errors;
    uint64_t loggingStartNanoseconds;
};

struct BRSContext {
    std::atomic<bool> initialized;
    bool debuggerAttached;
    const char* sdkLogPath;
    void* signalStack;
    void* serverStack;
    BRSCrashReporterTarget* urgentSubmissionTarget;
    BRSCrashReporterTarget* crashCallbackTarget;
    bool firstInstall;
    const char* binaryImagesPath;
    const char* reportDirectory;
    BRSExceptionReadContext exception;
    BRSSignalReadContext signal;
    BRSExceptionServerContext server;
    const char* documentsPath;
    uint32_t pageSize;
    BRSUserLoggingReadContext logging;
    BRSContextWritable* writable;
};

// The process's context; null until BRSContextInitialize.
extern BRSContext* gBRSContext;

// Builds the context, installs the handlers (unless a debugger is attached)
// and writes the metadata record. Once per process; a missing record does
// nothing.
void BRSContextInitialize(const BRSCrashReporterConfiguration* configuration, const BRSRuntime& runtime);
void BRSContextTeardown();

// Copies text into the context's readable region (start-up only).
const char* BRSDuplicateString(const std::string& text);

// The serial queues: key, log, error and image writes; exception records.
std::mutex& BRSReportingQueue();
std::mutex& BRSExceptionQueue();

// Crash-safe.
bool BRSContextIsInitialized();
bool BRSContextHasCrashed();
// Claims the crashed flag: answers whether it was already claimed.
bool BRSContextMarkAndCheckIfCrashed();
// The first crash's recording is over (also when it failed half-way).
void BRSContextMarkRecordingDone();
// A second crash waits for the first crash's recording, bounded, then ends
// the process with status 1 without running exit handlers.
[[noreturn]] void BRSContextWaitForRecordingAndExit();
bool BRSContextIsDebuggerAttached();

// The kit's crash-safe log "sdk.log": %s, %c, %d, %i, %u, %x and %p, with the
// length modifiers l, ll and z and a zero-padded width (%02x).
void BRSSDKLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool BRSReadMemory(uintptr_t address, void* destination, size_t length);
// The fallback where process_vm_readv is refused: the kernel reads the
// bytes for a write into a pipe and answers EFAULT instead of faulting.
bool BRSReadMemoryThroughPipe(uintptr_t address, void* destination, size_t length);
bool BRSReadString(uintptr_t address, uintptr_t* start, size_t maximumLength);
bool BRSUnlinkIfExists(const char* path);
const char* BRSErrorText(int error);
uint64_t BRSMonotonicNanoseconds();
uint64_t BRSWallClockSeconds();
// Futex wait with a time limit in milliseconds; answers false on time-out.
bool BRSFutexWait(std::atomic<uint32_t>* word, uint32_t expected, uint32_t milliseconds);
void BRSFutexWake(std::atomic<uint32_t>* word);

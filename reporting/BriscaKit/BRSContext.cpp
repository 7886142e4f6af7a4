#include "reporting/BriscaKit/BRSContext.h"

#include "reporting/BriscaKit/BRSException.h"
#include "reporting/BriscaKit/BRSExceptionServer.h"
#include "reporting/BriscaKit/BRSFile.h"
#include "reporting/BriscaKit/BRSProcess.h"
#include "reporting/BriscaKit/BRSRuntime.h"
#include "reporting/BriscaKit/BRSSignal.h"
#include "reporting/BriscaKit/BRSUserLogging.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

namespace {

constexpr size_t kReadableRequest = 64 * 1024;  // the context record and the pre-joined paths

BRSAllocator* gAllocator = nullptr;

const char* appendToRoot(const std::string& directory, const char* name)
{
    return BRSDuplicateString((std::filesystem::path(directory) / name).string());
}

void recordMetadata(const BRSCrashReporterConfiguration& configuration, const BRSRuntime& runtime)
{
    const std::string path = (std::filesystem::path(configuration.reportDirectory) / "metadata.brsrecord").string();
    if (!BRSUnlinkIfExists(path.c_str()))
        BRSSDKLog("%s: Unable to unlink existing metadata file %s\n", __func__, BRSErrorText(errno));
    BRSFile file;
    if (!BRSFileInitWithPath(&file, path.c_str())) {
        BRSSDKLog("%s: Unable to open metadata file %s\n", __func__, BRSErrorText(errno));
        BRSSDKLog("%s: Unable to record context metadata\n", __func__);
        return;
    }
    BRSFileWriteSectionStart(&file, "identity");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryString(&file, "generator", "Brisca Mac SDK/3.0.8");
    BRSFileWriteHashEntryString(&file, "build_version", "50");
    BRSFileWriteHashEntryString(&file, "display_version", "3.0.8");
    BRSFileWriteHashEntryString(&file, "api_key", configuration.apiKey.c_str());
    BRSFileWriteHashEntryUint64(&file, "started_at", BRSWallClockSeconds());
    BRSFileWriteHashEntryString(&file, "session_id", configuration.reportIdentifier.c_str());
    BRSFileWriteHashEntryString(&file, "install_id", configuration.installationIdentifier.c_str());
    BRSFileWriteHashEntryString(&file, "beta_token", configuration.betaToken.c_str());
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    if (!BRSHostRecordHostMetadata(&file, runtime))
        BRSSDKLog("%s: Unable to write out host metadata\n", __func__);
    BRSFileWriteSectionStart(&file, "application");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryString(&file, "bundle_id", BRSSanitizedBundleIdentifier(runtime).c_str());
    BRSFileWriteHashEntryString(&file, "custom_bundle_id", configuration.customBundleIdentifier.c_str());
    BRSFileWriteHashEntryString(&file, "build_version", runtime.bundleBuildVersion().c_str());
    BRSFileWriteHashEntryString(&file, "display_version", runtime.bundleDisplayVersion().c_str());
    BRSFileWriteHashEntryString(&file, "extension_id", nullptr);
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    if (!BRSBinaryImageRecordMainExecutable(&file))
        BRSSDKLog("%s: Unable to write out executable metadata\n", __func__);
    BRSFileClose(&file);
}

}  // namespace

const char* BRSDuplicateString(const std::string& text)
{
    auto* copy = static_cast<char*>(BRSAllocatorSafeAllocate(gAllocator, text.size() + 1, BRSAllocationType::Readable));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

std::mutex& BRSReportingQueue()
{
    static std::mutex queue;
    return queue;
}

std::mutex& BRSExceptionQueue()
{
    static std::mutex queue;
    return queue;
}

void BRSContextInitialize(const BRSCrashReporterConfiguration* configuration, const BRSRuntime& runtime)
{
    if (!configuration || gBRSContext)
        return;
    const std::string& directory = configuration->reportDirectory;

    // Base set-up: the mapping, the context, the stacks, the companion.
    gAllocator = BRSAllocatorCreate(2 * kBRSHandlerStackSize + sizeof(BRSContextWritable), kReadableRequest);
    void* contextMemory = BRSAllocatorSafeAllocate(gAllocator, sizeof(BRSContext), BRSAllocationType::Readable);
    auto* context = new (contextMemory) BRSContext{};
    context->signalStack = BRSAllocatorSafeAllocate(gAllocator, kBRSHandlerStackSize, BRSAllocationType::Writable);
    context->serverStack = BRSAllocatorSafeAllocate(gAllocator, kBRSHandlerStackSize, BRSAllocationType::Writable);
    std::memset(context->signalStack, 0, kBRSHandlerStackSize);
    std::memset(context->serverStack, 0, kBRSHandlerStackSize);
    void* writableMemory = BRSAllocatorSafeAllocate(gAllocator, sizeof(BRSContextWritable), BRSAllocationType::Writable);
    std::memset(writableMemory, 0, sizeof(BRSContextWritable));
    context->writable = new (writableMemory) BRSContextWritable{};
    context->writable->logFd = -1;
    context->server.requestPipe[0] = context->server.requestPipe[1] = -1;
    std::atomic_thread_fence(std::memory_order_seq_cst);

    // Paths first: the kit's log needs its own before anything is logged.
    context->sdkLogPath = appendToRoot(directory, "sdk.log");
    context->reportDirectory = BRSDuplicateString(directory);
    context->binaryImagesPath = appendToRoot(directory, "binary_images.brsrecord");
    context->exception.path = appendToRoot(directory, "exception.brsrecord");
    context->exception.customPath = appendToRoot(directory, "custom_exception.brsrecord");
    context->signal.path = appendToRoot(directory, "signal.brsrecord");
    context->server.path = appendToRoot(directory, "mach_exception.brsrecord");  // the name the report reader knows
    auto& logging = context->logging;
    logging.userKV = {appendToRoot(directory, "user_incremental_kv.brsrecord"),
                      appendToRoot(directory, "user_compacted_kv.brsrecord"), 64, configuration->maximumCustomKeys};
    logging.internalKV = {appendToRoot(directory, "internal_incremental_kv.brsrecord"),
                          appendToRoot(directory, "internal_compacted_kv.brsrecord"), 64, kBRSInternalKeyMaximum};
    logging.errors = {appendToRoot(directory, "errors_a.brsrecord"), appendToRoot(directory, "errors_b.brsrecord"),
                      configuration->errorReportingEnabled ? configuration->errorLogBufferSize : 0u};
    logging.log = {appendToRoot(directory, "log_a.brsrecord"), appendToRoot(directory, "log_b.brsrecord"),
                   configuration->logBufferSize};
    context->exception.maxCustomExceptions =
        configuration->customExceptionsEnabled ? configuration->maximumCustomExceptions : 0;

    if (!BRSUnlinkIfExists(context->sdkLogPath))
        std::fprintf(stderr, "[Brisca:Crash] Unable to write initialize SDK write paths %s\n", BRSErrorText(errno));
    context->debuggerAttached = BRSProcessDebuggerAttached();
    context->urgentSubmissionTarget = configuration->urgentSubmissionTarget;
    context->crashCallbackTarget = configuration->crashCallbackTarget;
    context->firstInstall = configuration->firstInstall;
    gBRSContext = context;

    BRSHostInitialize(runtime);
    BRSUserLoggingInit();
    // Crash-time readers of the table check the flag: it is set before the
    // table fills, and the handlers come after.
    context->initialized = true;
    BRSBinaryImageInit();
    if (!context->debuggerAttached) {
        BRSSignalInitialize();
        BRSMachExceptionInit(configuration->machExceptionsLeftToSignals);
        BRSExceptionInitialize();
    } else {
        BRSSDKLog("%s: Debugger present - not installing handlers\n", __func__);
    }
    recordMetadata(*configuration, runtime);
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

void BRSContextTeardown()
{
    if (gBRSContext)
        gBRSContext->initialized = false;
    BRSAllocatorDestroy(gAllocator);
}

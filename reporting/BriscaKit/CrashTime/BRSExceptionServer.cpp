// Crash-time code: the server thread runs on its pre-mapped stack; requests
// come through a pipe and replies through a futex word in the request.
#include "reporting/BriscaKit/CrashTime/BRSExceptionServer.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"
#include "reporting/BriscaKit/CrashTime/BRSProcess.h"
#include "reporting/BriscaKit/CrashTime/BRSSignal.h"

#include <cerrno>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr uint32_t kReplyTimeLimitMilliseconds = 30000;

enum : uint32_t { EXC_BAD_ACCESS = 1, EXC_BAD_INSTRUCTION = 2, EXC_ARITHMETIC = 3, EXC_BREAKPOINT = 6 };

// The exception kind and its two codes for a fault.
void exceptionOf(const BRSExceptionRequest& request, uint32_t* exception, uint64_t codes[2])
{
    codes[1] = request.address;
    switch (request.signal) {
    case SIGSEGV:
        *exception = EXC_BAD_ACCESS;
        codes[0] = request.code == SEGV_ACCERR ? 2 : 1;  // protection failure, invalid address
        break;
    case SIGBUS:
        *exception = EXC_BAD_ACCESS;
        codes[0] = 2;
        break;
    case SIGILL:
        *exception = EXC_BAD_INSTRUCTION;
        codes[0] = 1;
        break;
    case SIGFPE:
        *exception = EXC_ARITHMETIC;
        codes[0] = request.code == FPE_INTDIV ? 1 : request.code == FPE_INTOVF ? 2 : 8;
        break;
    default:
        *exception = EXC_BREAKPOINT;
        codes[0] = request.trapNumber;
        break;
    }
}

void reply(BRSExceptionRequest* request, BRSExceptionReply code)
{
    BRSSDKLog("%s: Sending exception reply\n", "BRSMachExceptionReply");
    request->reply.store(uint32_t(code));
    BRSFutexWake(&request->reply);
    BRSSDKLog("%s: Exception reply delivered\n", "BRSMachExceptionReply");
}

bool record(const BRSExceptionRequest& request)
{
    BRSFile file;
    if (!BRSFileInitWithPath(&file, gBRSContext->server.path)) {
        BRSSDKLog("%s: Unable to open mach exception file\n", "BRSMachExceptionRecord");
        return false;
    }
    uint32_t exception;
    uint64_t codes[2];
    exceptionOf(request, &exception, codes);
    const char* name;
    const char* codeName;
    BRSMachExceptionNames(exception, codes[0], &name, &codeName);
    BRSFileWriteSectionStart(&file, "mach_exception");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryUint64(&file, "exception", exception);
    BRSFileWriteHashKey(&file, "codes");
    BRSFileWriteArrayStart(&file);
    BRSFileWriteArrayEntryUint64(&file, codes[0]);
    BRSFileWriteArrayEntryUint64(&file, codes[1]);
    BRSFileWriteArrayEnd(&file);
    BRSFileWriteHashEntryString(&file, "name", name);
    BRSFileWriteHashEntryString(&file, "code_name", codeName);
    BRSFileWriteHashEntryUint64(&file, "original_ports", gBRSContext->server.savedCount);
    BRSFileWriteHashEntryUint64(&file, "time", BRSWallClockSeconds());
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    BRSHandler(&file, request.thread, request.context);
    BRSFileClose(&file);
    return true;
}

void handle(BRSExceptionRequest* request)
{
    BRSSDKLog("%s: Accepted mach exception message\n", "BRSMachExceptionServer");
    uint32_t exception;
    uint64_t codes[2];
    exceptionOf(*request, &exception, codes);
    BRSSDKLog("%s: Mach exception: 0x%x, count: %d, code: 0x%llx 0x%llx\n", "BRSMachExceptionServer", unsigned(exception), 2,
              static_cast<unsigned long long>(codes[0]), static_cast<unsigned long long>(codes[1]));
    if (request->process != ::getpid()) {
        BRSSDKLog("%s: Mach exception task mis-match, returning failure\n", "BRSMachExceptionServer");
        reply(request, BRSExceptionReply::Failure);
        return;
    }
    BRSSDKLog("%s: Unregistering handler\n", "BRSMachExceptionServer");
    BRSMachExceptionUnregister();
    BRSSDKLog("%s: Restoring original signal handlers\n", "BRSMachExceptionServer");
    if (!BRSSignalSafeInstallPreexistingHandlers()) {
        BRSSDKLog("%s: Failed to restore signal handlers\n", "BRSMachExceptionServer");
        reply(request, BRSExceptionReply::Failure);
        return;
    }
    if (BRSContextMarkAndCheckIfCrashed()) {
        BRSSDKLog("%s: Error: aborting mach exception handler because crash has already occurred\n",
                  "BRSMachExceptionServer");
        BRSContextWaitForRecordingAndExit();
    }
    if (!record(*request)) {
        BRSSDKLog("%s: Failed to record mach exception\n", "BRSMachExceptionServer");
        BRSContextMarkRecordingDone();
        reply(request, BRSExceptionReply::Failure);
        return;
    }
    reply(request, BRSExceptionReply::Success);
}

}  // namespace

void* BRSMachExceptionServer(void*)
{
    // Thread names hold 15 bytes: the server's own name's last part.
    pthread_setname_np(pthread_self(), "ExceptionServer");
    for (;;) {
        BRSExceptionRequest* request = nullptr;
        ssize_t got = ::read(gBRSContext->server.requestPipe[0], &request, sizeof request);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != ssize_t(sizeof request) || !request) {
            BRSSDKLog("%s: Error receving mach_msg (%d)\n", "BRSMachExceptionServer", int(errno));
            BRSSDKLog("%s: Mach exception server thread exiting\n", "BRSMachExceptionServer");
            return nullptr;
        }
        handle(request);
    }
}

void BRSMachExceptionNames(uint32_t exception, uint64_t code, const char** name, const char** codeName)
{
    static const char* const arithmetic[] = {"EXC_I386_DIV",    "EXC_I386_INTO",  "EXC_I386_NOEXT",
                                             "EXC_I386_EXTOVR", "EXC_I386_EXTERR", "EXC_I386_EMERR",
                                             "EXC_I386_BOUND",  "EXC_I386_SSEEXTERR"};
    static const char* const traps[34] = {
        "EXC_I386_DIVERR",   "EXC_I386_SGLSTP",   "EXC_I386_NMIFLT",    "EXC_I386_BPTFLT",   "EXC_I386_INTOFLT",
        "EXC_I386_BOUNDFLT", "EXC_I386_INVOPFLT", "EXC_I386_NOEXTFLT",  nullptr,              "EXC_I386_EXTOVRFLT",
        "EXC_I386_INVTSSFLT", "EXC_I386_SEGNPFLT", "EXC_I386_STKFLT",   "EXC_I386_GPFLT",    "EXC_I386_PGFLT",
        nullptr,             "EXC_I386_EXTERRFLT", "EXC_I386_ALIGNFLT", nullptr, nullptr, nullptr, nullptr, nullptr,
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        "EXC_I386_ENOEXTFLT", "EXC_I386_ENDPERR"};
    *name = nullptr;
    *codeName = nullptr;
    switch (exception) {
    case EXC_BAD_ACCESS:
        *name = "EXC_BAD_ACCESS";
        *codeName = code == 1 ? "KERN_INVALID_ADDRESS" : code == 2 ? "KERN_PROTECTION_FAILURE" : nullptr;
        break;
    case EXC_BAD_INSTRUCTION:
        *name = "EXC_BAD_INSTRUCTION";
        *codeName = "EXC_I386_INVOP";
        break;
    case EXC_ARITHMETIC:
        *name = "EXC_ARITHMETIC";
        *codeName = code >= 1 && code <= 8 ? arithmetic[code - 1] : nullptr;
        break;
    case EXC_BREAKPOINT:
        *name = "EXC_BREAKPOINT";
        *codeName = code < 34 ? traps[code] : nullptr;
        break;
    case 12:
        *name = "EXC_GUARD";
        break;
    }
}

bool BRSMachExceptionUnregister()
{
    if (!gBRSContext)
        return false;
    gBRSContext->server.registered = false;
    return true;
}

bool BRSExceptionServerTakesFault(int signal, const siginfo_t* info)
{
    if (!BRSContextIsInitialized() || !gBRSContext->server.registered.load() || !info || info->si_code <= 0)
        return false;
    if (signal != SIGSEGV && signal != SIGBUS && signal != SIGILL && signal != SIGFPE && signal != SIGTRAP)
        return false;
    return (gBRSContext->server.mask & BRSMachExceptionMaskForSignal(signal)) != 0;
}

BRSExceptionReply BRSExceptionServerHandleFault(int signal, const siginfo_t* info, const ucontext_t* context)
{
    BRSExceptionRequest request;
    request.signal = signal;
    request.code = info->si_code;
    request.address = uintptr_t(info->si_addr);
    request.trapNumber = context ? uint64_t(context->uc_mcontext.gregs[REG_TRAPNO]) : 0;
    request.thread = BRSCurrentThreadID();
    request.context = context;
    request.process = ::getpid();
    request.reply.store(uint32_t(BRSExceptionReply::Pending));
    BRSExceptionRequest* pointer = &request;
    if (::write(gBRSContext->server.requestPipe[1], &pointer, sizeof pointer) != ssize_t(sizeof pointer))
        return BRSExceptionReply::Failure;
    if (!BRSFutexWait(&request.reply, uint32_t(BRSExceptionReply::Pending), kReplyTimeLimitMilliseconds))
        return BRSExceptionReply::Failure;
    return BRSExceptionReply(request.reply.load());
}

// Crash-time code: the handler and everything it calls use system calls,
// pre-mapped stacks and lock-free atomics only.
//
// The flow of a crash, each step marked with the context it runs in:
//
//  [start]     BRSContextInitialize (BRSContext.cpp) maps the context, fills
//              the image table, writes "metadata.brsrecord", and installs the
//              handlers (BRSHandlerInstall.cpp), saving those found before.
//                 |
//              a fault, an abort, an uncaught C++ exception
//                 |
//  [signal]    BRSSignalHandler (here), on the thread's alternate stack
//                 |-- a hardware fault of a registered kind: handed over
//                 |     BRSExceptionServerHandleFault writes it to a pipe and
//                 |     waits on a futex for the reply
//  [server]       |     BRSMachExceptionServer (BRSExceptionServer.cpp), on
//                 |     its own pre-mapped stack: "mach_exception.brsrecord"
//                 |-- any other signal: "signal.brsrecord"
//  [terminate] BRSTerminateHandler (BRSException.cpp), on the crashing
//              thread: "exception.brsrecord"
//                 |
//  [context]   BRSHandler (BRSProcess.cpp): stops every other thread
//              (BRSProcessSuspendHandler), brings the image table up to date
//              (BRSBinaryImageSyncWithLoader), unwinds every stack
//              (BRSUnwind.cpp, BRSDwarf.cpp) and appends threads, names,
//              statistics and storage
//                 |
//  [records]   BRSFile (BRSFile.cpp): one JSON line a record, written with
//              write(2); then the earlier handlers are put back and the
//              signal repeats or is raised again, and the process ends
//                 |
//  [next launch] BRSCrashReportingController finds the report directory;
//              BRSInternalReport reads it (BRSReport.cpp, BRSFileReader.cpp),
//              BRSReportsController has it symbolicated (BRSSymbolResolver)
//              and packaged (BRSReportPackaging)
//                 |
//  [upload]    BRSNetworkClient posts the package to the reporting service
//              and removes it once the service has accepted it
//
// Everything from [signal] to [records] is the crash-time object library:
// no heap, no locks, no stdio (check-crash-time-symbols.sh).
#include "reporting/BriscaKit/CrashTime/BRSSignal.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSExceptionServer.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"
#include "reporting/BriscaKit/CrashTime/BRSProcess.h"

#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// A fault repeats when the handler returns: the faulting instruction runs
// again. Nothing else does: a breakpoint trap, a seccomp refusal or a signal
// sent by kill or raise would let the process run on after its crash.
bool repeatsOnReturn(int signal, const siginfo_t* info)
{
    const bool fault = signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE;
    return fault && info && info->si_code > 0;
}

// Delivers the signal again now: to the handler that was there before the
// kit, as the fault would have been, and when the process is still running
// after that, with the default action, so that it ends by the signal.
void raiseAgain(int signal)
{
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    const pid_t process = ::getpid(), thread = BRSCurrentThreadID();
    ::syscall(SYS_tgkill, process, thread, signal);
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::syscall(SYS_tgkill, process, thread, signal);
}

// A signal's number in the "signal" record, as the reporting service
// numbers signals: SIGBUS is 10 and SIGSYS 12 there; the other handled
// signals have the same numbers on both sides.
uint64_t recordedNumber(int signal)
{
    switch (signal) {
    case SIGBUS: return 10;
    case SIGSYS: return 12;
    default: return uint64_t(signal);
    }
}

}  // namespace

void BRSSignalNamesForNumber(int signal, int, const char** name, const char** codeName)
{
    const char* signalName = "UNKNOWN";
    const char* code = nullptr;
    switch (signal) {
    case SIGILL: signalName = "SIGILL"; break;
    case SIGTRAP: signalName = "SIGTRAP"; break;
    case SIGABRT: signalName = "SIGABRT"; code = "ABORT"; break;
    case SIGFPE: signalName = "SIGFPE"; break;
    case SIGBUS: signalName = "SIGBUS"; break;
    case SIGSEGV: signalName = "SIGSEGV"; break;
    case SIGSYS: signalName = "SIGSYS"; break;
    }
    if (name)
        *name = signalName;
    if (codeName)
        *codeName = code;
}

uint32_t BRSMachExceptionMaskForSignal(int signal)
{
    switch (signal) {
    case SIGILL: return kBRSExceptionMaskBadInstruction;
    case SIGTRAP: return kBRSExceptionMaskBreakpoint;
    case SIGABRT: return kBRSExceptionMaskCrash;
    case SIGFPE: return kBRSExceptionMaskArithmetic;
    case SIGBUS: return kBRSExceptionMaskBadAccess;
    case SIGSEGV: return kBRSExceptionMaskBadAccess;
    case SIGSYS: return kBRSExceptionMaskCrash;
    default: return 0;
    }
}

void BRSSignalSafeRemoveHandlers(bool all)
{
    for (size_t i = 0; i < kBRSHandledSignalCount; ++i) {
        if (!all && kBRSHandledSignals[i] == SIGABRT)
            continue;
        struct sigaction action{};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        if (::sigaction(kBRSHandledSignals[i], &action, nullptr) != 0)
            BRSSDKLog("%s: Unable to set default handler for %d (%s)\n", __func__, int(i), BRSErrorText(errno));
    }
}

bool BRSSignalSafeInstallPreexistingHandlers()
{
    if (!gBRSContext)
        return false;
    BRSSignalReadContext& part = gBRSContext->signal;
    BRSSignalSafeRemoveHandlers(true);
    // The saved alternate stack belongs to the thread that set up the kit.
    if (part.hasSavedStack && BRSCurrentThreadID() == part.savedStackOwner &&
        !(part.savedStack.ss_flags & SS_DISABLE) && ::sigaltstack(&part.savedStack, nullptr) != 0) {
        BRSSDKLog("%s: Unable to setup stack %s\n", __func__, BRSErrorText(errno));
        return false;
    }
    bool all = true;
    for (size_t i = 0; i < kBRSHandledSignalCount; ++i) {
        if (!part.hasSaved[i])
            continue;
        if (::sigaction(kBRSHandledSignals[i], &part.saved[i], nullptr) != 0) {
            BRSSDKLog("%s: Unable to install handler for %d (%s)\n", __func__, int(i), BRSErrorText(errno));
            all = false;
        }
    }
    return all;
}

void BRSSignalHandler(int signal, siginfo_t* info, void* machineContext)
{
    const int savedErrno = errno;
    errno = 0;
    BRSSDKLog("%s: Signal: %d\n", __func__, signal);
    if (uintptr_t(info) < 4096)
        info = nullptr;
    if (uintptr_t(machineContext) < 4096)
        machineContext = nullptr;
    const auto* context = static_cast<const ucontext_t*>(machineContext);

    if (BRSExceptionServerTakesFault(signal, info) &&
        BRSExceptionServerHandleFault(signal, info, context) == BRSExceptionReply::Success) {
        // Recorded; the server put the earlier handlers back and the fault
        // repeats into them.
        if (!repeatsOnReturn(signal, info))
            raiseAgain(signal);
        errno = savedErrno;
        return;
    }

    BRSSignalSafeRemoveHandlers(true);
    sigset_t none;
    sigemptyset(&none);
    if (::sigprocmask(SIG_SETMASK, &none, nullptr) != 0)
        BRSSDKLog("%s: Unable to unmask signals - we risk infinite recursion here\n", __func__);

    if (BRSContextIsInitialized()) {
        if (BRSContextMarkAndCheckIfCrashed()) {
            BRSSDKLog("%s: Error: aborting signal handler because crash has already occurred\n", __func__);
            BRSContextWaitForRecordingAndExit();
        }
        BRSFile file;
        if (BRSFileInitWithPath(&file, gBRSContext->signal.path)) {
            BRSFileWriteSectionStart(&file, "signal");
            BRSFileWriteHashStart(&file);
            if (info) {
                const char* name;
                const char* codeName;
                BRSSignalNamesForNumber(info->si_signo, info->si_code, &name, &codeName);
                BRSFileWriteHashEntryUint64(&file, "number", recordedNumber(info->si_signo));
                BRSFileWriteHashEntryUint64(&file, "code", uint64_t(uint32_t(info->si_code)));
                BRSFileWriteHashEntryUint64(&file, "address", uint64_t(uintptr_t(info->si_addr)));
                BRSFileWriteHashEntryString(&file, "name", name);
                BRSFileWriteHashEntryString(&file, "code_name", codeName);
            }
            BRSFileWriteHashEntryUint64(&file, "errno", uint64_t(uint32_t(savedErrno)));
            BRSFileWriteHashEntryUint64(&file, "time", BRSWallClockSeconds());
            BRSFileWriteHashEnd(&file);
            BRSFileWriteSectionEnd(&file);
            BRSHandler(&file, BRSCurrentThreadID(), context);
            BRSFileClose(&file);
        } else {
            BRSSDKLog("%s: Unable to open signal file\n", __func__);
            BRSContextMarkRecordingDone();
        }
    }
    BRSSignalSafeInstallPreexistingHandlers();
    if (!repeatsOnReturn(signal, info))
        raiseAgain(signal);
    errno = savedErrno;
}


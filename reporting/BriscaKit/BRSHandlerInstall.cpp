// Start-up: installs the crash handlers before anything can crash, and
// saves what was there before them (the crash-time code puts that back after
// its record). Runs once, inside BRSContextInitialize, with the full
// platform available; nothing here is reached from a handler.
#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSException.h"
#include "reporting/BriscaKit/CrashTime/BRSExceptionServer.h"
#include "reporting/BriscaKit/CrashTime/BRSProcess.h"
#include "reporting/BriscaKit/CrashTime/BRSSignal.h"

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

void BRSSignalInitialize()
{
    BRSSignalReadContext& part = gBRSContext->signal;
    if (!BRSUnlinkIfExists(part.path))
        BRSSDKLog("%s: Unable to reset the signal log file %s\n", __func__, BRSErrorText(errno));
    stack_t stack{};
    stack.ss_sp = gBRSContext->signalStack;
    stack.ss_size = kBRSHandlerStackSize;
    if (::sigaltstack(&stack, &part.savedStack) != 0) {
        BRSSDKLog("%s: Unable to setup stack %s\n", __func__, BRSErrorText(errno));
    } else {
        part.hasSavedStack = true;
        part.savedStackOwner = BRSCurrentThreadID();
    }
    BRSProcessInstallSuspendHandler();
    BRSSignalStacksInitialize();
    BRSSignalInstallHandlers();
}

void BRSSignalInstallHandlers()
{
    BRSSignalReadContext& part = gBRSContext->signal;
    for (size_t i = 0; i < kBRSHandledSignalCount; ++i) {
        struct sigaction action{};
        action.sa_sigaction = BRSSignalHandler;
        action.sa_flags = SA_ONSTACK | SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        struct sigaction previous{};
        if (::sigaction(kBRSHandledSignals[i], &action, &previous) != 0) {
            BRSSDKLog("%s: Unable to install handler for %d (%s)\n", __func__, kBRSHandledSignals[i],
                      BRSErrorText(errno));
            continue;
        }
        const bool hadHandler = (previous.sa_flags & SA_SIGINFO) ? previous.sa_sigaction != nullptr
                                                                 : previous.sa_handler != SIG_DFL;
        if (hadHandler) {
            part.saved[i] = previous;
            part.hasSaved[i] = true;
        }
    }
}

void BRSProcessInstallSuspendHandler()
{
    const int signal = BRSProcessSuspendSignal();
    struct sigaction action{};
    action.sa_sigaction = BRSProcessSuspendHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    sigfillset(&action.sa_mask);
    if (::sigaction(signal, &action, nullptr) != 0)
        BRSSDKLog("%s: Unable to install handler for %d (%s)\n", __func__, signal, BRSErrorText(errno));
}

void BRSMachExceptionInit(uint32_t maskLeftToSignals)
{
    BRSExceptionServerContext& server = gBRSContext->server;
    if (!BRSUnlinkIfExists(server.path))
        BRSSDKLog("%s: Unable to reset the mach exception file %s\n", __func__, BRSErrorText(errno));
    server.mask = kBRSExceptionMaskRegistered & ~maskLeftToSignals;
    if (::pipe2(server.requestPipe, O_CLOEXEC) != 0) {
        BRSSDKLog("%s: Unable to register mach exception handler\n", __func__);
        return;
    }
    // The earlier handlers of the fault signals are what the fault goes to
    // after the record.
    for (size_t i = 0; i < kBRSHandledSignalCount; ++i) {
        if (!gBRSContext->signal.hasSaved[i])
            continue;
        ++server.savedCount;
        BRSSDKLog("%s: original 0x%x 0x%x 0x%x 0x%x\n", __func__, unsigned(kBRSHandledSignals[i]),
                  BRSMachExceptionMaskForSignal(kBRSHandledSignals[i]), unsigned(gBRSContext->signal.saved[i].sa_flags),
                  0u);
    }
    pthread_attr_t attributes;
    pthread_t thread;
    int error = pthread_attr_init(&attributes);
    if (error == 0 && (error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED)) != 0)
        BRSSDKLog("%s: pthread_attr_setdetachstate %s\n", __func__, BRSErrorText(error));
    if (error == 0 && (error = pthread_attr_setstack(&attributes, gBRSContext->serverStack, kBRSHandlerStackSize)) != 0)
        BRSSDKLog("%s: pthread_attr_setstack %s\n", __func__, BRSErrorText(error));
    if (error == 0 && (error = pthread_create(&thread, &attributes, BRSMachExceptionServer, nullptr)) != 0)
        BRSSDKLog("%s: pthread_create %s\n", __func__, BRSErrorText(error));
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        BRSSDKLog("%s: Unable to start thread\n", "BRSMachExceptionThreadStart");
        BRSMachExceptionUnregister();
        return;
    }
    server.registered = true;
}

void BRSExceptionInitialize()
{
    BRSExceptionReadContext& part = gBRSContext->exception;
    if (!BRSUnlinkIfExists(part.path))
        BRSSDKLog("%s: Unable to reset the exception file %s\n", __func__, BRSErrorText(errno));
    if (!BRSUnlinkIfExists(part.customPath))
        BRSSDKLog("%s: Unable to reset the custom exception file %s\n", __func__, BRSErrorText(errno));
    part.previousTerminateHandler = std::set_terminate(BRSTerminateHandler);
    gBRSContext->writable->customExceptionCounter = 0;
}

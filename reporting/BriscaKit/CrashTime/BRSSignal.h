#pragma once
// The crash signals: one handler for seven signals, on an alternate stack.
// It records "signal.brsrecord" with the crash-time records, or hands a
// hardware fault to the exception server, then puts back the handlers that
// were there before the kit and lets the signal take its course.

#include <csignal>
#include <cstdint>
#include <functional>

// In the order every loop uses.
inline constexpr int kBRSHandledSignals[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP};

// At start.
void BRSSignalInitialize();
void BRSSignalInstallHandlers();
void BRSSignalEnumerateHandledSignals(const std::function<void(int index, int signal)>& block);
void BRSSignalCheckHandlers();

// Crash-time.
void BRSSignalHandler(int signal, siginfo_t* info, void* machineContext);
void BRSSignalSafeRemoveHandlers(bool all);
bool BRSSignalSafeInstallPreexistingHandlers();
void BRSSignalNamesForNumber(int signal, int code, const char** name, const char** codeName);
// The fault kind (BRSExceptionMask bit) a signal corresponds to; 0 for none.
uint32_t BRSMachExceptionMaskForSignal(int signal);

// Alternate signal stacks for every thread, one mapping each. The start
// gives one to every thread already running, through a one-shot real-time
// signal; later threads map theirs as they start (BRSThreadStart).
void BRSSignalStacksInitialize();
// Maps and installs a stack for the calling thread; answers the mapping,
// or null when the thread has a stack already or none could be mapped.
void* BRSSignalStackInstallForCurrentThread();
// Takes the stack down (when it is still the thread's) and unmaps it.
void BRSSignalStackRelease(void* mapping);

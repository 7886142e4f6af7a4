#pragma once
// Thread, process and host capture. BRSHandler appends the state of the
// whole process to a crash record file: every thread's registers and
// unwound stack, names, memory and time statistics, free disk space.

#include "reporting/BriscaKit/CrashTime/BRSUnwind.h"

#include <csignal>
#include <sys/types.h>
#include <ucontext.h>

struct BRSFile;
class BRSRuntime;

constexpr size_t kBRSMaximumThreads = 256;

// Crash-time.
void BRSHandler(BRSFile* file, pid_t crashedThread, const ucontext_t* machineContext);
// The reserved real-time signal that stops other threads, and its handler.
int BRSProcessSuspendSignal();
void BRSProcessSuspendHandler(int signal, siginfo_t* info, void* context);
void BRSRegisterStateFromContext(const ucontext_t* context, BRSRegisterState* state);
pid_t BRSCurrentThreadID();

// At start.
// Installs the handler of the signal that stops other threads.
void BRSProcessInstallSuspendHandler();
bool BRSProcessDebuggerAttached();
void BRSHostInitialize(const BRSRuntime& runtime);
bool BRSHostRecordHostMetadata(BRSFile* file, const BRSRuntime& runtime);
void BRSHostRecordStorage(BRSFile* file);

#pragma once
// Thread, process and host capture. BRSHandler appends the state of the
// whole process to a crash record file: every thread's registers and
// unwound stack, names, memory and time statistics, free disk space.

#include "reporting/BriscaKit/BRSUnwind.h"

#include <sys/types.h>
#include <ucontext.h>

struct BRSFile;
class BRSRuntime;

constexpr size_t kBRSMaximumThreads = 256;

// Crash-time.
void BRSHandler(BRSFile* file, pid_t crashedThread, const ucontext_t* machineContext);
// Reserves the real-time signal that stops other threads and installs its
// handler; called once at start.
void BRSProcessInstallSuspendHandler();
int BRSProcessSuspendSignal();
void BRSRegisterStateFromContext(const ucontext_t* context, BRSRegisterState* state);
pid_t BRSCurrentThreadID();

// At start.
bool BRSProcessDebuggerAttached();
void BRSHostInitialize(const BRSRuntime& runtime);
bool BRSHostRecordHostMetadata(BRSFile* file, const BRSRuntime& runtime);
void BRSHostRecordStorage(BRSFile* file);

#pragma once
// The exception server: a thread started at initialisation on its own
// pre-mapped stack. The signal handler hands it a hardware fault whose kind
// is registered; it records "mach_exception.brsrecord" with the crash-time
// records, puts back the earlier signal handlers and replies, and the fault
// then repeats into them.
//
// Why a thread of its own: the faulting thread is the worst place to record
// a fault. Its stack may be the one that overflowed, its signal stack is
// small, and it may have faulted while holding anything. The server runs on
// a large stack mapped at start, has done nothing since but wait on its pipe,
// and records the faulting thread from outside while that thread waits,
// stopped, for the reply: the same order of events as a fault that first
// reaches an exception port and only then becomes a signal, so the
// earlier handlers, and finally the signal's default action, still see it.

#include <atomic>
#include <csignal>
#include <cstdint>
#include <sys/types.h>
#include <ucontext.h>

// Fault kinds, as their exception bits.
enum BRSExceptionMask : uint32_t {
    kBRSExceptionMaskBadAccess = 2,
    kBRSExceptionMaskBadInstruction = 4,
    kBRSExceptionMaskArithmetic = 8,
    kBRSExceptionMaskBreakpoint = 64,
    kBRSExceptionMaskCrash = 1024,
};
constexpr uint32_t kBRSExceptionMaskRegistered =
    kBRSExceptionMaskBadAccess | kBRSExceptionMaskBadInstruction | kBRSExceptionMaskArithmetic |
    kBRSExceptionMaskBreakpoint;

enum class BRSExceptionReply : uint32_t { Pending = 0, Success = 1, Failure = 5 };

// What the faulting thread hands over; it lives on that thread's signal stack.
struct BRSExceptionRequest {
    int signal;
    int code;
    uintptr_t address;
    uint64_t trapNumber;
    pid_t thread;
    const ucontext_t* context;
    pid_t process;
    std::atomic<uint32_t> reply;
};

// At start.
void BRSMachExceptionInit(uint32_t maskLeftToSignals);

// Crash-time.
// The server thread's body.
void* BRSMachExceptionServer(void*);
// Whether the server takes this fault; then hands it over and waits for
// the reply.
bool BRSExceptionServerTakesFault(int signal, const siginfo_t* info);
BRSExceptionReply BRSExceptionServerHandleFault(int signal, const siginfo_t* info, const ucontext_t* context);
bool BRSMachExceptionUnregister();
void BRSMachExceptionNames(uint32_t exception, uint64_t code, const char** name, const char** codeName);

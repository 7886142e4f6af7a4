#pragma once
// Stack unwinding at crash time, without the dynamic linker or the system
// unwinder: a cursor starts from a thread's registers and steps from frame
// to frame with the image's DWARF call-frame information, falling back to
// the frame-pointer chain (and, for the first step, a stack scan).

#include <cstdint>

// Registers in DWARF numbering: 0 rax, 1 rdx, 2 rcx, 3 rbx, 4 rsi, 5 rdi,
// 6 rbp, 7 rsp, 8 to 15 r8 to r15, 16 the return address (rip).
constexpr uint64_t kBRSRegisterCount = 17;
constexpr uint64_t kBRSRegisterRBP = 6;
constexpr uint64_t kBRSRegisterRSP = 7;
constexpr uint64_t kBRSRegisterRIP = 16;
constexpr uint64_t kBRSMaximumFrames = 512;

struct BRSRegisterState {
    uint64_t registers[kBRSRegisterCount];
    uint64_t rflags, cs, fs, gs;
};

struct BRSUnwindContext {
    BRSRegisterState state;
    uint64_t frameCount;
    // The first pc is where the thread was interrupted, not a return
    // address: its own instruction is looked up, not the one before it.
    bool exactFirstFrame;
    bool reachedEnd;  // the call-frame information marked the outermost frame
};

bool BRSUnwindInit(BRSUnwindContext* cursor, const BRSRegisterState* state, bool exactFirstFrame);
bool BRSUnwindNextFrame(BRSUnwindContext* cursor);
uint64_t BRSUnwindGetPC(const BRSUnwindContext* cursor);
uint64_t BRSUnwindGetSP(const BRSUnwindContext* cursor);
void BRSUnwindSetPC(BRSUnwindContext* cursor, uint64_t value);
bool BRSUnwindIsValid(const BRSUnwindContext* cursor);
uint64_t BRSUnwindGetRegisterValue(const BRSRegisterState* state, uint64_t number);
bool BRSUnwindSetRegisterValue(BRSRegisterState* state, uint64_t number, uint64_t value);
bool BRSUnwindReadStack(uint64_t frameAddress, uint64_t* pc, uint64_t* nextFrameAddress);
bool BRSUnwindWithFramePointer(BRSRegisterState* state, bool allowStackScan);
bool BRSUnwindScanStack(uint64_t from, uint64_t to, uint64_t* pc, uint64_t* foundAt);
bool BRSUnwindIsAddressInImage(uint64_t address);

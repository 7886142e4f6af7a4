// Crash-time code: the cursor and the DWARF state live on the caller's
// stack; image lookups use the kit's fixed table.
#include "reporting/BriscaKit/CrashTime/BRSUnwind.h"

#include "reporting/BriscaKit/CrashTime/BRSBinaryImage.h"
#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSDwarf.h"

#include <cstring>

namespace {

constexpr uint64_t kLowestAddress = 4096;
constexpr uint64_t kMaximumScannedWords = 2048;

enum class Step { Success, OutermostFrame, Failure };

Step stepWithCallFrameInformation(BRSRegisterState* state, uint64_t lookupPC)
{
    BRSBinaryImageRuntimeNode node;
    if (!BRSBinaryImageFindImageForAddress(uintptr_t(lookupPC), &node)) {
        BRSSDKLog("%s: Unable to find binary for %p\n", __func__, reinterpret_cast<void*>(lookupPC));
        return Step::Failure;
    }
    if (!BRSBinaryImageHasEhFrameHdr(node)) {
        BRSSDKLog("%s: Binary image at %p has no unwind info\n", __func__, reinterpret_cast<void*>(node.baseAddress));
        return Step::Failure;
    }
    BRSDwarfCFIRecord record;
    if (!BRSDwarfFindFDE(uintptr_t(node.ehFrameHdr), uintptr_t(node.frameSegmentStart), uintptr_t(node.frameSegmentEnd),
                         lookupPC, &record))
        return Step::Failure;
    switch (BRSDwarfUnwindComputeRegisters(&record, lookupPC, state)) {
    case BRSDwarfStep::Success: return Step::Success;
    case BRSDwarfStep::OutermostFrame: return Step::OutermostFrame;
    case BRSDwarfStep::Failure: break;
    }
    BRSSDKLog("%s: Error: failed to compute DWARF registers\n", __func__);
    return Step::Failure;
}

}  // namespace

bool BRSUnwindInit(BRSUnwindContext* cursor, const BRSRegisterState* state, bool exactFirstFrame)
{
    if (!cursor || !state)
        return false;
    std::memset(cursor, 0, sizeof *cursor);
    cursor->state = *state;
    cursor->exactFirstFrame = exactFirstFrame;
    return true;
}

uint64_t BRSUnwindGetPC(const BRSUnwindContext* cursor) { return cursor ? cursor->state.registers[kBRSRegisterRIP] : 0; }
uint64_t BRSUnwindGetSP(const BRSUnwindContext* cursor) { return cursor ? cursor->state.registers[kBRSRegisterRSP] : 0; }
void BRSUnwindSetPC(BRSUnwindContext* cursor, uint64_t value)
{
    if (cursor)
        cursor->state.registers[kBRSRegisterRIP] = value;
}

bool BRSUnwindIsValid(const BRSUnwindContext* cursor)
{
    return BRSUnwindGetPC(cursor) >= kLowestAddress && BRSUnwindGetSP(cursor) >= kLowestAddress;
}

uint64_t BRSUnwindGetRegisterValue(const BRSRegisterState* state, uint64_t number)
{
    if (number >= kBRSRegisterCount) {
        BRSSDKLog("%s: Error: Unrecognized get register number %llu\n", __func__, static_cast<unsigned long long>(number));
        return 0;
    }
    return state->registers[number];
}

bool BRSUnwindSetRegisterValue(BRSRegisterState* state, uint64_t number, uint64_t value)
{
    if (number >= kBRSRegisterCount) {
        BRSSDKLog("%s: Unrecognized set register number %llu\n", __func__, static_cast<unsigned long long>(number));
        return false;
    }
    state->registers[number] = value;
    return true;
}

bool BRSUnwindReadStack(uint64_t frameAddress, uint64_t* pc, uint64_t* nextFrameAddress)
{
    uint64_t words[2];
    if (!BRSReadMemory(uintptr_t(frameAddress), words, sizeof words)) {
        BRSSDKLog("%s: Error: failed to read memory\n", __func__);
        return false;
    }
    *nextFrameAddress = words[0];
    *pc = words[1];
    return true;
}

bool BRSUnwindIsAddressInImage(uint64_t address) { return BRSBinaryImageFindImageForAddress(uintptr_t(address), nullptr); }

bool BRSUnwindScanStack(uint64_t from, uint64_t to, uint64_t* pc, uint64_t* foundAt)
{
    uint64_t scanned = 0;
    for (uint64_t address = from; address < to && scanned < kMaximumScannedWords; address += 8, ++scanned) {
        if (address < kLowestAddress)
            continue;
        uint64_t word;
        if (!BRSReadMemory(uintptr_t(address), &word, sizeof word))
            return false;
        if (BRSUnwindIsAddressInImage(word)) {
            *pc = word;
            *foundAt = address;
            return true;
        }
    }
    return false;
}

bool BRSUnwindWithFramePointer(BRSRegisterState* state, bool allowStackScan)
{
    uint64_t& rbp = state->registers[kBRSRegisterRBP];
    uint64_t& rsp = state->registers[kBRSRegisterRSP];
    uint64_t& rip = state->registers[kBRSRegisterRIP];
    if (allowStackScan) {
        BRSSDKLog("%s: Attempting stack scan\n", __func__);
        uint64_t pc, foundAt;
        if (BRSUnwindScanStack(rsp, rbp, &pc, &foundAt)) {
            BRSSDKLog("%s: Stack scan successful\n", __func__);
            rip = pc;
            rsp = foundAt + 8;  // the caller's stack starts above its return address
            return true;
        }
    }
    uint64_t pc, nextFrame;
    if (!BRSUnwindReadStack(rbp, &pc, &nextFrame))
        return false;
    // A frame's saved rbp and return address sit at its base; the caller's
    // stack pointer is just above them.
    rsp = rbp + 16;
    rbp = nextFrame;
    rip = pc;
    return true;
}

namespace {

// A thread interrupted outside every image (at 0 after a call through a null
// pointer) has just been called there: as debuggers do, take the word at the
// stack pointer as its return address when that lies in an image.
bool stepOutOfUnknownCode(BRSRegisterState* state)
{
    uint64_t& rsp = state->registers[kBRSRegisterRSP];
    uint64_t returnAddress;
    if (!BRSReadMemory(uintptr_t(rsp), &returnAddress, sizeof returnAddress) || !BRSUnwindIsAddressInImage(returnAddress))
        return false;
    BRSSDKLog("%s: PC %p is in no image, taking the return address at the stack pointer\n", __func__,
              reinterpret_cast<void*>(state->registers[kBRSRegisterRIP]));
    state->registers[kBRSRegisterRIP] = returnAddress;
    rsp += 8;
    return true;
}

// From the frame the cursor stands in to its caller's: the word at the stack
// pointer for a thread stopped outside every image, else the call-frame
// information, with the frame pointer (and a stack scan on the first step) as
// the fallback.
bool stepToCaller(BRSUnwindContext* cursor, bool atInterruptedPC)
{
    if (atInterruptedPC && !BRSUnwindIsAddressInImage(BRSUnwindGetPC(cursor)) && stepOutOfUnknownCode(&cursor->state))
        return true;
    // A return address is looked up inside its call instruction, an
    // interrupted pc at its own instruction.
    const uint64_t lookupPC = BRSUnwindGetPC(cursor) - (atInterruptedPC ? 0 : 1);
    if (lookupPC < kLowestAddress) {
        BRSSDKLog("%s: Error: failed to advance to the next frame\n", "BRSUnwindNextFrame");
        return false;
    }
    const Step step = stepWithCallFrameInformation(&cursor->state, lookupPC);
    if (step == Step::OutermostFrame) {
        cursor->reachedEnd = true;
        return false;
    }
    if (step == Step::Failure && !BRSUnwindWithFramePointer(&cursor->state, cursor->frameCount == 1)) {
        BRSSDKLog("%s: Error: Unable to use frame pointer\n", "BRSUnwindNextFrame");
        BRSSDKLog("%s: Error: failed to advance to the next frame\n", "BRSUnwindNextFrame");
        return false;
    }
    return true;
}

}  // namespace

bool BRSUnwindNextFrame(BRSUnwindContext* cursor)
{
    if (!cursor || uintptr_t(cursor) < kLowestAddress) {
        BRSSDKLog("%s: Error: invalid inputs\n", __func__);
        return false;
    }
    // An interrupted thread's own pc is its first frame wherever it stands,
    // 0 included; only the steps after it need a pc in code.
    const bool atInterruptedPC = cursor->exactFirstFrame && cursor->frameCount <= 1;
    if (BRSUnwindGetSP(cursor) < kLowestAddress || (BRSUnwindGetPC(cursor) < kLowestAddress && !atInterruptedPC)) {
        BRSSDKLog(cursor->frameCount == 0 ? "%s: Cancelling unwind for thread with invalid PC/SP\n"
                                          : "%s: Error: thread PC/SP invalid before unwind\n",
                  __func__);
        return false;
    }
    if (cursor->reachedEnd)
        return false;
    if (cursor->frameCount >= kBRSMaximumFrames) {
        BRSSDKLog("%s: Error: failed to advance to the next frame\n", __func__);
        return false;
    }
    if (cursor->frameCount > 0 && !stepToCaller(cursor, atInterruptedPC))
        return false;
    if (BRSUnwindGetPC(cursor) < kLowestAddress && !(cursor->frameCount == 0 && cursor->exactFirstFrame))
        return false;
    if (BRSUnwindGetSP(cursor) < kLowestAddress) {
        BRSSDKLog("%s: Error: SP (%p) isn't a valid pointer\n", __func__, reinterpret_cast<void*>(BRSUnwindGetSP(cursor)));
        return false;
    }
    cursor->frameCount++;
    return true;
}

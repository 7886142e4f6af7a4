#pragma once
// DWARF call-frame information from an image's .eh_frame: FDE lookup
// through the .eh_frame_hdr search table, CIE and FDE parsing, and the
// call-frame instructions run up to a pc. Every read of the image is bounded
// to its frame segment; stack and indirect reads go through BRSReadMemory.

#include "reporting/BriscaKit/CrashTime/BRSUnwind.h"

#include <cstddef>
#include <cstdint>

// A bounded read position.
struct BRSDwarfCursor {
    uintptr_t position;
    uintptr_t end;
    bool failed;
};

struct BRSDwarfInstructions {
    uintptr_t start;
    uint64_t length;
};

struct BRSDwarfCIERecord {
    uint64_t length;
    uint8_t version;
    const char* augmentation;
    uint64_t codeAlignmentFactor;
    int64_t dataAlignmentFactor;
    uint64_t returnAddressRegister;
    uint8_t fdePointerEncoding;
    uint8_t lsdaEncoding;
    uint8_t personalityEncoding;
    uint64_t personalityAddress;
    bool signalFrame;
    BRSDwarfInstructions initialInstructions;
};

struct BRSDwarfFDERecord {
    uint64_t length;
    uint32_t ciePointer;
    uint64_t pcBegin;
    uint64_t pcRange;
    BRSDwarfInstructions instructions;
};

struct BRSDwarfCFIRecord {
    BRSDwarfCIERecord cie;
    BRSDwarfFDERecord fde;
    uintptr_t boundsStart, boundsEnd;  // the readable span the records lie in
};

enum BRSDwarfRuleKind : uint32_t {
    kBRSDwarfRuleUnchanged = 0,
    kBRSDwarfRuleOffsetFromCFA = 1,    // saved at CFA + value
    kBRSDwarfRuleValueOffset = 2,      // value is CFA + value
    kBRSDwarfRuleRegister = 3,         // in register value
    kBRSDwarfRuleAtExpression = 4,
    kBRSDwarfRuleValueExpression = 5,
    kBRSDwarfRuleUndefined = 6,        // no value: for the return address, the outermost frame
};

constexpr uint64_t kBRSDwarfCFAExpressionRegister = 17;
constexpr size_t kBRSDwarfStateStackDepth = 8;

struct BRSDwarfRule {
    uint32_t kind;
    int64_t value;
};

struct BRSDwarfState {
    uint64_t cfaRegister;
    int64_t cfaOffset;
    uintptr_t cfaExpression;
    BRSDwarfRule registers[kBRSRegisterCount];
};

enum class BRSDwarfStep { Success, OutermostFrame, Failure };

// Primitive reads; a read past the end sets failed and answers 0.
uint64_t BRSDwarfReadUnsigned(BRSDwarfCursor* cursor, size_t bytes);
int64_t BRSDwarfReadSigned(BRSDwarfCursor* cursor, size_t bytes);
uint64_t BRSDwarfReadULEB128(BRSDwarfCursor* cursor);
int64_t BRSDwarfReadSLEB128(BRSDwarfCursor* cursor);
// A pointer in an exception-frame encoding; dataBase serves the data-relative
// encoding of the search table. Failure answers -1 (all bits set).
uint64_t BRSParseAddressWithEncodingAndAdvance(BRSDwarfCursor* cursor, uint8_t encoding, uintptr_t dataBase);

bool BRSDwarfParseCIERecord(BRSDwarfCIERecord* cie, uintptr_t address, uintptr_t boundsStart, uintptr_t boundsEnd);
bool BRSDwarfParseFDERecord(BRSDwarfFDERecord* fde, bool parseCIE, BRSDwarfCIERecord* cie, uintptr_t address,
                            uintptr_t boundsStart, uintptr_t boundsEnd);
// Finds the FDE for pc through an image's search table.
bool BRSDwarfFindFDE(uintptr_t ehFrameHdr, uintptr_t boundsStart, uintptr_t boundsEnd, uint64_t pc,
                     BRSDwarfCFIRecord* record);
bool BRSDwarfInstructionsEnumerate(BRSDwarfInstructions instructions, const BRSDwarfCIERecord* cie,
                                   BRSDwarfState* state, const BRSDwarfState* initialState, uint64_t pcBegin,
                                   uint64_t pcLimit, uintptr_t boundsEnd);
// The caller's registers for a frame executing at lookupPC.
BRSDwarfStep BRSDwarfUnwindComputeRegisters(const BRSDwarfCFIRecord* record, uint64_t lookupPC,
                                            BRSRegisterState* registers);
uint64_t BRSDwarfGetCFA(const BRSDwarfState* state, const BRSRegisterState* registers);

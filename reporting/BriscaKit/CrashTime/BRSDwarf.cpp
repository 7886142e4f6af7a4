// Crash-time code: no allocation, no locks; records and state live on the
// caller's stack, and every read is bounded.
#include "reporting/BriscaKit/CrashTime/BRSDwarf.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"

#include <climits>
#include <cstring>

namespace {

constexpr uintptr_t kLowestAddress = 4096;
constexpr uint64_t kFailure = ~uint64_t(0);

enum : uint8_t {
    DW_EH_PE_absptr = 0x00, DW_EH_PE_uleb128 = 0x01, DW_EH_PE_udata2 = 0x02, DW_EH_PE_udata4 = 0x03,
    DW_EH_PE_udata8 = 0x04, DW_EH_PE_sleb128 = 0x09, DW_EH_PE_sdata2 = 0x0a, DW_EH_PE_sdata4 = 0x0b,
    DW_EH_PE_sdata8 = 0x0c, DW_EH_PE_pcrel = 0x10, DW_EH_PE_datarel = 0x30, DW_EH_PE_indirect = 0x80,
    DW_EH_PE_omit = 0xff,
};

BRSDwarfCursor cursorAt(uintptr_t position, uintptr_t end) { return BRSDwarfCursor{position, end, false}; }

bool canRead(BRSDwarfCursor* cursor, size_t bytes)
{
    if (cursor->failed || cursor->position < kLowestAddress || cursor->position > cursor->end ||
        cursor->end - cursor->position < bytes) {
        cursor->failed = true;
        return false;
    }
    return true;
}

// Initial length: 32 bits, or 64 bits after the escape 0xffffffff.
uint64_t readInitialLength(BRSDwarfCursor* cursor)
{
    uint64_t length = BRSDwarfReadUnsigned(cursor, 4);
    if (length == 0xffffffffu)
        length = BRSDwarfReadUnsigned(cursor, 8);
    return length;
}

const char* readString(BRSDwarfCursor* cursor)
{
    const char* start = reinterpret_cast<const char*>(cursor->position);
    while (canRead(cursor, 1)) {
        char c = *reinterpret_cast<const char*>(cursor->position);
        cursor->position++;
        if (c == 0)
            return start;
    }
    return nullptr;
}

bool validRegister(uint64_t number) { return number < kBRSRegisterCount; }

}  // namespace

uint64_t BRSDwarfReadUnsigned(BRSDwarfCursor* cursor, size_t bytes)
{
    if (!canRead(cursor, bytes))
        return 0;
    uint64_t value = 0;
    std::memcpy(&value, reinterpret_cast<const void*>(cursor->position), bytes);
    cursor->position += bytes;
    return value;
}

int64_t BRSDwarfReadSigned(BRSDwarfCursor* cursor, size_t bytes)
{
    uint64_t value = BRSDwarfReadUnsigned(cursor, bytes);
    if (bytes < 8 && (value >> (bytes * 8 - 1)) & 1)
        value |= ~uint64_t(0) << (bytes * 8);
    return int64_t(value);
}

uint64_t BRSDwarfReadULEB128(BRSDwarfCursor* cursor)
{
    uint64_t result = 0;
    for (unsigned shift = 0; shift < 64; shift += 7) {
        uint8_t byte = uint8_t(BRSDwarfReadUnsigned(cursor, 1));
        if (cursor->failed)
            return 0;
        result |= uint64_t(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return result;
    }
    cursor->failed = true;
    return 0;
}

int64_t BRSDwarfReadSLEB128(BRSDwarfCursor* cursor)
{
    uint64_t result = 0;
    unsigned shift = 0;
    uint8_t byte = 0;
    do {
        if (shift >= 64) {
            cursor->failed = true;
            return 0;
        }
        byte = uint8_t(BRSDwarfReadUnsigned(cursor, 1));
        if (cursor->failed)
            return 0;
        result |= uint64_t(byte & 0x7f) << shift;
        shift += 7;
    } while (byte & 0x80);
    if (shift < 64 && (byte & 0x40))
        result |= ~uint64_t(0) << shift;
    return int64_t(result);
}

uint64_t BRSParseAddressWithEncodingAndAdvance(BRSDwarfCursor* cursor, uint8_t encoding, uintptr_t dataBase)
{
    if (!cursor)
        return kFailure;
    if (encoding == DW_EH_PE_omit)
        return 0;
    const uintptr_t field = cursor->position;
    uint64_t value;
    switch (encoding & 0x0f) {
    case DW_EH_PE_absptr: value = BRSDwarfReadUnsigned(cursor, 8); break;
    case DW_EH_PE_uleb128: value = BRSDwarfReadULEB128(cursor); break;
    case DW_EH_PE_udata2: value = BRSDwarfReadUnsigned(cursor, 2); break;
    case DW_EH_PE_udata4: value = BRSDwarfReadUnsigned(cursor, 4); break;
    case DW_EH_PE_udata8: value = BRSDwarfReadUnsigned(cursor, 8); break;
    case DW_EH_PE_sleb128: value = uint64_t(BRSDwarfReadSLEB128(cursor)); break;
    case DW_EH_PE_sdata2: value = uint64_t(BRSDwarfReadSigned(cursor, 2)); break;
    case DW_EH_PE_sdata4: value = uint64_t(BRSDwarfReadSigned(cursor, 4)); break;
    case DW_EH_PE_sdata8: value = uint64_t(BRSDwarfReadSigned(cursor, 8)); break;
    default:
        BRSSDKLog("%s: Unhandled: encoding 0x%02x\n", __func__, unsigned(encoding));
        return kFailure;
    }
    if (cursor->failed)
        return kFailure;
    switch (encoding & 0x70) {
    case 0: break;
    case DW_EH_PE_pcrel: value += field; break;
    case DW_EH_PE_datarel:
        if (!dataBase)
            return kFailure;
        value += dataBase;
        break;
    default:
        BRSSDKLog("%s: Unhandled: relative encoding 0x%02x\n", __func__, unsigned(encoding));
        return kFailure;
    }
    if (encoding & DW_EH_PE_indirect) {
        uint64_t target = 0;
        if (value == 0 || !BRSReadMemory(uintptr_t(value), &target, sizeof target))
            return kFailure;
        value = target;
    }
    return value;
}

bool BRSDwarfParseCIERecord(BRSDwarfCIERecord* cie, uintptr_t address, uintptr_t boundsStart, uintptr_t boundsEnd)
{
    if (!cie || address < boundsStart)
        return false;
    std::memset(cie, 0, sizeof *cie);
    BRSDwarfCursor cursor = cursorAt(address, boundsEnd);
    cie->length = readInitialLength(&cursor);
    if (cursor.failed || cie->length == 0) {
        BRSSDKLog("%s: Error: CIE length invalid\n", __func__);
        return false;
    }
    const uintptr_t end = cursor.position + cie->length;
    if (end < cursor.position || end > boundsEnd) {
        BRSSDKLog("%s: Error: CIE length invalid\n", __func__);
        return false;
    }
    cursor.end = end;
    if (BRSDwarfReadUnsigned(&cursor, 4) != 0)
        BRSSDKLog("%s: Error: CIE flag not found\n", __func__);
    cie->version = uint8_t(BRSDwarfReadUnsigned(&cursor, 1));
    if (cie->version != 1 && cie->version != 3) {
        BRSSDKLog("%s: Error: CIE version %u unsupported\n", __func__, unsigned(cie->version));
        return false;
    }
    cie->augmentation = readString(&cursor);
    cie->codeAlignmentFactor = BRSDwarfReadULEB128(&cursor);
    cie->dataAlignmentFactor = BRSDwarfReadSLEB128(&cursor);
    cie->returnAddressRegister =
        cie->version == 1 ? BRSDwarfReadUnsigned(&cursor, 1) : BRSDwarfReadULEB128(&cursor);
    if (cursor.failed || !cie->augmentation)
        return false;
    cie->fdePointerEncoding = DW_EH_PE_absptr;
    cie->lsdaEncoding = DW_EH_PE_omit;
    cie->personalityEncoding = DW_EH_PE_omit;
    if (cie->augmentation[0] != 0) {
        if (cie->augmentation[0] != 'z') {
            BRSSDKLog("%s: Error: Unimplemented: augmentation string %s\n", __func__, cie->augmentation);
            return false;
        }
        const uint64_t dataLength = BRSDwarfReadULEB128(&cursor);
        const uintptr_t dataEnd = cursor.position + dataLength;
        if (cursor.failed || dataEnd > end)
            return false;
        BRSDwarfCursor data = cursorAt(cursor.position, dataEnd);
        for (const char* p = cie->augmentation + 1; *p; ++p) {
            switch (*p) {
            case 'L': cie->lsdaEncoding = uint8_t(BRSDwarfReadUnsigned(&data, 1)); break;
            case 'P':
                cie->personalityEncoding = uint8_t(BRSDwarfReadUnsigned(&data, 1));
                cie->personalityAddress = BRSParseAddressWithEncodingAndAdvance(&data, cie->personalityEncoding, 0);
                if (cie->personalityAddress == kFailure || cie->personalityAddress == kFailure - 1) {
                    BRSSDKLog("%s: Error: Found an invalid start address\n", __func__);
                    return false;
                }
                break;
            case 'R': cie->fdePointerEncoding = uint8_t(BRSDwarfReadUnsigned(&data, 1)); break;
            case 'S': cie->signalFrame = true; break;
            default: {
                char text[2] = {*p, 0};
                BRSSDKLog("%s: Error: Unhandled augmentation string entry %s\n", __func__, text);
                return false;
            }
            }
            if (data.failed)
                return false;
        }
        cursor.position = dataEnd;
    }
    cie->initialInstructions.start = cursor.position;
    cie->initialInstructions.length = end - cursor.position;
    return true;
}

bool BRSDwarfParseFDERecord(BRSDwarfFDERecord* fde, bool parseCIE, BRSDwarfCIERecord* cie, uintptr_t address,
                            uintptr_t boundsStart, uintptr_t boundsEnd)
{
    if (!fde || !cie || address < boundsStart)
        return false;
    std::memset(fde, 0, sizeof *fde);
    BRSDwarfCursor cursor = cursorAt(address, boundsEnd);
    fde->length = readInitialLength(&cursor);
    if (cursor.failed || fde->length == 0) {
        BRSSDKLog("%s: Error: FDE has zero length\n", __func__);
        return false;
    }
    const uintptr_t end = cursor.position + fde->length;
    if (end < cursor.position || end > boundsEnd)
        return false;
    cursor.end = end;
    const uintptr_t ciePointerField = cursor.position;
    fde->ciePointer = uint32_t(BRSDwarfReadUnsigned(&cursor, 4));
    if (cursor.failed || fde->ciePointer == 0) {
        BRSSDKLog("%s: Error: CIE offset invalid\n", __func__);
        return false;
    }
    if (parseCIE) {
        const uintptr_t cieAddress = ciePointerField - fde->ciePointer;
        if (cieAddress > ciePointerField || !BRSDwarfParseCIERecord(cie, cieAddress, boundsStart, boundsEnd)) {
            BRSSDKLog("%s: Error: Unable to parse CIE record\n", __func__);
            return false;
        }
    }
    if (cie->length == 0 || (cie->version != 1 && cie->version != 3)) {
        BRSSDKLog("%s: Error: CIE invalid\n", __func__);
        return false;
    }
    fde->pcBegin = BRSParseAddressWithEncodingAndAdvance(&cursor, cie->fdePointerEncoding, 0);
    if (fde->pcBegin == kFailure) {
        BRSSDKLog("%s: Error: Found an invalid start address\n", __func__);
        return false;
    }
    fde->pcRange = BRSParseAddressWithEncodingAndAdvance(&cursor, cie->fdePointerEncoding & 0x0f, 0);
    if (fde->pcRange == kFailure) {
        BRSSDKLog("%s: Error: Found an invalid address range\n", __func__);
        return false;
    }
    if (cie->augmentation && cie->augmentation[0] == 'z') {
        const uint64_t skip = BRSDwarfReadULEB128(&cursor);
        if (cursor.failed || skip > end - cursor.position)
            return false;
        cursor.position += skip;
    }
    fde->instructions.start = cursor.position;
    fde->instructions.length = end - cursor.position;
    return true;
}

bool BRSDwarfFindFDE(uintptr_t ehFrameHdr, uintptr_t boundsStart, uintptr_t boundsEnd, uint64_t pc,
                     BRSDwarfCFIRecord* record)
{
    if (!record || ehFrameHdr < boundsStart || ehFrameHdr >= boundsEnd)
        return false;
    BRSDwarfCursor cursor = cursorAt(ehFrameHdr, boundsEnd);
    const uint8_t version = uint8_t(BRSDwarfReadUnsigned(&cursor, 1));
    const uint8_t framePointerEncoding = uint8_t(BRSDwarfReadUnsigned(&cursor, 1));
    const uint8_t countEncoding = uint8_t(BRSDwarfReadUnsigned(&cursor, 1));
    const uint8_t tableEncoding = uint8_t(BRSDwarfReadUnsigned(&cursor, 1));
    if (cursor.failed || version != 1)
        return false;
    BRSParseAddressWithEncodingAndAdvance(&cursor, framePointerEncoding, ehFrameHdr);
    const uint64_t count = BRSParseAddressWithEncodingAndAdvance(&cursor, countEncoding, ehFrameHdr);
    // The linker writes the table in one encoding: four-byte entries
    // relative to the table's header.
    if (cursor.failed || count == kFailure || count == 0 || tableEncoding != (DW_EH_PE_datarel | DW_EH_PE_sdata4))
        return false;
    const uintptr_t table = cursor.position;
    if ((boundsEnd - table) / 8 < count)
        return false;
    auto entry = [&](uint64_t index, uint64_t* initial, uint64_t* fde) {
        BRSDwarfCursor at = cursorAt(table + index * 8, boundsEnd);
        *initial = ehFrameHdr + uint64_t(BRSDwarfReadSigned(&at, 4));
        *fde = ehFrameHdr + uint64_t(BRSDwarfReadSigned(&at, 4));
        return !at.failed;
    };
    uint64_t low = 0, high = count;  // the last entry whose start is at most pc
    while (high - low > 1) {
        uint64_t middle = low + (high - low) / 2, initial, fde;
        if (!entry(middle, &initial, &fde))
            return false;
        (initial <= pc ? low : high) = middle;
    }
    uint64_t initial, fdeAddress;
    if (!entry(low, &initial, &fdeAddress) || initial > pc)
        return false;
    std::memset(record, 0, sizeof *record);
    record->boundsStart = boundsStart;
    record->boundsEnd = boundsEnd;
    if (!BRSDwarfParseFDERecord(&record->fde, true, &record->cie, uintptr_t(fdeAddress), boundsStart, boundsEnd)) {
        BRSSDKLog("%s: Error: Unable to init FDE\n", __func__);
        return false;
    }
    return pc >= record->fde.pcBegin && pc - record->fde.pcBegin < record->fde.pcRange;
}

namespace {

struct Row {
    BRSDwarfState* state;
    const BRSDwarfState* initialState;
    BRSDwarfState saved[kBRSDwarfStateStackDepth];
    size_t savedCount;
};

bool failRegister(const char* instruction)
{
    BRSSDKLog("%s: Error: Found an invalid %s register number\n", "BRSDwarfInstructionsEnumerate", instruction);
    return false;
}

bool setRule(BRSDwarfState* state, uint64_t reg, uint32_t kind, int64_t value, const char* instruction)
{
    if (!validRegister(reg))
        return failRegister(instruction);
    state->registers[reg] = BRSDwarfRule{kind, value};
    return true;
}

bool skipExpression(BRSDwarfCursor* cursor, uintptr_t* start)
{
    *start = cursor->position;
    const uint64_t length = BRSDwarfReadULEB128(cursor);
    if (cursor->failed || length > cursor->end - cursor->position)
        return false;
    cursor->position += length;
    return true;
}

// One instruction; false on failure.
bool execute(uint8_t opcode, BRSDwarfCursor* cursor, const BRSDwarfCIERecord* cie, Row* row, uint64_t pcBegin,
             uint64_t* location)
{
    BRSDwarfState* state = row->state;
    const int64_t daf = cie->dataAlignmentFactor;
    const uint64_t caf = cie->codeAlignmentFactor;
    const uint8_t operand = opcode & 0x3f;
    switch (opcode & 0xc0) {
    case 0x40:
        *location += operand * caf;
        return true;
    case 0x80: {
        const uint64_t offset = BRSDwarfReadULEB128(cursor);
        BRSSDKLog("%s: DW_CFA_offset %u, %lld\n", "BRSDwarfInstructionsEnumerate", unsigned(operand), static_cast<long long>(int64_t(offset) * daf));
        return !cursor->failed && setRule(state, operand, kBRSDwarfRuleOffsetFromCFA, int64_t(offset) * daf, "DW_CFA_offset");
    }
    case 0xc0:
        if (!validRegister(operand))
            return failRegister("DW_CFA_restore");
        state->registers[operand] = row->initialState ? row->initialState->registers[operand] : BRSDwarfRule{};
        return true;
    }
    switch (opcode) {
    case 0x00: return true;  // nop
    case 0x01: {             // set_loc
        const uint64_t address = BRSParseAddressWithEncodingAndAdvance(cursor, cie->fdePointerEncoding, 0);
        if (address == kFailure || address < pcBegin)
            return false;
        *location = address - pcBegin;
        return true;
    }
    case 0x02: *location += BRSDwarfReadUnsigned(cursor, 1) * caf; return !cursor->failed;
    case 0x03: *location += BRSDwarfReadUnsigned(cursor, 2) * caf; return !cursor->failed;
    case 0x04: *location += BRSDwarfReadUnsigned(cursor, 4) * caf; return !cursor->failed;
    case 0x05: {  // offset_extended
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        const uint64_t offset = BRSDwarfReadULEB128(cursor);
        return !cursor->failed && setRule(state, reg, kBRSDwarfRuleOffsetFromCFA, int64_t(offset) * daf, "DW_CFA_offset_extended");
    }
    case 0x06: {  // restore_extended
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        if (cursor->failed || !validRegister(reg))
            return failRegister("DW_CFA_restore_extended");
        state->registers[reg] = row->initialState ? row->initialState->registers[reg] : BRSDwarfRule{};
        return true;
    }
    case 0x07: {  // undefined
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        return !cursor->failed && setRule(state, reg, kBRSDwarfRuleUndefined, 0, "DW_CFA_undefined");
    }
    case 0x08: {  // same_value
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        return !cursor->failed && setRule(state, reg, kBRSDwarfRuleUnchanged, 0, "DW_CFA_same_value");
    }
    case 0x09: {  // register
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        const uint64_t other = BRSDwarfReadULEB128(cursor);
        if (cursor->failed || !validRegister(reg)) {
            BRSSDKLog("%s: Error: Found an invalid DW_CFA_register number\n", "BRSDwarfInstructionsEnumerate");
            return false;
        }
        if (!validRegister(other)) {
            BRSSDKLog("%s: Error: Found an invalid DW_CFA_register value\n", "BRSDwarfInstructionsEnumerate");
            return false;
        }
        state->registers[reg] = BRSDwarfRule{kBRSDwarfRuleRegister, int64_t(other)};
        return true;
    }
    case 0x0a:  // remember_state
        if (row->savedCount == kBRSDwarfStateStackDepth)
            return false;
        row->saved[row->savedCount++] = *state;
        return true;
    case 0x0b:  // restore_state
        if (row->savedCount == 0)
            return false;
        *state = row->saved[--row->savedCount];
        return true;
    case 0x0c: {  // def_cfa
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        const uint64_t offset = BRSDwarfReadULEB128(cursor);
        if (cursor->failed || !validRegister(reg))
            return failRegister("DW_CFA_def_cfa");
        state->cfaRegister = reg;
        state->cfaOffset = int64_t(offset);
        return true;
    }
    case 0x0d: {  // def_cfa_register
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        if (cursor->failed || !validRegister(reg))
            return failRegister("DW_CFA_def_cfa_register");
        state->cfaRegister = reg;
        return true;
    }
    case 0x0e:  // def_cfa_offset
        state->cfaOffset = int64_t(BRSDwarfReadULEB128(cursor));
        return !cursor->failed;
    case 0x0f:  // def_cfa_expression
        state->cfaRegister = kBRSDwarfCFAExpressionRegister;
        return skipExpression(cursor, &state->cfaExpression);
    case 0x10:    // expression
    case 0x16: {  // val_expression
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        uintptr_t expression = 0;
        if (cursor->failed || !skipExpression(cursor, &expression))
            return false;
        return setRule(state, reg, opcode == 0x10 ? kBRSDwarfRuleAtExpression : kBRSDwarfRuleValueExpression,
                       int64_t(expression), opcode == 0x10 ? "DW_CFA_expression" : "DW_CFA_val_expression");
    }
    case 0x11: {  // offset_extended_sf
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        const int64_t offset = BRSDwarfReadSLEB128(cursor);
        return !cursor->failed && setRule(state, reg, kBRSDwarfRuleOffsetFromCFA, offset * daf, "DW_CFA_offset_extended_sf");
    }
    case 0x12: {  // def_cfa_sf
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        const int64_t offset = BRSDwarfReadSLEB128(cursor);
        if (cursor->failed || !validRegister(reg))
            return failRegister("DW_CFA_def_cfa_sf");
        state->cfaRegister = reg;
        state->cfaOffset = offset * daf;
        return true;
    }
    case 0x13:  // def_cfa_offset_sf
        state->cfaOffset = BRSDwarfReadSLEB128(cursor) * daf;
        return !cursor->failed;
    case 0x14:    // val_offset
    case 0x15: {  // val_offset_sf
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        const int64_t offset = opcode == 0x14 ? int64_t(BRSDwarfReadULEB128(cursor)) : BRSDwarfReadSLEB128(cursor);
        return !cursor->failed && setRule(state, reg, kBRSDwarfRuleValueOffset, offset * daf, "DW_CFA_val_offset");
    }
    case 0x2e:  // GNU_args_size: the callee pops nothing we track
        BRSDwarfReadULEB128(cursor);
        return !cursor->failed;
    case 0x2f: {  // GNU_negative_offset_extended
        const uint64_t reg = BRSDwarfReadULEB128(cursor);
        const uint64_t offset = BRSDwarfReadULEB128(cursor);
        return !cursor->failed &&
               setRule(state, reg, kBRSDwarfRuleOffsetFromCFA, -int64_t(offset) * daf, "DW_CFA_GNU_negative_offset_extended");
    }
    default:
        BRSSDKLog("%s: Error: Unrecognized DWARF instruction %x\n", "BRSDwarfInstructionsEnumerate", unsigned(opcode));
        return false;
    }
}

}  // namespace

bool BRSDwarfInstructionsEnumerate(BRSDwarfInstructions instructions, const BRSDwarfCIERecord* cie,
                                   BRSDwarfState* state, const BRSDwarfState* initialState, uint64_t pcBegin,
                                   uint64_t pcLimit, uintptr_t boundsEnd)
{
    if (!cie || !state || instructions.start < kLowestAddress) {
        BRSSDKLog("%s: Error: inputs invalid\n", __func__);
        return false;
    }
    const uintptr_t end = instructions.start + instructions.length;
    if (end < instructions.start || end > boundsEnd)
        return false;
    BRSDwarfCursor cursor = cursorAt(instructions.start, end);
    Row row{state, initialState, {}, 0};
    uint64_t location = 0;
    // The rules of a location hold from that location on: run every
    // instruction up to the first location beyond the pc.
    while (cursor.position < end && location <= pcLimit) {
        const uint8_t opcode = uint8_t(BRSDwarfReadUnsigned(&cursor, 1));
        if (cursor.failed || !execute(opcode, &cursor, cie, &row, pcBegin, &location)) {
            BRSSDKLog("%s: Error: Failed to execute dwarf instruction %x\n", __func__, unsigned(opcode));
            return false;
        }
    }
    return true;
}

uint64_t BRSDwarfGetCFA(const BRSDwarfState* state, const BRSRegisterState* registers)
{
    if (state->cfaRegister == kBRSDwarfCFAExpressionRegister) {
        BRSSDKLog("%s: Error: failed to compute CFA expression\n", __func__);
        return 0;
    }
    return BRSUnwindGetRegisterValue(registers, state->cfaRegister) + uint64_t(state->cfaOffset);
}

BRSDwarfStep BRSDwarfUnwindComputeRegisters(const BRSDwarfCFIRecord* record, uint64_t lookupPC,
                                            BRSRegisterState* registers)
{
    BRSDwarfState initial{};
    if (!BRSDwarfInstructionsEnumerate(record->cie.initialInstructions, &record->cie, &initial, nullptr,
                                       record->fde.pcBegin, uint64_t(INT64_MAX), record->boundsEnd)) {
        BRSSDKLog("%s: Error: Unable to run CIE instructions\n", __func__);
        return BRSDwarfStep::Failure;
    }
    if (lookupPC < record->fde.pcBegin) {
        BRSSDKLog("%s: Error: The FDE pcOffset value cannot be negative\n", __func__);
        return BRSDwarfStep::Failure;
    }
    BRSDwarfState state = initial;
    if (!BRSDwarfInstructionsEnumerate(record->fde.instructions, &record->cie, &state, &initial, record->fde.pcBegin,
                                       lookupPC - record->fde.pcBegin, record->boundsEnd)) {
        BRSSDKLog("%s: Error: Unable to run FDE instructions\n", __func__);
        return BRSDwarfStep::Failure;
    }
    const uint64_t returnRegister = record->cie.returnAddressRegister;
    if (!validRegister(returnRegister))
        return BRSDwarfStep::Failure;
    if (state.registers[returnRegister].kind == kBRSDwarfRuleUndefined)
        return BRSDwarfStep::OutermostFrame;
    const uint64_t cfa = BRSDwarfGetCFA(&state, registers);
    if (cfa == 0)
        return BRSDwarfStep::Failure;
    BRSRegisterState caller = *registers;
    for (uint64_t reg = 0; reg < kBRSRegisterCount; ++reg) {
        const BRSDwarfRule rule = state.registers[reg];
        uint64_t value = 0;
        switch (rule.kind) {
        case kBRSDwarfRuleUnchanged: continue;
        case kBRSDwarfRuleUndefined: value = 0; break;
        case kBRSDwarfRuleOffsetFromCFA:
            if (!BRSReadMemory(uintptr_t(cfa + uint64_t(rule.value)), &value, sizeof value)) {
                BRSSDKLog("%s: Error: Unable to read CFA value\n", __func__);
                return BRSDwarfStep::Failure;
            }
            break;
        case kBRSDwarfRuleValueOffset: value = cfa + uint64_t(rule.value); break;
        case kBRSDwarfRuleRegister: value = BRSUnwindGetRegisterValue(registers, uint64_t(rule.value)); break;
        default:
            BRSSDKLog("%s: Error: unable to evaluate dwarf expression\n", __func__);
            return BRSDwarfStep::Failure;
        }
        caller.registers[reg] = value;
    }
    caller.registers[kBRSRegisterRIP] = caller.registers[returnRegister];
    caller.registers[kBRSRegisterRSP] = cfa;
    if (caller.registers[kBRSRegisterRSP] == registers->registers[kBRSRegisterRSP]) {
        BRSSDKLog("%s: Error: Stack pointer hasn't changed\n", __func__);
        return BRSDwarfStep::Failure;
    }
    // The same return address again is a recursion, not a stuck walk: the
    // stack pointer moving is what tells progress.
    *registers = caller;
    return BRSDwarfStep::Success;
}

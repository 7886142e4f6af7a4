// Call-frame information built byte by byte: pointer encodings, CIE and FDE
// records, the search table and the call-frame instructions, corrupt ones
// included.
#include "reporting/BriscaKit/CrashTime/BRSDwarf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint64_t kFailed = ~uint64_t(0);

// A byte buffer that stays put once built: records are parsed in place.
class Bytes {
public:
    Bytes& u8(uint8_t v) { return raw(&v, 1); }
    Bytes& u16(uint16_t v) { return raw(&v, 2); }
    Bytes& u32(uint32_t v) { return raw(&v, 4); }
    Bytes& u64(uint64_t v) { return raw(&v, 8); }
    Bytes& uleb(uint64_t v)
    {
        do {
            uint8_t byte = v & 0x7f;
            v >>= 7;
            u8(byte | (v ? 0x80 : 0));
        } while (v);
        return *this;
    }
    Bytes& sleb(int64_t v)
    {
        for (bool more = true; more;) {
            uint8_t byte = v & 0x7f;
            v >>= 7;
            more = !((v == 0 && !(byte & 0x40)) || (v == -1 && (byte & 0x40)));
            u8(byte | (more ? 0x80 : 0));
        }
        return *this;
    }
    Bytes& text(const char* s) { return raw(s, std::strlen(s) + 1); }
    Bytes& raw(const void* p, size_t n)
    {
        auto* b = static_cast<const uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
        return *this;
    }
    size_t size() const { return data_.size(); }
    void patch32(size_t at, uint32_t v) { std::memcpy(&data_[at], &v, 4); }
    std::vector<uint8_t>& data() { return data_; }

private:
    std::vector<uint8_t> data_;
};

BRSDwarfCursor cursorOver(std::vector<uint8_t>& bytes, size_t from = 0)
{
    auto start = uintptr_t(bytes.data());
    return BRSDwarfCursor{start + from, start + bytes.size(), false};
}

// One image's worth of frame information: a "zR" CIE (pc-relative signed
// four-byte pointers, data factor -8, return address in register 16) with
// the usual entry rules, then one FDE per body.
struct Frames {
    std::vector<uint8_t> bytes;
    size_t cieAt = 0;
    std::vector<size_t> fdes;
    std::vector<int32_t> pcOffsets;  // of each FDE's pc begin from its field
    uintptr_t base() const { return uintptr_t(bytes.data()); }
    uintptr_t end() const { return base() + bytes.size(); }
};

Frames buildFrames(const std::vector<Bytes>& bodies, const Bytes& cieInstructions)
{
    Bytes out;
    Bytes cie;
    cie.u32(0).u8(1).text("zR").uleb(1).sleb(-8).u8(16).uleb(1).u8(0x1b);
    cie.raw(const_cast<Bytes&>(cieInstructions).data().data(), cieInstructions.size());
    out.u32(uint32_t(cie.size())).raw(cie.data().data(), cie.size());
    Frames frames;
    for (size_t i = 0; i < bodies.size(); ++i) {
        const size_t at = out.size();
        Bytes fde;
        fde.u32(uint32_t(at + 4));  // back to the CIE at 0
        fde.u32(0x1000 * uint32_t(i + 1)).u32(0x100).uleb(0);
        auto body = bodies[i];
        fde.raw(body.data().data(), body.size());
        out.u32(uint32_t(fde.size())).raw(fde.data().data(), fde.size());
        frames.fdes.push_back(at);
        frames.pcOffsets.push_back(int32_t(0x1000 * (i + 1)));
    }
    out.u32(0);  // terminator
    frames.bytes = out.data();
    return frames;
}

Bytes entryRules()
{
    Bytes b;
    b.u8(0x0c).uleb(7).uleb(8);  // def_cfa rsp+8
    b.u8(0x90).uleb(1);          // offset r16 at cfa-8
    return b;
}

// push rbp; mov rbp, rsp
Bytes prologue()
{
    Bytes b;
    b.u8(0x41);                  // advance_loc 1
    b.u8(0x0e).uleb(16);         // def_cfa_offset 16
    b.u8(0x86).uleb(2);          // offset r6 at cfa-16
    b.u8(0x43);                  // advance_loc 3
    b.u8(0x0d).uleb(6);          // def_cfa_register rbp
    return b;
}

BRSDwarfCFIRecord parse(Frames& frames, size_t index)
{
    BRSDwarfCFIRecord record{};
    record.boundsStart = frames.base();
    record.boundsEnd = frames.end();
    EXPECT_TRUE(BRSDwarfParseFDERecord(&record.fde, true, &record.cie, frames.base() + frames.fdes[index],
                                       frames.base(), frames.end()));
    return record;
}

uint64_t pcBeginOf(const Frames& frames, size_t index)
{
    return frames.base() + frames.fdes[index] + 8 + uint64_t(int64_t(frames.pcOffsets[index]));
}

BRSDwarfState stateAt(const BRSDwarfCFIRecord& record, uint64_t pcOffset)
{
    BRSDwarfState initial{};
    EXPECT_TRUE(BRSDwarfInstructionsEnumerate(record.cie.initialInstructions, &record.cie, &initial, nullptr,
                                              record.fde.pcBegin, INT64_MAX, record.boundsEnd));
    BRSDwarfState state = initial;
    EXPECT_TRUE(BRSDwarfInstructionsEnumerate(record.fde.instructions, &record.cie, &state, &initial,
                                              record.fde.pcBegin, pcOffset, record.boundsEnd));
    return state;
}

}  // namespace

TEST(DwarfReads, LEB128AndFixedWidthValues)
{
    Bytes b;
    b.uleb(624485).sleb(-123456).sleb(63).sleb(-64).u16(0xfffe).u32(0x80000000u);
    auto cursor = cursorOver(b.data());
    EXPECT_EQ(BRSDwarfReadULEB128(&cursor), 624485u);
    EXPECT_EQ(BRSDwarfReadSLEB128(&cursor), -123456);
    EXPECT_EQ(BRSDwarfReadSLEB128(&cursor), 63);
    EXPECT_EQ(BRSDwarfReadSLEB128(&cursor), -64);
    EXPECT_EQ(BRSDwarfReadSigned(&cursor, 2), -2);
    EXPECT_EQ(BRSDwarfReadSigned(&cursor, 4), INT32_MIN);
    EXPECT_FALSE(cursor.failed);
    EXPECT_EQ(BRSDwarfReadUnsigned(&cursor, 1), 0u);
    EXPECT_TRUE(cursor.failed) << "a read past the end fails";

    Bytes unterminated;
    unterminated.u8(0x80).u8(0x80);
    auto cut = cursorOver(unterminated.data());
    BRSDwarfReadULEB128(&cut);
    EXPECT_TRUE(cut.failed);
}

TEST(DwarfReads, EveryPointerEncoding)
{
    uint64_t target = 0x1122334455667788;
    Bytes b;
    b.u64(0xdeadbeef).uleb(300).u16(0xbeef).u32(0xcafef00d).u64(7).sleb(-9).u16(0xfffd).u32(0xfffffffc).u64(uint64_t(-5));
    const size_t pcrelAt = b.size();
    b.u32(0x20);
    const size_t datarelAt = b.size();
    b.u32(0x30);
    b.u64(uint64_t(uintptr_t(&target)));
    auto c = cursorOver(b.data());
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&c, 0x00, 0), 0xdeadbeefu);
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&c, 0x01, 0), 300u);
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&c, 0x02, 0), 0xbeefu);
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&c, 0x03, 0), 0xcafef00du);
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&c, 0x04, 0), 7u);
    EXPECT_EQ(int64_t(BRSParseAddressWithEncodingAndAdvance(&c, 0x09, 0)), -9);
    EXPECT_EQ(int64_t(BRSParseAddressWithEncodingAndAdvance(&c, 0x0a, 0)), -3);
    EXPECT_EQ(int64_t(BRSParseAddressWithEncodingAndAdvance(&c, 0x0b, 0)), -4);
    EXPECT_EQ(int64_t(BRSParseAddressWithEncodingAndAdvance(&c, 0x0c, 0)), -5);
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&c, 0x1b, 0), uint64_t(uintptr_t(b.data().data()) + pcrelAt + 0x20));
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&c, 0x3b, 0x10000), 0x10030u);
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&c, 0x80, 0), target) << "indirect: the value is read";
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&c, 0xff, 0), 0u) << "omitted";
    (void)datarelAt;

    auto again = cursorOver(b.data());
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&again, 0x05, 0), kFailed) << "no such width";
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&again, 0x43, 0), kFailed) << "aligned application";
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&again, 0x3b, 0), kFailed) << "data-relative without a base";
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(nullptr, 0x00, 0), kFailed);
    Bytes zero;
    zero.u64(0);
    auto indirectZero = cursorOver(zero.data());
    EXPECT_EQ(BRSParseAddressWithEncodingAndAdvance(&indirectZero, 0x80, 0), kFailed);
}

TEST(DwarfRecords, AugmentedCIEAndItsFDE)
{
    Frames frames = buildFrames({prologue()}, entryRules());
    const auto record = parse(frames, 0);
    EXPECT_EQ(record.cie.version, 1);
    EXPECT_STREQ(record.cie.augmentation, "zR");
    EXPECT_EQ(record.cie.codeAlignmentFactor, 1u);
    EXPECT_EQ(record.cie.dataAlignmentFactor, -8);
    EXPECT_EQ(record.cie.returnAddressRegister, 16u);
    EXPECT_EQ(record.cie.fdePointerEncoding, 0x1b);
    EXPECT_EQ(record.fde.pcBegin, pcBeginOf(frames, 0)) << "pc-relative signed four bytes";
    EXPECT_EQ(record.fde.pcRange, 0x100u);
}

TEST(DwarfRecords, CorruptRecordsFail)
{
    Frames frames = buildFrames({prologue()}, entryRules());
    BRSDwarfCIERecord cie;
    BRSDwarfFDERecord fde;
    auto& bytes = frames.bytes;
    const uintptr_t fdeAddress = frames.base() + frames.fdes[0];

    std::vector<uint8_t> original = bytes;
    uint32_t hugeLength = 0x7fffffff;
    std::memcpy(&bytes[0], &hugeLength, 4);
    EXPECT_FALSE(BRSDwarfParseCIERecord(&cie, frames.base(), frames.base(), frames.end())) << "longer than its bounds";

    bytes = original;
    bytes[8] = 2;  // version
    EXPECT_FALSE(BRSDwarfParseCIERecord(&cie, frames.base(), frames.base(), frames.end()));

    bytes = original;
    bytes[9] = 'q';  // augmentation string not starting with z
    EXPECT_FALSE(BRSDwarfParseCIERecord(&cie, frames.base(), frames.base(), frames.end()));

    bytes = original;
    std::memset(&bytes[frames.fdes[0] + 4], 0, 4);  // CIE pointer 0
    EXPECT_FALSE(BRSDwarfParseFDERecord(&fde, true, &cie, fdeAddress, frames.base(), frames.end()));

    bytes = original;
    uint32_t beyond = uint32_t(frames.fdes[0] + 4 + 64);  // points before the buffer
    std::memcpy(&bytes[frames.fdes[0] + 4], &beyond, 4);
    EXPECT_FALSE(BRSDwarfParseFDERecord(&fde, true, &cie, fdeAddress, frames.base(), frames.end()));

    bytes = original;
    EXPECT_FALSE(BRSDwarfParseFDERecord(&fde, true, &cie, fdeAddress, frames.base(), fdeAddress + 10))
        << "bounds end inside the record";
}

TEST(DwarfInstructions, PrologueGivesTheCallerFromTheFramePointer)
{
    Frames frames = buildFrames({prologue()}, entryRules());
    const auto record = parse(frames, 0);
    uint64_t stack[4] = {0x7ffd0000aaaa, 0x401234, 0, 0};  // saved rbp, return address
    BRSRegisterState registers{};
    registers.registers[kBRSRegisterRBP] = uintptr_t(&stack[0]);
    registers.registers[kBRSRegisterRSP] = uintptr_t(&stack[0]) - 32;
    registers.registers[kBRSRegisterRIP] = record.fde.pcBegin + 10;
    ASSERT_EQ(BRSDwarfUnwindComputeRegisters(&record, record.fde.pcBegin + 10, &registers), BRSDwarfStep::Success);
    EXPECT_EQ(registers.registers[kBRSRegisterRBP], 0x7ffd0000aaaau);
    EXPECT_EQ(registers.registers[kBRSRegisterRIP], 0x401234u);
    EXPECT_EQ(registers.registers[kBRSRegisterRSP], uintptr_t(&stack[0]) + 16);
}

TEST(DwarfInstructions, RulesHoldFromTheirLocationOn)
{
    Frames frames = buildFrames({prologue()}, entryRules());
    const auto record = parse(frames, 0);
    EXPECT_EQ(stateAt(record, 0).cfaOffset, 8) << "at the first instruction";
    EXPECT_EQ(stateAt(record, 1).cfaOffset, 16) << "right after the push";
    EXPECT_EQ(stateAt(record, 1).cfaRegister, 7u);
    EXPECT_EQ(stateAt(record, 4).cfaRegister, 6u);
    EXPECT_EQ(stateAt(record, 4).registers[6].kind, kBRSDwarfRuleOffsetFromCFA);
    EXPECT_EQ(stateAt(record, 4).registers[6].value, -16);
}

TEST(DwarfInstructions, RememberRestoreAndTheOtherOpcodesOfLibraryCode)
{
    Bytes body = prologue();
    body.u8(0x0a);                               // remember_state at 4
    body.u8(0x42);                               // advance to 6
    body.u8(0x0c).uleb(7).uleb(8);               // def_cfa rsp+8 (an early return)
    body.u8(0xc6);                               // restore r6
    body.u8(0x2e).uleb(16);                      // GNU_args_size
    body.u8(0x41);                               // advance to 7
    body.u8(0x0b);                               // restore_state
    body.u8(0x11).uleb(3).sleb(-3);              // offset_extended_sf rbx at cfa+24
    body.u8(0x05).uleb(12).uleb(4);              // offset_extended r12 at cfa-32
    body.u8(0x08).uleb(12);                      // same_value r12
    body.u8(0x09).uleb(13).uleb(14);             // register r13 in r14
    body.u8(0x41);                               // advance to 8
    body.u8(0x13).sleb(-4);                      // def_cfa_offset_sf 32
    body.u8(0x12).uleb(7).sleb(-5);              // def_cfa_sf rsp+40
    body.u8(0x03).u16(2);                        // advance_loc2 to 10
    body.u8(0x07).uleb(16);                      // undefined return address
    Frames frames = buildFrames({body}, entryRules());
    const auto record = parse(frames, 0);

    const auto early = stateAt(record, 6);
    EXPECT_EQ(early.cfaRegister, 7u);
    EXPECT_EQ(early.cfaOffset, 8);
    EXPECT_EQ(early.registers[6].kind, kBRSDwarfRuleUnchanged) << "restored to the entry rule";

    const auto restored = stateAt(record, 7);
    EXPECT_EQ(restored.cfaRegister, 6u);
    EXPECT_EQ(restored.cfaOffset, 16);
    EXPECT_EQ(restored.registers[6].value, -16);
    EXPECT_EQ(restored.registers[3].value, 24);
    EXPECT_EQ(restored.registers[12].kind, kBRSDwarfRuleUnchanged);
    EXPECT_EQ(restored.registers[13].kind, kBRSDwarfRuleRegister);
    EXPECT_EQ(restored.registers[13].value, 14);

    EXPECT_EQ(stateAt(record, 8).cfaOffset, 40);
    EXPECT_EQ(stateAt(record, 8).cfaRegister, 7u);

    BRSRegisterState registers{};
    registers.registers[kBRSRegisterRSP] = 0x10000;
    EXPECT_EQ(BRSDwarfUnwindComputeRegisters(&record, record.fde.pcBegin + 12, &registers),
              BRSDwarfStep::OutermostFrame);
}

TEST(DwarfInstructions, LocationsValueRulesAndExpressions)
{
    Bytes body;
    body.u8(0x02).u8(2);                         // advance_loc1 to 2
    body.u8(0x14).uleb(3).uleb(2);               // val_offset rbx = cfa+16... times the data factor
    body.u8(0x04).u32(2);                        // advance_loc4 to 4
    body.u8(0x15).uleb(12).sleb(1);              // val_offset_sf r12 = cfa-8
    body.u8(0x2f).uleb(13).uleb(2);              // GNU_negative_offset_extended r13 at cfa+16
    body.u8(0x06).uleb(13);                      // restore_extended r13
    body.u8(0x10).uleb(14).uleb(2).u8(0x77).u8(0x08);  // expression r14 (two bytes, skipped)
    body.u8(0x16).uleb(15).uleb(1).u8(0x30);     // val_expression r15
    body.u8(0x0f).uleb(3).u8(0x77).u8(0x08).u8(0x06);  // def_cfa_expression
    Frames frames = buildFrames({body}, entryRules());
    const auto record = parse(frames, 0);

    const auto at2 = stateAt(record, 2);
    EXPECT_EQ(at2.registers[3].kind, kBRSDwarfRuleValueOffset);
    EXPECT_EQ(at2.registers[3].value, -16);
    EXPECT_EQ(at2.registers[12].kind, kBRSDwarfRuleUnchanged) << "not reached at 2";

    const auto at4 = stateAt(record, 4);
    EXPECT_EQ(at4.registers[12].value, -8);
    EXPECT_EQ(at4.registers[13].kind, kBRSDwarfRuleUnchanged) << "restored";
    EXPECT_EQ(at4.registers[14].kind, kBRSDwarfRuleAtExpression);
    EXPECT_EQ(at4.registers[15].kind, kBRSDwarfRuleValueExpression);
    EXPECT_EQ(at4.cfaRegister, kBRSDwarfCFAExpressionRegister);

    // Expressions are not evaluated: the step fails and the unwinder falls
    // back to the frame pointer.
    BRSRegisterState registers{};
    registers.registers[kBRSRegisterRSP] = 0x10000;
    EXPECT_EQ(BRSDwarfUnwindComputeRegisters(&record, record.fde.pcBegin + 4, &registers), BRSDwarfStep::Failure);
}

TEST(DwarfInstructions, SetLocationIsAnAddressInTheFDEEncoding)
{
    Bytes placeholder;
    placeholder.u8(0x01).u32(0);  // set_loc, patched below
    placeholder.u8(0x0e).uleb(48);
    Frames frames = buildFrames({placeholder}, entryRules());
    const auto record = parse(frames, 0);
    // pc-relative: the field's own address plus the value lands 6 bytes into the function.
    const uintptr_t field = record.fde.instructions.start + 1;
    const int32_t value = int32_t(int64_t(record.fde.pcBegin + 6) - int64_t(field));
    std::memcpy(reinterpret_cast<void*>(field), &value, 4);
    EXPECT_EQ(stateAt(record, 5).cfaOffset, 8);
    EXPECT_EQ(stateAt(record, 6).cfaOffset, 48);
}

TEST(DwarfInstructions, BadInstructionsFail)
{
    auto fails = [](Bytes body) {
        Frames frames = buildFrames({body}, entryRules());
        const auto record = parse(frames, 0);
        BRSDwarfState initial{}, state{};
        return !BRSDwarfInstructionsEnumerate(record.fde.instructions, &record.cie, &state, &initial,
                                              record.fde.pcBegin, 100, record.boundsEnd);
    };
    EXPECT_TRUE(fails(Bytes().u8(0x3f))) << "unknown opcode";
    EXPECT_TRUE(fails(Bytes().u8(0x0c).uleb(40).uleb(8))) << "register out of range";
    EXPECT_TRUE(fails(Bytes().u8(0x85 + 0x1b))) << "offset of register 32";
    EXPECT_TRUE(fails(Bytes().u8(0x0b))) << "restore_state with nothing remembered";
    Bytes deep;
    for (int i = 0; i < 9; ++i)
        deep.u8(0x0a);
    EXPECT_TRUE(fails(deep)) << "remembered too deep";
    EXPECT_TRUE(fails(Bytes().u8(0x0c).uleb(7))) << "operand cut off";
    EXPECT_FALSE(fails(Bytes().u8(0x00).u8(0x2e).uleb(8)));
}

TEST(DwarfInstructions, APcBeforeTheFunctionFails)
{
    Frames frames = buildFrames({prologue()}, entryRules());
    const auto record = parse(frames, 0);
    BRSRegisterState registers{};
    EXPECT_EQ(BRSDwarfUnwindComputeRegisters(&record, record.fde.pcBegin - 1, &registers), BRSDwarfStep::Failure);
}

TEST(DwarfSearchTable, FindsTheFDEOfAPc)
{
    Frames frames = buildFrames({prologue(), prologue(), prologue()}, entryRules());
    // The search table sits before the frames in a buffer of its own bounds.
    const size_t count = frames.fdes.size();
    Bytes table;
    table.u8(1).u8(0x1b).u8(0x03).u8(0x3b).u32(0).u32(uint32_t(count));
    const size_t headerSize = table.size() + count * 8;
    std::vector<uint8_t> image(headerSize + frames.bytes.size());
    std::memcpy(image.data() + headerSize, frames.bytes.data(), frames.bytes.size());
    const uintptr_t hdr = uintptr_t(image.data());
    for (size_t i = 0; i < count; ++i) {
        const size_t fdeAt = headerSize + frames.fdes[i];
        const uint64_t pcBegin = hdr + fdeAt + 8 + uint64_t(int64_t(frames.pcOffsets[i]));
        table.u32(uint32_t(int32_t(pcBegin - hdr))).u32(uint32_t(fdeAt));
    }
    std::memcpy(image.data(), table.data().data(), table.size());
    const uintptr_t end = hdr + image.size();

    BRSDwarfCFIRecord record;
    const uint64_t secondBegin = hdr + headerSize + frames.fdes[1] + 8 + uint64_t(frames.pcOffsets[1]);
    ASSERT_TRUE(BRSDwarfFindFDE(hdr, hdr, end, secondBegin + 0x10, &record));
    EXPECT_EQ(record.fde.pcBegin, secondBegin);
    EXPECT_FALSE(BRSDwarfFindFDE(hdr, hdr, end, secondBegin + 0x200, &record)) << "between functions";
    EXPECT_FALSE(BRSDwarfFindFDE(hdr, hdr, end, hdr, &record)) << "before the first";
    EXPECT_FALSE(BRSDwarfFindFDE(hdr, hdr, hdr + 20, secondBegin, &record)) << "a table longer than its bounds";
    image[0] = 2;
    EXPECT_FALSE(BRSDwarfFindFDE(hdr, hdr, end, secondBegin, &record)) << "unknown version";
}

#include "reporting/Plinth/PLNIdentity.h"
#include "reporting/Plinth/PLNImageFile.h"
#include "tests/reporting/Plinth/MachOBuilder.h"
#include "tests/reporting/Plinth/ScratchFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <memory>

using namespace pln;
using reportingtest::MachOBuilder;
using reportingtest::ScratchFolder;

namespace {

constexpr std::int32_t kX86_64 = 0x01000007;
constexpr std::int32_t kARM64 = 0x0100000c;

struct Mapped {
    PLNImageFile file;
    bool ok = false;
    explicit Mapped(const std::string& path) { ok = PLNImageFileMapPath(&file, path.c_str()); }
    ~Mapped() { PLNImageFileUnmap(&file); }
};

std::vector<PLNImageSlice> slicesOf(const PLNImageFile& file)
{
    std::vector<PLNImageSlice> slices;
    PLNImageFileEnumerateSlices(&file, [&](const PLNImageSlice& slice) { slices.push_back(slice); });
    return slices;
}

std::vector<std::uint32_t> commandsOf(PLNImageSlice slice)
{
    std::vector<std::uint32_t> commands;
    PLNImageSliceEnumerateLoadCommands(&slice, [&](std::uint32_t number, std::uint32_t, const void*) { commands.push_back(number); });
    return commands;
}

std::vector<std::uint8_t> uuidBytes(std::uint8_t first)
{
    std::vector<std::uint8_t> bytes(16);
    for (int i = 0; i < 16; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

}  // namespace

TEST(ImageFileMapping, RefusesShortMissingAndNonRegularFiles)
{
    ScratchFolder folder;
    PLNImageFile file;
    EXPECT_FALSE(PLNImageFileMapPath(&file, folder.write("short", std::string(12, 'x')).c_str()));
    EXPECT_FALSE(PLNImageFileMapPath(&file, (folder.path() + "/absent").c_str()));
    EXPECT_FALSE(PLNImageFileMapPath(&file, folder.path().c_str()));
    EXPECT_FALSE(PLNImageFileMapPath(nullptr, "/bin/sh"));
    EXPECT_FALSE(PLNImageFileMapPath(&file, nullptr));
    EXPECT_EQ(file.address, nullptr);
    EXPECT_TRUE(PLNImageFileMapPath(&file, folder.write("sixteen", std::string(16, 'x')).c_str()));
    EXPECT_EQ(file.size, 16u);
    PLNImageFileUnmap(&file);
}

TEST(ImageFileMapping, UnmappingAClearedRecordLeavesStandardInputOpen)
{
    if (fcntl(0, F_GETFD) < 0) {  // make sure there is a descriptor 0 to lose
        ASSERT_EQ(open("/dev/null", O_RDONLY), 0);
    }
    PLNImageFile never;
    PLNImageFileUnmap(&never);
    ScratchFolder folder;
    PLNImageFile file;
    EXPECT_FALSE(PLNImageFileMapPath(&file, folder.write("short", "tiny").c_str()));
    PLNImageFileUnmap(&file);
    PLNImageFileUnmap(&file);
    EXPECT_GE(fcntl(0, F_GETFD), 0);
}

TEST(MachOSlices, ThinImageGivesOneSliceWithHeaderCPUAndCommands)
{
    ScratchFolder folder;
    const auto image = MachOBuilder(kX86_64, 3).uuid(uuidBytes(1)).minimumVersion(36, 10 << 16 | 9 << 8, 10 << 16 | 15 << 8 | 2);
    Mapped mapped(folder.write("thin", image.bytes()));
    ASSERT_TRUE(mapped.ok);
    const auto slices = slicesOf(mapped.file);
    ASSERT_EQ(slices.size(), 1u);
    EXPECT_EQ(slices[0].cpuType, kX86_64);
    EXPECT_EQ(PLNImageSliceArchitectureName(slices[0]), "x86_64");
    EXPECT_TRUE(PLNImageSliceIs64Bit(slices[0]));
    EXPECT_EQ(commandsOf(slices[0]), (std::vector<std::uint32_t>{27, 36}));

    std::optional<std::string> minimum, sdk;
    std::string uuid;
    PLNImageSlice slice = slices[0];
    PLNImageSliceEnumerateLoadCommands(&slice, [&](std::uint32_t number, std::uint32_t size, const void* command) {
        if (number == 27)
            uuid = PLNUUIDStringFromBytes(PLNLoadCommandUUID(command, size));
        if (number == 36) {
            const auto min = PLNLoadCommandMinimumOSVersion(command, size);
            const auto built = PLNLoadCommandSDKVersion(command, size);
            minimum = PLNVersionTripleString(&min);
            sdk = PLNVersionTripleString(&built);
        }
    });
    EXPECT_EQ(uuid, "0102030405060708090a0b0c0d0e0f10");
    EXPECT_EQ(minimum, "10.9.0");
    EXPECT_EQ(sdk, "10.15.2");
    EXPECT_FALSE(PLNVersionTripleString(nullptr));
}

TEST(MachOSlices, UniversalImageGivesItsSlicesInEntryOrder)
{
    ScratchFolder folder;
    const MachOBuilder intel(kX86_64, 3), arm(kARM64, 0);
    Mapped mapped(folder.write("fat", MachOBuilder::fat({{intel, intel.bytes()}, {arm, MachOBuilder(arm).uuid(uuidBytes(9)).bytes()}})));
    ASSERT_TRUE(mapped.ok);
    const auto slices = slicesOf(mapped.file);
    ASSERT_EQ(slices.size(), 2u);
    EXPECT_EQ(PLNImageSliceArchitectureName(slices[0]), "x86_64");
    EXPECT_EQ(PLNImageSliceArchitectureName(slices[1]), "arm64");
    EXPECT_EQ(static_cast<const char*>(slices[0].header) - static_cast<const char*>(mapped.file.address), 4096);
    EXPECT_EQ(static_cast<const char*>(slices[1].header) - static_cast<const char*>(mapped.file.address), 8192);
    EXPECT_EQ(commandsOf(slices[1]), std::vector<std::uint32_t>{27});
    const auto chosen = PLNImageFileSliceForArchitectureName(&mapped.file, "arm64");
    EXPECT_EQ(chosen.header, slices[1].header);
    EXPECT_EQ(PLNImageFileSliceForArchitectureName(&mapped.file, "ppc").header, nullptr);
}

TEST(MachOSlices, ArchitectureNames)
{
    EXPECT_EQ(PLNImageSliceArchitectureName(PLNImageSlice{nullptr, 12, 11}), "armv7s");
    EXPECT_EQ(PLNImageSliceArchitectureName(PLNImageSlice{nullptr, kARM64, 0}), "arm64");
    EXPECT_EQ(PLNImageSliceArchitectureName(PLNImageSlice{nullptr, 7, 3}), "i386");
    EXPECT_EQ(PLNImageSliceArchitectureName(PLNImageSlice{nullptr, 0x7777, 0}), "unknown");
    EXPECT_FALSE(PLNImageSliceIs64Bit(PLNImageSlice{nullptr, 7, 3}));
}

TEST(MachOSlices, UnknownMagicGivesOneBlankSliceWithoutCommands)
{
    ScratchFolder folder;
    Mapped mapped(folder.write("text", "this is not an executable image at all"));
    ASSERT_TRUE(mapped.ok);
    const auto slices = slicesOf(mapped.file);
    ASSERT_EQ(slices.size(), 1u);
    EXPECT_EQ(slices[0].cpuType, 0);
    EXPECT_EQ(slices[0].cpuSubtype, 0);
    EXPECT_TRUE(commandsOf(slices[0]).empty());
}

// Corrupt images: every read must stay inside the mapping (run under a
// sanitizer or not, a read past the end would fault on the guard page or
// report garbage commands).
TEST(MachOCorruptImages, ZeroSizedCommandEndsTheWalk)
{
    ScratchFolder folder;
    const auto image = MachOBuilder(kX86_64, 3).uuid(uuidBytes(1)).rawCommand(MachOBuilder::word(99) + MachOBuilder::word(0)).commandCount(1000);
    Mapped mapped(folder.write("zero", image.bytes()));
    ASSERT_TRUE(mapped.ok);
    EXPECT_EQ(commandsOf(slicesOf(mapped.file)[0]), std::vector<std::uint32_t>{27});
}

TEST(MachOCorruptImages, CountAndSizesPastTheEndAreNotFollowed)
{
    ScratchFolder folder;
    const auto image = MachOBuilder(kX86_64, 3).uuid(uuidBytes(1)).rawCommand(MachOBuilder::word(27) + MachOBuilder::word(0x7fffffff)).commandCount(3);
    Mapped mapped(folder.write("long", image.bytes()));
    ASSERT_TRUE(mapped.ok);
    EXPECT_EQ(commandsOf(slicesOf(mapped.file)[0]), std::vector<std::uint32_t>{27});

    // A header cut short after its magic.
    Mapped cut(folder.write("cut", image.bytes().substr(0, 20)));
    ASSERT_TRUE(cut.ok);
    EXPECT_TRUE(commandsOf(slicesOf(cut.file)[0]).empty());
}

TEST(MachOCorruptImages, UniversalEntriesOutsideTheFileAreSkipped)
{
    ScratchFolder folder;
    std::string file = MachOBuilder::bigEndian(0xcafebabe) + MachOBuilder::bigEndian(2);
    file += MachOBuilder::bigEndian(kX86_64) + MachOBuilder::bigEndian(3) + MachOBuilder::bigEndian(0x10000000) + std::string(8, '\0');
    file += MachOBuilder::bigEndian(kARM64) + MachOBuilder::bigEndian(0) + MachOBuilder::bigEndian(48) + std::string(8, '\0');
    file += MachOBuilder(kARM64, 0).uuid(uuidBytes(3)).bytes();
    Mapped mapped(folder.write("partly", file));
    ASSERT_TRUE(mapped.ok);
    const auto slices = slicesOf(mapped.file);
    ASSERT_EQ(slices.size(), 1u);
    EXPECT_EQ(PLNImageSliceArchitectureName(slices[0]), "arm64");
    EXPECT_EQ(commandsOf(slices[0]), std::vector<std::uint32_t>{27});

    // More entries announced than the file holds: not a universal file.
    Mapped overstated(folder.write("overstated", MachOBuilder::bigEndian(0xcafebabe) + MachOBuilder::bigEndian(40) + std::string(40, '\0')));
    ASSERT_TRUE(overstated.ok);
    EXPECT_EQ(slicesOf(overstated.file).size(), 1u);
}

TEST(MachOCorruptImages, JavaClassFileIsNotAUniversalImage)
{
    ScratchFolder folder;
    // magic, minor version 0, major version 61, then a constant pool.
    std::string javaClass = MachOBuilder::bigEndian(0xcafebabe) + std::string{0, 0, 0, 61} + std::string(2000, '\x07');
    Mapped mapped(folder.write("Main.class", javaClass));
    ASSERT_TRUE(mapped.ok);
    const auto slices = slicesOf(mapped.file);
    ASSERT_EQ(slices.size(), 1u);
    EXPECT_EQ(slices[0].header, mapped.file.address);
    EXPECT_EQ(slices[0].cpuType, 0);
}

TEST(MachOUnwindSections, FindsTheTextSectionsByFileOffset)
{
    ScratchFolder folder;
    auto name16 = [](const std::string& name) { std::string padded = name; padded.resize(16, '\0'); return padded; };
    auto section = [&](const std::string& name, std::uint32_t offset) {
        // sectname, segname, addr, size (64-bit), offset, align, reloff, nreloc, flags, reserved1-3
        return name16(name) + name16("__TEXT") + std::string(16, '\0') + MachOBuilder::word(offset) + std::string(28, '\0');
    };
    std::string segment = name16("__TEXT") + std::string(32, '\0') + std::string(8, '\0') + MachOBuilder::word(2) + MachOBuilder::word(0);
    segment += section("__eh_frame", 0x1000) + section("__unwind_info", 0x2000);
    const auto image = MachOBuilder(kX86_64, 3).command(0x19, segment);
    Mapped mapped(folder.write("unwind", image.bytes()));
    ASSERT_TRUE(mapped.ok);
    auto slice = slicesOf(mapped.file)[0];
    std::uintptr_t ehFrame = 1, unwindInfo = 1;
    PLNImageSliceFindUnwindSections(&slice, &ehFrame, &unwindInfo);
    EXPECT_EQ(ehFrame, reinterpret_cast<std::uintptr_t>(slice.header) + 0x1000);
    EXPECT_EQ(unwindInfo, reinterpret_cast<std::uintptr_t>(slice.header) + 0x2000);
}

TEST(ELFImage, OwnExecutableNamesItsMachineAndBuildIDAsReadelfDoes)
{
    PLNImageFile file;
    ASSERT_TRUE(PLNImageFileMapExecutable(&file));
    const auto slices = slicesOf(file);
    ASSERT_EQ(slices.size(), 1u);
    EXPECT_EQ(PLNImageSliceArchitectureName(slices[0]), "x86_64");
    const auto buildID = PLNImageSliceELFBuildID(slices[0]);
    ASSERT_TRUE(buildID);
    EXPECT_GE(buildID->size(), 16u);

    std::string printed;
    const auto path = PLNImageSlicePath(PLNCurrentImageSlice());
    ASSERT_TRUE(path);
    std::unique_ptr<FILE, int (*)(FILE*)> readelf(popen(("readelf -n '" + *path + "'").c_str(), "r"), pclose);
    ASSERT_TRUE(readelf);
    char line[512];
    while (fgets(line, sizeof line, readelf.get()))
        if (const char* found = std::strstr(line, "Build ID: "))
            printed = std::string(found + 10, std::strcspn(found + 10, "\r\n"));
    EXPECT_EQ(PLNHexStringFromData(*buildID), printed);

    // The same note read from the loaded image in memory.
    EXPECT_EQ(PLNImageSliceELFBuildID(PLNCurrentImageSlice()), buildID);
    EXPECT_TRUE(PLNImageSliceFindEHFrameHeader(PLNCurrentImageSlice(), true));
    EXPECT_TRUE(PLNImageSliceFindEHFrameHeader(slices[0], false));
    PLNImageFileUnmap(&file);
}

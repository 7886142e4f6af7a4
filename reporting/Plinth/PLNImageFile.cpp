#include "reporting/Plinth/PLNImageFile.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace pln {
namespace {

constexpr std::uint32_t kFatMagic = 0xcafebabe;
constexpr std::uint32_t kFatCigam = 0xbebafeca;
constexpr std::uint32_t kMagic32 = 0xfeedface;
constexpr std::uint32_t kCigam32 = 0xcefaedfe;
constexpr std::uint32_t kMagic64 = 0xfeedfacf;
constexpr std::uint32_t kCigam64 = 0xcffaedfe;
constexpr std::uint32_t kLoadCommandSegment = 0x1;
constexpr std::uint32_t kLoadCommandSegment64 = 0x19;
constexpr std::size_t kFatHeaderSize = 8;
constexpr std::size_t kFatEntrySize = 20;
// A Java class file starts with the same magic; its major version (45 and
// up) stands where a universal file keeps its count of architectures.
constexpr std::uint32_t kMostFatArchitectures = 44;

std::uint32_t swap32(std::uint32_t value) { return __builtin_bswap32(value); }

std::uint32_t readHost(const void* at)
{
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::uint32_t readBigEndian(const void* at)
{
    const auto* bytes = static_cast<const std::uint8_t*>(at);
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

const std::uint8_t* bytesOf(const void* at) { return static_cast<const std::uint8_t*>(at); }

// Whether length bytes at offset lie inside a slice (a slice in memory has no known end).
bool fits(const PLNImageSlice& slice, std::uint64_t offset, std::uint64_t length)
{
    return slice.length == 0 || (offset <= slice.length && length <= slice.length - offset);
}

struct MachHeader {
    bool valid = false;
    bool swapped = false;
    bool is64 = false;
    std::int32_t cpuType = 0;
    std::int32_t cpuSubtype = 0;
    std::uint32_t commandCount = 0;
    std::size_t size = 0;
};

MachHeader machHeaderOf(const PLNImageSlice& slice)
{
    MachHeader header;
    if (!slice.header || !fits(slice, 0, 28))
        return header;
    const std::uint32_t magic = readHost(slice.header);
    header.swapped = magic == kCigam32 || magic == kCigam64;
    header.is64 = magic == kMagic64 || magic == kCigam64;
    if (magic != kMagic32 && magic != kCigam32 && !header.is64)
        return header;
    header.size = header.is64 ? 32 : 28;
    if (!fits(slice, 0, header.size))
        return header;
    auto word = [&](std::size_t index) {
        const std::uint32_t raw = readHost(bytesOf(slice.header) + 4 * index);
        return header.swapped ? swap32(raw) : raw;
    };
    header.cpuType = static_cast<std::int32_t>(word(1));
    header.cpuSubtype = static_cast<std::int32_t>(word(2));
    header.commandCount = word(4);
    header.valid = true;
    return header;
}

std::uint32_t commandWord(const void* command, std::size_t index, bool swapped)
{
    const std::uint32_t raw = readHost(bytesOf(command) + 4 * index);
    return swapped ? swap32(raw) : raw;
}

// ELF ----------------------------------------------------------------------

bool isELF(const void* header, std::size_t length)
{
    return header && (length == 0 || length >= sizeof(Elf64_Ehdr)) && std::memcmp(header, ELFMAG, SELFMAG) == 0 &&
           bytesOf(header)[EI_CLASS] == ELFCLASS64;
}

void cpuOfELFMachine(std::uint16_t machine, std::int32_t& type, std::int32_t& subtype)
{
    switch (machine) {
    case EM_X86_64: type = 0x01000007; subtype = 3; break;
    case EM_AARCH64: type = 0x0100000c; subtype = 0; break;
    case EM_386: type = 7; subtype = 3; break;
    case EM_ARM: type = 12; subtype = 9; break;
    default: type = 0; subtype = 0; break;
    }
}

const Elf64_Ehdr* elfHeader(const PLNImageSlice& slice)
{
    return isELF(slice.header, slice.length) ? static_cast<const Elf64_Ehdr*>(slice.header) : nullptr;
}

// Calls block with each program header that lies inside the slice.
template <typename Block>
void forEachProgramHeader(const PLNImageSlice& slice, Block block)
{
    const Elf64_Ehdr* header = elfHeader(slice);
    if (!header || header->e_phentsize != sizeof(Elf64_Phdr))
        return;
    for (std::uint16_t i = 0; i < header->e_phnum; ++i) {
        const std::uint64_t offset = header->e_phoff + std::uint64_t(i) * sizeof(Elf64_Phdr);
        if (!fits(slice, offset, sizeof(Elf64_Phdr)))
            return;
        Elf64_Phdr program;
        std::memcpy(&program, bytesOf(slice.header) + offset, sizeof program);
        block(program);
    }
}

// Where a segment's bytes are: in a file by offset (bounded), in memory by
// its address relative to the image's load bias.
const std::uint8_t* segmentBytes(const PLNImageSlice& slice, const Elf64_Phdr& program, bool inMemory)
{
    if (!inMemory)
        return fits(slice, program.p_offset, program.p_filesz) ? bytesOf(slice.header) + program.p_offset : nullptr;
    std::uint64_t firstLoad = 0;
    bool found = false;
    forEachProgramHeader(slice, [&](const Elf64_Phdr& each) {
        if (!found && each.p_type == PT_LOAD && each.p_offset == 0) {
            firstLoad = each.p_vaddr;
            found = true;
        }
    });
    if (!found)
        return nullptr;
    const auto bias = reinterpret_cast<std::uintptr_t>(slice.header) - firstLoad;
    return reinterpret_cast<const std::uint8_t*>(bias + program.p_vaddr);
}

}  // namespace

bool PLNImageFileMapPath(PLNImageFile* file, const char* path)
{
    if (!file || !path)
        return false;
    *file = PLNImageFile{};
    const int descriptor = ::open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 16) {
        ::close(descriptor);
        return false;
    }
    void* address = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_SHARED, descriptor, 0);
    if (address == MAP_FAILED) {
        ::close(descriptor);
        return false;
    }
    *file = PLNImageFile{descriptor, static_cast<std::uint64_t>(status.st_size), address};
    return true;
}

bool PLNImageFileMapExecutable(PLNImageFile* file)
{
    const PLNImageSlice current = PLNCurrentImageSlice();
    if (!current.header)
        return false;
    const auto path = PLNImageSlicePath(current);
    return path && PLNImageFileMapPath(file, path->c_str());
}

void PLNImageFileUnmap(PLNImageFile* file)
{
    if (!file)
        return;
    if (file->address && file->size > 0)
        ::munmap(const_cast<void*>(file->address), static_cast<std::size_t>(file->size));
    if (file->descriptor >= 0)
        ::close(file->descriptor);
    *file = PLNImageFile{};
}

void PLNImageFileEnumerateSlices(const PLNImageFile* file, const PLNSliceBlock& block)
{
    if (!file || !file->address || file->size < 4 || !block)
        return;
    const auto* base = bytesOf(file->address);
    const std::uint32_t magic = readHost(base);
    if ((magic == kFatMagic || magic == kFatCigam) && file->size >= kFatHeaderSize) {
        const std::uint32_t count = readBigEndian(base + 4);
        const bool entriesFit = count <= kMostFatArchitectures && kFatHeaderSize + std::uint64_t(count) * kFatEntrySize <= file->size;
        if (entriesFit) {
            for (std::uint32_t i = 0; i < count; ++i) {
                const auto* entry = base + kFatHeaderSize + std::size_t(i) * kFatEntrySize;
                const std::uint32_t offset = readBigEndian(entry + 8);
                if (offset >= file->size)
                    continue;  // a slice outside the file is no slice
                block(PLNImageSlice{base + offset, static_cast<std::int32_t>(readBigEndian(entry)),
                                    static_cast<std::int32_t>(readBigEndian(entry + 4)), static_cast<std::size_t>(file->size - offset)});
            }
            return;
        }
    }
    PLNImageSlice slice{base, 0, 0, static_cast<std::size_t>(file->size)};
    if (const MachHeader header = machHeaderOf(slice); header.valid) {
        slice.cpuType = header.cpuType;
        slice.cpuSubtype = header.cpuSubtype;
    } else if (const Elf64_Ehdr* elf = elfHeader(slice)) {
        cpuOfELFMachine(elf->e_machine, slice.cpuType, slice.cpuSubtype);
    }
    block(slice);
}

PLNImageSlice PLNImageFileSliceForArchitectureName(const PLNImageFile* file, const std::string& name)
{
    PLNImageSlice match;
    PLNImageFileEnumerateSlices(file, [&](const PLNImageSlice& slice) {
        if (PLNImageSliceArchitectureName(slice) == name)
            match = slice;
    });
    return match;
}

PLNImageSlice PLNCurrentImageSlice()
{
    PLNImageSlice slice;
    // The first object the loader lists is the main program.
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* context) {
            auto* found = static_cast<PLNImageSlice*>(context);
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_offset == 0) {
                    found->header = reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
                    break;
                }
            return 1;
        },
        &slice);
    if (const Elf64_Ehdr* elf = elfHeader(slice))
        cpuOfELFMachine(elf->e_machine, slice.cpuType, slice.cpuSubtype);
    return slice;
}

PLNImageSlice PLNImageSliceWithHeader(const void* header) { return PLNImageSlice{header, 0, 0, 0}; }

std::optional<std::string> PLNImageSlicePath(const PLNImageSlice& slice)
{
    if (!slice.header)
        return std::nullopt;
    if (slice.header == PLNCurrentImageSlice().header) {
        char path[4096];
        const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
        if (length > 0)
            return std::string(path, static_cast<std::size_t>(length));
    }
    Dl_info info{};
    if (dladdr(slice.header, &info) && info.dli_fname && *info.dli_fname)
        return std::string(info.dli_fname);
    return std::nullopt;
}

std::string PLNImageSliceArchitectureName(const PLNImageSlice& slice)
{
    const std::int32_t type = slice.cpuType;
    const std::int32_t subtype = slice.cpuSubtype & 0x00ffffff;  // without the capability bits
    if (type == 0x0100000c && subtype == 0)
        return "arm64";
    if (type == 12 && subtype == 11)
        return "armv7s";
    struct Entry {
        std::int32_t type;
        std::int32_t subtype;  // -1: any
        const char* name;
    };
    static constexpr Entry table[] = {
        {0x01000007, 8, "x86_64h"}, {0x01000007, -1, "x86_64"}, {7, -1, "i386"},     {0x0100000c, 2, "arm64e"},
        {0x0100000c, -1, "arm64"},  {12, 6, "armv6"},           {12, 9, "armv7"},   {12, 12, "armv7k"},
        {12, -1, "arm"},            {18, -1, "ppc"},            {0x01000012, -1, "ppc64"},
    };
    for (const Entry& entry : table)
        if (entry.type == type && (entry.subtype == -1 || entry.subtype == subtype))
            return entry.name;
    return "unknown";
}

bool PLNImageSliceIs64Bit(const PLNImageSlice& slice) { return (slice.cpuType & kPLNCPUArchABI64) != 0; }

void PLNImageSliceEnumerateLoadCommands(PLNImageSlice* slice, const PLNLoadCommandBlock& block)
{
    if (!block || !slice || !slice->header)
        return;
    const MachHeader header = machHeaderOf(*slice);
    if (!header.valid)
        return;
    slice->cpuType = header.cpuType;
    slice->cpuSubtype = header.cpuSubtype;
    std::uint64_t offset = header.size;
    for (std::uint32_t i = 0; i < header.commandCount; ++i) {
        if (!fits(*slice, offset, 8))
            return;
        const void* command = bytesOf(slice->header) + offset;
        const std::uint32_t number = commandWord(command, 0, header.swapped);
        const std::uint32_t size = commandWord(command, 1, header.swapped);
        if (size < 8 || !fits(*slice, offset, size))
            return;  // a zero size would loop in place; an oversized one runs past the end
        block(number, size, command);
        offset += size;
    }
}

void PLNImageSliceFindUnwindSections(const PLNImageSlice* slice, std::uintptr_t* ehFrame, std::uintptr_t* unwindInfo)
{
    if (!slice || !slice->header || !ehFrame || !unwindInfo)
        return;
    *ehFrame = 0;
    *unwindInfo = 0;
    PLNImageSlice walked = *slice;
    const bool swapped = machHeaderOf(walked).swapped;
    PLNImageSliceEnumerateLoadCommands(&walked, [&](std::uint32_t number, std::uint32_t size, const void* command) {
        const bool is64 = number == kLoadCommandSegment64;
        if (!is64 && number != kLoadCommandSegment)
            return;
        const std::size_t segmentSize = is64 ? 72 : 56;
        const std::size_t sectionSize = is64 ? 80 : 68;
        if (size < segmentSize || std::strncmp(reinterpret_cast<const char*>(bytesOf(command) + 8), "__TEXT", 16) != 0)
            return;
        const std::uint32_t sections = commandWord(command, is64 ? 16 : 12, swapped);
        for (std::uint32_t i = 0; i < sections && segmentSize + (i + 1) * std::uint64_t(sectionSize) <= size; ++i) {
            const auto* section = bytesOf(command) + segmentSize + i * sectionSize;
            const std::uint32_t fileOffset = commandWord(section, is64 ? 12 : 10, swapped);
            const auto address = reinterpret_cast<std::uintptr_t>(slice->header) + fileOffset;
            if (std::strncmp(reinterpret_cast<const char*>(section), "__eh_frame", 16) == 0)
                *ehFrame = address;
            else if (std::strncmp(reinterpret_cast<const char*>(section), "__unwind_info", 16) == 0)
                *unwindInfo = address;
        }
    });
}

const std::uint8_t* PLNLoadCommandUUID(const void* command, std::uint32_t size)
{
    return command && size >= 24 ? bytesOf(command) + 8 : nullptr;
}

namespace {
PLNVersionTriple tripleOf(std::uint32_t value) { return PLNVersionTriple{value >> 16, (value >> 8) & 0xff, value & 0xff}; }
}  // namespace

PLNVersionTriple PLNLoadCommandMinimumOSVersion(const void* command, std::uint32_t size)
{
    return command && size >= 16 ? tripleOf(readHost(bytesOf(command) + 8)) : PLNVersionTriple{};
}

PLNVersionTriple PLNLoadCommandSDKVersion(const void* command, std::uint32_t size)
{
    return command && size >= 16 ? tripleOf(readHost(bytesOf(command) + 12)) : PLNVersionTriple{};
}

bool PLNLoadCommandIsEncrypted(const void* command, std::uint32_t size)
{
    return command && size >= 20 && readHost(bytesOf(command) + 16) != 0;
}

const char* PLNLoadCommandDylibName(const void* command, std::uint32_t size)
{
    if (!command || size < 12)
        return nullptr;
    const std::uint32_t offset = readHost(bytesOf(command) + 8);
    if (offset >= size || !std::memchr(bytesOf(command) + offset, '\0', size - offset))
        return nullptr;  // the name must end inside the command
    return reinterpret_cast<const char*>(bytesOf(command) + offset);
}

std::string PLNUUIDStringFromBytes(const std::uint8_t* bytes)
{
    if (!bytes)
        return {};
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 16; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xf];
    }
    return text;
}

std::optional<std::string> PLNVersionTripleString(const PLNVersionTriple* triple)
{
    if (!triple)
        return std::nullopt;
    char text[48];
    std::snprintf(text, sizeof text, "%d.%d.%d", static_cast<int>(triple->major), static_cast<int>(triple->minor),
                  static_cast<int>(triple->bugfix));
    return std::string(text);
}

bool PLNImageSliceIsELF(const PLNImageSlice& slice) { return elfHeader(slice) != nullptr; }

std::optional<std::string> PLNImageSliceELFBuildID(const PLNImageSlice& slice)
{
    std::optional<std::string> buildID;
    const bool inMemory = slice.length == 0;
    forEachProgramHeader(slice, [&](const Elf64_Phdr& program) {
        if (buildID || program.p_type != PT_NOTE)
            return;
        const std::uint8_t* notes = segmentBytes(slice, program, inMemory);
        if (!notes)
            return;
        std::uint64_t offset = 0;
        while (offset + sizeof(Elf64_Nhdr) <= program.p_filesz) {
            Elf64_Nhdr note;
            std::memcpy(&note, notes + offset, sizeof note);
            const std::uint64_t nameStart = offset + sizeof note;
            const std::uint64_t descStart = nameStart + ((note.n_namesz + 3) & ~3u);
            const std::uint64_t next = descStart + ((note.n_descsz + 3) & ~3u);
            if (descStart + note.n_descsz > program.p_filesz)
                return;
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 && std::memcmp(notes + nameStart, "GNU", 4) == 0) {
                buildID = std::string(reinterpret_cast<const char*>(notes + descStart), note.n_descsz);
                return;
            }
            offset = next;
        }
    });
    return buildID;
}

std::optional<std::array<std::uint8_t, 16>> PLNImageSliceELFUUID(const PLNImageSlice& slice)
{
    const auto buildID = PLNImageSliceELFBuildID(slice);
    if (!buildID || buildID->size() < 16)
        return std::nullopt;
    std::array<std::uint8_t, 16> uuid{};
    std::memcpy(uuid.data(), buildID->data(), 16);
    return uuid;
}

std::optional<std::uintptr_t> PLNImageSliceFindEHFrameHeader(const PLNImageSlice& slice, bool inMemory)
{
    std::optional<std::uintptr_t> found;
    forEachProgramHeader(slice, [&](const Elf64_Phdr& program) {
        if (!found && program.p_type == PT_GNU_EH_FRAME)
            if (const std::uint8_t* bytes = segmentBytes(slice, program, inMemory))
                found = reinterpret_cast<std::uintptr_t>(bytes);
    });
    return found;
}

}  // namespace pln

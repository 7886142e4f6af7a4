#pragma once
// Reads executable images from their bytes: Mach-O files (thin and universal)
// as the reporting service knows them, and the ELF executables this system
// runs as. Files are mapped, not read; every read stays inside the mapping.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace pln {

// A mapped file. descriptor is -1 when nothing is open.
struct PLNImageFile {
    int descriptor = -1;
    std::uint64_t size = 0;
    const void* address = nullptr;
};

// One architecture's image in a mapped file or in memory. length is how many
// bytes may be read from header on (0 for an image in memory: no limit known).
struct PLNImageSlice {
    const void* header = nullptr;
    std::int32_t cpuType = 0;
    std::int32_t cpuSubtype = 0;
    std::size_t length = 0;
};

struct PLNVersionTriple {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t bugfix = 0;
};

inline constexpr std::uint32_t kPLNLoadCommandUUID = 27;
inline constexpr std::uint32_t kPLNLoadCommandVersionMinMacOSX = 36;
inline constexpr std::uint32_t kPLNLoadCommandVersionMinIPhoneOS = 37;
inline constexpr std::int32_t kPLNCPUArchABI64 = 0x01000000;

bool PLNImageFileMapPath(PLNImageFile* file, const char* path);
bool PLNImageFileMapExecutable(PLNImageFile* file);
// Unmaps and closes what the record holds, then clears it.
void PLNImageFileUnmap(PLNImageFile* file);

using PLNSliceBlock = std::function<void(const PLNImageSlice&)>;
void PLNImageFileEnumerateSlices(const PLNImageFile* file, const PLNSliceBlock& block);
PLNImageSlice PLNImageFileSliceForArchitectureName(const PLNImageFile* file, const std::string& name);

PLNImageSlice PLNCurrentImageSlice();
PLNImageSlice PLNImageSliceWithHeader(const void* header);
std::optional<std::string> PLNImageSlicePath(const PLNImageSlice& slice);
std::string PLNImageSliceArchitectureName(const PLNImageSlice& slice);
bool PLNImageSliceIs64Bit(const PLNImageSlice& slice);

// Walks a Mach-O slice's load commands: command number, size, address. The
// walk stops at a command that is too small or does not fit in the slice.
// Fills the slice's CPU fields from its header.
using PLNLoadCommandBlock = std::function<void(std::uint32_t command, std::uint32_t size, const void* address)>;
void PLNImageSliceEnumerateLoadCommands(PLNImageSlice* slice, const PLNLoadCommandBlock& block);
void PLNImageSliceFindUnwindSections(const PLNImageSlice* slice, std::uintptr_t* ehFrame, std::uintptr_t* unwindInfo);

// Decoders of single load commands; each reads inside the command's size.
const std::uint8_t* PLNLoadCommandUUID(const void* command, std::uint32_t size);
PLNVersionTriple PLNLoadCommandMinimumOSVersion(const void* command, std::uint32_t size);
PLNVersionTriple PLNLoadCommandSDKVersion(const void* command, std::uint32_t size);
bool PLNLoadCommandIsEncrypted(const void* command, std::uint32_t size);
const char* PLNLoadCommandDylibName(const void* command, std::uint32_t size);

std::string PLNUUIDStringFromBytes(const std::uint8_t* bytes);
std::optional<std::string> PLNVersionTripleString(const PLNVersionTriple* triple);

// ELF: the build ID, whose first 16 bytes stand for the image's UUID, and the
// eh-frame header for the unwinder. Both answer nothing for a non-ELF slice.
bool PLNImageSliceIsELF(const PLNImageSlice& slice);
std::optional<std::string> PLNImageSliceELFBuildID(const PLNImageSlice& slice);  // the whole ID as bytes
std::optional<std::array<std::uint8_t, 16>> PLNImageSliceELFUUID(const PLNImageSlice& slice);
// In a file the address is where the section's bytes lie in the mapping; in
// memory it is the loaded address.
std::optional<std::uintptr_t> PLNImageSliceFindEHFrameHeader(const PLNImageSlice& slice, bool inMemory);

}  // namespace pln

#pragma once
// The kit's own table of loaded images, filled outside crash time from the
// dynamic linker's list and read at crash time without locks. Every load and
// unload is also written to "binary_images.brsrecord" for symbolication.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

struct BRSFile;

constexpr size_t kBRSBinaryImageSlots = 512;

// One slot; baseAddress 0 marks a free slot, size 0 an unloaded image.
struct BRSBinaryImageRuntimeNode {
    uint64_t baseAddress;   // the image's lowest mapped address (its ELF header)
    uint64_t size;          // span of its loaded segments
    uint64_t ehFrameHdr;    // address of its .eh_frame_hdr search table, 0 when absent
    uint64_t frameSegmentStart;  // the read-only segment holding the table and
    uint64_t frameSegmentEnd;    // .eh_frame: every read of them stays inside
    uint64_t crashInfo;     // no crash annotation section on this system: 0
};

struct BRSBinaryImageDetails {
    char uuidString[33];  // first 16 bytes of the GNU build ID, hexadecimal
    std::string path;
    BRSBinaryImageRuntimeNode node;
    uint64_t loadBias;    // what the dynamic linker adds to the file's addresses
};

void BRSBinaryImageInit();
// Compares the dynamic linker's list with the table and records loads and
// unloads since the last call. Called at start and after a library is opened
// or closed.
void BRSBinaryImageRefresh();
void BRSBinaryImageStoreNode(bool isLoad, const BRSBinaryImageDetails& details);
void BRSBinaryImageRecordSlice(bool isLoad, const BRSBinaryImageDetails& details);
bool BRSBinaryImageRecordMainExecutable(BRSFile* file);
void BRSBinaryImageRecordDetails(BRSFile* file, const BRSBinaryImageDetails& details);
// The image loaded now whose build ID gives this UUID text.
bool BRSBinaryImageFindImageForUUID(const char* uuid, BRSBinaryImageDetails* details);

// Crash-safe: a bounded scan of the table.
bool BRSBinaryImageFindImageForAddress(uintptr_t address, BRSBinaryImageRuntimeNode* node);
bool BRSBinaryImageHasEhFrameHdr(const BRSBinaryImageRuntimeNode& node);

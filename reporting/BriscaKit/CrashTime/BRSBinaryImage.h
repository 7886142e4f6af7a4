#pragma once
// The kit's own table of loaded images, filled at start from the dynamic
// linker's list, brought up to date as libraries are opened and closed (and
// from the same list when an error or a crash is recorded), and read at
// crash time without locks. Every load and unload is also written to
// "binary_images.brsrecord" for symbolication.

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

// Fills the table with every image loaded at start and records each.
void BRSBinaryImageInit();
// Outside crash time: when the dynamic linker has added or removed objects
// since the last look, brings the table and the records up to date through
// its locked list. Run after every dlopen and dlclose of the program.
void BRSBinaryImageRefresh();
bool BRSBinaryImageRecordMainExecutable(BRSFile* file);
void BRSBinaryImageRecordDetails(BRSFile* file, const BRSBinaryImageDetails& details);
// The image loaded now whose build ID gives this UUID text.
bool BRSBinaryImageFindImageForUUID(const char* uuid, BRSBinaryImageDetails* details);

// Crash-safe from here on.
// Brings the table up to date with the dynamic linker's own list, read
// without its lock: libraries opened since start get a slot and a "load"
// record, slots of libraries closed since are emptied. Runs before a crash's
// stacks are unwound, with the other threads stopped.
void BRSBinaryImageSyncWithLoader();
// Describes an image from its program headers, every read a safe one; uuid
// takes 33 bytes.
bool BRSBinaryImageDescribe(uint64_t loadBias, uintptr_t programHeaders, size_t count,
                            BRSBinaryImageRuntimeNode* node, char* uuid);
// One image the dynamic linker lists: its live slot, or a slot claimed for
// it and a "load" record. Answers the slot, kBRSBinaryImageSlots when the
// table is full.
size_t BRSBinaryImageStoreNode(const BRSBinaryImageRuntimeNode& node, const char* uuid, const char* path);
// An image closed: its live slot is emptied and it gets an "unload" record.
void BRSBinaryImageUnloadNode(const BRSBinaryImageRuntimeNode& node, const char* uuid, const char* path);
// Empties the live slots of images the dynamic linker no longer lists.
void BRSBinaryImageEmptyUnlistedSlots(const bool* listed);
// Claims a free slot for the image: its index, or kBRSBinaryImageSlots when
// the table is full.
size_t BRSBinaryImageClaimSlot(const BRSBinaryImageRuntimeNode& node);
void BRSBinaryImageEmptySlot(BRSBinaryImageRuntimeNode* slot);
void BRSBinaryImageRecordSlice(bool isLoad, const char* path, const char* uuid, const BRSBinaryImageRuntimeNode& node);
void BRSBinaryImageWriteIdentity(BRSFile* file, const char* uuid, const BRSBinaryImageRuntimeNode& node);
// A bounded scan of the table.
bool BRSBinaryImageFindImageForAddress(uintptr_t address, BRSBinaryImageRuntimeNode* node);
bool BRSBinaryImageHasEhFrameHdr(const BRSBinaryImageRuntimeNode& node);

// Crash-time code: the fixed table's slots, image descriptions read through
// the safe read, and the walk of the dynamic linker's own list that brings
// the table up to date before a crash is recorded.
#include "reporting/BriscaKit/CrashTime/BRSBinaryImage.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <elf.h>
#include <link.h>
#include <span>

namespace {

constexpr size_t kMaximumProgramHeaders = 128;
constexpr size_t kNoteBytes = 512;
constexpr size_t kMaximumLoadedObjects = 4096;
constexpr size_t kNoSlot = kBRSBinaryImageSlots;

BRSBinaryImageRuntimeNode* slots() { return gBRSContext->writable->images; }

bool isLive(const BRSBinaryImageRuntimeNode& slot)
{
    return __atomic_load_n(&slot.baseAddress, __ATOMIC_ACQUIRE) != 0 && __atomic_load_n(&slot.size, __ATOMIC_ACQUIRE) != 0;
}

bool sameImage(const BRSBinaryImageRuntimeNode& slot, const BRSBinaryImageRuntimeNode& node)
{
    return slot.baseAddress == node.baseAddress && slot.size == node.size && slot.ehFrameHdr == node.ehFrameHdr;
}

// The first 16 bytes of the GNU build ID in a note segment, as hexadecimal;
// the notes are read in one piece (the build ID comes early).
void readBuildID(uintptr_t notes, uint64_t length, char* uuid)
{
    alignas(ElfW(Nhdr)) uint8_t bytes[kNoteBytes];
    const size_t size = length < sizeof bytes ? size_t(length) : sizeof bytes;
    if (!BRSReadMemory(notes, bytes, size))
        return;
    for (size_t at = 0; at + sizeof(ElfW(Nhdr)) <= size;) {
        const auto* header = reinterpret_cast<const ElfW(Nhdr)*>(bytes + at);
        const size_t name = at + sizeof *header;
        const size_t description = name + ((size_t(header->n_namesz) + 3) & ~size_t(3));
        if (header->n_type == NT_GNU_BUILD_ID && header->n_namesz == 4 && header->n_descsz >= 16 &&
            description + 16 <= size && std::memcmp(bytes + name, "GNU", 4) == 0) {
            static const char hex[] = "0123456789abcdef";
            for (size_t i = 0; i < 16; ++i) {
                uuid[2 * i] = hex[bytes[description + i] >> 4];
                uuid[2 * i + 1] = hex[bytes[description + i] & 0xf];
            }
            uuid[32] = 0;
            return;
        }
        at = description + ((size_t(header->n_descsz) + 3) & ~size_t(3));
    }
}

// An object the dynamic linker lists, described from the ELF header at its
// load bias (where every shared object and position-independent program
// keeps it).
bool describeLoadedObject(uint64_t loadBias, BRSBinaryImageRuntimeNode* node, char* uuid)
{
    ElfW(Ehdr) header;
    if (!BRSReadMemory(uintptr_t(loadBias), &header, sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_phentsize != sizeof(ElfW(Phdr)))
        return false;
    return BRSBinaryImageDescribe(loadBias, uintptr_t(loadBias + header.e_phoff), header.e_phnum, node, uuid);
}

size_t liveSlotOf(const BRSBinaryImageRuntimeNode& node)
{
    for (size_t i = 0; i < kBRSBinaryImageSlots; ++i)
        if (isLive(slots()[i]) && sameImage(slots()[i], node))
            return i;
    return kNoSlot;
}

// The dynamic linker's path of an object, once it is known to be readable.
const char* readablePath(const char* name)
{
    uintptr_t start;
    return BRSReadString(uintptr_t(name), &start, PATH_MAX) ? name : nullptr;
}

}  // namespace

bool BRSBinaryImageDescribe(uint64_t loadBias, uintptr_t programHeaders, size_t count,
                            BRSBinaryImageRuntimeNode* node, char* uuid)
{
    *node = {};
    uuid[0] = 0;
    ElfW(Phdr) segments[kMaximumProgramHeaders];
    if (count > kMaximumProgramHeaders || !BRSReadMemory(programHeaders, segments, count * sizeof segments[0]))
        return false;
    uint64_t lowest = UINT64_MAX, highest = 0;
    const ElfW(Phdr)* frameHeader = nullptr;
    for (const ElfW(Phdr)& segment : std::span(segments, count)) {
        if (segment.p_type == PT_LOAD) {
            lowest = std::min<uint64_t>(lowest, segment.p_vaddr);
            highest = std::max<uint64_t>(highest, segment.p_vaddr + segment.p_memsz);
        } else if (segment.p_type == PT_GNU_EH_FRAME) {
            frameHeader = &segment;
        } else if (segment.p_type == PT_NOTE && uuid[0] == 0) {
            readBuildID(uintptr_t(loadBias + segment.p_vaddr), segment.p_memsz, uuid);
        }
    }
    if (lowest == UINT64_MAX)
        return false;
    node->baseAddress = loadBias + lowest;
    node->size = highest - lowest;
    // The search table and .eh_frame live in the readable segment that holds
    // the table: every read of them stays inside it.
    for (const ElfW(Phdr)& segment : std::span(segments, count))
        if (frameHeader && segment.p_type == PT_LOAD && (segment.p_flags & PF_R) &&
            segment.p_vaddr <= frameHeader->p_vaddr && frameHeader->p_vaddr < segment.p_vaddr + segment.p_memsz) {
            node->ehFrameHdr = loadBias + frameHeader->p_vaddr;
            node->frameSegmentStart = loadBias + segment.p_vaddr;
            node->frameSegmentEnd = loadBias + segment.p_vaddr + segment.p_memsz;
        }
    return true;
}

size_t BRSBinaryImageClaimSlot(const BRSBinaryImageRuntimeNode& node)
{
    for (size_t i = 0; i < kBRSBinaryImageSlots; ++i) {
        BRSBinaryImageRuntimeNode& slot = slots()[i];
        uint64_t expected = 0;
        if (!__atomic_compare_exchange_n(&slot.baseAddress, &expected, node.baseAddress, false, __ATOMIC_SEQ_CST,
                                         __ATOMIC_SEQ_CST))
            continue;
        slot.ehFrameHdr = node.ehFrameHdr;
        slot.frameSegmentStart = node.frameSegmentStart;
        slot.frameSegmentEnd = node.frameSegmentEnd;
        slot.crashInfo = node.crashInfo;
        // The size last: a slot matches addresses only once it is whole.
        __atomic_store_n(&slot.size, node.size, __ATOMIC_RELEASE);
        return i;
    }
    return kNoSlot;
}

void BRSBinaryImageEmptySlot(BRSBinaryImageRuntimeNode* slot)
{
    // The base stays: the slot is never taken again.
    __atomic_store_n(&slot->size, uint64_t(0), __ATOMIC_RELEASE);
    slot->ehFrameHdr = slot->frameSegmentStart = slot->frameSegmentEnd = slot->crashInfo = 0;
}

void BRSBinaryImageRecordSlice(bool isLoad, const char* path, const char* uuid, const BRSBinaryImageRuntimeNode& node)
{
    BRSFile file;
    if (!BRSFileInitWithPath(&file, gBRSContext->binaryImagesPath)) {
        BRSSDKLog("%s: Error: unable to open binary image log file\n", __func__);
        return;
    }
    BRSFileWriteSectionStart(&file, isLoad ? "load" : "unload");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryString(&file, "path", path);
    BRSBinaryImageWriteIdentity(&file, uuid, node);
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    BRSFileClose(&file);
}

void BRSBinaryImageWriteIdentity(BRSFile* file, const char* uuid, const BRSBinaryImageRuntimeNode& node)
{
    BRSFileWriteHashEntryString(file, "uuid", uuid);
    BRSFileWriteHashEntryUint64(file, "base", node.baseAddress);
    BRSFileWriteHashEntryUint64(file, "size", node.size);
}

size_t BRSBinaryImageStoreNode(const BRSBinaryImageRuntimeNode& node, const char* uuid, const char* path)
{
    size_t slot = liveSlotOf(node);
    if (slot != kNoSlot)
        return slot;
    slot = BRSBinaryImageClaimSlot(node);
    if (slot == kNoSlot)
        BRSSDKLog("%s: Error: Unable to track a %s node %p\n", __func__, "loaded",
                  reinterpret_cast<void*>(node.baseAddress));
    // Recorded even when the table is full, so that symbolication knows it.
    BRSBinaryImageRecordSlice(true, path, uuid, node);
    return slot;
}

void BRSBinaryImageUnloadNode(const BRSBinaryImageRuntimeNode& node, const char* uuid, const char* path)
{
    const size_t slot = liveSlotOf(node);
    if (slot == kNoSlot)
        BRSSDKLog("%s: Error: Unable to track a %s node %p\n", __func__, "unloaded",
                  reinterpret_cast<void*>(node.baseAddress));
    else
        BRSBinaryImageEmptySlot(&slots()[slot]);
    BRSBinaryImageRecordSlice(false, path, uuid, node);
}

void BRSBinaryImageEmptyUnlistedSlots(const bool* listed)
{
    for (size_t i = 0; i < kBRSBinaryImageSlots; ++i)
        if (isLive(slots()[i]) && !listed[i]) {
            BRSSDKLog("%s: Removing the image no longer loaded at %p\n", __func__,
                      reinterpret_cast<void*>(slots()[i].baseAddress));
            BRSBinaryImageEmptySlot(&slots()[i]);
        }
}

void BRSBinaryImageSyncWithLoader()
{
    if (!BRSContextIsInitialized())
        return;
    r_debug loader;
    if (!BRSReadMemory(uintptr_t(&_r_debug), &loader, sizeof loader)) {
        BRSSDKLog("%s: Error: unable to read the dynamic linker's list\n", __func__);
        return;
    }
    // While a library is being opened or closed the list may be half made:
    // images are added from it, but none is taken away.
    bool wholeList = loader.r_state == r_debug::RT_CONSISTENT;
    bool listed[kBRSBinaryImageSlots] = {};
    uintptr_t next = uintptr_t(loader.r_map);
    for (size_t count = 0; next != 0; ++count) {
        link_map object;
        if (count == kMaximumLoadedObjects || !BRSReadMemory(next, &object, sizeof object)) {
            wholeList = false;
            break;
        }
        next = uintptr_t(object.l_next);
        BRSBinaryImageRuntimeNode node;
        char uuid[33];
        if (!describeLoadedObject(object.l_addr, &node, uuid)) {
            wholeList = false;
            continue;
        }
        const size_t slot = BRSBinaryImageStoreNode(node, uuid, readablePath(object.l_name));
        if (slot != kNoSlot)
            listed[slot] = true;
    }
    if (wholeList)
        BRSBinaryImageEmptyUnlistedSlots(listed);
}

bool BRSBinaryImageFindImageForAddress(uintptr_t address, BRSBinaryImageRuntimeNode* node)
{
    if (address == 0 || !BRSContextIsInitialized())
        return false;
    const BRSBinaryImageRuntimeNode* images = gBRSContext->writable->images;
    for (size_t i = 0; i < kBRSBinaryImageSlots; ++i) {
        const uint64_t base = __atomic_load_n(&images[i].baseAddress, __ATOMIC_ACQUIRE);
        const uint64_t size = __atomic_load_n(&images[i].size, __ATOMIC_ACQUIRE);
        if (base != 0 && base <= address && address - base < size) {
            if (node)
                *node = images[i];
            return true;
        }
    }
    return false;
}

bool BRSBinaryImageHasEhFrameHdr(const BRSBinaryImageRuntimeNode& node) { return node.ehFrameHdr != 0; }

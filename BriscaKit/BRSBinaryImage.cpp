#include "BriscaKit/BRSBinaryImage.h"

#include "BriscaKit/BRSContext.h"
#include "BriscaKit/BRSFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <elf.h>
#include <link.h>
#include <map>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

// The images the table knows, by base address; only touched under the lock.
std::mutex& knownImagesLock()
{
    static std::mutex lock;
    return lock;
}

std::map<uint64_t, BRSBinaryImageDetails>& knownImages()
{
    static std::map<uint64_t, BRSBinaryImageDetails> images;
    return images;
}

std::string executablePath()
{
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, size_t(length)) : std::string();
}

void readBuildID(const dl_phdr_info* info, const ElfW(Phdr)& note, char* uuid)
{
    const auto* p = reinterpret_cast<const uint8_t*>(info->dlpi_addr + note.p_vaddr);
    const uint8_t* end = p + note.p_memsz;
    while (p + sizeof(ElfW(Nhdr)) <= end) {
        const auto* header = reinterpret_cast<const ElfW(Nhdr)*>(p);
        const uint8_t* name = p + sizeof(ElfW(Nhdr));
        const uint8_t* desc = name + ((header->n_namesz + 3) & ~3u);
        const uint8_t* next = desc + ((header->n_descsz + 3) & ~3u);
        if (next > end)
            return;
        if (header->n_type == NT_GNU_BUILD_ID && header->n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0 &&
            header->n_descsz >= 16) {
            static const char hex[] = "0123456789abcdef";
            for (size_t i = 0; i < 16; ++i) {
                uuid[2 * i] = hex[desc[i] >> 4];
                uuid[2 * i + 1] = hex[desc[i] & 0xf];
            }
            uuid[32] = 0;
            return;
        }
        p = next;
    }
}

BRSBinaryImageDetails detailsOf(const dl_phdr_info* info)
{
    BRSBinaryImageDetails details{};
    details.loadBias = info->dlpi_addr;
    details.path = info->dlpi_name && info->dlpi_name[0] ? info->dlpi_name : executablePath();
    uint64_t lowest = UINT64_MAX, highest = 0;
    const ElfW(Phdr)* frameHeader = nullptr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD) {
            lowest = std::min<uint64_t>(lowest, segment.p_vaddr);
            highest = std::max<uint64_t>(highest, segment.p_vaddr + segment.p_memsz);
        } else if (segment.p_type == PT_GNU_EH_FRAME) {
            frameHeader = &segment;
        } else if (segment.p_type == PT_NOTE && details.uuidString[0] == 0) {
            readBuildID(info, segment, details.uuidString);
        }
    }
    if (lowest == UINT64_MAX)
        return details;
    details.node.baseAddress = info->dlpi_addr + lowest;
    details.node.size = highest - lowest;
    if (!frameHeader)
        return details;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_R) && segment.p_vaddr <= frameHeader->p_vaddr &&
            frameHeader->p_vaddr < segment.p_vaddr + segment.p_memsz) {
            details.node.ehFrameHdr = info->dlpi_addr + frameHeader->p_vaddr;
            details.node.frameSegmentStart = info->dlpi_addr + segment.p_vaddr;
            details.node.frameSegmentEnd = info->dlpi_addr + segment.p_vaddr + segment.p_memsz;
        }
    }
    return details;
}

std::vector<BRSBinaryImageDetails> loadedImages()
{
    std::vector<BRSBinaryImageDetails> images;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto details = detailsOf(info);
            if (details.node.baseAddress)
                static_cast<std::vector<BRSBinaryImageDetails>*>(data)->push_back(std::move(details));
            return 0;
        },
        &images);
    return images;
}

}  // namespace

void BRSBinaryImageInit()
{
    if (!gBRSContext || !gBRSContext->writable)
        return;
    std::memset(gBRSContext->writable->images, 0, sizeof gBRSContext->writable->images);
    if (!BRSUnlinkIfExists(gBRSContext->binaryImagesPath))
        BRSSDKLog("%s: Unable to reset the binary image log file %s\n", __func__, BRSErrorText(errno));
    {
        std::lock_guard lock(knownImagesLock());
        knownImages().clear();
    }
    BRSBinaryImageRefresh();
}

void BRSBinaryImageRefresh()
{
    std::lock_guard lock(knownImagesLock());
    auto& known = knownImages();
    std::map<uint64_t, BRSBinaryImageDetails> now;
    for (auto& details : loadedImages())
        now.emplace(details.node.baseAddress, std::move(details));
    for (auto it = known.begin(); it != known.end();) {
        auto current = now.find(it->first);
        if (current != now.end() && !std::strcmp(current->second.uuidString, it->second.uuidString) &&
            current->second.path == it->second.path) {
            ++it;
            continue;
        }
        BRSBinaryImageStoreNode(false, it->second);
        it = known.erase(it);
    }
    for (auto& [base, details] : now) {
        if (known.count(base))
            continue;
        BRSBinaryImageStoreNode(true, details);
        known.emplace(base, details);
    }
}

void BRSBinaryImageStoreNode(bool isLoad, const BRSBinaryImageDetails& details)
{
    const uint64_t base = details.node.baseAddress;
    BRSContextWritable* writable = gBRSContext ? gBRSContext->writable : nullptr;
    bool updated = false;
    if (!writable) {
        BRSSDKLog("%s: Error: Writable context is NULL\n", __func__);
    } else if (isLoad) {
        for (auto& slot : writable->images) {
            uint64_t expected = 0;
            if (!__atomic_compare_exchange_n(&slot.baseAddress, &expected, base, false, __ATOMIC_SEQ_CST,
                                             __ATOMIC_SEQ_CST))
                continue;
            slot.ehFrameHdr = details.node.ehFrameHdr;
            slot.frameSegmentStart = details.node.frameSegmentStart;
            slot.frameSegmentEnd = details.node.frameSegmentEnd;
            slot.crashInfo = details.node.crashInfo;
            // The size last: a slot matches addresses only once it is whole.
            __atomic_store_n(&slot.size, details.node.size, __ATOMIC_RELEASE);
            updated = true;
            break;
        }
    } else {
        for (auto& slot : writable->images) {
            // Slots of images unloaded before keep their base with size 0:
            // only the live slot of this base is emptied.
            if (__atomic_load_n(&slot.baseAddress, __ATOMIC_ACQUIRE) != base ||
                __atomic_load_n(&slot.size, __ATOMIC_ACQUIRE) == 0)
                continue;
            __atomic_store_n(&slot.size, uint64_t(0), __ATOMIC_RELEASE);
            slot.ehFrameHdr = slot.frameSegmentStart = slot.frameSegmentEnd = slot.crashInfo = 0;
            updated = true;
            break;
        }
    }
    if (writable && !updated)
        BRSSDKLog("%s: Error: Unable to track a %s node %p\n", __func__, isLoad ? "loaded" : "unloaded",
                  reinterpret_cast<void*>(base));
    std::lock_guard lock(BRSReportingQueue());
    BRSBinaryImageRecordSlice(isLoad, details);
}

void BRSBinaryImageRecordSlice(bool isLoad, const BRSBinaryImageDetails& details)
{
    if (!gBRSContext)
        return;
    BRSFile file;
    if (!BRSFileInitWithPath(&file, gBRSContext->binaryImagesPath)) {
        BRSSDKLog("%s: Error: unable to open binary image log file\n", __func__);
        return;
    }
    BRSFileWriteSectionStart(&file, isLoad ? "load" : "unload");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryString(&file, "path", details.path.c_str());
    BRSBinaryImageRecordDetails(&file, details);
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    BRSFileClose(&file);
}

void BRSBinaryImageRecordDetails(BRSFile* file, const BRSBinaryImageDetails& details)
{
    if (!file) {
        BRSSDKLog("%s: Error: file is invalid\n", __func__);
        return;
    }
    BRSFileWriteHashEntryString(file, "uuid", details.uuidString);
    BRSFileWriteHashEntryUint64(file, "base", details.node.baseAddress);
    BRSFileWriteHashEntryUint64(file, "size", details.node.size);
}

bool BRSBinaryImageRecordMainExecutable(BRSFile* file)
{
    BRSBinaryImageDetails main{};
    for (auto& details : loadedImages())
        if (details.path == executablePath()) {
            main = std::move(details);
            break;
        }
    BRSFileWriteSectionStart(file, "executable");
    BRSFileWriteHashStart(file);
    BRSFileWriteHashEntryString(file, "architecture", "x86_64");
    BRSBinaryImageRecordDetails(file, main);
    BRSFileWriteHashEntryBoolean(file, "encrypted", false);
    BRSFileWriteHashEntryString(file, "minimum_sdk_version", nullptr);
    BRSFileWriteHashEntryString(file, "built_sdk_version", nullptr);
    BRSFileWriteHashEnd(file);
    BRSFileWriteSectionEnd(file);
    return true;
}

bool BRSBinaryImageFindImageForUUID(const char* uuid, BRSBinaryImageDetails* details)
{
    if (!uuid || !details) {
        BRSSDKLog("%s: null input\n", __func__);
        return false;
    }
    for (auto& image : loadedImages())
        if (std::strncmp(image.uuidString, uuid, sizeof image.uuidString) == 0) {
            *details = std::move(image);
            return true;
        }
    return false;
}

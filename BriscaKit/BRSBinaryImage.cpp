#include "BriscaKit/BRSBinaryImage.h"

#include "BriscaKit/BRSContext.h"
#include "BriscaKit/BRSFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <elf.h>
#include <link.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

std::string executablePath()
{
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, size_t(length)) : std::string();
}

BRSBinaryImageDetails detailsOf(const dl_phdr_info* info)
{
    BRSBinaryImageDetails details{};
    details.loadBias = info->dlpi_addr;
    details.path = info->dlpi_name && info->dlpi_name[0] ? info->dlpi_name : executablePath();
    BRSBinaryImageDescribe(info->dlpi_addr, uintptr_t(info->dlpi_phdr), info->dlpi_phnum, &details.node,
                           details.uuidString);
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
    for (const auto& details : loadedImages())
        BRSBinaryImageStoreNode(true, details);
}

void BRSBinaryImageStoreNode(bool isLoad, const BRSBinaryImageDetails& details)
{
    BRSContextWritable* writable = gBRSContext ? gBRSContext->writable : nullptr;
    bool updated = false;
    if (!writable) {
        BRSSDKLog("%s: Error: Writable context is NULL\n", __func__);
    } else if (isLoad) {
        updated = BRSBinaryImageClaimSlot(details.node) != kBRSBinaryImageSlots;
    } else {
        // Slots of images unloaded before keep their base with size 0: only
        // the live slot of this image is emptied.
        for (auto& slot : writable->images)
            if (__atomic_load_n(&slot.size, __ATOMIC_ACQUIRE) != 0 && slot.baseAddress == details.node.baseAddress) {
                BRSBinaryImageEmptySlot(&slot);
                updated = true;
                break;
            }
    }
    if (writable && !updated)
        BRSSDKLog("%s: Error: Unable to track a %s node %p\n", __func__, isLoad ? "loaded" : "unloaded",
                  reinterpret_cast<void*>(details.node.baseAddress));
    std::lock_guard lock(BRSReportingQueue());
    BRSBinaryImageRecordSlice(isLoad, details);
}

void BRSBinaryImageRecordSlice(bool isLoad, const BRSBinaryImageDetails& details)
{
    if (gBRSContext)
        BRSBinaryImageWriteRecord(isLoad, details.path.c_str(), details.uuidString, details.node);
}

void BRSBinaryImageRecordDetails(BRSFile* file, const BRSBinaryImageDetails& details)
{
    if (!file) {
        BRSSDKLog("%s: Error: file is invalid\n", __func__);
        return;
    }
    BRSBinaryImageWriteIdentity(file, details.uuidString, details.node);
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

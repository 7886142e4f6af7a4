#include "reporting/BriscaKit/BRSBinaryImage.h"

#include "reporting/BriscaKit/BRSContext.h"
#include "reporting/BriscaKit/BRSFile.h"

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

// How many objects the dynamic linker has ever added and removed: a library
// opened or closed changes them.
struct LoaderCounts {
    unsigned long long adds = 0, subs = 0;
    bool operator==(const LoaderCounts&) const = default;
};

LoaderCounts loaderCounts()
{
    LoaderCounts counts;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            *static_cast<LoaderCounts*>(data) = {info->dlpi_adds, info->dlpi_subs};
            return 1;  // the counts are the same in every call
        },
        &counts);
    return counts;
}

// The counts the table was last brought up to date with; under the
// reporting queue.
LoaderCounts& lastCounts()
{
    static LoaderCounts counts;
    return counts;
}

// Every object listed gets a slot and a record, slots of objects no longer
// listed are emptied. Runs under the reporting queue.
void refreshFromLoader()
{
    lastCounts() = loaderCounts();
    bool listed[kBRSBinaryImageSlots] = {};
    for (const auto& details : loadedImages()) {
        const size_t slot = BRSBinaryImageStoreNode(details.node, details.uuidString, details.path.c_str());
        if (slot != kBRSBinaryImageSlots)
            listed[slot] = true;
    }
    BRSBinaryImageEmptyUnlistedSlots(listed);
}

}  // namespace

void BRSBinaryImageInit()
{
    if (!gBRSContext || !gBRSContext->writable)
        return;
    std::memset(gBRSContext->writable->images, 0, sizeof gBRSContext->writable->images);
    if (!BRSUnlinkIfExists(gBRSContext->binaryImagesPath))
        BRSSDKLog("%s: Unable to reset the binary image log file %s\n", __func__, BRSErrorText(errno));
    std::lock_guard lock(BRSReportingQueue());
    refreshFromLoader();
}

void BRSBinaryImageRefresh()
{
    if (!BRSContextIsInitialized())
        return;
    const LoaderCounts counts = loaderCounts();
    std::lock_guard lock(BRSReportingQueue());
    if (counts != lastCounts())
        refreshFromLoader();
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

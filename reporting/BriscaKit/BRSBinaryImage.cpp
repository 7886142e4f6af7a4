#include "reporting/BriscaKit/CrashTime/BRSBinaryImage.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <elf.h>
#include <link.h>
#include <dlfcn.h>
#include <map>
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

// Image events are written under a lock of their own rather than the
// reporting queue: a library may be opened by code that holds any of the
// kit's other locks.
std::mutex& imageEventsLock()
{
    static auto* lock = new std::mutex;  // never destroyed: a library may be closed at exit
    return *lock;
}

// The counts the table was last brought up to date with; under the lock.
LoaderCounts& lastCounts()
{
    static LoaderCounts counts;
    return counts;
}

// An image recorded as loaded and not yet as unloaded.
struct RecordedImage {
    std::string path;
    std::string uuid;
    BRSBinaryImageRuntimeNode node;

    bool sameAs(const RecordedImage& other) const
    {
        return uuid == other.uuid && node.size == other.node.size && node.ehFrameHdr == other.node.ehFrameHdr;
    }
};

// The recorded images by base address; under the lock, never destroyed.
std::map<uint64_t, RecordedImage>& recordedImages()
{
    static auto* images = new std::map<uint64_t, RecordedImage>;
    return *images;
}

// Images the recorded list holds and the dynamic linker no longer lists (or
// lists another in their place) get an "unload" record and lose their slot,
// then images it lists that are not recorded get a slot and a "load" record.
// Under the lock.
void refreshFromLoader()
{
    lastCounts() = loaderCounts();
    std::map<uint64_t, RecordedImage> listed;
    for (auto& details : loadedImages())
        listed.emplace(details.node.baseAddress, RecordedImage{std::move(details.path), details.uuidString, details.node});
    auto& recorded = recordedImages();
    for (auto it = recorded.begin(); it != recorded.end();) {
        const auto now = listed.find(it->first);
        if (now != listed.end() && now->second.sameAs(it->second)) {
            ++it;
            continue;
        }
        BRSBinaryImageUnloadNode(it->second.node, it->second.uuid.c_str(), it->second.path.c_str());
        it = recorded.erase(it);
    }
    for (auto& [base, image] : listed)
        if (!recorded.count(base)) {
            BRSBinaryImageStoreNode(image.node, image.uuid.c_str(), image.path.c_str());
            recorded.emplace(base, std::move(image));
        }
}

}  // namespace

void BRSBinaryImageInit()
{
    if (!gBRSContext || !gBRSContext->writable)
        return;
    std::memset(gBRSContext->writable->images, 0, sizeof gBRSContext->writable->images);
    if (!BRSUnlinkIfExists(gBRSContext->binaryImagesPath))
        BRSSDKLog("%s: Unable to reset the binary image log file %s\n", __func__, BRSErrorText(errno));
    std::lock_guard lock(imageEventsLock());
    recordedImages().clear();
    refreshFromLoader();
}

void BRSBinaryImageRefresh()
{
    if (!BRSContextIsInitialized())
        return;
    const LoaderCounts counts = loaderCounts();
    std::lock_guard lock(imageEventsLock());
    if (counts != lastCounts())
        refreshFromLoader();
}

// Libraries opened and closed while the kit runs.
//
// The dynamic linker on this system calls no one back when it adds or
// removes an object (its rendezvous for debuggers is a breakpoint address),
// so the kit stands in front of dlopen and dlclose, as it does of
// pthread_create: the program's own definitions come first in every
// object's lookup, and each passes the call on to the C library's, then
// records what changed (the library and everything it pulled in or let go)
// before the caller sees the result. The record file thus grows by each
// event as it happens, and a crash in a library closed earlier still finds
// it in the records.
//
// dlopen finds a bare file name along the run path of the object that calls
// it, which it learns from its return address. When such a search could
// depend on the caller (a run path is in play for a caller other than the
// program, or the name holds a "$" token), the entry jumps straight into the C library's
// dlopen with the caller's return address in place, and that library is
// recorded at the next look: the next open or close, the next error record,
// or the crash itself (whose walk of the loader's list adds what is new).
// So do libraries the C library opens for itself and those opened into
// another namespace.

namespace {

using OpenFunction = void* (*)(const char*, int);
using CloseFunction = int (*)(void*);

// What an object's dynamic section says of run paths.
struct RunPaths {
    bool rpath = false;    // inherited by the objects it loads
    bool runpath = false;  // its own
};

RunPaths runPathsOf(const dl_phdr_info* info)
{
    RunPaths paths;
    for (size_t i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type != PT_DYNAMIC)
            continue;
        for (auto* entry = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
             entry->d_tag != DT_NULL; ++entry) {
            paths.rpath = paths.rpath || entry->d_tag == DT_RPATH;
            paths.runpath = paths.runpath || entry->d_tag == DT_RUNPATH;
        }
    }
    return paths;
}

bool holdsAddress(const dl_phdr_info* info, uintptr_t address)
{
    for (size_t i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && address - (info->dlpi_addr + segment.p_vaddr) < segment.p_memsz)
            return true;
    }
    return false;
}

// Whether a search for a bare name from the object holding the return
// address could find another file than the same search from the program: it
// can when the caller is another object and a run path is in play (the
// caller's own, one it may inherit from the objects that loaded it, or the
// program's own, which only the program's calls search).
bool searchDependsOnTheCaller(uintptr_t returnAddress)
{
    struct Walk {
        uintptr_t returnAddress;
        bool first = true;
        bool callerIsProgram = false, callerHasRunPath = false, programHasRunPath = false, someRPath = false;
    } walk{returnAddress};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto& walk = *static_cast<Walk*>(data);
            const RunPaths paths = runPathsOf(info);
            const bool isCaller = holdsAddress(info, walk.returnAddress);
            if (walk.first) {
                walk.callerIsProgram = isCaller;
                walk.programHasRunPath = paths.runpath;
            }
            walk.callerHasRunPath = walk.callerHasRunPath || (isCaller && (paths.rpath || paths.runpath));
            walk.someRPath = walk.someRPath || paths.rpath;
            walk.first = false;
            return 0;
        },
        &walk);
    return !walk.callerIsProgram && (walk.callerHasRunPath || walk.programHasRunPath || walk.someRPath);
}

}  // namespace

extern "C" {

// The C library's dlopen; the entry below jumps through it.
__attribute__((visibility("hidden"))) OpenFunction BRSRealDlopen = nullptr;

// Whether the caller's own place must reach the C library's dlopen.
__attribute__((visibility("hidden"), used)) bool BRSDlopenNeedsItsCaller(const char* file, uintptr_t returnAddress)
{
    // Two first calls at once both store the same value.
    if (!__atomic_load_n(&BRSRealDlopen, __ATOMIC_ACQUIRE))
        __atomic_store_n(&BRSRealDlopen, reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, "dlopen")), __ATOMIC_RELEASE);
    if (!file)
        return false;  // the program itself
    if (std::strchr(file, '$'))
        return true;
    return !std::strchr(file, '/') && searchDependsOnTheCaller(returnAddress);
}

__attribute__((visibility("hidden"), used)) void* BRSDlopenAndRecord(const char* file, int mode)
{
    void* handle = __atomic_load_n(&BRSRealDlopen, __ATOMIC_ACQUIRE)(file, mode);
    const int savedErrno = errno;
    BRSBinaryImageRefresh();
    errno = savedErrno;
    return handle;
}

__attribute__((visibility("default"))) int dlclose(void* handle)
{
    static const auto realClose = reinterpret_cast<CloseFunction>(dlsym(RTLD_NEXT, "dlclose"));
    const int result = realClose(handle);
    const int savedErrno = errno;
    BRSBinaryImageRefresh();
    errno = savedErrno;
    return result;
}

}  // extern "C"

// dlopen(file, mode): asks whether the caller matters (with the file and its
// return address) while the arguments are saved and the stack kept 16-byte
// aligned for the call, then either jumps
// into the C library's dlopen, whose return address is still the caller's,
// or into the recording wrapper.
asm(R"(
        .text
        .globl  dlopen
        .type   dlopen, @function
dlopen:
        .cfi_startproc
        endbr64
        pushq   %rdi
        .cfi_adjust_cfa_offset 8
        pushq   %rsi
        .cfi_adjust_cfa_offset 8
        movq    16(%rsp), %rsi
        subq    $8, %rsp
        .cfi_adjust_cfa_offset 8
        call    BRSDlopenNeedsItsCaller
        addq    $8, %rsp
        .cfi_adjust_cfa_offset -8
        popq    %rsi
        .cfi_adjust_cfa_offset -8
        popq    %rdi
        .cfi_adjust_cfa_offset -8
        testb   %al, %al
        jz      BRSDlopenAndRecord
        jmp     *BRSRealDlopen(%rip)
        .cfi_endproc
        .size   dlopen, .-dlopen
)");

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

#include "reporting/BriscaKit/BRSAllocator.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"

#include <cerrno>
#include <cstdlib>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace {

size_t alignUp(size_t value, size_t alignment) { return (value + alignment - 1) / alignment * alignment; }

void* allocateFromRegion(BRSAllocatorRegion& region, size_t size)
{
    // Every allocation starts on a 16-byte boundary, so atomics and
    // structures placed here are aligned whatever came before them.
    const size_t length = alignUp(size, kBRSAllocationAlignment);
    uintptr_t cursor = region.cursor.load();
    for (;;) {
        if (cursor + length - region.start > region.size) {
            BRSSDKLog("%s: Unable to allocate sufficient memory, falling back to malloc\n", __func__);
            return std::aligned_alloc(kBRSAllocationAlignment, length);
        }
        if (region.cursor.compare_exchange_weak(cursor, cursor + length))
            return reinterpret_cast<void*>(cursor);
    }
}

}  // namespace

uint32_t BRSHostGetPageSize()
{
    long size = ::sysconf(_SC_PAGESIZE);
    if (size <= 0) {
        BRSSDKLog("%s: sysconf failed while trying to get the page size\n", __func__);
        return 4096;
    }
    return uint32_t(size);
}

BRSAllocator* BRSAllocatorCreate(size_t writableSize, size_t readableSize)
{
    const size_t page = BRSHostGetPageSize();
    const size_t writable = writableSize ? (writableSize / page + 1) * page : 0;
    const size_t readable = ((readableSize + sizeof(BRSAllocator)) / page + 1) * page;
    const size_t total = 3 * page + writable + readable;
    void* mapping = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        BRSSDKLog("%s: Mapping failed %s\n", __func__, BRSErrorText(errno));
        return nullptr;
    }
    auto* base = static_cast<char*>(mapping);
    char* writableStart = base + page;
    char* readableStart = writableStart + writable + page;
    BRSSDKLog("%s: Mapping: %p %p %p, total: %u K\n", __func__, base, writableStart, readableStart,
              unsigned(total / 1024));
    if (::mprotect(base, page, PROT_NONE) != 0) {
        BRSSDKLog("%s: First guard protection failed %s\n", __func__, BRSErrorText(errno));
        return nullptr;
    }
    if (::mprotect(writableStart + writable, page, PROT_NONE) != 0) {
        BRSSDKLog("%s: Middle guard protection failed %s\n", __func__, BRSErrorText(errno));
        return nullptr;
    }
    if (::mprotect(readableStart + readable, page, PROT_NONE) != 0) {
        BRSSDKLog("%s: Last guard protection failed %s\n", __func__, BRSErrorText(errno));
        return nullptr;
    }
    auto* allocator = new (readableStart) BRSAllocator;
    allocator->base = base;
    allocator->mappingSize = total;
    allocator->writable.size = writable;
    allocator->writable.start = uintptr_t(writableStart);
    allocator->writable.cursor = uintptr_t(writableStart);
    allocator->readable.size = readable;
    allocator->readable.start = uintptr_t(readableStart);
    allocator->readable.cursor = uintptr_t(readableStart) + alignUp(sizeof(BRSAllocator), kBRSAllocationAlignment);
    return allocator;
}

void* BRSAllocatorSafeAllocate(BRSAllocator* allocator, size_t size, BRSAllocationType type)
{
    if (type != BRSAllocationType::Readable && type != BRSAllocationType::Writable)
        return nullptr;
    if (!allocator) {
        BRSSDKLog("%s: Allocator invalid, falling back to malloc\n", __func__);
        return std::aligned_alloc(kBRSAllocationAlignment, alignUp(size, kBRSAllocationAlignment));
    }
    if (allocator->isProtected) {
        BRSSDKLog("%s: Allocator already protected, falling back to malloc\n", __func__);
        return std::aligned_alloc(kBRSAllocationAlignment, alignUp(size, kBRSAllocationAlignment));
    }
    return allocateFromRegion(type == BRSAllocationType::Readable ? allocator->readable : allocator->writable, size);
}

bool BRSAllocatorProtect(BRSAllocator* allocator)
{
    if (!allocator)
        return false;
    if (allocator->isProtected.exchange(true))
        return true;
    return ::mprotect(reinterpret_cast<void*>(allocator->readable.start), allocator->readable.size, PROT_READ) == 0;
}

bool BRSAllocatorUnprotect(BRSAllocator* allocator)
{
    if (!allocator)
        return false;
    // The record lives in the readable region: it is writable again first.
    if (::mprotect(allocator->base, allocator->mappingSize, PROT_READ | PROT_WRITE) != 0)
        return false;
    allocator->isProtected = false;
    return true;
}

void BRSAllocatorDestroy(BRSAllocator*) {}

void BRSAllocatorFree(BRSAllocator* allocator, void* memory)
{
    if (!allocator)
        std::free(memory);
}

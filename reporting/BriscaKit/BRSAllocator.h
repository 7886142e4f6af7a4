#pragma once
// Memory for crash-time code, mapped once at start between guard pages:
// [guard][writable region][guard][readable region][guard]. Allocations move
// a cursor and are never freed; an exhausted or protected allocator falls
// back to the heap (only ever at start).

#include <atomic>
#include <cstddef>
#include <cstdint>

enum class BRSAllocationType { Readable = 0, Writable = 1 };

struct BRSAllocatorRegion {
    size_t size = 0;
    uintptr_t start = 0;
    std::atomic<uintptr_t> cursor{0};
};

struct BRSAllocator {
    void* base = nullptr;
    size_t mappingSize = 0;
    std::atomic<bool> isProtected{false};
    BRSAllocatorRegion writable;
    BRSAllocatorRegion readable;
};

constexpr size_t kBRSAllocationAlignment = 16;

BRSAllocator* BRSAllocatorCreate(size_t writableSize, size_t readableSize);
void* BRSAllocatorSafeAllocate(BRSAllocator* allocator, size_t size, BRSAllocationType type);
bool BRSAllocatorProtect(BRSAllocator* allocator);
bool BRSAllocatorUnprotect(BRSAllocator* allocator);
void BRSAllocatorDestroy(BRSAllocator* allocator);
void BRSAllocatorFree(BRSAllocator* allocator, void* memory);
uint32_t BRSHostGetPageSize();

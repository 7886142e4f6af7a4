// Crash-time code: a bounded scan of the fixed table, no calls.
#include "BriscaKit/BRSBinaryImage.h"

#include "BriscaKit/BRSContext.h"

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

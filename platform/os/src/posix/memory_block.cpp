#include "os/memory_block.h"

#include <sys/mman.h>

#include <cstdlib>

namespace os {

void* AllocateMemoryBlock(size_t bytes) {
    if (bytes < kHugePageBytes) return std::malloc(bytes);
    const size_t rounded = (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    void* block = std::aligned_alloc(kHugePageBytes, rounded);
    if (block) ::madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

void FreeMemoryBlock(void* block) { std::free(block); }

}  // namespace os

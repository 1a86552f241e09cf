#include "os/memory_block.h"

#include <malloc.h>

namespace os {

void* AllocateMemoryBlock(size_t bytes) {
    return ::_aligned_malloc(bytes, bytes < kHugePageBytes ? 16 : kHugePageBytes);
}

void FreeMemoryBlock(void* block) { ::_aligned_free(block); }

}  // namespace os

// Large memory blocks for data structures that are walked at random: a block of the huge
// page size or more is aligned to it and the system is asked to back it with huge pages
// (Linux: transparent huge pages; Windows: aligned only, as large pages there need a
// privilege ordinary users lack).
#pragma once

#include <cstddef>

namespace os {

inline constexpr size_t kHugePageBytes = size_t(1) << 21;

// `bytes` of memory; null when memory runs out. Free it with FreeMemoryBlock only.
void* AllocateMemoryBlock(size_t bytes);
void FreeMemoryBlock(void* block);

}  // namespace os

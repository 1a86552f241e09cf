// The largest of a run of 16-bit indices, which the device checks against the vertex
// buffer when a buffer is unlocked and when a draw's indices need checking.
#pragma once

#include <d3d8/d3d8.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace d3d8_detail {

// Indices first .. first + count − 1 of the bytes (little-endian WORDs at 2 × i). Runs
// over lanes of 32 at a time so that the compiler can keep them in vector registers:
// whole index buffers are scanned on every Unlock.
inline WORD LargestIndex(const BYTE* indices, std::size_t first, std::size_t count) {
    constexpr std::size_t kLanes = 32;
    WORD lanes[kLanes] = {};
    const BYTE* at = indices + 2 * first;
    std::size_t left = count;
    for (; left >= kLanes; left -= kLanes, at += 2 * kLanes) {
        WORD chunk[kLanes];
        std::memcpy(chunk, at, sizeof chunk);
        for (std::size_t k = 0; k < kLanes; ++k) lanes[k] = std::max(lanes[k], chunk[k]);
    }
    WORD largest = 0;
    for (std::size_t k = 0; k < kLanes; ++k) largest = std::max(largest, lanes[k]);
    for (; left > 0; --left, at += 2) {
        WORD index;
        std::memcpy(&index, at, 2);
        largest = std::max(largest, index);
    }
    return largest;
}

}  // namespace d3d8_detail

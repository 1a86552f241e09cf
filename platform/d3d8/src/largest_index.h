// The largest of a run of 16-bit or 32-bit indices, which the device checks against the
// vertex buffer when a buffer is unlocked and when a draw's indices need checking.
#pragma once

#include <d3d8/d3d8.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace d3d8_detail {

// Indices first .. first + count − 1 of the bytes (little-endian Index values). Runs over
// lanes of 32 at a time so that the compiler can keep them in vector registers: whole
// index buffers are scanned on every Unlock.
template <typename Index>
inline Index LargestOf(const BYTE* indices, std::size_t first, std::size_t count) {
    constexpr std::size_t kLanes = 32;
    Index lanes[kLanes] = {};
    const BYTE* at = indices + sizeof(Index) * first;
    std::size_t left = count;
    for (; left >= kLanes; left -= kLanes, at += sizeof(Index) * kLanes) {
        Index chunk[kLanes];
        std::memcpy(chunk, at, sizeof chunk);
        for (std::size_t k = 0; k < kLanes; ++k) lanes[k] = std::max(lanes[k], chunk[k]);
    }
    Index largest = 0;
    for (std::size_t k = 0; k < kLanes; ++k) largest = std::max(largest, lanes[k]);
    for (; left > 0; --left, at += sizeof(Index)) {
        Index index;
        std::memcpy(&index, at, sizeof(Index));
        largest = std::max(largest, index);
    }
    return largest;
}

inline WORD LargestIndex(const BYTE* indices, std::size_t first, std::size_t count) {
    return LargestOf<WORD>(indices, first, count);
}

// 32-bit indices when `wide`, else 16-bit.
inline DWORD LargestIndex(const BYTE* indices, std::size_t first, std::size_t count, bool wide) {
    return wide ? LargestOf<DWORD>(indices, first, count) : LargestOf<WORD>(indices, first, count);
}

}  // namespace d3d8_detail

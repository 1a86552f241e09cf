// The package, its tagged records and the uninstall log store every integer as a
// little-endian u32; these read and write one from bytes, whatever the host's order.
#pragma once

#include <cstdint>

inline uint32_t LoadU32LE(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void StoreU32LE(uint32_t value, uint8_t* p) {
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value >> 16);
    p[3] = uint8_t(value >> 24);
}

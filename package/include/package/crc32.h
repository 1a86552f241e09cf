// The CRC-32 that guards package entries (reflected, polynomial 0x04C11DB7, start and final
// XOR 0xFFFFFFFF; "123456789" gives 0xCBF43926). The installer carries its own table rather
// than a library routine. Whole entries run to megabytes, so the byte-wise table is widened
// into eight tables for slicing-by-8; all of them come from the one derivation below.
#pragma once

#include <cstddef>
#include <cstdint>

class Crc32Table {
public:
    // Builds the tables; cheap enough (a few microseconds) to do per read.
    Crc32Table();

    uint32_t Compute(const void* data, size_t size) const;

    // Continues a running CRC: Update(Update(0, a), b) equals the CRC of a followed by b.
    uint32_t Update(uint32_t crc, const void* data, size_t size) const;

    // Entry i of the byte-wise table.
    uint32_t Entry(int i) const { return table_[0][i & 0xFF]; }

private:
    uint32_t table_[8][256];
};

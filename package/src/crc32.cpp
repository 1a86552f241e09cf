#include "package/crc32.h"

#include "package/little_endian.h"

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7;

uint32_t Reflect(uint32_t value, int bits) {
    uint32_t out = 0;
    for (int i = 0; i < bits; ++i)
        if (value & (1u << i)) out |= 1u << (bits - 1 - i);
    return out;
}

}  // namespace

Crc32Table::Crc32Table() {
    // For each byte value: bit-reverse it into the top byte, shift out eight bits through
    // the polynomial, and store the reversed result (the reflected algorithm's table).
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = Reflect(i, 8) << 24;
        for (int bit = 0; bit < 8; ++bit) r = (r << 1) ^ ((r & 0x80000000u) ? kPolynomial : 0);
        table_[0][i] = Reflect(r, 32);
    }
    // Table k advances a byte that lies k bytes before the end of an eight-byte slice.
    for (int k = 1; k < 8; ++k)
        for (int i = 0; i < 256; ++i)
            table_[k][i] = (table_[k - 1][i] >> 8) ^ table_[0][table_[k - 1][i] & 0xFF];
}

uint32_t Crc32Table::Compute(const void* data, size_t size) const { return Update(0, data, size); }

uint32_t Crc32Table::Update(uint32_t crc, const void* data, size_t size) const {
    const auto* p = static_cast<const uint8_t*>(data);
    crc = ~crc;
    while (size >= 8) {
        uint32_t lo = crc ^ LoadU32LE(p);
        crc = table_[7][lo & 0xFF] ^ table_[6][(lo >> 8) & 0xFF] ^ table_[5][(lo >> 16) & 0xFF] ^
              table_[4][lo >> 24] ^ table_[3][p[4]] ^ table_[2][p[5]] ^ table_[1][p[6]] ^
              table_[0][p[7]];
        p += 8;
        size -= 8;
    }
    while (size--) crc = (crc >> 8) ^ table_[0][(crc ^ *p++) & 0xFF];
    return ~crc;
}

#include "package/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string_view>
#include <vector>

TEST(Crc32, CheckValues) {
    const Crc32Table table;
    auto crc = [&](std::string_view s) { return table.Compute(s.data(), s.size()); };
    EXPECT_EQ(0xCBF43926u, crc("123456789"));
    EXPECT_EQ(0x352441C2u, crc("abc"));
    EXPECT_EQ(0u, crc(""));
    EXPECT_EQ(0u, table.Compute(nullptr, 0));
    // The byte-wise table of the reflected polynomial, 0xEDB88320.
    EXPECT_EQ(0u, table.Entry(0));
    EXPECT_EQ(0x77073096u, table.Entry(1));
    EXPECT_EQ(0xEDB88320u, table.Entry(128));
    EXPECT_EQ(0x2D02EF8Du, table.Entry(255));
}

TEST(Crc32, SlicedPathAgreesWithZlibAtEveryLengthAndAlignment) {
    const Crc32Table table;
    std::mt19937 rng(42);
    std::vector<uint8_t> bytes(4096 + 16);
    for (auto& b : bytes) b = uint8_t(rng());
    for (size_t align = 0; align < 8; ++align) {
        for (size_t len : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 1000u, 4096u}) {
            const uint8_t* p = bytes.data() + align;
            EXPECT_EQ(uint32_t(crc32(0, p, uInt(len))), table.Compute(p, len))
                << "align " << align << " len " << len;
        }
    }
    // Continuing a running CRC equals one pass over the whole run.
    uint32_t running = table.Update(0, bytes.data(), 13);
    running = table.Update(running, bytes.data() + 13, 1000);
    EXPECT_EQ(table.Compute(bytes.data(), 1013), running);
}

#include "tagfile/compressed_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

using namespace tagfile;

namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> Sample(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size);
    // Text-like bytes compress, but not to nothing.
    for (auto& b : v) b = uint8_t('a' + rng() % 12);
    return v;
}

// A compressed file built by hand from its records, to check the reader against literal
// layouts rather than against our own writer.
std::vector<uint8_t> HandMade(uint32_t unpacked, uint32_t declaredPacked,
                              const std::vector<uint8_t>& stream) {
    RecordWriter w;
    w.WriteFileHeader(kCompressedFileType);
    w.WriteRecordU32("ZIOS", unpacked);
    w.WriteRecordU32("ZINS", declaredPacked);
    w.WriteRecord("ZICB", stream.data(), uint32_t(stream.size()));
    return w.TakeBytes();
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& content) {
    uLongf n = compressBound(uLong(content.size()));
    std::vector<uint8_t> out(n);
    compress2(out.data(), &n, content.data(), uLong(content.size()), 9);
    out.resize(n);
    return out;
}

}  // namespace

TEST(CompressedFile, HeaderAndRecordsHaveTheDocumentedBytes) {
    std::vector<uint8_t> file = PackCompressedFile(Bytes("hello"), 9);
    const std::vector<uint8_t> head = {
        'K', 'R', 'V', 'F', 16, 0, 0, 0,
        0x8E, 0xDF, 0x06, 0x48, 0x10, 0xA4, 0x04, 0x5F, 0xA2, 0x97, 0x09, 0x0D, 0x45, 0x5D, 0x9B, 0xEE,
        'Z', 'I', 'O', 'S', 4, 0, 0, 0, 5, 0, 0, 0,
        'Z', 'I', 'N', 'S', 4, 0, 0, 0};
    ASSERT_GT(file.size(), head.size() + 12);
    EXPECT_EQ(head, std::vector<uint8_t>(file.begin(), file.begin() + head.size()));
    uint32_t packed = ReadU32(file.data() + head.size());
    EXPECT_TRUE(TagEquals(reinterpret_cast<const char*>(file.data()) + head.size() + 4, "ZICB"));
    EXPECT_EQ(packed, ReadU32(file.data() + head.size() + 8));
    EXPECT_EQ(file.size(), head.size() + 4 + 8 + packed);
    EXPECT_TRUE(IsCompressedFile(file));
}

TEST(CompressedFile, RoundTripsEmptySmallAndLargeContent) {
    for (size_t size : {size_t(0), size_t(1), size_t(5000), size_t(3) << 20}) {
        std::vector<uint8_t> content = Sample(size, uint32_t(size));
        auto unpacked = UnpackCompressedFile(PackCompressedFile(content));
        ASSERT_TRUE(unpacked) << size;
        EXPECT_EQ(content, *unpacked) << size;
    }
}

TEST(CompressedFile, OtherKrvfFilesAndPlainBytesAreNotCompressedFiles) {
    RecordWriter w;
    Guid16 other{};
    other[0] = 1;
    w.WriteFileHeader(other);
    w.WriteRecordU32("ZIOS", 0);
    EXPECT_FALSE(IsCompressedFile(w.Bytes()));
    EXPECT_FALSE(UnpackCompressedFile(w.Bytes()));
    EXPECT_FALSE(IsCompressedFile(Bytes("MZ plain executable")));
    EXPECT_FALSE(IsCompressedFile({}));
}

TEST(CompressedFile, RejectsInconsistentRecords) {
    std::vector<uint8_t> content = Sample(1000, 7);
    std::vector<uint8_t> stream = Deflate(content);
    const uint32_t n = uint32_t(stream.size());
    ASSERT_TRUE(UnpackCompressedFile(HandMade(1000, n, stream)));

    EXPECT_FALSE(UnpackCompressedFile(HandMade(1000, n + 1, stream)));  // ZINS != ZICB length
    EXPECT_FALSE(UnpackCompressedFile(HandMade(999, n, stream)));       // stream is longer
    EXPECT_FALSE(UnpackCompressedFile(HandMade(1001, n, stream)));      // stream is shorter

    std::vector<uint8_t> trailing = HandMade(1000, n, stream);
    trailing.insert(trailing.end(), {'E', 'X', 'T', 'R', 0, 0, 0, 0});
    EXPECT_FALSE(UnpackCompressedFile(trailing));

    RecordWriter swapped;
    swapped.WriteFileHeader(kCompressedFileType);
    swapped.WriteRecordU32("ZINS", n);
    swapped.WriteRecordU32("ZIOS", 1000);
    swapped.WriteRecord("ZICB", stream.data(), n);
    EXPECT_FALSE(UnpackCompressedFile(swapped.Bytes()));

    std::vector<uint8_t> flipped = HandMade(1000, n, stream);
    flipped[flipped.size() - 1] ^= 0x01;  // Adler-32 of the stream
    EXPECT_FALSE(UnpackCompressedFile(flipped));
}

TEST(CompressedFile, HostileSizesFailWithoutAllocatingThem) {
    // 4 GiB - 1 claimed from an 8-byte stream: beyond any DEFLATE ratio and beyond the cap.
    std::vector<uint8_t> tiny = Deflate({});
    EXPECT_FALSE(UnpackCompressedFile(HandMade(0xFFFFFFFFu, uint32_t(tiny.size()), tiny)));
    // A genuine highly compressed file, close to the ratio bound, is still accepted.
    std::vector<uint8_t> zeros(8u << 20, 0);
    auto packed = PackCompressedFile(zeros, 9);
    auto unpacked = UnpackCompressedFile(packed);
    ASSERT_TRUE(unpacked);
    EXPECT_EQ(zeros.size(), unpacked->size());
}

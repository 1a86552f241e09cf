#include "package/packed_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "os/message_box.h"

namespace {

std::vector<uint8_t> Content(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i * 7) ^ (i >> 5));
    return v;
}

void SetTrailingSize(std::vector<uint8_t>& stored, uint32_t size) {
    for (int i = 0; i < 4; ++i) stored[stored.size() - 4 + i] = uint8_t(size >> (8 * i));
}

}  // namespace

TEST(PackedFile, RoundTripIsAZlibStreamThenTheSize) {
    std::vector<uint8_t> content = Content(100000);
    std::vector<uint8_t> stored = PackPackedFile(content);
    ASSERT_GT(stored.size(), 4u);
    // The stream part is plain zlib, the tail the size.
    std::vector<uint8_t> check(content.size());
    uLongf n = uLongf(check.size());
    ASSERT_EQ(Z_OK, uncompress(check.data(), &n, stored.data(), uLong(stored.size() - 4)));
    EXPECT_EQ(content, check);
    EXPECT_EQ((std::vector<uint8_t>{0xA0, 0x86, 0x01, 0x00}),
              std::vector<uint8_t>(stored.end() - 4, stored.end()));  // 100000

    os::ScopedRecordingMessageBoxFace boxes;
    auto unpacked = UnpackPackedFile(stored);
    ASSERT_TRUE(unpacked);
    ASSERT_EQ(content.size(), unpacked->size);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), unpacked->data.get()));
    auto empty = UnpackPackedFile(PackPackedFile({}));
    ASSERT_TRUE(empty);
    EXPECT_EQ(0u, empty->size);
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST(PackedFile, WrongSizesFailWithErrorDecompress) {
    std::vector<uint8_t> stored = PackPackedFile(Content(5000));
    os::ScopedRecordingMessageBoxFace boxes;

    std::vector<uint8_t> tooSmall = stored;
    SetTrailingSize(tooSmall, 4999);
    EXPECT_FALSE(UnpackPackedFile(tooSmall));

    // Beyond what DEFLATE can make of these few bytes: refused before allocating 4 GiB.
    std::vector<uint8_t> absurd = stored;
    SetTrailingSize(absurd, 0xFFFFFFF0u);
    EXPECT_FALSE(UnpackPackedFile(absurd));

    EXPECT_FALSE(UnpackPackedFile(std::vector<uint8_t>{1, 2, 3}));
    std::vector<uint8_t> garbage(64, 0x5A);
    EXPECT_FALSE(UnpackPackedFile(garbage));

    ASSERT_EQ(4u, boxes->Boxes().size());
    for (const auto& box : boxes->Boxes()) {
        EXPECT_EQ("Error decompress", box.text);
        EXPECT_EQ("Error", box.caption);
        EXPECT_EQ("ok", box.buttons);
    }
    EXPECT_FALSE(TryUnpackPackedFile(tooSmall));
    EXPECT_EQ(4u, boxes->Boxes().size());  // the quiet form shows nothing
}

TEST(PackedFile, ALargerClaimedSizeKeepsTheTrueLength) {
    std::vector<uint8_t> content = Content(3000);
    std::vector<uint8_t> stored = PackPackedFile(content);
    SetTrailingSize(stored, 3500);
    auto unpacked = TryUnpackPackedFile(stored);
    ASSERT_TRUE(unpacked);
    EXPECT_EQ(3000u, unpacked->size);
}

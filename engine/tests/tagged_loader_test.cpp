// Reading a channel's tagged records.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin_frame/file_loader.h"
#include "plugin_frame/file_saver.h"

namespace {
std::vector<uint8_t> Records(std::initializer_list<std::pair<const char*, std::vector<uint8_t>>> list) {
    tagfile::RecordWriter w;
    for (const auto& [tag, data] : list) w.WriteRecord(tag, data.data(), uint32_t(data.size()));
    return w.TakeBytes();
}
}  // namespace

TEST(TaggedLoader, TagsMatchOnlyInSequence) {
    auto bytes = Records({{"AAAA", {1, 0, 0, 0}}, {"BBBB", {2, 0, 0, 0}}});
    KelFileLoader loader(bytes);
    int32_t a = -1, b = -1;
    EXPECT_FALSE(loader.GetInfoIfTag("BBBB"));  // not the next record
    EXPECT_FALSE(loader.CopyTagDataToPointer(&b));
    EXPECT_EQ(b, -1);
    EXPECT_TRUE(LoadField(loader, "AAAA", a));
    EXPECT_FALSE(LoadField(loader, "AAAA", a));  // already consumed
    EXPECT_TRUE(LoadField(loader, "BBBB", b));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_TRUE(loader.AtEnd());
}

TEST(TaggedLoader, AbsentTagLeavesTheFieldAndLaterTagsStillLoad) {
    auto bytes = Records({{"CCCC", {5, 0, 0, 0}}});
    KelFileLoader loader(bytes);
    int32_t a = 11, c = 0;
    EXPECT_FALSE(LoadField(loader, "AAAA", a));
    EXPECT_EQ(a, 11);
    EXPECT_TRUE(LoadField(loader, "CCCC", c));
    EXPECT_EQ(c, 5);
}

TEST(TaggedLoader, LongRecordIsCutAndShortOneLeavesTheRest) {
    auto bytes = Records({{"LONG", {1, 2, 3, 4, 5, 6, 7, 8}}, {"SHRT", {9}}, {"NEXT", {1}}});
    KelFileLoader loader(bytes);
    struct {
        uint8_t field[4];
        uint8_t guard[4];
    } target{{0, 0, 0, 0}, {0xEE, 0xEE, 0xEE, 0xEE}};
    ASSERT_TRUE(LoadField(loader, "LONG", target.field));
    EXPECT_EQ(target.field[3], 4);
    EXPECT_EQ(target.guard[0], 0xEE);  // nothing written past the field
    uint8_t small[4] = {7, 7, 7, 7};
    ASSERT_TRUE(LoadField(loader, "SHRT", small));
    EXPECT_EQ(small[0], 9);
    EXPECT_EQ(small[1], 7);
    uint8_t next = 0;
    EXPECT_TRUE(LoadField(loader, "NEXT", next));  // the cut record was passed whole
}

TEST(TaggedLoader, BoolFieldReadsAnyNonZeroByteAsTrue) {
    auto bytes = Records({{"FLAG", {2}}, {"ZERO", {0}}});
    KelFileLoader loader(bytes);
    bool flag = false, zero = true, absent = true;
    ASSERT_TRUE(LoadField(loader, "FLAG", flag));
    ASSERT_TRUE(LoadField(loader, "ZERO", zero));
    EXPECT_FALSE(LoadField(loader, "MISS", absent));
    uint8_t image;
    std::memcpy(&image, &flag, 1);
    EXPECT_EQ(image, 1);  // a valid bool, not the file's 2
    EXPECT_FALSE(zero);
    EXPECT_TRUE(absent);
}

TEST(TaggedLoader, TruncatedRecordIsCorruptAndNeverRead) {
    auto bytes = Records({{"AAAA", {1, 2, 3, 4}}});
    bytes.pop_back();
    KelFileLoader loader(bytes);
    int32_t a = 0;
    EXPECT_FALSE(LoadField(loader, "AAAA", a));
    EXPECT_EQ(a, 0);
    EXPECT_TRUE(loader.Corrupt());
}

TEST(TaggedSaver, RecordsHaveTheLiteralLayout) {
    KelFileSaver saver;
    int32_t value = 0x11223344;
    bool flag = true;
    SaveField(saver, "VEOT", value);
    SaveField(saver, "FLAG", flag);
    const std::vector<uint8_t> expected = {'V', 'E', 'O', 'T', 4, 0, 0, 0, 0x44, 0x33, 0x22, 0x11,
                                           'F', 'L', 'A', 'G', 1, 0, 0, 0, 1};
    EXPECT_EQ(saver.Bytes(), expected);
}

#include "tagfile/records.h"

#include <gtest/gtest.h>

using namespace tagfile;

TEST(TaggedRecords, WriterProducesLiteralBytesWithNestedLengths) {
    RecordWriter w;
    Guid16 guid{};
    for (int i = 0; i < 16; ++i) guid[i] = uint8_t(i + 1);
    w.WriteFileHeader(guid);
    size_t block = w.BeginBlock("CHNL");
    w.WriteRecordU32("VEOT", 0x01020304u);
    w.EndBlock(block);

    const std::vector<uint8_t> expected = {
        'K', 'R', 'V', 'F', 16, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
        'C', 'H', 'N', 'L', 12, 0, 0, 0,
        'V', 'E', 'O', 'T', 4, 0, 0, 0, 4, 3, 2, 1};
    EXPECT_EQ(w.Bytes(), expected);

    Guid16 readGuid{};
    std::span<const uint8_t> records;
    ASSERT_TRUE(ReadFileHeader(w.Bytes(), readGuid, records));
    EXPECT_EQ(readGuid, guid);
    RecordReader outer(records);
    Record r;
    ASSERT_TRUE(outer.Next(r));
    EXPECT_TRUE(r.Is("CHNL"));
    RecordReader inner(r.data);
    ASSERT_TRUE(inner.Next(r));
    EXPECT_TRUE(r.Is("VEOT"));
    EXPECT_EQ(ReadU32(r.data.data()), 0x01020304u);
    EXPECT_FALSE(inner.Next(r));
    EXPECT_FALSE(inner.Corrupt());
    EXPECT_TRUE(outer.AtEnd());
}

TEST(TaggedRecords, TruncationAnywhereIsCorruptNeverOutOfBounds) {
    RecordWriter w;
    w.WriteRecordU32("AAAA", 7);
    w.WriteRecord("BBBB", "xyz", 3);
    const auto& full = w.Bytes();
    for (size_t cut = 1; cut < full.size(); ++cut) {
        std::vector<uint8_t> part(full.begin(), full.begin() + cut);
        RecordReader reader(part);
        Record r;
        while (reader.Next(r)) {}
        // 12 bytes is exactly the first record: a clean end, not corruption.
        EXPECT_EQ(reader.Corrupt(), cut != 12) << "cut at " << cut;
    }
}

TEST(TaggedRecords, HugeLengthIsRejected) {
    const uint8_t bytes[] = {'A', 'B', 'C', 'D', 0xFF, 0xFF, 0xFF, 0xFF, 1, 2};
    RecordReader reader(bytes);
    Record r;
    EXPECT_FALSE(reader.Peek(r));
    EXPECT_TRUE(reader.Corrupt());
    Guid16 g;
    std::span<const uint8_t> rest;
    EXPECT_FALSE(ReadFileHeader(bytes, g, rest));
}

TEST(TaggedRecords, ValidateRecursesIntoBlocks) {
    RecordWriter w;
    size_t b = w.BeginBlock("BLCK");
    w.WriteRecordU32("INNR", 1);
    w.EndBlock(b);
    auto good = w.Bytes();
    auto isBlock = [](const Record& r) { return r.Is("BLCK"); };
    EXPECT_TRUE(ValidateRecords(good, isBlock));
    auto bad = good;
    bad[12] = 200;  // inner length now runs past its parent block
    EXPECT_FALSE(ValidateRecords(bad, isBlock));
}

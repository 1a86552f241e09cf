// Deterministic mutation fuzzing of the tagged-record walker and the compressed-file
// reader: seeded mutations of valid files must never read out of bounds (run under the
// sanitizers to see it), and whatever is accepted must be self-consistent.
#include <gtest/gtest.h>

#include <random>

#include "tagfile/compressed_file.h"

using namespace tagfile;

namespace {

std::vector<uint8_t> Mutate(std::vector<uint8_t> bytes, std::mt19937& rng) {
    int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
        size_t at = rng() % bytes.size();
        switch (rng() % 6) {
        case 0: bytes[at] ^= uint8_t(1u << (rng() % 8)); break;
        case 1: bytes[at] = uint8_t(rng()); break;
        case 2: bytes.resize(at); break;
        case 3:  // a length or size field set to something extreme
            if (at + 4 <= bytes.size()) {
                static const uint32_t extremes[] = {0, 1, 0x7FFFFFFF, 0xFFFFFFFF, 0xFFFFFFF8, 1u << 30};
                StoreU32(bytes.data() + at, extremes[rng() % 6]);
            }
            break;
        case 4: bytes.insert(bytes.begin() + at, uint8_t(rng())); break;
        default: bytes.erase(bytes.begin() + at); break;
        }
    }
    return bytes;
}

}  // namespace

TEST(CompressedFileFuzz, MutatedFilesNeverCrashAndAcceptedOnesAreConsistent) {
    std::mt19937 rng(20240607);
    std::vector<std::vector<uint8_t>> seeds;
    for (size_t size : {0u, 1u, 37u, 4096u}) {
        std::vector<uint8_t> content(size);
        for (auto& b : content) b = uint8_t(rng() % 7);
        seeds.push_back(PackCompressedFile(content, int(size % 10)));
    }
    // A fixed count, not a time budget: a loaded machine must not make the test fail.
    constexpr int kRuns = 200000;
    int accepted = 0, runs = 0;
    for (; runs < kRuns; ++runs) {
        std::vector<uint8_t> file = Mutate(seeds[runs % seeds.size()], rng);

        auto unpacked = UnpackCompressedFile(file);
        if (unpacked) {
            ++accepted;
            // Accepted means the header and the unpacked-size record told the truth.
            ASSERT_TRUE(IsCompressedFile(file));
            ASSERT_GE(file.size(), 36u);
            ASSERT_EQ(ReadU32(file.data() + 32), unpacked->size());
        }

        // The generic walker over the same bytes, with every record treated as a block.
        RecordReader reader(file);
        Record r;
        size_t walked = 0;
        while (reader.Next(r)) walked += kRecordHeadSize + r.data.size();
        ASSERT_LE(walked, file.size());
        ASSERT_TRUE(reader.Corrupt() || walked == file.size());
        ValidateRecords(file, [](const Record&) { return true; });
    }
    // Some mutants must survive, or the accept path was never exercised.
    EXPECT_GT(accepted, 0);
}

// Deterministic mutation fuzzing of the directory parser: mutated packages are written to a
// file and opened; whatever the reader accepts must be readable within the file, and
// nothing may read out of bounds (the sanitizer build shows that).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "package/package_reader.h"
#include "os/message_box.h"
#include "package_bytes.h"

using namespace testpkg;

TEST(PackageReaderFuzz, MutatedDirectoriesNeverCrashAndAcceptedOnesAreReadable) {
    std::vector<Item> items = {
        {"APPDATA", "PROJECTTYPE", U32(2)},
        {"APPDATA", "PROJECTNAME", Bytes("Fuzz", true)},
        {"CHANNELINFO", "CHANNELITEMNAMEID0", Bytes("\\Channels\\X.dll", true)},
        {"APPDATA", "\\CHANNELS\\X.DLL", std::vector<uint8_t>(300, 0x33)},
    };
    Layout layout;
    layout.imageSize = 64;
    const std::vector<uint8_t> seed = Build(items, layout);
    const size_t directoryEnd = seed.size() - 4 - (4 + 5 + 15 + 300);

    os::ScopedRecordingMessageBoxFace boxes;
    TempFile file(seed);
    std::mt19937 rng(7);
    // A fixed count, not a time budget: a loaded machine must not make the test fail.
    constexpr int kRuns = 2000;
    int runs = 0, accepted = 0;
    for (; runs < kRuns; ++runs) {
        std::vector<uint8_t> bytes = seed;
        int edits = 1 + int(rng() % 3);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            // Mostly the directory, sometimes anywhere (the trailing start included).
            size_t at = rng() % ((rng() % 4) ? std::min(directoryEnd, bytes.size()) : bytes.size());
            switch (rng() % 4) {
            case 0: bytes[at] ^= uint8_t(1u << (rng() % 8)); break;
            case 1: bytes[at] = uint8_t(rng()); break;
            case 2:
                if (at + 4 <= bytes.size()) {
                    static const uint32_t extremes[] = {0, 1, 260, 261, 0x7FFFFFFF, 0xFFFFFFFF};
                    std::memcpy(&bytes[at], U32(extremes[rng() % 6]).data(), 4);
                }
                break;
            default: bytes.resize(at); break;
            }
        }
        file.Rewrite(bytes);
        PackageReader reader(file.Path());
        if (reader.GetEntryCount() == 0) continue;
        ++accepted;
        uint64_t total = 0;
        for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
            const PackageEntry* entry = reader.GetEntry(i);
            ASSERT_NE(nullptr, entry);
            ASSERT_LT(strnlen(entry->groupName, kPackageNameSize), kPackageNameSize);
            ASSERT_LT(strnlen(entry->itemName, kPackageNameSize), kPackageNameSize);
            total += entry->dataSize;
            std::vector<uint8_t> data;
            ASSERT_TRUE(reader.ReadEntryAt(i, data)) << "run " << runs << " entry " << i;
            // Both read paths must come back, whatever the CRC says.
            reader.ReadEntry(entry->itemName, nullptr, 0, entry->groupName);
            uint8_t small[4];
            reader.ReadEntry(entry->itemName, small, sizeof small, entry->groupName);
        }
        ASSERT_LE(reader.GetPackageStart() + uint64_t(reader.GetDataOffset()) + total,
                  bytes.size() - 4);
        boxes->Clear();
    }
    EXPECT_GT(accepted, 0);
}

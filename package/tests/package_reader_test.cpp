#include "package/package_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "package/little_endian.h"
#include "os/command_line.h"
#include "os/message_box.h"
#include "package_bytes.h"

using testpkg::Build;
using testpkg::Bytes;
using testpkg::Item;
using testpkg::Layout;
using testpkg::TempFile;
using testpkg::U32;

namespace {

std::vector<Item> Settings() {
    return {
        {"APPDATA", "PROJECTTYPE", U32(1)},
        {"APPDATA", "CHECKDX8", {1}},
        {"APPDATA", "PROJECTNAME", Bytes("Demo", true)},
        {"CHANNELINFO", "CHANNELCOUNT", U32(2)},
    };
}

uint32_t ReadU32Item(PackageReader& reader, const char* name, const char* group = nullptr) {
    uint8_t b[4] = {};
    if (!reader.ReadEntry(name, b, 4, group)) return 0xDEADBEEF;
    return LoadU32LE(b);
}

struct CommandLineGuard {
    explicit CommandLineGuard(const std::string& line) { os::SetCommandLineForTesting(line.c_str()); }
    ~CommandLineGuard() { os::SetCommandLineForTesting(nullptr); }
};

}  // namespace

TEST(PackageReader, FindsItsOwnFileFromAQuotedCommandLineWithoutArguments) {
    TempFile file(Build(Settings()), "my setup.exe");
    os::ScopedRecordingMessageBoxFace boxes;
    {
        CommandLineGuard line("\"" + file.Path() + "\"");
        PackageReader reader;
        EXPECT_EQ(4, reader.GetEntryCount());
        EXPECT_EQ(1u, ReadU32Item(reader, "ProjectType"));
    }
    EXPECT_TRUE(boxes->Boxes().empty());
    {
        CommandLineGuard line("\"" + file.Path() + "\" /S");
        PackageReader reader;
        EXPECT_EQ(0, reader.GetEntryCount());
        EXPECT_EQ(0xDEADBEEF, ReadU32Item(reader, "ProjectType"));
    }
    ASSERT_EQ(1u, boxes->Boxes().size());
    EXPECT_EQ("Data header not found!", boxes->Boxes()[0].text);
    EXPECT_EQ("", boxes->Boxes()[0].caption);  // nothing could be read
}

TEST(PackageReader, OnlyTheFirst259CharactersOfTheCommandLineCount) {
    TempFile file(Build(Settings()));
    os::ScopedRecordingMessageBoxFace boxes;
    std::string padded = file.Path();
    padded.insert(padded.rfind('/'), std::string(300, '/'));  // still the same file...
    CommandLineGuard line(padded);
    PackageReader reader;  // ...but cut off at 259 characters it names a folder
    EXPECT_EQ(0, reader.GetEntryCount());
    EXPECT_EQ(1u, boxes->Boxes().size());
}

TEST(PackageReader, ScanFindsTheMarkerInTheFirst20BlocksButNotAcrossBlocks) {
    os::ScopedRecordingMessageBoxFace boxes;
    struct Case {
        size_t imageSize;
        bool found;
    } cases[] = {
        {0, true},
        {150000, true},   // block 15, offset 15
        {9962, true},     // last offset of block 0
        {9963, false},    // would still fit block 0, but the scan stops one short
        {9980, false},    // straddles blocks 0 and 1
        {9999, true},     // first byte of block 1
        {199943, true},   // last offset of the last block
        {199944, false},  // straddles the end of the scanned range
        {199980, false},  // beyond it
    };
    for (const Case& c : cases) {
        Layout layout;
        layout.imageSize = c.imageSize;
        layout.trailingStart = 5000;  // wrong: inside the image
        TempFile file(Build(Settings(), layout));
        boxes->Clear();
        PackageReader reader(file.Path());
        EXPECT_EQ(c.found ? 4 : 0, reader.GetEntryCount()) << c.imageSize;
        if (c.found) {
            EXPECT_EQ(c.imageSize, reader.GetPackageStart());
            EXPECT_EQ(1u, ReadU32Item(reader, "PROJECTTYPE"));
            EXPECT_TRUE(boxes->Boxes().empty());
        } else {
            ASSERT_EQ(1u, boxes->Boxes().size());
            EXPECT_EQ("Data header not found!", boxes->Boxes()[0].text);
            // The caption is what stood at the wrong offset: image filler digits.
            EXPECT_EQ(36u, boxes->Boxes()[0].caption.size()) << c.imageSize;
        }
    }
}

TEST(PackageReader, LowerCaseMarkerPassesTheDirectCheckButNotTheScan) {
    os::ScopedRecordingMessageBoxFace boxes;
    Layout layout;
    layout.marker = "2bf2b305-2e71-593e-ad4a-f4dee07b4336";
    TempFile direct(Build(Settings(), layout));
    EXPECT_EQ(4, PackageReader(direct.Path()).GetEntryCount());

    layout.trailingStart = 0;
    TempFile scanned(Build(Settings(), layout));
    EXPECT_EQ(0, PackageReader(scanned.Path()).GetEntryCount());
    // A trailing offset past the end of the file falls back to the scan, too.
    layout.marker.clear();
    layout.trailingStart = 0xFFFFFFF0;
    TempFile farOff(Build(Settings(), layout));
    EXPECT_EQ(4, PackageReader(farOff.Path()).GetEntryCount());
}

TEST(PackageReader, NamesMatchIgnoringCaseAndTheFirstDuplicateWins) {
    std::vector<Item> items = Settings();
    items.push_back({"CHANNELINFO", "CHANNELITEMNAMEID0", Bytes("\\Channels\\A.dll", true)});
    items.push_back({"APPDATA", "PROJECTTYPE", U32(6)});  // a later duplicate
    items.push_back({"APPDATA", "\\CHANNELS\\A.DLL", Bytes("MZ-A")});
    TempFile file(Build(items));
    os::ScopedRecordingMessageBoxFace boxes;
    PackageReader reader(file.Path());

    EXPECT_EQ(1u, ReadU32Item(reader, "ProjectType"));
    EXPECT_EQ(1u, ReadU32Item(reader, "projecttype", "appdata"));
    EXPECT_EQ(2u, ReadU32Item(reader, "ChannelCount", "channelinfo"));
    EXPECT_EQ(0xDEADBEEF, ReadU32Item(reader, "ChannelCount"));  // not in APPDATA
    EXPECT_EQ(0xDEADBEEF, ReadU32Item(reader, "ProjectTyp"));

    char text[399];
    ASSERT_TRUE(reader.ReadEntry("ChannelItemNameID0", text, sizeof text, "CHANNELINFO"));
    EXPECT_STREQ("\\Channels\\A.dll", text);
    // The running offset counts entries of every group passed on the way.
    ASSERT_TRUE(reader.ReadEntry(text, nullptr, 0, nullptr));
    ASSERT_EQ(4u, reader.GetDataSize());
    EXPECT_EQ(0, std::memcmp(reader.GetData(), "MZ-A", 5));  // NUL past the end
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST(PackageReader, EmptyEntryThenOneByteEntryShareAnOffset) {
    std::vector<Item> items = {{"APPDATA", "EMPTY", {}}, {"APPDATA", "CHECKDX8", {7}}};
    TempFile file(Build(items));
    PackageReader reader(file.Path());
    ASSERT_TRUE(reader.ReadEntry("Empty", nullptr, 0, nullptr));
    EXPECT_EQ(0u, reader.GetDataSize());
    ASSERT_NE(nullptr, reader.GetData());
    uint8_t b = 0;
    ASSERT_TRUE(reader.ReadEntry("CheckDx8", &b, 1, nullptr));
    EXPECT_EQ(7, b);
    // Marker, count, the two entries ("APPDATA" 8, "EMPTY" 6, "CHECKDX8" 9 bytes), the field.
    EXPECT_EQ(36u + 4 + (16 + 8 + 6) + (16 + 8 + 9) + 4, reader.GetDataOffset());
}

TEST(PackageReader, CallerBuffersCheckTheEntryBytesOnly) {
    TempFile file(Build(Settings()));
    os::ScopedRecordingMessageBoxFace boxes;
    PackageReader reader(file.Path());
    // One byte checked although different bytes follow it.
    uint8_t flag = 0;
    ASSERT_TRUE(reader.ReadEntry("CheckDx8", &flag, 1, nullptr));
    EXPECT_EQ(1, flag);
    // A text buffer larger than the entry gets the following file bytes in its tail.
    char name[259];
    std::memset(name, 'x', sizeof name);
    ASSERT_TRUE(reader.ReadEntry("ProjectName", name, sizeof name, nullptr));
    EXPECT_STREQ("Demo", name);
    EXPECT_EQ(2, name[5]);  // the ChannelCount value that follows
    // A buffer that cannot hold the entry is a failed read, not a short CRC check.
    uint8_t small[2];
    EXPECT_FALSE(reader.ReadEntry("ProjectType", small, 2, nullptr));
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST(PackageReader, CorruptEntriesShowTheCrcMessageOnBothPaths) {
    std::vector<Item> items = Settings();
    items[2].badCrc = true;
    TempFile file(Build(items));
    os::ScopedRecordingMessageBoxFace boxes;
    PackageReader reader(file.Path());
    char text[259];
    EXPECT_FALSE(reader.ReadEntry("ProjectName", text, sizeof text, nullptr));
    ASSERT_TRUE(reader.ReadEntry("ProjectType", nullptr, 0, nullptr));
    EXPECT_FALSE(reader.ReadEntry("ProjectName", nullptr, 0, nullptr));
    EXPECT_EQ(nullptr, reader.GetData());  // the previous buffer is gone, no new one
    EXPECT_EQ(0u, reader.GetDataSize());
    ASSERT_EQ(2u, boxes->Boxes().size());
    for (const auto& box : boxes->Boxes()) {
        EXPECT_EQ("Crc error corrupt file", box.text);
        EXPECT_EQ("PROJECTNAME", box.caption);
        EXPECT_EQ("ok", box.buttons);
    }
}

TEST(PackageReader, NamesMustFitTheirRecord) {
    os::ScopedRecordingMessageBoxFace boxes;
    std::vector<Item> items = Settings();
    items.push_back({"APPDATA", std::string(259, 'N'), {1}});  // 260 with the NUL: fits
    TempFile fits(Build(items));
    PackageReader reader(fits.Path());
    EXPECT_EQ(5, reader.GetEntryCount());
    uint8_t b;
    EXPECT_TRUE(reader.ReadEntry(std::string(259, 'n').c_str(), &b, 1, nullptr));

    items.back().item.push_back('N');  // 261
    TempFile tooLong(Build(items));
    EXPECT_EQ(0, PackageReader(tooLong.Path()).GetEntryCount());

    items.back().item = "X";
    items.back().nameLengthExtra = 300;  // a length field beyond the record
    TempFile longField(Build(items));
    EXPECT_EQ(0, PackageReader(longField.Path()).GetEntryCount());

    // A name without its terminator.
    std::vector<uint8_t> bytes = Build(Settings());
    const size_t firstGroup = 1000 + 36 + 4 + 4;
    ASSERT_EQ('A', bytes[firstGroup]);
    bytes[firstGroup + 7] = 'X';  // the NUL after "APPDATA"
    TempFile unterminated(bytes);
    EXPECT_EQ(0, PackageReader(unterminated.Path()).GetEntryCount());
}

TEST(PackageReader, CountsAndSizesPastTheEndRejectThePackage) {
    os::ScopedRecordingMessageBoxFace boxes;
    std::vector<uint8_t> good = Build(Settings());
    const size_t countAt = 1000 + 36;

    std::vector<uint8_t> hugeCount = good;
    std::memcpy(&hugeCount[countAt], U32(0xFFFFFFFF).data(), 4);
    TempFile a(hugeCount);
    EXPECT_EQ(0, PackageReader(a.Path()).GetEntryCount());

    std::vector<uint8_t> oneMore = good;
    std::memcpy(&oneMore[countAt], U32(5).data(), 4);
    TempFile b(oneMore);
    EXPECT_EQ(0, PackageReader(b.Path()).GetEntryCount());

    // The first entry's size: 4 -> 4 GiB - 1.
    std::vector<uint8_t> hugeSize = good;
    const size_t sizeAt = countAt + 4 + 4 + 8 + 4 + 12;
    ASSERT_EQ(4, hugeSize[sizeAt]);
    std::memcpy(&hugeSize[sizeAt], U32(0xFFFFFFFF).data(), 4);
    TempFile c(hugeSize);
    EXPECT_EQ(0, PackageReader(c.Path()).GetEntryCount());

    std::vector<uint8_t> oneByteShort = good;
    oneByteShort.erase(oneByteShort.end() - 5);  // the last data byte
    std::memcpy(&oneByteShort[oneByteShort.size() - 4], U32(1000).data(), 4);
    TempFile d(oneByteShort);
    EXPECT_EQ(0, PackageReader(d.Path()).GetEntryCount());

    // None of these is a missing package.
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST(PackageReader, AReadThatReachesTheEndOfTheFileFails) {
    std::vector<Item> items = Settings();
    items.push_back({"APPDATA", "BIG", std::vector<uint8_t>(5000, 0x42)});
    std::vector<uint8_t> bytes = Build(items);
    TempFile file(bytes);
    os::ScopedRecordingMessageBoxFace boxes;
    PackageReader reader(file.Path());
    ASSERT_EQ(5, reader.GetEntryCount());
    // The file shrinks under the open reader.
    ASSERT_EQ(0, ::truncate(file.Path().c_str(), off_t(bytes.size() - 1000)));
    EXPECT_FALSE(reader.ReadEntry("Big", nullptr, 0, nullptr));
    EXPECT_EQ(nullptr, reader.GetData());
    std::vector<uint8_t> buffer(5000);
    EXPECT_FALSE(reader.ReadEntry("Big", buffer.data(), 5000, nullptr));
    EXPECT_TRUE(boxes->Boxes().empty());
    EXPECT_EQ(1u, ReadU32Item(reader, "ProjectType"));
}

TEST(PackageReader, TheLastTextEntryReadsIntoALargerBuffer) {
    std::vector<Item> items = Settings();
    items.push_back({"APPDATA", "INSTALLPATH", Bytes("C:\\Demo", true)});
    TempFile file(Build(items));
    PackageReader reader(file.Path());
    char text[259];
    std::memset(text, 'x', sizeof text);
    ASSERT_TRUE(reader.ReadEntry("InstallPath", text, sizeof text, nullptr));
    EXPECT_STREQ("C:\\Demo", text);
    EXPECT_EQ(0, text[258]);  // past the end of the file
}

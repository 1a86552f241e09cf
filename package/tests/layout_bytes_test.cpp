// Each byte layout of the package format against bytes spelled out by hand: what the writer
// and the uninstall log produce must be exactly these bytes, and the readers must take
// them back. (The KRVF compressed file's bytes are pinned in tagfile's tests, the CRC-32's
// check values in crc32_test.cpp.)
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "os/message_box.h"
#include "package/package_reader.h"
#include "package/package_writer.h"
#include "package/packed_file.h"
#include "package/uninstall_log.h"
#include "package_bytes.h"
#include "plugin_frame/engine_control.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }
void Append(Bytes& out, std::initializer_list<uint8_t> bytes) { out.insert(out.end(), bytes); }

// "abc" packed: zlib's stream at level 9, then the unpacked size 3.
const Bytes kPackedAbc = {0x78, 0xDA, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0x02, 0x4D, 0x01, 0x27,
                          0x03, 0x00, 0x00, 0x00};

// An installer image "MZ!" carrying a stored setting and a packed file.
Bytes ExpectedInstaller() {
    Bytes b;
    Append(b, "MZ!");                                   // image; the package starts at 3
    Append(b, "2BF2B305-2E71-593E-AD4A-F4DEE07B4336");  // marker, no terminator
    Append(b, {0x02, 0x00, 0x00, 0x00});                // entry count
    Append(b, {0x08, 0x00, 0x00, 0x00});                // group name length with its NUL
    Append(b, std::string_view("APPDATA\0", 8));
    Append(b, {0x0C, 0x00, 0x00, 0x00});
    Append(b, std::string_view("PROJECTTYPE\0", 12));
    Append(b, {0x04, 0x00, 0x00, 0x00});                // data size
    Append(b, {0x97, 0x17, 0x4D, 0x8B});                // CRC-32 of 02 00 00 00
    Append(b, {0x08, 0x00, 0x00, 0x00});
    Append(b, std::string_view("APPDATA\0", 8));
    Append(b, {0x06, 0x00, 0x00, 0x00});
    Append(b, std::string_view("A.DLL\0", 6));
    Append(b, {0x0F, 0x00, 0x00, 0x00});
    Append(b, {0xE6, 0x92, 0x6C, 0xF3});                // CRC-32 of the packed bytes
    Append(b, {0x6E, 0x00, 0x00, 0x00});                // data offset 110 from the start
    Append(b, {0x02, 0x00, 0x00, 0x00});                // PROJECTTYPE's data
    b.insert(b.end(), kPackedAbc.begin(), kPackedAbc.end());
    Append(b, {0x03, 0x00, 0x00, 0x00});                // trailer: the package start
    return b;
}

class MemorySaver : public EngineFileSaver {
public:
    bool OpenFile(const char*, int) override { return true; }
    void SaveTag(const char* tag) override { Append(bytes, std::string_view(tag, 4)); }
    void SaveBlockSize(uint32_t n) override {
        Append(bytes, {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
    }
    void SaveDataToFile(const void* data, uint32_t n) override {
        Append(bytes, std::string_view(static_cast<const char*>(data), n));
    }
    bool CloseFile() override { return true; }
    void Destroy() override {}
    Bytes bytes;
};

// A text record: tag, length 259, the text and NULs up to 259 bytes.
void AppendTextRecord(Bytes& out, std::string_view tag, std::string_view text) {
    Append(out, tag);
    Append(out, {0x03, 0x01, 0x00, 0x00});
    Append(out, text);
    out.insert(out.end(), 259 - text.size(), 0);
}

}  // namespace

TEST(LayoutBytes, PackageHeaderEntriesDataAndTrailer) {
    PackageWriter writer;
    writer.Add("appdata", "ProjectType", {0x02, 0x00, 0x00, 0x00});
    writer.Add("AppData", "a.dll", PackPackedFile(std::span<const uint8_t>(
                                       reinterpret_cast<const uint8_t*>("abc"), 3)));
    std::ostringstream out;
    std::string error;
    ASSERT_TRUE(writer.Write({'M', 'Z', '!'}, out, error)) << error;
    const Bytes expected = ExpectedInstaller();
    const std::string written = out.str();
    EXPECT_EQ(expected, Bytes(written.begin(), written.end()));

    os::ScopedRecordingMessageBoxFace boxes;
    testpkg::TempFile file(expected);
    PackageReader reader(file.Path());
    EXPECT_EQ(3u, reader.GetPackageStart());
    EXPECT_EQ(110u, reader.GetDataOffset());
    ASSERT_EQ(2, reader.GetEntryCount());
    EXPECT_STREQ("PROJECTTYPE", reader.GetEntry(0)->itemName);
    EXPECT_EQ(0x8B4D1797u, reader.GetEntry(0)->crc);
    uint8_t type[4] = {};
    ASSERT_TRUE(reader.ReadEntry("ProjectType", type, 4, nullptr));
    EXPECT_EQ(2, type[0]);
    ASSERT_TRUE(reader.ReadEntry("A.DLL", nullptr, 0, "APPDATA"));
    EXPECT_EQ(kPackedAbc, Bytes(reader.GetData(), reader.GetData() + reader.GetDataSize()));
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST(LayoutBytes, PackedFileIsAZlibStreamThenItsSize) {
    const std::string_view abc = "abc";
    const Bytes packed = PackPackedFile(std::span(reinterpret_cast<const uint8_t*>(abc.data()), 3));
    EXPECT_EQ(kPackedAbc, packed);
    EXPECT_EQ(3u, PackedFileStatedSize(kPackedAbc));
    const std::optional<UnpackedFile> unpacked = TryUnpackPackedFile(kPackedAbc);
    ASSERT_TRUE(unpacked);
    EXPECT_EQ(abc, std::string_view(reinterpret_cast<const char*>(unpacked->data.get()), unpacked->size));
}

TEST(LayoutBytes, UninstallLogRecords) {
    PointerArray files, folders;
    char file[] = "C:\\A", root[] = "C:\\", sub[] = "C:\\B\\";
    files.Add(file);
    folders.Add(root);  // in creation order; the log lists them last created first
    folders.Add(sub);
    MemorySaver saver;
    WriteUninstallRecords(saver, files, folders, "Demo", true);

    Bytes expected;
    Append(expected, "UNFC");
    Append(expected, {0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00});
    AppendTextRecord(expected, "UNFN", "C:\\A");
    Append(expected, "UNDC");
    Append(expected, {0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00});
    AppendTextRecord(expected, "UNDN", "C:\\B\\");
    AppendTextRecord(expected, "UNDN", "C:\\");
    AppendTextRecord(expected, "UNPN", "Demo");
    Append(expected, "UNSK");  // the tag alone
    EXPECT_EQ(expected, saver.bytes);

    const std::optional<UninstallLog> log = ParseUninstallLog(expected);
    ASSERT_TRUE(log);
    EXPECT_EQ(std::vector<std::string>{"C:\\A"}, log->files);
    EXPECT_EQ((std::vector<std::string>{"C:\\B\\", "C:\\"}), log->folders);
    EXPECT_EQ("Demo", log->projectName);
    EXPECT_TRUE(log->skipTag);
}

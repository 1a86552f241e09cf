#include "manifest_items.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "package/package_reader.h"
#include "package/packed_file.h"
#include "os/command_line.h"
#include "os/message_box.h"
#include "package_listing.h"
#include "project_fixture.h"
#include "tagfile/compressed_file.h"

using namespace projpack;

namespace {

void BuildInstaller(const fixture::Project& p, const std::string& manifest = fixture::kManifest) {
    Manifest m;
    std::string error;
    ASSERT_TRUE(ParseManifest(manifest, m, error)) << error;
    PackageWriter writer;
    std::vector<std::string> progress;
    ASSERT_TRUE(CollectItems(m, p.folder, writer, error,
                             [&](const std::string& line) { progress.push_back(line); }))
        << error;
    EXPECT_EQ(16u, progress.size());  // one line per file
    ASSERT_TRUE(writer.WriteInstaller(p.Read(p.image), p.installer, error)) << error;
}

std::string Describe(PackageReader& reader, int32_t i) {
    std::vector<uint8_t> data;
    EXPECT_TRUE(reader.ReadEntryAt(i, data));
    return DescribeEntry(reader.GetEntry(i)->groupName, reader.GetEntry(i)->itemName, data);
}

}  // namespace

TEST(PackageWriter, WritesTheDocumentedOrderInUpperCase) {
    fixture::Project p;
    BuildInstaller(p);
    os::ScopedRecordingMessageBoxFace boxes;
    PackageReader reader(p.installer);
    const char* expected[][2] = {
        {"APPDATA", "PROJECTTYPE"},
        {"APPDATA", "CHECKDX8"},
        {"APPDATA", "RUNAFTERINSTALL"},
        {"APPDATA", "INSTALLPATH"},
        {"APPDATA", "PROJECTNAME"},
        {"APPDATA", "SHORTCUTNAME"},
        {"APPDATA", "VANTRELVIEWER.EXE"},
        {"APPDATA", "CORVANE.DLL"},
        {"APPDATA", "VTLUNINST.EXE"},
        {"APPDATA", "CHANNELS\\FILESAVER.DLL"},
        {"APPDATA", "CHANNELS\\DIRECTORY.DLL"},
        {"APPDATA", "CHANNELS\\FILELOADER.DLL"},
        {"APPDATA", "CHANNELS\\9F9FF213-DED7-599F-80D1-45463E6C473B.DLL"},
        {"APPDATA", "CHANNELS\\E0B80F4A-499F-5E75-87AD-5C21C81E2772.DLL"},
        {"APPDATA", "CHANNELS\\4806DF8E-A410-5F04-A297-090D455D9BEE.DLL"},
        {"APPDATA", "CHANNELS\\491E783E-7E83-5F32-91C6-3823F2BBD53F.DLL"},
        {"APPDATA", "VTLSTART.VTL"},
        {"CHANNELINFO", "CHANNELCOUNT"},
        {"CHANNELINFO", "CHANNELITEMNAMEID0"},
        {"APPDATA", "\\CHANNELS\\048425EF-3B0E-551D-9206-B4160D97F196.DLL"},
        {"CHANNELINFO", "CHANNELITEMNAMEID1"},
        {"APPDATA", "\\CHANNELS\\612B6EDB-E73E-59B5-A27B-9884457842A9.DLL"},
        {"CHANNELINFO", "CHANNELDLLCOUNT"},
        {"CHANNELINFO", "CHANNELDLLITEMNAMEID0"},
        {"APPDATA", "\\3RD\\ODE.DLL"},
        {"FILEINFO", "FILECOUNT"},
        {"FILEINFO", "ITEMNAMEID0"},
        {"APPDATA", "\\START.CGR"},
        {"FILEINFO", "ITEMNAMEID1"},
        {"APPDATA", "\\STAGE\\CAMERA.CGR"},
    };
    ASSERT_EQ(int32_t(std::size(expected)), reader.GetEntryCount());
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        EXPECT_STREQ(expected[i][0], reader.GetEntry(i)->groupName) << i;
        EXPECT_STREQ(expected[i][1], reader.GetEntry(i)->itemName) << i;
    }
    EXPECT_EQ(4321u, reader.GetPackageStart());

    // The data offset is the directory end + 4, and the data runs to the trailing start.
    uint64_t directory = 36 + 4, data = 0;
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        const PackageEntry* e = reader.GetEntry(i);
        directory += 4 + std::strlen(e->groupName) + 1 + 4 + std::strlen(e->itemName) + 1 + 8;
        data += e->dataSize;
    }
    EXPECT_EQ(directory + 4, reader.GetDataOffset());
    EXPECT_EQ(4321 + directory + 4 + data + 4, p.Read(p.installer).size());

    EXPECT_EQ("u32 2", Describe(reader, 0));
    EXPECT_EQ("byte 1", Describe(reader, 1));
    EXPECT_EQ("text \"C:\\Program Files\\Demo Project\"", Describe(reader, 3));
    EXPECT_EQ("packed (2000 bytes)", Describe(reader, 7));
    EXPECT_EQ("krvf-compressed (4000 bytes)", Describe(reader, 16));
    EXPECT_EQ("u32 2", Describe(reader, 17));
    EXPECT_EQ("text \"\\Channels\\048425EF-3B0E-551D-9206-B4160D97F196.dll\"", Describe(reader, 18));
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST(PackageWriter, TheInstallerReadsWhatTheToolWrote) {
    fixture::Project p;
    BuildInstaller(p);
    os::ScopedRecordingMessageBoxFace boxes;
    // The installer is started by its quoted path, which holds a space.
    os::SetCommandLineForTesting(("\"" + p.installer.string() + "\"").c_str());
    PackageReader reader;
    os::SetCommandLineForTesting(nullptr);

    uint8_t b[4];
    ASSERT_TRUE(reader.ReadEntry("ProjectType", b, 4, nullptr));
    EXPECT_EQ(2, b[0]);
    ASSERT_TRUE(reader.ReadEntry("ChannelCount", b, 4, "channelinfo"));
    EXPECT_EQ(2, b[0]);
    char name[399];
    ASSERT_TRUE(reader.ReadEntry("ShortCutName", name, 259, nullptr));
    EXPECT_STREQ("Vantrel\\Demo", name);

    // Every file comes back byte for byte: packed ones through the installer's own
    // unpacking, the rest through the compressed-file reader, listed ones by their list value.
    for (const auto& [item, content] : p.files) {
        ASSERT_TRUE(reader.ReadEntry(item.c_str(), nullptr, 0, nullptr)) << item;
        std::span<const uint8_t> stored(reader.GetData(), reader.GetDataSize());
        if (tagfile::IsCompressedFile(stored)) {
            auto unpacked = tagfile::UnpackCompressedFile(stored);
            ASSERT_TRUE(unpacked) << item;
            EXPECT_EQ(content, *unpacked) << item;
        } else {
            auto unpacked = UnpackPackedFile(stored);
            ASSERT_TRUE(unpacked) << item;
            EXPECT_EQ(content, std::vector<uint8_t>(unpacked->data.get(),
                                                    unpacked->data.get() + unpacked->size))
                << item;
        }
    }
    ASSERT_TRUE(reader.ReadEntry("ItemNameID1", name, sizeof name, "FILEINFO"));
    EXPECT_STREQ("\\Stage\\camera.cgr", name);
    EXPECT_TRUE(reader.ReadEntry(name, nullptr, 0, nullptr));
    EXPECT_TRUE(boxes->Boxes().empty());
}

TEST(PackageWriter, CheckFindsCorruptionAndBrokenLists) {
    fixture::Project p;
    BuildInstaller(p);
    os::ScopedRecordingMessageBoxFace boxes;
    std::ostringstream out;
    EXPECT_EQ(0, CheckPackage(p.installer, out)) << out.str();

    // One flipped byte in the last data entry, "\STAGE\CAMERA.CGR".
    std::vector<uint8_t> bytes = p.Read(p.installer);
    bytes[bytes.size() - 10] ^= 0x40;
    fixture::Project::Write(p.installer, bytes);
    out.str("");
    EXPECT_GE(CheckPackage(p.installer, out), 1);
    EXPECT_NE(std::string::npos, out.str().find("APPDATA/\\STAGE\\CAMERA.CGR: CRC mismatch"))
        << out.str();

    // A list whose count promises more files than it names.
    PackageWriter writer;
    writer.Add("APPDATA", "ProjectType", U32Bytes(3));
    writer.Add("FILEINFO", "FileCount", U32Bytes(2));
    writer.Add("FILEINFO", "ItemNameID0", {'\\', 'a', '.', 'c', 'g', 'r', 0});
    writer.Add("APPDATA", "\\a.cgr", tagfile::PackCompressedFile(std::vector<uint8_t>{1, 2, 3}));
    writer.Add("APPDATA", "Corvane.dll", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});  // neither kind
    std::string error;
    ASSERT_TRUE(writer.WriteInstaller({}, p.installer, error)) << error;
    out.str("");
    EXPECT_EQ(5, CheckPackage(p.installer, out));
    EXPECT_NE(std::string::npos, out.str().find("FILEINFO/ITEMNAMEID1: missing")) << out.str();
    EXPECT_NE(std::string::npos, out.str().find("CHANNELINFO/CHANNELDLLCOUNT: missing")) << out.str();
    EXPECT_NE(std::string::npos, out.str().find("PROJECTTYPE: 3 is no project type")) << out.str();
    EXPECT_NE(std::string::npos, out.str().find("CORVANE.DLL: file entry is neither")) << out.str();
}

// The standard fixture under each project type: what that type's installer would ask for
// and not find.
TEST(PackageWriter, CheckNamesWhatEachProjectTypeReads) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"run-in-place", {}},
        {"standard", {}},
        {"screensaver", {"DOQUITCGR: missing", "DOSMALLPREVIEW: missing", "VTLSVR.SCR: missing"}},
        {"winamp", {"WINAMPVERSION: missing", "STARTUPDIRECTORY: missing", "WINAMP.DLL: missing"}},
    };
    for (const auto& [type, faults] : cases) {
        fixture::Project p;
        std::string manifest = fixture::kManifest;
        manifest.replace(manifest.find("type standard"), 13, std::string("type ") + type);
        BuildInstaller(p, manifest);
        std::ostringstream out;
        EXPECT_EQ(int(faults.size()), CheckPackage(p.installer, out)) << type << "\n" << out.str();
        for (const std::string& fault : faults)
            EXPECT_NE(std::string::npos, out.str().find("APPDATA/" + fault + " (a " + type + " installer reads it)"))
                << out.str();
    }
}

TEST(PackageWriter, RefusesNamesThatDoNotFitAndMissingSources) {
    fixture::Project p;
    PackageWriter writer;
    writer.Add("APPDATA", std::string(260, 'A'), {1});
    std::string error;
    EXPECT_FALSE(writer.WriteInstaller({}, p.installer, error));

    Manifest m;
    ASSERT_TRUE(ParseManifest("packed Missing.exe\n", m, error));
    PackageWriter other;
    EXPECT_FALSE(CollectItems(m, p.folder, other, error));
    EXPECT_NE(std::string::npos, error.find("line 1: cannot read")) << error;
}

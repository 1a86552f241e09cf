// ExtractItem: entries become files below the install path, with every new folder and
// every file recorded; packed files are inflated, the engine's loader unpacks the rest once
// it exists; names and links that lead out of the install folder are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app_test_support.h"
#include "package/packed_file.h"
#include "installer/project_installer.h"
#include "package_bytes.h"

using apptest::fs::path;
using apptest::ReadFile;
using apptest::ScopedFace;
using apptest::ScopedProgram;
using apptest::ScratchFolder;
using testpkg::Bytes;
using testpkg::Item;

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Packed(const std::string& content) {
    return PackPackedFile(std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(content.data()), content.size()));
}

// The engine's loader as the installer sees it: KRVF content comes back unpacked.
class FakeLoader : public FileLoader {
public:
    void AttachMemory(uint8_t* data, uint32_t size, int ownership) override {
        EXPECT_EQ(ownership, 1);
        owned_.reset(data);
        content_.assign(data, data + size);
    }
    bool OpenContainer(const char* magic, int flags) override {
        return flags == 0 && content_.size() >= 4 && std::memcmp(content_.data(), magic, 4) == 0;
    }
    const uint8_t* GetData() override { return content_.data(); }
    uint32_t GetSize() override { return uint32_t(content_.size()); }
    void Destroy() override {}

    std::vector<uint8_t> content_;
    std::unique_ptr<uint8_t[]> owned_;
};

class FakeDecompression : public EngineDecompression {
public:
    bool Unpack(FileLoader* loader) override {
        auto& fake = static_cast<FakeLoader&>(*loader);
        const std::string text = "unpacked " + std::string(fake.content_.begin() + 4, fake.content_.end());
        fake.content_.assign(text.begin(), text.end());
        ++calls;
        return true;
    }
    int calls = 0;
};

class FakeServices : public EngineServices {
public:
    void* CreateObject(GUID, int, int) override { return nullptr; }
    EngineDecompression* GetDecompression() override { return &decompression; }
    FakeDecompression decompression;
};

class TestInstaller : public ProjectInstaller {
public:
    void UseEngine(FileLoader* loader, EngineServices* services) {
        fileLoader_ = loader;
        engineServices_ = services;
    }
};

std::vector<std::string> Texts(const PointerArray& list) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < list.Count(); ++i) out.emplace_back(static_cast<const char*>(list.Get(i)));
    return out;
}

// The system form of a native path: every separator a backslash.
std::string Backslashed(std::string p) {
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

class ExtractItemTest : public ::testing::Test {
protected:
    ExtractItemTest()
        : package_(testpkg::Build({
              {"APPDATA", "VANTRELVIEWER.EXE", Packed("viewer program")},
              {"APPDATA", "\\CHANNELS\\X.DLL", Packed("plug-in X")},
              {"APPDATA", "CHANNELS/Y.DLL", Packed("plug-in Y")},
              {"APPDATA", "VTLSTART.VTL", Bytes("KRVF start project")},
              {"APPDATA", "\\STAGE\\CAMERA.CGR", Bytes("KRVF camera")},
              {"APPDATA", "README.TXT", Bytes("plain text")},
              {"APPDATA", "SHORT.DLL", [] {
                   auto p = Packed(std::string(1000, 'z'));
                   p[p.size() - 4] = 10;  // claims 10 bytes, holds 1000
                   p[p.size() - 3] = 0;
                   return p;
               }()},
              {"APPDATA", "EMPTY.TXT", {}},
              {"APPDATA", "..\\EVIL.DLL", Packed("evil")},
              {"APPDATA", "C:\\EVIL.DLL", Packed("evil")},
              {"APPDATA", "\\\\SERVER\\EVIL.DLL", Packed("evil")},
              {"APPDATA", "ESCAPE\\EVIL.DLL", Packed("evil")},
              {"APPDATA", "TARGET.DLL", Packed("evil")},
          })),
          program_(package_.Path()) {}

    testpkg::TempFile package_;
    ScopedProgram program_;
    ScopedFace face_;
    ScratchFolder scratch_;
};

TEST_F(ExtractItemTest, NewNestedFoldersAndFilesAreRecordedInOrder) {
    TestInstaller installer;
    const std::string install = (scratch_.Path() / "A" / "B").string();
    installer.SetInstallPath(install);

    ASSERT_TRUE(installer.ExtractItem("VantrelViewer.exe", true));
    ASSERT_TRUE(installer.ExtractItem("\\Channels\\X.dll", true));
    ASSERT_TRUE(installer.ExtractItem("channels/Y.dll", true));  // the same folder, any case
    ASSERT_TRUE(installer.ExtractItem("VtlStart.vtl", false));

    EXPECT_EQ(ReadFile(path(install) / "VantrelViewer.exe"), "viewer program");
    EXPECT_EQ(ReadFile(path(install) / "Channels" / "X.dll"), "plug-in X");
    EXPECT_EQ(ReadFile(path(install) / "Channels" / "Y.dll"), "plug-in Y");
    EXPECT_EQ(ReadFile(path(install) / "VtlStart.vtl"), "KRVF start project");

    const std::string base = Backslashed(install);
    EXPECT_EQ(Texts(installer.CreatedFolders()),
              (std::vector<std::string>{Backslashed(scratch_.Str()) + "\\A\\", base + "\\",
                                        base + "\\\\Channels\\"}));
    EXPECT_EQ(Texts(installer.InstalledFiles()),
              (std::vector<std::string>{install + "\\VantrelViewer.exe",
                                        install + "\\\\Channels\\X.dll",
                                        install + "\\channels/Y.dll", install + "\\VtlStart.vtl"}));
    EXPECT_TRUE(face_->Lines().empty());
}

TEST_F(ExtractItemTest, OverwritesAndFailsQuietlyOrWithTheRightBox) {
    TestInstaller installer;
    installer.SetInstallPath(scratch_.Str());
    apptest::WriteFile(scratch_.Path() / "VantrelViewer.exe", "an older, longer viewer program");
    ASSERT_TRUE(installer.ExtractItem("VantrelViewer.exe", true));
    EXPECT_EQ(ReadFile(scratch_.Path() / "VantrelViewer.exe"), "viewer program");

    EXPECT_FALSE(installer.ExtractItem(nullptr, true));
    EXPECT_FALSE(installer.ExtractItem("Missing.dll", true));
    EXPECT_TRUE(face_->Lines().empty());

    EXPECT_FALSE(installer.ExtractItem("Short.dll", true));
    EXPECT_EQ(face_.Boxes(), std::vector<std::string>{"Error|Error decompress"});
    EXPECT_FALSE(fs::exists(scratch_.Path() / "Short.dll"));

    // Nothing to write counts as a failed write, and no empty file is left unlisted.
    EXPECT_FALSE(installer.ExtractItem("Empty.txt", false));
    EXPECT_FALSE(fs::exists(scratch_.Path() / "Empty.txt"));

    // A folder where the file should go cannot be opened for writing.
    fs::create_directory(scratch_.Path() / "README.TXT");
    EXPECT_FALSE(installer.ExtractItem("README.TXT", false));
    EXPECT_EQ(Texts(installer.InstalledFiles()).size(), 1u);
}

TEST_F(ExtractItemTest, NamesLeavingTheInstallFolderAreRefused) {
    TestInstaller installer;
    const path install = scratch_.Path() / "Install";
    installer.SetInstallPath(install.string());
    for (const char* name : {"..\\evil.dll", "C:\\evil.dll", "\\\\server\\evil.dll"}) {
        EXPECT_FALSE(installer.ExtractItem(name, true)) << name;
    }
    EXPECT_FALSE(fs::exists(scratch_.Path() / "evil.dll"));
    EXPECT_FALSE(fs::exists(install));  // refused before any folder was made
    EXPECT_EQ(installer.CreatedFolders().Count(), 0);
    EXPECT_EQ(installer.InstalledFiles().Count(), 0);

    ProjectInstaller noFolder;  // no install path: the root of the file system is not one
    EXPECT_FALSE(noFolder.ExtractItem("VantrelViewer.exe", true));
}

TEST_F(ExtractItemTest, LinksPlantedInTheInstallFolderAreNotWrittenThrough) {
    TestInstaller installer;
    const path install = scratch_.Path() / "Install";
    const path outside = scratch_.Path() / "Outside";
    fs::create_directories(install);
    fs::create_directories(outside);
    apptest::WriteFile(outside / "target.dll", "precious");
    fs::create_directory_symlink(outside, install / "Escape");
    fs::create_symlink(outside / "target.dll", install / "Target.dll");
    installer.SetInstallPath(install.string());

    EXPECT_FALSE(installer.ExtractItem("Escape\\evil.dll", true));
    EXPECT_FALSE(installer.ExtractItem("target.dll", true));
    EXPECT_FALSE(fs::exists(outside / "evil.dll"));
    EXPECT_EQ(ReadFile(outside / "target.dll"), "precious");
    EXPECT_EQ(installer.InstalledFiles().Count(), 0);
}

TEST_F(ExtractItemTest, WithTheEngineLoaderCompressedFilesComeOutUnpacked) {
    // The installer destroys its loader when it goes, so the fakes must outlive it.
    FakeLoader loader;
    FakeServices services;
    TestInstaller installer;
    installer.UseEngine(&loader, &services);
    installer.SetInstallPath(scratch_.Str());

    ASSERT_TRUE(installer.ExtractItem("\\Stage\\camera.cgr", true));
    EXPECT_EQ(ReadFile(scratch_.Path() / "Stage" / "camera.cgr"), "unpacked  camera");
    EXPECT_EQ(installer.CurrentItemData(), nullptr);  // the loader holds the bytes now
    // Not a container while it should be one: not installed at all.
    EXPECT_FALSE(installer.ExtractItem("readme.txt", true));
    EXPECT_FALSE(fs::exists(scratch_.Path() / "readme.txt"));
    EXPECT_EQ(services.decompression.calls, 1);

    // Unpacking off: the stored bytes, without asking the loader.
    ASSERT_TRUE(installer.ExtractItem("VtlStart.vtl", false));
    EXPECT_EQ(ReadFile(scratch_.Path() / "VtlStart.vtl"), "KRVF start project");
    EXPECT_EQ(services.decompression.calls, 1);
}

}  // namespace

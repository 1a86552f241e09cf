// The engine objects as the installer reaches them: through the library's export only.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "os/shared_library.h"
#include "plugin_frame/engine_control.h"
#include "tagfile/compressed_file.h"
#include "test_support.h"

class EngineControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = os::LoadLibrary(std::string(CHANNELS_DIR) + "\\..\\corvane.dll");
        ASSERT_NE(library, nullptr) << os::LastLibraryError();
        auto get = reinterpret_cast<GetEngineControlInstanceFunction>(
            os::GetProcAddress(library, "GetEngineControlInstance"));
        ASSERT_NE(get, nullptr);
        control = get();
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->GetEngineServices(), nullptr);  // not before Initialize
        control->SetInstallPath(dir.path.string().c_str());
        ASSERT_TRUE(control->Initialize(nullptr, "VantrelExe Window", nullptr));
        services = control->GetEngineServices();
        ASSERT_NE(services, nullptr);
    }
    void TearDown() override {
        if (control) control->Destroy();
    }
    ScratchFolder dir{"engine_control"};
    os::LibraryHandle library = nullptr;
    EngineControl* control = nullptr;
    EngineServices* services = nullptr;
};

TEST_F(EngineControlTest, LoaderUnpacksCompressedFilesAndKeepsOtherContent) {
    const std::vector<uint8_t> original = {'E', 'L', 'F', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<uint8_t> packed = tagfile::PackCompressedFile(original);
    auto* loader = static_cast<EngineFileLoader*>(services->CreateObject(kFileLoaderClass, 0, 0));
    ASSERT_NE(loader, nullptr);
    auto* bytes = new uint8_t[packed.size()];
    std::copy(packed.begin(), packed.end(), bytes);
    loader->AttachMemory(bytes, uint32_t(packed.size()), 1);  // the loader owns them now
    ASSERT_TRUE(loader->OpenContainer("KRVF", 0));
    ASSERT_TRUE(services->GetDecompression()->Unpack(loader));
    EXPECT_EQ(std::vector<uint8_t>(loader->GetData(), loader->GetData() + loader->GetSize()), original);

    // Anything else stays as stored.
    uint8_t plain[] = {1, 2, 3};
    loader->AttachMemory(plain, 3, 0);
    EXPECT_FALSE(loader->OpenContainer("KRVF", 0));
    EXPECT_FALSE(services->GetDecompression()->Unpack(loader));
    EXPECT_EQ(loader->GetSize(), 3u);
    EXPECT_EQ(loader->GetData()[2], 3);
    loader->Destroy();
    EXPECT_EQ(services->CreateObject(kNullGuid, 0, 0), nullptr);
}

TEST_F(EngineControlTest, SaverOpenedWithZeroWritesOnlyTheRecords) {
    auto* saver = static_cast<EngineFileSaver*>(services->CreateObject(kFileSaverClass, 0, 0));
    ASSERT_NE(saver, nullptr);
    std::string path = dir.File("uninstall.nfo");
    ASSERT_TRUE(saver->OpenFile(path.c_str(), 0));
    uint32_t count = 2;
    saver->SaveTag("UNFC");
    saver->SaveBlockSize(4);
    saver->SaveDataToFile(&count, 4);
    ASSERT_TRUE(saver->CloseFile());
    saver->Destroy();
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes, (std::vector<uint8_t>{'U', 'N', 'F', 'C', 4, 0, 0, 0, 2, 0, 0, 0}));
}

TEST_F(EngineControlTest, SaverRefusesAFolderThatDoesNotExist) {
    auto* saver = static_cast<EngineFileSaver*>(services->CreateObject(kFileSaverClass, 0, 0));
    ASSERT_NE(saver, nullptr);
    EXPECT_FALSE(saver->OpenFile(dir.File("missing/x.nfo").c_str(), 0));
    saver->Destroy();
}

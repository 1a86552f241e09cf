#include "os/native_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

class NativePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("native_path_" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Channels");
        std::ofstream(root / "Corvane.dll") << "x";
        std::ofstream(root / "Channels" / "ABCD-EF.dll") << "y";
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(NativePathTest, SeparatorsCollapseAndBothKindsSeparate) {
    EXPECT_EQ(os::NormalizeSeparators("C:\\a\\\\b/c//d"), "C:/a/b/c/d");
    EXPECT_EQ(os::NormalizeSeparators("\\\\x"), "/x");
}

TEST_F(NativePathTest, CaseInsensitiveComponentsFindTheExistingFile) {
    std::string base = root.string();
    EXPECT_EQ(os::NativePath(base + "\\corvane.dll"), base + "/Corvane.dll");
    EXPECT_EQ(os::NativePath(base + "\\\\CHANNELS\\abcd-ef.DLL"), base + "/Channels/ABCD-EF.dll");
    // A doubled backslash reads as one separator.
    EXPECT_EQ(os::NativePath(base + "\\\\Corvane.dll"), base + "/Corvane.dll");
}

TEST_F(NativePathTest, MissingComponentsKeepTheirSpelling) {
    std::string base = root.string();
    EXPECT_EQ(os::NativePath(base + "\\channels\\New\\File.bin"), base + "/Channels/New/File.bin");
}

TEST(EqualsIgnoreCase, OnlyAsciiLettersFold) {
    EXPECT_TRUE(os::EqualsIgnoreCase("CHANNELINFO", "channelinfo"));
    EXPECT_FALSE(os::EqualsIgnoreCase("a[", "A{"));
    EXPECT_FALSE(os::EqualsIgnoreCase("abc", "abcd"));
}

// Files and folders as the installer writes them: created-or-overwritten files that never
// follow a link, folders reported as new only when made now, private folders, link checks
// below a base folder, copies below a chosen folder, and the temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "os/copy_file.h"
#include "os/current_folder.h"
#include "os/file_exists.h"
#include "os/folder.h"
#include "os/path_links.h"
#include "os/temp_folder.h"
#include "os/writable_file.h"

namespace fs = std::filesystem;

namespace {

class InstallerFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "osfilesXXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path root_;
};

TEST_F(InstallerFiles, WritableFileCreatesOverwritesAndRefusesLinks) {
    const std::string path = (root_ / "Corvane.dll").string();
    os::WritableFile file;
    ASSERT_TRUE(file.CreateAlways(path));
    EXPECT_EQ(file.Write("first version", 13), 13u);
    EXPECT_TRUE(file.Close());
    // A different case and backslashes name the same file, which is emptied first.
    ASSERT_TRUE(file.CreateAlways(root_.string() + "\\corvane.DLL"));
    EXPECT_EQ(file.Write("v2", 2), 2u);
    file.Close();
    EXPECT_EQ(Read(path), "v2");

    const fs::path target = root_ / "target.txt";
    std::ofstream(target) << "keep";
    fs::create_symlink(target, root_ / "link.dll");
    EXPECT_FALSE(file.CreateAlways((root_ / "link.dll").string()));
    EXPECT_EQ(Read(target), "keep");
    EXPECT_FALSE(file.CreateAlways(root_.string()));  // a folder
}

TEST_F(InstallerFiles, CreateFolderIsTrueOnlyWhenNew) {
    const std::string folder = root_.string() + "\\Channels\\";
    EXPECT_TRUE(os::CreateFolder(folder));
    EXPECT_FALSE(os::CreateFolder(folder));
    EXPECT_FALSE(os::CreateFolder(root_.string() + "/CHANNELS"));  // same folder
    EXPECT_FALSE(os::CreateFolder(root_.string() + "\\missing\\child"));
    EXPECT_TRUE(os::RemoveFolder(folder));
    EXPECT_FALSE(fs::exists(root_ / "Channels"));
}

TEST_F(InstallerFiles, PrivateFolders) {
    const std::string mine = (root_ / "Vantrel0").string();
    ASSERT_TRUE(os::CreatePrivateFolder(mine));
    EXPECT_EQ(fs::status(mine).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(os::IsPrivateFolder(mine));

    fs::permissions(mine, fs::perms::others_write, fs::perm_options::add);
    EXPECT_FALSE(os::IsPrivateFolder(mine));
    fs::permissions(mine, fs::perms::others_write, fs::perm_options::remove);
    fs::permissions(mine, fs::perms::group_write, fs::perm_options::add);
    EXPECT_FALSE(os::IsPrivateFolder(mine));
    fs::permissions(mine, fs::perms::group_write, fs::perm_options::remove);

    fs::create_directory_symlink(mine, root_ / "Vantrel1");
    EXPECT_FALSE(os::IsPrivateFolder((root_ / "Vantrel1").string()));
    EXPECT_FALSE(os::IsPrivateFolder((root_ / "absent").string()));
    std::ofstream(root_ / "plain") << "x";
    EXPECT_FALSE(os::IsPrivateFolder((root_ / "plain").string()));
}

TEST_F(InstallerFiles, FileExistsAndDelete) {
    std::ofstream(root_ / "Corvane.dll") << "x";
    EXPECT_TRUE(os::FileExists(root_.string() + "\\corvane.dll"));
    EXPECT_TRUE(os::FileExists(root_.string() + "\\\\corvane.dll"));
    EXPECT_FALSE(os::DeleteFile(root_.string()));
    EXPECT_TRUE(os::DeleteFile(root_.string() + "\\CORVANE.DLL"));
    EXPECT_FALSE(os::FileExists((root_ / "Corvane.dll").string()));
    EXPECT_FALSE(os::DeleteFile((root_ / "Corvane.dll").string()));
}

TEST_F(InstallerFiles, PathCrossesLinkOnlyForExistingLinksBelowTheBase) {
    fs::create_directories(root_ / "inst" / "Stage");
    fs::create_directories(root_ / "outside");
    fs::create_directory_symlink(root_ / "outside", root_ / "inst" / "Escape");
    const std::string base = (root_ / "inst").string();
    EXPECT_FALSE(os::PathCrossesLink(base, "\\Stage\\camera.cgr"));
    EXPECT_FALSE(os::PathCrossesLink(base, "\\New\\Folder\\file"));
    EXPECT_TRUE(os::PathCrossesLink(base, "\\escape\\file.dll"));  // case-matched
    EXPECT_TRUE(os::PathCrossesLink(base, "Escape"));
    // A link above the base is the user's own choice of folder, not ours to judge.
    fs::create_directory_symlink(root_ / "inst", root_ / "via");
    EXPECT_FALSE(os::PathCrossesLink((root_ / "via").string(), "Stage\\x"));
}

// Each way a copy below a chosen folder can end, with the number the caller reports.
TEST_F(InstallerFiles, CopyFileBelowWritesOnlyThroughFoldersBelowTheBase) {
    const fs::path base = root_ / "system", outside = root_ / "outside";
    fs::create_directories(base / "Savers");
    fs::create_directories(base / "Folder.scr");
    fs::create_directories(outside);
    std::ofstream(base / "File") << "in the way";
    std::ofstream(outside / "Taken.scr") << "keep";
    fs::create_directory_symlink(outside, base / "Escape");
    fs::create_symlink(outside / "Taken.scr", base / "Taken.scr");
    const fs::path source = root_ / "saver.bin";
    std::ofstream(source) << "saver";
    fs::permissions(source, fs::perms::owner_exec, fs::perm_options::add);
    // The user's folder may itself be reached through a link.
    fs::create_directory_symlink(base, root_ / "via");

    const struct {
        const char* relative;
        int error;
    } cases[] = {{"savers\\Demo.scr", 0},  {"Escape\\Demo.scr", EACCES}, {"Taken.scr", EACCES},
                 {"File\\Demo.scr", ENOTDIR}, {"Folder.scr", EISDIR},     {"Missing\\Demo.scr", ENOENT},
                 {"..\\Demo.scr", EACCES}};
    for (const auto& c : cases)
        EXPECT_EQ(os::CopyFileBelow(source.string(), (root_ / "via").string(), c.relative), c.error) << c.relative;
    EXPECT_EQ(Read(base / "Savers/Demo.scr"), "saver");
    EXPECT_TRUE((fs::status(base / "Savers/Demo.scr").permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_EQ(Read(outside / "Taken.scr"), "keep");
    EXPECT_FALSE(fs::exists(outside / "Demo.scr"));
    EXPECT_FALSE(fs::exists(root_ / "Demo.scr"));
    EXPECT_EQ(os::CopyFileBelow((root_ / "none").string(), base.string(), "Savers\\X.scr"), ENOENT);
}

TEST_F(InstallerFiles, TempFolderFollowsTmpdirAndEndsWithSeparator) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", root_.c_str(), 1);
    auto temp = os::GetTempFolder();
    ASSERT_TRUE(temp);
    EXPECT_EQ(*temp, root_.string() + "/");
    ::setenv("TMPDIR", (root_ / "missing").c_str(), 1);
    EXPECT_EQ(os::GetTempFolder().value_or(""), "/tmp/");
    if (old) ::setenv("TMPDIR", saved.c_str(), 1); else ::unsetenv("TMPDIR");
}

TEST_F(InstallerFiles, CurrentFolder) {
    const std::string before = os::GetCurrentFolder();
    fs::create_directories(root_ / "Install");
    ASSERT_TRUE(os::SetCurrentFolder(root_.string() + "\\install"));
    EXPECT_EQ(fs::path(os::GetCurrentFolder()), fs::canonical(root_ / "Install"));
    EXPECT_FALSE(os::SetCurrentFolder((root_ / "none").string()));
    EXPECT_EQ(fs::path(os::GetCurrentFolder()), fs::canonical(root_ / "Install"));
    os::SetCurrentFolder(before);
}

}  // namespace

// FolderTree: writes and removals below one folder that never pass through a link, never
// write a file twice and leave no temporary file behind.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "os/folder_tree.h"

namespace fs = std::filesystem;
using os::FolderTree;
using os::WriteStatus;

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "treeXXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        base_ = root_ / "Install";
        outside_ = root_ / "Outside";
        fs::create_directories(base_);
        fs::create_directories(outside_);
        ASSERT_TRUE(tree_.Open(base_.string()));
    }
    void TearDown() override { fs::remove_all(root_); }

    // Every name below the base, so that a temporary file left over would show.
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(base_)) out.push_back(e.path().lexically_relative(base_).string());
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path root_;
    fs::path base_;
    fs::path outside_;
    FolderTree tree_;
};

TEST_F(FolderTreeTest, WritesBelowTheBaseOnlyAndEachFileOnce) {
    fs::create_directory_symlink(outside_, base_ / "Escape");
    fs::create_symlink(outside_ / "target", base_ / "Target.dll");
    fs::create_directory(base_ / "channels");
    std::vector<size_t> created;
    const auto note = [&](size_t separator) { created.push_back(separator); };
    const std::string tooLong = std::string(300, 'n') + ".dll";

    const struct {
        const char* relative;
        WriteStatus status;
    } cases[] = {
        {"\\Stage\\\\Deep\\a.cgr", WriteStatus::Written},  // both folders made
        {"Corvane.dll", WriteStatus::Written},
        {"\\CORVANE.DLL", WriteStatus::AlreadyWritten},     // the same file, spelt otherwise
        {"\\Channels\\X.dll", WriteStatus::Written},        // into "channels"
        {"Escape\\evil.dll", WriteStatus::Refused},
        {"escape/Deeper/evil.dll", WriteStatus::Refused},
        {"target.dll", WriteStatus::Refused},
        {"Stage\\..\\..\\evil.dll", WriteStatus::Refused},
        {"Stage\\", WriteStatus::Failed},                    // names no file
        {tooLong.c_str(), WriteStatus::NameTooLong},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tree_.WriteFile(c.relative, Bytes("data"), false, note), c.status) << c.relative;
    EXPECT_EQ(created, (std::vector<size_t>{6, 12}));
    EXPECT_TRUE(fs::is_empty(outside_));
    EXPECT_EQ(Names(), (std::vector<std::string>{"Corvane.dll", "Escape", "Stage", "Stage/Deep", "Stage/Deep/a.cgr",
                                                 "Target.dll", "channels", "channels/X.dll"}));
    EXPECT_EQ(Read(base_ / "channels/X.dll"), "data");

    // A file that would not fit is refused before anything is written. The bytes are a
    // reservation larger than any disk here, never touched.
    const size_t huge = size_t(1) << 46;
    void* reserved = ::mmap(nullptr, huge, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(reserved, MAP_FAILED);
    EXPECT_EQ(tree_.WriteFile("big.bin", {static_cast<const uint8_t*>(reserved), huge}, false), WriteStatus::NoSpace);
    ::munmap(reserved, huge);
    EXPECT_FALSE(fs::exists(base_ / "big.bin"));
}

TEST_F(FolderTreeTest, RemovesAndPlacesOnlyWhatLiesBelowTheBase) {
    ASSERT_EQ(tree_.WriteFile("Stage\\a.cgr", Bytes("a"), true), WriteStatus::Written);
    EXPECT_TRUE((fs::status(base_ / "Stage/a.cgr").permissions() & fs::perms::owner_exec) != fs::perms::none);
    std::ofstream(outside_ / "victim") << "victim";
    fs::create_directory_symlink(outside_, base_ / "Linked");

    const std::string at = base_.string();
    EXPECT_EQ(tree_.RelativePart(at + "\\\\Stage\\a.cgr"), "Stage/a.cgr");
    EXPECT_EQ(tree_.RelativePart(at + "\\"), "");
    EXPECT_EQ(tree_.RelativePart((outside_ / "victim").string()), std::nullopt);
    EXPECT_EQ(tree_.RelativePart("relative\\a.cgr"), std::nullopt);

    using R = FolderTree::RemoveStatus;
    EXPECT_EQ(tree_.RemoveFile("Linked/victim"), R::Refused);
    EXPECT_EQ(tree_.RemoveFile("Stage/../../Outside/victim"), R::Refused);
    // Removal after a look at the content: only the file looked at goes, never through a link.
    const auto isVictim = [](const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()) == "victim"; };
    EXPECT_EQ(tree_.RemoveFileIf("Linked/victim", 100, isVictim), R::Refused);
    std::ofstream(base_ / "Stage/b") << "victim";
    fs::create_symlink(outside_ / "victim", base_ / "Stage/c");
    EXPECT_EQ(tree_.RemoveFileIf("Stage/c", 100, isVictim), R::Refused);
    EXPECT_EQ(tree_.RemoveFileIf("Stage/b", 5, isVictim), R::Refused);  // larger than the limit
    EXPECT_EQ(tree_.RemoveFileIf("Stage/a.cgr", 100, isVictim), R::Refused);
    const auto swapsItself = [&](const std::vector<uint8_t>& b) {
        std::ofstream(base_ / "Stage/d") << "other";
        fs::rename(base_ / "Stage/d", base_ / "Stage/b");
        return isVictim(b);
    };
    EXPECT_EQ(tree_.RemoveFileIf("Stage/b", 100, swapsItself), R::Refused);
    EXPECT_EQ(Read(base_ / "Stage/b"), "other");
    std::ofstream(base_ / "Stage/b") << "victim";
    EXPECT_EQ(tree_.RemoveFileIf("Stage/b", 100, isVictim), R::Removed);
    EXPECT_EQ(tree_.RemoveFile("Stage/c"), R::Removed);
    EXPECT_EQ(Read(outside_ / "victim"), "victim");
    EXPECT_EQ(tree_.RemoveFolder("Stage"), R::Failed);  // not empty
    EXPECT_EQ(tree_.RemoveFile("STAGE\\A.CGR"), R::Removed);
    EXPECT_EQ(tree_.RemoveFile("Stage/a.cgr"), R::Missing);
    EXPECT_EQ(tree_.RemoveFolder("Stage"), R::Removed);
    EXPECT_EQ(tree_.RemoveFile("Linked"), R::Removed);  // the link itself, not what it names
    EXPECT_EQ(Read(outside_ / "victim"), "victim");
    EXPECT_EQ(tree_.RemoveFolder(""), R::Removed);
    EXPECT_FALSE(fs::exists(base_));

    // Outside any tree: the final name is never followed.
    fs::create_symlink(outside_ / "victim", root_ / "registry");
    EXPECT_EQ(os::ReplaceFile((root_ / "registry").string(), Bytes("x")), WriteStatus::Refused);
    EXPECT_EQ(os::ReplaceFile((root_ / "store").string(), Bytes("x")), WriteStatus::Written);
    EXPECT_EQ(Read(outside_ / "victim"), "victim");
    EXPECT_EQ(Read(root_ / "store"), "x");
}

}  // namespace

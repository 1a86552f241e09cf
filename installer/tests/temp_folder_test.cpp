// CreateTempFolder: the first "Vantrel<n>" that is new, or ours, private and without the
// engine core in it, below the user's temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "app_test_support.h"
#include "installer/project_installer.h"
#include "package_bytes.h"

using apptest::fs::path;
using apptest::ScopedFace;
using apptest::ScratchFolder;

namespace {

class TempFolderChoice : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        hadTmpdir_ = old != nullptr;
        if (old) savedTmpdir_ = old;
        ::setenv("TMPDIR", scratch_.Str().c_str(), 1);
    }
    void TearDown() override {
        if (hadTmpdir_) ::setenv("TMPDIR", savedTmpdir_.c_str(), 1);
        else ::unsetenv("TMPDIR");
    }

    std::string Choose() {
        ProjectInstaller installer;
        if (!installer.CreateTempFolder()) return "<none>";
        return installer.GetInstallPath();
    }
    std::string Candidate(int n) { return scratch_.Str() + "/Vantrel" + std::to_string(n); }
    void MakePrivate(int n) {
        apptest::fs::create_directory(Candidate(n));
        apptest::fs::permissions(Candidate(n), apptest::fs::perms::owner_all,
                                 apptest::fs::perm_options::replace);
    }

    ScopedFace face_;  // the installer's own reader finds no package here
    ScratchFolder scratch_;
    bool hadTmpdir_ = false;
    std::string savedTmpdir_;
};

TEST_F(TempFolderChoice, FirstRunCreatesVantrel0Privately) {
    EXPECT_EQ(Choose(), Candidate(0));
    struct stat st;
    ASSERT_EQ(::stat(Candidate(0).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TempFolderChoice, FolderHoldingTheEngineCoreIsSkipped) {
    MakePrivate(0);
    apptest::WriteFile(path(Candidate(0)) / "Corvane.dll", "core");
    EXPECT_EQ(Choose(), Candidate(1));
    EXPECT_TRUE(apptest::fs::is_directory(Candidate(1)));
}

TEST_F(TempFolderChoice, EmptyFolderOfOursIsChosenAgain) {
    MakePrivate(0);
    apptest::WriteFile(path(Candidate(0)) / "channel.lst", "left by the viewer");
    EXPECT_EQ(Choose(), Candidate(0));
}

TEST_F(TempFolderChoice, FolderOthersCanWriteIsSkipped) {
    MakePrivate(0);
    apptest::fs::permissions(Candidate(0), apptest::fs::perms::others_write,
                             apptest::fs::perm_options::add);
    EXPECT_EQ(Choose(), Candidate(1));
}

TEST_F(TempFolderChoice, FolderOfAnotherUserIsSkipped) {
    MakePrivate(0);
    MakePrivate(1);
    if (::chown(Candidate(0).c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    EXPECT_EQ(Choose(), Candidate(1));
}

TEST_F(TempFolderChoice, LinkToAFolderIsSkipped) {
    MakePrivate(5);
    apptest::fs::create_directory_symlink(Candidate(5), Candidate(0));
    EXPECT_EQ(Choose(), Candidate(1));
}

// The clean-up after a run in place takes what was unpacked and "channel.lst"; files the
// viewer added stay, and so do the folders that hold them.
TEST_F(TempFolderChoice, CleanupTakesOnlyWhatWasUnpacked) {
    using testpkg::Bytes;
    testpkg::TempFile package(testpkg::Build({{"APPDATA", "A.TXT", Bytes("a")},
                                              {"APPDATA", "SUB\\B.TXT", Bytes("b")},
                                              {"APPDATA", "KEEP\\C.TXT", Bytes("c")}}));
    apptest::ScopedProgram program(package.Path());
    for (bool viewerAddsFiles : {false, true}) {
        ProjectInstaller installer;
        ASSERT_TRUE(installer.CreateTempFolder());
        const path folder = installer.GetInstallPath();
        for (const char* item : {"a.txt", "sub\\b.txt", "keep\\c.txt"}) ASSERT_TRUE(installer.ExtractItem(item, false));
        apptest::WriteFile(folder / "channel.lst", "channels the viewer found");
        if (viewerAddsFiles) apptest::WriteFile(folder / "keep/added.txt", "the viewer's own");
        installer.CleanupTempFolder();
        EXPECT_EQ(installer.InstalledFiles().Count(), 0);
        EXPECT_EQ(installer.CreatedFolders().Count(), 0);
        if (!viewerAddsFiles) {
            EXPECT_FALSE(apptest::fs::exists(folder));
            continue;
        }
        std::vector<path> left;
        for (const auto& entry : apptest::fs::recursive_directory_iterator(folder)) left.push_back(entry.path());
        EXPECT_EQ(left, (std::vector<path>{folder / "keep", folder / "keep/added.txt"}));
    }
}

}  // namespace

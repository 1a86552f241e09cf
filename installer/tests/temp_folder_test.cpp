// CreateTempFolder: the first "Vantrel<n>" that is new, or ours, private and without the
// engine core in it, below the user's temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
        return installer.InstallPath();
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
// viewer added stay, and so do the folders that hold them. A folder swapped for a link to
// files elsewhere is not followed.
TEST_F(TempFolderChoice, CleanupTakesOnlyWhatWasUnpacked) {
    using testpkg::Bytes;
    testpkg::TempFile package(testpkg::Build({{"APPDATA", "A.TXT", Bytes("a")},
                                              {"APPDATA", "SUB\\B.TXT", Bytes("b")},
                                              {"APPDATA", "KEEP\\C.TXT", Bytes("c")}}));
    apptest::ScopedProgram program(package.Path());
    for (bool viewerAddsFiles : {false, true}) {
        ProjectInstaller installer;
        ASSERT_TRUE(installer.CreateTempFolder());
        const path folder = installer.InstallPath();
        for (const char* item : {"a.txt", "sub\\b.txt", "keep\\c.txt"}) ASSERT_TRUE(installer.ExtractItem(item, false));
        apptest::WriteFile(folder / "channel.lst", "channels the viewer found");
        const path elsewhere = scratch_.Path() / "elsewhere";
        if (viewerAddsFiles) {
            apptest::WriteFile(folder / "keep/added.txt", "the viewer's own");
            apptest::fs::remove_all(folder / "sub");
            apptest::fs::create_directories(elsewhere);
            apptest::WriteFile(elsewhere / "b.txt", "not ours");
            apptest::fs::create_directory_symlink(elsewhere, folder / "sub");
        }
        installer.CleanupTempFolder();
        EXPECT_EQ(installer.InstalledFiles().Count(), 0);
        EXPECT_EQ(installer.CreatedFolders().Count(), 0);
        if (!viewerAddsFiles) {
            EXPECT_FALSE(apptest::fs::exists(folder));
            continue;
        }
        std::vector<path> left;
        for (const auto& entry : apptest::fs::recursive_directory_iterator(folder)) left.push_back(entry.path());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<path>{folder / "keep", folder / "keep/added.txt", folder / "sub"}));
        EXPECT_TRUE(apptest::fs::exists(elsewhere / "b.txt"));
    }
}

// Where "Vantrel<n>" cannot be had, a fresh private folder of mkdtemp's: in the system's
// temporary folder when TMPDIR is too long to take the name (never the cut name beside
// it), in TMPDIR when every number is taken by someone else.
TEST_F(TempFolderChoice, FallsBackToAFreshPrivateFolder) {
    std::string longTemp = scratch_.Str();
    while (longTemp.size() < 390) longTemp += "/" + std::string(std::min<size_t>(99, 390 - longTemp.size() - 1), 'x');
    apptest::fs::create_directories(longTemp);
    ::setenv("TMPDIR", longTemp.c_str(), 1);
    const std::string chosenForLong = Choose();
    ::setenv("TMPDIR", scratch_.Str().c_str(), 1);
    for (int n = 0; n <= 10000; ++n) apptest::WriteFile(Candidate(n), "someone else's");
    const std::string chosenWhenFull = Choose();

    for (const auto& [chosen, where] : {std::pair{chosenForLong, std::string("/tmp/Vtl")},
                                        std::pair{chosenWhenFull, scratch_.Str() + "/Vtl"}}) {
        SCOPED_TRACE(chosen);
        EXPECT_EQ(chosen.rfind(where, 0), 0u);
        EXPECT_EQ(chosen.size(), where.size() + 6);
        struct stat st;
        ASSERT_EQ(::lstat(chosen.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    apptest::fs::remove(chosenForLong);
    EXPECT_EQ(apptest::fs::directory_iterator(longTemp), apptest::fs::directory_iterator());
    // Nothing beside it either: its parent holds it alone.
    EXPECT_EQ(std::distance(apptest::fs::directory_iterator(path(longTemp).parent_path()),
                            apptest::fs::directory_iterator()), 1);
}

}  // namespace

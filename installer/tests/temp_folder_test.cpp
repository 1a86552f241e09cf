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

}  // namespace

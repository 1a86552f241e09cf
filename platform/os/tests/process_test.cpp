// Starting programs as the installer starts the viewer: the command line split the Windows
// way, the program found in the current folder first, exit codes polled without waiting,
// and the error number when nothing can be started.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "os/current_folder.h"
#include "os/process.h"
#include "os/writable_file.h"

namespace fs = std::filesystem;

namespace {

TEST(SplitCommandLine, BlanksSeparateQuotesGroup) {
    EXPECT_EQ(os::SplitCommandLine("VantrelViewer.exe VtlStart.vtl"),
              (std::vector<std::string>{"VantrelViewer.exe", "VtlStart.vtl"}));
    EXPECT_EQ(os::SplitCommandLine("  \"C:\\Program Files\\x.exe\"  a\tb \"\" "),
              (std::vector<std::string>{"C:\\Program Files\\x.exe", "a", "b", ""}));
    EXPECT_TRUE(os::SplitCommandLine("   ").empty());
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "osprocXXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        here_ = os::GetCurrentFolder();
        ASSERT_TRUE(os::SetCurrentFolder(root_.string()));
    }
    void TearDown() override {
        os::SetCurrentFolder(here_);
        fs::remove_all(root_);
    }
    // A script in the current folder; `executable` false leaves it without the permission.
    void Script(const std::string& name, const std::string& body, bool executable = true) {
        os::WritableFile file;
        ASSERT_TRUE(file.CreateAlways(name));
        const std::string text = "#!/bin/sh\n" + body + "\n";
        file.Write(text.data(), text.size());
        if (executable) {
            ASSERT_TRUE(file.MakeExecutable());
        }
        file.Close();
    }

    fs::path root_;
    std::string here_;
};

TEST_F(ProcessTest, ProgramInTheCurrentFolderRunsWithItsArgumentsAndIsPolled) {
    // Named in another case, as the installer names the viewer.
    Script("Viewer.exe", "sleep 1; echo \"$1\" > seen.txt; exit 7");
    os::Process process;
    ASSERT_TRUE(process.Start("viewer.EXE \"Vtl Start.vtl\""));
    EXPECT_EQ(process.GetExitCode(), os::kStillActive);  // asked at once, it still runs
    EXPECT_EQ(process.WaitPolling(50), 7u);
    EXPECT_EQ(process.GetExitCode(), 7u);
    std::ifstream seen(root_ / "seen.txt");
    std::string line;
    std::getline(seen, line);
    EXPECT_EQ(line, "Vtl Start.vtl");
}

TEST_F(ProcessTest, ProgramThatCannotStartGivesTheErrorNumber) {
    os::Process missing;
    EXPECT_FALSE(missing.Start("NoSuchViewer.exe VtlStart.vtl"));
    EXPECT_EQ(missing.LastError(), ENOENT);
    EXPECT_EQ(missing.GetExitCode(), 0u);  // nothing started, nothing to wait for

    Script("Plain.exe", "exit 0", false);
    os::Process notRunnable;
    EXPECT_FALSE(notRunnable.Start("Plain.exe"));
    EXPECT_EQ(notRunnable.LastError(), EACCES);
}

}  // namespace

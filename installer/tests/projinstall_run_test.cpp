// The real projinstall program, with a package appended by projpack, run unattended: its
// exit code and the message boxes it recorded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app_test_support.h"
#include "package/package_reader.h"

using apptest::ScratchFolder;
namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int ExitCode(int status) {
    if (status == -1) return -1;
    return (status >> 8) & 0xFF;  // the shell's exit status
}

class ProjinstallRun : public ::testing::Test {
protected:
    // Builds an installer from `manifest` with projpack.
    std::string Build(const std::string& manifest, const std::string& name = "setup") {
        const fs::path manifestFile = scratch_.Path() / (name + ".txt");
        std::ofstream(manifestFile) << manifest;
        const std::string out = (scratch_.Path() / name).string();
        const std::string command = Quote(PROJPACK_EXE) + " build " + Quote(manifestFile.string()) +
                                    " " + Quote(scratch_.Str()) + " " + Quote(PROJINSTALL_EXE) +
                                    " " + Quote(out) + " 2>/dev/null";
        EXPECT_EQ(ExitCode(std::system(command.c_str())), 0) << command;
        fs::permissions(out, fs::perms::owner_exec, fs::perm_options::add);
        return out;
    }

    // Runs the installer unattended; gives its exit code, leaves the log lines in log_.
    int Run(const std::string& installer, const std::string& arguments = "",
            const std::string& environment = "") {
        const fs::path logFile = scratch_.Path() / "messages.log";
        fs::remove(logFile);
        const std::string command = "env -u DISPLAY VANTREL_UNATTENDED=1 VANTREL_MESSAGE_LOG=" +
                                    Quote(logFile.string()) + " " + environment + " " +
                                    Quote(installer) + " " + arguments + " </dev/null";
        const int code = ExitCode(std::system(command.c_str()));
        log_.clear();
        std::ifstream in(logFile);
        for (std::string line; std::getline(in, line);) log_.push_back(line);
        return code;
    }

    ScratchFolder scratch_;
    std::vector<std::string> log_;
};

TEST_F(ProjinstallRun, TypesWithoutARunnerEndAtOnceWithOneBox) {
    for (const char* type : {"3", "4", "7"}) {
        const std::string installer = Build(std::string("type ") + type + "\nbyte CheckDx8 1\n");
        EXPECT_EQ(Run(installer), 0) << type;
        EXPECT_EQ(log_, std::vector<std::string>{std::string("box\tok\tnone\tError\tThis installer cannot "
                                                             "install a project of type ") + type + "."});
    }
}

TEST_F(ProjinstallRun, MissingProjectTypeShowsExactlyOneBox) {
    const std::string installer = Build("byte CheckDx8 1\ntext ProjectName Demo\n");
    EXPECT_EQ(Run(installer), 0);
    EXPECT_EQ(log_, std::vector<std::string>{"box\tok\tnone\tError\tCan't find project type"});
}

TEST_F(ProjinstallRun, AnArgumentMeansThePackageIsNotFound) {
    const std::string installer = Build("type 3\n");
    EXPECT_EQ(Run(installer, "extra"), 0);
    ASSERT_EQ(log_.size(), 2u);
    EXPECT_EQ(log_[0].substr(log_[0].rfind('\t')), "\tData header not found!");
    EXPECT_EQ(log_[1], "box\tok\tnone\tError\tCan't find project type");
}

TEST_F(ProjinstallRun, CorruptProjectTypeIsReportedThenNotFound) {
    const std::string installer = Build("type 2\n");
    PackageReader reader(installer);
    ASSERT_EQ(reader.GetEntryCount(), 4);  // the type and the three list counts
    const uint64_t position = uint64_t(reader.GetPackageStart()) + reader.GetDataOffset();
    {
        std::fstream file(installer, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(std::streamoff(position));
        file.put(char(3));  // 2 becomes 3, the CRC no longer fits
    }
    EXPECT_EQ(Run(installer), 0);
    EXPECT_EQ(log_, (std::vector<std::string>{"box\tok\tnone\tPROJECTTYPE\tCrc error corrupt file",
                                              "box\tok\tnone\tError\tCan't find project type"}));
}

TEST_F(ProjinstallRun, EveryRunnerEndsWithExitCodeZero) {
    for (const char* type : {"run-in-place", "standard", "screensaver", "winamp"}) {
        const std::string installer = Build(std::string("type ") + type + "\n");
        EXPECT_EQ(Run(installer, "", "VANTREL_DIALOG=cancel"), 0) << type;
    }
}

}  // namespace

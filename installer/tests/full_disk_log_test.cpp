// "uninstall.nfo" on a disk that fills while it is written, through the real projinstall. The
// full disk is a file-size limit (RLIMIT_FSIZE, SIGXFSZ ignored) on the installer: every
// write past it fails with EFBIG, as a write to a full disk fails. The package's project
// files sit in deep folders, each recorded in the log, so that the log is the one file larger
// than the limit: everything else installs, the log cannot be written. An existing log must
// stay whole, no empty log may appear, and the warning must name it.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app_test_support.h"
#include "standard_test_support.h"

namespace fs = std::filesystem;
using stdtest::FileString;
using stdtest::Quote;

namespace {

class FullDiskLog : public ::testing::Test {
protected:
    FullDiskLog() : env_(scratch_.Path()) {
        fs::create_directories(home_);
        stdtest::MakeSampleProject(project_);
        apptest::WriteFile(project_ / "note.txt", "a project file in a deep folder\n");
    }

    // A standard package whose project files each make a chain of folders as deep as the
    // log's 258-character paths allow, enough of them that the log outgrows every other file.
    fs::path DeepInstaller() {
        const size_t room = 240 - install_.string().size();  // "\Deep<n>", the chain, "\n.txt"
        const size_t depth = (room - 16) / 2;                 // "\a" per folder
        std::string chain;
        for (size_t i = 0; i < depth; ++i) chain += "\\a";
        uint64_t largest = 0;
        for (std::string file : {"VantrelViewer.exe", "Corvane.dll", "VtlUnInst.exe"})
            largest = std::max<uint64_t>(largest, fs::file_size(stdtest::BuildFile(file)));
        for (std::string file : stdtest::kCoreChannelFiles) {
            std::replace(file.begin(), file.end(), '\\', '/');
            largest = std::max<uint64_t>(largest, fs::file_size(stdtest::BuildFile(file)));
        }
        // A log record takes 267 bytes; each file records its chain and itself. Half as much
        // again as the largest file leaves room for a limit between the two.
        const uint64_t files = largest * 3 / 2 / (267 * (depth + 2)) + 2;
        std::string manifest = stdtest::CoreManifest();
        for (uint64_t f = 0; f < files; ++f)
            manifest += "file \\Deep" + std::to_string(f) + chain + "\\n.txt < note.txt\n";
        const fs::path out = scratch_.Path() / "setup";
        EXPECT_EQ(stdtest::BuildInstaller(manifest, project_, out), 0);
        return out;
    }

    // Runs the installer unattended with writes limited to `limit` bytes per file (0: none);
    // the message boxes it showed.
    std::vector<std::string> Install(const fs::path& installer, uint64_t limit) {
        const fs::path log = home_ / "messages.log";
        fs::remove(log);
        const std::string fileSize = limit ? "prlimit --fsize=" + std::to_string(limit) + " " : "";
        EXPECT_EQ(stdtest::RunCommand(
                      "trap '' XFSZ; " + fileSize + "timeout 120 env -u DISPLAY -u VANTREL_PROGRAMS_DIR"
                      " -u VANTREL_REGISTRY_FILE HOME=" + Quote(home_.string()) +
                      " XDG_CONFIG_HOME=" + Quote((home_ / ".config").string()) +
                      " XDG_DATA_HOME=" + Quote((home_ / ".local/share").string()) +
                      " VANTREL_DIRECTX_VERSION=8.0 VANTREL_UNATTENDED=1 VANTREL_INSTALL_DIR=" +
                      Quote(install_.string()) + " VANTREL_MESSAGE_LOG=" + Quote(log.string()) + " " +
                      Quote(installer.string())),
                  0);
        std::vector<std::string> boxes;
        std::istringstream in(FileString(log));
        for (std::string line; std::getline(in, line);)
            if (line.rfind("box\t", 0) == 0) boxes.push_back(line);
        return boxes;
    }

    // The largest file of the install folder other than the log.
    uint64_t LargestInstalledFile() const {
        uint64_t largest = 0;
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(install_))
            if (e.is_regular_file() && e.path().filename() != "uninstall.nfo")
                largest = std::max<uint64_t>(largest, e.file_size());
        return largest;
    }

    // Names in the install folder's top level that look like a file written half-way.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> out;
        for (const fs::directory_entry& e : fs::directory_iterator(install_)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(".vtl", 0) == 0 || (name == "uninstall.nfo" && fs::file_size(e.path()) == 0))
                out.push_back(name);
        }
        return out;
    }

    apptest::ScratchFolder scratch_;
    stdtest::ScopedInstallEnvironment env_;
    fs::path home_ = scratch_.Path() / "home";
    fs::path project_ = scratch_.Path() / "project";
    fs::path install_ = scratch_.Path() / "Demo";
};

TEST_F(FullDiskLog, LogThatDoesNotFitLeavesTheOldOneWholeAndIsNamed) {
    const fs::path installer = DeepInstaller();
    // Unlimited, the log is written and is the largest file the installation writes.
    Install(installer, 0);
    const std::string oldLog = FileString(install_ / "uninstall.nfo");
    const uint64_t largest = LargestInstalledFile();
    ASSERT_GT(oldLog.size(), largest + (largest >> 3)) << "the log must outgrow every other file";
    const uint64_t limit = (largest + oldLog.size()) / 2;

    const auto expectLogNamed = [](const std::vector<std::string>& boxes) {
        const bool named = std::any_of(boxes.begin(), boxes.end(), [](const std::string& b) {
            return b.find("Installation Warning") != std::string::npos &&
                   b.find("uninstall.nfo (write failure)") != std::string::npos;
        });
        EXPECT_TRUE(named) << ::testing::PrintToString(boxes);
    };

    // Installed again over the first installation, whose deep folders the user removed (so
    // that they are made, and recorded, again): the new log does not fit, the old one stays
    // as it was, byte for byte.
    for (const fs::directory_entry& e : fs::directory_iterator(install_))
        if (e.path().filename().string().rfind("Deep", 0) == 0) fs::remove_all(e.path());
    expectLogNamed(Install(installer, limit));
    EXPECT_TRUE(fs::exists(install_ / "Deep0/a/a/a"));  // the files went in; only the log did not
    const std::string keptLog = FileString(install_ / "uninstall.nfo");
    EXPECT_EQ(keptLog.size(), oldLog.size());
    EXPECT_TRUE(keptLog == oldLog);  // not printed: megabytes
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});

    // A first installation under the same limit leaves no log at all, never an empty one.
    fs::remove_all(install_);
    expectLogNamed(Install(installer, limit));
    EXPECT_TRUE(fs::exists(install_ / "VantrelViewer.exe"));
    EXPECT_FALSE(fs::exists(install_ / "uninstall.nfo"));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

}  // namespace

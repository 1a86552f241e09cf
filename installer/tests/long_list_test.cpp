// A package whose project-file list names fifty thousand empty entries, through projpack
// and the real projinstall. The installer finds every listed name through its index: about
// 4 s of processor time here. A look-up that walked the directory for each name needs
// minutes of it at this length, and the processor-time limit below (RLIMIT_CPU, which a
// loaded machine does not stretch as it stretches the clock) stops such a run.
#include <gtest/gtest.h>

#include <sstream>

#include "app_test_support.h"
#include "standard_test_support.h"

namespace fs = std::filesystem;
using stdtest::Quote;

namespace {

constexpr int kListed = 50000;
// Processor seconds: far above what the indexed installer needs, far below what a walk of
// the directory for every name needs on a fast machine (see installer/README.md).
constexpr int kProcessorSeconds = 60;

std::string ListedName(int i) { return "\\Empty\\file" + std::to_string(i) + ".txt"; }

TEST(LongLists, EveryListedEmptyEntryIsLookedUpOnceAndNamedInTheWarning) {
    apptest::ScratchFolder scratch;
    stdtest::ScopedInstallEnvironment env(scratch.Path());
    const fs::path home = scratch.Path() / "home", project = scratch.Path() / "project";
    fs::create_directories(home);
    stdtest::MakeSampleProject(project);
    apptest::WriteFile(project / "empty.bin", "");
    std::string manifest = stdtest::CoreManifest();
    for (int i = 0; i < kListed; ++i) manifest += "raw file " + ListedName(i) + " < empty.bin\n";
    const fs::path installer = scratch.Path() / "setup", install = scratch.Path() / "Demo";
    ASSERT_EQ(stdtest::BuildInstaller(manifest, project, installer), 0);

    const fs::path log = home / "messages.log";
    const int code = stdtest::RunCommand(
        "prlimit --cpu=" + std::to_string(kProcessorSeconds) + " timeout 250 env -u DISPLAY -u VANTREL_PROGRAMS_DIR -u VANTREL_REGISTRY_FILE" +
        " HOME=" + Quote(home.string()) + " XDG_CONFIG_HOME=" + Quote((home / ".config").string()) +
        " XDG_DATA_HOME=" + Quote((home / ".local/share").string()) +
        " VANTREL_DIRECTX_VERSION=8.0 VANTREL_UNATTENDED=1 VANTREL_INSTALL_DIR=" + Quote(install.string()) +
        " VANTREL_MESSAGE_LOG=" + Quote(log.string()) + " " + Quote(installer.string()));
    ASSERT_EQ(code, 0) << "the installer was stopped (152: after " << kProcessorSeconds
                       << " s of processor time; 124: after 250 s)";

    // The warning names each listed entry once, in list order; the rest of the package
    // installed as usual and nothing of the list landed on disk.
    std::string warning;
    std::istringstream in(stdtest::FileString(log));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("box\tok\twarning\tInstallation Warning\t", 0) == 0) warning = line;
    ASSERT_FALSE(warning.empty());
    // The log escapes each backslash of a name as two.
    const auto escaped = [](const std::string& name) {
        std::string out;
        for (char c : name) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        return out;
    };
    size_t lines = 0;
    for (size_t at = warning.find("\\r\\n"); at != std::string::npos; at = warning.find("\\r\\n", at + 1)) ++lines;
    EXPECT_EQ(lines, size_t(kListed));
    int named = 0;
    for (size_t at = 0; named < kListed; ++named) {
        at = warning.find("\\r\\n" + escaped(ListedName(named)) + " (", at);
        if (at == std::string::npos) break;
        ++at;
    }
    EXPECT_EQ(named, kListed);
    EXPECT_TRUE(fs::exists(install / "VantrelViewer.exe"));
    EXPECT_TRUE(fs::exists(install / "uninstall.nfo"));
    EXPECT_FALSE(fs::exists(install / "Empty"));
}

}  // namespace

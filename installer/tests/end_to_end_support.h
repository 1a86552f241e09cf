// The end-to-end harness every project type shares: cgrtool builds the sample project,
// projpack builds an installer from a manifest, and the real projinstall runs it unattended
// with home, configuration, temporary and system folders inside the test's scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "app_test_support.h"
#include "installer/little_endian.h"
#include "installer/package_reader.h"
#include "standard_test_support.h"

namespace e2e {

namespace fs = std::filesystem;
using stdtest::BuildFile;
using stdtest::FileString;

// The sample's plug-ins as the manifest lists them: value operator, vector, tick count,
// matrix, physics world, physics body.
inline constexpr const char* kProjectPlugins[] = {
    "048425EF-3B0E-551D-9206-B4160D97F196", "477BF31D-1058-5465-BE9C-BC0AA5D7D1C0",
    "A882B348-B00B-502B-BE57-1108390D677D", "760F8B3E-E731-5824-A7F7-10BABEB52453",
    "612B6EDB-E73E-59B5-A27B-9884457842A9", "4D7179A6-9615-5A84-826D-7A91E0C8306F"};

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

inline int ExitCode(int status) { return status == -1 ? -1 : (status >> 8) & 0xFF; }

// The system form of a native path, as the installer records it: every '/' a backslash.
inline std::string Backslashed(std::string p) {
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

inline std::string U32Bytes(uint32_t v) {
    uint8_t bytes[4];
    StoreU32LE(v, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), 4);
}

// One record of `size` NUL-padded bytes holding `text`.
inline std::string TextRecord(const char* tag, const std::string& text, size_t size = 259) {
    std::string data = text.substr(0, size);
    data.resize(size, '\0');
    return std::string(tag, 4) + U32Bytes(uint32_t(size)) + data;
}

class EndToEndTest : public ::testing::Test {
protected:
    EndToEndTest() : env_(scratch_.Path()) {
        fs::create_directories(scratch_.Path() / "home");
        fs::create_directories(scratch_.Path() / "tmp");
        project_ = scratch_.Path() / "project";
    }

    // The sample project with one more group in a subfolder and a plain project file.
    void MakeProject() {
        stdtest::MakeSampleProject(project_);
        ASSERT_TRUE(fs::exists(project_ / "start.cgr") && fs::exists(project_ / "VtlStart.vtl"));
        fs::create_directories(project_ / "Stage");
        fs::copy_file(project_ / "start.cgr", project_ / "Stage/camera.cgr");
        apptest::WriteFile(project_ / "Stage/notes.txt", "notes of the project\n");
        apptest::WriteFile(project_ / "helper.dll", "a support library\n");
    }

    // The files of the sample's package, after its settings: the programs and core channels
    // of the build, the uninstaller, the start file, the plug-ins, a library, three files.
    static std::string ProgramAndProjectLines() {
        auto build = [](const std::string& name) { return BuildFile(name).string(); };
        std::string m = "packed VantrelViewer.exe < " + build("VantrelViewer.exe") + "\n";
        m += "packed Corvane.dll < " + build("Corvane.dll") + "\n";
        for (const char* core : stdtest::kCoreChannelFiles) {
            std::string file = core;
            std::replace(file.begin(), file.end(), '\\', '/');
            m += std::string("packed ") + core + " < " + build(file) + "\n";
        }
        m += "packed VtlUnInst.exe < " + build("VtlUnInst.exe") + "\n";
        m += "compressed VtlStart.vtl\n";
        for (const char* guid : kProjectPlugins)
            m += std::string("channel \\Channels\\") + guid + ".dll < " + build(std::string("channels/") + guid + ".dll") + "\n";
        m += "library \\3rd\\helper.dll < helper.dll\n";
        m += "file \\start.cgr\nfile \\Stage\\camera.cgr\nfile \\Stage\\notes.txt\n";
        return m;
    }

    std::string BuildInstaller(const std::string& manifest, const std::string& name) {
        const fs::path manifestFile = scratch_.Path() / (name + ".manifest");
        apptest::WriteFile(manifestFile, manifest);
        const std::string out = (scratch_.Path() / name).string();
        const std::string command = Quote(PROJPACK_EXE) + " build " + Quote(manifestFile.string()) + " " +
                                    Quote(project_.string()) + " " + Quote(PROJINSTALL_EXE) + " " + Quote(out) +
                                    " >/dev/null 2>&1";
        EXPECT_EQ(ExitCode(std::system(command.c_str())), 0) << command;
        fs::permissions(out, fs::perms::owner_exec, fs::perm_options::add);
        return out;
    }

    // Runs the installer unattended in a clean environment (`extraEnv`: more NAME='value'
    // words); its output and that of anything it starts go to `output_`.
    int RunInstaller(const std::string& installer, const std::string& folder, const std::string& directX,
                     const std::string& extraEnv = "") {
        const fs::path home = scratch_.Path() / "home";
        log_ = scratch_.Path() / "messages.log";
        output_ = scratch_.Path() / "output.txt";
        fs::remove(log_);
        const std::string command =
            "env -u DISPLAY -u VANTREL_PROGRAMS_DIR -u VANTREL_REGISTRY_FILE -u VANTREL_PLAYER_DIR"
            " -u VANTREL_BROWSE_DIR -u VANTREL_ANSWER HOME=" + Quote(home.string()) +
            " XDG_CONFIG_HOME=" + Quote((home / ".config").string()) +
            " XDG_DATA_HOME=" + Quote((home / ".local/share").string()) +
            " TMPDIR=" + Quote((scratch_.Path() / "tmp").string()) +
            " VANTREL_DIRECTX_VERSION=" + directX + " VANTREL_UNATTENDED=1 VANTREL_INSTALL_DIR=" + Quote(folder) +
            " VANTREL_MESSAGE_LOG=" + Quote(log_.string()) + " " + extraEnv + " " + Quote(installer) + " >" +
            Quote(output_.string()) + " 2>&1 </dev/null";
        return ExitCode(std::system(command.c_str()));
    }

    // The lines of the message log that start with `kind` ("box", "browse", ...).
    std::vector<std::string> Logged(const std::string& kind = "box") const {
        std::vector<std::string> out;
        std::istringstream in(FileString(log_));
        for (std::string line; std::getline(in, line);)
            if (line.rfind(kind + "\t", 0) == 0) out.push_back(line);
        return out;
    }
    std::vector<std::string> Boxes() const { return Logged("box"); }

    // Waits up to 30 s for `text` to show in the output.
    bool OutputShows(const std::string& text) const {
        for (int i = 0; i < 300; ++i) {
            if (FileString(output_).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    std::string StoredEntry(const std::string& installer, const char* item) const {
        PackageReader reader(installer);
        if (!reader.ReadEntry(item, nullptr, 0, nullptr)) return "<missing>";
        return std::string(reinterpret_cast<const char*>(reader.GetData()), reader.GetDataSize());
    }

    apptest::ScratchFolder scratch_;
    stdtest::ScopedInstallEnvironment env_;
    fs::path project_;
    fs::path log_;
    fs::path output_;
};

}  // namespace e2e

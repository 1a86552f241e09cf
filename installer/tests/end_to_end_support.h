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
#include "package/little_endian.h"
#include "package/package_reader.h"
#include "standard_test_support.h"

namespace e2e {

namespace fs = std::filesystem;
using stdtest::BuildFile;
using stdtest::FileString;

// The sample's plug-ins and the sibling channels it uses, in the order demo.manifest has them.
inline constexpr const char* kProjectPlugins[] = {
    "048425EF-3B0E-551D-9206-B4160D97F196", "612B6EDB-E73E-59B5-A27B-9884457842A9",
    "4D7179A6-9615-5A84-826D-7A91E0C8306F", "A85BC21D-BCF7-51BA-985A-7A95E7DF407C",
    "8DF0D3E6-A5E2-51F1-ACF7-6159952C4847", "5A3D9C61-0E27-4F8B-B1C4-7D20E6A39F15",
    "477BF31D-1058-5465-BE9C-BC0AA5D7D1C0", "760F8B3E-E731-5824-A7F7-10BABEB52453",
    "A882B348-B00B-502B-BE57-1108390D677D", "64DDB092-0AD4-5D10-A7C1-171C793D51D2",
    "EA956DB7-15EC-5403-A421-46FD5AFDE52C", "4051B7C1-8048-5F12-8F72-27D3576595B7",
    "7F4FE98A-A941-56C7-BA13-480C5110A706", "0CA21FFA-3422-54FE-9096-F3BFA4CFB85B",
    "6A205778-365B-53FD-AACF-77A367B47B19", "F37333DC-0710-59A2-BAF6-B8CAF0B8E616",
    "0F1C3E9A-11FE-4100-BD1D-C80312C29D15", "85E5E6FE-6752-4181-8EFC-98E78B37FFD4",
    "A53A33E9-51F6-44B8-8D35-9C1637E6F29C", "6EBEFE0E-559F-4FE0-BA3A-AAE033C83A10",
    "AFB088FC-C645-56F5-BF2F-5A4DF0FE626A"};

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

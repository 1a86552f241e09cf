// The sample project, end to end: cgrtool builds it from its text, projpack builds its installer, the
// real projinstall installs it unattended with home and configuration inside the test's
// folder, the installed viewer runs it, and the installed uninstaller takes it away again.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app_test_support.h"
#include "installer/package_reader.h"
#include "os/registry.h"
#include "standard_test_support.h"

using apptest::ScratchFolder;
using stdtest::BuildFile;
using stdtest::FileString;

namespace fs = std::filesystem;

namespace {

// The sample's plug-ins and the sibling channels it uses, in the order demo.manifest has them.
constexpr const char* kProjectPlugins[] = {
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

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int ExitCode(int status) { return status == -1 ? -1 : (status >> 8) & 0xFF; }

// The system form of a native path, as the installer records it: every '/' a backslash.
std::string Backslashed(std::string p) {
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

std::string U32Bytes(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// One "UNxx" record of 259 NUL-padded bytes.
std::string TextRecord(const char* tag, const std::string& text) {
    std::string data = text.substr(0, 259);
    data.resize(259, '\0');
    return std::string(tag, 4) + U32Bytes(259) + data;
}

class StandardEndToEnd : public ::testing::Test {
protected:
    StandardEndToEnd() : env_(scratch_.Path()) {
        fs::create_directories(scratch_.Path() / "home");
        project_ = scratch_.Path() / "project";
    }

    // The sample project with one more group in a subfolder and a plain project file.
    void MakeProject() {
        fs::create_directories(project_);
        fs::copy(SAMPLE_PROJECT_DIR, project_, fs::copy_options::recursive);
        ASSERT_TRUE(fs::exists(project_ / "start.cgr") && fs::exists(project_ / "VtlStart.vtl"));
        fs::create_directories(project_ / "Stage");
        fs::copy_file(project_ / "start.cgr", project_ / "Stage/camera.cgr");
        apptest::WriteFile(project_ / "Stage/notes.txt", "notes of the project\n");
        apptest::WriteFile(project_ / "helper.dll", "a support library\n");
    }

    std::string Manifest(int runAfterInstall, int checkDx8) const {
        auto build = [](const std::string& name) { return BuildFile(name).string(); };
        std::string m = "type standard\nlevel 1\n";
        m += "byte CheckDx8 " + std::to_string(checkDx8) + "\n";
        m += "byte RunAfterInstall " + std::to_string(runAfterInstall) + "\n";
        m += "text InstallPath C:\\Program Files\\Demo\n";
        m += "text ShortCutName \\Demo Studio\\Demo\n";
        m += "text ProjectName Demo\n";
        m += "packed VantrelViewer.exe < " + build("VantrelViewer.exe") + "\n";
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

    // Runs the installer unattended in a clean environment; its output and that of anything
    // it starts go to `output_`.
    int RunInstaller(const std::string& installer, const std::string& folder, const std::string& directX) {
        const fs::path home = scratch_.Path() / "home";
        log_ = scratch_.Path() / "messages.log";
        output_ = scratch_.Path() / "output.txt";
        fs::remove(log_);
        const std::string command =
            "env -u DISPLAY -u VANTREL_PROGRAMS_DIR -u VANTREL_REGISTRY_FILE HOME=" + Quote(home.string()) +
            " XDG_CONFIG_HOME=" + Quote((home / ".config").string()) +
            " XDG_DATA_HOME=" + Quote((home / ".local/share").string()) +
            " VANTREL_DIRECTX_VERSION=" + directX + " VANTREL_UNATTENDED=1 VANTREL_INSTALL_DIR=" + Quote(folder) +
            " VANTREL_MESSAGE_LOG=" + Quote(log_.string()) + " " + Quote(installer) + " >" +
            Quote(output_.string()) + " 2>&1 </dev/null";
        return ExitCode(std::system(command.c_str()));
    }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> out;
        std::istringstream in(FileString(log_));
        for (std::string line; std::getline(in, line);)
            if (line.rfind("box\t", 0) == 0) out.push_back(line);
        return out;
    }

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

    ScratchFolder scratch_;
    stdtest::ScopedInstallEnvironment env_;
    fs::path project_;
    fs::path log_;
    fs::path output_;
};

TEST_F(StandardEndToEnd, SampleInstallsRunsAndUninstalls) {
    MakeProject();
    const std::string installer = BuildInstaller(Manifest(1, 1), "setup");
    const fs::path install = scratch_.Path() / "inst/A/B";  // neither inst, A nor B exists
    ASSERT_EQ(RunInstaller(installer, install.string(), "8.1"), 0);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0];

    // Programs and libraries come out unpacked, byte for byte the build's files.
    EXPECT_EQ(FileString(install / "VantrelViewer.exe"), FileString(BuildFile("VantrelViewer.exe")));
    EXPECT_EQ(FileString(install / "Corvane.dll"), FileString(BuildFile("Corvane.dll")));
    EXPECT_EQ(FileString(install / "VtlUnInst.exe"), FileString(BuildFile("VtlUnInst.exe")));
    for (const char* core : stdtest::kCoreChannelFiles) {
        std::string file = core;
        std::replace(file.begin(), file.end(), '\\', '/');
        EXPECT_EQ(FileString(install / file), FileString(BuildFile(file))) << core;
    }
    const std::string valueop = "channels/048425EF-3B0E-551D-9206-B4160D97F196.dll";
    EXPECT_EQ(FileString(install / valueop), FileString(BuildFile(valueop)));
    EXPECT_EQ(FileString(install / "3rd/helper.dll"), "a support library\n");
    EXPECT_EQ(FileString(install / "Stage/notes.txt"), "notes of the project\n");
    // Groups and the start file stay the compressed files the package holds.
    EXPECT_EQ(FileString(install / "VtlStart.vtl"), StoredEntry(installer, "VtlStart.vtl"));
    EXPECT_EQ(FileString(install / "start.cgr"), StoredEntry(installer, "\\start.cgr"));
    EXPECT_EQ(FileString(install / "Stage/camera.cgr"), StoredEntry(installer, "\\Stage\\camera.cgr"));
    EXPECT_NE(FileString(install / "start.cgr"), FileString(project_ / "start.cgr"));
    EXPECT_TRUE((fs::status(install / "VantrelViewer.exe").permissions() & fs::perms::owner_exec) != fs::perms::none);

    // The viewer was started on the installed project and runs it to the end on its own.
    EXPECT_TRUE(OutputShows("dot = 32")) << FileString(output_);
    EXPECT_NE(FileString(output_).find("Ran \\start.cgr: 84 channels, 250 frames"), std::string::npos);
    // The box of the sample fell onto its ground plane: half its size above it.
    const std::string output = FileString(output_);
    const size_t at_height = output.find("height = ");
    ASSERT_NE(at_height, std::string::npos) << output;
    EXPECT_NEAR(std::stof(output.substr(at_height + 9)), 0.5f, 0.02f) << output;

    // The uninstall log, byte for byte.
    const std::string at = install.string() + "\\";
    const fs::path programs = scratch_.Path() / "home/.local/share/applications";
    std::vector<std::string> files = {
        at + "VantrelViewer.exe",
        at + "Corvane.dll",
        at + stdtest::kCoreChannelFiles[0], at + stdtest::kCoreChannelFiles[1], at + stdtest::kCoreChannelFiles[2],
        at + stdtest::kCoreChannelFiles[3], at + stdtest::kCoreChannelFiles[4], at + stdtest::kCoreChannelFiles[5],
        at + stdtest::kCoreChannelFiles[6],
        at + "VtlStart.vtl",
        programs.string() + "\\Demo Studio\\Demo.desktop",
        programs.string() + "\\Demo Studio\\Demo Uninstall.desktop",
        at + "VtlUnInst.exe",
    };
    for (const char* guid : kProjectPlugins) files.push_back(at + "\\Channels\\" + guid + ".dll");
    for (const char* rest : {"\\3rd\\helper.dll", "\\start.cgr", "\\Stage\\camera.cgr", "\\Stage\\notes.txt"})
        files.push_back(at + rest);
    const std::string inst = Backslashed((scratch_.Path() / "inst").string());
    const std::string share = Backslashed((scratch_.Path() / "home/.local/share").string());
    const std::vector<std::string> foldersLastFirst = {
        inst + "\\A\\B\\\\Stage\\",
        inst + "\\A\\B\\\\3rd\\",
        share + "\\applications\\Demo Studio\\",
        share + "\\applications\\",
        Backslashed((scratch_.Path() / "home/.local/share").string()) + "\\",
        Backslashed((scratch_.Path() / "home/.local").string()) + "\\",
        inst + "\\A\\B\\channels\\",
        inst + "\\A\\B\\",
        inst + "\\A\\",
        inst + "\\",
    };
    std::string expected = "UNFC" + U32Bytes(4) + U32Bytes(uint32_t(files.size()));
    for (const std::string& f : files) expected += TextRecord("UNFN", f);
    expected += "UNDC" + U32Bytes(4) + U32Bytes(uint32_t(foldersLastFirst.size()));
    for (const std::string& d : foldersLastFirst) expected += TextRecord("UNDN", d);
    expected += TextRecord("UNPN", "Demo");
    EXPECT_EQ(FileString(install / "uninstall.nfo"), expected);

    // The registry store under the configuration folder.
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelDemo";
    const std::vector<os::RegistryValue> values = os::RegistryAllValues();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].root, os::RegistryRoot::LocalMachine);
    EXPECT_EQ(values[0].key, key);
    EXPECT_EQ(values[0].name, "DisplayName");
    EXPECT_EQ(values[0].data, "Demo");
    EXPECT_EQ(values[1].key, key);
    EXPECT_EQ(values[1].name, "UninstallString");
    EXPECT_EQ(values[1].data, install.string() + "\\VtlUnInst.exe");
    EXPECT_TRUE(fs::exists(scratch_.Path() / "home/.config/vantrel/registry"));

    // The desktop entries in the applications folder.
    EXPECT_EQ(FileString(programs / "Demo Studio/Demo.desktop"),
              "[Desktop Entry]\nType=Application\nName=Demo\nExec=\"" + install.string() +
                  "/VantrelViewer.exe\" \"VtlStart.vtl\"\nPath=" + install.string() +
                  "\nComment=Vantrel Project Link\nTerminal=false\n");
    EXPECT_EQ(FileString(programs / "Demo Studio/Demo Uninstall.desktop"),
              "[Desktop Entry]\nType=Application\nName=Demo Uninstall\nExec=\"" + install.string() +
                  "/VtlUnInst.exe\"\nPath=" + install.string() + "\nComment=Vantrel Uninstall Link\nTerminal=false\n");

    // The installed uninstaller reads the log and takes everything away again.
    const std::string uninstall = "env VANTREL_REGISTRY_FILE=" +
                                  Quote((scratch_.Path() / "home/.config/vantrel/registry").string()) + " " +
                                  Quote((install / "VtlUnInst.exe").string()) + " >/dev/null";
    ASSERT_EQ(ExitCode(std::system(uninstall.c_str())), 0);
    EXPECT_FALSE(fs::exists(scratch_.Path() / "inst"));
    EXPECT_FALSE(fs::exists(scratch_.Path() / "home/.local"));
    EXPECT_TRUE(os::RegistryAllValues().empty());
}

TEST_F(StandardEndToEnd, WithoutDirectX81TheSuccessMessageShowsAndNothingStarts) {
    MakeProject();
    const std::string installer = BuildInstaller(Manifest(1, 0), "setup-dx80");
    const fs::path install = scratch_.Path() / "Demo";
    ASSERT_EQ(RunInstaller(installer, install.string(), "8.0"), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "box\tok\tinformation\tDemo\tInstallation successfully completed!\\r\\nYou are able "
                           "to find the installed program in the Start menu."});
    EXPECT_TRUE(fs::exists(install / "uninstall.nfo"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(FileString(output_).find("Ran "), std::string::npos) << FileString(output_);
}

}  // namespace

// The sample project, end to end: cgrtool builds it from its text, projpack builds its installer, the
// real projinstall installs it unattended with home and configuration inside the test's
// folder, the installed viewer runs it, and the installed uninstaller takes it away again.
#include "end_to_end_support.h"
#include "os/registry.h"

using namespace e2e;

namespace {

class StandardEndToEnd : public EndToEndTest {
protected:
    static std::string Manifest(int runAfterInstall, int checkDx8) {
        std::string m = "type standard\nlevel 1\n";
        m += "byte CheckDx8 " + std::to_string(checkDx8) + "\n";
        m += "byte RunAfterInstall " + std::to_string(runAfterInstall) + "\n";
        m += "text InstallPath C:\\Program Files\\Demo\n";
        m += "text ShortCutName \\Demo Studio\\Demo\n";
        m += "text ProjectName Demo\n";
        return m + ProgramAndProjectLines();
    }
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

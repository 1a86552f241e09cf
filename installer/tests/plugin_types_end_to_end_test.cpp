// Run in place, the screensaver and the Winamp plug-in types, end to end: real packages from
// projpack, the real projinstall, the real viewer.
#include <atomic>
#include <cerrno>
#include <thread>

#include "end_to_end_support.h"
#include "installer/player_folder.h"
#include "package/uninstall_log.h"
#include "os/message_box.h"
#include "os/registry.h"

using namespace e2e;

namespace {

constexpr char kSaverBytes[] = "the screen saver program\n";
constexpr char kPluginBytes[] = "the player plug-in\n";

class PluginTypesEndToEnd : public EndToEndTest {
protected:
    void MakeProjectWithPrograms() {
        MakeProject();
        apptest::WriteFile(project_ / "saver.bin", kSaverBytes);
        apptest::WriteFile(project_ / "plugin.bin", kPluginBytes);
    }

    static std::string Settings(const std::string& type, int checkDx8) {
        return "type " + type + "\nlevel 1\nbyte CheckDx8 " + std::to_string(checkDx8) + "\ntext ProjectName Demo\n";
    }
    static std::string ScreensaverManifest() {
        return Settings("screensaver", 1) +
               "byte RunAfterInstall 1\ntext InstallPath C:\\Saver\nbyte DoQuitCgr 1\nbyte DoSmallPreview 0\n"
               "packed VtlSvr.scr < saver.bin\n" + ProgramAndProjectLines();
    }
    static std::string WinampManifest(int version) {
        return Settings("winamp", 1) + "text StartupDirectory C:\\Vis\nbyte WinampVersion " +
               std::to_string(version) + "\npacked WinAmp.dll < plugin.bin\n" + ProgramAndProjectLines();
    }

    // "SCFP" with the start file's path in 259 bytes, then "SCTI" 20.
    static std::string StartRecords(const fs::path& install) {
        return TextRecord("SCFP", install.string() + "\\VtlStart.vtl") + "SCTI" + U32Bytes(4) + U32Bytes(20);
    }

    std::optional<UninstallLog> Log(const fs::path& install) const {
        const std::vector<uint8_t> bytes = stdtest::FileBytes(install / "uninstall.nfo");
        return ParseUninstallLog(bytes);
    }
};

std::string Box(const std::string& buttons, const std::string& icon, const std::string& caption,
                const std::string& text) {
    return "box\t" + buttons + "\t" + icon + "\t" + caption + "\t" + os::EscapeLogField(text);
}

const std::string kSuccessBox = Box("ok", "information", "Demo", "Installation successfully completed!");

TEST_F(PluginTypesEndToEnd, RunInPlacePlaysTheSampleInAPrivateFolderAndLeavesNothing) {
    MakeProject();
    const std::string installer = BuildInstaller(Settings("run-in-place", 1) + ProgramAndProjectLines(), "play");
    const fs::path temp = scratch_.Path() / "tmp/Vantrel0";

    // Watch the temporary folder while the installer runs: it must be private throughout.
    std::atomic<bool> done = false;
    int exitCode = -1;
    std::thread run([&] {
        exitCode = RunInstaller(installer, "", "8.1");
        done = true;
    });
    bool seen = false;
    bool alwaysPrivate = true;
    while (!done) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(temp, ec);
        if (!ec && fs::is_directory(status)) {
            seen = true;
            alwaysPrivate = alwaysPrivate && (status.permissions() & fs::perms::all) == fs::perms::owner_all;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.join();
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(alwaysPrivate);

    // The viewer ran the project to its end before the installer came back.
    const std::string output = FileString(output_);
    EXPECT_NE(output.find("Ran \\start.cgr: 84 channels, 250 frames"), std::string::npos) << output;
    const size_t atHeight = output.find("height = ");
    ASSERT_NE(atHeight, std::string::npos) << output;
    EXPECT_NEAR(std::stof(output.substr(atHeight + 9)), 0.5f, 0.02f);

    EXPECT_TRUE(Boxes().empty()) << Boxes()[0];
    EXPECT_TRUE(fs::is_empty(scratch_.Path() / "tmp"));
    EXPECT_TRUE(os::RegistryAllValues().empty());
    EXPECT_FALSE(fs::exists(scratch_.Path() / "home/.local"));
}

TEST_F(PluginTypesEndToEnd, RunInPlaceStopsWithoutDirectX81) {
    MakeProject();
    const std::string installer = BuildInstaller(Settings("run-in-place", 1) + ProgramAndProjectLines(), "play");
    ASSERT_EQ(RunInstaller(installer, "", "8.0"), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{Box(
                           "ok", "error", "DirectX version check error",
                           "DirectX 8.1 or higher was not detected on this system\n\r"
                           "Please install DirectX 8.1 or higher for this application to run.")});
    EXPECT_TRUE(fs::is_empty(scratch_.Path() / "tmp"));
    EXPECT_EQ(FileString(output_).find("Ran "), std::string::npos);
}

// A viewer that cannot be started: its error number alone as the caption, and the clean-up
// still runs.
TEST_F(PluginTypesEndToEnd, RunInPlaceCleansUpWhenTheViewerCannotStart) {
    MakeProject();
    std::string manifest = Settings("run-in-place", 0) + ProgramAndProjectLines();
    const std::string viewer = "packed VantrelViewer.exe < " + BuildFile("VantrelViewer.exe").string();
    manifest.replace(manifest.find(viewer), viewer.size(), "packed VantrelViewer.exe < helper.dll");
    ASSERT_EQ(RunInstaller(BuildInstaller(manifest, "play"), "", "8.1"), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{Box("ok", "none", std::to_string(ENOEXEC),
                                                    "Unable to start vantrelviewer.exe")});
    EXPECT_TRUE(fs::is_empty(scratch_.Path() / "tmp"));
}

TEST_F(PluginTypesEndToEnd, ScreensaverInstallsItsCopyConfigurationAndLog) {
    MakeProjectWithPrograms();
    const std::string installer = BuildInstaller(ScreensaverManifest(), "saver-setup");
    const fs::path system = scratch_.Path() / "system";
    fs::create_directories(system);
    const fs::path install = scratch_.Path() / "Saver";
    // DirectX 8.0 with "CheckDx8" set: a warning, and the installation goes on.
    ASSERT_EQ(RunInstaller(installer, install.string(), "8.0", "VANTREL_SYSTEM_DIR=" + Quote(system.string())), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           Box("ok", "warning", "Demo",
                               "DirectX 8.1 or higher was not detected on this system\n\rDirectX 8.1 or higher "
                               "needs to be installed before the screen saver will work."),
                           kSuccessBox}));

    // The screen-saver program under the project's name, still runnable.
    EXPECT_EQ(FileString(system / "Demo.scr"), kSaverBytes);
    EXPECT_NE(fs::status(system / "Demo.scr").permissions() & fs::perms::owner_exec, fs::perms::none);

    const std::string config = FileString(install / "screensaver.cfg");
    EXPECT_EQ(config.size(), 297u);
    EXPECT_EQ(config, StartRecords(install) + "SCQC" + U32Bytes(1) + '\1' + "SCSP" + U32Bytes(1) + '\0');

    const std::string log = FileString(install / "uninstall.nfo");
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.substr(log.size() - 4), "UNSK");
    const std::optional<UninstallLog> parsed = Log(install);
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->skipTag);
    const std::string at = install.string() + "\\";
    const std::vector<std::string>& files = parsed->files;
    // 9 core files, the uninstaller, the saver and its copy, the plug-ins, a library, 3 project
    // files and the configuration.
    ASSERT_EQ(files.size(), 17u + std::size(kProjectPlugins));
    EXPECT_EQ(files[8], at + "VtlStart.vtl");
    EXPECT_EQ(files[9], at + "VtlUnInst.exe");
    EXPECT_EQ(files[10], at + "VtlSvr.scr");
    EXPECT_EQ(files[11], system.string() + "\\Demo.scr");
    EXPECT_EQ(files.back(), at + "screensaver.cfg");
    EXPECT_FALSE(fs::exists(install / "VantrelViewer.exe"));  // a screen saver has no viewer

    // The viewer key, then the uninstall key.
    const std::vector<os::RegistryValue> values = os::RegistryAllValues();
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].key, "SOFTWARE\\Borrin\\Vantrel Viewers\\2.00.000\\Demo");
    EXPECT_EQ(values[0].data, install.string());
    EXPECT_EQ(values[1].key, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelDemo");
    EXPECT_EQ(values[2].data, install.string() + "\\VtlUnInst.exe");

    std::vector<std::string> positions;
    for (const std::string& line : Logged("progress"))
        if (line.rfind("progress\tposition\t", 0) == 0) positions.push_back(line.substr(18));
    ASSERT_GE(positions.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(positions.begin(), positions.begin() + 3),
              (std::vector<std::string>{"0", "25", "50"}));
    EXPECT_EQ(positions.back(), "474");

    // The uninstaller takes the copy away with the rest: its name and bytes show it is ours.
    const std::string uninstall = "env VANTREL_REGISTRY_FILE=" +
                                  Quote((scratch_.Path() / "home/.config/vantrel/registry").string()) + " " +
                                  Quote((install / "VtlUnInst.exe").string()) + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(uninstall.c_str()), 0);
    EXPECT_FALSE(fs::exists(system / "Demo.scr"));
    EXPECT_FALSE(fs::exists(install));
}

// Where the plug-in goes: a folder from the registry keeps its trailing backslash, so the
// path listed holds it doubled; a folder picked in the browser has none.
TEST_F(PluginTypesEndToEnd, WinampPluginFindsThePlayerOrAsks) {
    MakeProjectWithPrograms();
    const std::string winamp2 = BuildInstaller(WinampManifest(0), "vis2");
    const std::string winamp3 = BuildInstaller(WinampManifest(1), "vis3");
    const fs::path player = scratch_.Path() / "player";
    const std::string playerAsListed = Backslashed(player.string());
    const std::string question2 =
        "WinAmp 2.x installation folder could not be detected by the installer. This program needs WinAmp 2.x (not "
        "WinAmp 3) to run.\nWould you like to continue and manually select your WinAmp 2.x folder?";

    const std::string warning = Box("ok", "warning", "Demo",
                                    "DirectX 8.1 or higher was not detected on this system\n\rDirectX 8.1 or higher "
                                    "needs to be installed before the winamp plugin will work.");
    struct Case {
        const char* name;
        const char* directX;
        bool winamp3;
        std::string command;  // the open command in the registry; empty: none
        std::string env;
        std::string listedTarget;  // empty: nothing more is installed
        fs::path copy;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"registry 2.x", "8.0", false, "\"" + playerAsListed + "\\winamp.exe\" /ADD \"%1\"", "",
         playerAsListed + "\\\\Plugins\\vis_Demo.dll", player / "Plugins/vis_Demo.dll", {warning, kSuccessBox}},
        {"registry 3", "8.1", true, "\"" + playerAsListed + "\\Studio.exe\" \"%1\"", "",
         playerAsListed + "\\\\Wacs\\Demo.wac", player / "Wacs/Demo.wac", {kSuccessBox}},
        {"browsed", "8.1", false, "", "VANTREL_BROWSE_DIR=" + Quote(player.string()),
         player.string() + "\\Plugins\\vis_Demo.dll", player / "Plugins/vis_Demo.dll",
         {Box("yesno", "warning", "Demo", question2), kSuccessBox}},
        {"answered no", "8.1", false, "", "VANTREL_ANSWER=no", "", {}, {Box("yesno", "warning", "Demo", question2)}},
        {"browser closed", "8.1", false, "", "", "", {}, {Box("yesno", "warning", "Demo", question2)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(player);
        fs::create_directories(player / "Plugins");
        fs::create_directories(player / "Wacs");
        fs::remove(os::RegistryFilePath());
        if (!c.command.empty())
            os::RegistrySetString(os::RegistryRoot::ClassesRoot, PlayerCommandKey(c.winamp3), "", c.command.data(),
                                  uint32_t(c.command.size()));
        const fs::path install = scratch_.Path() / (std::string("Vis ") + c.name);
        ASSERT_EQ(RunInstaller(c.winamp3 ? winamp3 : winamp2, install.string(), c.directX, c.env), 0);
        EXPECT_EQ(Boxes(), c.boxes);
        // The browser opens only after a Yes.
        std::vector<std::string> browsed;
        if (c.command.empty() && c.env != "VANTREL_ANSWER=no")
            browsed.push_back("browse\tSelect Main WinAmp Install Folder\t" +
                              (c.listedTarget.empty() ? std::string("cancel") : player.string()));
        EXPECT_EQ(Logged("browse"), browsed);
        if (c.listedTarget.empty()) {
            EXPECT_TRUE(fs::is_empty(player / "Plugins"));
            EXPECT_FALSE(fs::exists(install / "winamp.cfg"));
            EXPECT_FALSE(fs::exists(install / "uninstall.nfo"));
            EXPECT_TRUE(os::RegistryAllValues().empty());
            continue;
        }
        EXPECT_EQ(FileString(c.copy), kPluginBytes);
        const std::string config = FileString(install / "winamp.cfg");
        EXPECT_EQ(config.size(), 279u);
        EXPECT_EQ(config, StartRecords(install));
        const std::optional<UninstallLog> log = Log(install);
        ASSERT_TRUE(log);
        EXPECT_TRUE(log->skipTag);
        ASSERT_EQ(log->files.size(), 17u + std::size(kProjectPlugins));
        EXPECT_EQ(log->files[10], install.string() + "\\WinAmp.dll");
        EXPECT_EQ(log->files[11], c.listedTarget);
        EXPECT_EQ(log->files.back(), install.string() + "\\winamp.cfg");
    }
}

TEST(PlayerOpenCommand, FolderOfTheProgramItStarts) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"\"C:\\Program Files\\Winamp\\winamp.exe\" \"%1\"", "C:\\Program Files\\Winamp\\"},
        {"\"/opt/player/winamp\" %1", "/opt/player/"},
        {"C:\\Winamp\\winamp.exe \"%1\"", "C:\\Winamp\\"},      // unquoted: up to the first blank
        {"\"C:\\Program Files\\Winamp\\winamp.exe", std::nullopt},  // no closing quote
        {"\"winamp.exe\" \"%1\"", std::nullopt},                  // no folder at all
        {"", std::nullopt},
    };
    for (const auto& [command, folder] : cases) EXPECT_EQ(FolderFromOpenCommand(command), folder) << command;
}

}  // namespace

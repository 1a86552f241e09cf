// The sample project in all four project types, as a user meets it: each installer is built
// from its samples/*.manifest with projpack, installed unattended with the real projinstall
// (system and player folders inside the scratch folder), and then played the way that type
// is played: the installed viewer, the installer itself (run in place), the screen saver's
// copy in the system folder run with "/s", and the player plug-in's entry point.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "end_to_end_support.h"
#include "package/uninstall_log.h"
#include "os/native_path.h"
#include "project_config.h"

using namespace e2e;

namespace {

constexpr char kRan[] = "Ran \\start.cgr: 84 channels, ";

// What `call` writes to standard output, itself and the processes it starts.
std::string CapturedStdout(const fs::path& file, const std::function<void()>& call) {
    std::fflush(stdout);
    const int saved = ::dup(1);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, 1);
    ::close(fd);
    call();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    return FileString(file);
}

class SampleTypesEndToEnd : public EndToEndTest {
protected:
    SampleTypesEndToEnd() {
        project_ = SAMPLE_PROJECT_DIR;
        system_ = scratch_.Path() / "system";
        player_ = scratch_.Path() / "player";
        fs::create_directories(player_ / "Plugins");
    }

    std::string Run(const std::string& command) {
        std::string output;
        stdtest::RunCommand(command, &output, scratch_.Path() / "run.txt");
        return output;
    }

    // Every file the installation left is in its log (the log itself aside), every listed
    // file exists, and the installed uninstaller takes it all away again.
    void ExpectCompleteLog(const fs::path& install, const std::vector<fs::path>& outside) {
        const std::optional<UninstallLog> log = ParseUninstallLog(stdtest::FileBytes(install / "uninstall.nfo"));
        ASSERT_TRUE(log);
        std::set<fs::path> listed;
        for (const std::string& file : log->files) {
            const fs::path native = os::NativePath(file);
            EXPECT_TRUE(fs::exists(native)) << file;
            listed.insert(fs::weakly_canonical(native));
        }
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(install))
            if (e.is_regular_file() && e.path().filename() != "uninstall.nfo") {
                EXPECT_TRUE(listed.count(fs::weakly_canonical(e.path()))) << e.path() << " is not in the log";
            }
        for (const fs::path& p : outside) EXPECT_TRUE(listed.count(fs::weakly_canonical(p))) << p;

        const std::string said = Run(Quote((install / "VtlUnInst.exe").string()));
        EXPECT_FALSE(fs::exists(install)) << said;
        for (const fs::path& p : outside) EXPECT_FALSE(fs::exists(p)) << p;
    }

    fs::path system_;
    fs::path player_;
};

TEST_F(SampleTypesEndToEnd, EveryTypeInstallsAndPlays) {
    struct Case {
        const char* manifest;
        const char* folder;  // below the scratch folder; null: run in place
        const char* projectName;
        // Plays the installed project as its type is played; what it printed.
        std::function<std::string(const fs::path& install)> play;
        std::function<std::vector<fs::path>()> outside;  // copies outside the install folder
    };
    const Case cases[] = {
        {"demo.manifest", "Sample", "Sample",
         [&](const fs::path& install) {
             return Run("cd " + Quote(install.string()) + " && ./VantrelViewer.exe VtlStart.vtl --frames 25 --quiet");
         },
         [&] {
             const fs::path links = scratch_.Path() / "home/.local/share/applications/Vantrel Samples";
             return std::vector<fs::path>{links / "Sample.desktop", links / "Sample Uninstall.desktop"};
         }},
        {"demo-run-in-place.manifest", nullptr, "", [&](const fs::path&) { return FileString(output_); }, {}},
        {"demo-screensaver.manifest", "Saver", "Sample Saver",
         [&](const fs::path& install) {
             // The program in the install folder reads the configuration beside it.
             const std::string original = Run(Quote((install / "VtlSvr.scr").string()) + " -S --frames 5 --quiet");
             EXPECT_NE(original.find(std::string(kRan) + "5 frames"), std::string::npos) << original;
             const fs::path scr = system_ / "Sample Saver.scr";
             EXPECT_NE(fs::status(scr).permissions() & fs::perms::owner_exec, fs::perms::none);
             return Run(Quote(scr.string()) + " /s --frames 25 --quiet");
         },
         [&] { return std::vector<fs::path>{system_ / "Sample Saver.scr"}; }},
        {"demo-media-player.manifest", "Vis", "Sample Visualisation",
         [&](const fs::path&) {
             const fs::path plugin = player_ / "Plugins/vis_Sample Visualisation.dll";
             void* library = ::dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
             if (!library) return std::string("dlopen: ") + ::dlerror();
             auto play = reinterpret_cast<int (*)(unsigned)>(::dlsym(library, "VantrelVisPlay"));
             int result = -2;
             std::string output = CapturedStdout(scratch_.Path() / "plugin.txt", [&] { result = play ? play(25) : -3; });
             ::dlclose(library);
             EXPECT_EQ(result, 0);
             return output;
         },
         [&] { return std::vector<fs::path>{player_ / "Plugins/vis_Sample Visualisation.dll"}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manifest);
        const std::string installer = BuildInstaller(FileString(fs::path(SAMPLES_DIR) / c.manifest), "setup");
        ASSERT_EQ(stdtest::RunCommand(Quote(PROJPACK_EXE) + " check " + Quote(installer), nullptr, scratch_.Path() / "check.txt"), 0);
        const fs::path install = c.folder ? scratch_.Path() / c.folder : fs::path();
        ASSERT_EQ(RunInstaller(installer, install.string(), "8.1",
                               "VANTREL_SYSTEM_DIR=" + Quote(system_.string()) +
                                   " VANTREL_PLAYER_DIR=" + Quote(player_.string())),
                  0);
        const std::vector<std::string> boxes = Boxes();
        if (c.folder) {
            ASSERT_FALSE(boxes.empty());
            EXPECT_EQ(boxes.back().find("box\tok\tinformation\t" + std::string(c.projectName) +
                                        "\tInstallation successfully completed!"),
                      0u)
                << boxes.back();
        } else {
            EXPECT_TRUE(boxes.empty()) << boxes[0];
            EXPECT_TRUE(fs::is_empty(scratch_.Path() / "tmp"));  // the temporary folder is gone
        }

        const std::string played = c.play(install);
        EXPECT_NE(played.find(std::string(kRan) + (c.folder ? "25 frames" : "250 frames")), std::string::npos)
            << played;
        if (c.folder) ExpectCompleteLog(install, c.outside());
    }

    // A copy whose project is not installed finds no configuration, and says so. (The
    // uninstaller took the system folder it made away with the last copy.)
    fs::create_directories(system_);
    fs::copy_file(BuildFile("VtlSvr.scr"), system_ / "Nobody.scr");
    EXPECT_NE(Run(Quote((system_ / "Nobody.scr").string()) + " /s").find("no installed project found"),
              std::string::npos);
}

// The configuration the installer writes, cut anywhere: either refused, or (cut between
// records) read with the start file it names.
TEST_F(SampleTypesEndToEnd, ConfigurationCutAnywhereIsRefusedOrReadWhole) {
    const std::string installer = BuildInstaller(FileString(fs::path(SAMPLES_DIR) / "demo-screensaver.manifest"), "setup");
    const fs::path install = scratch_.Path() / "Saver";
    ASSERT_EQ(RunInstaller(installer, install.string(), "8.1", "VANTREL_SYSTEM_DIR=" + Quote(system_.string())), 0);
    const std::vector<uint8_t> bytes = stdtest::FileBytes(install / "screensaver.cfg");
    ASSERT_EQ(bytes.size(), 297u);
    const std::string start = install.string() + "\\VtlStart.vtl";
    const std::set<size_t> boundaries = {267, 279, 288, 297};
    for (size_t n = 0; n <= bytes.size(); ++n) {
        const std::optional<player::ProjectConfig> config =
            player::ReadProjectConfig(std::span(bytes.data(), n));
        EXPECT_EQ(config.has_value(), boundaries.count(n) == 1) << n;
        if (config) {
            EXPECT_EQ(config->startFile, start);
        }
        if (n == bytes.size() && config) {
            EXPECT_EQ(config->timeValue, 20);
            EXPECT_EQ(config->quitByte, 1);
            EXPECT_EQ(config->smallPreview, 1);
        }
    }
}

}  // namespace

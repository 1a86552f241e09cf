// InstallStandard, and the failures of the screensaver and Winamp types, in the test process:
// packages built entry by entry, the real engine core loaded from the install folder, links,
// registry and log kept inside a scratch folder. Starting the viewer is recorded rather than
// done (the end-to-end tests start it).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>

#include "app_test_support.h"
#include "dialogs/progress_window.h"
#include "package/packed_file.h"
#include "installer/project_installer.h"
#include "package/uninstall_log.h"
#include "os/current_folder.h"
#include "os/registry.h"
#include "package_bytes.h"
#include "standard_test_support.h"
#include "tagfile/compressed_file.h"

using apptest::ReadFile;
using apptest::ScopedFace;
using apptest::ScopedProgram;
using apptest::ScratchFolder;
using testpkg::Bytes;
using testpkg::Item;
using testpkg::U32;

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Packed(const std::vector<uint8_t>& content) { return PackPackedFile(content, 1); }

std::vector<uint8_t> Compressed(const std::string& content) {
    return tagfile::PackCompressedFile(Bytes(content), 1);
}

const std::vector<uint8_t>& PackedEngineCore() {
    static const std::vector<uint8_t> packed = Packed(stdtest::FileBytes(stdtest::BuildFile("Corvane.dll")));
    return packed;
}

class TestInstaller : public ProjectInstaller {
public:
    void LaunchViewer(bool wait) override {
        launches.push_back(wait);
        launchFolder = os::GetCurrentFolder();
    }
    // A failed installation leaves its progress window for the destructor; the window
    // reports to the face, so it has to go while the test's face is still there.
    void CloseProgressWindow() { progressWindow_.reset(); }
    std::vector<bool> launches;
    std::string launchFolder;
};

// What a package holds, by role; each test changes what it needs before Build().
struct PackageContents {
    std::map<std::string, std::vector<uint8_t>> settings{
        {"PROJECTTYPE", U32(2)},
        {"CHECKDX8", {0}},
        {"RUNAFTERINSTALL", {0}},
        {"INSTALLPATH", Bytes("C:\\Program Files\\Demo", true)},
        {"SHORTCUTNAME", Bytes("\\Demo Studio\\Demo", true)},
        {"PROJECTNAME", Bytes("Demo", true)},
    };
    bool uninstaller = true;
    std::optional<std::vector<uint8_t>> engineCore;  // default: the build's, packed
    std::vector<std::string> channels{"\\Channels\\AAAA.dll", "\\Channels\\BBBB.dll"};
    std::vector<std::string> libraries{"\\3rd\\helper.dll"};
    std::vector<std::string> files{"\\start.cgr", "\\Stage\\notes.txt"};
    std::vector<std::string> missingFiles;  // listed, but not in "APPDATA"
    bool channelCount = true, channelDllCount = true, fileCount = true;

    std::vector<uint8_t> Build() const {
        std::vector<Item> items;
        for (const auto& [name, value] : settings) items.push_back({"APPDATA", name, value});
        items.push_back({"APPDATA", "VANTRELVIEWER.EXE", Packed(Bytes("viewer program"))});
        items.push_back({"APPDATA", "CORVANE.DLL", engineCore ? *engineCore : PackedEngineCore()});
        for (const char* core : stdtest::kCoreChannelFiles)
            items.push_back({"APPDATA", core, Packed(Bytes(std::string("core ") + core))});
        items.push_back({"APPDATA", "VTLSTART.VTL", Compressed("start file")});
        if (uninstaller) items.push_back({"APPDATA", "VTLUNINST.EXE", Packed(Bytes("uninstaller"))});
        auto list = [&](const char* group, const char* countName, const char* idName,
                        const std::vector<std::string>& names, bool withCount) {
            if (withCount) items.push_back({group, countName, U32(uint32_t(names.size()))});
            for (size_t i = 0; i < names.size(); ++i) {
                items.push_back({group, idName + std::to_string(i), Bytes(names[i], true)});
                bool missing = false;
                for (const std::string& m : missingFiles) missing |= m == names[i];
                if (!missing) items.push_back({"APPDATA", names[i], Compressed("content of " + names[i])});
            }
        };
        list("CHANNELINFO", "CHANNELCOUNT", "CHANNELITEMNAMEID", channels, channelCount);
        list("CHANNELINFO", "CHANNELDLLCOUNT", "CHANNELDLLITEMNAMEID", libraries, channelDllCount);
        list("FILEINFO", "FILECOUNT", "ITEMNAMEID", files, fileCount);
        return testpkg::Build(items);
    }
};

class StandardInstall : public ::testing::Test {
protected:
    StandardInstall() : env_(scratch_.Path()), startFolder_(os::GetCurrentFolder()) {
        fs::create_directories(scratch_.Path() / "home");
    }
    // The installation moves the current folder into the install folder.
    ~StandardInstall() override { os::SetCurrentFolder(startFolder_); }

    // Builds the package, runs InstallStandard with the dialog answering `dialog` on
    // `folder`, and keeps what the face recorded.
    bool Install(const PackageContents& contents, const std::string& folder,
                 ui::UnattendedFace::DialogAnswer dialog = ui::UnattendedFace::DialogAnswer::Install,
                 bool answerYes = true, bool (ProjectInstaller::*handler)() = &ProjectInstaller::InstallStandard) {
        testpkg::TempFile package(contents.Build());
        ScopedProgram program(package.Path());
        ui::UnattendedFace::Settings settings;
        settings.folder = folder;
        settings.dialogAnswer = dialog;
        settings.answerYes = answerYes;
        ScopedFace face(settings);
        installer_ = std::make_unique<TestInstaller>();
        const bool ok = ((*installer_).*handler)();
        lines_ = face->Lines();
        boxes_ = face.Boxes();
        installer_->CloseProgressWindow();
        return ok;
    }

    std::string Folder(const std::string& name) const { return (scratch_.Path() / name).string(); }
    fs::path Programs() const { return scratch_.Path() / "home/.local/share/applications"; }
    bool NothingWritten(const std::string& folder) const {
        return !fs::exists(folder) && !fs::exists(Programs()) && os::RegistryAllValues().empty();
    }
    std::vector<int> ProgressPositions() const {
        std::vector<int> out;
        for (const auto& line : lines_)
            if (line[0] == "progress" && line[1] == "position") out.push_back(std::stoi(line[2]));
        return out;
    }
    std::vector<std::string> LoggedFiles(const std::string& folder) const {
        const std::string bytes = ReadFile(fs::path(folder) / "uninstall.nfo");
        auto log = ParseUninstallLog(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        return log ? log->files : std::vector<std::string>{"<no log>"};
    }

    ScratchFolder scratch_;
    stdtest::ScopedInstallEnvironment env_;
    std::string startFolder_;
    std::unique_ptr<TestInstaller> installer_;
    std::vector<std::vector<std::string>> lines_;
    std::vector<std::string> boxes_;
};

TEST_F(StandardInstall, InstallsUnpacksThroughTheEngineAndReportsSuccess) {
    const std::string folder = Folder("Demo");
    ASSERT_TRUE(Install(PackageContents{}, folder));
    const fs::path dir(folder);
    EXPECT_EQ(ReadFile(dir / "VantrelViewer.exe"), "viewer program");
    EXPECT_EQ(ReadFile(dir / "Corvane.dll"), stdtest::FileString(stdtest::BuildFile("Corvane.dll")));
    EXPECT_EQ(ReadFile(dir / "VtlUnInst.exe"), "uninstaller");
    // The listed plug-ins, libraries and non-group files come out through the engine's
    // loader and decompression; groups and the start file stay compressed.
    EXPECT_EQ(ReadFile(dir / "channels/AAAA.dll"), "content of \\Channels\\AAAA.dll");
    EXPECT_EQ(ReadFile(dir / "3rd/helper.dll"), "content of \\3rd\\helper.dll");
    EXPECT_EQ(ReadFile(dir / "Stage/notes.txt"), "content of \\Stage\\notes.txt");
    const std::string start = ReadFile(dir / "VtlStart.vtl");
    EXPECT_EQ(std::vector<uint8_t>(start.begin(), start.end()), Compressed("start file"));
    const std::string group = ReadFile(dir / "start.cgr");
    EXPECT_EQ(std::vector<uint8_t>(group.begin(), group.end()), Compressed("content of \\start.cgr"));

    EXPECT_EQ(boxes_, std::vector<std::string>{
                          "Demo|Installation successfully completed!\r\nYou are able to find the "
                          "installed program in the Start menu."});
    EXPECT_TRUE(installer_->launches.empty());
    // 0, the viewer, the core files, the links, 0.3 + 0.3 i/n per library, 0.6 + 0.3 i/n
    // per project file, the end.
    EXPECT_EQ(ProgressPositions(), (std::vector<int>{0, 25, 125, 150, 150, 300, 375, 474}));
    EXPECT_TRUE(fs::exists(Programs() / "Demo Studio/Demo.desktop"));
    EXPECT_EQ(os::RegistryGetString(os::RegistryRoot::LocalMachine,
                                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelDemo",
                                    "DisplayName"),
              "Demo");
}

TEST_F(StandardInstall, CancellingTheDialogTouchesNothing) {
    for (auto answer : {ui::UnattendedFace::DialogAnswer::Cancel, ui::UnattendedFace::DialogAnswer::Close}) {
        const std::string folder = Folder("Cancelled");
        EXPECT_FALSE(Install(PackageContents{}, folder, answer));
        EXPECT_TRUE(NothingWritten(folder));
        EXPECT_TRUE(boxes_.empty());
    }
}

TEST_F(StandardInstall, MissingSettingStopsBeforeAnythingIsWritten) {
    for (const char* item : {"CheckDx8", "RunAfterInstall", "InstallPath", "ShortCutName", "ProjectName"}) {
        PackageContents contents;
        std::string upper(item);
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        contents.settings.erase(upper);
        const std::string folder = Folder(std::string("No") + item);
        EXPECT_FALSE(Install(contents, folder)) << item;
        EXPECT_EQ(boxes_, std::vector<std::string>{std::string("Error|Can't find project type ") + item});
        EXPECT_TRUE(NothingWritten(folder)) << item;
    }
}

TEST_F(StandardInstall, DirectXQuestionAnsweredNoStops) {
    env_.Set("VANTREL_DIRECTX_VERSION", "8.0");
    PackageContents contents;
    contents.settings["CHECKDX8"] = {1};
    const std::string folder = Folder("NoDirectX");
    EXPECT_FALSE(Install(contents, folder, ui::UnattendedFace::DialogAnswer::Install, false));
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_EQ(lines_[0][1], "yesno");
    EXPECT_EQ(lines_[0][2], "warning");
    EXPECT_EQ(lines_[0][3], "DirectX version check");
    EXPECT_TRUE(NothingWritten(folder));

    // Answered Yes, the installation goes on.
    EXPECT_TRUE(Install(contents, folder));
    EXPECT_TRUE(fs::exists(fs::path(folder) / "uninstall.nfo"));
}

TEST_F(StandardInstall, ViewerStartsOnlyWithDirectX81) {
    PackageContents contents;
    contents.settings["RUNAFTERINSTALL"] = {1};  // CheckDx8 stays 0: no question first

    env_.Set("VANTREL_DIRECTX_VERSION", "8.0");
    ASSERT_TRUE(Install(contents, Folder("Dx80")));
    EXPECT_TRUE(installer_->launches.empty());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].substr(0, 5), "Demo|");
    ASSERT_EQ(lines_.back().size(), 5u);
    EXPECT_EQ(lines_.back()[2], "information");

    env_.Set("VANTREL_DIRECTX_VERSION", "8.1");
    ASSERT_TRUE(Install(contents, Folder("Dx81")));
    EXPECT_EQ(installer_->launches, std::vector<bool>{false});  // started, not waited for
    EXPECT_EQ(installer_->launchFolder, Folder("Dx81"));
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(StandardInstall, MissingListEntryIsSkippedAndNotLogged) {
    PackageContents contents;
    contents.channels = {"\\Channels\\AAAA.dll", "\\Channels\\GONE.dll", "\\Channels\\BBBB.dll"};
    contents.missingFiles = {"\\Channels\\GONE.dll"};
    const std::string folder = Folder("Missing");
    ASSERT_TRUE(Install(contents, folder));
    EXPECT_TRUE(fs::exists(fs::path(folder) / "channels/BBBB.dll"));
    EXPECT_FALSE(fs::exists(fs::path(folder) / "channels/GONE.dll"));
    const std::vector<std::string> logged = LoggedFiles(folder);
    const std::string prefix = folder + "\\\\Channels\\";
    EXPECT_NE(std::find(logged.begin(), logged.end(), prefix + "AAAA.dll"), logged.end());
    EXPECT_NE(std::find(logged.begin(), logged.end(), prefix + "BBBB.dll"), logged.end());
    EXPECT_EQ(std::find(logged.begin(), logged.end(), prefix + "GONE.dll"), logged.end());
}

TEST_F(StandardInstall, PackageWithoutUninstallerStillInstalls) {
    PackageContents contents;
    contents.uninstaller = false;
    const std::string folder = Folder("NoUninstaller");
    ASSERT_TRUE(Install(contents, folder));
    EXPECT_FALSE(fs::exists(fs::path(folder) / "VtlUnInst.exe"));
    for (const std::string& f : LoggedFiles(folder)) EXPECT_EQ(f.find("VtlUnInst.exe"), std::string::npos) << f;
    // The link and the registry point at the missing file all the same.
    EXPECT_TRUE(fs::exists(Programs() / "Demo Studio/Demo Uninstall.desktop"));
    EXPECT_EQ(os::RegistryGetString(os::RegistryRoot::LocalMachine,
                                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelDemo",
                                    "UninstallString"),
              folder + "\\VtlUnInst.exe");
}

TEST_F(StandardInstall, LinkNameClimbingOutOfTheProgramsFolderGetsNoLinks) {
    PackageContents contents;
    contents.settings["SHORTCUTNAME"] = Bytes("\\..\\..\\Escape\\Demo", true);
    const std::string folder = Folder("Climb");
    ASSERT_TRUE(Install(contents, folder));
    EXPECT_FALSE(fs::exists(scratch_.Path() / "home/.local/Escape"));
    EXPECT_FALSE(fs::exists(Programs()));
    for (const std::string& f : LoggedFiles(folder)) EXPECT_EQ(f.find(".desktop"), std::string::npos) << f;
    EXPECT_TRUE(fs::exists(fs::path(folder) / "channels/AAAA.dll"));
}

TEST_F(StandardInstall, MissingCountsStopWithTheirMessages) {
    struct Case {
        void (*drop)(PackageContents&);
        const char* box;
    };
    const Case cases[] = {
        {[](PackageContents& s) { s.channelCount = false; }, "Error|Can't find ChannelCount"},
        {[](PackageContents& s) { s.channelDllCount = false; }, "Error|Can't find ChannelCount"},
        {[](PackageContents& s) { s.fileCount = false; }, "Error|Can't find FileCount"},
    };
    int n = 0;
    for (const Case& c : cases) {
        PackageContents contents;
        c.drop(contents);
        const std::string folder = Folder("Counts" + std::to_string(n++));
        EXPECT_FALSE(Install(contents, folder)) << c.box;
        EXPECT_EQ(boxes_, std::vector<std::string>{c.box});
        // What was extracted stays; no log, no registry.
        EXPECT_TRUE(fs::exists(fs::path(folder) / "Corvane.dll"));
        EXPECT_FALSE(fs::exists(fs::path(folder) / "uninstall.nfo"));
        EXPECT_TRUE(os::RegistryAllValues().empty());
    }
}

TEST_F(StandardInstall, EngineCoreThatDoesNotLoadStopsWithTheLoadersWords) {
    PackageContents contents;
    contents.engineCore = Packed(Bytes("not a library"));
    const std::string folder = Folder("BadEngine");
    EXPECT_FALSE(Install(contents, folder));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].rfind("Error|The engine core Corvane.dll could not be loaded:\r\n", 0), 0u) << boxes_[0];
    EXPECT_NE(boxes_[0].find("Corvane.dll: file too short"), std::string::npos) << boxes_[0];
    EXPECT_TRUE(fs::exists(fs::path(folder) / "channels/FileLoader.dll"));
    EXPECT_FALSE(fs::exists(fs::path(folder) / "channels/AAAA.dll"));
    EXPECT_FALSE(fs::exists(fs::path(folder) / "uninstall.nfo"));
    EXPECT_TRUE(os::RegistryAllValues().empty());
}

TEST_F(StandardInstall, RelativeFolderIsTakenFromWhereTheInstallerStarted) {
    ASSERT_TRUE(os::SetCurrentFolder(scratch_.Str()));
    fs::create_directories(scratch_.Path() / "Rel");  // exists, so the installer moves into it early
    ASSERT_TRUE(Install(PackageContents{}, "Rel"));
    EXPECT_TRUE(fs::exists(scratch_.Path() / "Rel/Corvane.dll"));
    EXPECT_TRUE(fs::exists(scratch_.Path() / "Rel/channels/BBBB.dll"));
    EXPECT_FALSE(fs::exists(scratch_.Path() / "Rel/Rel"));
}

// The screensaver and Winamp types read their own settings, each missing one with its box.
TEST_F(StandardInstall, PluginTypesStopOnAMissingSetting) {
    using Handler = bool (ProjectInstaller::*)();
    struct Case {
        Handler handler;
        std::vector<std::pair<std::string, std::vector<uint8_t>>> settings;  // in reading order
        std::vector<std::string> boxes;  // the box when each is missing, in the same order
    };
    const Case cases[] = {
        {&ProjectInstaller::InstallScreensaver,
         {{"CHECKDX8", {0}}, {"RUNAFTERINSTALL", {0}}, {"INSTALLPATH", Bytes("C:\\Saver", true)},
          {"PROJECTNAME", Bytes("Demo", true)}},
         {"CheckDx8", "RunAfterInstall", "InstallPath", "ProjectName"}},
        {&ProjectInstaller::InstallWinampPlugin,
         {{"CHECKDX8", {0}}, {"STARTUPDIRECTORY", Bytes("C:\\Vis", true)}, {"PROJECTNAME", Bytes("Demo", true)},
          {"WINAMPVERSION", {0}}},
         {"CheckDx8", "StartupDirectory", "ProjectName", "winamp version"}},
    };
    for (const Case& c : cases) {
        for (size_t missing = 0; missing < c.settings.size(); ++missing) {
            PackageContents contents;
            contents.settings = {{"PROJECTTYPE", U32(5)}};
            for (size_t i = 0; i < c.settings.size(); ++i)
                if (i != missing) contents.settings.insert(c.settings[i]);
            const std::string folder = Folder("Missing" + c.boxes[missing]);
            EXPECT_FALSE(Install(contents, folder, ui::UnattendedFace::DialogAnswer::Install, true, c.handler));
            const std::string box = c.boxes[missing] == "winamp version" ? "Error|Can't find winamp version"
                                                                          : "Error|Can't find project type " + c.boxes[missing];
            EXPECT_EQ(boxes_, std::vector<std::string>{box});
            EXPECT_TRUE(NothingWritten(folder)) << box;
        }
    }
}

// A missing option byte stops the screensaver installation with the configuration file
// unfinished: the start records only, no log, no registry.
TEST_F(StandardInstall, ScreensaverWithoutAnOptionByteStops) {
    for (const char* option : {"DOQUITCGR", "DOSMALLPREVIEW"}) {
        PackageContents contents;
        contents.settings = {{"PROJECTTYPE", U32(5)}, {"CHECKDX8", {0}}, {"RUNAFTERINSTALL", {0}},
                             {"INSTALLPATH", Bytes("C:\\Saver", true)}, {"PROJECTNAME", Bytes("Demo", true)},
                             {"DOQUITCGR", {1}}, {"DOSMALLPREVIEW", {1}}};
        contents.settings.erase(option);
        const std::string folder = Folder(option);
        EXPECT_FALSE(Install(contents, folder, ui::UnattendedFace::DialogAnswer::Install, true,
                             &ProjectInstaller::InstallScreensaver));
        const std::string name = option[2] == 'Q' ? "DoQuitCgr" : "DoSmallPreview";
        EXPECT_EQ(boxes_.back(), "Error|Can't find project type " + name);
        const size_t expectedSize = option[2] == 'Q' ? 279 : 288;  // SCFP and SCTI, then SCQC
        EXPECT_EQ(fs::file_size(fs::path(folder) / "screensaver.cfg"), expectedSize) << option;
        EXPECT_FALSE(fs::exists(fs::path(folder) / "uninstall.nfo"));
        EXPECT_TRUE(os::RegistryAllValues().empty());
    }
}

// A copy into the system folder that fails shows the error number, then the message, both
// captioned with the target; the target is listed all the same and the installation goes on.
TEST_F(StandardInstall, ScreensaverCopyThatFailsIsReportedAndListed) {
    const fs::path system = scratch_.Path() / "system";
    fs::create_directories(system / "Demo.scr");  // a folder where the copy should go
    env_.Set("VANTREL_SYSTEM_DIR", system.string());
    PackageContents contents;
    contents.settings = {{"PROJECTTYPE", U32(5)}, {"CHECKDX8", {0}}, {"RUNAFTERINSTALL", {1}},
                         {"INSTALLPATH", Bytes("C:\\Saver", true)}, {"PROJECTNAME", Bytes("Demo", true)},
                         {"DOQUITCGR", {1}}, {"DOSMALLPREVIEW", {1}}, {"VTLSVR.SCR", Packed(Bytes("saver"))}};
    const std::string folder = Folder("Saver");
    ASSERT_TRUE(Install(contents, folder, ui::UnattendedFace::DialogAnswer::Install, true,
                        &ProjectInstaller::InstallScreensaver));
    const std::string target = system.string() + "\\Demo.scr";
    EXPECT_EQ(boxes_, (std::vector<std::string>{target + "|" + std::to_string(EISDIR),
                                                target + "|Unable to copy screensaver to system directory",
                                                "Demo|Installation successfully completed!"}));
    const std::vector<std::string> logged = LoggedFiles(folder);
    EXPECT_NE(std::find(logged.begin(), logged.end(), target), logged.end());
    EXPECT_TRUE(installer_->launches.empty());  // "RunAfterInstall" starts nothing here
}

}  // namespace

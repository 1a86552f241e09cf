// The screen-saver and media-player types end to end under Windows: the saver goes into
// the real system folder, the player plug-in into the folder the player's own registration
// under HKEY_CLASSES_ROOT names, and the uninstaller takes each away again with the whole
// install folder and the keys, leaving the system and the player as they were.
#include "programs_support.h"

namespace wintest {
namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kViewersKey[] = "SOFTWARE\\Borrin";
constexpr char kPlayerCommand[] = "Applications\\Winamp.exe\\shell\\open\\command";

class WindowsProjectTypes : public ProgramsTest {
protected:
    void SetUp() override {
        ProgramsTest::SetUp();
        target_ = TempFolder() + "\\VantrelTypeTest";
        RemoveTree(target_);
        for (const char* project : {"VantrelDemo", "VantrelVisual"})
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(std::string(kUninstallKey) + "\\" + project).c_str());
        uninstallBefore_ = RegistrySnapshot(HKEY_LOCAL_MACHINE, kUninstallKey);
        viewersBefore_ = RegistrySnapshot(HKEY_LOCAL_MACHINE, kViewersKey);
    }

    // After the uninstaller: no install folder at all, no key of the project's, and every
    // value as it was. The viewers' folder keys the install made on the way to the
    // project's own key may stay, empty: the uninstaller deletes only the project's key.
    void ExpectAllGone(const std::string& projectName) {
        EXPECT_FALSE(Exists(target_)) << UninstallOutput();
        EXPECT_EQ(RegistrySnapshot(HKEY_LOCAL_MACHINE, kUninstallKey), uninstallBefore_);
        EXPECT_TRUE(RegistrySnapshot(HKEY_LOCAL_MACHINE,
                                     std::string(kViewersKey) + "\\Vantrel Viewers\\2.00.000\\" + projectName)
                        .empty());
        EXPECT_EQ(ValuesOnly(RegistrySnapshot(HKEY_LOCAL_MACHINE, kViewersKey)), ValuesOnly(viewersBefore_));
    }
    static std::map<std::string, std::string> ValuesOnly(std::map<std::string, std::string> snapshot) {
        std::erase_if(snapshot, [](const auto& entry) { return entry.first.ends_with('\\'); });
        return snapshot;
    }

    std::string target_;
    std::map<std::string, std::string> uninstallBefore_, viewersBefore_;
};

TEST_F(WindowsProjectTypes, ScreenSaverGoesToTheSystemFolderAndBack) {
    const std::string saver = "the screen saver program\r\n";
    WriteText(work_ + "\\project\\saver.bin", saver);
    ASSERT_NO_FATAL_FAILURE(BuildSetup("type screensaver\nbyte CheckDx8 0\nbyte RunAfterInstall 0\n"
                                       "text InstallPath Vantrel Saver\ntext ProjectName Demo\n"
                                       "byte DoQuitCgr 1\nbyte DoSmallPreview 0\n"
                                       "packed VtlSvr.scr < saver.bin\n" +
                                       CoreManifestLines()));
    const std::string system = SystemFolder();
    ::DeleteFileW(Wide(system + "\\Demo.scr").c_str());
    const auto systemBefore = FolderSnapshot(system);

    ASSERT_EQ(Install(target_), 0) << Output() << Messages();
    EXPECT_NE(Messages().find("Installation successfully completed!"), std::string::npos) << Messages();
    EXPECT_EQ(ReadText(system + "\\Demo.scr"), saver);
    EXPECT_EQ(ReadText(target_ + "\\VtlSvr.scr"), saver);
    EXPECT_EQ(ReadText(target_ + "\\screensaver.cfg").size(), 297u);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, std::string(kViewersKey) + "\\Vantrel Viewers\\2.00.000\\Demo",
                           "DisplayName"),
              target_);
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\VantrelDemo", "UninstallString"),
              target_ + "\\VtlUnInst.exe");

    ASSERT_EQ(Uninstall(target_), 0) << UninstallOutput();
    EXPECT_FALSE(Exists(system + "\\Demo.scr"));
    EXPECT_EQ(FolderSnapshot(system), systemBefore);
    ExpectAllGone("Demo");
}

TEST_F(WindowsProjectTypes, PlayerPlugInGoesWhereThePlayerIsRegistered) {
    // A player as its own installer leaves it: its program, a plug-in folder with a plug-in
    // of someone else's, and its open command under HKEY_CLASSES_ROOT.
    const std::string player = TempFolder() + "\\Vantrel Test Player";
    RemoveTree(player);
    ASSERT_TRUE(::CreateDirectoryW(Wide(player).c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(Wide(player + "\\Plugins").c_str(), nullptr));
    WriteText(player + "\\winamp.exe", "player");
    WriteText(player + "\\Plugins\\vis_other.dll", "another plug-in");
    const std::optional<std::string> registered = RegistryText(HKEY_CLASSES_ROOT, kPlayerCommand, "");
    SetRegistryText(HKEY_CLASSES_ROOT, kPlayerCommand, "", "\"" + player + "\\winamp.exe\" \"%1\"");
    const auto playerBefore = FolderSnapshot(player);
    const auto classesBefore = RegistrySnapshot(HKEY_CLASSES_ROOT, "Applications\\Winamp.exe");

    const std::string plugin = "the visualisation plug-in\r\n";
    WriteText(work_ + "\\project\\plugin.bin", plugin);
    ASSERT_NO_FATAL_FAILURE(BuildSetup("type winamp\nbyte CheckDx8 0\ntext StartupDirectory Vantrel Visual\n"
                                       "text ProjectName Visual\nbyte WinampVersion 0\n"
                                       "packed WinAmp.dll < plugin.bin\n" +
                                       CoreManifestLines()));
    ASSERT_EQ(Install(target_), 0) << Output() << Messages();
    EXPECT_EQ(Messages().find("Would you like to continue"), std::string::npos) << Messages();
    EXPECT_EQ(ReadText(player + "\\Plugins\\vis_Visual.dll"), plugin);
    EXPECT_EQ(ReadText(target_ + "\\winamp.cfg").size(), 279u);

    ASSERT_EQ(Uninstall(target_), 0) << UninstallOutput();
    EXPECT_EQ(FolderSnapshot(player), playerBefore);
    EXPECT_EQ(RegistrySnapshot(HKEY_CLASSES_ROOT, "Applications\\Winamp.exe"), classesBefore);
    ExpectAllGone("Visual");

    if (registered)
        SetRegistryText(HKEY_CLASSES_ROOT, kPlayerCommand, "", *registered);
    else
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Applications\\Winamp.exe");
    RemoveTree(player);
}

}  // namespace
}  // namespace wintest

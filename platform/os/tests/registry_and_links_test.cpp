// The registry store, desktop-entry links, special folders and the DirectX probe.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "os/directx_probe.h"
#include "os/registry.h"
#include "os/shortcut.h"
#include "os/shell_folders.h"

namespace fs = std::filesystem;

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1); else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1); else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string ReadText(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ScratchHome : public ::testing::Test {
protected:
    fs::path home = fs::temp_directory_path() / ("os_home_" + std::to_string(::getpid()));
    void SetUp() override {
        fs::remove_all(home);
        fs::create_directories(home);
    }
    void TearDown() override { fs::remove_all(home); }
    ScopedEnv homeEnv{"HOME", home.c_str()};
    ScopedEnv xdgConfig{"XDG_CONFIG_HOME", nullptr};
    ScopedEnv xdgData{"XDG_DATA_HOME", nullptr};
    ScopedEnv registryFile{"VANTREL_REGISTRY_FILE", nullptr};
    ScopedEnv programs{"VANTREL_PROGRAMS_DIR", nullptr};
};

}  // namespace

TEST_F(ScratchHome, RegistryKeepsExactBytesAndMatchesNamesIgnoringCase) {
    EXPECT_EQ(os::RegistryFilePath(), (home / ".config/vantrel/registry").string());
    const char* key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelDemo";
    ASSERT_TRUE(os::RegistrySetString(os::RegistryRoot::LocalMachine, key, "DisplayName", "Demo", 4));
    const char odd[] = "tab\there\nline\\back";
    ASSERT_TRUE(os::RegistrySetString(os::RegistryRoot::LocalMachine, key, "Odd", odd, sizeof odd - 1));
    // Only the counted bytes are stored.
    ASSERT_TRUE(os::RegistrySetString(os::RegistryRoot::CurrentUser, "K", "Short", "abcdef", 3));

    EXPECT_EQ(os::RegistryGetString(os::RegistryRoot::LocalMachine, key, "displayname"), "Demo");
    EXPECT_EQ(os::RegistryGetString(os::RegistryRoot::LocalMachine, key, "Odd"), std::string(odd));
    EXPECT_EQ(os::RegistryGetString(os::RegistryRoot::CurrentUser, "k", "Short"), "abc");
    EXPECT_FALSE(os::RegistryGetString(os::RegistryRoot::CurrentUser, key, "DisplayName").has_value());

    ASSERT_TRUE(os::RegistrySetString(os::RegistryRoot::LocalMachine, key, "DISPLAYNAME", "Other", 5));
    auto all = os::RegistryAllValues();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].data, "Other");
    EXPECT_EQ(all[0].name, "DisplayName");  // the first spelling stays

    EXPECT_TRUE(os::RegistryDeleteKey(os::RegistryRoot::LocalMachine, key));
    EXPECT_EQ(os::RegistryAllValues().size(), 1u);
    EXPECT_FALSE(os::RegistrySetString(os::RegistryRoot::CurrentUser, "bad\tkey", "x", "y", 1));
}

TEST_F(ScratchHome, ShortcutBecomesADesktopEntry) {
    auto programsFolder = os::GetProgramsFolder();
    ASSERT_TRUE(programsFolder.has_value());
    EXPECT_EQ(*programsFolder, (home / ".local/share/applications").string());
    fs::create_directories(*programsFolder + "/Demo Studio");
    std::string link = *programsFolder + "\\Demo Studio\\Demo.lnk";
    EXPECT_EQ(os::ShortcutFilePath(link), *programsFolder + "\\Demo Studio\\Demo.desktop");
    ASSERT_EQ(os::CreateShortcut("/opt/demo\\VantrelViewer.exe", link, "Vantrel Project Link", "VtlStart.vtl", "/opt/demo"), 0);
    std::string entry = ReadText(*programsFolder + "/Demo Studio/Demo.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("\nName=Demo\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=\"/opt/demo/VantrelViewer.exe\" \"VtlStart.vtl\"\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nPath=/opt/demo\n"), std::string::npos);
    EXPECT_NE(entry.find("\nComment=Vantrel Project Link\n"), std::string::npos);

    ASSERT_EQ(os::CreateShortcut("/opt/a b/Un$inst.exe", *programsFolder + "\\Demo Uninstall.lnk", "d", nullptr, "/opt"), 0);
    std::string un = ReadText(*programsFolder + "/Demo Uninstall.desktop");
    EXPECT_NE(un.find("\nExec=\"/opt/a b/Un\\\\$inst.exe\"\n"), std::string::npos) << un;
    // A folder that does not exist makes the link fail.
    EXPECT_NE(os::CreateShortcut("/x", *programsFolder + "\\Missing\\X.lnk", "d", nullptr, "/"), 0);
}

TEST(SpecialFolders, EnvironmentOverridesWin) {
    ScopedEnv programs("VANTREL_PROGRAMS_DIR", "/tmp/p/");
    ScopedEnv system("VANTREL_SYSTEM_DIR", "/tmp/s");
    ScopedEnv player("VANTREL_PLAYER_DIR", "/tmp/w");
    EXPECT_EQ(os::GetProgramsFolder(), "/tmp/p");
    EXPECT_EQ(os::GetSystemFolder(), "/tmp/s");
    EXPECT_EQ(os::GetPlayerFolder(), "/tmp/w");
}

TEST(DirectXProbe, ReportsTheConfiguredCode) {
    {
        ScopedEnv unset("VANTREL_DIRECTX_VERSION", nullptr);
        EXPECT_EQ(os::GetDirectXVersionCode(), 0x801u);
    }
    ScopedEnv a("VANTREL_DIRECTX_VERSION", "8.0");
    EXPECT_EQ(os::GetDirectXVersionCode(), 0x800u);
    ScopedEnv b("VANTREL_DIRECTX_VERSION", "0x601");
    EXPECT_EQ(os::GetDirectXVersionCode(), 0x601u);
    ScopedEnv c("VANTREL_DIRECTX_VERSION", "none");
    EXPECT_EQ(os::GetDirectXVersionCode(), 0u);
}

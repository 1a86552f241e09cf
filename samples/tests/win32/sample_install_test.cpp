// The sample as a Windows user gets it (under Wine in CI): projpack packs the sample project
// behind projinstall.exe by demo-windows.manifest, the package installs unattended into
// Program Files, the registry holds its uninstall key and the Programs folder its real shell
// links to the installed viewer, the installed viewer plays the project headless (the
// physics brings the boxes to rest 0.5 up), and VtlUnInst.exe takes away every file, link
// and key the install made and nothing else.
#include <gtest/gtest.h>
#include "programs_support.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>

namespace {

std::wstring Wide(const std::string& utf8) {
    std::wstring out(utf8.size(), L'\0');
    out.resize(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), int(out.size())));
    return out;
}

std::string Narrow(const std::wstring& wide) {
    std::string out(wide.size() * 3, '\0');
    out.resize(::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), int(out.size()),
                                     nullptr, nullptr));
    return out;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(Wide(path).c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(Wide(path).c_str(), std::ios::binary);
    out << text;
}

std::string BuildFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return Narrow(folder.substr(0, folder.find_last_of(L'\\')));
}

// Runs a command line in `folder`, its output and errors into `output`; the exit code, or
// -1 when it could not be started or did not end within five minutes.
int RunProgram(const std::string& commandLine, const std::string& folder, const std::string& output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileW(Wide(output).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    std::wstring line = Wide(commandLine);
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          Wide(folder).c_str(), &startup, &process);
    ::CloseHandle(out);
    ::CloseHandle(in);
    if (!started) return -1;
    DWORD code = DWORD(-1);
    if (::WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process.hProcess, &code);
    } else {
        ::TerminateProcess(process.hProcess, 1);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return int(code);
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::optional<std::string> RegistryText(const std::wstring& key, const wchar_t* name) {
    wchar_t text[1024];
    DWORD size = sizeof text;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return Narrow(text);
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path))) out = Narrow(path);
    ::CoTaskMemFree(path);
    return out;
}

void RemoveTree(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(Wide(folder)), ignored);
}

// Every file below `folder`, as paths relative to it in lower case (names are compared as
// Windows compares them).
std::set<std::string> FilesBelow(const std::string& folder) {
    std::set<std::string> files;
    std::error_code error;
    const std::filesystem::path root(Wide(folder));
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file()) continue;
        std::wstring name = it->path().lexically_relative(root).wstring();
        ::CharLowerBuffW(name.data(), DWORD(name.size()));
        files.insert(Narrow(name));
    }
    return files;
}

// The links straight in `folder` (the desktop may be the user's home under Wine: not walked).
std::set<std::string> LinksIn(const std::string& folder) {
    std::set<std::string> links;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(std::filesystem::path(Wide(folder)), error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        if (it->path().extension() == L".lnk") links.insert(Narrow(it->path().filename().wstring()));
    return links;
}

// Where a shell link points: its target, arguments and working folder, read back through the
// shell's own link object.
struct LinkTarget {
    std::string path, arguments;
};
std::optional<LinkTarget> ReadLink(const std::string& file) {
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))))
        return std::nullopt;
    std::optional<LinkTarget> out;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        wchar_t path[MAX_PATH] = {}, arguments[MAX_PATH] = {};
        if (SUCCEEDED(persist->Load(Wide(file).c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
            SUCCEEDED(link->GetArguments(arguments, MAX_PATH)))
            out = LinkTarget{Narrow(path), Narrow(arguments)};
        persist->Release();
    }
    link->Release();
    return out;
}

// The number after "  <name> = " in the viewer's report, or NaN.
double ReportedValue(const std::string& report, const std::string& name) {
    const std::string key = "  " + name + " = ";
    const size_t at = report.find(key);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(report.c_str() + at + key.size(), nullptr);
}

class SampleOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        build_ = BuildFolder();
        work_ = build_ + "\\sample-windows-test";
        RemoveTree(work_);
        ASSERT_TRUE(::CreateDirectoryW(Wide(work_).c_str(), nullptr));
    }
    void TearDown() override { ::CoUninitialize(); }

    int Tool(const std::string& program, const std::string& arguments) {
        return RunProgram(Quote(build_ + "\\" + program) + " " + arguments, work_, work_ + "\\output.txt");
    }
    std::string Output() { return ReadText(work_ + "\\output.txt"); }

    std::string build_, work_;
};

TEST_F(SampleOnWindows, InstallsPlaysAndUninstalls) {
    ASSERT_EQ(Tool("projpack.exe", "build " + Quote(build_ + "\\demo-windows.manifest") + " " +
                                       Quote(build_ + "\\sample-project") + " " +
                                       Quote(build_ + "\\projinstall.exe") + " VantrelSample.exe"),
              0)
        << Output();
    ASSERT_EQ(Tool("projpack.exe", "check VantrelSample.exe"), 0) << Output();

    const std::string programFiles = KnownFolder(FOLDERID_ProgramFiles);
    const std::string programs = KnownFolder(FOLDERID_Programs);
    const std::string desktop = KnownFolder(FOLDERID_Desktop);
    ASSERT_FALSE(programFiles.empty() || programs.empty() || desktop.empty());
    const std::string target = programFiles + "\\Vantrel Sample Test";
    const std::string links = programs + "\\Vantrel Samples";
    const std::wstring uninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelSample";
    const std::wstring viewerKey = L"SOFTWARE\\Borrin\\Vantrel Viewers\\2.00.000\\Sample";
    RemoveTree(target);
    RemoveTree(links);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstallKey.c_str());
    // A folder of the user's with a file in it: the uninstall must leave it.
    ASSERT_TRUE(::CreateDirectoryW(Wide(target).c_str(), nullptr));
    WriteText(target + "\\notes.txt", "mine");
    const std::set<std::string> desktopBefore = LinksIn(desktop);
    const std::set<std::string> programsBefore = FilesBelow(programs);

    // Only the system's folders on the search path: what the installed programs load comes
    // from the package.
    wchar_t system[MAX_PATH];
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::wstring savedPath(32768, L'\0');
    savedPath.resize(::GetEnvironmentVariableW(L"PATH", savedPath.data(), DWORD(savedPath.size())));
    ::SetEnvironmentVariableW(L"PATH", system);
    ::SetEnvironmentVariableW(L"VANTREL_UNATTENDED", L"1");
    ::SetEnvironmentVariableW(L"VANTREL_INSTALL_DIR", Wide(target).c_str());
    ::SetEnvironmentVariableW(L"VANTREL_MESSAGE_LOG", Wide(work_ + "\\messages.log").c_str());
    const int installed = RunProgram(Quote(work_ + "\\VantrelSample.exe"), work_, work_ + "\\output.txt");
    ::SetEnvironmentVariableW(L"VANTREL_UNATTENDED", nullptr);
    ::SetEnvironmentVariableW(L"VANTREL_INSTALL_DIR", nullptr);
    ::SetEnvironmentVariableW(L"VANTREL_MESSAGE_LOG", nullptr);
    ASSERT_EQ(installed, 0) << Output() << ReadText(work_ + "\\messages.log");

    const std::set<std::string> installedFiles = FilesBelow(target);
    for (const char* file : {"vantrelviewer.exe", "corvane.dll", "vtluninst.exe", "libstdc++-6.dll",
                             "libode_double.dll", "vtlstart.vtl", "start.cgr", "uninstall.nfo",
                             "channels\\fileloader.dll", "channels\\8df0d3e6-a5e2-51f1-acf7-6159952c4847.dll",
                             "channels\\612b6edb-e73e-59b5-a27b-9884457842a9.dll"})
        EXPECT_EQ(installedFiles.count(file), 1u) << file;

    // The uninstall key, read through the registry API and through reg.exe as a user would.
    EXPECT_EQ(RegistryText(uninstallKey, L"DisplayName"), "Sample");
    EXPECT_EQ(RegistryText(uninstallKey, L"UninstallString"), target + "\\VtlUnInst.exe");
    ASSERT_EQ(RunProgram("reg.exe query \"HKLM\\" + Narrow(uninstallKey) + "\"", work_, work_ + "\\reg.txt"), 0);
    const std::string query = ReadText(work_ + "\\reg.txt");
    EXPECT_NE(query.find("DisplayName"), std::string::npos) << query;
    EXPECT_NE(query.find(target + "\\VtlUnInst.exe"), std::string::npos) << query;
    // The viewer key belongs to the screen-saver and player types; a standard install has none.
    EXPECT_FALSE(RegistryText(viewerKey, L"DisplayName"));

    // Start-menu links made by the shell, pointing at the installed programs; nothing on the
    // desktop (a standard install makes Programs links only).
    const std::optional<LinkTarget> viewerLink = ReadLink(links + "\\Sample.lnk");
    ASSERT_TRUE(viewerLink);
    EXPECT_EQ(viewerLink->path, target + "\\VantrelViewer.exe");
    EXPECT_EQ(viewerLink->arguments, "VtlStart.vtl");
    const std::optional<LinkTarget> uninstallLink = ReadLink(links + "\\Sample Uninstall.lnk");
    ASSERT_TRUE(uninstallLink);
    EXPECT_EQ(uninstallLink->path, target + "\\VtlUnInst.exe");
    EXPECT_EQ(LinksIn(desktop), desktopBefore);

    // The installed viewer plays the project headless as its link starts it: the physics
    // brings the boxes to rest with their centres 0.5 up, which "height" reports.
    ASSERT_EQ(RunProgram(Quote(target + "\\VantrelViewer.exe") + " VtlStart.vtl --quiet", target,
                         work_ + "\\viewer.txt"),
              0)
        << ReadText(work_ + "\\viewer.txt");
    const std::string ran = ReadText(work_ + "\\viewer.txt");
    EXPECT_NE(ran.find(" frames"), std::string::npos) << ran;
    EXPECT_NEAR(ReportedValue(ran, "height"), 0.5, 0.02) << ran;
    EXPECT_EQ(ReportedValue(ran, "dot"), 32.0) << ran;

    // The uninstaller hands its work to a copy of itself and ends: wait for every process
    // it started.
    ASSERT_EQ(wintest::RunProgram(Quote(target + "\\VtlUnInst.exe"), target, work_ + "\\uninstall.txt", true), 0)
        << ReadText(work_ + "\\uninstall.txt");
    ::SetEnvironmentVariableW(L"PATH", savedPath.empty() ? nullptr : savedPath.c_str());
    // What stays: the user's file only; the uninstaller and its log are gone too.
    EXPECT_EQ(FilesBelow(target), (std::set<std::string>{"notes.txt"}));
    EXPECT_EQ(ReadText(target + "\\notes.txt"), "mine");
    EXPECT_EQ(FilesBelow(programs), programsBefore);
    EXPECT_FALSE(RegistryText(uninstallKey, L"DisplayName"));
    EXPECT_FALSE(RegistryText(uninstallKey, L"UninstallString"));
    EXPECT_EQ(LinksIn(desktop), desktopBefore);
    RemoveTree(target);
}

}  // namespace

// The Windows programs end to end, run as a user runs them (under Wine in CI): cgrtool
// builds a small project from its text, projpack packs it behind projinstall.exe, the
// package installs unattended into a folder of the user's, the registry and the Programs
// folder hold what it made, the installed viewer runs the project, and VtlUnInst.exe takes
// away what was installed and nothing else.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

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

bool Exists(const std::string& path) { return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

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

// The folder this test program (and every program of the build) is in.
std::string BuildFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return Narrow(folder.substr(0, folder.find_last_of(L'\\')));
}

// Runs a command line in `folder`, its output and errors into `output`; the exit code, or
// -1 when it could not be started or did not end within two minutes.
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
    if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) {
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

// A clamped accumulator counting from 0 up to 100 by 1 a frame: the value operator plug-in
// over the engine's float channels.
const char kGroupText[] = R"({
  "file": "channel group",
  "channels": [
    {"name": "counter", "type": "ValueOperator",
     "records": [{"tag": "VEOT", "field": "operationType", "value": 10}],
     "links": [{"link": 0, "child": "low"}, {"link": 0, "child": "high"}, {"link": 0, "child": "step"}]},
    {"name": "low", "type": "Value", "records": [{"tag": "FLVA", "field": "currentFloat", "value": 0.0}]},
    {"name": "high", "type": "Value", "records": [{"tag": "FLVA", "field": "currentFloat", "value": 100.0}]},
    {"name": "step", "type": "Value", "records": [{"tag": "FLVA", "field": "currentFloat", "value": 1.0}]}
  ]
})";

const char kStartText[] = R"({
  "file": "viewer start",
  "records": [
    {"tag": "STGR", "field": "startGroup", "value": "\\start.cgr"},
    {"tag": "STFR", "field": "frames", "value": 150},
    {"tag": "STFT", "field": "frameTime", "value": 1.0}
  ]
})";

// What the package holds; sources are relative to the project folder, two below the build.
std::string Manifest() {
    std::string m =
        "type standard\n"
        "byte CheckDx8 0\n"
        "byte RunAfterInstall 0\n"
        "text InstallPath Vantrel Counter\n"
        "text ShortCutName \\Vantrel Tests\\Counter\n"
        "text ProjectName Counter Test\n";
    for (const char* name : {"VantrelViewer.exe", "Corvane.dll", "VtlUnInst.exe", "libstdc++-6.dll",
                             "libgcc_s_seh-1.dll", "libwinpthread-1.dll"})
        m += std::string("packed ") + name + " < ../../" + name + "\n";
    for (const char* name : {"FileSaver", "Directory", "FileLoader", "9F9FF213-DED7-599F-80D1-45463E6C473B",
                             "E0B80F4A-499F-5E75-87AD-5C21C81E2772", "4806DF8E-A410-5F04-A297-090D455D9BEE",
                             "491E783E-7E83-5F32-91C6-3823F2BBD53F"})
        m += std::string("packed channels\\") + name + ".dll < ../../channels/" + name + ".dll\n";
    m += "compressed VtlStart.vtl\n"
         "channel \\Channels\\048425EF-3B0E-551D-9206-B4160D97F196.dll < "
         "../../channels/048425EF-3B0E-551D-9206-B4160D97F196.dll\n"
         "file \\start.cgr\n";
    return m;
}

class WindowsPrograms : public ::testing::Test {
protected:
    void SetUp() override {
        build_ = BuildFolder();
        work_ = build_ + "\\programs-test";
        RemoveTree(work_);
        ASSERT_TRUE(::CreateDirectoryW(Wide(work_).c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(Wide(work_ + "\\project").c_str(), nullptr));
    }

    // Runs a program of the build with its arguments, in the work folder.
    int Tool(const std::string& program, const std::string& arguments) {
        return RunProgram(Quote(build_ + "\\" + program) + " " + arguments, work_, work_ + "\\output.txt");
    }
    std::string Output() { return ReadText(work_ + "\\output.txt"); }

    std::string build_, work_;
};

TEST_F(WindowsPrograms, GroupTextRoundTripsThroughCgrtool) {
    WriteText(work_ + "\\group.json", kGroupText);
    ASSERT_EQ(Tool("cgrtool.exe", "build group.json group.cgr"), 0) << Output();
    ASSERT_EQ(Tool("cgrtool.exe", "dump group.cgr dumped.json"), 0) << Output();
    ASSERT_EQ(Tool("cgrtool.exe", "build dumped.json again.cgr"), 0) << Output();
    const std::string built = ReadText(work_ + "\\group.cgr");
    EXPECT_FALSE(built.empty());
    EXPECT_EQ(ReadText(work_ + "\\again.cgr"), built);
    EXPECT_NE(ReadText(work_ + "\\dumped.json").find("\"counter\""), std::string::npos);
    // Text that is not a group is refused, with a message and a failing exit code.
    WriteText(work_ + "\\bad.json", "{\"file\": \"channel group\", \"channels\": [{\"type\": 7}]}");
    EXPECT_NE(Tool("cgrtool.exe", "build bad.json bad.cgr"), 0);
    EXPECT_FALSE(Output().empty());
}

TEST_F(WindowsPrograms, PackageInstallsRunsAndUninstalls) {
    WriteText(work_ + "\\start.json", kStartText);
    WriteText(work_ + "\\group.json", kGroupText);
    ASSERT_EQ(Tool("cgrtool.exe", "build start.json project\\VtlStart.vtl"), 0) << Output();
    ASSERT_EQ(Tool("cgrtool.exe", "build group.json project\\start.cgr"), 0) << Output();
    WriteText(work_ + "\\counter.manifest", Manifest());
    ASSERT_EQ(Tool("projpack.exe", "build counter.manifest project " + Quote(build_ + "\\projinstall.exe") +
                                       " setup.exe"),
              0)
        << Output();
    ASSERT_EQ(Tool("projpack.exe", "check setup.exe"), 0) << Output();

    // Into a folder of the user's, as a user would choose it; a file of the user's is there
    // already and must outlive the uninstall.
    char temp[MAX_PATH];
    ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
    const std::string target = std::string(temp) + "VantrelCounterTest";
    RemoveTree(target);
    ASSERT_TRUE(::CreateDirectoryW(Wide(target).c_str(), nullptr));
    WriteText(target + "\\notes.txt", "mine");
    const std::string programs = KnownFolder(FOLDERID_Programs);
    ASSERT_FALSE(programs.empty());
    const std::string links = programs + "\\Vantrel Tests";
    RemoveTree(links);
    const std::wstring uninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelCounter Test";
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstallKey.c_str());

    // Only the system's folders on the search path: what the installed programs load comes
    // from the package, not from the build.
    wchar_t system[MAX_PATH];
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    wchar_t savedPath[32768];
    const DWORD savedLength = ::GetEnvironmentVariableW(L"PATH", savedPath, 32768);
    ::SetEnvironmentVariableW(L"PATH", system);
    struct RestorePath {
        const wchar_t* saved;
        DWORD length;
        ~RestorePath() { ::SetEnvironmentVariableW(L"PATH", length ? saved : nullptr); }
    } restorePath{savedPath, savedLength};

    ::SetEnvironmentVariableW(L"VANTREL_UNATTENDED", L"1");
    ::SetEnvironmentVariableW(L"VANTREL_INSTALL_DIR", Wide(target).c_str());
    ::SetEnvironmentVariableW(L"VANTREL_MESSAGE_LOG", Wide(work_ + "\\messages.log").c_str());
    const int installed = RunProgram(Quote(work_ + "\\setup.exe"), work_, work_ + "\\output.txt");
    ::SetEnvironmentVariableW(L"VANTREL_UNATTENDED", nullptr);
    ::SetEnvironmentVariableW(L"VANTREL_INSTALL_DIR", nullptr);
    ::SetEnvironmentVariableW(L"VANTREL_MESSAGE_LOG", nullptr);
    ASSERT_EQ(installed, 0) << Output() << ReadText(work_ + "\\messages.log");

    const std::vector<std::string> files = {
        "VantrelViewer.exe", "Corvane.dll", "VtlUnInst.exe", "libstdc++-6.dll", "libgcc_s_seh-1.dll",
        "libwinpthread-1.dll", "VtlStart.vtl", "start.cgr",
        "uninstall.nfo", "channels\\FileLoader.dll", "channels\\048425EF-3B0E-551D-9206-B4160D97F196.dll"};
    for (const std::string& file : files) EXPECT_TRUE(Exists(target + "\\" + file)) << file;
    EXPECT_EQ(RegistryText(uninstallKey, L"DisplayName"), "Counter Test");
    EXPECT_EQ(RegistryText(uninstallKey, L"UninstallString"), target + "\\VtlUnInst.exe");
    // Real shell links (header size 0x4C), to the viewer and the uninstaller.
    for (const char* link : {"\\Counter.lnk", "\\Counter Uninstall.lnk"}) {
        const std::string bytes = ReadText(links + link);
        ASSERT_GE(bytes.size(), 4u) << link;
        EXPECT_EQ(bytes[0], '\x4C') << link;
    }
    EXPECT_NE(ReadText(links + "\\Counter.lnk").find("VantrelViewer.exe"), std::string::npos);

    // The installed viewer runs the project as the shortcut starts it: 150 frames clamp
    // the counter at its upper bound.
    ASSERT_EQ(RunProgram(Quote(target + "\\VantrelViewer.exe") + " VtlStart.vtl --quiet", target, work_ + "\\viewer.txt"), 0)
        << ReadText(work_ + "\\viewer.txt");
    const std::string ran = ReadText(work_ + "\\viewer.txt");
    EXPECT_NE(ran.find("4 channels, 150 frames"), std::string::npos) << ran;
    EXPECT_NE(ran.find("counter = 100"), std::string::npos) << ran;

    ASSERT_EQ(RunProgram(Quote(target + "\\VtlUnInst.exe"), target, work_ + "\\uninstall.txt"), 0)
        << ReadText(work_ + "\\uninstall.txt");
    // A running program's image cannot be deleted on Windows: the uninstaller stays, and
    // with it the log, so that it can be run again.
    for (const std::string& file : files) {
        if (file == "VtlUnInst.exe" || file == "uninstall.nfo") continue;
        EXPECT_FALSE(Exists(target + "\\" + file)) << file;
    }
    EXPECT_NE(ReadText(work_ + "\\uninstall.txt").find("VtlUnInst.exe: can't delete"), std::string::npos);
    EXPECT_FALSE(Exists(links + "\\Counter.lnk"));
    EXPECT_FALSE(Exists(links + "\\Counter Uninstall.lnk"));
    EXPECT_FALSE(RegistryText(uninstallKey, L"DisplayName"));
    EXPECT_EQ(ReadText(target + "\\notes.txt"), "mine");
    RemoveTree(target);
}

}  // namespace

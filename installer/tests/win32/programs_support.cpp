#include "programs_support.h"

#include <winioctl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace wintest {

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

std::string RemoveTree(const std::string& folder) {
    // A program that just ended may hold its folder a moment longer under Wine.
    std::error_code error;
    for (int attempt = 0; attempt < 50; ++attempt) {
        std::filesystem::remove_all(std::filesystem::path(Wide(folder)), error);
        if (!error) return {};
        ::Sleep(100);
    }
    return error.message();
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string BuildFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return Narrow(folder.substr(0, folder.find_last_of(L'\\')));
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path))) out = Narrow(path);
    ::CoTaskMemFree(path);
    return out;
}

std::string SystemFolder() {
    wchar_t path[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    return Narrow(std::wstring(path, n));
}

std::string TempFolder() {
    wchar_t path[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, path);
    std::string out = Narrow(std::wstring(path, n));
    if (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

int RunProgram(const std::string& commandLine, const std::string& folder, const std::string& output,
               bool waitForItsPrograms) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = ::CreateFileW(Wide(output).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = out;
    // Whatever the program starts stays in its job, and dies with it if it hangs.
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    PROCESS_INFORMATION process{};
    std::wstring line = Wide(commandLine);
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                          Wide(folder).c_str(), &startup, &process);
    ::CloseHandle(out);
    ::CloseHandle(in);
    if (!started) {
        ::CloseHandle(job);
        return -1;
    }
    ::AssignProcessToJobObject(job, process.hProcess);
    ::ResumeThread(process.hThread);
    DWORD code = DWORD(-1);
    const ULONGLONG deadline = ::GetTickCount64() + 120000;
    if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.hProcess, &code);
    while (waitForItsPrograms) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
        if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr) ||
            info.ActiveProcesses == 0)
            break;
        if (::GetTickCount64() > deadline) {
            code = DWORD(-1);
            break;
        }
        ::Sleep(50);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(job);
    return int(code);
}

std::optional<std::string> RegistryText(HKEY root, const std::string& key, const char* name) {
    wchar_t text[1024];
    DWORD size = sizeof text;
    if (::RegGetValueW(root, Wide(key).c_str(), Wide(name).c_str(), RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return Narrow(text);
}

void SetRegistryText(HKEY root, const std::string& key, const char* name, const std::string& value) {
    const std::wstring data = Wide(value);
    ASSERT_EQ(::RegSetKeyValueW(root, Wide(key).c_str(), Wide(name).c_str(), REG_SZ, data.c_str(),
                                DWORD((data.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS)
        << key;
}

namespace {

void SnapshotInto(const std::filesystem::path& folder, const std::string& prefix,
                  std::map<std::string, uint64_t>& out) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = prefix + Narrow(it->path().filename().wstring());
        if (it->is_directory(error) && !it->is_symlink(error)) {
            out[name + "\\"] = 0;
            SnapshotInto(it->path(), name + "\\", out);
        } else {
            out[name] = it->is_regular_file(error) ? it->file_size(error) : 0;
        }
    }
}

void RegistryInto(HKEY key, const std::string& path, std::map<std::string, std::string>& out) {
    out[path + "\\"] = "";
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameSize = 16384, type = 0;
        wchar_t data[2048];
        DWORD dataSize = sizeof data;
        const LONG result = ::RegEnumValueW(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                            &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        out[path + "\t" + Narrow(std::wstring(name, nameSize))] =
            Narrow(std::wstring(data, wcsnlen(data, dataSize / sizeof(wchar_t))));
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameSize = 256;
        if (::RegEnumKeyExW(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        if (::RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        RegistryInto(child, path + "\\" + Narrow(std::wstring(name, nameSize)), out);
        ::RegCloseKey(child);
    }
}

// The Wine host's name of a path (Wine's own kernel32 export), or empty.
std::string HostPath(const std::string& path) {
    using HostName = char*(CDECL*)(const wchar_t*);
    const auto toHost = reinterpret_cast<HostName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toHost) return {};
    char* host = toHost(Wide(path).c_str());
    if (!host) return {};
    std::string out(host);
    ::HeapFree(::GetProcessHeap(), 0, host);
    return out;
}

// Runs a shell command of the host (Wine starts host programs by their host path) and
// waits for it.
void RunHostCommand(const std::string& command) {
    std::wstring line = Wide("Z:\\bin\\sh -c \"" + command + "\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup, &process))
        return;
    ::WaitForSingleObject(process.hProcess, 30000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
}

// Waits up to two seconds for `holds` to become true.
template <typename Condition>
bool Eventually(Condition holds) {
    for (int i = 0; i < 40; ++i) {
        if (holds()) return true;
        ::Sleep(50);
    }
    return holds();
}

bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
    HANDLE h = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool made = false;
    if (h != INVALID_HANDLE_VALUE) {
        // A mount-point reparse buffer: tag, sizes, then the "\??\" name and the print name.
        const std::wstring substitute = L"\\??\\" + target;
        const size_t names = (substitute.size() + 1 + target.size() + 1) * sizeof(wchar_t);
        std::vector<uint8_t> buffer(16 + names, 0);
        const auto put16 = [&](size_t at, size_t v) { std::memcpy(&buffer[at], &v, 2); };
        const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
        std::memcpy(&buffer[0], &tag, 4);
        put16(4, 8 + names);
        put16(8, 0);
        put16(10, substitute.size() * sizeof(wchar_t));
        put16(12, (substitute.size() + 1) * sizeof(wchar_t));
        put16(14, target.size() * sizeof(wchar_t));
        std::memcpy(&buffer[16], substitute.c_str(), substitute.size() * sizeof(wchar_t));
        std::memcpy(&buffer[16 + (substitute.size() + 1) * sizeof(wchar_t)], target.c_str(),
                    target.size() * sizeof(wchar_t));
        DWORD returned = 0;
        made = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), DWORD(buffer.size()), nullptr, 0,
                                 &returned, nullptr);
        ::CloseHandle(h);
    }
    if (!made) ::RemoveDirectoryW(link.c_str());
    return made;
}

bool IsReparsePoint(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

std::map<std::string, uint64_t> FolderSnapshot(const std::string& folder) {
    std::map<std::string, uint64_t> out;
    SnapshotInto(std::filesystem::path(Wide(folder)), "", out);
    return out;
}

std::map<std::string, std::string> RegistrySnapshot(HKEY root, const std::string& key) {
    std::map<std::string, std::string> out;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, Wide(key).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return out;
    RegistryInto(opened, key, out);
    ::RegCloseKey(opened);
    return out;
}

std::optional<ShellLink> ReadShellLink(const std::string& path) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))))
        return std::nullopt;
    std::optional<ShellLink> out;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(Wide(path).c_str(), STGM_READ))) {
            wchar_t text[MAX_PATH * 2];
            ShellLink read;
            if (SUCCEEDED(link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH))) read.target = Narrow(text);
            if (SUCCEEDED(link->GetArguments(text, MAX_PATH * 2))) read.arguments = Narrow(text);
            if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH * 2))) read.workingFolder = Narrow(text);
            if (SUCCEEDED(link->GetDescription(text, MAX_PATH * 2))) read.description = Narrow(text);
            out = read;
        }
        file->Release();
    }
    link->Release();
    return out;
}

// Whether the system makes junctions; asked once: one that makes none makes none later.
std::atomic<bool> g_junctions{true};

bool PlantFolderLink(const std::string& link, const std::string& target) {
    if (g_junctions) {
        if (MakeJunction(Wide(link), Wide(target))) return IsReparsePoint(link);
        g_junctions = false;
    }
    const std::string hostLink = HostPath(link), hostTarget = HostPath(target);
    if (hostLink.empty() || hostTarget.empty()) return false;
    RunHostCommand("ln -s '" + hostTarget + "' '" + hostLink + "'");
    return Eventually([&] { return IsReparsePoint(link); });
}

void RemoveFolderLink(const std::string& link) {
    if (g_junctions) {
        if (IsReparsePoint(link)) ::RemoveDirectoryW(Wide(link).c_str());
        return;
    }
    // A host link, removed on the host: Wine 8 removes the folder it leads to instead. Its
    // target may be gone already (Wine then sees no entry at all).
    const std::string hostLink = HostPath(link);
    if (hostLink.empty()) return;
    RunHostCommand("if [ -L '" + hostLink + "' ]; then rm -f '" + hostLink + "'; fi");
    Eventually([&] {
        WIN32_FIND_DATAW found;
        HANDLE search = ::FindFirstFileW(Wide(link).c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
        return search == INVALID_HANDLE_VALUE;
    });
}

bool HostFolderSwapper::Start(const std::string& folder, const std::string& outside, const std::string& scratch) {
    Stop();
    scratch_ = scratch;
    const std::string hostFolder = HostPath(folder), hostOutside = HostPath(outside),
                      hostScratch = HostPath(scratch);
    if (hostFolder.empty() || hostOutside.empty() || hostScratch.empty()) return false;
    ::DeleteFileW(Wide(scratch + "\\swapper.stop").c_str());
    ::DeleteFileW(Wide(scratch + "\\swapper.count").c_str());
    // The paths go in as perl's single-quoted strings: a quote or backslash in them is escaped.
    const auto literal = [](const std::string& s) {
        std::string out = "'";
        for (char c : s) {
            if (c == '\'' || c == '\\') out += '\\';
            out += c;
        }
        return out + "'";
    };
    // The Linux race's swapper: a failed rename tries again (the folder may not be there
    // yet), the link stands for one short pause, then everything goes back.
    WriteText(scratch + "\\swapper.pl",
              "my ($dir, $parked, $out, $stop, $count) = (" + literal(hostFolder) + ", " +
                  literal(hostFolder + ".parked") + ", " + literal(hostOutside) + ", " +
                  literal(hostScratch + "/swapper.stop") + ", " + literal(hostScratch + "/swapper.count") +
                  ");\n"
                  "my $swaps = 0;\n"
                  "until (-e $stop) {\n"
                  "  if (!rename($dir, $parked)) { select(undef, undef, undef, 0.0002); next; }\n"
                  "  $swaps++ if symlink($out, $dir);\n"
                  "  select(undef, undef, undef, 0.0001);\n"
                  "  unlink($dir) if -l $dir;\n"
                  "  rename($parked, $dir);\n"
                  "}\n"
                  "open(my $f, '>', \"$count.new\") or die; print $f $swaps; close($f);\n"
                  "rename(\"$count.new\", $count);\n");
    std::wstring line = Wide("Z:\\usr\\bin\\perl " + hostScratch + "/swapper.pl");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup, &process))
        return false;
    // Wine gives no handles for a host program it started.
    if (process.hThread) ::CloseHandle(process.hThread);
    process_ = process.hProcess;
    running_ = true;
    return true;
}

int HostFolderSwapper::Stop() {
    if (!running_) return -1;
    running_ = false;
    WriteText(scratch_ + "\\swapper.stop", "stop");
    // There is no handle to wait on for a host program, so the count file (written whole,
    // then renamed) says the racer is done. The racer ends within a
    // pass of its loop; the bound only keeps a hung one from hanging the test.
    std::string count;
    for (int i = 0; i < 600 && (count = ReadText(scratch_ + "\\swapper.count")).empty(); ++i) ::Sleep(50);
    if (process_) ::CloseHandle(process_);
    process_ = nullptr;
    return count.empty() ? -1 : std::atoi(count.c_str());
}

UnattendedEnvironment::UnattendedEnvironment(const std::string& installFolder, const std::string& messageLog) {
    wchar_t saved[32768];
    const DWORD length = ::GetEnvironmentVariableW(L"PATH", saved, 32768);
    hadPath_ = length > 0 && length < 32768;
    if (hadPath_) savedPath_.assign(saved, length);
    ::SetEnvironmentVariableW(L"PATH", Wide(SystemFolder()).c_str());
    ::SetEnvironmentVariableW(L"VANTREL_UNATTENDED", L"1");
    ::SetEnvironmentVariableW(L"VANTREL_INSTALL_DIR", Wide(installFolder).c_str());
    ::SetEnvironmentVariableW(L"VANTREL_MESSAGE_LOG", Wide(messageLog).c_str());
}

UnattendedEnvironment::~UnattendedEnvironment() {
    ::SetEnvironmentVariableW(L"PATH", hadPath_ ? savedPath_.c_str() : nullptr);
    for (const wchar_t* name : {L"VANTREL_UNATTENDED", L"VANTREL_INSTALL_DIR", L"VANTREL_MESSAGE_LOG"})
        ::SetEnvironmentVariableW(name, nullptr);
}

namespace {

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

}  // namespace

const char* CounterGroupText() { return kGroupText; }

std::string CoreManifestLines() {
    std::string m;
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

void ProgramsTest::SetUp() {
    build_ = BuildFolder();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    work_ = build_ + "\\programs-test-" + info->name();
    RemoveTree(work_);
    ASSERT_TRUE(::CreateDirectoryW(Wide(work_).c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(Wide(work_ + "\\project").c_str(), nullptr));
}

void ProgramsTest::TearDown() {
    if (!HasFailure()) RemoveTree(work_);
}

int ProgramsTest::Tool(const std::string& program, const std::string& arguments) {
    return RunProgram(Quote(build_ + "\\" + program) + " " + arguments, work_, work_ + "\\output.txt");
}

void ProgramsTest::BuildSetup(const std::string& manifest) {
    WriteText(work_ + "\\start.json", kStartText);
    WriteText(work_ + "\\group.json", kGroupText);
    ASSERT_EQ(Tool("cgrtool.exe", "build start.json project\\VtlStart.vtl"), 0) << Output();
    ASSERT_EQ(Tool("cgrtool.exe", "build group.json project\\start.cgr"), 0) << Output();
    WriteText(work_ + "\\setup.manifest", manifest);
    ASSERT_EQ(Tool("projpack.exe", "build setup.manifest project " + Quote(build_ + "\\projinstall.exe") +
                                       " setup.exe"),
              0)
        << Output();
    ASSERT_EQ(Tool("projpack.exe", "check setup.exe"), 0) << Output();
}

int ProgramsTest::Install(const std::string& target) {
    ::DeleteFileW(Wide(work_ + "\\messages.log").c_str());
    UnattendedEnvironment environment(target, work_ + "\\messages.log");
    return RunProgram(Quote(work_ + "\\setup.exe"), work_, work_ + "\\output.txt");
}

int ProgramsTest::Uninstall(const std::string& target) {
    // Started as a user starts it: from its own folder.
    return RunProgram(Quote(target + "\\VtlUnInst.exe"), target, work_ + "\\uninstall.txt", true);
}

}  // namespace wintest

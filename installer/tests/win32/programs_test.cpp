// The Windows programs end to end, run as a user runs them (under Wine in CI): cgrtool
// builds a small project from its text, projpack packs it behind projinstall.exe, the
// package installs unattended into a folder of the user's, the registry and the Programs
// folder hold what it made, the installed viewer runs the project, and VtlUnInst.exe takes
// away what was installed, itself included, and nothing else.
#include "programs_support.h"

#include <algorithm>
#include <set>
#include <vector>

namespace wintest {
namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kViewersKey[] = "SOFTWARE\\Borrin";
constexpr char kPendingKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The files the system removes at its next start (pairs of source and "" for a deletion).
std::vector<std::wstring> PendingRemovals() {
    HKEY key = nullptr;
    std::vector<std::wstring> out;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(kPendingKey).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    DWORD size = 0, type = 0;
    if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        std::wstring all(size / sizeof(wchar_t), L'\0');
        ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(all.data()),
                           &size);
        for (size_t at = 0; at < all.size();) {
            const size_t end = all.find(L'\0', at);
            out.push_back(all.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
            if (end == std::wstring::npos) break;
            at = end + 1;
        }
    }
    ::RegCloseKey(key);
    return out;
}

// The shell links directly in a folder.
std::set<std::string> LinkNames(const std::string& folder) {
    std::set<std::string> out;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(Wide(folder + "\\*.lnk").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return out;
    do out.insert(Narrow(found.cFileName));
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return out;
}

bool EndsWith(const std::wstring& s, const std::wstring& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class WindowsPrograms : public ProgramsTest {};

TEST_F(WindowsPrograms, GroupTextRoundTripsThroughCgrtool) {
    WriteText(work_ + "\\group.json", CounterGroupText());
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

TEST_F(WindowsPrograms, PackageInstallsRunsAndUninstallsEverythingItMade) {
    ASSERT_NO_FATAL_FAILURE(BuildSetup("type standard\nbyte CheckDx8 0\nbyte RunAfterInstall 0\n"
                                       "text InstallPath Vantrel Counter\n"
                                       "text ShortCutName \\Vantrel Tests\\Counter\n"
                                       "text ProjectName Counter Test\n" +
                                       CoreManifestLines()));

    // Into a folder of the user's, as a user would choose it; a file of the user's is there
    // already and must outlive the uninstall.
    const std::string target = TempFolder() + "\\VantrelCounterTest";
    RemoveTree(target);
    ASSERT_TRUE(::CreateDirectoryW(Wide(target).c_str(), nullptr));
    WriteText(target + "\\notes.txt", "mine");
    const std::string programs = KnownFolder(FOLDERID_Programs), desktop = KnownFolder(FOLDERID_Desktop);
    ASSERT_FALSE(programs.empty());
    const std::string links = programs + "\\Vantrel Tests";
    RemoveTree(links);
    const std::string key = std::string(kUninstallKey) + "\\VantrelCounter Test";
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(key).c_str());
    // Another project's keys, which this uninstaller must leave alone.
    const std::string otherKey = std::string(kUninstallKey) + "\\VantrelOther Test";
    SetRegistryText(HKEY_LOCAL_MACHINE, otherKey, "UninstallString", "C:\\Other\\VtlUnInst.exe");
    SetRegistryText(HKEY_LOCAL_MACHINE, std::string(kViewersKey) + "\\Vantrel Viewers\\2.00.000\\Counter Test",
                    "DisplayName", "C:\\Other");
    // Wine may show the host's home folder as the Desktop: only its links are compared.
    const auto programsBefore = FolderSnapshot(programs);
    const std::set<std::string> desktopBefore = LinkNames(desktop);
    const auto uninstallBefore = RegistrySnapshot(HKEY_LOCAL_MACHINE, kUninstallKey);
    const auto viewersBefore = RegistrySnapshot(HKEY_LOCAL_MACHINE, kViewersKey);

    ASSERT_EQ(Install(target), 0) << Output() << Messages();
    const std::vector<std::string> files = {
        "VantrelViewer.exe", "Corvane.dll", "VtlUnInst.exe", "libstdc++-6.dll", "libgcc_s_seh-1.dll",
        "libwinpthread-1.dll", "VtlStart.vtl", "start.cgr",
        "uninstall.nfo", "channels\\FileLoader.dll", "channels\\048425EF-3B0E-551D-9206-B4160D97F196.dll"};
    for (const std::string& file : files) EXPECT_TRUE(Exists(target + "\\" + file)) << file;
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, "DisplayName"), "Counter Test");
    EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, key, "UninstallString"), target + "\\VtlUnInst.exe");
    // Real shell links in the Programs folder, read back through the shell: the viewer with
    // its start file and the uninstaller, both working in the install folder. The standard
    // type makes no other link (the Desktop stays as it was).
    const std::optional<ShellLink> project = ReadShellLink(links + "\\Counter.lnk");
    ASSERT_TRUE(project);
    EXPECT_EQ(project->target, target + "\\VantrelViewer.exe");
    EXPECT_EQ(project->arguments, "VtlStart.vtl");
    EXPECT_EQ(project->workingFolder, target);
    EXPECT_EQ(project->description, "Vantrel Project Link");
    const std::optional<ShellLink> uninstall = ReadShellLink(links + "\\Counter Uninstall.lnk");
    ASSERT_TRUE(uninstall);
    EXPECT_EQ(uninstall->target, target + "\\VtlUnInst.exe");
    EXPECT_EQ(uninstall->arguments, "");
    EXPECT_EQ(uninstall->description, "Vantrel Uninstall Link");
    EXPECT_EQ(LinkNames(desktop), desktopBefore);

    // The installed viewer runs the project as the link starts it: 150 frames clamp the
    // counter at its upper bound.
    ASSERT_EQ(RunProgram(Quote(project->target) + " " + project->arguments + " --quiet", project->workingFolder,
                         work_ + "\\viewer.txt"),
              0)
        << ReadText(work_ + "\\viewer.txt");
    const std::string ran = ReadText(work_ + "\\viewer.txt");
    EXPECT_NE(ran.find("4 channels, 150 frames"), std::string::npos) << ran;
    EXPECT_NE(ran.find("counter = 100"), std::string::npos) << ran;

    // The uninstaller hands its work to a private copy, which removes the original's file
    // and the log too: only the user's file stays, and every link and key is gone.
    ASSERT_EQ(Uninstall(target), 0) << UninstallOutput();
    EXPECT_NE(UninstallOutput().find("Counter Test removed"), std::string::npos) << UninstallOutput();
    EXPECT_EQ(UninstallOutput().find("stay"), std::string::npos) << UninstallOutput();
    EXPECT_EQ(FolderSnapshot(target), (std::map<std::string, uint64_t>{{"notes.txt", 4}}));
    EXPECT_EQ(FolderSnapshot(programs), programsBefore);
    EXPECT_EQ(LinkNames(desktop), desktopBefore);
    EXPECT_EQ(RegistrySnapshot(HKEY_LOCAL_MACHINE, kUninstallKey), uninstallBefore);
    EXPECT_EQ(RegistrySnapshot(HKEY_LOCAL_MACHINE, kViewersKey), viewersBefore);

    // The copy ran from a folder of its own in the temporary folder and goes, with that
    // folder, at the system's next start.
    const std::vector<std::wstring> pending = PendingRemovals();
    std::wstring copy;
    for (const std::wstring& entry : pending)
        if (EndsWith(entry, L"\\VtlUnInst.exe") && entry.find(L"\\VtlCopy") != std::wstring::npos) copy = entry;
    ASSERT_FALSE(copy.empty()) << pending.size() << " removals pending";
    const std::wstring copyPath = copy.substr(copy.find(L":\\") - 1);
    const std::wstring copyFolder = copyPath.substr(0, copyPath.find_last_of(L'\\'));
    EXPECT_EQ(copyFolder.substr(0, copyFolder.find_last_of(L'\\')), Wide(TempFolder()));
    EXPECT_NE(std::find_if(pending.begin(), pending.end(), [&](const std::wstring& e) { return EndsWith(e, copyFolder); }),
              pending.end());
    EXPECT_TRUE(Exists(Narrow(copyPath)));
    ::DeleteFileW(copyPath.c_str());
    ::RemoveDirectoryW(copyFolder.c_str());

    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(otherKey).c_str());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(std::string(kViewersKey) + "\\Vantrel Viewers\\2.00.000\\Counter Test").c_str());
    RemoveTree(target);
}

}  // namespace
}  // namespace wintest

// The Win32 implementations against the real system (run under Wine in CI): registry,
// files written below a folder, private folders, shell links, processes, libraries.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>
#undef LoadLibrary  // os:: has its own
#undef DeleteFile
#undef ReplaceFile

#include <io.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "os/file_exists.h"
#include "os/folder.h"
#include "os/folder_tree.h"
#include "os/native_path.h"
#include "os/process.h"
#include "os/read_only_file.h"
#include "os/registry.h"
#include "os/shared_library.h"
#include "os/shell_folders.h"
#include "os/shortcut.h"
#include "os/temp_folder.h"
#include "os/writable_file.h"
#include "os/written_library.h"
#include "private_access.h"
#include "win32_util.h"

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

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

// A private scratch folder, removed with what is in it.
class Scratch : public ::testing::Test {
protected:
    void SetUp() override {
        auto temp = os::GetTempFolder();
        ASSERT_TRUE(temp);
        auto made = os::CreateFreshPrivateFolder(*temp + "vtltest");
        ASSERT_TRUE(made);
        dir_ = *made;
    }
    void TearDown() override {
        std::wstring from = std::wstring(dir_.begin(), dir_.end()) + L'\0' + L'\0';
        SHFILEOPSTRUCTW op{};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        ::SHFileOperationW(&op);
    }
    std::string dir_;
};

TEST(Win32Paths, SeparatorsCollapseIntoBackslashes) {
    EXPECT_EQ(os::NativePath("C:/a//b\\\\c/"), "C:\\a\\b\\c\\");
    EXPECT_EQ(os::NativePath("\\\\server\\share//x"), "\\\\server\\share\\x");
    EXPECT_TRUE(os::EqualsIgnoreCase("Corvane.DLL", "corvane.dll"));
}

TEST(Win32Registry, StringsRoundTripAndKeysGoWithTheirValues) {
    const std::string key = "Software\\VantrelTest\\Win32Registry";
    const char data[] = "C:\\Program Files\\Demo \xc3\xa9";  // UTF-8 survives the wide store
    ASSERT_TRUE(os::RegistrySetString(os::RegistryRoot::CurrentUser, key, "Path", data,
                                      uint32_t(std::strlen(data))));
    ASSERT_TRUE(os::RegistrySetString(os::RegistryRoot::CurrentUser, key, "", "x", 1));
    EXPECT_EQ(os::RegistryGetString(os::RegistryRoot::CurrentUser, key, "path"), std::string(data));
    EXPECT_EQ(os::RegistryGetString(os::RegistryRoot::CurrentUser, key, ""), "x");
    EXPECT_EQ(os::RegistryAllValues().size(), 2u);

    // Read back through the system's own call, as another program would.
    wchar_t text[128];
    DWORD size = sizeof text;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Software\\VantrelTest\\Win32Registry", L"Path",
                             RRF_RT_REG_SZ, nullptr, text, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(text), L"C:\\Program Files\\Demo \u00e9");

    EXPECT_TRUE(os::RegistryDeleteKey(os::RegistryRoot::CurrentUser, "Software\\VantrelTest"));
    EXPECT_FALSE(os::RegistryGetString(os::RegistryRoot::CurrentUser, key, "Path"));
    EXPECT_FALSE(os::RegistryDeleteKey(os::RegistryRoot::CurrentUser, "Software\\VantrelTest"));
}

TEST_F(Scratch, TempFoldersArePrivateAndPlainFoldersAreNot) {
    EXPECT_TRUE(os::IsPrivateFolder(dir_));
    ASSERT_TRUE(os::CreateFolder(dir_ + "\\open"));
    EXPECT_FALSE(os::CreateFolder(dir_ + "\\open"));  // only a folder made now counts
    EXPECT_TRUE(os::RemoveFolder(dir_ + "\\open"));
    EXPECT_FALSE(os::IsPrivateFolder(dir_ + "\\missing"));
    os::FolderTree tree;
    ASSERT_TRUE(tree.Open(dir_));
    EXPECT_TRUE(tree.IsPrivateToUser());
}

// Which access lists leave a folder to its owner alone. (Wine keeps no access list on a
// file beyond its Unix mode, so the rule is tried on descriptors.)
TEST(Win32PrivateFolders, OnlyTheOwnerTheSystemAndAdministratorsMayWrite) {
    const std::wstring me = os::win32::CurrentUserSid();
    ASSERT_FALSE(me.empty());
    const std::wstring mine = L"O:" + me + L"D:P(A;OICI;FA;;;" + me + L")";
    const struct {
        std::wstring sddl;
        bool ownerOnly;
    } cases[] = {
        {mine, true},
        {mine + L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},  // they may take any file anyway
        {mine + L"(A;OICI;0x1200a9;;;WD)", true},            // everyone reads and lists only
        {mine + L"(A;OICIIO;FA;;;CO)", true},                // passed on, not on the folder
        {mine + L"(D;;FA;;;WD)", true},                      // a denial grants nothing
        {mine + L"(A;OICI;FA;;;WD)", false},
        {mine + L"(A;;FW;;;BU)", false},
        {mine + L"(A;;0x2;;;AU)", false},                    // adding files alone is enough
        {L"O:BUD:P(A;OICI;FA;;;" + me + L")", false},         // the users' folder, not mine
    };
    for (const auto& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl.c_str(), SDDL_REVISION_1,
                                                                           &descriptor, nullptr))
            << Narrow(c.sddl);
        EXPECT_EQ(os::win32::IsOwnerOnlyDescriptor(descriptor), c.ownerOnly) << Narrow(c.sddl);
        ::LocalFree(descriptor);
    }
    // No list at all: everyone may do anything.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(mine.c_str(), SDDL_REVISION_1,
                                                                       &descriptor, nullptr));
    SECURITY_DESCRIPTOR open;
    ASSERT_TRUE(::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    ASSERT_TRUE(::SetSecurityDescriptorOwner(&open, owner, FALSE));
    ASSERT_TRUE(::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_FALSE(os::win32::IsOwnerOnlyDescriptor(&open));
    ::LocalFree(descriptor);
}

TEST_F(Scratch, WrittenLibrariesLoadOnlyTheFileTheTreeWrote) {
    // A real DLL's bytes: the thread library beside this program.
    wchar_t module[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(::GetModuleHandleW(L"libwinpthread-1.dll"), module, MAX_PATH), 0u);
    const auto dll = os::ReadWholeFile(Narrow(module), 16 << 20);
    ASSERT_TRUE(dll);
    os::FolderTree tree;
    ASSERT_TRUE(tree.Open(dir_));
    ASSERT_EQ(tree.WriteFile("Lib\\copy.dll", *dll, false), os::WriteStatus::Written);

    // While the descriptor is held, the file can be neither deleted nor replaced.
    const int held = tree.OpenWritten("lib/COPY.dll");
    ASSERT_GE(held, 0);
    EXPECT_FALSE(::DeleteFileW(Wide(dir_ + "\\Lib\\copy.dll").c_str()));
    ::_close(held);

    os::LibraryHandle loaded = os::LoadWrittenLibrary(tree, "Lib\\copy.dll", "copy.dll");
    ASSERT_NE(loaded, nullptr) << os::LastLibraryError();
    EXPECT_NE(os::GetProcAddress(loaded, "pthread_mutex_lock"), nullptr);
    os::FreeLibrary(loaded);

    // The same bytes put there by anyone else are not what this installation wrote.
    ASSERT_TRUE(::CopyFileW(module, Wide(dir_ + "\\Lib\\planted.dll").c_str(), TRUE));
    EXPECT_LT(tree.OpenWritten("Lib\\planted.dll"), 0);
    EXPECT_EQ(os::LoadWrittenLibrary(tree, "Lib\\planted.dll", "planted.dll"), nullptr);
    EXPECT_NE(os::LastLibraryError().find("planted.dll: not the file"), std::string::npos);
}

TEST_F(Scratch, FolderTreeWritesOnceBelowItsBaseAndRefusesClimbingOut) {
    os::FolderTree tree;
    ASSERT_TRUE(tree.Open(dir_));
    std::vector<size_t> made;
    EXPECT_EQ(tree.WriteFile("Sub\\Deeper/File.txt", Bytes("one"), false,
                             [&](size_t at) { made.push_back(at); }),
              os::WriteStatus::Written);
    EXPECT_EQ(made, (std::vector<size_t>{3, 10}));
    // Another spelling of the same file is the same file.
    EXPECT_EQ(tree.WriteFile("sub\\DEEPER\\file.TXT", Bytes("two"), false),
              os::WriteStatus::AlreadyWritten);
    EXPECT_EQ(tree.WriteFile("..\\outside.txt", Bytes("x"), false), os::WriteStatus::Refused);
    EXPECT_EQ(tree.WriteFile("Sub\\Deeper", Bytes("x"), false), os::WriteStatus::Failed);
    EXPECT_EQ(tree.ReadFile("Sub\\Deeper\\File.txt", 100), std::vector<uint8_t>({'o', 'n', 'e'}));
    EXPECT_EQ(tree.RelativePart(dir_ + "\\Sub\\Deeper\\File.txt"), "Sub/Deeper/File.txt");

    EXPECT_EQ(tree.RemoveFileIf("Sub\\Deeper\\File.txt", 100,
                                [](const std::vector<uint8_t>& b) { return b.size() == 99; }),
              os::FolderTree::RemoveStatus::Refused);
    EXPECT_EQ(tree.RemoveFileIf("Sub\\Deeper\\File.txt", 100,
                                [](const std::vector<uint8_t>& b) { return b.size() == 3; }),
              os::FolderTree::RemoveStatus::Removed);
    EXPECT_FALSE(os::FileExists(dir_ + "\\Sub\\Deeper\\File.txt"));
    EXPECT_EQ(tree.RemoveFolder("Sub\\Deeper"), os::FolderTree::RemoveStatus::Removed);
    EXPECT_EQ(tree.RemoveFile("Sub\\Deeper\\File.txt"), os::FolderTree::RemoveStatus::Missing);
}

// Every entry is opened by its name inside its folder's handle, where the system takes a
// name as it is: a stream suffix, a wildcard or a trailing dot would each name something
// other than the plain file asked for, so they are refused and nothing is made.
TEST_F(Scratch, FolderTreeRefusesNamesThatAreNotOnePlainEntry) {
    os::FolderTree tree;
    ASSERT_TRUE(tree.Open(dir_));
    ASSERT_EQ(tree.WriteFile("plain.txt", Bytes("p"), false), os::WriteStatus::Written);
    for (const char* name : {"plain.txt:hidden", "Sub\\x*.txt", "Sub\\name.", "Dotted.\\f.txt", "Spaced \\f.txt"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(tree.WriteFile(name, Bytes("x"), false), os::WriteStatus::Refused);
        EXPECT_EQ(tree.ReadFile(name, 100), std::nullopt);
    }
    EXPECT_EQ(tree.RemoveFile("plain.txt:hidden"), os::FolderTree::RemoveStatus::Refused);
    EXPECT_EQ(tree.ReadFile("plain.txt", 100), std::vector<uint8_t>({'p'}));
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(os::win32::Widen(dir_ + "\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names;
    do names.push_back(found.cFileName);
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    // "Sub" was made on the way to the refused names; nothing else was.
    EXPECT_EQ(names, (std::vector<std::wstring>{L".", L"..", L"Sub", L"plain.txt"}));
}

TEST_F(Scratch, ReplacedFilesLeaveNoTemporaryBehindAndReadBack) {
    const std::string path = dir_ + "\\store.txt";
    ASSERT_EQ(os::ReplaceFile(path, Bytes("first")), os::WriteStatus::Written);
    ASSERT_EQ(os::ReplaceFile(path, Bytes("second")), os::WriteStatus::Written);
    const auto bytes = os::ReadWholeFile(path, 100);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "second");
    EXPECT_FALSE(os::ReadWholeFile(path, 3));  // larger than the limit

    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((std::wstring(dir_.begin(), dir_.end()) + L"\\*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    int entries = 0;
    do {
        if (std::wcscmp(found.cFileName, L".") && std::wcscmp(found.cFileName, L"..")) ++entries;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    EXPECT_EQ(entries, 1);

    os::ReadOnlyFile in;
    ASSERT_TRUE(in.Open(path));
    EXPECT_EQ(in.Size(), 6u);
    char head[3];
    ASSERT_TRUE(in.Seek(3) && in.ReadExact(head, 3));
    EXPECT_EQ(std::string(head, 3), "ond");
}

TEST_F(Scratch, ShortcutsAreShellLinkFiles) {
    const std::string link = dir_ + "\\Demo.lnk";
    ASSERT_EQ(os::CreateShortcut("C:\\windows\\notepad.exe", link, "The demo", "-x", dir_), 0);
    const auto bytes = os::ReadWholeFile(link, 1 << 20);
    ASSERT_TRUE(bytes);
    // A shell link starts with its header size, 0x4C, and the link class identifier.
    ASSERT_GE(bytes->size(), 20u);
    EXPECT_EQ((*bytes)[0], 0x4C);
    EXPECT_EQ((*bytes)[4], 0x01);
    EXPECT_EQ((*bytes)[5], 0x14);
    EXPECT_EQ((*bytes)[6], 0x02);
    // Read back as the uninstaller reads it: the program it starts.
    EXPECT_EQ(os::ShortcutTarget(*bytes), "C:\\windows\\notepad.exe");
    EXPECT_EQ(os::ShortcutTarget({'[', 'D', 'e', 's', 'k'}), "");
}

TEST(Win32Services, ProcessesReportTheirExitCode) {
    os::Process process;
    ASSERT_TRUE(process.Start("cmd.exe /c exit 7"));
    EXPECT_EQ(process.WaitPolling(10), 7u);
    os::Process missing;
    EXPECT_FALSE(missing.Start("no-such-program-here.exe"));
    EXPECT_NE(missing.LastError(), 0);
}

TEST(Win32Services, LibrariesLoadByPathAndSayWhyNot) {
    EXPECT_EQ(os::LoadLibrary("C:\\no\\such\\library.dll"), nullptr);
    EXPECT_FALSE(os::LastLibraryError().empty());
    os::LibraryHandle kernel = os::LoadLibrary(*os::GetSystemFolder() + "\\kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(os::GetProcAddress(kernel, "GetTickCount"), nullptr);
    os::FreeLibrary(kernel);
    EXPECT_TRUE(os::GetProgramsFolder());
}

TEST_F(Scratch, WritableFilesReplaceAndFlush) {
    os::WritableFile out;
    ASSERT_TRUE(out.CreateAlways(dir_ + "\\w.bin"));
    EXPECT_EQ(out.Write("abcd", 4), 4u);
    EXPECT_TRUE(out.Close());
    ASSERT_TRUE(out.CreateAlways(dir_ + "\\w.bin"));
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(os::ReadWholeFile(dir_ + "\\w.bin", 10)->size(), 0u);
    EXPECT_FALSE(out.CreateAlways(dir_));  // a folder is no file
}

}  // namespace

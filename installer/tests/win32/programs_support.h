// What the Windows end-to-end tests share: files, programs and the registry seen through the
// Win32 API as a user's programs see them, a small value-operator project packed behind
// projinstall.exe, and snapshots of the places an installation writes to.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <map>
#include <optional>
#include <string>

namespace wintest {

std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
bool Exists(const std::string& path);
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
// Removes a folder and what it holds; the error's words, or empty.
std::string RemoveTree(const std::string& folder);
std::string Quote(const std::string& s);

// The folder this test program (and every program of the build) is in.
std::string BuildFolder();
std::string KnownFolder(REFKNOWNFOLDERID id);
std::string SystemFolder();
// The user's temporary folder, without its trailing backslash.
std::string TempFolder();

// Runs a command line in `folder`, its output and errors into `output`, and waits until it
// has ended, and with `waitForItsPrograms` every process it started too (a job holds them
// all). The program's own exit code, or -1 when it could not be started or the processes
// did not end within two minutes.
int RunProgram(const std::string& commandLine, const std::string& folder, const std::string& output,
               bool waitForItsPrograms = false);

std::optional<std::string> RegistryText(HKEY root, const std::string& key, const char* name);
void SetRegistryText(HKEY root, const std::string& key, const char* name, const std::string& value);

// Every file and folder below `folder` (relative paths, folders ending in "\"), with each
// file's size: what an installation adds and an uninstallation must take away again.
std::map<std::string, uint64_t> FolderSnapshot(const std::string& folder);
// Every key and REG_SZ value below `key` ("<key>\t<name>" to the data); empty when absent.
std::map<std::string, std::string> RegistrySnapshot(HKEY root, const std::string& key);

// What a shell link holds, read through IShellLinkW.
struct ShellLink {
    std::string target, arguments, workingFolder, description;
};
std::optional<ShellLink> ReadShellLink(const std::string& path);

// A link to the folder `target` planted at `link`: a junction where the system makes them;
// Wine 8 makes neither junctions nor symbolic links, so there a symbolic link of the host's
// file system, which Wine shows as a reparse point. False when neither could be made.
bool PlantFolderLink(const std::string& link, const std::string& target);
// Removes a link PlantFolderLink made (the link only, never what it leads to).
void RemoveFolderLink(const std::string& link);

// Keeps swapping a folder for a link to another folder and back, from a process of the
// Wine host (whose renames ignore the share modes that keep a held folder in place on
// Windows), until Stop: the folder renamed to "<folder>.parked", a host symbolic link put
// in its place, the link removed and the folder renamed back. One process races for the
// whole act, so a swap costs a few system calls, not a process start.
class HostFolderSwapper {
public:
    ~HostFolderSwapper() { Stop(); }
    // False when there is no Wine host to race from, or the racer could not be started.
    // `scratch` is a folder for the racer's script, stop mark and count.
    bool Start(const std::string& folder, const std::string& outside, const std::string& scratch);
    // Stops the racer and waits for it; how many times the link stood in the folder's place
    // (-1 when the racer did not say).
    int Stop();

private:
    HANDLE process_ = nullptr;
    bool running_ = false;
    std::string scratch_;
};

// The environment variables of the unattended installer, set for the life of the object;
// the search path holds only the system folder, so that the installed programs load what
// the package brought and nothing from the build.
class UnattendedEnvironment {
public:
    UnattendedEnvironment(const std::string& installFolder, const std::string& messageLog);
    ~UnattendedEnvironment();
    UnattendedEnvironment(const UnattendedEnvironment&) = delete;
    UnattendedEnvironment& operator=(const UnattendedEnvironment&) = delete;

private:
    std::wstring savedPath_;
    bool hadPath_ = false;
};

// A clamped accumulator of value operators counting to 100, as cgrtool's group text.
const char* CounterGroupText();

// The program files and core channels every package here carries, as manifest lines.
std::string CoreManifestLines();

// A work folder below the build with a small project in it (a clamped counter of value
// operators and a start file), and helpers to pack and install it.
class ProgramsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a program of the build with its arguments, in the work folder.
    int Tool(const std::string& program, const std::string& arguments);
    std::string Output() { return ReadText(work_ + "\\output.txt"); }
    // Builds the project with cgrtool and packs `manifest` behind projinstall.exe as
    // work\setup.exe.
    void BuildSetup(const std::string& manifest);
    // Runs setup.exe unattended into `target`; the installer's exit code.
    int Install(const std::string& target);
    std::string Messages() { return ReadText(work_ + "\\messages.log"); }
    // Runs the installed uninstaller and waits for it and its copy; its exit code.
    int Uninstall(const std::string& target);
    std::string UninstallOutput() { return ReadText(work_ + "\\uninstall.txt"); }

    std::string build_, work_;
};

}  // namespace wintest

// The uninstaller's work (VtlUnInst.exe, see main.cpp): removes what an installation left,
// as its "uninstall.nfo" lists it.
//
// The log is read from the folder the uninstaller itself sits in, and the log is not
// trusted: anyone who can write that folder can edit it. So only what this installation
// can have made goes:
//   - files and folders that resolve, without passing through a link, below the
//     uninstaller's own folder (the install folder, removed last when empty);
//   - desktop entries whose command starts this folder's viewer or uninstaller, the copies
//     the screen saver and media-player types place outside ("<ProjectName>.scr",
//     "vis_<ProjectName>.dll", "<ProjectName>.wac", byte for byte this folder's "VtlSvr.scr"
//     or "WinAmp.dll"), each checked and removed through one descriptor of its folder, and
//     the listed empty folders that hold them;
//   - listed empty folders that hold the install folder;
//   - the uninstall key whose "UninstallString" names this very uninstaller, and the viewer
//     key whose "DisplayName" names its folder.
// Everything else listed is skipped, and each skip is reported with its reason; with
// anything skipped the log stays, so the uninstaller can run again.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "uninstaller.h"

#include "package/uninstall_log.h"
#include "os/file_exists.h"
#include "os/folder.h"
#include "os/folder_tree.h"
#include "os/native_path.h"
#include "os/shortcut.h"
#include "os/printable_text.h"
#include "os/program_instance.h"
#include "os/read_only_file.h"
#include "os/registry.h"
#include "os/shell_folders.h"

namespace {

constexpr uint64_t kLogSizeLimit = 64u << 20;      // a real log is a few kilobytes
constexpr size_t kDesktopEntryLimit = 64u << 10;

const char* kOwnPrograms[] = {"VantrelViewer.exe", "VtlUnInst.exe"};

void Skip(const std::string& what, const char* why) {
    std::fprintf(stderr, "VtlUnInst: skipped %s: %s\n", os::PrintableText(what).c_str(), why);
}

// The folder of a path in the system's form ("/" here, "\\" on Windows, "C:\\" a root).
std::string Parent(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return ".";
    if (cut == 0 || (cut == 2 && path[1] == ':')) return path.substr(0, cut + 1);
    return path.substr(0, cut);
}

// Whether the bytes of a desktop entry start this folder's viewer or uninstaller.
bool IsOurDesktopEntry(const std::vector<uint8_t>& bytes, const std::string& ownFolder) {
    if (bytes.size() > kDesktopEntryLimit) return false;
    const std::string target = os::ShortcutTarget(bytes);
    // Only a target already in the system's own spelling: its folder and name are then
    // split where the system splits them.
    if (target.empty() || os::NativePath(target) != target) return false;
    const size_t cut = target.find_last_of("/\\");
    if (cut == std::string::npos) return false;
    if (os::ResolvedPath(cut == 0 ? target.substr(0, 1) : target.substr(0, cut)) != ownFolder) return false;
    const std::string name = target.substr(cut + 1);
    for (const char* own : kOwnPrograms)
        if (os::EqualsIgnoreCase(name, own)) return true;
    return false;
}

// The program copies the plug-in types place outside the install folder: the copy's name
// and the file of this folder it must equal.
struct PlacedCopy {
    std::string name;
    const char* source;
};

std::vector<PlacedCopy> PlacedCopies(const std::string& project) {
    return {{project + ".scr", "VtlSvr.scr"}, {"vis_" + project + ".dll", "WinAmp.dll"},
            {project + ".wac", "WinAmp.dll"}};
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Both paths in the system's form (NativePath): a root ends with its separator.
bool IsAncestor(const std::string& folder, const std::string& path) {
    return !folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (IsSeparator(folder.back()) || IsSeparator(path[folder.size()]));
}

// The folders this installation places things in outside its own: below them every folder
// is entered without following a link. The user's own links above them are followed. (A
// player registered elsewhere has its folder opened as the path names it.)
std::vector<std::string> OutsideBases() {
    std::vector<std::string> bases;
    for (const std::optional<std::string>& base :
         {os::GetProgramsFolder(), os::GetSystemFolder(), os::GetPlayerFolder()})
        if (base && !base->empty()) bases.push_back(*base);
    return bases;
}

// Removes the file at a full path outside the install folder when `isOurs` accepts its
// content: it is read and removed through the one descriptor of its folder, opened from
// the known base folder that holds it (else from its own folder, as the path names it), so
// what was checked is what goes. `folder` receives the real folder it was in.
os::FolderTree::RemoveStatus RemoveOutside(const std::string& native, const std::vector<std::string>& bases,
                                           const std::function<bool(const std::vector<uint8_t>&)>& isOurs,
                                           std::string& folder) {
    os::FolderTree tree;
    for (const std::string& base : bases) {
        if (!tree.Open(base)) continue;
        if (const std::optional<std::string> relative = tree.RelativePart(native); relative && !relative->empty()) {
            const size_t cut = relative->rfind('/');
            folder = os::NativePath(tree.RealPath() + (cut == std::string::npos ? "" : "/" + relative->substr(0, cut)));
            return tree.RemoveFileIf(*relative, kLogSizeLimit, isOurs);
        }
    }
    const size_t cut = native.find_last_of("/\\");
    if (cut == std::string::npos || !tree.Open(Parent(native))) return os::FolderTree::RemoveStatus::Missing;
    folder = tree.RealPath();
    return tree.RemoveFileIf(native.substr(cut + 1), kLogSizeLimit, isOurs);
}

std::optional<UninstallLog> ReadLog(const std::string& path) {
    os::ReadOnlyFile file;
    if (!file.Open(path)) {
        std::fprintf(stderr, "VtlUnInst: %s is missing or not a file\n", path.c_str());
        return std::nullopt;
    }
    if (file.Size() > kLogSizeLimit) {
        std::fprintf(stderr, "VtlUnInst: %s is too large to be an uninstall log\n", path.c_str());
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(size_t(file.Size()));
    std::optional<UninstallLog> log;
    if (file.ReadExact(bytes.data(), bytes.size())) log = ParseUninstallLog(bytes);
    if (!log) std::fprintf(stderr, "VtlUnInst: %s is not a readable uninstall log\n", path.c_str());
    return log;
}

}  // namespace

int RunUninstaller(const std::string& self, bool listOnly) {
    os::FolderTree own;
    if (self.empty() || !own.Open(Parent(os::NativePath(self)))) {
        std::fprintf(stderr, "VtlUnInst: can't find its own folder\n");
        return 1;
    }
    const std::string ownFolder = own.RealPath();
    const std::string logPath = ownFolder + "/" + kUninstallLogName;
    const std::optional<UninstallLog> log = ReadLog(logPath);
    if (!log) return 1;

    if (listOnly) {
        // Control characters in the log are shown escaped, never sent to the terminal.
        std::printf("project: %s\n", os::PrintableText(log->projectName).c_str());
        std::printf("files (%zu):\n", log->files.size());
        for (const std::string& f : log->files) std::printf("  %s\n", os::PrintableText(f).c_str());
        std::printf("folders created (%zu), children first:\n", log->folders.size());
        for (const std::string& d : log->folders) std::printf("  %s\n", os::PrintableText(d).c_str());
        return 0;
    }

    // Whether the project's key is this installation's is decided now: once this program
    // and its folder are gone, no path names them any more.
    const std::string key = kUninstallKeyPrefix + log->projectName;
    const std::optional<std::string> command =
        os::RegistryGetString(os::RegistryRoot::LocalMachine, key, "UninstallString");
    const bool keyIsOurs = command && os::ResolvedPath(os::NativePath(*command)) == self;
    // The screen-saver and player types also name this folder under the viewer key.
    const std::string viewerKey = std::string(kViewerKeyPrefix) + "\\" + log->projectName;
    const std::optional<std::string> viewerFolder =
        os::RegistryGetString(os::RegistryRoot::LocalMachine, viewerKey, "DisplayName");
    const bool viewerKeyIsOurs = viewerFolder && os::ResolvedPath(os::NativePath(*viewerFolder)) == ownFolder;

    // The sources of the placed copies, read before anything of this folder goes.
    std::vector<std::pair<PlacedCopy, std::optional<std::vector<uint8_t>>>> copies;
    for (const PlacedCopy& copy : PlacedCopies(log->projectName))
        copies.emplace_back(copy, own.ReadFile(copy.source, kLogSizeLimit));
    // A project name with folders in it ("Savers\Demo") places its copy in a folder too.
    const auto isOurCopy = [&](const std::string& path, const std::vector<uint8_t>& bytes) {
        for (const auto& [copy, source] : copies) {
            const std::string tail = os::NormalizeSeparators(copy.name);
            if (source && path.size() > tail.size() && IsSeparator(path[path.size() - tail.size() - 1]) &&
                os::EqualsIgnoreCase(std::string_view(path).substr(path.size() - tail.size()), tail) &&
                bytes == *source)
                return true;
        }
        return false;
    };
    const std::vector<std::string> bases = OutsideBases();

    int kept = 0;
    std::vector<std::string> entryFolders;  // real folders of the entries and copies removed
    for (const std::string& f : log->files) {
        // A record filled to its end may hold a cut path, which names some other file (or
        // none): what the installation wrote there is not known, so it is not counted gone.
        if (f.size() >= kUninstallTextSize) {
            Skip(f, "the log holds this path cut short; the file it meant is unknown");
            ++kept;
            continue;
        }
        if (const std::optional<std::string> inside = own.RelativePart(f)) {
            switch (own.RemoveFile(*inside)) {
            case os::FolderTree::RemoveStatus::Removed:
            case os::FolderTree::RemoveStatus::Missing: break;
            case os::FolderTree::RemoveStatus::Refused: Skip(f, "reached through a link or \"..\", or not a file"); ++kept; break;
            case os::FolderTree::RemoveStatus::Failed: Skip(f, "can't delete"); ++kept; break;
            }
            continue;
        }
        const std::string native = os::NativePath(f);
        std::string folder;
        switch (RemoveOutside(native, bases, [&](const std::vector<uint8_t>& bytes) {
                    return IsOurDesktopEntry(bytes, ownFolder) || isOurCopy(native, bytes);
                }, folder)) {
        case os::FolderTree::RemoveStatus::Removed: entryFolders.push_back(folder); break;
        case os::FolderTree::RemoveStatus::Missing: break;
        case os::FolderTree::RemoveStatus::Refused:
            if (os::FileExists(native)) {
                Skip(f, "outside the install folder and neither a desktop entry nor a copy of it");
                ++kept;
            }
            break;
        case os::FolderTree::RemoveStatus::Failed: Skip(f, "can't delete"); ++kept; break;
        }
    }
    // With files left behind the log stays, so the uninstaller can be run again once they
    // can go; it keeps the install folder too.
    const bool keepLog = kept > 0;
    if (!keepLog) own.RemoveFile(kUninstallLogName);

    for (const std::string& d : log->folders) {
        if (d.size() >= kUninstallTextSize) {
            Skip(d, "the log holds this path cut short; the folder it meant is unknown");
            ++kept;
            continue;
        }
        if (const std::optional<std::string> inside = own.RelativePart(d)) {
            if (inside->empty()) continue;  // the install folder itself goes last
            const os::FolderTree::RemoveStatus status = own.RemoveFolder(*inside);
            if (status == os::FolderTree::RemoveStatus::Refused) Skip(d, "reached through a link");
            if (status == os::FolderTree::RemoveStatus::Refused || status == os::FolderTree::RemoveStatus::Failed)
                ++kept;  // not empty: files of the user's
            continue;
        }
        // Outside: only an empty folder that held the install folder or one of our entries.
        const std::string real = os::ResolvedPath(os::NativePath(d));
        if (real.empty()) continue;
        bool holdsOurs = IsAncestor(real, ownFolder);
        for (const std::string& e : entryFolders) holdsOurs = holdsOurs || real == e || IsAncestor(real, e);
        if (!holdsOurs) {
            Skip(d, "outside the install folder and holds nothing of it");
            ++kept;
            continue;
        }
        // The install folder goes before the folders above it (only an empty one goes).
        if (IsAncestor(real, ownFolder)) own.RemoveFolder("");
        os::RemoveFolder(real);  // not empty: files of the user's
    }
    own.RemoveFolder("");

    if (viewerKeyIsOurs) os::RegistryDeleteKey(os::RegistryRoot::LocalMachine, viewerKey);
    if (keyIsOurs) {
        os::RegistryDeleteKey(os::RegistryRoot::LocalMachine, key);
    } else if (command) {
        Skip(key, "its UninstallString names another uninstaller");
        ++kept;
    }
    std::printf("%s removed", log->projectName.c_str());
    if (kept) std::printf(" (%d files, folders or keys stay)", kept);
    if (keepLog) std::printf("; %s stays so that it can be run again", kUninstallLogName);
    std::printf("\n");
    return 0;
}

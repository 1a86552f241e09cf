// Small steps every project type shares: reading its settings from the package and the
// plain error box that reports a missing one.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>

#include "package/little_endian.h"
#include "installer/project_installer.h"
#include "os/current_folder.h"
#include "os/message_box.h"

namespace setting_reads {

inline constexpr uint32_t kSettingTextSize = 259;  // "InstallPath", "ProjectName", ...
inline constexpr uint32_t kListTextSize = 399;     // the names in "CHANNELINFO" and "FILEINFO"

inline void ShowError(const std::string& text, const char* caption = "Error") {
    os::MessageBox(text.c_str(), caption, os::MB_OK);
}

// Reads a text setting or list value into the whole buffer. The last byte is forced to NUL:
// a value that fills the buffer stays a bounded text for everything that follows.
inline bool ReadText(ProjectInstaller& installer, const char* name, char* buffer, uint32_t size,
                     const char* group = nullptr) {
    if (!installer.ReadItem(name, buffer, size, group)) return false;
    buffer[size - 1] = '\0';
    return true;
}

inline bool ReadByte(ProjectInstaller& installer, const char* name, uint8_t& value) {
    return installer.ReadItem(name, &value, 1, nullptr);
}

inline bool ReadU32(ProjectInstaller& installer, const char* name, const char* group, uint32_t& value) {
    uint8_t bytes[4];
    if (!installer.ReadItem(name, bytes, 4, group)) return false;
    value = LoadU32LE(bytes);
    return true;
}

// A missing setting: "Can't find project type <name>", caption "Error".
inline void ShowMissingSetting(const char* name) {
    ShowError(std::string("Can't find project type ") + name);
}

// A folder typed into the dialog as a relative path would be taken relative to a current
// folder that the installation itself moves into the install folder; anchor it first.
// A drive letter with its root ("C:\\...") is a whole path too.
inline std::string AbsoluteInstallPath(const char* path) {
    if (!*path || *path == '/' || *path == '\\') return path;
    const bool driveRoot = std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                           (path[2] == '\\' || path[2] == '/');
    if (driveRoot) return path;
    const std::string here = os::GetCurrentFolder();
    return here.empty() ? std::string(path) : here + "\\" + path;
}

}  // namespace setting_reads

// "uninstall.nfo", the log an installation leaves for its uninstaller: tagged records with
// no header (layout.h), written through the engine's file saver.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "package/layout.h"
#include "package/pointer_array.h"

class EngineFileSaver;

inline constexpr char kUninstallLogName[] = "uninstall.nfo";
// The uninstall registry key of a project is this + its "ProjectName".
inline constexpr char kUninstallKeyPrefix[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel";
// The viewer key of a project is this + "\" + its "ProjectName"; its "DisplayName" is the
// install folder.
inline constexpr char kViewerKeyPrefix[] = "SOFTWARE\\Borrin\\Vantrel Viewers\\2.00.000";

// Writes every record into a saver already opened (with 0: no header of its own).
// `installedFiles` and `createdFolders` hold char texts, folders in creation order.
void WriteUninstallRecords(EngineFileSaver& saver, const PointerArray& installedFiles,
                           const PointerArray& createdFolders, const char* projectName,
                           bool skipTag);

struct UninstallLog {
    std::vector<std::string> files;    // in list order
    std::vector<std::string> folders;  // as stored: children before their parents
    std::string projectName;
    bool skipTag = false;
};

// Reads a log back; nothing when the records are not the layout above.
std::optional<UninstallLog> ParseUninstallLog(std::span<const uint8_t> bytes);

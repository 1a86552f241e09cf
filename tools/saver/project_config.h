// What the screen-saver program and the player plug-in share: finding the configuration the
// installer wrote for their project ("screensaver.cfg", "winamp.cfg"), reading it, and
// starting the installed viewer on the start file it names.
//
// The configuration is a run of tagged records with no header: "SCFP" the start file's
// path (NUL-terminated in 259 bytes), "SCTI" a 32-bit integer, and for the screen saver
// "SCQC" and "SCSP", one byte each.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace player {

struct ProjectConfig {
    std::string startFile;  // system path, install path + "\VtlStart.vtl"
    int32_t timeValue = 0;  // "SCTI"; kept, nothing here uses it
    std::optional<uint8_t> quitByte;      // "SCQC" (screen saver only)
    std::optional<uint8_t> smallPreview;  // "SCSP" (screen saver only)
};

// Nothing when the records are damaged, "SCFP" is missing or empty, or a record has the
// wrong length. Records it does not know are passed over.
std::optional<ProjectConfig> ReadProjectConfig(std::span<const uint8_t> bytes);
// The same from a file (a system path); nothing when it is missing, not a file or too large.
std::optional<ProjectConfig> LoadProjectConfig(const std::string& path);

// The project a copy placed outside its install folder stands for: its file name without
// `prefix` (compared ignoring case) and without its ending, "vis_Demo.dll" -> "Demo".
std::string ProjectNameOf(std::string_view fileName, std::string_view prefix);

// Where the configuration `configName` of the program at `selfPath` lies: beside the program
// (the copy in the install folder), else in the install folder the viewer key of the
// project named by `projectName` gives. Nothing when neither holds it.
std::optional<std::string> FindProjectConfig(const std::string& selfPath, std::string_view configName,
                                             const std::string& projectName);

// The installed viewer beside the start file, and its arguments: the start file, then `extra`.
std::vector<std::string> ViewerCommand(const std::string& startFile, const std::vector<std::string>& extra);

}  // namespace player

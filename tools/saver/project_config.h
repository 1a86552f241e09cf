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

// Where the configuration `configName` of the program at `selfPath` lies. The program under
// its package name (`packageName`, "VtlSvr.scr", in the install folder) takes the one beside
// it; a copy under any other name stands for the project its name gives (`copyPrefix` and the
// ending taken off: "vis_Demo.dll" -> "Demo") and takes the one in the install folder that
// project's viewer key names. Nothing when there is none.
std::optional<std::string> FindProjectConfig(const std::string& selfPath, std::string_view configName,
                                             std::string_view packageName, std::string_view copyPrefix);

// The installed viewer beside the start file, and its arguments: the start file, then `extra`.
std::vector<std::string> ViewerCommand(const std::string& startFile, const std::vector<std::string>& extra);

}  // namespace player

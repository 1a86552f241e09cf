// Turns a manifest into the package writer's items: each file read from the project folder
// and packed or compressed as its kind says, the settings as their bytes, and the lists
// "CHANNELINFO" and "FILEINFO" built around their files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "manifest.h"
#include "package/package_writer.h"

namespace projpack {

using Progress = std::function<void(const std::string& line)>;

// Adds the manifest's entries to `writer` in the installer's order: settings ("ProjectType"
// first), then the packed core files and the other compressed files in manifest order,
// then "CHANNELINFO" with each plug-in's and library's list entry directly before its
// file, then "FILEINFO" the same way. File entries are read from `projectFolder`.
bool CollectItems(const Manifest& manifest, const std::string& projectFolder,
                  PackageWriter& writer, std::string& error, const Progress& progress = {});

std::vector<uint8_t> U32Bytes(uint32_t v);
inline std::string Upper(std::string s) { return UpperCaseName(std::move(s)); }

}  // namespace projpack

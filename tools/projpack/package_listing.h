// `projpack list` and `projpack check`: the directory of an installer's package, and a
// verification of every entry.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "manifest_items.h"

class PackageReader;

namespace projpack {

// What an entry holds, judged from its role (known setting and list names) and, for files,
// from its bytes: "u32 <v>", "byte <v>", "text \"...\"", "packed (<n> bytes)",
// "krvf-compressed (<n> bytes)" or "raw".
std::string DescribeEntry(const std::string& group, const std::string& item,
                          std::span<const uint8_t> data);

// Prints the package start, count, data offset and one line per entry. False when the
// file holds no package.
bool ListPackage(const std::string& path, std::ostream& out);

// Verifies every CRC, that every packed and compressed entry unpacks, that every file entry
// is one of the two, and that the lists agree with their counts and name compressed files
// in "APPDATA". Faults go to `out`; the result is the number of faults (-1: no package).
int CheckPackage(const std::string& path, std::ostream& out, const Progress& progress = {});

}  // namespace projpack

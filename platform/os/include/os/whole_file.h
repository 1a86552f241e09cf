// A whole input file read at once, for the tools that take a file named on their command
// line: only a regular file is read (a FIFO or device given as input is refused at once,
// never waited on), and one larger than the caller's limit is refused before reading.
#pragma once

#include <cstdint>
#include <string>

namespace os {

enum class WholeFileStatus { Read, NotAFile, TooLarge, ReadError };

// Reads the regular file at a system path (see NativePath) into `out`.
WholeFileStatus ReadWholeRegularFile(const std::string& path, uint64_t limit, std::string& out);

// "missing or not a regular file", "larger than the limit", "read error".
const char* WholeFileStatusText(WholeFileStatus status);

}  // namespace os

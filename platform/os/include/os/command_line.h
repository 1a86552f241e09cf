// The process command line as one string, the way a Windows program sees it. The installer
// takes its own file's path from it (it accepts no arguments), so on Linux we rebuild the
// Windows form from /proc/self/cmdline: arguments joined by single spaces, an argument that
// holds a space or tab wrapped in double quotes.
#pragma once

#include <string>

namespace os {

std::string GetCommandLine();

// Replaces the process command line for the rest of the run (tests start no processes for
// it); a null line restores the real one.
void SetCommandLineForTesting(const char* line);

}  // namespace os

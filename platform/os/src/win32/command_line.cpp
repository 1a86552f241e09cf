#include "os/command_line.h"

#include <optional>

#include "win32_util.h"

namespace os {
namespace {
std::optional<std::string>& TestingLine() {
    static std::optional<std::string> line;
    return line;
}
}  // namespace

std::string GetCommandLine() {
    if (TestingLine()) return *TestingLine();
    return win32::Narrow(::GetCommandLineW());
}

void SetCommandLineForTesting(const char* line) {
    if (line)
        TestingLine() = std::string(line);
    else
        TestingLine().reset();
}

}  // namespace os

#include "os/command_line.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace os {
namespace {

std::optional<std::string>& TestingLine() {
    static std::optional<std::string> line;
    return line;
}

std::string Quoted(const std::string& arg) {
    if (arg.find_first_of(" \t") == std::string::npos) return arg;
    return "\"" + arg + "\"";
}

// A program started through PATH sees a bare name in argv[0]; Windows would give the
// full path, so we take the executable's own path then.
std::string ProgramPath(const std::string& argv0) {
    if (argv0.find('/') != std::string::npos) return argv0;
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return argv0;
    return std::string(buffer, size_t(n));
}

}  // namespace

std::string GetCommandLine() {
    if (TestingLine()) return *TestingLine();
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos) end = raw.size();
        args.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    if (args.empty()) return {};
    std::string line = Quoted(ProgramPath(args[0]));
    for (size_t i = 1; i < args.size(); ++i) line += " " + Quoted(args[i]);
    return line;
}

void SetCommandLineForTesting(const char* line) {
    if (line)
        TestingLine() = std::string(line);
    else
        TestingLine().reset();
}

}  // namespace os

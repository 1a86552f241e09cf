// The registry store as a file someone edited: read, a value set and a key deleted. Lines
// the store does not understand must come back as they were, and a value set must read
// back. The store lives in a private folder of this process.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "os/registry.h"

namespace {

std::string StorePath() {
    static const std::string path = [] {
        char pattern[] = "/tmp/registry-fuzzXXXXXX";
        const char* folder = ::mkdtemp(pattern);
        if (!folder) std::abort();
        const std::string file = std::string(folder) + "/registry";
        ::setenv("VANTREL_REGISTRY_FILE", file.c_str(), 1);
        return file;
    }();
    return path;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (64u << 10)) return 0;
    const std::string path = StorePath();
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    (void)os::RegistryAllValues();
    // A key of the fuzzer's own: set, read back (names ignore case), deleted.
    const char value[] = "C:\\Fuzz\tvalue\n";
    if (!os::RegistrySetString(os::RegistryRoot::LocalMachine, "SOFTWARE\\FuzzKey", "Name", value, sizeof value - 1))
        std::abort();
    const std::optional<std::string> back = os::RegistryGetString(os::RegistryRoot::LocalMachine, "software\\fuzzkey", "NAME");
    if (!back || *back != std::string(value, sizeof value - 1)) std::abort();
    // Every line of the input that is not a value of ours is still there, whole.
    const std::string after = Read(path);
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.rfind("HKLM\t", 0) == 0 || line.rfind("HKCR\t", 0) == 0 || line.rfind("HKCU\t", 0) == 0) continue;
        if (after.find(line + "\n") == std::string::npos) std::abort();
    }
    os::RegistryDeleteKey(os::RegistryRoot::LocalMachine, "SOFTWARE\\FuzzKey");
    if (os::RegistryGetString(os::RegistryRoot::LocalMachine, "SOFTWARE\\FuzzKey", "Name")) std::abort();
    return 0;
}

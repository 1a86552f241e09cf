// The uninstaller driven by a hostile log, in a scratch folder of this process: an install
// folder with the uninstaller's files, and an outside folder of bait beside it. The input
// is the log's lists, one path a line: "+" starts a file, "-" a folder, "=" the project
// name; "@" in a path stands for the install folder, "#" for the outside folder. Nothing
// outside the install folder may go, and the bait must stay as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/pointer_array.h"
#include "package/uninstall_log.h"
#include "plugin_frame/engine_control.h"
#include "package/little_endian.h"
#include "uninstaller.h"

namespace fs = std::filesystem;

namespace {

class MemorySaver final : public EngineFileSaver {
public:
    bool OpenFile(const char*, int) override { return true; }
    void SaveTag(const char* tag) override { bytes.append(tag, 4); }
    void SaveBlockSize(uint32_t n) override {
        uint8_t size[4];
        StoreU32LE(n, size);
        bytes.append(reinterpret_cast<const char*>(size), 4);
    }
    void SaveDataToFile(const void* data, uint32_t n) override { bytes.append(static_cast<const char*>(data), n); }
    bool CloseFile() override { return true; }
    void Destroy() override {}
    std::string bytes;
};

void Write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Expand(const std::string& line, const std::string& install, const std::string& outside) {
    std::string out;
    for (char c : line) out += c == '@' ? install : c == '#' ? outside : std::string(1, c);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fs::path root = [] {
        char pattern[] = "/tmp/uninstall-fuzzXXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made) std::abort();
        const fs::path r = made;
        ::setenv("VANTREL_REGISTRY_FILE", (r / "registry").c_str(), 1);
        ::setenv("VANTREL_PROGRAMS_DIR", (r / "programs").c_str(), 1);
        ::setenv("VANTREL_SYSTEM_DIR", (r / "system").c_str(), 1);
        ::setenv("VANTREL_PLAYER_DIR", (r / "player").c_str(), 1);
        return r;
    }();
    if (size > (16u << 10)) return 0;
    const fs::path install = root / "Demo", outside = root / "outside";
    std::error_code ec;
    fs::remove_all(install, ec);
    fs::remove_all(outside, ec);
    fs::create_directories(install / "channels");
    fs::create_directories(outside / "empty");
    fs::create_directories(root / "programs");
    Write(install / "VtlUnInst.exe", "uninstaller");
    Write(install / "VtlSvr.scr", "saver");
    Write(install / "channels/a.dll", "a");
    Write(outside / "bait.txt", "bait");
    // A copy of the saver named as the project's, anywhere the log says, is the installation's
    // own (a player folder registered elsewhere is reached by its path): the bait differs.
    Write(outside / "Demo.scr", "not the saver");
    fs::create_directory_symlink(outside, install / "linked", ec);

    PointerArray files, folders;
    std::vector<std::string> texts;
    texts.reserve(size + 1);  // stable storage for the pointers below
    std::string project = "Demo";
    const std::string input(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    while (at < input.size()) {
        const size_t end = std::min(input.find('\n', at), input.size());
        const std::string line = input.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        const std::string path = Expand(line.substr(1), install.string(), outside.string());
        if (line[0] == '=') project = path;
        if (line[0] != '+' && line[0] != '-') continue;
        texts.push_back(path);
        (line[0] == '+' ? files : folders).Add(texts.back().data());
    }
    MemorySaver saver;
    WriteUninstallRecords(saver, files, folders, project.c_str(), false);
    Write(install / kUninstallLogName, saver.bytes);

    RunUninstaller((install / "VtlUnInst.exe").string(), false);

    if (Read(outside / "bait.txt") != "bait" || Read(outside / "Demo.scr") != "not the saver" ||
        !fs::is_directory(outside / "empty"))
        std::abort();
    return 0;
}

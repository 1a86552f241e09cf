// A small project folder on disk with a manifest naming every kind of entry.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fixture {

inline std::vector<uint8_t> Content(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng() % 16 + (rng() % 8 == 0 ? rng() : 0));
    return v;
}

inline const char* kManifest = R"(# demo project
type standard
byte CheckDx8 1
byte RunAfterInstall 0
text InstallPath C:\Program Files\Demo Project
text ProjectName Demo Project
text ShortCutName Vantrel\Demo
level 6

packed VantrelViewer.exe
packed Corvane.dll < engine/Corvane.dll
packed VtlUnInst.exe
compressed VtlStart.vtl
packed channels\FileSaver.dll < engine/core.dll
packed channels\Directory.dll < engine/core.dll
packed channels\FileLoader.dll < engine/core.dll
packed channels\9F9FF213-DED7-599F-80D1-45463E6C473B.dll < engine/core.dll
packed channels\E0B80F4A-499F-5E75-87AD-5C21C81E2772.dll < engine/core.dll
packed channels\4806DF8E-A410-5F04-A297-090D455D9BEE.dll < engine/core.dll
packed channels\491E783E-7E83-5F32-91C6-3823F2BBD53F.dll < engine/core.dll
channel \Channels\048425EF-3B0E-551D-9206-B4160D97F196.dll
channel \Channels\612B6EDB-E73E-59B5-A27B-9884457842A9.dll
library \3rd\ode.dll
file \start.cgr
file \Stage\camera.cgr
)";

struct Project {
    std::filesystem::path root;
    std::filesystem::path folder;
    std::filesystem::path manifest;
    std::filesystem::path image;
    std::filesystem::path installer;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;  // item name, content

    Project() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp ? tmp : "/tmp") + "/projpackXXXXXX";
        root = ::mkdtemp(pattern.data());
        folder = root / "project";
        manifest = root / "demo.manifest";
        image = root / "image.bin";
        installer = root / "demo setup";
        const std::pair<std::string, std::string> layout[] = {
            {"VantrelViewer.exe", "VantrelViewer.exe"},
            {"Corvane.dll", "engine/Corvane.dll"},
            {"VtlUnInst.exe", "VtlUnInst.exe"},
            {"VtlStart.vtl", "VtlStart.vtl"},
            {"channels\\FileSaver.dll", "engine/core.dll"},  // the seven core channels share it
            {"\\Channels\\048425EF-3B0E-551D-9206-B4160D97F196.dll",
             "Channels/048425EF-3B0E-551D-9206-B4160D97F196.dll"},
            {"\\Channels\\612B6EDB-E73E-59B5-A27B-9884457842A9.dll",
             "Channels/612b6edb-e73e-59b5-a27b-9884457842a9.DLL"},  // other case on disk
            {"\\3rd\\ode.dll", "3RD/Ode.dll"},
            {"\\start.cgr", "start.cgr"},
            {"\\Stage\\camera.cgr", "Stage/camera.cgr"},
        };
        uint32_t seed = 1;
        for (const auto& [item, disk] : layout) {
            std::vector<uint8_t> content = Content(1000 * seed, seed);
            Write(folder / disk, content);
            files.emplace_back(item, content);
            ++seed;
        }
        std::ofstream(manifest) << kManifest;
        Write(image, std::vector<uint8_t>(4321, 0xCC));
    }
    ~Project() { std::filesystem::remove_all(root); }

    static void Write(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::vector<uint8_t> Read(const std::filesystem::path& p) const {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

}  // namespace fixture

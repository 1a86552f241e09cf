// The installer's list walk at N and 4N listed entries in the same run: open the package
// (directory read), then for each list position read its "ItemNameID<i>" setting, read the
// entry it names and ask whether it is stored, as the installer does for every project file.
// The counter "scaling_4x" is the time at 4N over the time at N: about 4 for look-ups that
// cost the same at any length, about 16 for look-ups that walk the directory.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "package/package_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

// An installer file of `count` listed project files, each stored empty: the settings come
// first and the files after them, as the package tool writes a FILEINFO list.
class ListedPackage {
public:
    explicit ListedPackage(uint32_t count)
        : path_("/tmp/bench_package_lookup_" + std::to_string(::getpid()) + "_" + std::to_string(count)) {
        std::vector<uint8_t> out(4096, 0x90);  // a program image
        const uint32_t start = uint32_t(out.size());
        auto u32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
        };
        auto name = [&](const std::string& s) {
            u32(uint32_t(s.size() + 1));
            out.insert(out.end(), s.begin(), s.end());
            out.push_back(0);
        };
        const std::string marker = PackageMarker();
        out.insert(out.end(), marker.begin(), marker.end());
        u32(2 * count);
        std::string data;  // the settings' texts, NUL-terminated, in directory order
        for (uint32_t i = 0; i < count; ++i) {
            const std::string item = ItemName(i) + '\0';
            name("FILEINFO");
            name("ItemNameID" + std::to_string(i));
            u32(uint32_t(item.size()));
            u32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(item.data()), uInt(item.size()))));
            data += item;
        }
        for (uint32_t i = 0; i < count; ++i) {
            name("APPDATA");
            name(ItemName(i));
            u32(0);
            u32(0);
        }
        u32(uint32_t(out.size() - start + 4));
        out.insert(out.end(), data.begin(), data.end());
        u32(start);
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    }
    ~ListedPackage() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }
    static std::string ItemName(uint32_t i) { return "\\Files\\empty" + std::to_string(i) + ".txt"; }

private:
    std::string path_;
};

// Seconds for one whole walk of the list; false when an entry was not found as written.
bool WalkList(const ListedPackage& package, uint32_t count, double& seconds) {
    const auto t0 = Clock::now();
    PackageReader reader(package.Path());
    char name[260];
    for (uint32_t i = 0; i < count; ++i) {
        const std::string key = "ItemNameID" + std::to_string(i);
        if (!reader.ReadEntry(key.c_str(), name, sizeof name, "FILEINFO")) return false;
        name[sizeof name - 1] = '\0';
        if (!reader.ReadEntry(name, nullptr, 0, nullptr) || !reader.HasEntry(name, nullptr)) return false;
    }
    seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    return true;
}

void BM_ListLookups(benchmark::State& state) {
    const uint32_t n = uint32_t(state.range(0));
    const ListedPackage small(n), large(4 * n);
    double smallSeconds = 0, largeSeconds = 0;
    for (auto _ : state) {
        if (!WalkList(small, n, smallSeconds) || !WalkList(large, 4 * n, largeSeconds)) {
            state.SkipWithError("a listed entry was not found");
            return;
        }
    }
    const double iterations = double(state.iterations());
    state.counters["N_ms"] = smallSeconds / iterations * 1e3;
    state.counters["4N_ms"] = largeSeconds / iterations * 1e3;
    state.counters["scaling_4x"] = largeSeconds / smallSeconds;  // 4 linear, 16 quadratic
}
BENCHMARK(BM_ListLookups)->Arg(5000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();

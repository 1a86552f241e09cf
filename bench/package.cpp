// The installer's package path against zlib in the same run: the CRC-32 of 64 MiB through the
// installer's own table against zlib's crc32, and extracting a 50 MiB packed entry (read from
// the package file, CRC-checked, inflated) against a bare uncompress of the same stored bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "package/crc32.h"
#include "package/package_reader.h"
#include "package/packed_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Bytes that compress roughly like program files: a vocabulary of short words with some
// noise, about 3:1 with zlib.
std::vector<uint8_t> ProgramLikeBytes(size_t size) {
    std::mt19937 rng(1234);
    std::vector<std::vector<uint8_t>> words(1024);
    for (auto& w : words) {
        w.resize(2 + rng() % 10);
        for (auto& b : w) b = uint8_t(rng());
    }
    std::vector<uint8_t> out;
    out.reserve(size);
    while (out.size() < size) {
        if (rng() % 8 == 0) {
            out.push_back(uint8_t(rng()));
        } else {
            const auto& w = words[(rng() % 1024) * (rng() % 1024) / 1024];  // skewed
            out.insert(out.end(), w.begin(), w.end());
        }
    }
    out.resize(size);
    return out;
}

void BM_Crc32_64MiB(benchmark::State& state) {
    const std::vector<uint8_t> data = ProgramLikeBytes(64u << 20);
    double ours = 0, zlib = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        const Crc32Table table;  // built per read, as the reader does
        benchmark::DoNotOptimize(table.Compute(data.data(), data.size()));
        auto t1 = Clock::now();
        benchmark::DoNotOptimize(crc32(0, data.data(), uInt(data.size())));
        auto t2 = Clock::now();
        ours += Seconds(t0, t1);
        zlib += Seconds(t1, t2);
    }
    const double mib = double(data.size()) / (1 << 20) * double(state.iterations());
    state.counters["table_MiB_per_s"] = mib / ours;
    state.counters["zlib_MiB_per_s"] = mib / zlib;
    state.counters["speed_vs_zlib"] = zlib / ours;  // 1.0 is zlib's speed
}
BENCHMARK(BM_Crc32_64MiB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A package file holding one 50 MiB packed entry between a few settings.
struct PackedPackage {
    std::string path;
    std::vector<uint8_t> stored;
    uint32_t unpackedSize = 50u << 20;

    PackedPackage() {
        stored = PackPackedFile(ProgramLikeBytes(unpackedSize), 6);
        path = "/tmp/bench_package_" + std::to_string(::getpid());
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
        const uint8_t type[4] = {2, 0, 0, 0};
        u32(2);
        name("APPDATA");
        name("PROJECTTYPE");
        u32(4);
        u32(uint32_t(crc32(0, type, 4)));
        name("APPDATA");
        name("CORVANE.DLL");
        u32(uint32_t(stored.size()));
        u32(uint32_t(crc32(0, stored.data(), uInt(stored.size()))));
        u32(uint32_t(out.size() - start + 4));
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), stored.begin(), stored.end());
        u32(start);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    }
    ~PackedPackage() { std::remove(path.c_str()); }
};

void BM_ExtractPacked50MiB(benchmark::State& state) {
    PackedPackage package;
    PackageReader reader(package.path);
    if (reader.GetEntryCount() != 2) {
        state.SkipWithError("package not readable");
        return;
    }
    double extract = 0, bare = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        bool ok = reader.ReadEntry("Corvane.dll", nullptr, 0, nullptr);
        auto unpacked = ok ? UnpackPackedFile({reader.GetData(), reader.GetDataSize()})
                           : std::nullopt;
        if (!unpacked || unpacked->size != package.unpackedSize) {
            state.SkipWithError("extract failed");
            break;
        }
        benchmark::DoNotOptimize(unpacked->data.get());
        unpacked.reset();
        auto t1 = Clock::now();
        std::unique_ptr<uint8_t[]> out(new uint8_t[package.unpackedSize]);
        uLongf length = package.unpackedSize;
        uncompress(out.get(), &length, package.stored.data(), uLong(package.stored.size() - 4));
        benchmark::DoNotOptimize(out.get());
        out.reset();
        auto t2 = Clock::now();
        extract += Seconds(t0, t1);
        bare += Seconds(t1, t2);
    }
    state.counters["packed_MiB"] = double(package.stored.size()) / (1 << 20);
    state.counters["extract_ms"] = extract / double(state.iterations()) * 1e3;
    state.counters["uncompress_ms"] = bare / double(state.iterations()) * 1e3;
    state.counters["overhead_vs_uncompress"] = extract / bare - 1.0;  // 0.10 is 10% slower
}
BENCHMARK(BM_ExtractPacked50MiB)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();

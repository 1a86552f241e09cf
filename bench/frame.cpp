// One frame over a graph of 10,000 float channels, read through the engine's virtual
// operations, against a plain loop over the same values.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "engine_host.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/type_guids.h"

namespace {

constexpr int kChannels = 10000;

struct Scene {
    EngineHost host{CHANNELS_DIR};
    std::vector<Kco_FloatChannel*> channels;
    std::vector<float> plain;
    Scene() {
        for (int i = 0; i < kChannels; ++i) {
            auto* c = host.Create<Kco_FloatChannel>(type_guids::kFloatChannel);
            c->SetFloat(float(i % 97) * 0.25f);
            channels.push_back(c);
            plain.push_back(float(i % 97) * 0.25f);
        }
    }
};

// A frame: start it, call every channel, and sum what a parent would read.
float EngineFrame(Scene& s) {
    s.host.Engine().BeginFrame(1.0f);
    Kel_ChannelGroup& g = s.host.Group();
    float sum = 0.0f;
    for (int i = 0; i < g.GetChannelCount(); ++i) {
        Kel_Channel* c = g.GetChannel(i);
        c->CallChannel();
        sum += static_cast<Kco_FloatChannel*>(c)->GetFloat();
    }
    return sum;
}

float PlainFrame(const std::vector<float>& values) {
    float sum = 0.0f;
    for (float v : values) sum += v;
    return sum;
}

void BM_FrameOverFloatChannels(benchmark::State& state) {
    Scene scene;
    using clock = std::chrono::steady_clock;
    double engineSeconds = 0.0, plainSeconds = 0.0;
    for (auto _ : state) {
        auto t0 = clock::now();
        benchmark::DoNotOptimize(EngineFrame(scene));
        auto t1 = clock::now();
        benchmark::DoNotOptimize(PlainFrame(scene.plain));
        benchmark::ClobberMemory();
        auto t2 = clock::now();
        engineSeconds += std::chrono::duration<double>(t1 - t0).count();
        plainSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["engine_us_per_frame"] = engineSeconds / double(state.iterations()) * 1e6;
    state.counters["plain_us_per_frame"] = plainSeconds / double(state.iterations()) * 1e6;
    state.counters["ratio_engine_to_plain"] = engineSeconds / plainSeconds;
}
BENCHMARK(BM_FrameOverFloatChannels)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

// One frame over 1,000 value operators (half dot products of two vectors, half wrapping
// accumulators) against hand-written loops computing the same values: one reading the
// same input channels, one over plain arrays.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "engine_host.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/siblings/vector_channel.h"
#include "plugin_frame/type_guids.h"
#include "valueop/value_operator.h"

namespace {

constexpr int kOperators = 1000;  // even: half of each kind

struct Accumulator {
    Kco_FloatChannel* low;
    Kco_FloatChannel* high;
    Kco_FloatChannel* step;
    float value = 0.0f;
};

struct Scene {
    EngineHost host{CHANNELS_DIR};
    std::vector<Kco_ValueOperator*> operators;
    // What the hand loops read and keep.
    std::vector<std::pair<Kco_VectorChannel*, Kco_VectorChannel*>> dots;
    std::vector<Accumulator> accumulators;
    std::vector<D3DXVECTOR3> plainVectors;                 // pairs, side by side
    std::vector<float> plainLow, plainHigh, plainStep, plainValue;

    Scene() {
        for (int i = 0; i < kOperators; ++i) {
            auto* op = host.Create<Kco_ValueOperator>(type_guids::kValueOperator);
            operators.push_back(op);
            if (i % 2 == 0) {
                op->SetOperationType(Kco_ValueOperator::kDotProduct);
                D3DXVECTOR3 a(float(i % 7), 1.0f, -0.5f * float(i % 5));
                D3DXVECTOR3 b(0.25f, float(i % 3), 2.0f);
                auto* va = Vector(a);
                auto* vb = Vector(b);
                host.Link(op, va, 0);
                host.Link(op, vb, 0);
                dots.emplace_back(va, vb);
                plainVectors.push_back(a);
                plainVectors.push_back(b);
            } else {
                op->SetOperationType(Kco_ValueOperator::kWrapAccumulator);
                Accumulator acc{Float(0.0f), Float(10.0f), Float(0.1f + 0.01f * float(i % 80))};
                for (Kco_FloatChannel* f : {acc.low, acc.high, acc.step}) host.Link(op, f, 0);
                accumulators.push_back(acc);
                plainLow.push_back(acc.low->GetFloat());
                plainHigh.push_back(acc.high->GetFloat());
                plainStep.push_back(acc.step->GetFloat());
                plainValue.push_back(0.0f);
            }
        }
    }
    Kco_VectorChannel* Vector(const D3DXVECTOR3& v) {
        auto* c = host.Create<Kco_VectorChannel>(type_guids::kVectorChannel);
        c->SetVector(v);
        return c;
    }
    Kco_FloatChannel* Float(float f) {
        auto* c = host.Create<Kco_FloatChannel>(type_guids::kFloatChannel);
        c->SetFloat(f);
        return c;
    }
};

float Wrap(float value, float low, float high, float step) {
    if (!(high - low > 0.0f)) return 0.0f;
    value += step;
    if (value > high) value = value - high + low;
    if (value < low) value = value - low + high;
    return value;
}

// A frame as a host runs it: start it, and let each operator compute once.
float OperatorFrame(Scene& s) {
    s.host.Engine().BeginFrame(1.0f);
    float sum = 0.0f;
    for (Kco_ValueOperator* op : s.operators) sum += op->GetFloat();
    return sum;
}

// The same values written by hand against the same input channels, summed in the same
// order (even operators are dot products, odd ones accumulators).
float ChannelLoopFrame(Scene& s) {
    float sum = 0.0f;
    for (size_t i = 0; i < s.dots.size(); ++i) {
        const D3DXVECTOR3 u = s.dots[i].first->GetVector(), v = s.dots[i].second->GetVector();
        sum += u.x * v.x + u.y * v.y + u.z * v.z;
        Accumulator& acc = s.accumulators[i];
        acc.value = Wrap(acc.value, acc.low->GetFloat(), acc.high->GetFloat(), acc.step->GetFloat());
        sum += acc.value;
    }
    return sum;
}

// The same values from plain arrays: the floor no channel graph can reach.
float PlainFrame(Scene& s) {
    float sum = 0.0f;
    for (size_t i = 0; i < s.plainValue.size(); ++i) {
        const D3DXVECTOR3& u = s.plainVectors[2 * i];
        const D3DXVECTOR3& v = s.plainVectors[2 * i + 1];
        sum += u.x * v.x + u.y * v.y + u.z * v.z;
        s.plainValue[i] = Wrap(s.plainValue[i], s.plainLow[i], s.plainHigh[i], s.plainStep[i]);
        sum += s.plainValue[i];
    }
    return sum;
}

void BM_ValueOperatorFrame(benchmark::State& state) {
    Scene scene;
    using clock = std::chrono::steady_clock;
    double operatorSeconds = 0.0, loopSeconds = 0.0, plainSeconds = 0.0;
    bool operatorsFirst = true;
    for (auto _ : state) {
        // The two share their input channels; whichever runs second finds them in the
        // cache, so the order alternates.
        float measured = 0.0f, byHand = 0.0f;
        auto t0 = clock::now();
        if (operatorsFirst) measured = OperatorFrame(scene);
        else byHand = ChannelLoopFrame(scene);
        auto t1 = clock::now();
        if (operatorsFirst) byHand = ChannelLoopFrame(scene);
        else measured = OperatorFrame(scene);
        auto t2 = clock::now();
        const float plain = PlainFrame(scene);
        auto t3 = clock::now();
        benchmark::DoNotOptimize(measured);
        benchmark::DoNotOptimize(byHand);
        benchmark::DoNotOptimize(plain);
        // All three walk the same states in lock step, so they must agree exactly.
        if (measured != byHand || measured != plain) {
            state.SkipWithError("the operators and the hand loops disagree");
            break;
        }
        const double first = std::chrono::duration<double>(t1 - t0).count();
        const double second = std::chrono::duration<double>(t2 - t1).count();
        operatorSeconds += operatorsFirst ? first : second;
        loopSeconds += operatorsFirst ? second : first;
        plainSeconds += std::chrono::duration<double>(t3 - t2).count();
        operatorsFirst = !operatorsFirst;
    }
    const double n = double(state.iterations());
    state.counters["operators_us_per_frame"] = operatorSeconds / n * 1e6;
    state.counters["hand_loop_us_per_frame"] = loopSeconds / n * 1e6;
    state.counters["plain_us_per_frame"] = plainSeconds / n * 1e6;
    state.counters["ratio_operators_to_hand_loop"] = operatorSeconds / loopSeconds;
    state.counters["ratio_operators_to_plain"] = operatorSeconds / plainSeconds;
}
BENCHMARK(BM_ValueOperatorFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

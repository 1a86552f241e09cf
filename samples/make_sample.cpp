// Writes the sample project: a start file and a channel group of value operators fed by
// float and vector channels, and a box that falls onto a ground plane, whose height a value
// operator measures.
//
//   make_sample <channels folder> <project folder>
//
// The project folder receives "VtlStart.vtl" and "start.cgr".
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <vecmath/d3dx_math.h>

#include "engine_host.h"
#include "physbody/ode_body.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/siblings/vector_channel.h"
#include "plugin_frame/type_guids.h"
#include "start_file.h"
#include "valueop/value_operator.h"

namespace {

Kco_FloatChannel* Number(EngineHost& host, const char* name, float value) {
    auto* f = host.Create<Kco_FloatChannel>(type_guids::kFloatChannel, name);
    if (f) f->SetFloat(value);
    return f;
}

Kco_ValueOperator* Operator(EngineHost& host, const char* name, int operation) {
    auto* op = host.Create<Kco_ValueOperator>(type_guids::kValueOperator, name);
    if (op) op->SetOperationType(operation);
    return op;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_sample <channels folder> <project folder>\n");
        return 2;
    }
    const std::filesystem::path out = argv[2];
    std::filesystem::create_directories(out);

    EngineHost host(argv[1]);
    // counter: a clamped accumulator counting frames from 0 up to 100.
    auto* counter = Operator(host, "counter", 10);
    auto* low = Number(host, "low", 0.0f);
    auto* high = Number(host, "high", 100.0f);
    auto* step = Number(host, "step", 1.0f);
    // wrap: the same inputs with a step of 3, wrapping within 0 to 10.
    auto* wrap = Operator(host, "wrap", 9);
    auto* wrapHigh = Number(host, "wrap high", 10.0f);
    auto* wrapStep = Number(host, "wrap step", 3.0f);
    // dot: (1, 2, 3) . (4, 5, 6) = 32.
    auto* dot = Operator(host, "dot", 0);
    auto* a = host.Create<Kco_VectorChannel>(type_guids::kVectorChannel, "a");
    auto* b = host.Create<Kco_VectorChannel>(type_guids::kVectorChannel, "b");
    // height: the distance between a falling box and the origin; it comes to rest half the
    // box's size above the ground plane.
    auto* ground = host.Create<Kco_ODE_BodyCollision>(type_guids::kPhysicsBody, "ground");
    auto* box = host.Create<Kco_ODE_BodyCollision>(type_guids::kPhysicsBody, "box");
    auto* boxStart = host.Create<Kco_MatrixChannel>(type_guids::kMatrixChannel, "box start");
    auto* origin = host.Create<Kco_MatrixChannel>(type_guids::kMatrixChannel, "origin");
    auto* height = Operator(host, "height", 8);
    if (!counter || !low || !high || !step || !wrap || !wrapHigh || !wrapStep || !dot || !a || !b || !ground ||
        !box || !boxStart || !origin || !height) {
        std::fprintf(stderr, "make_sample: channel libraries missing in %s\n", argv[1]);
        for (const std::string& m : host.Engine().GetDebugMessages()) std::fprintf(stderr, "  %s\n", m.c_str());
        return 1;
    }
    a->SetVector({1, 2, 3});
    b->SetVector({4, 5, 6});
    ODE_GeometryItem plane;
    plane.kind = ODE_GeometryItem::kPlane;
    ground->SetGeometryItem(plane, 0);
    D3DXMATRIX at;
    D3DXMatrixTranslation(&at, 0.0f, 3.0f, 0.0f);
    boxStart->SetMatrix(at);
    bool linked = host.Link(box, boxStart, 0) && host.Link(height, box, 0) && host.Link(height, origin, 0) &&
                  host.Link(counter, low, 0) && host.Link(counter, high, 0) && host.Link(counter, step, 0) &&
                  host.Link(wrap, low, 0) && host.Link(wrap, wrapHigh, 0) && host.Link(wrap, wrapStep, 0) &&
                  host.Link(dot, a, 0) && host.Link(dot, b, 0);
    if (!linked || !host.Save((out / "start.cgr").string())) {
        std::fprintf(stderr, "make_sample: can't write %s\n", (out / "start.cgr").c_str());
        return 1;
    }

    std::vector<uint8_t> start = WriteStartFile({"\\start.cgr", 250, 1.0f});
    std::ofstream file(out / "VtlStart.vtl", std::ios::binary);
    file.write(reinterpret_cast<const char*>(start.data()), std::streamsize(start.size()));
    if (!file) {
        std::fprintf(stderr, "make_sample: can't write VtlStart.vtl\n");
        return 1;
    }
    std::printf("sample project written to %s\n", out.c_str());
    return 0;
}

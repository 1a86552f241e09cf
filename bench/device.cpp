// One frame of a 65,536-triangle mesh at 640x480 with depth and a two-sided stencil pass
// (two passes, opposite culling, increment and decrement), drawn through the Direct3D 8
// device and through the same OpenGL calls made directly, each in its own off-screen
// context, in the same run.
#include <benchmark/benchmark.h>

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

constexpr UINT kWidth = 640, kHeight = 480;
constexpr int kSlices = 256, kStacks = 128;  // 2 x 256 x 128 = 65,536 triangles

struct Vertex {  // D3DFVF_XYZ | D3DFVF_NORMAL
    float x, y, z, nx, ny, nz;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL;

struct Sphere {
    std::vector<Vertex> vertices;
    std::vector<WORD> indices;
    Sphere() {
        for (int j = 0; j <= kStacks; ++j)
            for (int i = 0; i <= kSlices; ++i) {
                const float theta = 3.14159265f * float(j) / kStacks;
                const float phi = 2.0f * 3.14159265f * float(i) / kSlices;
                const float x = std::sin(theta) * std::cos(phi), y = std::cos(theta),
                            z = std::sin(theta) * std::sin(phi);
                vertices.push_back({x, y, z, x, y, z});
            }
        for (int j = 0; j < kStacks; ++j)
            for (int i = 0; i < kSlices; ++i) {
                const auto a = WORD(j * (kSlices + 1) + i), b = WORD(a + 1),
                           c = WORD(a + kSlices + 1), d = WORD(c + 1);
                indices.insert(indices.end(), {a, b, c, b, d, c});
            }
    }
    UINT Triangles() const { return UINT(indices.size() / 3); }
};

struct Matrices {
    D3DXMATRIX world, view, projection, shadowWorld;
    Matrices() {
        D3DXMatrixIdentity(&world);
        D3DXMatrixTranslation(&view, 0.0f, 0.0f, 3.5f);
        D3DXMatrixPerspectiveFovLH(&projection, 0.8f, float(kWidth) / kHeight, 0.5f, 20.0f);
        D3DXMatrixTranslation(&shadowWorld, 0.3f, -0.2f, -0.1f);  // the "volume" pass
    }
};

// ---- Through the device ----

struct DeviceScene {
    IDirect3DDevice8 device{kWidth, kHeight};
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    Matrices m;
    UINT vertexCount = 0, triangles = 0;

    explicit DeviceScene(const Sphere& s) {
        if (!device.HasGL()) throw std::runtime_error("no off-screen GL context");
        vertexCount = UINT(s.vertices.size());
        triangles = s.Triangles();
        BYTE* p = nullptr;
        device.CreateVertexBuffer(vertexCount * sizeof(Vertex), D3DUSAGE_WRITEONLY, kFvf,
                                  D3DPOOL_MANAGED, &vb);
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, s.vertices.data(), vertexCount * sizeof(Vertex));
        vb->Unlock();
        device.CreateIndexBuffer(UINT(s.indices.size() * 2), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                 D3DPOOL_MANAGED, &ib);
        ib->Lock(0, 0, &p, 0);
        std::memcpy(p, s.indices.data(), s.indices.size() * 2);
        ib->Unlock();
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1, 1, 1, 1};
        light.Direction = {0.3f, -0.5f, 0.8f};
        device.SetLight(0, &light);
        device.LightEnable(0, TRUE);
        D3DMATERIAL8 material{};
        material.Diffuse = {0.8f, 0.7f, 0.6f, 1.0f};
        material.Ambient = {0.2f, 0.2f, 0.2f, 1.0f};
        device.SetMaterial(&material);
        device.SetRenderState(D3DRS_AMBIENT, 0xFF303030);
    }
    ~DeviceScene() {
        vb->Release();
        ib->Release();
    }

    void Frame() {
        IDirect3DDevice8& d = device;
        d.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF202040,
                1.0f, 0);
        d.BeginScene();
        d.SetVertexShader(kFvf);
        d.SetStreamSource(0, vb, sizeof(Vertex));
        d.SetIndices(ib, 0);
        // Lit, depth-tested mesh.
        d.SetRenderState(D3DRS_LIGHTING, TRUE);
        d.SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        d.SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
        d.SetRenderState(D3DRS_STENCILENABLE, FALSE);
        d.SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        d.SetTransform(D3DTS_WORLD, &m.world);
        d.SetTransform(D3DTS_VIEW, &m.view);
        d.SetTransform(D3DTS_PROJECTION, &m.projection);
        d.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexCount, 0, triangles);
        // Two-sided stencil, depth-pass: front faces increment, back faces decrement.
        d.SetTransform(D3DTS_WORLD, &m.shadowWorld);
        d.SetRenderState(D3DRS_LIGHTING, FALSE);
        d.SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        d.SetRenderState(D3DRS_COLORWRITEENABLE, 0);
        d.SetRenderState(D3DRS_STENCILENABLE, TRUE);
        d.SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
        d.SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
        d.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexCount, 0, triangles);
        d.SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
        d.SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_DECR);
        d.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexCount, 0, triangles);
        d.EndScene();
        d.Present(nullptr, nullptr, nullptr, nullptr);
    }
};

// ---- The same GL calls, made directly ----

struct DirectScene {
    OSMesaContext context = nullptr;
    std::vector<std::uint32_t> colour = std::vector<std::uint32_t>(kWidth * kHeight);
    GLuint buffers[2] = {};
    Matrices m;
    GLsizei indexCount = 0;

    // Row-vector matrices read column-major are GL's; the projection gets the half-pixel
    // shift and 0..1 depth as the device maps them (drawn upside down, as off-screen).
    static D3DXMATRIX ToGL(const D3DMATRIX& p) {
        D3DXMATRIX r(p);
        for (int i = 0; i < 4; ++i) {
            r.m[i][0] = p.m[i][0] + p.m[i][3] / kWidth;
            r.m[i][1] = -p.m[i][1] + p.m[i][3] / kHeight;
            r.m[i][2] = 2.0f * p.m[i][2] - p.m[i][3];
        }
        return r;
    }

    explicit DirectScene(const Sphere& s) {
        const int attributes[] = {OSMESA_FORMAT,  OSMESA_RGBA,           OSMESA_DEPTH_BITS, 24,
                                  OSMESA_STENCIL_BITS, 8, OSMESA_PROFILE, OSMESA_COMPAT_PROFILE, 0};
        context = OSMesaCreateContextAttribs(attributes, nullptr);
        if (!context) throw std::runtime_error("no off-screen GL context");
        MakeCurrent();
        indexCount = GLsizei(s.indices.size());
        glGenBuffers(2, buffers);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(s.vertices.size() * sizeof(Vertex)),
                     s.vertices.data(), GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(s.indices.size() * 2), s.indices.data(),
                     GL_STATIC_DRAW);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), nullptr);
        glNormalPointer(GL_FLOAT, sizeof(Vertex), reinterpret_cast<void*>(12));
        glFrontFace(GL_CCW);
        glDisable(GL_DITHER);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glEnable(GL_CULL_FACE);
        glViewport(0, 0, kWidth, kHeight);
        glMatrixMode(GL_PROJECTION);
        const D3DXMATRIX projection = ToGL(m.projection);
        glLoadMatrixf(&projection.m[0][0]);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(&m.view.m[0][0]);
        const float towards[4] = {-0.3f, 0.5f, -0.8f, 0.0f}, white[4] = {1, 1, 1, 1};
        glLightfv(GL_LIGHT0, GL_POSITION, towards);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        const float none[4] = {0, 0, 0, 0};
        glLightfv(GL_LIGHT0, GL_SPECULAR, none);  // no specular, as the device's default
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
        glEnable(GL_LIGHT0);
        const float diffuse[4] = {0.8f, 0.7f, 0.6f, 1}, ambient[4] = {0.2f, 0.2f, 0.2f, 1};
        const float global[4] = {48 / 255.0f, 48 / 255.0f, 48 / 255.0f, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
        glStencilFunc(GL_ALWAYS, 0, 0xFF);
    }
    ~DirectScene() {
        MakeCurrent();
        glDeleteBuffers(2, buffers);
        OSMesaDestroyContext(context);
    }
    void MakeCurrent() {
        OSMesaMakeCurrent(context, colour.data(), GL_UNSIGNED_BYTE, kWidth, kHeight);
    }

    void Frame() {
        if (OSMesaGetCurrentContext() != context) MakeCurrent();
        glClearColor(0x20 / 255.0f, 0x20 / 255.0f, 0x40 / 255.0f, 1.0f);
        glClearDepth(1.0);
        glClearStencil(0);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        glStencilMask(0xFF);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glEnable(GL_LIGHTING);
        glDisable(GL_STENCIL_TEST);
        glCullFace(GL_BACK);
        D3DXMATRIX modelView = m.world * m.view;
        glLoadMatrixf(&modelView.m[0][0]);
        glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_SHORT, nullptr);
        modelView = m.shadowWorld * m.view;
        glLoadMatrixf(&modelView.m[0][0]);
        glDisable(GL_LIGHTING);
        glDepthMask(GL_FALSE);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
        glEnable(GL_STENCIL_TEST);
        glStencilOp(GL_KEEP, GL_KEEP, GL_INCR_WRAP);
        glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_SHORT, nullptr);
        glCullFace(GL_FRONT);
        glStencilOp(GL_KEEP, GL_KEEP, GL_DECR_WRAP);
        glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_SHORT, nullptr);
        glFinish();
    }
};

void BM_DeviceFrameAgainstDirectGL(benchmark::State& state) {
    const Sphere sphere;
    // Which of two Mesa contexts was made first was seen to change its speed by 10-15%, so
    // the benchmark runs once in each order: argument 0 makes the device's context first.
    std::optional<DeviceScene> deviceScene;
    std::optional<DirectScene> directScene;
    if (state.range(0) == 0) {
        deviceScene.emplace(sphere);
        directScene.emplace(sphere);
    } else {
        directScene.emplace(sphere);
        deviceScene.emplace(sphere);
    }
    DeviceScene& device = *deviceScene;
    DirectScene& direct = *directScene;
    using clock = std::chrono::steady_clock;
    double deviceSeconds = 0.0, directSeconds = 0.0;
    bool deviceFirst = true;  // alternated, so that neither always runs on a warm cache
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const bool deviceNow = (k == 0) == deviceFirst;
            const auto t0 = clock::now();
            if (deviceNow)
                device.Frame();
            else
                direct.Frame();
            const double seconds = std::chrono::duration<double>(clock::now() - t0).count();
            (deviceNow ? deviceSeconds : directSeconds) += seconds;
        }
        deviceFirst = !deviceFirst;
    }
    // Both must have drawn the same picture for the comparison to mean anything.
    std::vector<D3DCOLOR> fromDevice;
    device.device.ReadBackColor(fromDevice);
    direct.MakeCurrent();
    std::vector<D3DCOLOR> fromDirect(kWidth * kHeight);
    glReadPixels(0, 0, kWidth, kHeight, GL_BGRA, GL_UNSIGNED_BYTE, fromDirect.data());
    double differing = 0;
    for (std::size_t i = 0; i < fromDevice.size(); ++i) differing += fromDevice[i] != fromDirect[i];
    std::vector<BYTE> stencil;
    device.device.ReadBackStencil(stencil);
    double stencilled = 0;
    for (BYTE s : stencil) stencilled += s != 0;
    state.counters["pixels_differing"] = differing;
    state.counters["pixels_stencilled"] = stencilled;
    state.counters["triangles"] = sphere.Triangles();
    state.counters["device_ms_per_frame"] = deviceSeconds / double(state.iterations()) * 1e3;
    state.counters["direct_ms_per_frame"] = directSeconds / double(state.iterations()) * 1e3;
    state.counters["ratio_device_to_direct"] = deviceSeconds / directSeconds;
}
BENCHMARK(BM_DeviceFrameAgainstDirectGL)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();

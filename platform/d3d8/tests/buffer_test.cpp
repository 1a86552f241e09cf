#include "test_frame.h"

#include <cstring>

using namespace d3d8_test;

TEST(DeviceBuffers, LockRangesAndFailures) {
    IDirect3DDevice8 device(4, 4);
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device.CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &vb), D3D_OK);
    ASSERT_EQ(
        device.CreateIndexBuffer(64, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib),
        D3D_OK);
    struct Case {
        UINT offset, size;
        int at;  // byte the pointer lands on, -1 for a refused lock
    };
    const Case cases[] = {
        {0, 0, 0},       // whole buffer
        {0, 64, 0},
        {16, 0, 16},     // from 16 to the end
        {16, 48, 16},
        {60, 8, -1},     // past the end
        {64, 0, -1},     // nothing left to lock
        {70, 0, -1},
        {0xFFFFFFF0u, 0x20, -1},  // offset plus size wraps in 32 bits
    };
    for (int kind = 0; kind < 2; ++kind) {
        auto lock = [&](UINT offset, UINT size, BYTE** out) {
            return kind == 0 ? vb->Lock(offset, size, out, 0) : ib->Lock(offset, size, out, 0);
        };
        auto unlock = [&] { return kind == 0 ? vb->Unlock() : ib->Unlock(); };
        BYTE* base = nullptr;
        ASSERT_EQ(lock(0, 0, &base), D3D_OK);
        ASSERT_NE(base, nullptr);
        // A second lock before Unlock is refused and says so.
        BYTE* again = base;
        EXPECT_EQ(lock(0, 0, &again), D3DERR_INVALIDCALL);
        EXPECT_EQ(again, nullptr);
        ASSERT_EQ(unlock(), D3D_OK);
        EXPECT_EQ(unlock(), D3DERR_INVALIDCALL);
        for (const Case& c : cases) {
            BYTE* p = base;
            const HRESULT hr = lock(c.offset, c.size, &p);
            SCOPED_TRACE(testing::Message() << (kind ? "index" : "vertex") << " offset "
                                            << c.offset << " size " << c.size);
            if (c.at < 0) {
                EXPECT_EQ(hr, D3DERR_INVALIDCALL);
                EXPECT_EQ(p, nullptr);
                continue;
            }
            ASSERT_EQ(hr, D3D_OK);
            EXPECT_EQ(p, base + c.at);
            EXPECT_EQ(unlock(), D3D_OK);
        }
        EXPECT_EQ(lock(0, 0, nullptr), D3DERR_INVALIDCALL);
    }
    D3DVERTEXBUFFER_DESC vd{};
    ASSERT_EQ(vb->GetDesc(&vd), D3D_OK);
    EXPECT_EQ(vd.Size, 64u);
    EXPECT_EQ(vd.Usage, D3DUSAGE_WRITEONLY);
    D3DINDEXBUFFER_DESC id{};
    ASSERT_EQ(ib->GetDesc(&id), D3D_OK);
    EXPECT_EQ(id.Format, D3DFMT_INDEX16);
    EXPECT_EQ(id.Pool, D3DPOOL_MANAGED);
    vb->Release();
    ib->Release();

    // Creation refuses what it cannot make.
    IDirect3DVertexBuffer8* none = vb;
    EXPECT_EQ(device.CreateVertexBuffer(0, 0, 0, D3DPOOL_DEFAULT, &none), D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(device.CreateVertexBuffer(8, 0, D3DFVF_XYZ | D3DFVF_TEX1, D3DPOOL_DEFAULT, &none),
              D3DERR_INVALIDCALL);  // smaller than one 20-byte vertex
    EXPECT_EQ(device.CreateVertexBuffer(1u << 30, 0, 0, D3DPOOL_DEFAULT, &none),
              D3DERR_OUTOFVIDEOMEMORY);
    IDirect3DIndexBuffer8* noIndices = nullptr;
    EXPECT_EQ(device.CreateIndexBuffer(2, 0, D3DFMT_INDEX32, D3DPOOL_DEFAULT, &noIndices),
              D3DERR_INVALIDCALL);  // smaller than one 32-bit index
    EXPECT_EQ(device.CreateIndexBuffer(64, 0, D3DFMT_D24S8, D3DPOOL_DEFAULT, &noIndices),
              D3DERR_INVALIDCALL);
}

TEST(DeviceBuffers, ReferencesHeldByCallersAndTheDevice) {
    IDirect3DIndexBuffer8* survivor = nullptr;
    {
        IDirect3DDevice8 device(4, 4);
        IDirect3DVertexBuffer8* vb = nullptr;
        ASSERT_EQ(device.CreateVertexBuffer(60, 0, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vb), D3D_OK);
        EXPECT_EQ(vb->AddRef(), 2u);
        EXPECT_EQ(vb->Release(), 1u);
        ASSERT_EQ(device.SetStreamSource(0, vb, 12), D3D_OK);  // the device holds one
        EXPECT_EQ(device.SetStreamSource(0, vb, 12), D3D_OK);  // rebinding takes no other
        EXPECT_EQ(vb->Release(), 1u);                            // the creator lets go
        IDirect3DVertexBuffer8* got = nullptr;
        UINT stride = 0;
        ASSERT_EQ(device.GetStreamSource(0, &got, &stride), D3D_OK);
        EXPECT_EQ(got, vb);
        EXPECT_EQ(stride, 12u);
        EXPECT_EQ(got->Release(), 1u);  // Get added one for its caller
        EXPECT_EQ(device.SetStreamSource(16, vb, 12), D3DERR_INVALIDCALL);
        ASSERT_EQ(device.SetStreamSource(0, nullptr, 0), D3D_OK);  // frees the buffer

        ASSERT_EQ(device.CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &survivor),
                  D3D_OK);
        ASSERT_EQ(device.SetIndices(survivor, 3), D3D_OK);
        IDirect3DIndexBuffer8* gotIndices = nullptr;
        UINT base = 0;
        ASSERT_EQ(device.GetIndices(&gotIndices, &base), D3D_OK);
        EXPECT_EQ(base, 3u);
        EXPECT_EQ(gotIndices->Release(), 2u);
        BYTE* bytes = nullptr;
        ASSERT_EQ(survivor->Lock(0, 0, &bytes, 0), D3D_OK);
        bytes[0] = 7;
        ASSERT_EQ(survivor->Unlock(), D3D_OK);
        // A buffer of another device is not bound.
        IDirect3DDevice8 other(4, 4);
        EXPECT_EQ(other.SetIndices(survivor, 0), D3DERR_INVALIDCALL);
    }
    // The device is gone and has dropped its reference; the buffer still holds its bytes.
    BYTE* bytes = nullptr;
    ASSERT_EQ(survivor->Lock(0, 0, &bytes, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(bytes[0], 7);
    EXPECT_EQ(survivor->Unlock(), D3D_OK);
    EXPECT_EQ(survivor->Release(), 0u);
}

namespace {

// Two triangles side by side, the left half and the right half of an 8x4 target.
void WriteTwoTriangles(BYTE* bytes, D3DCOLOR left, D3DCOLOR right) {
    const ColourVertex v[6] = {{-1, 1, 0.5f, left},   {0, 1, 0.5f, left},   {-1, -1, 0.5f, left},
                               {0, -1, 0.5f, right},  {0, 1, 0.5f, right},  {1, -1, 0.5f, right}};
    std::memcpy(bytes, v, sizeof v);
}

}  // namespace

// What a lock writes is what is drawn: whole locks, partial locks, index buffers with a base
// vertex and strips, and draws reaching past a buffer are refused instead of reading beyond it.
TEST(DeviceBuffers, LockedBytesAreWhatIsDrawn) {
    IDirect3DDevice8 device(8, 4);
    Unlit(device);
    device.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device.CreateVertexBuffer(12 * sizeof(ColourVertex), D3DUSAGE_WRITEONLY, kColourFvf,
                                        D3DPOOL_DEFAULT, &vb),
              D3D_OK);
    BYTE* bytes = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &bytes, 0), D3D_OK);
    WriteTwoTriangles(bytes, 0xFFFF0000, 0xFF0000FF);
    WriteTwoTriangles(bytes + 6 * sizeof(ColourVertex), 0xFF00FF00, 0xFFFFFF00);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    device.SetVertexShader(kColourFvf);
    ASSERT_EQ(device.SetStreamSource(0, vb, sizeof(ColourVertex)), D3D_OK);

    auto frame = [&](auto draw) {
        device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        EXPECT_EQ(draw(), D3D_OK);
        const std::vector<D3DCOLOR> c = Colours(device);
        // Pixel (1, 1) lies in the left triangle, (5, 3) in the right one.
        return std::pair{Rgb(c[1 * 8 + 1]), Rgb(c[3 * 8 + 5])};
    };
    using Pair = std::pair<D3DCOLOR, D3DCOLOR>;
    EXPECT_EQ(frame([&] { return device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2); }),
              Pair(0xFF0000, 0x0000FF));
    EXPECT_EQ(frame([&] { return device.DrawPrimitive(D3DPT_TRIANGLELIST, 6, 2); }),
              Pair(0x00FF00, 0xFFFF00));

    // Only the right triangle's three vertices are locked and changed.
    ASSERT_EQ(vb->Lock(3 * sizeof(ColourVertex), 3 * sizeof(ColourVertex), &bytes, 0), D3D_OK);
    for (int i = 0; i < 3; ++i)
        reinterpret_cast<ColourVertex*>(bytes)[i].colour = 0xFF00FFFF;
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(frame([&] { return device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2); }),
              Pair(0xFF0000, 0x00FFFF));

    // Indices 0..5 with base vertex 6 draw the second set; a strip over four of them.
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(
        device.CreateIndexBuffer(16, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib),
        D3D_OK);
    ASSERT_EQ(ib->Lock(0, 0, &bytes, 0), D3D_OK);
    const WORD indices[8] = {0, 1, 2, 3, 4, 5, 2, 0};
    std::memcpy(bytes, indices, sizeof indices);
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    ASSERT_EQ(device.SetIndices(ib, 6), D3D_OK);
    EXPECT_EQ(frame([&] { return device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 6, 0, 2); }),
              Pair(0x00FF00, 0xFFFF00));
    ASSERT_EQ(device.SetIndices(ib, 0), D3D_OK);
    EXPECT_EQ(frame([&] { return device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 6, 3, 1); }),
              Pair(0, 0x00FFFF));  // start index 3: the right triangle alone
    // Strip over indices 0..3: the left triangle, then (1, 2, 3) between the two.
    EXPECT_EQ(
        frame([&] { return device.DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 4, 0, 2); }).first,
        0xFF0000u);

    // Reaching past the buffers draws nothing and says so.
    EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 7, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 6, 6, 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(device.SetIndices(ib, 7), D3D_OK);  // index 5 + 7 = vertex 12 of 0..11
    EXPECT_EQ(device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 6, 0, 2), D3DERR_INVALIDCALL);
    // Index 5 is the largest, but the first triangle alone stays inside.
    EXPECT_EQ(device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK);
    // A locked buffer cannot be drawn from.
    ASSERT_EQ(vb->Lock(0, 0, &bytes, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL);
    vb->Unlock();
    // Nor without a vertex format that matches the stride.
    device.SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
    EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL);
    vb->Release();
    ib->Release();
}

// 32-bit indices reach vertices past 65535, the device says so in its caps, and an index
// past the vertex buffer is still refused.
TEST(DeviceBuffers, ThirtyTwoBitIndicesReachPastSixteenBits) {
    IDirect3DDevice8 device(8, 4);
    D3DCAPS8 caps{};
    ASSERT_EQ(device.GetDeviceCaps(&caps), D3D_OK);
    EXPECT_GT(caps.MaxVertexIndex, 0xFFFFu);
    Unlit(device);
    device.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    constexpr UINT kFirst = 70000;  // the two triangles sit past 16 bits
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device.CreateVertexBuffer((kFirst + 6) * sizeof(ColourVertex), D3DUSAGE_WRITEONLY,
                                        kColourFvf, D3DPOOL_DEFAULT, &vb),
              D3D_OK);
    BYTE* bytes = nullptr;
    ASSERT_EQ(vb->Lock(kFirst * sizeof(ColourVertex), 6 * sizeof(ColourVertex), &bytes, 0), D3D_OK);
    WriteTwoTriangles(bytes, 0xFF00FF00, 0xFFFFFF00);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    device.SetVertexShader(kColourFvf);
    ASSERT_EQ(device.SetStreamSource(0, vb, sizeof(ColourVertex)), D3D_OK);

    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device.CreateIndexBuffer(7 * 4, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_DEFAULT, &ib),
              D3D_OK);
    D3DINDEXBUFFER_DESC desc{};
    ASSERT_EQ(ib->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
    ASSERT_EQ(ib->Lock(0, 0, &bytes, 0), D3D_OK);
    const DWORD indices[7] = {kFirst, kFirst + 1, kFirst + 2, kFirst + 3, kFirst + 4, kFirst + 5, kFirst + 6};
    std::memcpy(bytes, indices, sizeof indices);
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    ASSERT_EQ(device.SetIndices(ib, 0), D3D_OK);
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    ASSERT_EQ(device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kFirst, 6, 0, 2), D3D_OK);
    const std::vector<D3DCOLOR> c = Colours(device);
    EXPECT_EQ(Rgb(c[1 * 8 + 1]), 0x00FF00u);
    EXPECT_EQ(Rgb(c[3 * 8 + 5]), 0xFFFF00u);
    // The last index (kFirst + 6) names no vertex: a draw that reads it is refused, one that
    // stops before it is not.
    EXPECT_EQ(device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kFirst, 6, 1, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, kFirst, 6, 3, 1), D3D_OK);
    vb->Release();
    ib->Release();
}

// Vertices and indices from the caller's memory; afterwards stream 0 and the indices are
// unbound, and an index past the vertices the caller named is refused.
TEST(DeviceBuffers, DrawsFromCallersMemory) {
    IDirect3DDevice8 device(8, 4);
    Unlit(device);
    device.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(device.CreateVertexBuffer(64, 0, 0, D3DPOOL_DEFAULT, &vb), D3D_OK);
    ASSERT_EQ(device.CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib), D3D_OK);
    device.SetStreamSource(0, vb, 16);
    device.SetIndices(ib, 0);

    BYTE vertices[6 * sizeof(ColourVertex)];
    WriteTwoTriangles(vertices, 0xFFFF0000, 0xFF0000FF);
    const WORD indices[3] = {3, 4, 5};  // the right triangle
    device.SetVertexShader(kColourFvf);
    device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    ASSERT_EQ(device.DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 6, 1, indices, D3DFMT_INDEX16,
                                            vertices, sizeof(ColourVertex)),
              D3D_OK);
    const std::vector<D3DCOLOR> c = Colours(device);
    EXPECT_EQ(Rgb(c[1 * 8 + 1]), 0u);
    EXPECT_EQ(Rgb(c[3 * 8 + 5]), 0x0000FFu);

    IDirect3DVertexBuffer8* bound = vb;
    UINT stride = 1, base = 1;
    device.GetStreamSource(0, &bound, &stride);
    EXPECT_EQ(bound, nullptr);
    IDirect3DIndexBuffer8* boundIndices = ib;
    device.GetIndices(&boundIndices, &base);
    EXPECT_EQ(boundIndices, nullptr);
    EXPECT_EQ(vb->Release(), 0u);  // the device let go of its references
    EXPECT_EQ(ib->Release(), 0u);

    EXPECT_EQ(device.DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 5, 1, indices, D3DFMT_INDEX16,
                                            vertices, sizeof(ColourVertex)),
              D3DERR_INVALIDCALL);  // index 5 with only vertices 0..4 named
}

#include <d3d8/d3d8.h>

#include <vecmath/d3dx_math.h>

#include <gtest/gtest.h>

#include <limits>

namespace {

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    return *D3DXMatrixTranslation(&m, x, y, z);
}

D3DXMATRIX Read(IDirect3DDevice8& device, D3DTRANSFORMSTATETYPE state) {
    D3DXMATRIX m(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    EXPECT_EQ(device.GetTransform(state, &m), D3D_OK) << "state " << state;
    return m;
}

}  // namespace

TEST(DeviceTransforms, IdentityUntilSetThenKeptPerState) {
    IDirect3DDevice8 device;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    for (D3DTRANSFORMSTATETYPE state :
         {D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE0, D3DTS_TEXTURE7, D3DTS_WORLD,
          D3DTS_WORLDMATRIX(255)})
        EXPECT_TRUE(Read(device, state) == identity) << "state " << state;

    const D3DXMATRIX view = Translation(1, 0, 0), projection = Translation(2, 0, 0),
                     world = Translation(3, 0, 0), world3 = Translation(4, 0, 0),
                     texture5 = Translation(5, 0, 0);
    EXPECT_EQ(device.SetTransform(D3DTS_VIEW, &view), D3D_OK);
    EXPECT_EQ(device.SetTransform(D3DTS_PROJECTION, &projection), D3D_OK);
    EXPECT_EQ(device.SetTransform(D3DTS_WORLD, &world), D3D_OK);
    EXPECT_EQ(device.SetTransform(D3DTS_WORLDMATRIX(3), &world3), D3D_OK);
    EXPECT_EQ(device.SetTransform(D3DTS_TEXTURE5, &texture5), D3D_OK);

    EXPECT_TRUE(Read(device, D3DTS_VIEW) == view);
    EXPECT_TRUE(Read(device, D3DTS_PROJECTION) == projection);
    EXPECT_TRUE(Read(device, D3DTS_WORLD) == world);
    EXPECT_TRUE(Read(device, D3DTS_WORLD3) == world3);
    EXPECT_TRUE(Read(device, D3DTS_TEXTURE5) == texture5);
    EXPECT_TRUE(Read(device, D3DTS_WORLD1) == identity);
    EXPECT_TRUE(Read(device, D3DTS_TEXTURE4) == identity);
}

TEST(DeviceTransforms, InvalidStateAndNullMatrixRejected) {
    IDirect3DDevice8 device;
    const D3DXMATRIX m = Translation(1, 2, 3);
    D3DXMATRIX out;
    for (DWORD raw : {0u, 1u, 4u, 15u, 24u, 255u, 512u, 0xFFFFFFFFu}) {
        const auto state = static_cast<D3DTRANSFORMSTATETYPE>(raw);
        EXPECT_EQ(device.SetTransform(state, &m), D3DERR_INVALIDCALL) << "state " << raw;
        EXPECT_EQ(device.GetTransform(state, &out), D3DERR_INVALIDCALL) << "state " << raw;
    }
    EXPECT_EQ(device.SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device.GetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
}

TEST(DeviceRenderStates, DefaultsSetAndRange) {
    IDirect3DDevice8 device;
    DWORD value = 12345;
    ASSERT_EQ(device.GetRenderState(D3DRS_ZENABLE, &value), D3D_OK);
    EXPECT_EQ(value, 1u);
    device.GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, DWORD{D3DCULL_CCW});
    device.GetRenderState(D3DRS_STENCILENABLE, &value);
    EXPECT_EQ(value, 0u);
    device.GetRenderState(D3DRS_STENCILWRITEMASK, &value);
    EXPECT_EQ(value, 0xFFFFFFFFu);

    EXPECT_EQ(device.SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR), D3D_OK);
    EXPECT_EQ(device.SetRenderState(D3DRS_STENCILENABLE, 1), D3D_OK);
    device.GetRenderState(D3DRS_STENCILPASS, &value);
    EXPECT_EQ(value, DWORD{D3DSTENCILOP_INCR});
    device.GetRenderState(D3DRS_STENCILZFAIL, &value);
    EXPECT_EQ(value, DWORD{D3DSTENCILOP_KEEP});

    const auto outOfRange = static_cast<D3DRENDERSTATETYPE>(256);
    EXPECT_EQ(device.SetRenderState(outOfRange, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device.GetRenderState(outOfRange, &value), D3DERR_INVALIDCALL);
    EXPECT_EQ(device.GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);
}

TEST(DeviceViewport, CoversTargetByDefaultAndRefusesRectanglesOutsideIt) {
    IDirect3DDevice8 device(320, 200);
    D3DVIEWPORT8 vp{};
    ASSERT_EQ(device.GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Y, 0u);
    EXPECT_EQ(vp.Width, 320u);
    EXPECT_EQ(vp.Height, 200u);
    EXPECT_EQ(vp.MinZ, 0.0f);
    EXPECT_EQ(vp.MaxZ, 1.0f);

    const D3DVIEWPORT8 inner{20, 10, 300, 190, 0.25f, 0.75f};
    ASSERT_EQ(device.SetViewport(&inner), D3D_OK);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const D3DVIEWPORT8 refused[] = {
        {21, 10, 300, 190, 0, 1},           // one pixel too wide
        {0, 1, 320, 200, 0, 1},             // one pixel too high
        {0xFFFFFFFFu, 0, 2, 10, 0, 1},      // X + Width wraps around in 32 bits
        {0, 0, 10, 10, -0.5f, 1},
        {0, 0, 10, 10, 0, 1.5f},
        {0, 0, 10, 10, nan, 1},
    };
    for (const D3DVIEWPORT8& bad : refused)
        EXPECT_EQ(device.SetViewport(&bad), D3DERR_INVALIDCALL) << bad.X << "," << bad.Y;
    EXPECT_EQ(device.SetViewport(nullptr), D3DERR_INVALIDCALL);

    device.GetViewport(&vp);
    EXPECT_EQ(vp.X, inner.X);
    EXPECT_EQ(vp.Y, inner.Y);
    EXPECT_EQ(vp.Width, inner.Width);
    EXPECT_EQ(vp.Height, inner.Height);
    EXPECT_EQ(vp.MinZ, inner.MinZ);
    EXPECT_EQ(vp.MaxZ, inner.MaxZ);
}

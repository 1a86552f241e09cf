// The host's operations on the system's Direct3D 8 device (run under Wine with a display):
// an off-screen device draws and reads back, a reset needs the default pool emptied first,
// frames round-trip through PNG.
#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct ScreenVertex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE
    float x, y, z, rhw;
    D3DCOLOR colour;
};

// Pixels [x1, x2) x [y1, y2) in one colour (edges half a pixel out of the centres).
void DrawRect(IDirect3DDevice8* device, float x1, float y1, float x2, float y2, D3DCOLOR colour) {
    const ScreenVertex quad[4] = {{x1 - 0.5f, y1 - 0.5f, 0.5f, 1, colour}, {x2 - 0.5f, y1 - 0.5f, 0.5f, 1, colour},
                                  {x1 - 0.5f, y2 - 0.5f, 0.5f, 1, colour}, {x2 - 0.5f, y2 - 0.5f, 0.5f, 1, colour}};
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
}

class WindowsDevice : public testing::Test {
protected:
    void SetUp() override {
        device = d3d8host::CreateOffscreenDevice(64, 48);
        if (!device) GTEST_SKIP() << "no Direct3D 8 device (no display?)";
    }
    // Clears to blue and draws a red rectangle [8, 24) x [4, 12).
    void DrawFrame() {
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF0000FF, 1.0f, 0);
        DrawRect(device.get(), 8, 4, 24, 12, 0xFFFF0000);
        device->EndScene();
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    d3d8host::DevicePtr device;
};

TEST_F(WindowsDevice, DrawsAndReadsBackAfterPresent) {
    D3DCAPS8 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_GT(caps.MaxVertexIndex, 0xFFFFu);  // the shadow volumes' 32-bit indices
    EXPECT_TRUE(caps.StencilCaps & D3DSTENCILCAPS_INCR);
    EXPECT_TRUE(caps.StencilCaps & D3DSTENCILCAPS_DECR);
    UINT width = 0, height = 0;
    d3d8host::BackBufferSize(device.get(), width, height);
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(height, 48u);
    EXPECT_EQ(d3d8host::CheckDevice(device.get()), d3d8host::DeviceState::Ready);

    DrawFrame();
    std::vector<D3DCOLOR> pixels;
    ASSERT_EQ(d3d8host::ReadBackColor(device.get(), pixels), D3D_OK);
    ASSERT_EQ(pixels.size(), 64u * 48u);
    int red = 0;
    for (UINT y = 0; y < 48; ++y)
        for (UINT x = 0; x < 64; ++x) {
            const bool inside = x >= 8 && x < 24 && y >= 4 && y < 12;
            const D3DCOLOR expected = inside ? 0xFFFF0000 : 0xFF0000FF;
            red += inside;
            ASSERT_EQ(pixels[y * 64 + x], expected) << "pixel " << x << "," << y;
        }
    EXPECT_EQ(red, 16 * 8);
}

TEST_F(WindowsDevice, ResetWaitsForTheDefaultPoolAndResizes) {
    IDirect3DVertexBuffer8* held = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, D3DFVF_XYZRHW | D3DFVF_DIFFUSE,
                                         D3DPOOL_DEFAULT, &held),
              D3D_OK);
    EXPECT_NE(d3d8host::ResetDevice(device.get(), 32, 16), D3D_OK);
    held->Release();
    ASSERT_EQ(d3d8host::ResetDevice(device.get(), 32, 16), D3D_OK);
    UINT width = 0, height = 0;
    d3d8host::BackBufferSize(device.get(), width, height);
    EXPECT_EQ(width, 32u);
    EXPECT_EQ(height, 16u);
    D3DVIEWPORT8 viewport{};
    device->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 32u);
    EXPECT_EQ(viewport.Height, 16u);

    DrawFrame();
    std::vector<D3DCOLOR> pixels;
    ASSERT_EQ(d3d8host::ReadBackColor(device.get(), pixels), D3D_OK);
    ASSERT_EQ(pixels.size(), 32u * 16u);
    EXPECT_EQ(pixels[5 * 32 + 10], 0xFFFF0000u);
    EXPECT_EQ(pixels[5 * 32 + 30], 0xFF0000FFu);
}

TEST_F(WindowsDevice, BackBufferRoundTripsThroughPng) {
    DrawFrame();
    const std::string path = testing::TempDir() + "device_host_test.png";
    ASSERT_EQ(d3d8host::SaveBackBufferPng(device.get(), path.c_str()), D3D_OK);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_BGRA;  // as D3DCOLOR in memory
    std::vector<D3DCOLOR> read(std::size_t{image.width} * image.height);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, read.data(), 0, nullptr));
    std::remove(path.c_str());
    std::vector<D3DCOLOR> pixels;
    ASSERT_EQ(d3d8host::ReadBackColor(device.get(), pixels), D3D_OK);
    EXPECT_EQ(read, pixels);
    EXPECT_EQ(d3d8host::WritePng(path.c_str(), 0, 0, pixels.data()), D3DERR_INVALIDCALL);
}

}  // namespace

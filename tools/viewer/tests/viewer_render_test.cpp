// The viewer drawing a scene project: frames written as PNG off screen, and the same
// frames drawn in a window's GL context under a virtual display when one can be had.
#include <gtest/gtest.h>

#include <png.h>
#include <vecmath/d3dx_math.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "engine_host.h"
#include "plugin_frame/siblings/primitive_mesh.h"
#include "scene_builder.h"
#include "start_file.h"

namespace fs = std::filesystem;

namespace {

struct Image {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> rgba;
    std::array<int, 3> At(unsigned x, unsigned y) const {
        const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
        return {p[0], p[1], p[2]};
    }
};

// Reads an 8-bit RGBA PNG with libpng; empty on any failure.
Image ReadPng(const fs::path& path) {
    Image image;
    png_image control{};
    control.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&control, path.c_str())) return image;
    control.format = PNG_FORMAT_RGBA;
    image.rgba.resize(PNG_IMAGE_SIZE(control));
    if (!png_image_finish_read(&control, nullptr, image.rgba.data(), 0, nullptr)) return Image{};
    image.width = control.width;
    image.height = control.height;
    return image;
}

std::pair<int, std::string> RunCommand(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"), ::pclose);
    std::string output;
    std::array<char, 256> buffer;
    while (fgets(buffer.data(), int(buffer.size()), pipe.get())) output += buffer.data();
    const int status = ::pclose(pipe.release());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class ViewerScene : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("viewer_scene_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "Stage");
        fs::create_directory_symlink(CHANNELS_DIR, dir / "Channels");
        EngineHost host(CHANNELS_DIR);
        scene::SceneBuilder builder(host);
        D3DXMATRIX identity, raised;
        D3DXMatrixIdentity(&identity);
        D3DXMatrixTranslation(&raised, 0, 1, 0);
        ASSERT_NE(builder.AddPrimitive("ground", kPrimitivePlane, {30, 0, 30}, 16, 16, {0.2f, 0.3f, 1, 1}, identity), nullptr);
        ASSERT_NE(builder.AddPrimitive("ball", kPrimitiveSphere, {1, 1, 1}, 32, 16, {1, 0.1f, 0.1f, 1}, raised), nullptr);
        ASSERT_NE(builder.AddPointLight("lamp", {0, 6, -4}, {1, 1, 1, 1}), nullptr);
        ASSERT_NE(builder.AddCamera("eye", {0, 1, -6}, {0, 1, 0}, 0.8f, 0.5f, 100.0f), nullptr);
        ASSERT_TRUE(host.Save((dir / "Stage" / "start.cgr").string()));
        const std::vector<uint8_t> start = WriteStartFile({"\\Stage\\start.cgr", 2, 1.0f});
        std::ofstream(dir / "VtlStart.vtl", std::ios::binary).write(reinterpret_cast<const char*>(start.data()), start.size());
    }
    void TearDown() override { fs::remove_all(dir); }

    // The ball sits in the middle of the picture (camera looks at its centre); below it
    // lies the lit ground.
    void ExpectBallOverGround(const fs::path& png) {
        const Image image = ReadPng(png);
        ASSERT_EQ(image.width, 160u) << png;
        ASSERT_EQ(image.height, 120u);
        const auto ball = image.At(80, 60);
        EXPECT_GT(ball[0], 100);
        EXPECT_GT(ball[0], 2 * ball[2]);
        const auto ground = image.At(80, 115);
        EXPECT_GT(ground[2], 60);
        EXPECT_GT(ground[2], ground[0]);
    }

    fs::path dir;
};

}  // namespace

TEST_F(ViewerScene, WritesEveryFrameAsPng) {
    const auto [code, output] =
        RunCommand(std::string(VIEWER_EXE) + " " + (dir / "VtlStart.vtl").string() + " --png " + (dir / "frames").string() +
            " --size 160x120");
    ASSERT_EQ(code, 0) << output;
    EXPECT_NE(output.find("Wrote 2 frames"), std::string::npos) << output;
    EXPECT_TRUE(fs::exists(dir / "frames" / "frame_0000.png"));
    ExpectBallOverGround(dir / "frames" / "frame_0001.png");

    EXPECT_EQ(RunCommand(std::string(VIEWER_EXE) + " " + (dir / "VtlStart.vtl").string() + " --size 0x5").first, 2);
}

TEST_F(ViewerScene, DrawsIntoAWindowUnderAVirtualDisplay) {
    if (RunCommand("command -v xvfb-run").first != 0) GTEST_SKIP() << "no xvfb-run";
    const auto [code, output] = RunCommand("VANTREL_VIEWER_CLOSE_AFTER_FRAMES=1 xvfb-run -a -s '-screen 0 640x480x24' " +
                                    std::string(VIEWER_EXE) + " " + (dir / "VtlStart.vtl").string() + " --window --png " +
                                    (dir / "window").string() + " --size 160x120");
    if (output.find("GL visual") != std::string::npos) GTEST_SKIP() << output;
    ASSERT_EQ(code, 0) << output;
    ExpectBallOverGround(dir / "window" / "frame_0001.png");
}

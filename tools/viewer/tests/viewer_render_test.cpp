// The viewer drawing a scene project: frames written as PNG off screen, and the same
// frames drawn in a window's GL context under a virtual display when one can be had; a run
// measured in seconds with picked frames, an animation and its progress line.
#include <gtest/gtest.h>

#include <gif_lib.h>
#include <png.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "engine_host.h"
#include "plugin_frame/siblings/primitive_mesh.h"
#include "progress_line.h"
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

// Reads every frame of a GIF with giflib: the frames' sizes, and each frame as RGB.
struct Gif {
    int width = 0, height = 0;
    bool loops = false;
    std::vector<std::vector<std::array<int, 3>>> frames;
};

Gif ReadGif(const fs::path& path) {
    Gif gif;
    int error = 0;
    GifFileType* file = DGifOpenFileName(path.c_str(), &error);
    if (!file) return gif;
    if (DGifSlurp(file) == GIF_OK) {
        gif.width = file->SWidth;
        gif.height = file->SHeight;
        for (int i = 0; i < file->ImageCount; ++i) {
            const SavedImage& image = file->SavedImages[i];
            const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : file->SColorMap;
            std::vector<std::array<int, 3>> rgb;
            for (int p = 0; map && p < image.ImageDesc.Width * image.ImageDesc.Height; ++p) {
                const GifColorType c = map->Colors[image.RasterBits[p]];
                rgb.push_back({c.Red, c.Green, c.Blue});
            }
            gif.frames.push_back(rgb);
            for (int e = 0; e < image.ExtensionBlockCount; ++e)
                gif.loops = gif.loops || (image.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE &&
                                          image.ExtensionBlocks[e].ByteCount == 11 &&
                                          std::memcmp(image.ExtensionBlocks[e].Bytes, "NETSCAPE2.0", 11) == 0);
        }
    }
    DGifCloseFile(file, &error);
    return gif;
}

TEST_F(ViewerScene, RunsForSecondsWritingPickedFramesAnAnimationAndProgress) {
    const std::string run = std::string(VIEWER_EXE) + " " + (dir / "VtlStart.vtl").string() + " --size 160x120";
    // 0.4 s of frames of 1/25 s: ten frames.
    const auto [code, output] = RunCommand(run + " --seconds 0.4 --png " + (dir / "picked").string() +
                                           " --pick 3,last --gif " + (dir / "run.gif").string() +
                                           " --gif-every 3 --gif-shrink 2");
    ASSERT_EQ(code, 0) << output;
    EXPECT_NE(output.find("10 frames"), std::string::npos) << output;
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(dir / "picked")) written.push_back(entry.path().filename());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"frame_0003.png", "frame_0009.png"}));
    ExpectBallOverGround(dir / "picked" / "frame_0009.png");

    // Frames 0, 3, 6 and 9, halved: the ball in the middle of each.
    const Gif gif = ReadGif(dir / "run.gif");
    EXPECT_EQ(gif.width, 80);
    EXPECT_EQ(gif.height, 60);
    EXPECT_TRUE(gif.loops);
    ASSERT_EQ(gif.frames.size(), 4u);
    for (const auto& frame : gif.frames) {
        ASSERT_EQ(frame.size(), 80u * 60u);
        const auto ball = frame[30 * 80 + 40];
        EXPECT_GT(ball[0], 100);
        EXPECT_GT(ball[0], 2 * ball[2]);
    }

    // Not on a terminal: a plain line at every tenth, the last at 100%; none with --quiet.
    EXPECT_NE(output.find("frame 10/10 [####################] 100%"), std::string::npos) << output;
    EXPECT_EQ(output.find('\r'), std::string::npos);
    EXPECT_EQ(RunCommand(run + " --frames 4 --quiet").second.find("frame 4/4"), std::string::npos);

    for (const char* wrong : {" --pick 3", " --png x --pick 10", " --png x --pick 2,,3", " --frames 3 --seconds 1",
                              " --gif-every 0 --gif y.gif", " --seconds -1", " --bogus"})
        EXPECT_EQ(RunCommand(run + wrong).first, 2) << wrong;
}

// On a terminal the progress line is rewritten in place and ended once.
TEST(ProgressLine, RewritesOneLineOnATerminal) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ProgressLine progress(out, 5, true);
    for (unsigned done = 1; done <= 5; ++done) progress.Update(done);
    progress.Finish();
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;) text += char(c);
    std::fclose(out);
    EXPECT_EQ(text.front(), '\r');
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    EXPECT_NE(text.rfind("\rframe 5/5 [####################] 100%"), std::string::npos) << text;
    EXPECT_EQ(ProgressLine::Text(1, 4, 2.5), "frame 1/4 [#####...............]  25%, 2.5 frames/s");
}

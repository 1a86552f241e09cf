// The start file, and the viewer program run on a small project.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "engine_host.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/type_guids.h"
#include "start_file.h"
#include "tagfile/compressed_file.h"

namespace fs = std::filesystem;

namespace {

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

struct RunResult {
    int exitCode;
    std::string output;
};

RunResult RunViewer(const std::string& arguments) {
    std::string command = std::string(VIEWER_EXE) + " " + arguments + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string output;
    std::array<char, 256> buffer;
    while (fgets(buffer.data(), int(buffer.size()), pipe.get())) output += buffer.data();
    int status = ::pclose(pipe.release());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class ViewerRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("viewer_run_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "Stage");
        fs::create_directory_symlink(CHANNELS_DIR, dir / "Channels");
        EngineHost host(CHANNELS_DIR);
        auto* speed = host.Create<Kco_FloatChannel>(type_guids::kFloatChannel, "speed");
        speed->SetFloat(4.25f);
        ASSERT_TRUE(host.Save((dir / "Stage" / "start.cgr").string()));
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

}  // namespace

TEST(StartFile, RoundTripsPlainAndCompressed) {
    StartFile start{"\\Stage\\start.cgr", 12, 0.5f};
    std::vector<uint8_t> plain = WriteStartFile(start);
    for (const auto& bytes : {plain, tagfile::PackCompressedFile(plain)}) {
        auto read = ReadStartFile(bytes);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->startGroup, "\\Stage\\start.cgr");
        EXPECT_EQ(read->frames, 12u);
        EXPECT_FLOAT_EQ(read->frameTime, 0.5f);
    }
    plain.resize(plain.size() - 2);
    EXPECT_FALSE(ReadStartFile(plain).has_value());
}

TEST_F(ViewerRun, RunsTheProjectAndExitsZero) {
    WriteBytes(dir / "VtlStart.vtl", tagfile::PackCompressedFile(WriteStartFile({"\\Stage\\start.cgr", 3, 1.0f})));
    RunResult r = RunViewer((dir / "VtlStart.vtl").string());
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("3 frames"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("speed = 4.25"), std::string::npos) << r.output;
}

TEST_F(ViewerRun, UnloadableProjectsExitNonZeroWithAMessage) {
    RunResult missing = RunViewer((dir / "VtlStart.vtl").string());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("can't open start file"), std::string::npos);

    WriteBytes(dir / "VtlStart.vtl", {'n', 'o', 'p', 'e'});
    EXPECT_EQ(RunViewer((dir / "VtlStart.vtl").string()).exitCode, 1);

    WriteBytes(dir / "VtlStart.vtl", WriteStartFile({"\\Stage\\gone.cgr", 3, 1.0f}));
    RunResult gone = RunViewer((dir / "VtlStart.vtl").string());
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_NE(gone.output.find("can't load project"), std::string::npos) << gone.output;
}

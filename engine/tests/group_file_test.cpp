// Channel group files: round trips, defaults for missing tags, and damaged files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "engine_host.h"
#include "link_test_channel.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/siblings/string_channel.h"
#include "plugin_frame/siblings/vector_channel.h"
#include "tagfile/compressed_file.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Builds a small group: a link-test channel with a float, a string and a matrix below it.
void BuildGroup(EngineHost& host) {
    auto* parent = host.Create<LinkTestChannel>(kLinkTestType, "root");
    parent->number = -12;
    parent->flag = false;
    auto* value = host.Create<Kco_FloatChannel>(type_guids::kFloatChannel, "speed");
    value->SetFloat(2.5f);
    auto* text = host.Create<Kco_StringChannel>(type_guids::kStringChannel, "label");
    text->SetString("hello");
    auto* matrix = host.Create<Kco_MatrixChannel>(type_guids::kMatrixChannel, "place");
    D3DXMATRIX m = matrix->GetMatrix();
    m._41 = 1.0f, m._42 = -2.0f, m._43 = 3.0f;
    matrix->SetMatrix(m);
    static_cast<Kco_VectorChannel*>(parent->GetChildFromLinkPosition(2))->SetVector({4, 5, 6});
    ASSERT_TRUE(parent->LinkChild(value, 0));
    ASSERT_TRUE(parent->LinkChild(text, 1));
    ASSERT_TRUE(parent->LinkChild(matrix, 1));
}

// When VANTREL_CGR_CORPUS names a folder (the cgrtool tests' fixture does), the group files
// written here are kept there, so that cgrtool's round trip covers them.
void Collect(const std::string& path) {
    const char* corpus = std::getenv("VANTREL_CGR_CORPUS");
    if (!corpus) return;
    namespace fs = std::filesystem;
    fs::create_directories(corpus);
    fs::copy_file(path, fs::path(corpus) / ("group_file_" + fs::path(path).filename().string()),
                  fs::copy_options::overwrite_existing);
}

// Builds the sample group in an engine of its own and saves it to `path`.
void SaveSampleGroup(const std::string& path) {
    EngineHost host(CHANNELS_DIR);
    BuildGroup(host);
    ASSERT_TRUE(host.Save(path));
    Collect(path);
}

}  // namespace

TEST(GroupFile, RoundTripKeepsValuesNamesAndLinks) {
    ScratchFolder dir("group_roundtrip");
    std::string path = dir.File("scene.cgr");
    ASSERT_NO_FATAL_FAILURE(SaveSampleGroup(path));
    EngineHost host(CHANNELS_DIR);
    ASSERT_TRUE(host.Load(path));
    Kel_ChannelGroup& g = host.Group();
    ASSERT_EQ(g.GetChannelCount(), 5);
    auto* parent = static_cast<LinkTestChannel*>(g.FindChannel("root"));
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(parent->number, -12);
    EXPECT_FALSE(parent->flag);
    EXPECT_EQ(parent->initializeCount, 1);
    auto* value = static_cast<Kco_FloatChannel*>(parent->GetChildFromLinkPosition(0));
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value->GetChannelName(), "speed");
    EXPECT_FLOAT_EQ(value->GetFloat(), 2.5f);
    auto* text = static_cast<Kco_StringChannel*>(parent->GetChildFromLinkPosition(1, 0));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->GetString(), "hello");
    auto* matrix = static_cast<Kco_MatrixChannel*>(parent->GetChildFromLinkPosition(1, 1));
    ASSERT_NE(matrix, nullptr);
    EXPECT_FLOAT_EQ(matrix->GetMatrix()._42, -2.0f);
    EXPECT_FLOAT_EQ(matrix->GetMatrix()._11, 1.0f);
    auto* vector = static_cast<Kco_VectorChannel*>(parent->GetChildFromLinkPosition(2));
    ASSERT_NE(vector, nullptr);
    EXPECT_FLOAT_EQ(vector->GetVector().z, 6.0f);
    EXPECT_STREQ(g.GetChannelGroupFileName(), path.c_str());
}

TEST(GroupFile, ChannelRecordWithoutTagsLoadsConstructorDefaults) {
    ScratchFolder dir("group_defaults");
    tagfile::RecordWriter w;
    tagfile::Guid16 type;
    std::memcpy(type.data(), &type_guids::kChannelGroupFile, 16);
    w.WriteFileHeader(type);
    w.WriteRecordU32("CGCN", 1);
    size_t chan = w.BeginBlock("CHAN");
    w.WriteRecord("CTYP", &kLinkTestType, 16);
    w.WriteRecord("CNAM", "bare", 5);
    w.EndBlock(w.BeginBlock("CDAT"));
    w.EndBlock(chan);
    std::string path = dir.File("bare.cgr");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(w.Bytes().data()), w.Bytes().size());
    Collect(path);

    EngineHost host(CHANNELS_DIR);
    ASSERT_TRUE(host.Load(path));
    auto* c = static_cast<LinkTestChannel*>(host.Group().FindChannel("bare"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->number, 7);
    EXPECT_TRUE(c->flag);
}

TEST(GroupFile, EveryTruncationFailsCleanly) {
    ScratchFolder dir("group_truncated");
    std::string path = dir.File("scene.cgr");
    ASSERT_NO_FATAL_FAILURE(SaveSampleGroup(path));
    std::vector<uint8_t> bytes = ReadAll(path);
    EngineHost host(CHANNELS_DIR);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::span<const uint8_t> part(bytes.data(), cut);
        EXPECT_EQ(host.Engine().LoadChannelGroupFromMemory(part, "cut"), nullptr) << "cut at " << cut;
    }
    EXPECT_NE(host.Engine().LoadChannelGroupFromMemory(bytes, "whole"), nullptr);
}

TEST(GroupFile, RandomCorruptionNeverCrashes) {
    ScratchFolder dir("group_corrupt");
    std::string path = dir.File("scene.cgr");
    ASSERT_NO_FATAL_FAILURE(SaveSampleGroup(path));
    const std::vector<uint8_t> original = ReadAll(path);
    EngineHost host(CHANNELS_DIR);
    std::mt19937 rng(1234);
    int loaded = 0;
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = original;
        int flips = 1 + int(rng() % 4);
        for (int f = 0; f < flips; ++f) bytes[rng() % bytes.size()] = uint8_t(rng());
        if (host.Engine().LoadChannelGroupFromMemory(bytes, "fuzz")) ++loaded;
    }
    // Flips inside data bytes load fine; the point is that nothing crashed or overran.
    EXPECT_GT(loaded, 0);
}

TEST(GroupFile, MissingFileAndWrongTypeAreRefused) {
    ScratchFolder dir("group_missing");
    EngineHost host(CHANNELS_DIR);
    EXPECT_FALSE(host.Load(dir.File("none.cgr")));
    tagfile::RecordWriter w;
    w.WriteFileHeader(tagfile::Guid16{});
    EXPECT_EQ(host.Engine().LoadChannelGroupFromMemory(w.Bytes(), "other"), nullptr);
}

TEST(GroupFile, CompressedGroupFileLoadsLikeThePlainOne) {
    ScratchFolder dir("group_compressed");
    std::string path = dir.File("scene.cgr");
    ASSERT_NO_FATAL_FAILURE(SaveSampleGroup(path));
    std::vector<uint8_t> packed = tagfile::PackCompressedFile(ReadAll(path));
    EngineHost host(CHANNELS_DIR);
    auto group = host.Engine().LoadChannelGroupFromMemory(packed, path);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetChannelCount(), 5);
    packed[packed.size() / 2] ^= 0x5A;  // damage the stream
    EXPECT_EQ(host.Engine().LoadChannelGroupFromMemory(packed, path), nullptr);
}

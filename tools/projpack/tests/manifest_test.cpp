#include "manifest.h"

#include <gtest/gtest.h>

#include "project_fixture.h"

using namespace projpack;

TEST(Manifest, ReadsSettingsFilesAndSources) {
    Manifest m;
    std::string error;
    ASSERT_TRUE(ParseManifest(fixture::kManifest, m, error)) << error;
    EXPECT_EQ(6, m.level);
    ASSERT_EQ(22u, m.entries.size());
    EXPECT_EQ(EntryKind::U32, m.entries[0].kind);
    EXPECT_EQ("ProjectType", m.entries[0].name);
    EXPECT_EQ(2u, m.entries[0].number);
    EXPECT_EQ("C:\\Program Files\\Demo Project", m.entries[3].text);
    EXPECT_EQ(EntryKind::Packed, m.entries[7].kind);
    EXPECT_EQ("Corvane.dll", m.entries[7].name);
    EXPECT_EQ("engine/Corvane.dll", m.entries[7].source);
    EXPECT_EQ(EntryKind::Channel, m.entries[17].kind);
    EXPECT_EQ("\\Channels\\048425EF-3B0E-551D-9206-B4160D97F196.dll", m.entries[17].name);
    EXPECT_EQ(EntryKind::File, m.entries[21].kind);
    EXPECT_EQ(25, m.entries[21].line);
}

TEST(Manifest, ProjectTypesByNameOrNumber) {
    Manifest m;
    std::string error;
    ASSERT_TRUE(ParseManifest("type winamp\nu32 Extra 0x10\n", m, error)) << error;
    EXPECT_EQ(6u, m.entries[0].number);
    EXPECT_EQ(16u, m.entries[1].number);
    ASSERT_TRUE(ParseManifest("type 5", m, error));
    EXPECT_EQ(5u, m.entries[0].number);
}

TEST(Manifest, MistakesNameTheirLine) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"type standard\nfrobnicate x\n", "line 2: unknown keyword \"frobnicate\""},
        {"byte CheckDx8 256", "line 1: \"256\" is not a valid byte"},
        {"u32 Count -1", "line 1: \"-1\" is not a valid u32"},
        {"type sometimes", "line 1: unknown project type \"sometimes\""},
        {"text ProjectName", "line 1: a setting needs a name and a value"},
        {"file \\a.cgr\nfile \\A.CGR", "line 2: \"\\A.CGR\" already given on line 1"},
        {"packed x.exe <", "line 1: empty source after '<'"},
        {"level 10", "line 1: level must be 0 to 9"},
    };
    for (const Case& c : cases) {
        Manifest m;
        std::string error;
        EXPECT_FALSE(ParseManifest(c.text, m, error)) << c.text;
        EXPECT_EQ(c.error, error);
    }
    Manifest m;
    std::string error;
    EXPECT_FALSE(ParseManifest("file \\" + std::string(259, 'a'), m, error));
    EXPECT_FALSE(ParseManifest("text InstallPath " + std::string(259, 'a'), m, error));
    EXPECT_TRUE(ParseManifest("text InstallPath " + std::string(258, 'a'), m, error));
}

// cgrtool: every group file the tests and the sample produce dumps and builds back byte for
// byte (damaged ones too), every known type's records dump as fields, and damaged text is
// refused with the line and the field at fault.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

#include "engine_host.h"
#include "plugin_frame/type_guids.h"
#include "group_text.h"
#include "record_types.h"
#include "valueop/value_operator.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::string s = ReadText(path);
    return {s.begin(), s.end()};
}

// Dumps to text, builds the text; the bytes must come back unchanged.
void ExpectRoundTrip(std::span<const uint8_t> file, const std::string& what) {
    std::string text;
    try {
        text = cgr::DumpText(file);
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": dump refused: " << e.what();
        return;
    }
    std::vector<uint8_t> again;
    try {
        again = cgr::BuildText(text);
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": build refused its own dump: " << e.what() << "\n" << text;
        return;
    }
    EXPECT_TRUE(std::equal(again.begin(), again.end(), file.begin(), file.end())) << what << "\n" << text;
}

size_t LineOf(const std::string& text, size_t offset) {
    return 1 + size_t(std::count(text.begin(), text.begin() + std::ptrdiff_t(offset), '\n'));
}

}  // namespace

TEST(CgrRoundTrip, EveryGroupFileOfTheTestsAndTheSample) {
    std::vector<fs::path> files;
    for (const char* dir : {CGR_CORPUS_DIR, SAMPLE_PROJECT_DIR}) {
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".cgr" || entry.path().extension() == ".vtl") files.push_back(entry.path());
    }
    // The group-file tests leave two files, the sample two; fewer means the fixture that
    // collects them did not run (run through ctest).
    ASSERT_GE(files.size(), 4u) << "collected in " << CGR_CORPUS_DIR << " and " << SAMPLE_PROJECT_DIR;
    for (const fs::path& path : files) ExpectRoundTrip(ReadBytes(path), path.string());
}

TEST(CgrRoundTrip, CutAndDamagedFilesStayExact) {
    const std::vector<uint8_t> sample = ReadBytes(fs::path(SAMPLE_PROJECT_DIR) / "start.cgr");
    ASSERT_GT(sample.size(), 1000u);
    // Cuts after the file header: the records cut short stay hex. Every cut through the
    // first channels meets each kind of record boundary; further on, a sparser sweep.
    for (size_t cut = 24; cut <= sample.size(); cut += cut < 400 ? 1 : 11)
        ExpectRoundTrip(std::span(sample.data(), cut), "cut at " + std::to_string(cut));
    std::mt19937 rng(7);
    for (int round = 0; round < 150; ++round) {
        std::vector<uint8_t> bytes = sample;
        for (int f = 1 + int(rng() % 3); f > 0; --f) bytes[24 + rng() % (bytes.size() - 24)] = uint8_t(rng());
        ExpectRoundTrip(bytes, "damaged, round " + std::to_string(round));
    }
}

// One channel of each known type whose library is built, saved by the engine: each record
// of a type the table describes must dump as fields, none as hex.
TEST(CgrRoundTrip, EveryKnownTypeDumpsItsRecordsAsFields) {
    const fs::path file = fs::temp_directory_path() / ("cgrtool_types_" + std::to_string(::getpid()) + ".cgr");
    std::vector<std::string> made;
    {
        EngineHost host(CHANNELS_DIR);
        for (const cgr::ChannelTypeLayout& type : cgr::ChannelTypes()) {
            if (!fs::exists(fs::path(CHANNELS_DIR) / (FormatGuid(type.guid) + ".dll"))) continue;
            Kel_Channel* c = host.Create(type.guid, type.name);
            if (!c) continue;
            made.push_back(type.name);
            // The value operator saves its stored state only when asked to.
            if (type.guid == type_guids::kValueOperator) static_cast<Kco_ValueOperator*>(c)->SetStoreCurrentValue(true);
        }
        ASSERT_TRUE(host.Save(file.string()));
    }
    const std::vector<uint8_t> bytes = ReadBytes(file);
    fs::remove(file);
    // The value operator, both physics plug-ins and the siblings the build carries.
    EXPECT_GE(made.size(), 8u);
    ExpectRoundTrip(bytes, "every type");
    const cgr::Json doc = cgr::DumpFile(bytes);
    int fields = 0;
    for (const cgr::Json& ch : doc["channels"]) {
        ASSERT_TRUE(ch.contains("type")) << ch.dump();
        for (const cgr::Json& r : ch.value("records", cgr::Json::array())) {
            EXPECT_FALSE(r.contains("hex")) << ch["type"] << ": " << r.dump();
            ++fields;
        }
    }
    EXPECT_GE(fields, 20);
}

TEST(CgrText, DamagedTextIsRefusedNamingLineAndField) {
    const std::string sample = ReadText(fs::path(SAMPLE_SOURCE_DIR) / "start.cgr.json");
    ASSERT_NO_THROW(cgr::BuildText(sample));
    struct Case {
        const char* find;     // first occurrence in the sample text
        const char* replace;
        const char* lineOf;   // text whose line the message must name; null: the replacement's
        const char* message;  // must appear in the message
    };
    const Case cases[] = {
        {"\"link\": 0, \"child\": \"low\"}, {", "\"link\": 0 \"child\": \"low\"}, {", nullptr, "syntax error"},
        {"\"value\": 10}", "\"value\": \"ten\"}", nullptr,
         "channel \"counter\", record 0 \"VEOT\", field \"operationType\": expected a whole number"},
        {"\"child\": \"high\"", "\"child\": \"hihg\"", nullptr, "channel \"counter\", link 1: no channel is named \"hihg\""},
        {"[1.0, 2.0, 3.0]", "[1.0, 2.0]", nullptr, "channel \"a\", record 0 \"VCXY\", field \"vector\": expected an array of 3"},
        {"\"kind\": 2", "\"kind\": 300", nullptr, "channel \"ground\", record 2 \"BDI2\", field \"geometryItem.kind\": expected a whole number from 0 to 255"},
        {"\"value\": 100.0", "\"value\": 1e39", nullptr, "channel \"high\", record 0 \"FLVA\", field \"currentFloat\": number too large"},
        {"\"useDefaultFloat\", \"value\": false", "\"useDefaultFloat\", \"value\": 0", nullptr, "field \"useDefaultFloat\": expected true or false"},
        {"\"name\": \"Unnamed\"", "\"name\": \"a name of more than thirty-nine bytes, too long\"", nullptr, "field \"geometryItem.name\": longer than 39 bytes"},
        {"\"type\": \"Vector\"", "\"type\": \"Vectr\"", nullptr, "channel \"a\": unknown type \"Vectr\""},
        {"\"field\": \"operationType\"", "\"field\": \"operation\"", nullptr, "channel \"counter\", record 0 \"VEOT\": the tag's field is \"operationType\""},
        {"\"records\"", "\"recrods\"", nullptr, "channel \"counter\": unknown key \"recrods\""},
        {"\"tag\": \"VCXY\"", "\"tag\": \"VCX\"", nullptr, "channel \"a\", record 0: \"tag\" must be four characters"},
        {"\"field\": \"operationType\", \"value\": 10", "\"hex\": \"0a0\"", nullptr, "record 0 \"VEOT\": odd number of hex digits"},
        {"\"tag\": \"VEOT\", \"field\": \"operationType\", \"value\": 10", "\"tag\": \"VEOX\", \"value\": 10", nullptr,
         "record 0 \"VEOX\": not a record of \"ValueOperator\"; give its bytes as \"hex\""},
        {"\"name\": \"b\"", "\"name\": \"a\"", "\"child\": \"a\"", "channel \"dot\", link 0: more than one channel is named \"a\""},
        {"\"slip\": 1.0,", "", "\"value\": {", "channel \"ground\", record 2 \"BDI2\", field \"geometryItem.slip\": missing"},
    };
    for (const Case& c : cases) {
        std::string text = sample;
        const size_t at = text.find(c.find);
        ASSERT_NE(at, std::string::npos) << c.find;
        text.replace(at, std::strlen(c.find), c.replace);
        const size_t lineAt = c.lineOf ? text.find(c.lineOf) : at;
        ASSERT_NE(lineAt, std::string::npos) << c.lineOf;
        const std::string expectedLine = "line " + std::to_string(LineOf(text, lineAt)) + ": ";
        try {
            cgr::BuildText(text);
            ADD_FAILURE() << "accepted: " << c.replace;
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(expectedLine, 0), 0u) << message;
            EXPECT_NE(message.find(c.message), std::string::npos) << message;
        }
    }
}

TEST(CgrTool, CommandLineDumpsBuildsAndRefuses) {
    const fs::path dir = fs::temp_directory_path() / ("cgrtool_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string tool = CGRTOOL_EXE;
    const fs::path sample = fs::path(SAMPLE_PROJECT_DIR) / "start.cgr";
    const std::string dump = tool + " dump '" + sample.string() + "' '" + (dir / "s.json").string() + "'";
    ASSERT_EQ(std::system(dump.c_str()), 0);
    const std::string build = tool + " build '" + (dir / "s.json").string() + "' '" + (dir / "s.cgr").string() + "'";
    ASSERT_EQ(std::system(build.c_str()), 0);
    EXPECT_EQ(ReadBytes(dir / "s.cgr"), ReadBytes(sample));
    // Refused: a damaged text, and a file that is no group file.
    std::ofstream(dir / "bad.json") << "{\n  \"channels\": [\n    {\"name\": 3}\n  ]\n}\n";
    const std::string bad = tool + " build '" + (dir / "bad.json").string() + "' '" + (dir / "bad.cgr").string() +
                            "' 2>'" + (dir / "err.txt").string() + "'";
    EXPECT_NE(std::system(bad.c_str()), 0);
    EXPECT_NE(ReadText(dir / "err.txt").find("line 3: channel 0: \"name\" must be a text"), std::string::npos)
        << ReadText(dir / "err.txt");
    EXPECT_FALSE(fs::exists(dir / "bad.cgr"));
    const std::string notGroup = tool + " dump '" + (dir / "s.json").string() + "' 2>/dev/null";
    EXPECT_NE(std::system(notGroup.c_str()), 0);
    fs::remove_all(dir);
}

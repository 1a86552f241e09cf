// Hostile input, second round, against the real programs: damaged models and runaway value
// operator chains handed to VantrelViewer.exe, FIFOs given as input to every tool, install
// paths too long for the uninstall log, menu entries through a linked menu folder, the
// registry store shared by installs running side by side, and files asking to unpack to
// far more than they hold. Each ends with a message and an exit code, never a signal or a
// hang (every program runs under `timeout`).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <sstream>
#include <thread>

#include "app_test_support.h"
#include "package/little_endian.h"
#include "package/uninstall_log.h"
#include "standard_test_support.h"
#include "start_file.h"
#include "tagfile/records.h"

namespace fs = std::filesystem;
using stdtest::FileString;
using stdtest::Quote;

namespace {

constexpr char kSuccessBox[] =
    "box\tok\tinformation\tDemo\tInstallation successfully completed!\\r\\nYou are able to find the "
    "installed program in the Start menu.";

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// A KRVF compressed file whose header says it unpacks to `claimed` bytes, with a stream
// of `streamBytes` bytes of noise (long enough for the claim to pass the DEFLATE ratio).
std::string ClaimingCompressedFile(uint32_t claimed, size_t streamBytes) {
    tagfile::RecordWriter w;
    const uint8_t type[16] = {0x8E, 0xDF, 0x06, 0x48, 0x10, 0xA4, 0x04, 0x5F,
                              0xA2, 0x97, 0x09, 0x0D, 0x45, 0x5D, 0x9B, 0xEE};
    tagfile::Guid16 guid;
    std::memcpy(guid.data(), type, 16);
    w.WriteFileHeader(guid);
    w.WriteRecordU32("ZIOS", claimed);
    w.WriteRecordU32("ZINS", uint32_t(streamBytes));
    std::vector<uint8_t> noise(streamBytes);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);
    w.WriteRecord("ZICB", noise.data(), uint32_t(noise.size()));
    const std::vector<uint8_t> bytes = w.TakeBytes();
    return {bytes.begin(), bytes.end()};
}

class HostileFiles : public ::testing::Test {
protected:
    HostileFiles() : env_(scratch_.Path()) {
        fs::create_directories(home_);
        stdtest::MakeSampleProject(project_);
    }

    fs::path Installer(const std::string& manifest, const std::string& name) {
        const fs::path out = scratch_.Path() / name;
        EXPECT_EQ(stdtest::BuildInstaller(manifest, project_, out), 0);
        return out;
    }

    // A folder the viewer runs a project in: the build's channels and a start file naming
    // "start.cgr", built by cgrtool from `json`.
    fs::path ViewerProject(const std::string& name, const std::string& json) {
        const fs::path dir = scratch_.Path() / name;
        fs::create_directories(dir);
        fs::create_directory_symlink(stdtest::BuildFile("channels"), dir / "channels");
        const std::vector<uint8_t> start = WriteStartFile({"\\start.cgr", 2, 1.0f});
        apptest::WriteFile(dir / "VtlStart.vtl", std::string(start.begin(), start.end()));
        apptest::WriteFile(dir / "start.json", json);
        std::string output;
        EXPECT_EQ(stdtest::RunCommand("timeout 300 " + Quote(CGRTOOL_EXE) + " build " +
                                          Quote((dir / "start.json").string()) + " " + Quote((dir / "start.cgr").string()),
                                      &output),
                  0)
            << output;
        return dir;
    }

    apptest::ScratchFolder scratch_;
    stdtest::ScopedInstallEnvironment env_;
    fs::path home_ = scratch_.Path() / "home";
    fs::path project_ = scratch_.Path() / "project";
};

TEST_F(HostileFiles, ViewerEndsDamagedProjectsWithAMessage) {
    // A face naming a vertex the model does not have.
    const fs::path model = ViewerProject(
        "model", R"({"channels": [
          {"name": "thing", "type": "DX8 Object", "links": [{"link": 0, "child": "skin"}]},
          {"name": "skin", "type": "DX8 Surface", "links": [{"link": 0, "child": "shape"}]},
          {"name": "shape", "guid": "415BE20A-D83C-49CA-8E28-796FC8428E1C",
           "records": [{"tag": "MFNM", "hex": ")" + Hex(std::string("bad.obj", 8)) + R"("}]}]})");
    apptest::WriteFile(model / "bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999\n");
    // 100,000 value operators, each reading the next (operation 18 reads its first float).
    std::string chain = R"({"channels": [)";
    constexpr int kChain = 100000;
    for (int i = 0; i < kChain; ++i) {
        chain += R"({"name": "op)" + std::to_string(i) +
                 R"(", "type": "ValueOperator", "records": [{"tag": "VEOT", "field": "operationType", "value": 18}])";
        chain += i + 1 < kChain ? R"(, "links": [{"link": 0, "child": "op)" + std::to_string(i + 1) + "\"}]}," : "}";
    }
    const fs::path deep = ViewerProject("deep", chain + "]}");

    const struct {
        fs::path folder;
        std::string message;
    } cases[] = {
        {model, "can't read model ./bad.obj: OBJ: vertex index out of range"},
        {deep, "Value operators nested deeper than the limit of 1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.filename().string());
        std::string output;
        EXPECT_EQ(stdtest::RunCommand("cd " + Quote(c.folder.string()) + " && timeout 300 " +
                                          Quote(stdtest::BuildFile("VantrelViewer.exe").string()) + " --quiet",
                                      &output),
                  1)
            << output;
        EXPECT_NE(output.find(c.message), std::string::npos) << output.substr(0, 2000);
    }
}

// A FIFO where a file is read: every program refuses it at once instead of waiting for a
// writer that never comes.
TEST_F(HostileFiles, FifosGivenAsInputAreRefusedAtOnce) {
    const fs::path fifo = scratch_.Path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path lone = scratch_.Path() / "lone";
    fs::create_directories(lone);
    fs::copy_file(stdtest::BuildFile("VtlUnInst.exe"), lone / "VtlUnInst.exe");
    ASSERT_EQ(::mkfifo((lone / "uninstall.nfo").c_str(), 0600), 0);
    const struct {
        std::string command;
        std::string message;
    } cases[] = {
        {Quote(stdtest::BuildFile("VantrelViewer.exe").string()) + " " + Quote(fifo.string()), "not a file"},
        {Quote(CGRTOOL_EXE) + " dump " + Quote(fifo.string()), "not a regular file"},
        {Quote(CGRTOOL_EXE) + " build " + Quote(fifo.string()) + " out.cgr", "not a regular file"},
        {Quote(PROJPACK_EXE) + " list " + Quote(fifo.string()), "holds no readable package"},
        {Quote((lone / "VtlUnInst.exe").string()) + " --list", "missing or not a file"},
        {Quote((lone / "VtlUnInst.exe").string()), "missing or not a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        std::string output;
        EXPECT_EQ(stdtest::RunCommand("cd " + Quote(scratch_.Str()) + " && timeout 20 " + c.command, &output), 1)
            << output;
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
    }
}

// A typed folder the uninstall log could not hold whole is refused, never cut to its parent;
// a log record filled to its end is never counted as removed, and the log then stays.
TEST_F(HostileFiles, PathsTooLongForTheLogAreRefusedAndNeverCountedRemoved) {
    const fs::path installer = Installer(stdtest::CoreManifest(), "setup");
    fs::path parent = scratch_.Path() / "p";
    const fs::path tooLong = parent / std::string(263 - parent.string().size() - 1, 'x');
    ASSERT_EQ(tooLong.string().size(), 263u);
    int code = -1;
    EXPECT_EQ(stdtest::InstallUnattended(installer, tooLong, home_, &code),
              std::vector<std::string>{"box\tok\terror\tInstallation Error\tThe folder path has 263 characters; an "
                                       "installation folder may have at most 200.\\r\\nChoose a shorter one; nothing "
                                       "was installed."});
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(fs::exists(parent));

    const fs::path install = scratch_.Path() / "Demo";
    ASSERT_EQ(stdtest::InstallUnattended(installer, install, home_), std::vector<std::string>{kSuccessBox});
    // A file of the user's whose 300-character path the log can only hold cut short; the
    // cut name is missing, which must not count as removed.
    const std::string folder(120, 'd');
    const std::string longName = folder + "/" + std::string(300 - install.string().size() - 2 - folder.size(), 'f');
    fs::create_directories(install / folder);
    apptest::WriteFile(install / longName, "the user's");
    ASSERT_EQ((install / longName).string().size(), 300u);
    std::string log = FileString(install / "uninstall.nfo");
    const uint32_t files = LoadU32LE(reinterpret_cast<const uint8_t*>(log.data() + 8));
    std::string record = "UNFN";
    uint8_t size[4];
    StoreU32LE(kUninstallTextSize, size);
    record.append(reinterpret_cast<const char*>(size), 4);
    record += (install / longName).string().substr(0, kUninstallTextSize);
    StoreU32LE(files + 1, reinterpret_cast<uint8_t*>(log.data() + 8));
    log.insert(12, record);
    apptest::WriteFile(install / "uninstall.nfo", log);

    std::string output;
    EXPECT_EQ(stdtest::RunCommand("timeout 60 " + Quote((install / "VtlUnInst.exe").string()), &output), 0);
    EXPECT_NE(output.find("the log holds this path cut short"), std::string::npos) << output;
    EXPECT_NE(output.find("uninstall.nfo stays so that it can be run again"), std::string::npos) << output;
    EXPECT_TRUE(fs::exists(install / "uninstall.nfo"));
    EXPECT_EQ(FileString(install / longName), "the user's");
    EXPECT_FALSE(fs::exists(install / "VantrelViewer.exe"));
}

// Menu entries of a folder whose name holds '%', written through a menu folder the user
// linked elsewhere: the uninstaller finds and removes both.
TEST_F(HostileFiles, MenuEntriesThroughALinkedFolderAndWithPercentSignsGo) {
    std::string manifest = stdtest::CoreManifest();
    manifest.replace(manifest.find("text ShortCutName \\Demo"), 23, "text ShortCutName \\Studio\\Demo");
    const fs::path menus = home_ / "menus", programs = home_ / ".local/share/applications";
    fs::create_directories(menus);
    fs::create_directories(programs);
    fs::create_directory_symlink(menus, programs / "Studio");
    const fs::path install = scratch_.Path() / "Demo%1 100%";
    ASSERT_EQ(stdtest::InstallUnattended(Installer(manifest, "setup"), install, home_),
              std::vector<std::string>{kSuccessBox});
    ASSERT_TRUE(fs::exists(menus / "Demo.desktop"));
    ASSERT_TRUE(fs::exists(menus / "Demo Uninstall.desktop"));
    std::string output;
    EXPECT_EQ(stdtest::RunCommand("timeout 60 " + Quote((install / "VtlUnInst.exe").string()), &output), 0);
    EXPECT_FALSE(fs::exists(menus / "Demo.desktop")) << output;
    EXPECT_FALSE(fs::exists(menus / "Demo Uninstall.desktop")) << output;
    EXPECT_FALSE(fs::exists(install)) << output;
    EXPECT_EQ(output.find("skipped"), std::string::npos) << output;
}

// The registry store: lines it does not understand stay as they were, a link the user made
// at its name is followed, and six installs running side by side each keep their key.
TEST_F(HostileFiles, RegistryStoreKeepsWhatItDoesNotKnowAndEveryParallelWrite) {
    const fs::path config = home_ / ".config/vantrel", dotfiles = home_ / "dotfiles";
    fs::create_directories(config);
    fs::create_directories(dotfiles);
    const std::string foreign = "# kept by hand\nHKU\tSoftware\\Other\tName\tREG_SZ\tvalue\n"
                                "HKLM\tSOFTWARE\\Other\tCount\tREG_DWORD\t7\n";
    apptest::WriteFile(dotfiles / "registry", foreign);
    fs::create_symlink(dotfiles / "registry", config / "registry");

    std::string manifest = stdtest::CoreManifest();
    const size_t name = manifest.find("text ProjectName Demo");
    std::vector<std::thread> installs;
    std::vector<std::vector<std::string>> boxes(6);
    for (int i = 0; i < 6; ++i) {
        std::string own = manifest;
        own.replace(name, 21, "text ProjectName Demo" + std::to_string(i));
        const fs::path installer = Installer(own, "setup" + std::to_string(i));
        // A home of its own (for its message log), sharing the one configuration folder.
        const fs::path home = scratch_.Path() / ("home" + std::to_string(i));
        fs::create_directories(home);
        fs::create_directory_symlink(home_ / ".config", home / ".config");
        installs.emplace_back([&boxes, i, installer, home, install = scratch_.Path() / ("Demo" + std::to_string(i))] {
            boxes[i] = stdtest::InstallUnattended(installer, install, home);
        });
    }
    for (std::thread& t : installs) t.join();

    EXPECT_TRUE(fs::is_symlink(config / "registry"));
    const std::string store = FileString(dotfiles / "registry");
    EXPECT_EQ(store.substr(0, foreign.size()), foreign);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(boxes[i].size(), 1u);
        const std::string key = std::string("HKLM\t") + kUninstallKeyPrefix + "Demo" + std::to_string(i) + "\t";
        EXPECT_NE(store.find(key + "DisplayName\tREG_SZ\tDemo" + std::to_string(i) + "\n"), std::string::npos) << store;
        EXPECT_NE(store.find(key + "UninstallString\tREG_SZ\t"), std::string::npos) << store;
    }
}

// Files that say they unpack to far more than they hold: each limit is told by name, and
// nothing is inflated for the claim.
TEST_F(HostileFiles, ClaimsBeyondTheExpansionLimitsAreRefusedByName) {
    // Three channels of a few hundred bytes, each claiming 1000 MiB: the third passes the
    // 2 GiB one installation may unpack.
    apptest::WriteFile(project_ / "huge.bin", ClaimingCompressedFile(1000u << 20, 300));
    std::string manifest = stdtest::CoreManifest();
    for (int i = 0; i < 3; ++i) manifest += "raw channel \\Channels\\Huge" + std::to_string(i) + ".dll < huge.bin\n";
    const std::vector<std::string> boxes =
        stdtest::InstallUnattended(Installer(manifest, "setup"), scratch_.Path() / "Demo", home_);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[0].find("\\\\Channels\\\\Huge2.dll (the package unpacks to more than 2048 MiB in all)"),
              std::string::npos)
        << boxes[0];
    EXPECT_EQ(boxes[1], kSuccessBox);

    // A start file and a channel group claiming hundreds of megabytes.
    const fs::path dir = scratch_.Path() / "claims";
    fs::create_directories(dir);
    apptest::WriteFile(dir / "big.vtl", ClaimingCompressedFile(512u << 20, 600000));
    const std::vector<uint8_t> start = WriteStartFile({"\\start.cgr", 2, 1.0f});
    apptest::WriteFile(dir / "VtlStart.vtl", std::string(start.begin(), start.end()));
    apptest::WriteFile(dir / "start.cgr", ClaimingCompressedFile(300u << 20, 310000));
    const std::string viewer = Quote(stdtest::BuildFile("VantrelViewer.exe").string());
    const struct {
        std::string command;
        std::string message;
    } cases[] = {
        {viewer + " " + Quote((dir / "big.vtl").string()), "more than the 1048576 a start file may hold"},
        {viewer + " " + Quote((dir / "VtlStart.vtl").string()), "256 MiB, the limit for a project file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        std::string output;
        EXPECT_EQ(stdtest::RunCommand("timeout 60 " + c.command, &output), 1) << output;
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
    }
}

// Text nested without end is refused at a fixed depth instead of taking memory by the
// gigabyte; a log's control characters are listed escaped, never sent to the terminal.
TEST_F(HostileFiles, NestedTextAndControlCharactersEndWithAMessage) {
    apptest::WriteFile(scratch_.Path() / "nested.json", std::string(30000, '[') + std::string(30000, ']'));
    std::string output;
    EXPECT_EQ(stdtest::RunCommand("timeout 60 " + Quote(CGRTOOL_EXE) + " build " +
                                      Quote((scratch_.Path() / "nested.json").string()) + " " +
                                      Quote((scratch_.Path() / "out.cgr").string()),
                                  &output),
              1);
    EXPECT_NE(output.find("line 1: nested deeper than 100 levels"), std::string::npos) << output;

    const fs::path lone = scratch_.Path() / "lone";
    fs::create_directories(lone);
    fs::copy_file(stdtest::BuildFile("VtlUnInst.exe"), lone / "VtlUnInst.exe");
    std::string log = "UNFC";
    uint8_t n[4];
    StoreU32LE(4, n);
    log.append(reinterpret_cast<const char*>(n), 4);
    StoreU32LE(0, n);
    log.append(reinterpret_cast<const char*>(n), 4);
    log += "UNDC";
    StoreU32LE(4, n);
    log.append(reinterpret_cast<const char*>(n), 4);
    StoreU32LE(0, n);
    log.append(reinterpret_cast<const char*>(n), 4);
    log += "UNPN";
    StoreU32LE(kUninstallTextSize, n);
    log.append(reinterpret_cast<const char*>(n), 4);
    std::string name = "Demo\x1b]0;owned\x07\x1b[2J";
    name.resize(kUninstallTextSize, '\0');
    log += name;
    apptest::WriteFile(lone / "uninstall.nfo", log);
    EXPECT_EQ(stdtest::RunCommand(Quote((lone / "VtlUnInst.exe").string()) + " --list", &output), 0);
    EXPECT_EQ(output.find('\x1b'), std::string::npos);
    EXPECT_NE(output.find("project: Demo\\x1B]0;owned\\x07\\x1B[2J"), std::string::npos) << output;
}

}  // namespace

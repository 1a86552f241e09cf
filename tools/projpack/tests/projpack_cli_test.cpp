// The projpack program as a project author runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "project_fixture.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun Projpack(const std::string& args) {
    std::string command = std::string(PROJPACK_EXE) + " " + args + " 2>&1";
    ToolRun r{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
    int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string Q(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

}  // namespace

TEST(ProjpackCli, BuildListCheck) {
    fixture::Project p;
    ToolRun build = Projpack("build " + Q(p.manifest) + " " + Q(p.folder) + " " + Q(p.image) + " " +
                         Q(p.installer));
    ASSERT_EQ(0, build.status) << build.out;
    EXPECT_NE(std::string::npos, build.out.find("[16/16] compressed \\Stage\\camera.cgr")) << build.out;

    ToolRun list = Projpack("list " + Q(p.installer));
    ASSERT_EQ(0, list.status) << list.out;
    EXPECT_NE(std::string::npos, list.out.find("package start 4321, 30 entries")) << list.out;
    EXPECT_NE(std::string::npos, list.out.find("\tAPPDATA\tPROJECTTYPE\t4\t")) << list.out;
    EXPECT_NE(std::string::npos, list.out.find("\tpacked (2000 bytes)\n")) << list.out;

    ToolRun check = Projpack("check " + Q(p.installer));
    EXPECT_EQ(0, check.status) << check.out;
    EXPECT_NE(std::string::npos, check.out.find("checking 30/30")) << check.out;
    EXPECT_NE(std::string::npos, check.out.find("\nok\n")) << check.out;

    std::vector<uint8_t> bytes = p.Read(p.installer);
    bytes[bytes.size() - 10] ^= 1;
    fixture::Project::Write(p.installer, bytes);
    check = Projpack("check " + Q(p.installer));
    EXPECT_EQ(1, check.status) << check.out;
    EXPECT_NE(std::string::npos, check.out.find("CRC mismatch")) << check.out;
}

TEST(ProjpackCli, FailuresExitNonZero) {
    fixture::Project p;
    EXPECT_EQ(2, Projpack("").status);
    EXPECT_EQ(2, Projpack("frobnicate x").status);
    ToolRun noPackage = Projpack("check " + Q(p.image));
    EXPECT_EQ(1, noPackage.status);
    EXPECT_NE(std::string::npos, noPackage.out.find("Data header not found!")) << noPackage.out;
    EXPECT_EQ(1, Projpack("list " + Q(p.image)).status);

    // A package whose directory runs past the end of the file is refused with a reason.
    ToolRun build = Projpack("build " + Q(p.manifest) + " " + Q(p.folder) + " " + Q(p.image) + " " +
                             Q(p.installer));
    ASSERT_EQ(0, build.status) << build.out;
    std::vector<uint8_t> bytes = p.Read(p.installer);
    const std::vector<uint8_t> start(bytes.end() - 4, bytes.end());
    bytes.resize(bytes.size() - 1000);
    bytes.insert(bytes.end(), start.begin(), start.end());
    fixture::Project::Write(p.installer, bytes);
    for (const char* command : {"list ", "check "}) {
        ToolRun damaged = Projpack(command + Q(p.installer));
        EXPECT_EQ(1, damaged.status) << command;
        EXPECT_NE(std::string::npos, damaged.out.find("holds no readable package")) << damaged.out;
    }
    fixture::Project::Write(p.manifest, {'b', 'y', 't', 'e', ' ', 'x'});
    ToolRun bad = Projpack("build " + Q(p.manifest) + " " + Q(p.folder) + " " + Q(p.image) + " " +
                       Q(p.installer));
    EXPECT_EQ(1, bad.status);
    EXPECT_NE(std::string::npos, bad.out.find("line 1: a setting needs a name and a value"))
        << bad.out;
}

// Start-up and dispatch: the "ProjectType" value picks one runner or none, a missing value
// gives exactly one message, and the entry returns 0 on every path.
#include <gtest/gtest.h>

#include "app_test_support.h"
#include "installer/main_window.h"
#include "installer/program_entry.h"
#include "installer/project_installer.h"
#include "installer/project_type_dispatcher.h"
#include "package_bytes.h"

using apptest::ScopedFace;
using apptest::ScopedProgram;
using testpkg::Item;
using testpkg::U32;

namespace {

class RecordingDispatcher : public ProjectTypeDispatcher {
public:
    void RunInPlaceProject() override { ran += "run-in-place;"; }
    void RunStandardProject() override { ran += "standard;"; }
    void RunScreensaverProject() override { ran += "screensaver;"; }
    void RunWinampProject() override { ran += "winamp;"; }
    std::string ran;
};

std::vector<Item> TypeOnly(uint32_t type) { return {{"APPDATA", "PROJECTTYPE", U32(type)}}; }

TEST(ProjectTypeDispatch, EachTypeRunsItsRunnerAndOthersOnlySayWhy) {
    const std::pair<uint32_t, const char*> cases[] = {
        {1, "run-in-place;"}, {2, "standard;"}, {3, ""}, {4, ""}, {5, "screensaver;"},
        {6, "winamp;"}, {0, ""}, {7, ""}, {0xFFFFFFFF, ""}, {0x102, ""}};
    for (const auto& [type, expected] : cases) {
        testpkg::TempFile file(testpkg::Build(TypeOnly(type)));
        ScopedProgram program(file.Path());
        ScopedFace face;
        RecordingDispatcher dispatcher;
        dispatcher.Run();
        EXPECT_EQ(dispatcher.ran, expected) << "type " << type;
        if (*expected) {
            EXPECT_TRUE(face->Lines().empty()) << "type " << type;
        } else {
            ASSERT_EQ(face->Lines().size(), 1u) << "type " << type;
            EXPECT_EQ(face->Lines()[0][4],
                      "This installer cannot install a project of type " + std::to_string(type) + ".");
        }
    }
}

TEST(ProjectTypeDispatch, MissingTypeShowsOneMessage) {
    testpkg::TempFile file(testpkg::Build({{"APPDATA", "CHECKDX8", {1}},
                                           {"FILEINFO", "PROJECTTYPE", U32(2)}}));
    ScopedProgram program(file.Path());
    ScopedFace face;
    RecordingDispatcher dispatcher;
    dispatcher.Run();
    EXPECT_EQ(dispatcher.ran, "");
    ASSERT_EQ(face->Lines().size(), 1u);
    EXPECT_EQ(face->Lines()[0],
              (std::vector<std::string>{"box", "ok", "none", "Error", "Can't find project type"}));
}

TEST(ProjectTypeDispatch, EntryReturnsZeroOnEveryPath) {
    // No package at all: the reader's own box, then the dispatcher's.
    {
        testpkg::TempFile file(std::vector<uint8_t>(5000, 'x'));
        ScopedProgram program(file.Path());
        ScopedFace face;
        EXPECT_EQ(VantrelMain(nullptr, nullptr, "", 1), 0);
        EXPECT_EQ(face.Boxes(), (std::vector<std::string>{"|Data header not found!",
                                                          "Error|Can't find project type"}));
    }
    // A runner whose handler fails, and types without a runner.
    for (uint32_t type : {1u, 2u, 3u, 4u, 5u, 6u, 9u}) {
        testpkg::TempFile file(testpkg::Build(TypeOnly(type)));
        ScopedProgram program(file.Path());
        ScopedFace face;
        EXPECT_EQ(VantrelMain(nullptr, nullptr, "ignored arguments", 1), 0) << type;
    }
    EXPECT_STREQ(MainWindowClassName(), "VantrelExe Window");
    EXPECT_STREQ(MainWindowTitle(), "VantrelExe");
}

TEST(ProjectTypeDispatch, InstallerWithoutPackageFailsEveryRead) {
    class NoReader : public ProjectInstaller {
    public:
        NoReader() { packageReader_.reset(); }
    };
    testpkg::TempFile file(testpkg::Build(TypeOnly(2)));
    ScopedProgram program(file.Path());
    ScopedFace face;
    ProjectInstaller withPackage;
    uint8_t value[4] = {};
    EXPECT_TRUE(withPackage.ReadItem("ProjectType", value, 4, nullptr));
    EXPECT_EQ(value[0], 2);
    EXPECT_TRUE(withPackage.ReadItem("projecttype", nullptr, 0, "appdata"));
    ASSERT_EQ(withPackage.CurrentItemSize(), 4u);
    EXPECT_EQ(withPackage.CurrentItemData()[0], 2);

    NoReader without;
    EXPECT_FALSE(without.ReadItem("ProjectType", value, 4, nullptr));
    EXPECT_FALSE(without.ReadItem("ProjectType", nullptr, 0, nullptr));
    EXPECT_EQ(without.CurrentItemData(), nullptr);
    apptest::ScratchFolder scratch;
    without.SetInstallPath(scratch.Str());
    EXPECT_FALSE(without.ExtractItem("ProjectType", false));
}

}  // namespace

// Hostile install folders under Windows: a link to a folder elsewhere planted in the
// target before the installer runs, or swapped in for a folder again and again while the
// installer or the uninstaller runs. Neither writes nor removes through it; nothing
// outside is touched.
#include "programs_support.h"

#include <chrono>

namespace wintest {
namespace {

constexpr int kPieces = 100;

class WindowsHostileInstall : public ProgramsTest {
protected:
    void SetUp() override {
        ProgramsTest::SetUp();
        target_ = TempFolder() + "\\VantrelHostileTest";
        outside_ = TempFolder() + "\\VantrelHostileOutside";
        RemoveLinksAndTarget();
        RemoveTree(outside_);
        ASSERT_TRUE(::CreateDirectoryW(Wide(outside_).c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(Wide(work_ + "\\project\\Stage").c_str(), nullptr));
        std::string files;
        for (int i = 0; i < kPieces; ++i) {
            WriteText(work_ + "\\project\\Stage\\piece" + std::to_string(i) + ".txt", "piece " + std::to_string(i));
            files += "file \\Stage\\piece" + std::to_string(i) + ".txt\n";
        }
        ASSERT_NO_FATAL_FAILURE(BuildSetup("type standard\nbyte CheckDx8 0\nbyte RunAfterInstall 0\n"
                                           "text InstallPath Vantrel Hostile\n"
                                           "text ShortCutName \\Vantrel Hostile Tests\\Hostile\n"
                                           "text ProjectName Hostile Test\n" +
                                           CoreManifestLines() + files));
    }

    // The error's words when the target could not be removed.
    std::string RemoveLinksAndTarget() {
        for (const char* link : {"\\channels", "\\Stage"}) RemoveFolderLink(target_ + link);
        return RemoveTree(target_);
    }

    void TearDown() override {
        RemoveLinksAndTarget();
        RemoveTree(outside_);
        RemoveTree(KnownFolder(FOLDERID_Programs) + "\\Vantrel Hostile Tests");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                         L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelHostile Test");
        ProgramsTest::TearDown();
    }

    // Each piece is in the staging folder (or where the racer parked it), or the warning box
    // names it as not installed.
    void ExpectPiecesInsideOrNamed() {
        const std::string messages = Messages();
        for (int i = 0; i < kPieces; ++i) {
            const std::string name = "piece" + std::to_string(i) + ".txt", text = "piece " + std::to_string(i);
            if (ReadText(target_ + "\\Stage\\" + name) == text ||
                ReadText(target_ + "\\Stage.parked\\" + name) == text)
                continue;
            EXPECT_NE(messages.find(name + " ("), std::string::npos) << name << "\n" << messages;
        }
    }

    // Runs `act` while a racer on the host keeps swapping the staging folder for a link to
    // the outside folder and back, and adds to `swaps` how many times the link stood there.
    template <typename Act>
    void WhileStageSwapped(Act act, int& swaps) {
        HostFolderSwapper swapper;
        if (!swapper.Start(target_ + "\\Stage", outside_, work_))
            GTEST_SKIP() << "no host to race from: on Windows a held folder cannot be renamed";
        act();
        const int swapped = swapper.Stop();
        ASSERT_GE(swapped, 0) << "the racer did not report";
        swaps += swapped;
    }

    // Repeats `run` (one act under WhileStageSwapped and its checks) until 100 swaps and 3
    // runs have happened, with a fresh outside folder each time. The count, not the clock,
    // decides how long the race goes on; the time bound only stops a race that no longer
    // swaps.
    template <typename Run>
    void RaceUntilSwapped(Run run) {
        constexpr int kSwapsWanted = 100;
        const auto hangGuard = std::chrono::steady_clock::now() + std::chrono::minutes(4);
        int runs = 0, swaps = 0;
        while ((swaps < kSwapsWanted || runs < 3) && std::chrono::steady_clock::now() < hangGuard) {
            run(swaps);
            ++runs;
            if (IsSkipped()) return;
            if (HasFailure()) {
                ADD_FAILURE() << "in run " << runs << ", after " << swaps << " swaps in all";
                return;
            }
            RemoveLinksAndTarget();
            ASSERT_EQ(RemoveTree(outside_), "");
            ASSERT_TRUE(::CreateDirectoryW(Wide(outside_).c_str(), nullptr));
        }
        RecordProperty("swaps", swaps);
        RecordProperty("runs", runs);
        EXPECT_GE(swaps, kSwapsWanted) << runs << " runs before the time bound";
    }

    std::string target_, outside_;
};

TEST_F(WindowsHostileInstall, LinksPlantedInTheTargetAreNotWrittenThrough) {
    // Wine 8 makes no junctions: there the link is one of the host's file system.
    ASSERT_TRUE(::CreateDirectoryW(Wide(target_).c_str(), nullptr));
    ASSERT_TRUE(PlantFolderLink(target_ + "\\channels", outside_))
        << "no folder link could be made here; the target is " << (Exists(target_) ? "there" : "missing");
    ASSERT_EQ(Install(target_), 0) << Output();
    EXPECT_NE(Messages().find("There was an error while trying to copy one of the installation files."),
              std::string::npos)
        << Messages();
    EXPECT_TRUE(FolderSnapshot(outside_).empty());
    RemoveFolderLink(target_ + "\\channels");

    // The project's own folder as the link: its files are named as not installed.
    ASSERT_EQ(RemoveTree(target_), "");
    ASSERT_TRUE(::CreateDirectoryW(Wide(target_).c_str(), nullptr));
    ASSERT_TRUE(PlantFolderLink(target_ + "\\Stage", outside_));
    ASSERT_EQ(Install(target_), 0) << Output();
    EXPECT_NE(Messages().find("These files could not be installed:"), std::string::npos) << Messages();
    ExpectPiecesInsideOrNamed();
    EXPECT_TRUE(FolderSnapshot(outside_).empty());
}

// The staging folder swapped for a link to the outside folder and back, again and again, by
// a racer on the Wine host while the installer writes into it: every write lands inside
// (in the folder, wherever the racer has it) or fails and is named, never outside. On
// Windows the held folder cannot be renamed at all; the host's renames ignore that, so
// this is the race at its hardest.
TEST_F(WindowsHostileInstall, FolderSwappedForALinkWhileInstallingLeadsNowhere) {
    RaceUntilSwapped([&](int& swaps) {
        ASSERT_EQ(RemoveLinksAndTarget(), "");
        ASSERT_TRUE(::CreateDirectoryW(Wide(target_).c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(Wide(target_ + "\\Stage").c_str(), nullptr));
        int code = -1;
        ASSERT_NO_FATAL_FAILURE(WhileStageSwapped([&] { code = Install(target_); }, swaps));
        if (IsSkipped()) return;
        EXPECT_EQ(code, 0) << Output();
        for (const auto& [name, size] : FolderSnapshot(outside_)) ADD_FAILURE() << "written outside: " << name;
        ExpectPiecesInsideOrNamed();
    });
}

// The uninstaller removing the pieces while the staging folder is swapped in the same way
// for a link to a folder of byte-identical files with the same names: only the installed
// pieces may go.
TEST_F(WindowsHostileInstall, FolderSwappedForALinkWhileUninstallingLeadsNowhere) {
    RaceUntilSwapped([&](int& swaps) {
        ASSERT_EQ(RemoveLinksAndTarget(), "");
        ASSERT_TRUE(::CreateDirectoryW(Wide(target_).c_str(), nullptr));
        ASSERT_EQ(Install(target_), 0) << Output();
        ASSERT_EQ(ReadText(target_ + "\\Stage\\piece0.txt"), "piece 0");
        for (int i = 0; i < kPieces; ++i)
            WriteText(outside_ + "\\piece" + std::to_string(i) + ".txt", "piece " + std::to_string(i));
        ASSERT_NO_FATAL_FAILURE(WhileStageSwapped([&] { Uninstall(target_); }, swaps));
        if (IsSkipped()) return;
        for (int i = 0; i < kPieces; ++i) {
            const std::string name = "piece" + std::to_string(i) + ".txt";
            EXPECT_EQ(ReadText(outside_ + "\\" + name), "piece " + std::to_string(i)) << "removed outside: " << name;
        }
    });
}

}  // namespace
}  // namespace wintest

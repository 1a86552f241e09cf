// Hostile packages and files against the real programs: projinstall with packages built by
// projpack, the installed VtlUnInst.exe with an edited log, VantrelViewer.exe with broken
// start files, and a race that swaps a folder of the install tree for a link while
// installing. Nothing may be written or deleted outside the install folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <sstream>
#include <thread>

#include "app_test_support.h"
#include "package/little_endian.h"
#include "package/pointer_array.h"
#include "package/uninstall_log.h"
#include "os/registry.h"
#include "plugin_frame/engine_control.h"
#include "standard_test_support.h"
#include "start_file.h"
#include "tagfile/compressed_file.h"

namespace fs = std::filesystem;
using stdtest::FileString;
using stdtest::Quote;

namespace {

constexpr char kSuccessBox[] =
    "box\tok\tinformation\tDemo\tInstallation successfully completed!\\r\\nYou are able to find the "
    "installed program in the Start menu.";

// Collects what the uninstall-log writer saves, as the engine's saver would write it.
class MemorySaver final : public EngineFileSaver {
public:
    bool OpenFile(const char*, int) override { return true; }
    void SaveTag(const char* tag) override { bytes.append(tag, 4); }
    void SaveBlockSize(uint32_t n) override {
        uint8_t size[4];
        StoreU32LE(n, size);
        bytes.append(reinterpret_cast<const char*>(size), 4);
    }
    void SaveDataToFile(const void* data, uint32_t n) override { bytes.append(static_cast<const char*>(data), n); }
    bool CloseFile() override { return true; }
    void Destroy() override {}
    std::string bytes;
};

std::string Log(const std::vector<std::string>& files, const std::vector<std::string>& foldersInOrder,
                const char* project) {
    PointerArray fileList, folderList;
    for (const std::string& f : files) fileList.Add(const_cast<char*>(f.c_str()));
    for (const std::string& d : foldersInOrder) folderList.Add(const_cast<char*>(d.c_str()));
    MemorySaver saver;
    WriteUninstallRecords(saver, fileList, folderList, project, false);
    return saver.bytes;
}

bool Lists(const fs::path& install, const std::string& text) {
    return FileString(install / "uninstall.nfo").find(text) != std::string::npos;
}

class HostileInstall : public ::testing::Test {
protected:
    HostileInstall() : env_(scratch_.Path()) {
        fs::create_directories(home_);
        fs::create_directories(outside_);
        stdtest::MakeSampleProject(project_);
    }

    fs::path Installer(const std::string& extraManifest, const std::string& name = "setup") {
        const fs::path out = scratch_.Path() / name;
        EXPECT_EQ(stdtest::BuildInstaller(stdtest::CoreManifest() + extraManifest, project_, out), 0);
        return out;
    }

    // A screen-saver package of the core files with "VtlSvr.scr" from the project's
    // saver.bin.
    fs::path ScreensaverInstaller(const std::string& projectName) {
        const std::string core = stdtest::CoreManifest();
        const fs::path out = scratch_.Path() / "saver-setup";
        EXPECT_EQ(stdtest::BuildInstaller("type screensaver\nbyte CheckDx8 0\nbyte RunAfterInstall 0\n"
                                          "text InstallPath C:\\Saver\ntext ProjectName " + projectName +
                                              "\nbyte DoQuitCgr 1\nbyte DoSmallPreview 0\n"
                                              "packed VtlSvr.scr < saver.bin\n" + core.substr(core.find("packed ")),
                                          project_, out),
                  0);
        return out;
    }

    // Runs `act` while another thread keeps swapping `folder` for a link to the outside
    // folder and back (rename and symlink: a link where the folder was, then the folder
    // back); returns how many times the link stood there.
    template <typename Act>
    int WhileSwappedForALink(const fs::path& folder, Act act) {
        const fs::path parked = folder.string() + ".parked";
        std::atomic<bool> done{false};
        std::atomic<int> swaps{0};
        std::thread swapper([&] {
            while (!done) {
                if (::rename(folder.c_str(), parked.c_str()) != 0) continue;
                if (::symlink(outside_.c_str(), folder.c_str()) == 0) ++swaps;
                std::this_thread::yield();
                ::unlink(folder.c_str());
                ::rename(parked.c_str(), folder.c_str());
            }
        });
        act();
        done = true;
        swapper.join();
        return swaps;
    }

    // Repeats `run` (one act under WhileSwappedForALink, adding the swaps it saw to its
    // argument and checking what must hold afterwards) until 100 swaps and 3 runs have
    // happened. The count, not the clock, decides how long the race goes on, so a loaded
    // machine races longer; the time bound only stops a race that no longer swaps.
    template <typename Run>
    void RaceUntilSwapped(Run run) {
        constexpr int kSwapsWanted = 100;
        const auto hangGuard = std::chrono::steady_clock::now() + std::chrono::minutes(3);
        int runs = 0, swaps = 0;
        while ((swaps < kSwapsWanted || runs < 3) && std::chrono::steady_clock::now() < hangGuard) {
            run(swaps);
            ++runs;
            if (HasFatalFailure()) {
                ADD_FAILURE() << "after run " << runs;
                return;
            }
        }
        EXPECT_GE(swaps, kSwapsWanted) << runs << " runs before the time bound";
    }

    apptest::ScratchFolder scratch_;
    stdtest::ScopedInstallEnvironment env_;
    fs::path home_ = scratch_.Path() / "home";
    fs::path project_ = scratch_.Path() / "project";
    fs::path outside_ = scratch_.Path() / "outside";
    fs::path install_ = scratch_.Path() / "Demo";
};

TEST_F(HostileInstall, PackagesInstallWhatTheyCanAndNameTheRest) {
    const std::string compressed = FileString(project_ / "start.cgr");
    std::vector<uint8_t> broken = tagfile::PackCompressedFile(std::vector<uint8_t>(compressed.begin(), compressed.end()), 9);
    broken[broken.size() - 6] ^= 0x5A;  // the stream's end no longer checks out
    apptest::WriteFile(project_ / "broken.bin", std::string(broken.begin(), broken.end()));
    apptest::WriteFile(project_ / "plain.bin", "a library stored as it is");
    apptest::WriteFile(outside_ / "precious.txt", "precious");

    struct Case {
        const char* name;
        std::string manifest;
        std::function<void(const fs::path&)> plant;  // before installing
        std::string warning;                          // the warning box, after its first line
        std::vector<std::string> absent;              // neither on disk nor in the log
    };
    const std::vector<Case> cases = {
        {"engine listed twice", "channel \\Corvane.dll < " + stdtest::BuildFile("Corvane.dll").string() + "\n", {},
         "\\\\Corvane.dll (already written by this installation)", {}},
        {"log name planted as a link",
         "", [&](const fs::path& at) { fs::create_symlink(outside_ / "precious.txt", at / "UNINSTALL.NFO"); },
         "uninstall.nfo (write failure)", {}},
        {"undecodable channels",
         "raw channel \\Channels\\BROKEN.dll < broken.bin\nraw channel \\Channels\\PLAIN.dll < plain.bin\n", {},
         "\\\\Channels\\\\BROKEN.dll (cannot be unpacked)\\r\\n\\\\Channels\\\\PLAIN.dll (cannot be unpacked)",
         {"Channels\\BROKEN.dll", "Channels\\PLAIN.dll"}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        fs::remove_all(install_);
        fs::create_directories(install_);
        if (c.plant) c.plant(install_);
        const fs::path installer = Installer(c.manifest, "setup" + std::to_string(i));
        int code = -1;
        const std::vector<std::string> boxes = stdtest::InstallUnattended(installer, install_, home_, &code);
        EXPECT_EQ(code, 0);
        ASSERT_EQ(boxes.size(), 2u) << (boxes.empty() ? "" : boxes[0]);
        EXPECT_EQ(boxes[0], "box\tok\twarning\tInstallation Warning\tThese files could not be installed:\\r\\n" + c.warning);
        EXPECT_EQ(boxes[1], kSuccessBox);
        // The engine the installer loaded is whole, the outside file untouched.
        EXPECT_EQ(FileString(install_ / "Corvane.dll"), FileString(stdtest::BuildFile("Corvane.dll")));
        EXPECT_EQ(FileString(outside_ / "precious.txt"), "precious");
        for (const std::string& item : c.absent) {
            std::string native = item;
            std::replace(native.begin(), native.end(), '\\', '/');
            EXPECT_FALSE(fs::exists(install_ / native)) << item;
            EXPECT_FALSE(Lists(install_, item)) << item;
        }
    }
    // The package check names the entry that lands on the engine core.
    std::string output;
    EXPECT_EQ(stdtest::RunCommand(Quote(PROJPACK_EXE) + " check " + Quote((scratch_.Path() / "setup0").string()), &output), 1);
    EXPECT_NE(output.find("APPDATA/\\CORVANE.DLL: lands on the same file as APPDATA/CORVANE.DLL"), std::string::npos)
        << output;
}

// Files planted in the install folder before installing: another spelling of the engine
// core (a library that leaves a trace when loaded), a hard link or a FIFO at the log's name,
// and folders that someone else owns or others may write into.
TEST_F(HostileInstall, PlantedFilesAreNeitherLoadedNorWrittenThrough) {
    const fs::path trace = scratch_.Path() / "trace";
    env_.Set("VANTREL_TEST_TRACE", trace.string());
    apptest::WriteFile(outside_ / "precious.txt", "precious");
    const std::string refused = "box\tok\terror\tInstallation Error\tThe folder " + install_.string() +
                                " belongs to another user or others may write into it.\\r\\nChoose a folder of "
                                "your own; nothing was installed.";
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> plant;
        std::vector<std::string> boxes;
        bool installs;  // the engine core lands, whole
    };
    std::vector<Case> cases = {
        {"engine core under two spellings",
         [](const fs::path& at) {
             apptest::WriteFile(at / "Corvane.dll", "left by an older installation");
             fs::copy_file(TRACE_LIBRARY, at / "corvane.dll");
         },
         {kSuccessBox}, true},
        {"log name hard-linked to an outside file",
         [&](const fs::path& at) { fs::create_hard_link(outside_ / "precious.txt", at / "uninstall.nfo"); },
         {kSuccessBox}, true},
        {"log name is a FIFO",
         [](const fs::path& at) { ASSERT_EQ(::mkfifo((at / "uninstall.nfo").c_str(), 0600), 0); },
         {"box\tok\twarning\tInstallation Warning\tThese files could not be installed:\\r\\nuninstall.nfo (write "
          "failure)",
          kSuccessBox},
         true},
        {"folder others may write into",
         [](const fs::path& at) { fs::permissions(at, fs::perms::others_write, fs::perm_options::add); },
         {refused}, false},
    };
    if (::geteuid() == 0)
        cases.push_back({"folder of another user",
                         [](const fs::path& at) { ASSERT_EQ(::chown(at.c_str(), 65534, 65534), 0); },
                         {refused}, false});
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        fs::remove_all(install_);
        fs::remove(trace);
        fs::create_directories(install_);
        c.plant(install_);
        int code = -1;
        EXPECT_EQ(stdtest::InstallUnattended(Installer("", "planted" + std::to_string(i)), install_, home_, &code),
                  c.boxes);
        EXPECT_EQ(code, 0);
        EXPECT_FALSE(fs::exists(trace)) << "the planted library was loaded";
        EXPECT_EQ(FileString(outside_ / "precious.txt"), "precious");
        EXPECT_EQ(fs::exists(install_ / "channels"), c.installs);
        if (c.installs) {
            EXPECT_EQ(FileString(install_ / "Corvane.dll"), FileString(stdtest::BuildFile("Corvane.dll")));
        }
    }
}

// A screen saver's uninstaller takes away both keys that name its folder, the uninstall key
// and the viewer key, and nothing of another project's.
TEST_F(HostileInstall, ScreensaverUninstallLeavesNoKeyNamingItsFolder) {
    apptest::WriteFile(project_ / "saver.bin", "the screen saver program\n");
    env_.Set("VANTREL_SYSTEM_DIR", (scratch_.Path() / "system").string());
    ASSERT_EQ(stdtest::InstallUnattended(ScreensaverInstaller("Demo"), install_, home_).size(), 1u);
    const std::string registry = (home_ / ".config/vantrel/registry").string();
    env_.Set("VANTREL_REGISTRY_FILE", registry);
    const std::string viewerKey = std::string(kViewerKeyPrefix) + "\\Demo";
    ASSERT_TRUE(os::RegistryGetString(os::RegistryRoot::LocalMachine, viewerKey, "DisplayName"));
    const std::string otherKey = std::string(kViewerKeyPrefix) + "\\Other";
    ASSERT_TRUE(os::RegistrySetString(os::RegistryRoot::LocalMachine, otherKey, "DisplayName", "/other", 6));
    std::string output;
    EXPECT_EQ(stdtest::RunCommand("env VANTREL_REGISTRY_FILE=" + Quote(registry) + " " +
                                      Quote((install_ / "VtlUnInst.exe").string()), &output), 0);
    EXPECT_FALSE(os::RegistryGetString(os::RegistryRoot::LocalMachine, viewerKey, "DisplayName")) << output;
    EXPECT_FALSE(os::RegistryGetString(os::RegistryRoot::LocalMachine, std::string(kUninstallKeyPrefix) + "Demo",
                                       "UninstallString"));
    EXPECT_EQ(os::RegistryGetString(os::RegistryRoot::LocalMachine, otherKey, "DisplayName"), "/other");
    EXPECT_FALSE(fs::exists(install_)) << output;
}

TEST_F(HostileInstall, EditedLogRemovesNothingThatIsNotThisInstallations) {
    ASSERT_EQ(stdtest::InstallUnattended(Installer(""), install_, home_), std::vector<std::string>{kSuccessBox});
    const std::string at = install_.string() + "\\";
    // Bait: a user file, files reached by "..", by case, through a linked folder, an empty
    // folder elsewhere, a desktop entry of another program and another project's key.
    apptest::WriteFile(home_ / ".bashrc", "the user's");
    apptest::WriteFile(outside_ / "victim.txt", "victim");
    fs::create_directories(outside_ / "empty");
    fs::create_directory_symlink(outside_, install_ / "linked");
    const fs::path entry = home_ / ".local/share/applications/Other.desktop";
    apptest::WriteFile(entry, "[Desktop Entry]\nExec=\"/usr/bin/other\"\n");
    std::string upper = (outside_ / "victim.txt").string();
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    const std::string registry = (home_ / ".config/vantrel/registry").string();
    ::setenv("VANTREL_REGISTRY_FILE", registry.c_str(), 1);
    const std::string otherKey = std::string(kUninstallKeyPrefix) + "Other";
    ASSERT_TRUE(os::RegistrySetString(os::RegistryRoot::LocalMachine, otherKey, "UninstallString", "/other/VtlUnInst.exe", 20));

    apptest::WriteFile(install_ / "uninstall.nfo",
                       Log({(home_ / ".bashrc").string(), at + "..\\outside\\victim.txt", upper,
                            at + "linked\\victim.txt", entry.string(), at + "VantrelViewer.exe",
                            at + "VtlUnInst.exe"},
                           {(outside_ / "empty").string() + "\\"}, "Other"));
    std::string output;
    EXPECT_EQ(stdtest::RunCommand("env VANTREL_REGISTRY_FILE=" + Quote(registry) + " " +
                                      Quote((install_ / "VtlUnInst.exe").string()), &output), 0);
    EXPECT_EQ(FileString(home_ / ".bashrc"), "the user's");
    EXPECT_EQ(FileString(outside_ / "victim.txt"), "victim");
    EXPECT_TRUE(fs::is_directory(outside_ / "empty"));
    EXPECT_TRUE(fs::exists(entry));
    EXPECT_EQ(os::RegistryGetString(os::RegistryRoot::LocalMachine, otherKey, "UninstallString"), "/other/VtlUnInst.exe");
    // What is this installation's still goes, and every skip is told with its reason.
    EXPECT_FALSE(fs::exists(install_ / "VantrelViewer.exe"));
    size_t skips = 0;
    for (size_t at = output.find("skipped"); at != std::string::npos; at = output.find("skipped", at + 1)) ++skips;
    EXPECT_EQ(skips, 7u) << output;
    EXPECT_NE(output.find("linked\\victim.txt: reached through a link"), std::string::npos) << output;
    EXPECT_NE(output.find("VantrelOther: its UninstallString names another uninstaller"), std::string::npos) << output;
}

TEST_F(HostileInstall, BadInputOutsideThePackageEndsWithAMessage) {
    ASSERT_EQ(stdtest::InstallUnattended(Installer(""), install_, home_), std::vector<std::string>{kSuccessBox});
    const std::string viewer = Quote((install_ / "VantrelViewer.exe").string());
    StartFile runaway;
    runaway.startGroup = "\\start.cgr";
    runaway.frames = 536871162;
    const std::vector<uint8_t> runawayBytes = WriteStartFile(runaway);
    apptest::WriteFile(install_ / "runaway.vtl", std::string(runawayBytes.begin(), runawayBytes.end()));
    StartFile folderGroup = runaway;
    folderGroup.startGroup = "\\Stage";
    folderGroup.frames = 5;
    const std::vector<uint8_t> folderGroupBytes = WriteStartFile(folderGroup);
    apptest::WriteFile(install_ / "folder-group.vtl", std::string(folderGroupBytes.begin(), folderGroupBytes.end()));
    fs::create_directories(install_ / "Stage");
    fs::create_directories(install_ / "Folder.vtl");

    const struct {
        const char* name;
        std::function<void()> prepare;
        std::string command;
        std::string message;
    } cases[] = {
        {"start file is a folder", {}, viewer + " " + Quote((install_ / "Folder.vtl").string()), "not a file"},
        {"start group is a folder", {}, viewer + " " + Quote((install_ / "folder-group.vtl").string()),
         "can't load project"},
        {"frame count out of bounds", {}, viewer + " " + Quote((install_ / "runaway.vtl").string()),
         "asks for 536871162 frames"},
        {"log is a folder",
         [&] {
             fs::remove(install_ / "uninstall.nfo");
             fs::create_directory(install_ / "uninstall.nfo");
         },
         Quote((install_ / "VtlUnInst.exe").string()) + " --list", "missing or not a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.prepare) c.prepare();
        std::string output;
        EXPECT_EQ(stdtest::RunCommand("timeout 20 " + c.command, &output), 1);
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
    }
}

// A folder of the install tree swapped for a link to an outside folder, again and again
// while the installer writes into it: the writes fail or land inside, never outside.
TEST_F(HostileInstall, FolderSwappedForALinkWhileInstallingLeadsNowhere) {
    std::string manifest;
    fs::create_directories(project_ / "Stage");
    for (int i = 0; i < 40; ++i) {
        const std::string name = "\\Stage\\part" + std::to_string(i) + ".txt";
        apptest::WriteFile(project_ / ("Stage/part" + std::to_string(i) + ".txt"), "part " + std::to_string(i));
        manifest += "file " + name + "\n";
    }
    const fs::path installer = Installer(manifest);
    const fs::path stage = install_ / "Stage";
    RaceUntilSwapped([&](int& swaps) {
        fs::remove_all(install_);
        fs::create_directories(stage);
        swaps += WhileSwappedForALink(stage, [&] { stdtest::InstallUnattended(installer, install_, home_); });
        ASSERT_TRUE(fs::is_empty(outside_));
    });
}

// The screen saver's copy into the system folder, with a folder below it swapped for a link
// in the same way: the copy lands in that folder or nowhere.
TEST_F(HostileInstall, SystemFolderSwappedForALinkWhileCopyingLeadsNowhere) {
    apptest::WriteFile(project_ / "saver.bin", "the screen saver program\n");
    const fs::path installer = ScreensaverInstaller("Savers\\Demo");
    const fs::path system = scratch_.Path() / "system";
    const fs::path savers = system / "Savers";
    env_.Set("VANTREL_SYSTEM_DIR", system.string());
    RaceUntilSwapped([&](int& swaps) {
        fs::remove_all(install_);
        fs::remove_all(system);
        fs::create_directories(savers);
        swaps += WhileSwappedForALink(savers, [&] { stdtest::InstallUnattended(installer, install_, home_); });
        ASSERT_TRUE(fs::is_empty(outside_));
    });
}

// The uninstaller removing the screen saver's copy while the folder holding it is swapped
// for a link to a folder with a same-named, byte-identical file: only the real copy may go.
TEST_F(HostileInstall, SystemFolderSwappedForALinkWhileUninstallingLeadsNowhere) {
    const std::string saver = "the screen saver program\n";
    apptest::WriteFile(project_ / "saver.bin", saver);
    const fs::path installer = ScreensaverInstaller("Savers\\Demo");
    const fs::path system = scratch_.Path() / "system";
    const fs::path savers = system / "Savers";
    env_.Set("VANTREL_SYSTEM_DIR", system.string());
    const fs::path bait = outside_ / "Demo.scr";
    const auto install = [&] {
        fs::remove_all(install_);
        fs::remove_all(system);
        fs::create_directories(savers);
        stdtest::InstallUnattended(installer, install_, home_);
        ASSERT_EQ(FileString(savers / "Demo.scr"), saver);
    };
    const std::string uninstall = Quote((install_ / "VtlUnInst.exe").string());
    // Unraced, the copy in its folder goes.
    install();
    EXPECT_EQ(stdtest::RunCommand(uninstall), 0);
    EXPECT_FALSE(fs::exists(savers / "Demo.scr"));

    RaceUntilSwapped([&](int& swaps) {
        ASSERT_NO_FATAL_FAILURE(install());
        apptest::WriteFile(bait, saver);
        swaps += WhileSwappedForALink(savers, [&] { stdtest::RunCommand(uninstall); });
        ASSERT_EQ(FileString(bait), saver);
    });
}

// A disk that fills up: the installer says so once, naming the file that did not fit, and
// writes nothing more. The disk is a small tmpfs mounted in a mount namespace of the
// installer's own, so nothing outside the test sees it.
TEST_F(HostileInstall, FullDiskStopsWithOneMessageNamingTheFile) {
    apptest::WriteFile(project_ / "saver.bin", std::string(8u << 20, '\0'));  // 8 MiB unpacked
    const fs::path standard = Installer(""), saver = ScreensaverInstaller("Demo"), player = scratch_.Path() / "play";
    const std::string core = stdtest::CoreManifest();
    ASSERT_EQ(stdtest::BuildInstaller("type run-in-place\nbyte CheckDx8 0\n" + core.substr(core.find("packed ")),
                                      project_, player),
              0);
    auto size = [](const char* file) { return uint64_t(fs::file_size(stdtest::BuildFile(file))); };
    uint64_t saverCore = size("Corvane.dll") + size("VtlUnInst.exe") + (256u << 10);
    for (const char* channel : stdtest::kCoreChannelFiles) {
        std::string native = channel;
        std::replace(native.begin(), native.end(), '\\', '/');
        saverCore += size(native.c_str());
    }
    ASSERT_GT(size("Corvane.dll"), 64u << 10);  // the margin below is smaller than the engine core
    std::vector<std::string> saverKept = {"Corvane.dll", "VtlStart.vtl", "VtlUnInst.exe", "channels"};
    for (const char* channel : stdtest::kCoreChannelFiles) {
        saverKept.push_back(channel);
        std::replace(saverKept.back().begin(), saverKept.back().end(), '\\', '/');
    }

    const struct {
        const char* name;
        fs::path installer;
        uint64_t room;              // bytes of the disk
        const char* full;               // the file that does not fit
        const char* folder;             // the install folder on the disk
        std::vector<std::string> kept;  // what is in it afterwards
    } cases[] = {
        {"no room for the first file", standard, 4096, "VantrelViewer.exe", "Demo", {}},
        {"room for the viewer only", standard, size("VantrelViewer.exe") + (32u << 10), "Corvane.dll", "Demo",
         {"VantrelViewer.exe"}},
        {"screen saver without room for its program", saver, saverCore, "VtlSvr.scr", "Demo", saverKept},
        {"run in place in a full temporary folder", player, 4096, "VantrelViewer.exe", "Vantrel0", {}},
    };
    const fs::path disk = scratch_.Path() / "disk", listing = scratch_.Path() / "listing";
    env_.Set("TMPDIR", disk.string());  // run in place unpacks there
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(disk);
        // Mounted only for the installer and a listing of what it left; gone with them.
        const fs::path script = scratch_.Path() / "on-small-disk.sh";
        apptest::WriteFile(script, std::string("#!/bin/sh\n") +
                                       "dir=" + Quote(disk.string()) + " installer=" + Quote(c.installer.string()) +
                                       " listing=" + Quote(listing.string()) + " room=" + std::to_string(c.room) +
                                       "\nexport dir installer listing room\nexec unshare " +
                                       (::geteuid() == 0 ? "-m" : "-r -m") +
                                       " sh -c 'mount -t tmpfs -o size=$room tmpfs \"$dir\" || exit 97\n"
                                       "\"$installer\"; code=$?\n"
                                       "(cd \"$dir\" && find . -mindepth 1) >\"$listing\"\nexit $code'\n");
        fs::permissions(script, fs::perms::owner_exec, fs::perm_options::add);
        int code = -1;
        const std::vector<std::string> boxes =
            stdtest::InstallUnattended(script, disk / "Demo", home_, &code);
        if (code != 0) GTEST_SKIP() << "no tmpfs in a private mount namespace here (exit " << code << ")";
        EXPECT_EQ(boxes, std::vector<std::string>{
                             std::string("box\tok\terror\tInstallation Error\tThere is not enough free disk space "
                                         "to install ") + c.full + ".\\r\\nThe installation stops here."});
        const std::string folder = std::string("./") + c.folder;
        std::set<std::string> expected = {folder}, listed;
        for (const std::string& k : c.kept) expected.insert(folder + "/" + k);
        std::istringstream lines(FileString(listing));
        for (std::string line; std::getline(lines, line);) listed.insert(line);
        EXPECT_EQ(listed, expected);  // no log, no half-written or temporary file
        EXPECT_FALSE(fs::exists(home_ / ".config/vantrel/registry"));
        EXPECT_FALSE(fs::exists(home_ / ".local/share/applications"));
        EXPECT_TRUE(fs::is_empty(disk));  // the tmpfs went with its namespace
    }
}

}  // namespace

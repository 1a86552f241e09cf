// The sample as a Windows user gets it (under Wine in CI): projpack packs the sample project
// behind projinstall.exe by demo-windows.manifest, the package installs unattended into
// Program Files, the registry holds its uninstall key and the Programs folder its real shell
// links to the installed viewer, the installed viewer plays the project headless (the
// physics brings the boxes to rest 0.5 up) and writes frame 180 as a PNG, and VtlUnInst.exe
// takes away every file, link and key the install made and nothing else. The frame stays in
// <build>\sample-windows-test\installed-frames, where scripts/windows/compare-pictures.sh
// compares it with the Linux build's frame 180.
#include <gtest/gtest.h>
#include "programs_support.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Files, programs and known folders as the installer's end-to-end tests reach them.
using wintest::BuildFolder;
using wintest::KnownFolder;
using wintest::Narrow;
using wintest::Quote;
using wintest::ReadText;
using wintest::RemoveTree;
using wintest::RunProgram;
using wintest::Wide;
using wintest::WriteText;

std::optional<std::string> RegistryText(const std::wstring& key, const wchar_t* name) {
    wchar_t text[1024];
    DWORD size = sizeof text;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return Narrow(text);
}

// Every file below `folder`, as paths relative to it in lower case (names are compared as
// Windows compares them).
std::set<std::string> FilesBelow(const std::string& folder) {
    std::set<std::string> files;
    std::error_code error;
    const std::filesystem::path root(Wide(folder));
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file()) continue;
        std::wstring name = it->path().lexically_relative(root).wstring();
        ::CharLowerBuffW(name.data(), DWORD(name.size()));
        files.insert(Narrow(name));
    }
    return files;
}

// The links straight in `folder` (the desktop may be the user's home under Wine: not walked).
std::set<std::string> LinksIn(const std::string& folder) {
    std::set<std::string> links;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(std::filesystem::path(Wide(folder)), error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        if (it->path().extension() == L".lnk") links.insert(Narrow(it->path().filename().wstring()));
    return links;
}

// Where a shell link points: its target, arguments and working folder, read back through the
// shell's own link object.
struct LinkTarget {
    std::string path, arguments;
};
std::optional<LinkTarget> ReadLink(const std::string& file) {
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))))
        return std::nullopt;
    std::optional<LinkTarget> out;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        wchar_t path[MAX_PATH] = {}, arguments[MAX_PATH] = {};
        if (SUCCEEDED(persist->Load(Wide(file).c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
            SUCCEEDED(link->GetArguments(arguments, MAX_PATH)))
            out = LinkTarget{Narrow(path), Narrow(arguments)};
        persist->Release();
    }
    link->Release();
    return out;
}

// The number after "  <name> = " in the viewer's report, or NaN.
double ReportedValue(const std::string& report, const std::string& name) {
    const std::string key = "  " + name + " = ";
    const size_t at = report.find(key);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(report.c_str() + at + key.size(), nullptr);
}

// A PNG file's pixels (0xAARRGGBB, top row first), read through libpng; empty when the file
// is missing or not a PNG.
struct Frame {
    unsigned width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};
Frame ReadFrame(const std::string& path) {
    std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Frame frame;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (bytes.empty() || !png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return frame;
    image.format = PNG_FORMAT_BGRA;
    std::vector<std::uint32_t> pixels(std::size_t{image.width} * image.height);
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        frame.width = image.width;
        frame.height = image.height;
        frame.pixels = std::move(pixels);
    }
    png_image_free(&image);
    return frame;
}

class SampleOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        build_ = BuildFolder();
        work_ = build_ + "\\sample-windows-test";
        RemoveTree(work_);
        ASSERT_TRUE(::CreateDirectoryW(Wide(work_).c_str(), nullptr));
    }
    void TearDown() override { ::CoUninitialize(); }

    int Tool(const std::string& program, const std::string& arguments) {
        return RunProgram(Quote(build_ + "\\" + program) + " " + arguments, work_, work_ + "\\output.txt");
    }
    std::string Output() { return ReadText(work_ + "\\output.txt"); }

    std::string build_, work_;
};

TEST_F(SampleOnWindows, InstallsPlaysAndUninstalls) {
    ASSERT_EQ(Tool("projpack.exe", "build " + Quote(build_ + "\\demo-windows.manifest") + " " +
                                       Quote(build_ + "\\sample-project") + " " +
                                       Quote(build_ + "\\projinstall.exe") + " VantrelSample.exe"),
              0)
        << Output();
    ASSERT_EQ(Tool("projpack.exe", "check VantrelSample.exe"), 0) << Output();

    const std::string programFiles = KnownFolder(FOLDERID_ProgramFiles);
    const std::string programs = KnownFolder(FOLDERID_Programs);
    const std::string desktop = KnownFolder(FOLDERID_Desktop);
    ASSERT_FALSE(programFiles.empty() || programs.empty() || desktop.empty());
    const std::string target = programFiles + "\\Vantrel Sample Test";
    const std::string links = programs + "\\Vantrel Samples";
    const std::wstring uninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantrelSample";
    const std::wstring viewerKey = L"SOFTWARE\\Borrin\\Vantrel Viewers\\2.00.000\\Sample";
    RemoveTree(target);
    RemoveTree(links);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstallKey.c_str());
    // A folder of the user's with a file in it: the uninstall must leave it.
    ASSERT_TRUE(::CreateDirectoryW(Wide(target).c_str(), nullptr));
    WriteText(target + "\\notes.txt", "mine");
    const std::set<std::string> desktopBefore = LinksIn(desktop);
    const std::set<std::string> programsBefore = FilesBelow(programs);

    // Only the system's folders on the search path: what the installed programs load comes
    // from the package.
    wchar_t system[MAX_PATH];
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::wstring savedPath(32768, L'\0');
    savedPath.resize(::GetEnvironmentVariableW(L"PATH", savedPath.data(), DWORD(savedPath.size())));
    ::SetEnvironmentVariableW(L"PATH", system);
    ::SetEnvironmentVariableW(L"VANTREL_UNATTENDED", L"1");
    ::SetEnvironmentVariableW(L"VANTREL_INSTALL_DIR", Wide(target).c_str());
    ::SetEnvironmentVariableW(L"VANTREL_MESSAGE_LOG", Wide(work_ + "\\messages.log").c_str());
    const int installed = RunProgram(Quote(work_ + "\\VantrelSample.exe"), work_, work_ + "\\output.txt");
    ::SetEnvironmentVariableW(L"VANTREL_UNATTENDED", nullptr);
    ::SetEnvironmentVariableW(L"VANTREL_INSTALL_DIR", nullptr);
    ::SetEnvironmentVariableW(L"VANTREL_MESSAGE_LOG", nullptr);
    ASSERT_EQ(installed, 0) << Output() << ReadText(work_ + "\\messages.log");

    const std::set<std::string> installedFiles = FilesBelow(target);
    for (const char* file : {"vantrelviewer.exe", "corvane.dll", "vtluninst.exe", "libstdc++-6.dll",
                             "libode_double.dll", "vtlstart.vtl", "start.cgr", "uninstall.nfo",
                             "channels\\fileloader.dll", "channels\\8df0d3e6-a5e2-51f1-acf7-6159952c4847.dll",
                             "channels\\612b6edb-e73e-59b5-a27b-9884457842a9.dll"})
        EXPECT_EQ(installedFiles.count(file), 1u) << file;

    // The uninstall key, read through the registry API and through reg.exe as a user would.
    EXPECT_EQ(RegistryText(uninstallKey, L"DisplayName"), "Sample");
    EXPECT_EQ(RegistryText(uninstallKey, L"UninstallString"), target + "\\VtlUnInst.exe");
    ASSERT_EQ(RunProgram("reg.exe query \"HKLM\\" + Narrow(uninstallKey) + "\"", work_, work_ + "\\reg.txt"), 0);
    const std::string query = ReadText(work_ + "\\reg.txt");
    EXPECT_NE(query.find("DisplayName"), std::string::npos) << query;
    EXPECT_NE(query.find(target + "\\VtlUnInst.exe"), std::string::npos) << query;
    // The viewer key belongs to the screen-saver and player types; a standard install has none.
    EXPECT_FALSE(RegistryText(viewerKey, L"DisplayName"));

    // Start-menu links made by the shell, pointing at the installed programs; nothing on the
    // desktop (a standard install makes Programs links only).
    const std::optional<LinkTarget> viewerLink = ReadLink(links + "\\Sample.lnk");
    ASSERT_TRUE(viewerLink);
    EXPECT_EQ(viewerLink->path, target + "\\VantrelViewer.exe");
    EXPECT_EQ(viewerLink->arguments, "VtlStart.vtl");
    const std::optional<LinkTarget> uninstallLink = ReadLink(links + "\\Sample Uninstall.lnk");
    ASSERT_TRUE(uninstallLink);
    EXPECT_EQ(uninstallLink->path, target + "\\VtlUnInst.exe");
    EXPECT_EQ(LinksIn(desktop), desktopBefore);

    // The installed viewer plays the project headless as its link starts it: the physics
    // brings the boxes to rest with their centres 0.5 up, which "height" reports. It writes
    // frame 180 on the way, drawn by the system's Direct3D 8 at the viewer's default size.
    const std::string frames = work_ + "\\installed-frames";
    ASSERT_EQ(RunProgram(Quote(target + "\\VantrelViewer.exe") + " VtlStart.vtl --quiet --png " + Quote(frames) +
                             " --pick 180",
                         target, work_ + "\\viewer.txt"),
              0)
        << ReadText(work_ + "\\viewer.txt");
    const std::string ran = ReadText(work_ + "\\viewer.txt");
    EXPECT_NE(ran.find(" frames"), std::string::npos) << ran;
    EXPECT_NEAR(ReportedValue(ran, "height"), 0.5, 0.02) << ran;
    EXPECT_EQ(ReportedValue(ran, "dot"), 32.0) << ran;
    EXPECT_EQ(FilesBelow(frames), (std::set<std::string>{"frame_0180.png"}));
    const Frame frame = ReadFrame(frames + "\\frame_0180.png");
    EXPECT_EQ(frame.width, 640u);
    EXPECT_EQ(frame.height, 480u);
    // Not blank: a scene with a lit ground, bodies and shadows has many colours; a cleared or
    // unread back buffer has one.
    std::vector<std::uint32_t> colours = frame.pixels;
    std::sort(colours.begin(), colours.end());
    const auto distinct = std::unique(colours.begin(), colours.end()) - colours.begin();
    EXPECT_GT(distinct, 100) << "frame 180 has " << distinct << " colours";

    // The uninstaller hands its work to a copy of itself and ends: wait for every process
    // it started.
    ASSERT_EQ(RunProgram(Quote(target + "\\VtlUnInst.exe"), target, work_ + "\\uninstall.txt", true), 0)
        << ReadText(work_ + "\\uninstall.txt");
    ::SetEnvironmentVariableW(L"PATH", savedPath.empty() ? nullptr : savedPath.c_str());
    // What stays: the user's file only; the uninstaller and its log are gone too.
    EXPECT_EQ(FilesBelow(target), (std::set<std::string>{"notes.txt"}));
    EXPECT_EQ(ReadText(target + "\\notes.txt"), "mine");
    EXPECT_EQ(FilesBelow(programs), programsBefore);
    EXPECT_FALSE(RegistryText(uninstallKey, L"DisplayName"));
    EXPECT_FALSE(RegistryText(uninstallKey, L"UninstallString"));
    EXPECT_EQ(LinksIn(desktop), desktopBefore);
    RemoveTree(target);
}

}  // namespace

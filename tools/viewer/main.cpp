// Stand-in for the viewer program: loads a start file and its project through the engine
// and runs it for the frames the start file asks for (or --frames N). A project with a
// scene is drawn through the device every frame, off screen unless --window asks for an
// FLTK GL window; --png FOLDER writes each frame there as frame_NNNN.png.
//
//   VantrelViewer.exe [start file] [--frames N] [--png FOLDER] [--size WxH] [--window]
//
// The start file defaults to "VtlStart.vtl" in the current folder; channel libraries are
// taken from the "channels" folder beside it. Exit code 0 after a run, 1 when the project
// cannot be loaded, 2 for bad arguments.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "engine_host.h"
#include "frame_output.h"
#include "os/native_path.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/type_guids.h"
#include "start_file.h"

namespace {

std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? "." : path.substr(0, cut);
}

}  // namespace

int main(int argc, char** argv) {
    std::string startPath = "VtlStart.vtl";
    long frameOverride = -1;
    FrameOutput output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--png") == 0 && i + 1 < argc) {
            output.pngFolder = argv[++i];
        } else if (std::strcmp(argv[i], "--window") == 0) {
            output.window = true;
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            unsigned w = 0, h = 0;
            char tail = 0;
            if (std::sscanf(argv[++i], "%ux%u%c", &w, &h, &tail) != 2 || w == 0 || h == 0 || w > 8192 || h > 8192) {
                std::fprintf(stderr, "VantrelViewer: --size takes WIDTHxHEIGHT, each 1 to 8192\n");
                return 2;
            }
            output.width = w;
            output.height = h;
        } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            char* end = nullptr;
            frameOverride = std::strtol(argv[++i], &end, 10);
            if (!end || *end || frameOverride < 0) {
                std::fprintf(stderr, "VantrelViewer: --frames takes a whole number\n");
                return 2;
            }
        } else {
            startPath = argv[i];
        }
    }

    std::ifstream in(os::NativePath(startPath), std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "VantrelViewer: can't open start file %s\n", startPath.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::optional<StartFile> start = ReadStartFile(bytes);
    if (!start) {
        std::fprintf(stderr, "VantrelViewer: %s is not a valid start file\n", startPath.c_str());
        return 1;
    }

    const std::string folder = FolderOf(startPath);
    EngineHost host(folder + "\\channels");
    const std::string groupPath = folder + "\\" + start->startGroup;
    if (!host.Load(groupPath)) {
        std::fprintf(stderr, "VantrelViewer: can't load project %s\n", groupPath.c_str());
        for (const std::string& m : host.Engine().GetDebugMessages()) std::fprintf(stderr, "  %s\n", m.c_str());
        return 1;
    }

    const uint32_t frames = frameOverride >= 0 ? uint32_t(frameOverride) : start->frames;
    const int result = output.window ? RunFramesInWindow(host, frames, start->frameTime, output)
                                     : RunFramesHeadless(host, frames, start->frameTime, output);
    if (result != 0) return result;

    Kel_ChannelGroup& group = host.Group();
    std::printf("Ran %s: %d channels, %u frames\n", start->startGroup.c_str(), group.GetChannelCount(), frames);
    for (int i = 0; i < group.GetChannelCount(); ++i) {
        Kel_Channel* c = group.GetChannel(i);
        if (c->IsOfType(type_guids::kFloatChannel))
            std::printf("  %s = %g\n", c->GetChannelName(), static_cast<Kco_FloatChannel*>(c)->GetFloat());
    }
    return 0;
}

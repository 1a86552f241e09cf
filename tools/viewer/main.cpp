// Stand-in for the viewer program: loads a start file and its project through the engine
// and runs it for the frames the start file asks for (or --frames N, or --seconds S). A
// project with a scene is drawn through the device every frame, off screen unless --window
// asks for an FLTK GL window; --png FOLDER writes each frame there as frame_NNNN.png, or
// only the frames --pick names; --gif FILE writes the run as a looping animated GIF (every
// --gif-every N-th frame, shrunk --gif-shrink times). A headless run shows a progress line
// on stderr unless --quiet.
//
//   VantrelViewer.exe [start file] [--frames N | --seconds S] [--png FOLDER [--pick 0,50,last]]
//                     [--gif FILE [--gif-every N] [--gif-shrink N]] [--size WxH] [--window] [--quiet]
//
// The start file defaults to "VtlStart.vtl" in the current folder; channel libraries are
// taken from the "channels" folder beside it. A start file asking for more than
// kFrameLimit frames (an hour at 25 frames a second) is refused; --frames or --seconds sets
// any count. Exit code 0 after a run, 1 when the start file or the project cannot be loaded
// or the engine reported errors while it ran (a model that cannot be read, ...),
// 2 for bad arguments.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "declared_size.h"
#include "engine_host.h"
#include "frame_output.h"
#include "os/read_only_file.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/type_guids.h"
#include "start_file.h"
#include "tagfile/compressed_file.h"

namespace {

// A whole number from `least` to `most`; false for anything else.
bool ReadWhole(const char* text, long least, long most, long& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end || errno || v < least || v > most) return false;
    out = v;
    return true;
}

// "0,50,last": frame numbers, "last" for the run's last frame.
bool ReadPicks(const std::string& text, unsigned frames, std::vector<unsigned>& picks) {
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        long f = 0;
        if (item == "last") {
            if (frames == 0) return false;
            f = long(frames) - 1;
        } else if (!ReadWhole(item.c_str(), 0, long(frames) - 1, f)) {
            return false;
        }
        picks.push_back(unsigned(f));
        at = comma + 1;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? "." : path.substr(0, cut);
}

constexpr uint32_t kFrameLimit = 90000;
constexpr uint64_t kStartFileLimit = 1u << 20;  // a start file holds three short records

// The start file's bytes; nothing (and a message) when it is missing, a folder or too large.
std::optional<std::vector<uint8_t>> ReadStart(const std::string& path) {
    os::ReadOnlyFile file;
    if (!file.Open(path)) {
        std::fprintf(stderr, "VantrelViewer: can't open start file %s (missing or not a file)\n", path.c_str());
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(size_t(std::min<uint64_t>(file.Size(), kStartFileLimit)));
    if (file.Size() > kStartFileLimit || !file.ReadExact(bytes.data(), bytes.size())) {
        std::fprintf(stderr, "VantrelViewer: %s is not a valid start file\n", path.c_str());
        return std::nullopt;
    }
    return bytes;
}

int Run(int argc, char** argv) {
    std::string startPath = "VtlStart.vtl";
    long frameOverride = -1;
    double seconds = -1.0;
    std::string picks;
    FrameOutput output;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        long whole = 0;
        if (std::strcmp(argv[i], "--png") == 0 && hasValue) {
            output.pngFolder = argv[++i];
        } else if (std::strcmp(argv[i], "--pick") == 0 && hasValue) {
            picks = argv[++i];
        } else if (std::strcmp(argv[i], "--gif") == 0 && hasValue) {
            output.gifPath = argv[++i];
        } else if ((std::strcmp(argv[i], "--gif-every") == 0 || std::strcmp(argv[i], "--gif-shrink") == 0) && hasValue) {
            const bool every = std::strcmp(argv[i], "--gif-every") == 0;
            if (!ReadWhole(argv[++i], 1, 1000, whole)) {
                std::fprintf(stderr, "VantrelViewer: %s takes a whole number from 1 to 1000\n", argv[i - 1]);
                return 2;
            }
            (every ? output.gifEvery : output.gifShrink) = unsigned(whole);
        } else if (std::strcmp(argv[i], "--quiet") == 0) {
            output.progress = false;
        } else if (std::strcmp(argv[i], "--window") == 0) {
            output.window = true;
        } else if (std::strcmp(argv[i], "--size") == 0 && hasValue) {
            unsigned w = 0, h = 0;
            char tail = 0;
            if (std::sscanf(argv[++i], "%ux%u%c", &w, &h, &tail) != 2 || w == 0 || h == 0 || w > 8192 || h > 8192) {
                std::fprintf(stderr, "VantrelViewer: --size takes WIDTHxHEIGHT, each 1 to 8192\n");
                return 2;
            }
            output.width = w;
            output.height = h;
        } else if (std::strcmp(argv[i], "--frames") == 0 && hasValue) {
            if (!ReadWhole(argv[++i], 0, 10000000, frameOverride)) {
                std::fprintf(stderr, "VantrelViewer: --frames takes a whole number\n");
                return 2;
            }
        } else if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end || !(seconds >= 0.0 && seconds <= 1e6)) {
                std::fprintf(stderr, "VantrelViewer: --seconds takes a number of seconds, 0 to 1000000\n");
                return 2;
            }
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            std::fprintf(stderr, "VantrelViewer: unknown option or missing value: %s\n", argv[i]);
            return 2;
        } else {
            startPath = argv[i];
        }
    }
    if (frameOverride >= 0 && seconds >= 0.0) {
        std::fprintf(stderr, "VantrelViewer: give --frames or --seconds, not both\n");
        return 2;
    }
    if (output.window && !output.gifPath.empty()) {
        std::fprintf(stderr, "VantrelViewer: --gif is written by headless runs only, not with --window\n");
        return 2;
    }
    if (!picks.empty() && output.pngFolder.empty()) {
        std::fprintf(stderr, "VantrelViewer: --pick chooses the frames --png writes; give --png too\n");
        return 2;
    }

    const std::optional<std::vector<uint8_t>> bytes = ReadStart(startPath);
    if (!bytes) return 1;
    if (const std::optional<uint32_t> claimed = DeclaredUnpackedSize(*bytes);
        claimed && *claimed > kStartFileUnpackedLimit && tagfile::IsCompressedFile(*bytes)) {
        std::fprintf(stderr, "VantrelViewer: %s unpacks to %u bytes, more than the %u a start file may hold\n",
                     startPath.c_str(), *claimed, kStartFileUnpackedLimit);
        return 1;
    }
    std::optional<StartFile> start = ReadStartFile(*bytes);
    if (!start) {
        std::fprintf(stderr, "VantrelViewer: %s is not a valid start file\n", startPath.c_str());
        return 1;
    }
    if (frameOverride < 0 && seconds < 0.0 && start->frames > kFrameLimit) {
        std::fprintf(stderr, "VantrelViewer: %s asks for %u frames, more than %u; choose with --frames\n",
                     startPath.c_str(), start->frames, kFrameLimit);
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

    // What the engine and the channels report from here on (a model that cannot be read, a
    // value operator chain too deep to evaluate) makes the run a failed one.
    const size_t messagesAtLoad = host.Engine().GetDebugMessages().size();

    uint32_t frames = frameOverride >= 0 ? uint32_t(frameOverride) : start->frames;
    if (seconds >= 0.0) {
        // A frame lasts frameTime / 25 s; a start file without a usable frame time runs none.
        const double frameSeconds = double(start->frameTime) / 25.0;
        frames = frameSeconds > 0.0 ? uint32_t(std::min(1e7, std::ceil(seconds / frameSeconds - 1e-9))) : 0;
    }
    if (!picks.empty() && !ReadPicks(picks, frames, output.picks)) {
        std::fprintf(stderr, "VantrelViewer: --pick takes frame numbers below %u (or \"last\"), separated by commas\n",
                     frames);
        return 2;
    }
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
    const std::vector<std::string>& messages = host.Engine().GetDebugMessages();
    if (messages.size() > messagesAtLoad) {
        std::fflush(stdout);
        std::fprintf(stderr, "VantrelViewer: the project %s has errors:\n", groupPath.c_str());
        for (size_t i = messagesAtLoad; i < messages.size(); ++i) std::fprintf(stderr, "  %s\n", messages[i].c_str());
        return 1;
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    // Whatever slips past the checks ends with a message, never with an abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "VantrelViewer: %s\n", e.what());
        return 1;
    }
}

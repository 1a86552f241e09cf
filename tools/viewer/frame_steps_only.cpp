// The viewer's frames on Windows until the scene renderer draws there: every frame is
// stepped, so the project runs as it does drawn (the channels' own device calls go to a
// device that draws nothing), with the progress line; pictures and a window are refused.
#include <io.h>

#include <algorithm>
#include <cstdio>

#include "engine_host.h"
#include "frame_output.h"
#include "plugin_frame/type_guids.h"
#include "progress_line.h"

bool FrameOutput::Picked(unsigned f) const {
    return picks.empty() || std::find(picks.begin(), picks.end(), f) != picks.end();
}

bool GroupHasScene(EngineHost& host) {
    Kel_ChannelGroup& group = host.Group();
    for (int i = 0; i < group.GetChannelCount(); ++i)
        if (group.GetChannel(i)->IsOfType(type_guids::kObjectChannel) || group.GetChannel(i)->IsOfType(type_guids::kCamera))
            return true;
    return false;
}

int RunFramesHeadless(EngineHost& host, unsigned frames, float frameTime, const FrameOutput& output) {
    if (!output.pngFolder.empty() || !output.gifPath.empty()) {
        std::fprintf(stderr, "VantrelViewer: this build draws no pictures (no PNG or GIF output)\n");
        return 1;
    }
    ProgressLine progress(stderr, frames, ::_isatty(::_fileno(stderr)) != 0);
    for (unsigned f = 0; f < frames; ++f) {
        host.Step(frameTime, 1);
        if (output.progress) progress.Update(f + 1);
    }
    if (output.progress) progress.Finish();
    return 0;
}

int RunFramesInWindow(EngineHost&, unsigned, float, const FrameOutput&) {
    std::fprintf(stderr, "VantrelViewer: built without window support\n");
    return 1;
}

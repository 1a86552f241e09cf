// Runs a loaded project's frames and shows them: every frame is stepped and, when the
// project holds a scene (a 3D object or a camera) or PNG output is asked for, drawn through
// the device by the frame renderer; frames go to PNG files and/or an FLTK GL window.
#pragma once

#include <string>
#include <vector>

class EngineHost;
class IDirect3DDevice8;

struct FrameOutput {
    std::string pngFolder;        // empty: no files; else "frame_0000.png", ... in this folder
    std::vector<unsigned> picks;  // the frames written as PNG; empty: every frame
    std::string gifPath;          // empty: no animation; else an animated GIF of the run
    unsigned gifEvery = 1;        // every n-th frame goes into the GIF
    unsigned gifShrink = 1;       // GIF frames are the frames shrunk by this factor
    bool progress = true;         // the progress line of a headless run, on stderr
    bool window = false;          // show the frames in a window (needs a display)
    unsigned width = 640;
    unsigned height = 480;

    // Whether frame `f` is written as PNG.
    bool Picked(unsigned f) const;
};

// Writes the device's back buffer as frame_NNNN.png in the output's folder when the frame is
// picked; false (with a message) when it cannot be written.
bool WritePng(IDirect3DDevice8* device, const FrameOutput& output, unsigned frame);
// Makes the PNG folder; false (with a message) when it cannot be made.
bool PrepareFolder(const FrameOutput& output);

// Whether the host's group holds anything to draw.
bool GroupHasScene(EngineHost& host);

// Steps and draws `frames` frames of `frameTime` (1/25 s) off screen, writing the picked
// frames as PNG and the animation, with the progress line on stderr. 0 on success, 1 when a
// frame cannot be drawn or written (the message is on stderr).
int RunFramesHeadless(EngineHost& host, unsigned frames, float frameTime, const FrameOutput& output);

// The same in a window the device presents into (an FLTK GL window on Linux, a Win32 window
// on Windows); the window stays open on the last frame until it is closed (at once with
// VANTREL_VIEWER_CLOSE_AFTER_FRAMES set). 1 when no window can be opened.
int RunFramesInWindow(EngineHost& host, unsigned frames, float frameTime, const FrameOutput& output);

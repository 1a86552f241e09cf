// Writes frames read back from the device as one looping animated GIF (giflib). Each frame
// gets its own 256-colour table, so the colours of a frame do not depend on the others.
#pragma once

#include <d3d8/d3d8types.h>

#include <string>
#include <vector>

struct GifFileType;

class GifWriter {
public:
    GifWriter() = default;
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;
    ~GifWriter();

    // Frames are `width` x `height` pixels shrunk by `shrink` (every shrink x shrink block
    // averaged), shown `delayCentiseconds` each. False (with `error` set) when the file
    // cannot be made.
    bool Open(const std::string& path, unsigned width, unsigned height, unsigned shrink, int delayCentiseconds);
    // One frame in the device's read-back layout (top row first, 0xAARRGGBB).
    bool Add(const std::vector<D3DCOLOR>& pixels);
    // Ends the file; false when anything failed since Open.
    bool Close();

    unsigned FrameCount() const { return frames_; }
    const std::string& Error() const { return error_; }

private:
    bool Fail(const char* what, int code);

    GifFileType* file_ = nullptr;
    unsigned width_ = 0, height_ = 0, shrink_ = 1, outWidth_ = 0, outHeight_ = 0;
    int delay_ = 4;
    unsigned frames_ = 0;
    std::string error_;
};

#include "gif_writer.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <cerrno>

#ifndef O_BINARY
#define O_BINARY 0  // no text mode to leave out
#endif

#include <algorithm>
#include <cstring>

GifWriter::~GifWriter() {
    if (file_) EGifCloseFile(file_, nullptr);
}

bool GifWriter::Fail(const char* what, int code) {
    if (error_.empty()) error_ = std::string(what) + ": " + (GifErrorString(code) ? GifErrorString(code) : "failed");
    return false;
}

bool GifWriter::Open(const std::string& path, unsigned width, unsigned height, unsigned shrink, int delayCentiseconds) {
    shrink_ = std::max(1u, shrink);
    width_ = width;
    height_ = height;
    outWidth_ = std::max(1u, width / shrink_);
    outHeight_ = std::max(1u, height / shrink_);
    delay_ = std::clamp(delayCentiseconds, 1, 65535);
    if (outWidth_ > 65535 || outHeight_ > 65535) {
        error_ = "frames too large for a GIF";
        return false;
    }
    // Opened here rather than by giflib, which would make the file readable by its owner only.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, 0666);
    if (fd < 0) {
        error_ = std::string("can't make the file: ") + std::strerror(errno);
        return false;
    }
    int code = 0;
    file_ = EGifOpenFileHandle(fd, &code);
    if (!file_) {
        close(fd);
        return Fail("can't make the file", code);
    }
    EGifSetGifVersion(file_, true);
    if (EGifPutScreenDesc(file_, int(outWidth_), int(outHeight_), 8, 0, nullptr) == GIF_ERROR)
        return Fail("screen description", file_->Error);
    // The application block that makes viewers loop the animation for ever.
    static const GifByteType kNetscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType kLoopForever[] = {1, 0, 0};
    if (EGifPutExtensionLeader(file_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(file_, sizeof kNetscape, kNetscape) == GIF_ERROR ||
        EGifPutExtensionBlock(file_, sizeof kLoopForever, kLoopForever) == GIF_ERROR ||
        EGifPutExtensionTrailer(file_) == GIF_ERROR)
        return Fail("loop block", file_->Error);
    return true;
}

bool GifWriter::Add(const std::vector<D3DCOLOR>& pixels) {
    if (!file_ || !error_.empty()) return false;
    if (pixels.size() != size_t(width_) * height_) {
        error_ = "a frame of another size";
        return false;
    }
    const size_t count = size_t(outWidth_) * outHeight_;
    std::vector<GifByteType> red(count), green(count), blue(count), indices(count);
    const unsigned area = shrink_ * shrink_;
    for (unsigned y = 0; y < outHeight_; ++y)
        for (unsigned x = 0; x < outWidth_; ++x) {
            unsigned r = 0, g = 0, b = 0;
            for (unsigned dy = 0; dy < shrink_; ++dy)
                for (unsigned dx = 0; dx < shrink_; ++dx) {
                    const D3DCOLOR c = pixels[size_t(y * shrink_ + dy) * width_ + x * shrink_ + dx];
                    r += (c >> 16) & 0xFF;
                    g += (c >> 8) & 0xFF;
                    b += c & 0xFF;
                }
            const size_t at = size_t(y) * outWidth_ + x;
            red[at] = GifByteType(r / area);
            green[at] = GifByteType(g / area);
            blue[at] = GifByteType(b / area);
        }
    int colors = 256;
    GifColorType palette[256];
    if (GifQuantizeBuffer(outWidth_, outHeight_, &colors, red.data(), green.data(), blue.data(), indices.data(),
                          palette) == GIF_ERROR) {
        error_ = "colour quantisation failed";
        return false;
    }
    ColorMapObject* map = GifMakeMapObject(256, palette);
    if (!map) {
        error_ = "out of memory";
        return false;
    }
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = delay_;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const size_t extensionSize = EGifGCBToExtension(&control, extension);
    bool ok = EGifPutExtension(file_, GRAPHICS_EXT_FUNC_CODE, int(extensionSize), extension) != GIF_ERROR &&
              EGifPutImageDesc(file_, 0, 0, int(outWidth_), int(outHeight_), false, map) != GIF_ERROR;
    GifFreeMapObject(map);
    for (unsigned y = 0; ok && y < outHeight_; ++y)
        ok = EGifPutLine(file_, indices.data() + size_t(y) * outWidth_, int(outWidth_)) != GIF_ERROR;
    if (!ok) return Fail("frame", file_->Error);
    ++frames_;
    return true;
}

bool GifWriter::Close() {
    if (!file_) return false;
    int code = 0;
    const bool closed = EGifCloseFile(file_, &code) != GIF_ERROR;
    file_ = nullptr;
    if (!closed) Fail("closing", code);
    return error_.empty();
}

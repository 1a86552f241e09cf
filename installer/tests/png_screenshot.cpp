#include "png_screenshot.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <png.h>

#include <cstdio>
#include <memory>

namespace {

bool Uniform(const uchar* pixels, int w, int h) {
    for (size_t i = 3; i < size_t(w) * h * 3; ++i)
        if (pixels[i] != pixels[i % 3]) return false;
    return true;
}

}  // namespace

bool SaveWindowPng(Fl_Window* window, const std::string& path) {
    if (!window || !window->shown()) return false;
    const int w = window->w(), h = window->h();
    // The server may not have shown the window yet: a picture of one colour is an empty
    // window, so read again until the controls are there (about two seconds at most).
    std::unique_ptr<uchar[]> pixels;
    for (int attempt = 0; attempt < 100; ++attempt) {
        Fl::flush();
        window->make_current();
        pixels.reset(fl_read_image(nullptr, 0, 0, w, h));
        if (pixels && !Uniform(pixels.get(), w, h)) break;
        pixels.reset();
        Fl::wait(0.02);
    }
    if (!pixels) return false;

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && !setjmp(png_jmpbuf(png));
    if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < h; ++y) png_write_row(png, pixels.get() + size_t(y) * w * 3);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return ok;
}

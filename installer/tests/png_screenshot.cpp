#include "png_screenshot.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <png.h>

#include <cstdio>
#include <memory>

bool SaveWindowPng(Fl_Window* window, const std::string& path) {
    if (!window || !window->shown()) return false;
    Fl::flush();
    window->make_current();
    const int w = window->w(), h = window->h();
    std::unique_ptr<uchar[]> pixels(fl_read_image(nullptr, 0, 0, w, h));
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

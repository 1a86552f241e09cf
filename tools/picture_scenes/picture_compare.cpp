#include "picture_compare.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>

namespace picture_compare {

namespace {
int Channel(std::uint32_t c, int shift) { return int((c >> shift) & 0xFF); }
}  // namespace

bool ReadPng(const std::string& path, Picture& picture, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        error = image.message;
        return false;
    }
    image.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB in a little-endian word
    picture.width = image.width;
    picture.height = image.height;
    picture.pixels.assign(std::size_t{image.width} * image.height, 0);
    if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
        error = image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

bool WritePng(const std::string& path, const Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = picture.width;
    image.height = picture.height;
    image.format = PNG_FORMAT_BGRA;
    const bool written = png_image_write_to_file(&image, path.c_str(), 0, picture.pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return written;
}

Comparison Compare(const Picture& a, const Picture& b, int tolerance) {
    Comparison result;
    result.sameSize = a.width == b.width && a.height == b.height;
    result.pixels = a.pixels.size();
    if (!result.sameSize) return result;
    result.difference.width = a.width;
    result.difference.height = a.height;
    result.difference.pixels.resize(a.pixels.size());
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        int largest = 0;
        for (int shift : {16, 8, 0})
            largest = std::max(largest, std::abs(Channel(a.pixels[i], shift) - Channel(b.pixels[i], shift)));
        result.largestDifference = std::max(result.largestDifference, largest);
        std::uint32_t shown;
        if (largest == 0) {
            const int grey = (Channel(a.pixels[i], 16) + Channel(a.pixels[i], 8) + Channel(a.pixels[i], 0)) / 12;
            shown = 0xFF000000u | std::uint32_t(grey) << 16 | std::uint32_t(grey) << 8 | std::uint32_t(grey);
        } else if (largest <= tolerance) {
            ++result.differing;
            shown = 0xFF0000FFu;
        } else {
            ++result.differing;
            ++result.beyondTolerance;
            shown = 0xFF000000u | std::uint32_t(std::min(255, 128 + largest)) << 16;
        }
        result.difference.pixels[i] = shown;
    }
    return result;
}

bool GoalMet(const Comparison& c, bool identical) {
    if (!c.sameSize) return false;
    return identical ? c.differing == 0 : c.beyondTolerance * 1000 <= c.pixels * 5;
}

Picture SideBySide(const std::vector<const Picture*>& pictures) {
    Picture out;
    for (const Picture* p : pictures) {
        out.width += p->width;
        out.height = std::max(out.height, p->height);
    }
    out.pixels.assign(std::size_t{out.width} * out.height, 0xFF000000u);
    unsigned left = 0;
    for (const Picture* p : pictures) {
        for (unsigned y = 0; y < p->height; ++y)
            std::copy_n(p->pixels.begin() + std::ptrdiff_t(std::size_t{y} * p->width), p->width,
                        out.pixels.begin() + std::ptrdiff_t(std::size_t{y} * out.width + left));
        left += p->width;
    }
    return out;
}

}  // namespace picture_compare

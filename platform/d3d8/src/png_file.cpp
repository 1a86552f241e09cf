// Frames as PNG files, through libpng's simplified writer.
#include "png_file.h"

#include <png.h>

#include <vector>

namespace d3d8_detail {

HRESULT WriteRgbaPng(const char* path, UINT width, UINT height, const D3DCOLOR* pixels) {
    if (!path || !pixels || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    std::vector<png_byte> rgba(std::size_t{width} * height * 4);
    for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
        const D3DCOLOR c = pixels[i];
        rgba[4 * i + 0] = static_cast<png_byte>(c >> 16);
        rgba[4 * i + 1] = static_cast<png_byte>(c >> 8);
        rgba[4 * i + 2] = static_cast<png_byte>(c);
        rgba[4 * i + 3] = static_cast<png_byte>(c >> 24);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    const bool written = png_image_write_to_file(&image, path, 0, rgba.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return written ? D3D_OK : E_FAIL;
}

}  // namespace d3d8_detail

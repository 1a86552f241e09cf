// 3D text as a project can ask for it: a font face name, a height and weight, the
// complexity (deviation) and the text bytes, through the GDI font stand-in and the outline
// mesh builder. Input: height (i32), weight (u16), italic (u8), deviation (f32), then the
// face name up to a NUL, then the text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "text3d/d3dx_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 11 || size > 4096) return 0;
    int32_t height;
    uint16_t weight;
    float deviation;
    std::memcpy(&height, data, 4);
    std::memcpy(&weight, data + 4, 2);
    const uint8_t italic = data[6];
    std::memcpy(&deviation, data + 7, 4);
    const char* rest = reinterpret_cast<const char*>(data + 11);
    const size_t restSize = size - 11;
    const size_t nameEnd = std::find(rest, rest + restSize, '\0') - rest;
    const std::string face(rest, std::min<size_t>(nameEnd, LF_FACESIZE - 1));
    // The text: what follows the name, as the channel's string child would hold it.
    const std::string text = nameEnd < restSize ? std::string(rest + nameEnd + 1, restSize - nameEnd - 1) : "A";
    if (text.size() > 64) return 0;  // a few glyphs reach every path; long texts only cost time

    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight % 1001;
    lf.lfItalic = italic & 1;
    lf.lfCharSet = DEFAULT_CHARSET;
    std::memcpy(lf.lfFaceName, face.c_str(), face.size() + 1);
    HFONT font = CreateFontIndirectA(&lf);
    HDC dc = CreateCompatibleDC(nullptr);
    if (font) SelectObject(dc, font);
    IDirect3DDevice8 device;
    ID3DXMesh* mesh = nullptr;
    GLYPHMETRICSFLOAT metrics[64];
    if (D3DXCreateText(&device, dc, text.c_str(), deviation, 0.15f, &mesh, nullptr, metrics) == D3D_OK && mesh) {
        if (mesh->GetNumFaces() > 0 && mesh->GetNumVertices() == 0) std::abort();
        mesh->Release();
    }
    SelectObject(dc, nullptr);
    DeleteDC(dc);
    if (font) DeleteObject(font);
    return 0;
}

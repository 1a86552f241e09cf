// Font descriptions and the identity transform, shared by the GDI tests.
#pragma once

#include "gdi/wingdi.h"

#include <cstring>

namespace gdi_test {

constexpr MAT2 kIdentity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};

inline LOGFONTA Font(const char* face, LONG height = 0, LONG weight = FW_NORMAL, bool italic = false) {
    LOGFONTA font{};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfItalic = italic;
    std::strncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return font;
}

}  // namespace gdi_test

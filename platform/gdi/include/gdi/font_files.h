// How the GDI stand-in finds a font file for a LOGFONTA: the face name, weight and italic
// flag go to fontconfig; a few Windows face names are first tried as their metric-compatible
// free faces. Exposed so tests and tools can see which file a font description ends up in.
#pragma once

#include <string>

#include "gdi/wingdi.h"

namespace gdi {

struct FontFile {
    std::string path;    // empty when nothing could be found
    int faceIndex = 0;   // face within a collection file
    std::string family;  // the family fontconfig matched
};

// Resolves and caches; the same description always gives the same file.
FontFile ResolveFontFile(const LOGFONTA& font);

// Windows-1252 byte to Unicode; the five bytes 1252 leaves undefined map to themselves.
char32_t Cp1252ToUnicode(BYTE byte);

}  // namespace gdi

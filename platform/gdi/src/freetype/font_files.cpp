// Face name, weight and italic flag to a font file, through fontconfig.
//
// Windows face names a project is likely to carry are first tried as their metric-compatible
// free faces, so text keeps its widths; the substitute is taken only when fontconfig really
// has that family. Anything else is fontconfig's own best match for the name, and when no
// installed family carries the name, fontconfig's default sans face stands in for it.
#include "gdi/font_files.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <tuple>

namespace gdi {
namespace {

struct Substitute {
    const char* windowsName;
    const char* freeFamily;
};
constexpr Substitute kMetricCompatible[] = {
    {"arial", "Liberation Sans"},
    {"helvetica", "Liberation Sans"},
    {"times new roman", "Liberation Serif"},
    {"courier new", "Liberation Mono"},
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Best match for one family; `exactFamily` refuses a match of another family.
FontFile Match(const std::string& family, int weight, bool italic, bool exactFamily) {
    FontFile result;
    if (!FcInit()) return result;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return result;
    if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    // LOGFONTA weights are the OpenType scale (0 leaves it to the default, normal).
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight > 0 ? std::min(weight, 1000) : 400));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult status = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &status);
    FcPatternDestroy(pattern);
    if (!match) return result;
    FcChar8* file = nullptr;
    FcChar8* matchedFamily = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        if (FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch && matchedFamily)
            result.family = reinterpret_cast<const char*>(matchedFamily);
        if (!exactFamily || Lower(result.family) == Lower(family)) {
            result.path = reinterpret_cast<const char*>(file);
            result.faceIndex = index;
        } else {
            result.family.clear();
        }
    }
    FcPatternDestroy(match);
    return result;
}

}  // namespace

FontFile ResolveFontFile(const LOGFONTA& font) {
    std::string name(font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE));
    int weight = font.lfWeight;
    bool italic = font.lfItalic != 0;
    static std::map<std::tuple<std::string, int, bool>, FontFile> cache;
    auto key = std::make_tuple(Lower(name), weight, italic);
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;

    FontFile result;
    for (const Substitute& s : kMetricCompatible)
        if (Lower(name) == s.windowsName) {
            result = Match(s.freeFamily, weight, italic, true);
            break;
        }
    if (result.path.empty()) result = Match(name, weight, italic, false);
    cache.emplace(key, result);
    return result;
}

}  // namespace gdi

#include "plugin_frame/siblings/win32_font.h"

#include <cstring>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_Win32_Font,
                       (ChannelTypeInfo{"Win32 Font", type_guids::kWin32Font, type_guids::kWin32Font, 1}))

namespace {

constexpr uint32_t kLogFontBytes = 60;

// The 60 bytes of a LOGFONTA as the original platform lays it out: five little-endian
// 32-bit values, eight bytes, the 32-character face name.
void ToBytes(const LOGFONTA& f, uint8_t* out) {
    const LONG longs[5] = {f.lfHeight, f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight};
    for (int i = 0; i < 5; ++i)
        for (int b = 0; b < 4; ++b) out[4 * i + b] = uint8_t(uint32_t(longs[i]) >> (8 * b));
    const BYTE bytes[8] = {f.lfItalic, f.lfUnderline, f.lfStrikeOut, f.lfCharSet,
                           f.lfOutPrecision, f.lfClipPrecision, f.lfQuality, f.lfPitchAndFamily};
    std::memcpy(out + 20, bytes, 8);
    std::memcpy(out + 28, f.lfFaceName, LF_FACESIZE);
}

LOGFONTA FromBytes(const uint8_t* in) {
    LOGFONTA f{};
    LONG* longs[5] = {&f.lfHeight, &f.lfWidth, &f.lfEscapement, &f.lfOrientation, &f.lfWeight};
    for (int i = 0; i < 5; ++i) {
        uint32_t v = 0;
        for (int b = 0; b < 4; ++b) v |= uint32_t(in[4 * i + b]) << (8 * b);
        *longs[i] = LONG(v);
    }
    BYTE* bytes[8] = {&f.lfItalic, &f.lfUnderline, &f.lfStrikeOut, &f.lfCharSet,
                      &f.lfOutPrecision, &f.lfClipPrecision, &f.lfQuality, &f.lfPitchAndFamily};
    for (int i = 0; i < 8; ++i) *bytes[i] = in[20 + i];
    std::memcpy(f.lfFaceName, in + 28, LF_FACESIZE);
    // A stored name that fills all 32 bytes is cut to keep it terminated.
    f.lfFaceName[LF_FACESIZE - 1] = '\0';
    return f;
}

}  // namespace

Kco_Win32_Font::Kco_Win32_Font() : font{} {
    SetChannelName("Win32 Font");
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = BYTE(DEFAULT_CHARSET);
    font.lfQuality = BYTE(ANTIALIASED_QUALITY);
    font.lfPitchAndFamily = BYTE(VARIABLE_PITCH);
    std::strcpy(font.lfFaceName, "Arial");
}
Kco_Win32_Font::~Kco_Win32_Font() = default;

// "WFLF" holds the whole description, 60 bytes.
bool Kco_Win32_Font::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    uint8_t bytes[kLogFontBytes];
    ToBytes(font, bytes);
    saver.SaveTag("WFLF");
    saver.SaveBlockSize(kLogFontBytes);
    saver.SaveDataToFile(bytes, kLogFontBytes);
    return true;
}

bool Kco_Win32_Font::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    uint8_t bytes[kLogFontBytes];
    ToBytes(font, bytes);  // a short record leaves the rest of the description as it was
    if (loader.GetInfoIfTag("WFLF") && loader.CopyTagDataToPointer(bytes, kLogFontBytes)) {
        font = FromBytes(bytes);
        SetTimeStamp();
    }
    return true;
}

LOGFONTA Kco_Win32_Font::GetFont() { return font; }

void Kco_Win32_Font::SetFont(const LOGFONTA& value) {
    font = value;
    font.lfFaceName[LF_FACESIZE - 1] = '\0';
    SetTimeStamp();
}

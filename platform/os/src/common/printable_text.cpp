#include "os/printable_text.h"

#include <cstdio>

namespace os {

std::string PrintableText(std::string_view text, bool keepLayout) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (keepLayout && (c == '\t' || c == '\n')) {
            out += ch;
        } else if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace os

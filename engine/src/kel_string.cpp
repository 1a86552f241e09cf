#include "plugin_frame/kel_string.h"

#include <cstring>

Kel_String::Kel_String(const Kel_String& other) { SetString(other.GetString()); }

Kel_String& Kel_String::operator=(const Kel_String& other) {
    if (this != &other) SetString(other.GetString());
    return *this;
}

void Kel_String::SetString(const char* text) {
    if (!text) {
        text_.reset();
        return;
    }
    size_t n = std::strlen(text) + 1;
    auto copy = std::make_unique<char[]>(n);
    std::memcpy(copy.get(), text, n);
    text_ = std::move(copy);
}

// The engine's owned text.
#pragma once

#include <memory>

class Kel_String {
public:
    Kel_String() = default;
    Kel_String(const Kel_String& other);
    Kel_String& operator=(const Kel_String& other);
    ~Kel_String() = default;

    // Keeps a copy of text; null clears it.
    void SetString(const char* text);
    // The kept text, or null when none was set.
    const char* GetString() const { return text_.get(); }

private:
    std::unique_ptr<char[]> text_;
};

#include "os/directx_probe.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace os {

uint32_t GetDirectXVersionCode() {
    const char* value = std::getenv("VANTREL_DIRECTX_VERSION");
    if (!value || !*value) return 0x801;
    std::string text = value;
    if (text == "none") return 0x000;
    // "8.1" reads as major 8, minor 1: code 0x801.
    if (size_t dot = text.find('.'); dot != std::string::npos) {
        int major = std::atoi(text.substr(0, dot).c_str());
        int minor = std::atoi(text.substr(dot + 1).c_str());
        return uint32_t(major) << 8 | uint32_t(minor);
    }
    return uint32_t(std::strtoul(text.c_str(), nullptr, 0));
}

}  // namespace os

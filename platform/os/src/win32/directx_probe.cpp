// The installed DirectX version as the system records it: the "Version" value of
// HKEY_LOCAL_MACHINE\Software\Microsoft\DirectX ("4.08.01.0810" is 8.1). Code 0 when
// DirectX is not installed.
#include "os/directx_probe.h"

#include <cstdlib>

#include "win32_util.h"

namespace os {

uint32_t GetDirectXVersionCode() {
    wchar_t value[64] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\DirectX", L"Version",
                       RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return 0;
    // "4.MM.mm.build": the second and third fields are the major and minor version.
    const std::string text = win32::Narrow(value);
    const size_t first = text.find('.');
    if (first == std::string::npos) return 0;
    const size_t second = text.find('.', first + 1);
    const int major = std::atoi(text.substr(first + 1, second - first - 1).c_str());
    const int minor = second == std::string::npos ? 0 : std::atoi(text.substr(second + 1).c_str());
    return uint32_t(major) << 8 | uint32_t(minor);
}

}  // namespace os

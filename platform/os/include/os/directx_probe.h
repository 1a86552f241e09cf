// The installed DirectX version, as the installer asks for it. There is no DirectX here:
// the probe reports the code VANTREL_DIRECTX_VERSION gives ("0x801", "0x800", "8.1", "8.0",
// ..., or "none"), and 0x801 (8.1) when it is not set.
#pragma once

#include <cstdint>

namespace os {

uint32_t GetDirectXVersionCode();

}  // namespace os

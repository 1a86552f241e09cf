// The system's millisecond tick count: wraps around after about 49.7 days, so callers
// compare ticks by unsigned subtraction.
#pragma once

#include <cstdint>
#include <functional>

namespace os {

// Milliseconds since an arbitrary start, truncated to 32 bits.
uint32_t GetTickCount();

// Replaces the clock GetTickCount reads; an empty function restores the system clock.
// Plug-ins loaded into a test executable read the test's clock only when the executable
// exports these symbols (ENABLE_EXPORTS), so that their calls bind to its copy.
void SetTickCountSourceForTesting(std::function<uint32_t()> source);

}  // namespace os

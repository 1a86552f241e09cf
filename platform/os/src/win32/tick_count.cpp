#include "os/tick_count.h"

#include <windows.h>

namespace os {
namespace {
std::function<uint32_t()>& Source() {
    static std::function<uint32_t()> source;
    return source;
}
}  // namespace

uint32_t GetTickCount() {
    if (const auto& source = Source()) return source();
    return ::GetTickCount();
}

void SetTickCountSourceForTesting(std::function<uint32_t()> source) { Source() = std::move(source); }

}  // namespace os

#include "os/tick_count.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

namespace os {
namespace {
std::function<uint32_t()>& Source() {
    static std::function<uint32_t()> source;
    return source;
}
}  // namespace

uint32_t GetTickCount() {
    if (const auto& source = Source()) return source();
#if defined(_WIN32)
    return ::GetTickCount();
#else
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
#endif
}

void SetTickCountSourceForTesting(std::function<uint32_t()> source) { Source() = std::move(source); }

}  // namespace os

// "uninstall.nfo" as the uninstaller reads it; a log that parses must write back the same.
#include <cstdint>
#include <cstdlib>

#include "package/uninstall_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<UninstallLog> log = ParseUninstallLog(std::span<const uint8_t>(data, size));
    if (log && log->projectName.size() > kUninstallTextSize) std::abort();
    return 0;
}

// The viewer's start file, plain or compressed; what it reads must write and read back alike.
#include <cstdint>
#include <cstdlib>

#include "start_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<StartFile> start = ReadStartFile(std::span<const uint8_t>(data, size));
    if (!start) return 0;
    const std::optional<StartFile> again = ReadStartFile(WriteStartFile(*start));
    if (!again || again->startGroup != start->startGroup || again->frames != start->frames)
        std::abort();
    return 0;
}

// libFuzzer entry for KRVF files: the record walker and the compressed-file reader.
#include <cstdint>

#include "tagfile/compressed_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    tagfile::UnpackCompressedFile(bytes);
    tagfile::ValidateRecords(bytes, [](const tagfile::Record&) { return true; });
    return 0;
}

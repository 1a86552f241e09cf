// projpack's manifest text: parsed or refused with a message naming a line, never more.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (256u << 10)) return 0;
    projpack::Manifest manifest;
    std::string error;
    const bool parsed = projpack::ParseManifest(std::string(reinterpret_cast<const char*>(data), size), manifest, error);
    if (!parsed && error.empty()) std::abort();  // a refusal always says why
    return 0;
}

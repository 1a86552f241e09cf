// cgrtool's JSON form of a channel group: text that builds must dump to text that builds the
// same file again.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "group_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (256u << 10)) return 0;
    std::vector<uint8_t> file;
    try {
        file = cgr::BuildText(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const std::exception&) {
        return 0;  // refused with a message: what damaged text should get
    }
    try {
        if (cgr::BuildText(cgr::DumpText(file)) != file) std::abort();
    } catch (const std::exception&) {
        std::abort();  // what was built must dump and build again
    }
    return 0;
}

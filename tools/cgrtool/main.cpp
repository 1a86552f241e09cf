// cgrtool: channel group files (and the viewer's start file) as readable JSON and back.
//
//   cgrtool dump FILE.cgr [OUT.json]   the JSON form (to standard output without OUT.json)
//   cgrtool build FILE.json OUT.cgr    the group file the JSON describes
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "group_text.h"
#include "os/whole_file.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: cgrtool dump FILE.cgr [OUT.json]\n"
                 "       cgrtool build FILE.json OUT.cgr\n");
    return 2;
}

// Project text and channel group files are small; a larger input is refused unread, and
// a FIFO or device given as input is refused rather than waited on.
constexpr uint64_t kInputLimit = 256u << 20;

void ReadInput(const std::string& path, std::string& out) {
    const os::WholeFileStatus status = os::ReadWholeRegularFile(path, kInputLimit, out);
    if (status == os::WholeFileStatus::TooLarge)
        throw std::runtime_error("larger than " + std::to_string(kInputLimit >> 20) + " MiB, the limit of an input");
    if (status != os::WholeFileStatus::Read)
        throw std::runtime_error(std::string("can't read the file (") + os::WholeFileStatusText(status) + ")");
}

bool WriteFile(const std::string& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    out.close();
    return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    const std::string input = argv[2];
    std::string bytes;
    try {
        if (command == "dump" && argc <= 4) {
            ReadInput(input, bytes);
            const std::string text =
                cgr::DumpText({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
            if (argc == 3) {
                std::cout << text;
            } else if (!WriteFile(argv[3], text.data(), text.size())) {
                std::fprintf(stderr, "cgrtool: can't write %s\n", argv[3]);
                return 1;
            }
            return 0;
        }
        if (command == "build" && argc == 4) {
            ReadInput(input, bytes);
            const std::vector<uint8_t> file = cgr::BuildText(bytes);
            if (!WriteFile(argv[3], file.data(), file.size())) {
                std::fprintf(stderr, "cgrtool: can't write %s\n", argv[3]);
                return 1;
            }
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cgrtool: %s: %s\n", input.c_str(), e.what());
        return 1;
    }
    return Usage();
}

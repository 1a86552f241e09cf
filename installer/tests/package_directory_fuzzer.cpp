// libFuzzer entry for the package directory parser: the input is an installer file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "installer/package_reader.h"
#include "os/message_box.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = "/tmp/package_fuzz_" + std::to_string(::getpid());
    static os::ScopedRecordingMessageBoxFace* boxes = new os::ScopedRecordingMessageBoxFace;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    PackageReader reader(path);
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        const PackageEntry* entry = reader.GetEntry(i);
        reader.ReadEntry(entry->itemName, nullptr, 0, entry->groupName);
        uint8_t small[4];
        reader.ReadEntry(entry->itemName, small, sizeof small, entry->groupName);
    }
    (*boxes)->Clear();
    return 0;
}

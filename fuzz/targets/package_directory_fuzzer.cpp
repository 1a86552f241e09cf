// The installer's package reader: the input is a whole installer file.
#include <cstdint>

#include "fuzz_input_file.h"
#include "package/package_reader.h"
#include "os/message_box.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzInputFile* file = new FuzzInputFile;
    static os::ScopedRecordingMessageBoxFace* boxes = new os::ScopedRecordingMessageBoxFace;
    if (!file->Write(data, size)) return 0;
    PackageReader reader(file->Path());
    for (int32_t i = 0; i < reader.GetEntryCount(); ++i) {
        const PackageEntry* entry = reader.GetEntry(i);
        reader.ReadEntry(entry->itemName, nullptr, 0, entry->groupName);
        uint8_t small[4];
        reader.ReadEntry(entry->itemName, small, sizeof small, entry->groupName);
    }
    (*boxes)->Clear();
    return 0;
}

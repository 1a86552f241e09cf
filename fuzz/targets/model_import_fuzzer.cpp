// Model files as the importer reads them for the model-file mesh: the first byte picks the
// format (by the name's ending, as the importer chooses), the rest is the file. Every part
// that comes back must index only vertices it has.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input_file.h"
#include "model_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kEndings[] = {".ply", ".obj", ".stl", ".off", ".gltf", ".glb", ".x", ".dae"};
    // The input is a private memory file, reached through a link with the chosen ending in
    // a private folder of this process.
    static FuzzInputFile input;
    static const std::string folder = [] {
        char pattern[] = "/tmp/model-fuzzXXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made) std::abort();
        for (const char* ending : kEndings)
            if (::symlink(input.Path().c_str(), (std::string(made) + "/in" + ending).c_str()) != 0) std::abort();
        return std::string(made);
    }();
    if (size < 1 || size > (64u << 10)) return 0;
    if (!input.Write(data + 1, size - 1)) return 0;
    const std::string path = folder + "/in" + kEndings[data[0] % (sizeof kEndings / sizeof *kEndings)];
    const model::Model m = model::ReadModel(path);
    for (const model::MeshPart& part : m.parts) {
        if (part.indices.size() % 3 != 0) std::abort();
        for (uint16_t index : part.indices)
            if (index >= part.positions.size()) std::abort();
        if (!part.normals.empty() && part.normals.size() != part.positions.size()) std::abort();
    }
    return 0;
}

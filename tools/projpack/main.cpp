// projpack: writes an installer package from a manifest and a project folder, and lists or
// checks the package of an existing installer.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "manifest.h"
#include "os/message_box.h"
#include "os/native_path.h"
#include "os/printable_text.h"
#include "os/whole_file.h"
#include "package_listing.h"
#include "manifest_items.h"

namespace {

// The reader's message boxes become plain error lines.
class ConsoleFace : public os::MessageBoxFace {
public:
    int Show(const char* text, const char* caption, unsigned type) override {
        std::fprintf(stderr, "projpack: %s\n", text);
        return os::IDOK;
    }
};

int Usage() {
    std::fprintf(stderr,
                 "usage: projpack build <manifest> <project-folder> <installer-image> <out>\n"
                 "       projpack list <installer>\n"
                 "       projpack check <installer>\n");
    return 2;
}

// A manifest or installer image given as a FIFO or device is refused, never waited on.
bool ReadFile(const std::string& path, std::string& out) {
    return os::ReadWholeRegularFile(path, uint64_t(1) << 32, out) == os::WholeFileStatus::Read;
}

int NoPackage(const char* path) {
    std::fprintf(stderr, "projpack: %s holds no readable package\n", path);
    return 1;
}

void ShowProgress(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

int Build(const std::string& manifestPath, const std::string& folder, const std::string& imagePath,
          const std::string& outPath) {
    std::string text, imageText, error;
    if (!ReadFile(manifestPath, text)) {
        std::fprintf(stderr, "projpack: cannot read %s\n", manifestPath.c_str());
        return 2;
    }
    if (!ReadFile(imagePath, imageText)) {
        std::fprintf(stderr, "projpack: cannot read %s\n", imagePath.c_str());
        return 2;
    }
    projpack::Manifest manifest;
    if (!projpack::ParseManifest(text, manifest, error)) {
        std::fprintf(stderr, "projpack: %s: %s\n", manifestPath.c_str(), error.c_str());
        return 1;
    }
    PackageWriter writer;
    if (!projpack::CollectItems(manifest, folder, writer, error, ShowProgress)) {
        std::fprintf(stderr, "projpack: %s\n", error.c_str());
        return 1;
    }
    std::vector<uint8_t> image(imageText.begin(), imageText.end());
    if (!writer.WriteInstaller(image, outPath, error)) {
        std::fprintf(stderr, "projpack: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "wrote %s: %zu entries after a %zu-byte image\n", outPath.c_str(),
                 writer.Items().size(), image.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    os::SetMessageBoxFace(std::make_unique<ConsoleFace>());
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "build" && argc == 6) return Build(argv[2], argv[3], argv[4], argv[5]);
    // A marker that is found but a directory that does not fit the file gives no box of
    // the reader's own: say why nothing is listed or checked.
    // Names and texts come from the package: control characters in them are printed
    // escaped, never sent to the terminal.
    if (command == "list" && argc == 3) {
        std::ostringstream listing;
        if (!projpack::ListPackage(argv[2], listing)) return NoPackage(argv[2]);
        std::cout << os::PrintableText(listing.str(), true);
        return 0;
    }
    if (command == "check" && argc == 3) {
        std::ostringstream faults;
        int n = projpack::CheckPackage(argv[2], faults, ShowProgress);
        std::cout << os::PrintableText(faults.str(), true);
        if (n < 0) return NoPackage(argv[2]);
        std::cout << (n == 0 ? "ok" : std::to_string(n) + " fault(s)") << "\n";
        return n == 0 ? 0 : 1;
    }
    return Usage();
}

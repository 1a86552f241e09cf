// Shared pieces of the program tests: a recording face for the run of one test, the
// command line pointed at a package file, and a scratch folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "os/command_line.h"
#include "ui/face.h"
#include "ui/unattended_face.h"

namespace apptest {

namespace fs = std::filesystem;

// Installs an unattended face (answers in `settings`) for the life of the object.
class ScopedFace {
public:
    explicit ScopedFace(ui::UnattendedFace::Settings settings = {}) {
        auto face = std::make_unique<ui::UnattendedFace>(std::move(settings));
        face_ = face.get();
        previous_ = ui::SetFace(std::move(face));
    }
    ~ScopedFace() { ui::SetFace(std::move(previous_)); }
    ui::UnattendedFace* operator->() { return face_; }

    // The message boxes shown so far, as "caption|text".
    std::vector<std::string> Boxes() const {
        std::vector<std::string> out;
        for (const auto& line : face_->Lines())
            if (line[0] == "box") out.push_back(line[3] + "|" + line[4]);
        return out;
    }

private:
    ui::UnattendedFace* face_;
    std::unique_ptr<ui::Face> previous_;
};

// Makes the program believe it was started as `path` (quoted, as a shell would not).
class ScopedProgram {
public:
    explicit ScopedProgram(const std::string& path) {
        const std::string line = "\"" + path + "\"";
        os::SetCommandLineForTesting(line.c_str());
    }
    ~ScopedProgram() { os::SetCommandLineForTesting(nullptr); }
};

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "apptestXXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }
    std::string Str() const { return path_.string(); }

private:
    fs::path path_;
};

inline std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

}  // namespace apptest

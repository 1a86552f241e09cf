#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

// A folder of its own for one test, removed afterwards.
struct ScratchFolder {
    explicit ScratchFolder(const std::string& tag)
        : path(std::filesystem::temp_directory_path() /
               ("vantrel_" + tag + "_" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
    std::string File(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

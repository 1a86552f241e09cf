// Two builds' pictures of one scene compared colour by colour (alpha is left out: the
// Windows back buffer keeps none), with a picture of where they differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace picture_compare {

struct Picture {
    unsigned width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0xAARRGGBB, top row first
};

// False with `error` set when the file is not a PNG that can be read.
bool ReadPng(const std::string& path, Picture& picture, std::string& error);
bool WritePng(const std::string& path, const Picture& picture);

struct Comparison {
    bool sameSize = false;
    std::size_t pixels = 0;
    std::size_t differing = 0;         // any channel differs
    std::size_t beyondTolerance = 0;   // some channel differs by more than the tolerance
    int largestDifference = 0;         // in 1/255 steps, over every channel and pixel
    // Grey (a quarter of the first picture's brightness) where equal, blue where within the
    // tolerance, red (brighter for larger differences) beyond it.
    Picture difference;
};

Comparison Compare(const Picture& a, const Picture& b, int tolerance);

// "identical": same size, no pixel differs; "close": same size, at least 99.5% of pixels
// within the tolerance Compare was given.
bool GoalMet(const Comparison& c, bool identical);

// The pictures next to each other, left to right, on one row (heights may differ).
Picture SideBySide(const std::vector<const Picture*>& pictures);

}  // namespace picture_compare

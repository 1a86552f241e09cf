// picture_diff NAME GOAL LINUX.png WINDOWS.png DIFFERENCE.png [SIDE_BY_SIDE.png]
// Compares the two builds' pictures of a scene against its goal ("identical": every pixel
// equal; "close": at least 99.5% of pixels within 2/255 in every channel), writes the
// difference picture (and the two pictures with it side by side), and prints a line
// ("reported": compared and printed, never missed):
//   NAME  identical  met     0 of 4096 pixels differ
// Exit 0 when the goal is met, 1 when it is missed, 2 when a picture cannot be read.
#include <cstdio>
#include <string>

#include "picture_compare.h"

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: picture_diff NAME identical|close|reported LINUX.png WINDOWS.png DIFFERENCE.png [SIDE.png]\n");
        return 2;
    }
    const std::string name = argv[1], goal = argv[2];
    if (goal != "identical" && goal != "close" && goal != "reported") {
        std::fprintf(stderr, "picture_diff: unknown goal %s\n", goal.c_str());
        return 2;
    }
    picture_compare::Picture fromLinux, fromWindows;
    std::string error;
    for (auto [path, picture] : {std::pair{argv[3], &fromLinux}, std::pair{argv[4], &fromWindows}})
        if (!picture_compare::ReadPng(path, *picture, error)) {
            std::printf("%-28s %-9s MISSED  %s: %s\n", name.c_str(), goal.c_str(), path, error.c_str());
            return 2;
        }
    constexpr int kTolerance = 2;
    const picture_compare::Comparison c = picture_compare::Compare(fromLinux, fromWindows, kTolerance);
    if (!c.sameSize) {
        std::printf("%-28s %-9s MISSED  sizes differ (%ux%u against %ux%u)\n", name.c_str(), goal.c_str(), fromLinux.width,
                    fromLinux.height, fromWindows.width, fromWindows.height);
        return 1;
    }
    const bool met = goal == "reported" || picture_compare::GoalMet(c, goal == "identical");
    const double within = c.pixels ? 100.0 * double(c.pixels - c.beyondTolerance) / double(c.pixels) : 100.0;
    std::printf("%-28s %-9s %-7s %zu of %zu pixels differ (largest %d/255), %.2f%% within %d/255\n", name.c_str(),
                goal.c_str(), goal == "reported" ? "-" : met ? "met" : "MISSED", c.differing, c.pixels, c.largestDifference, within, kTolerance);
    if (!picture_compare::WritePng(argv[5], c.difference)) {
        std::fprintf(stderr, "picture_diff: can't write %s\n", argv[5]);
        return 2;
    }
    if (argc == 7 && !picture_compare::WritePng(argv[6], picture_compare::SideBySide({&fromLinux, &fromWindows, &c.difference}))) {
        std::fprintf(stderr, "picture_diff: can't write %s\n", argv[6]);
        return 2;
    }
    return met ? 0 : 1;
}

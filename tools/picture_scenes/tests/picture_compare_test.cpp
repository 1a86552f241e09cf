// The comparison the Linux/Windows picture check rests on: which pixels count as differing,
// where the 99.5% line falls, and that pictures survive the PNG round trip exactly.
#include <gtest/gtest.h>

#include <cstdio>

#include "picture_compare.h"

using picture_compare::Picture;

namespace {

Picture Filled(unsigned w, unsigned h, std::uint32_t c) {
    Picture p;
    p.width = w;
    p.height = h;
    p.pixels.assign(std::size_t{w} * h, c);
    return p;
}

}  // namespace

TEST(PictureCompare, CountsChannelDifferencesAgainstTheToleranceAndIgnoresAlpha) {
    const Picture a = Filled(20, 10, 0xFF808080);
    Picture b = a;
    b.pixels[0] = 0x00808080;  // alpha only: equal
    b.pixels[1] = 0xFF828080;  // red +2: within
    b.pixels[2] = 0xFF80807D;  // blue -3: beyond
    b.pixels[3] = 0xFF80FF80;  // green +127
    const auto c = picture_compare::Compare(a, b, 2);
    EXPECT_EQ(c.differing, 3u);
    EXPECT_EQ(c.beyondTolerance, 2u);
    EXPECT_EQ(c.largestDifference, 127);
    EXPECT_EQ(c.difference.pixels[0], 0xFF202020u);  // equal: a quarter as bright
    EXPECT_EQ(c.difference.pixels[1], 0xFF0000FFu);  // within: blue
    EXPECT_EQ(c.difference.pixels[2] & 0xFFFF, 0u);  // beyond: red
    EXPECT_GT(c.difference.pixels[3] >> 16 & 0xFF, c.difference.pixels[2] >> 16 & 0xFF);
    EXPECT_FALSE(picture_compare::GoalMet(c, true));
    EXPECT_TRUE(picture_compare::GoalMet(picture_compare::Compare(a, a, 2), true));
}

TEST(PictureCompare, CloseGoalAllowsHalfAPercentBeyondTheTolerance) {
    const Picture a = Filled(100, 20, 0xFF000000);  // 2000 pixels: 10 may differ
    for (int beyond : {10, 11}) {
        Picture b = a;
        for (int i = 0; i < beyond; ++i) b.pixels[std::size_t(i) * 7] = 0xFF000010;
        for (int i = 0; i < 500; ++i) b.pixels[1000 + std::size_t(i)] = 0xFF000002;  // within, any number
        const auto c = picture_compare::Compare(a, b, 2);
        EXPECT_EQ(picture_compare::GoalMet(c, false), beyond == 10) << beyond;
        EXPECT_FALSE(picture_compare::GoalMet(c, true));
    }
    EXPECT_FALSE(picture_compare::GoalMet(picture_compare::Compare(a, Filled(20, 100, 0xFF000000), 2), false));
}

TEST(PictureCompare, PngRoundTripAndSideBySide) {
    Picture a = Filled(3, 2, 0xFF112233);
    a.pixels[4] = 0x80FF0001;
    const Picture b = Filled(2, 3, 0xFFFFFFFF);
    const Picture both = picture_compare::SideBySide({&a, &b});
    ASSERT_EQ(both.width, 5u);
    ASSERT_EQ(both.height, 3u);
    EXPECT_EQ(both.pixels[1 * 5 + 1], 0x80FF0001u);
    EXPECT_EQ(both.pixels[2 * 5 + 0], 0xFF000000u);  // below the shorter picture
    EXPECT_EQ(both.pixels[2 * 5 + 4], 0xFFFFFFFFu);

    const std::string path = testing::TempDir() + "picture_compare_test.png";
    ASSERT_TRUE(picture_compare::WritePng(path, both));
    Picture read;
    std::string error;
    ASSERT_TRUE(picture_compare::ReadPng(path, read, error)) << error;
    EXPECT_EQ(read.pixels, both.pixels);
    std::remove(path.c_str());
    EXPECT_FALSE(picture_compare::ReadPng(path, read, error));
    EXPECT_FALSE(error.empty());
}

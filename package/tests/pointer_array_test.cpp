#include "package/pointer_array.h"

#include <gtest/gtest.h>

namespace {
int objects[200];
}

TEST(PointerArray, GrowsByAQuarterPlus32) {
    PointerArray a;
    EXPECT_EQ(0, a.Capacity());
    EXPECT_EQ(0, a.Add(&objects[0]));
    EXPECT_EQ(32, a.Capacity());
    for (int i = 1; i < 32; ++i) EXPECT_EQ(i, a.Add(&objects[i]));
    EXPECT_EQ(32, a.Capacity());
    EXPECT_EQ(32, a.Add(&objects[32]));  // the 33rd
    EXPECT_EQ(72, a.Capacity());
    for (int i = 33; i < 73; ++i) a.Add(&objects[i]);
    EXPECT_EQ(122, a.Capacity());
    for (int i = 0; i < 73; ++i) ASSERT_EQ(&objects[i], a.Get(i)) << i;
}

TEST(PointerArray, OutOfRangeGetsAreNullAndSetExtendsWithNulls) {
    PointerArray a;
    a.Add(&objects[0]);
    EXPECT_EQ(nullptr, a.Get(-1));
    EXPECT_EQ(nullptr, a.Get(a.Count()));
    a.Set(&objects[5], -3);  // ignored
    EXPECT_EQ(1, a.Count());
    a.Set(&objects[5], 5);
    EXPECT_EQ(6, a.Count());
    for (int i = 1; i < 5; ++i) EXPECT_EQ(nullptr, a.Get(i));
    EXPECT_EQ(&objects[5], a.Get(5));
    a.Set(&objects[1], 1);
    EXPECT_EQ(&objects[1], a.Get(1));
}

TEST(PointerArray, SetCountClearAndLimits) {
    PointerArray a;
    EXPECT_TRUE(a.SetCount(40));  // grows to 40 * 1.25 + 32
    EXPECT_EQ(82, a.Capacity());
    EXPECT_EQ(40, a.Count());
    EXPECT_EQ(nullptr, a.Get(39));
    EXPECT_TRUE(a.SetCount(3));
    EXPECT_EQ(3, a.Count());
    EXPECT_FALSE(a.SetCount(-1));
    // A size whose storage cannot be addressed is refused, leaving the array as it was.
    EXPECT_FALSE(a.SetCount(INT32_MAX));
    EXPECT_EQ(3, a.Count());
    a.Set(&objects[0], INT32_MAX);
    EXPECT_EQ(3, a.Count());
    a.Clear();
    EXPECT_EQ(0, a.Count());
    EXPECT_EQ(0, a.Capacity());
    EXPECT_EQ(0, a.Add(&objects[0]));
}

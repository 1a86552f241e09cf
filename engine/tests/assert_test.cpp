// VANTREL_ASSERT stops the program at a broken invariant where assertions are on (Debug,
// sanitizer and fuzz builds) and costs nothing where they are off.
#include <gtest/gtest.h>

#include "plugin_frame/vantrel_assert.h"

namespace {

int g_evaluations = 0;
bool Evaluated(bool value) {
    ++g_evaluations;
    return value;
}

TEST(VantrelAssert, StopsAtABrokenInvariantOnlyWhenOn) {
    g_evaluations = 0;
    VANTREL_ASSERT(Evaluated(true));
#if VANTREL_ASSERTIONS
    EXPECT_EQ(g_evaluations, 1);
    EXPECT_DEATH(VANTREL_ASSERT(Evaluated(1 + 1 == 3)), "assertion failed: Evaluated\\(1 \\+ 1 == 3\\)");
#else
    EXPECT_EQ(g_evaluations, 0) << "compiled out: the condition is never run";
    VANTREL_ASSERT(Evaluated(false));
    EXPECT_EQ(g_evaluations, 0);
#endif
}

}  // namespace

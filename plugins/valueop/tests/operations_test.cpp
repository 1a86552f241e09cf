// The accumulators' arithmetic and the text searches on their own.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cmath>
#include <limits>

#include "valueop/operations.h"

using namespace valueop;

TEST(WrapAccumulator, ReducesLargeStepsKeepingTheirSign) {
    EXPECT_FLOAT_EQ(3.5f, ReduceWrapStep(23.5f, 10.0f));
    // A negative step keeps its sign: -23.5 over 10 is -(3 + 0.5).
    EXPECT_FLOAT_EQ(-3.5f, ReduceWrapStep(-23.5f, 10.0f));
    EXPECT_FLOAT_EQ(6.5f, *WrapAccumulate(0.0f, 0.0f, 10.0f, -23.5f));
    // The integer part of a fractional range is the divisor: 7.3 over 2.5 is 0.3 + 7 % 2.
    EXPECT_FLOAT_EQ(1.3f, ReduceWrapStep(7.3f, 2.5f));
    // Steps beyond 32-bit integers reduce instead of overflowing a conversion.
    EXPECT_FLOAT_EQ(float(int64_t(3e10f) % 7), ReduceWrapStep(3e10f, 7.0f));
    EXPECT_FALSE(WrapAccumulate(4.0f, 5.0f, 5.0f, 1.0f).has_value());
    EXPECT_FALSE(WrapAccumulate(4.0f, 6.0f, 5.0f, 1.0f).has_value());
}

TEST(WrapAccumulator, RangesBelowOneReduceByTheRangeItself) {
    EXPECT_NEAR(0.3f, ReduceWrapStep(1.3f, 0.5f), 1e-6f);
    EXPECT_NEAR(-0.1f, ReduceWrapStep(-0.6f, 0.25f), 1e-6f);
    EXPECT_NEAR(0.0f, ReduceWrapStep(1.0f, 0.5f), 1e-6f);
    // Accumulating keeps the value inside low..high however large the step.
    float value = 0.0f;
    for (float step : {1.3f, -7.7f, 123.456f, -0.51f, 1e6f}) {
        value = *WrapAccumulate(value, 0.0f, 0.5f, step);
        EXPECT_TRUE(value >= 0.0f && value <= 0.5f) << "step " << step << " gave " << value;
    }
    EXPECT_NEAR(0.2f, *WrapAccumulate(0.4f, 0.0f, 0.5f, 1.3f), 1e-6f);  // 0.4 + 0.3 wraps
}

TEST(TextSearch, EmptyTextsAndMisses) {
    EXPECT_FLOAT_EQ(0.0f, FindFirst("x", "abcb"));
    EXPECT_FLOAT_EQ(0.0f, FindLast("x", "abcb"));
    EXPECT_FLOAT_EQ(0.0f, CountOccurrences("x", "abcb"));
    EXPECT_FLOAT_EQ(0.0f, FindLast("abcbx", "abcb"));
    // An empty needle matches at every position up to the end.
    EXPECT_FLOAT_EQ(0.0f, FindFirst("", "abcb"));
    EXPECT_FLOAT_EQ(4.0f, FindLast("", "abcb"));
    EXPECT_FLOAT_EQ(4.0f, CountOccurrences("", "abcb"));
    EXPECT_FLOAT_EQ(0.0f, CountOccurrences("", ""));
    EXPECT_FLOAT_EQ(0.0f, CountOccurrences("a", ""));
}

TEST(NumberParsing, ReadsLeadingNumbersAndSaturates) {
    EXPECT_FLOAT_EQ(-42.0f, ParseInteger("  -42abc"));
    EXPECT_FLOAT_EQ(17.0f, ParseInteger("+17.9"));
    EXPECT_FLOAT_EQ(0.0f, ParseInteger("x12"));
    EXPECT_FLOAT_EQ(float(INT_MAX), ParseInteger("99999999999999999999"));
    EXPECT_FLOAT_EQ(float(INT_MIN), ParseInteger("-99999999999999999999"));
    EXPECT_FLOAT_EQ(-2.5e3f, ParseFloat(" -2.5e3 rest"));
    EXPECT_FLOAT_EQ(0.0f, ParseFloat("nothing"));
    EXPECT_EQ(-3, TruncateToInt(-3.9f));
    EXPECT_EQ(INT_MAX, TruncateToInt(1e20f));
    EXPECT_EQ(INT_MIN, TruncateToInt(-1e20f));
    EXPECT_EQ(0, TruncateToInt(std::numeric_limits<float>::quiet_NaN()));
}

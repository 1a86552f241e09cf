// The arithmetic and text searches of the value operator, free of channels so they can be
// read and tested on their own. All arithmetic is single precision.
#pragma once

#include <optional>
#include <string_view>

namespace valueop {

// The step of the wrapping accumulator reduced below the range (high - low > 0) when its
// magnitude exceeds it. For a range of 1 or more: integer part of the step remainder
// integer part of the range, plus the step's fraction (keeping the step's sign). Below 1
// the integer part of the range is 0, so the step is reduced by the range itself instead.
float ReduceWrapStep(float step, float range);

// value + step held within low..high; with low above high, low wins.
inline float Limit(float input, float low, float high) {
    if (input > high) input = high;
    if (input < low) input = low;
    return input;
}
inline float ClampAccumulate(float value, float low, float high, float step) {
    return Limit(value + step, low, high);
}

// One step of the wrapping accumulator: value + step wrapped into low..high. Empty when
// the range is not positive (the operation then yields 0). Inline: it runs every frame.
inline std::optional<float> WrapAccumulate(float value, float low, float high, float step) {
    const float range = high - low;
    if (!(range > 0.0f)) return std::nullopt;
    if (step > range || -step > range) step = ReduceWrapStep(step, range);
    value = value + step;
    if (value > high) value = value - high + low;
    if (value < low) value = value - low + high;
    return value;
}

// Position of the first occurrence of needle in hay; 0 when there is none.
float FindFirst(std::string_view needle, std::string_view hay);
// Position of the last occurrence; 0 when there is none, hay's length for an empty needle.
float FindLast(std::string_view needle, std::string_view hay);
// Occurrences of needle in hay, overlapping ones included; 0 for an empty hay.
float CountOccurrences(std::string_view needle, std::string_view hay);

// Leading decimal integer after optional white space and sign, as atoi reads it; values
// beyond the 32-bit range saturate instead of being undefined.
float ParseInteger(const char* text);
// Leading floating-point number, as atof reads it.
float ParseFloat(const char* text);

// A float truncated towards zero to a 32-bit integer; NaN gives 0, values beyond the
// range saturate.
int TruncateToInt(float value);

}  // namespace valueop

#include "valueop/operations.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace valueop {

float ReduceWrapStep(float step, float range) {
    if (range < 1.0f) {
        // The integer part of such a range is 0 and a remainder by it has no meaning;
        // the range itself is the smallest sound divisor, and the result stays below it.
        return std::fmod(step, range);
    }
    // Remainders of integer-valued floats are exact, so this matches the integer
    // remainder wherever that is defined and keeps working for steps beyond 32 bits.
    const float whole = std::trunc(step);
    const float wholeRange = std::trunc(range);
    const float fraction = std::fabs(step) - std::fabs(whole);
    const float rest = std::fmod(whole, wholeRange);  // takes the sign of the step
    return step > 0.0f ? fraction + rest : rest - fraction;
}

float FindFirst(std::string_view needle, std::string_view hay) {
    size_t p = hay.find(needle);
    return p == std::string_view::npos ? 0.0f : float(p);
}

float FindLast(std::string_view needle, std::string_view hay) {
    float result = 0.0f;
    size_t from = 0;
    for (;;) {
        size_t p = hay.find(needle, from);
        if (p == std::string_view::npos) break;
        result = float(p);
        if (p >= hay.size()) break;
        from = p + 1;
    }
    return result;
}

float CountOccurrences(std::string_view needle, std::string_view hay) {
    if (hay.empty()) return 0.0f;
    float count = 0.0f;
    size_t from = 0;
    for (;;) {
        size_t p = hay.find(needle, from);
        if (p == std::string_view::npos) break;
        count += 1.0f;
        if (p + 1 >= hay.size()) break;
        from = p + 1;
    }
    return count;
}

float ParseInteger(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long value = 0;
    for (; std::isdigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > 1LL + INT_MAX) value = 1LL + INT_MAX;  // saturates; keeps the sum small
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return float(int(value));
}

float ParseFloat(const char* text) { return float(std::strtod(text, nullptr)); }

int TruncateToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return INT_MAX;
    if (value <= -2147483648.0f) return INT_MIN;
    return int(value);
}

}  // namespace valueop

// VANTREL_ASSERT(condition): an invariant of our own code, one no input can break. On in
// Debug builds and in the sanitizer and fuzz builds (VANTREL_ASSERTIONS=1), where a broken
// invariant stops the program at its source with the file, line and condition; compiled out
// otherwise, where the code after it keeps its plain check so a release build degrades as
// before instead of stopping.
#pragma once

#if !defined(VANTREL_ASSERTIONS)
#if defined(NDEBUG)
#define VANTREL_ASSERTIONS 0
#else
#define VANTREL_ASSERTIONS 1
#endif
#endif

#if VANTREL_ASSERTIONS
#include <cstdio>
#include <cstdlib>

namespace vantrel_detail {
[[noreturn]] inline void AssertionFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}
}  // namespace vantrel_detail

#define VANTREL_ASSERT(condition) \
    ((condition) ? void(0) : ::vantrel_detail::AssertionFailed(#condition, __FILE__, __LINE__))
#else
// The condition stays compiled (never evaluated) so that it cannot rot.
#define VANTREL_ASSERT(condition) ((void)sizeof(!(condition)))
#endif

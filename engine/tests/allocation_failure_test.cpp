// InitDLL gives null, and the engine no channel, when memory runs out.
#include <gtest/gtest.h>

#include <new>

#include "engine_host.h"
#include "link_test_channel.h"

namespace {
bool g_failNothrowNew = false;
int g_failedRequests = 0;
}  // namespace

// The channel libraries allocate with the nothrow form; this replacement is the one they
// bind to, so a test can make it fail.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failNothrowNew) {
        ++g_failedRequests;
        return nullptr;
    }
    // The ordinary allocation, so the matching delete (and a sanitizer) sees a new.
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

TEST(AllocationFailure, InitDllGivesNullAndTheEngineNoChannel) {
    EngineHost host(CHANNELS_DIR);
    ASSERT_NE(host.Engine().GetRegisteredType(kLinkTestType), nullptr);  // library loaded first
    g_failNothrowNew = true;
    Kel_Channel* channel = host.Engine().InitChannelFromType(kLinkTestType, nullptr, false);
    g_failNothrowNew = false;
    EXPECT_EQ(channel, nullptr);
    EXPECT_EQ(g_failedRequests, 1);
    EXPECT_NE(host.Engine().GetDebugMessages().back().find("could not be created"), std::string::npos);
    Kel_Channel* later = host.Engine().InitChannelFromType(kLinkTestType, nullptr, false);
    EXPECT_NE(later, nullptr);
    delete later;
}

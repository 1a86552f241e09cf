// A steady frame of the sample, stepped and drawn as the viewer does, allocates nothing in
// our code. Every malloc family call of the process is seen by the hooks below (operator new
// reaches them through the C++ runtime); while a frame is counted each call's stack is kept,
// and afterwards it is charged to the first caller outside the C and C++ runtimes. Calls
// charged to the physics library (its hash space), GLU or Mesa are theirs, not ours.
//
// The hooks replace the allocator, which the sanitizers replace too: under them the test is
// skipped.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine_host.h"
#include "frame_renderer.h"
#include "start_file.h"

#if defined(__SANITIZE_ADDRESS__)
#define FRAME_ALLOCATION_HOOKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FRAME_ALLOCATION_HOOKS 0
#endif
#endif
#ifndef FRAME_ALLOCATION_HOOKS
#define FRAME_ALLOCATION_HOOKS 1
#endif

namespace {

constexpr int kStackDepth = 24;
constexpr int kMaxRecords = 8192;

struct AllocationRecord {
    void* stack[kStackDepth];
    int depth;
};

std::atomic<bool> g_counting{false};
std::atomic<int> g_allocations{0};
AllocationRecord g_records[kMaxRecords];
thread_local bool t_inHook = false;

// Kept out of line: the stack then starts with this function and the hook that called it.
[[gnu::noinline, maybe_unused]] void NoteAllocation() {
    if (!g_counting.load(std::memory_order_relaxed) || t_inHook) return;
    t_inHook = true;
    const int index = g_allocations.fetch_add(1);
    if (index < kMaxRecords) g_records[index].depth = backtrace(g_records[index].stack, kStackDepth);
    t_inHook = false;
}

}  // namespace

#if FRAME_ALLOCATION_HOOKS
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

[[gnu::noinline]] void* malloc(size_t size) {
    NoteAllocation();
    return __libc_malloc(size);
}
[[gnu::noinline]] void* calloc(size_t count, size_t size) {
    NoteAllocation();
    return __libc_calloc(count, size);
}
[[gnu::noinline]] void* realloc(void* block, size_t size) {
    NoteAllocation();
    return __libc_realloc(block, size);
}
[[gnu::noinline]] void* aligned_alloc(size_t alignment, size_t size) {
    NoteAllocation();
    return __libc_memalign(alignment, size);
}
[[gnu::noinline]] void* memalign(size_t alignment, size_t size) {
    NoteAllocation();
    return __libc_memalign(alignment, size);
}
[[gnu::noinline]] int posix_memalign(void** out, size_t alignment, size_t size) {
    NoteAllocation();
    void* block = __libc_memalign(alignment, size);
    if (!block) return ENOMEM;
    *out = block;
    return 0;
}
}
#endif

namespace {

bool Contains(const char* text, const char* part) { return text && std::strstr(text, part); }

bool IsRuntime(const char* library) {
    return Contains(library, "/libc.so") || Contains(library, "/libstdc++.so") || Contains(library, "/libgcc_s.so") ||
           Contains(library, "/ld-linux") || Contains(library, "/libm.so");
}

// The libraries whose own allocations a frame may make.
bool IsExcused(const char* library) {
    return Contains(library, "/libode.so") || Contains(library, "/libGLU.so") || Contains(library, "/libOSMesa.so") ||
           Contains(library, "/libGL") || Contains(library, "/libgallium") || Contains(library, "/libLLVM") ||
           Contains(library, "_dri.so") || Contains(library, "/libglapi.so");
}

struct Charge {
    std::string where;  // library and function of the caller charged
    bool ours;
};

// Frames 0 and 1 are NoteAllocation and the hook; the first caller outside the runtimes pays.
Charge ChargeOf(const AllocationRecord& record) {
    for (int i = 2; i < record.depth; ++i) {
        Dl_info info{};
        if (!dladdr(record.stack[i], &info) || IsRuntime(info.dli_fname)) continue;
        const std::string where = std::string(info.dli_fname ? info.dli_fname : "?") + " " +
                                  (info.dli_sname ? info.dli_sname : "?");
        return {where, !IsExcused(info.dli_fname)};
    }
    return {"inside the runtimes only", false};
}

struct Counted {
    int total = 0;
    std::vector<std::string> ours;  // where each allocation charged to our code was made
};

template <typename Work>
Counted CountAllocations(Work&& work) {
    g_allocations = 0;
    g_counting = true;
    work();
    g_counting = false;
    Counted counted;
    counted.total = g_allocations.load();
    for (int i = 0; i < std::min(counted.total, kMaxRecords); ++i) {
        Charge charge = ChargeOf(g_records[i]);
        if (charge.ours) counted.ours.push_back(charge.where);
    }
    return counted;
}

[[gnu::noinline]] void AllocateHere(std::vector<int>& v) { v.resize(v.size() + 1000); }

class FrameAllocation : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FRAME_ALLOCATION_HOOKS) GTEST_SKIP() << "the sanitizers own the allocator";
        void* warm[4];
        backtrace(warm, 4);  // the first call loads the unwinder, which allocates
    }
};

// The counter itself: an allocation made by this file through the C++ runtime is charged
// here, and nothing is charged when nothing allocates.
TEST_F(FrameAllocation, CounterChargesTheCallerPastTheRuntime) {
    std::vector<int> v;
    const Counted grown = CountAllocations([&] { AllocateHere(v); });
    ASSERT_EQ(grown.total, 1);
    ASSERT_EQ(grown.ours.size(), 1u);
    EXPECT_NE(grown.ours[0].find("frame_allocation_tests"), std::string::npos) << grown.ours[0];
    const Counted none = CountAllocations([&] { v[0] = 1; });
    EXPECT_EQ(none.total, 0);
}

TEST_F(FrameAllocation, SteadySampleFrameAllocatesNothingOfOurs) {
    EngineHost host{CHANNELS_DIR};
    ASSERT_TRUE(host.Load(std::string(SAMPLE_PROJECT_DIR) + "/start.cgr"));
    std::ifstream in(std::string(SAMPLE_PROJECT_DIR) + "/VtlStart.vtl", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::optional<StartFile> start = ReadStartFile(bytes);
    ASSERT_TRUE(start);
    ASSERT_TRUE(scene::ResizeScene(host.Engine(), 320, 240));
    // The title is refined over the first second and the bodies settle: by frame 100 the
    // scene changes only by motion (the light and the block keep turning).
    auto frame = [&] {
        host.Step(start->frameTime, 1);
        return scene::RenderFrame(host.Engine(), host.Group());
    };
    for (int f = 0; f < 100; ++f) ASSERT_TRUE(frame());

    bool drawn = true;
    const Counted counted = CountAllocations([&] {
        for (int f = 0; f < 10; ++f) drawn = frame() && drawn;
    });
    EXPECT_TRUE(drawn);
    std::string list;
    for (const std::string& where : counted.ours) list += "\n  " + where;
    EXPECT_TRUE(counted.ours.empty()) << counted.ours.size() << " of " << counted.total
                                      << " allocations in 10 frames were made by our code:" << list;
    EXPECT_LE(counted.total, kMaxRecords) << "more allocations than the records kept; raise kMaxRecords";
}

}  // namespace

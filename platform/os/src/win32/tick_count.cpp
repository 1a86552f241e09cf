// The tick count on Windows. Every module (the program and each DLL) links its own copy of
// this library, and a DLL cannot bind to a symbol of the program as an ELF library can, so
// the clock a test installs has one owner: the program. Its copy exports the source below;
// every module finds it by name in the program's export table and reads that one clock.
#include "os/tick_count.h"

#include <windows.h>

using TickSource = std::function<uint32_t()>;

// The source this module owns. Exported, so that the program's copy is the one all find.
extern "C" __declspec(dllexport) TickSource* VantrelTickCountSource() {
    static TickSource source;
    return &source;
}

namespace os {
namespace {

TickSource& Source() {
    static TickSource* const shared = [] {
        using Owner = TickSource* (*)();
        const FARPROC found = ::GetProcAddress(::GetModuleHandleW(nullptr), "VantrelTickCountSource");
        // A program that does not hold this library leaves each module its own clock.
        return found ? reinterpret_cast<Owner>(reinterpret_cast<void (*)()>(found))()
                     : VantrelTickCountSource();
    }();
    return *shared;
}

}  // namespace

uint32_t GetTickCount() {
    if (const auto& source = Source()) return source();
    return ::GetTickCount();
}

void SetTickCountSourceForTesting(TickSource source) { Source() = std::move(source); }

}  // namespace os

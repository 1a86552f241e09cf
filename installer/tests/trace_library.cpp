// A library that leaves a trace when it is loaded: planted beside the engine core under
// another spelling of its name, it tells whether the installer ran it.
#include <cstdio>
#include <cstdlib>

__attribute__((constructor)) static void LeaveTrace() {
    if (const char* path = std::getenv("VANTREL_TEST_TRACE")) {
        if (std::FILE* f = std::fopen(path, "w")) {
            std::fputs("loaded\n", f);
            std::fclose(f);
        }
    }
}

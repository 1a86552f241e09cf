// VtlUnInst.exe: removes what a standard installation left, as its "uninstall.nfo" lists it
// (see uninstaller.cpp for what it removes and what it leaves).
//
//   VtlUnInst.exe            remove the listed files, the log, the listed folders (only
//                            empty ones go) and the project's registry keys
//   VtlUnInst.exe --list     print the log without removing anything
//
// Exit code 0 after a removal or a listing, 1 when there is no readable log, 2 for bad
// arguments. On Windows a removal is handed to a private copy of the program (see
// os/program_copy.h), which can delete this file; the program itself then ends with 0 at once.
#include <cstdio>
#include <cstring>

#include "os/program_copy.h"
#include "uninstaller.h"

int main(int argc, char** argv) {
    const bool listOnly = argc == 2 && std::strcmp(argv[1], "--list") == 0;
    if (argc > 2 || (argc == 2 && !listOnly)) {
        std::fprintf(stderr, "usage: VtlUnInst.exe [--list]\n");
        return 2;
    }
    if (!listOnly && os::HandOffToPrivateCopy() == os::Handoff::HandedToCopy) return 0;
    const int code = RunUninstaller(os::ProgramWorkedFor(), listOnly);
    os::RemovePrivateCopyLater();
    return code;
}

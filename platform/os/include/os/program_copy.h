// A program that removes the folder its own file is in (the uninstaller). Windows keeps the
// file of a running program: there the original hands its work to a copy of itself in a
// fresh private temporary folder and ends; the copy waits for it to end, works on the
// original's folder, and has its own file and folder removed when the system next starts.
// A running program's file can go like any other elsewhere: the program works there itself.
#pragma once

#include <string>

namespace os {

enum class Handoff { WorkHere, HandedToCopy };

// Called first by such a program. HandedToCopy: a copy was started with the same arguments
// and does the work; the caller ends now (the copy waits for that). WorkHere in the copy
// (once the original has ended), on systems that need no copy, and when no copy could be
// made or started (the program's own file then stays, as before).
Handoff HandOffToPrivateCopy();

// The path of the program the work is for: in the copy the original's, else the running
// program's own (GetProgramPath).
std::string ProgramWorkedFor();

// In the copy: its file and private folder are removed when the system next starts (nothing
// happens anywhere else, or where the system does not allow it).
void RemovePrivateCopyLater();

}  // namespace os

// projinstall: a self-extracting installer. It takes no arguments; the package it installs
// is appended to its own file.
#include "installer/program_entry.h"
#include "os/program_instance.h"

int main() { return VantrelMain(os::GetProgramInstance(), nullptr, "", 1); }

// The program's entry, the way a Windows GUI program is entered. It returns 0 on every
// path, a failed installation and an unexpected exception included.
#pragma once

#include "installer/handles.h"

// The command line given here is not used: the package reader takes the process's own.
int VantrelMain(InstanceHandle instance, InstanceHandle previous, const char* commandLine,
                int showCommand) noexcept;

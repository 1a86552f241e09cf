// What VtlUnInst.exe does, for the program and for tests and fuzzing that drive it in
// process: `self` is the uninstaller's own path (its folder is the install folder).
#pragma once

#include <string>

// Lists the log (`listOnly`) or removes what it lists that this installation can have
// made. The exit code: 0 after a removal or a listing, 1 when there is no readable log.
int RunUninstaller(const std::string& self, bool listOnly);

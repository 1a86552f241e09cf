// The run-in-place project type. It comes with its own issue; until then the handler
// reports failure without writing anything.
#include "installer/project_installer.h"

bool ProjectInstaller::RunInPlace() { return false; }

void ProjectInstaller::LaunchViewer(bool) {}

void ProjectInstaller::CleanupTempFolder() {}

// The run-in-place project type. It comes with its own issue; until then the handler
// reports failure without writing anything. LaunchViewer, which the standard installation
// shares, is with the standard steps.
#include "installer/project_installer.h"

bool ProjectInstaller::RunInPlace() { return false; }

void ProjectInstaller::CleanupTempFolder() {}

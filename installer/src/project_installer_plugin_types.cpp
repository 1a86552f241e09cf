// The screensaver and Winamp project types. They come with their own issue; until then each
// handler reports failure without writing anything.
#include "installer/project_installer.h"

bool ProjectInstaller::InstallScreensaver() { return false; }

void ProjectInstaller::CopyScreensaverToSystem() {}

bool ProjectInstaller::InstallWinampPlugin() { return false; }

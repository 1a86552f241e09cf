// The steps of the standard installation and the DirectX probe. They come with the
// standard installation; until then each one reports failure, so a run of that type ends
// without writing anything.
#include "installer/project_installer.h"

bool ProjectInstaller::CopyCoreFiles() { return false; }

bool ProjectInstaller::InitEngine() { return false; }

bool ProjectInstaller::ExtractChannels() { return false; }

bool ProjectInstaller::ExtractProjectFiles() { return false; }

bool ProjectInstaller::IsDirectX81OrHigher() { return false; }

uint32_t ProjectInstaller::GetDirectXVersion() { return 0; }

bool ProjectInstaller::InstallStandard() { return false; }

int32_t ProjectInstaller::CreateShortcut(const char*, const char*, const char*, const char*) {
    return -1;
}

void ProjectInstaller::WriteViewerRegistryKey() {}

void ProjectInstaller::WriteUninstallRegistryKey() {}

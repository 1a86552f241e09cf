// The installer's two dialog templates, as its resources hold them.
#pragma once

#include "ui/dialog_window.h"

// Control ids of the options dialog and the progress window.
inline constexpr int IDC_INSTALL = 1;
inline constexpr int IDC_INSTALL_PATH = 1000;
inline constexpr int IDC_BROWSE = 1001;
inline constexpr int IDC_CANCEL = 1002;
inline constexpr int IDC_PROGRESS = 1003;

// "IDD_ISNTALLDIALOG" (so spelled): 239 × 86 dialog units, "Installation Options".
const ui::DialogTemplate& InstallDialogTemplate();
// "IDD_PROGRESSBAR": 257 × 31, "Installing...", no system menu.
const ui::DialogTemplate& ProgressBarTemplate();

// Looks a template up by its resource name; null for an unknown name.
const ui::DialogTemplate* FindDialogTemplate(const char* name);

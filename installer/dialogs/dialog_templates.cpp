#include "dialogs/dialog_templates.h"

#include <cstring>

using ui::ControlClass;

const ui::DialogTemplate& InstallDialogTemplate() {
    static const ui::DialogTemplate dialog{
        "IDD_ISNTALLDIALOG",
        "Installation Options",
        239,
        86,
        true,
        {
            {-1, ControlClass::GroupBox, "Target installation directory", 7, 7, 225, 51},
            {-1, ControlClass::Static, "Please select the target folder for installation.", 14, 21, 141, 8},
            {IDC_INSTALL_PATH, ControlClass::Edit, "", 14, 35, 157, 14},
            {IDC_BROWSE, ControlClass::Button, "Browse...", 176, 35, 50, 14},
            {IDC_INSTALL, ControlClass::DefaultButton, "Install", 127, 64, 50, 14},
            {IDC_CANCEL, ControlClass::Button, "Cancel", 182, 64, 50, 14},
        }};
    return dialog;
}

const ui::DialogTemplate& ProgressBarTemplate() {
    static const ui::DialogTemplate dialog{
        "IDD_PROGRESSBAR",
        "Installing...",
        257,
        31,
        false,
        {{IDC_PROGRESS, ControlClass::Progress, "Progress1", 7, 7, 243, 14}}};
    return dialog;
}

const ui::DialogTemplate* FindDialogTemplate(const char* name) {
    if (!name) return nullptr;
    if (std::strcmp(name, InstallDialogTemplate().name.c_str()) == 0) return &InstallDialogTemplate();
    if (std::strcmp(name, ProgressBarTemplate().name.c_str()) == 0) return &ProgressBarTemplate();
    return nullptr;
}

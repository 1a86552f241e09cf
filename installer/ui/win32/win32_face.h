// The installer's face on Windows: its dialogs as native dialogs built from their templates,
// message boxes through MessageBoxW, the shell's folder browser and the common-controls
// progress bar.
#pragma once

#include "ui/face.h"

namespace ui::win32 {

// The folder browser's options: file-system folders only, with an edit box.
inline constexpr unsigned kBrowseFlags = 0x0011;

class Win32Face : public Face {
public:
    Win32Face();

    int MessageBox(const char* text, const char* caption, unsigned type) override;
    // The dialog's result; 0 when the dialog could not be created (nothing is accepted).
    int RunModalDialog(const DialogTemplate& dialog, DialogProc proc, void* param) override;
    // The window is painted before this returns; it has no owner.
    std::unique_ptr<DialogWindow> CreateModelessDialog(const DialogTemplate& dialog,
                                                       DialogProc proc, void* param) override;
    // The shell's browser, owned by `owner`'s window, no root; the folder as the shell
    // gives it (a drive's root keeps its backslash).
    bool BrowseForFolder(DialogWindow* owner, const char* title, std::string& folder) override;
};

}  // namespace ui::win32

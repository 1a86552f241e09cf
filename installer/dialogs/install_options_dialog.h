// The modal dialog in which the user accepts or changes the target folder. The outcome is
// `accepted`, never the dialog's result: only "Install" sets it.
#pragma once

#include <cstdint>

#include "installer/handles.h"
#include "ui/dialog_window.h"

class InstallOptionsDialog {
public:
    static constexpr size_t kTextSize = 300;

    InstallOptionsDialog();
    virtual ~InstallOptionsDialog() = default;

    // Copies at most 259 characters of `initialPath` (when given) and runs the dialog
    // modally; the owner is not used. True when the user pressed "Install".
    virtual bool DoModal(InstanceHandle instance, WindowHandle owner, const char* initialPath);
    // The chosen folder; never null.
    virtual const char* GetPath();
    virtual void OnInitDialog(ui::DialogWindow& window);
    virtual void OnInstall();
    virtual void OnBrowse(ui::DialogWindow& window);
    virtual void SetPath(const char* path);
    // The caption becomes "<name> Installation Options"; a name too long is cut so the
    // suffix still fits.
    virtual void SetTitle(const char* projectName);

    const char* Title() const { return title_; }
    bool Accepted() const { return accepted_ != 0; }

    // The dialog procedure of "IDD_ISNTALLDIALOG".
    static int DialogProc(ui::DialogWindow& window, const ui::DialogMessage& message);

private:
    char title_[kTextSize];
    char path_[kTextSize];
    uint8_t accepted_ = 0;
    ui::DialogWindow* window_ = nullptr;
};

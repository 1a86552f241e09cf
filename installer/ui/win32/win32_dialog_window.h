// A dialog of the installer as a real Windows dialog: the dialog manager builds it from the
// template, and its messages reach the installer's dialog procedure as DialogMessages.
#pragma once

// Before the Windows headers: their BN_CLICKED, EN_CHANGE and SC_CLOSE macros would
// rename the constants it declares.
#include "ui/dialog_window.h"

#include <windows.h>

namespace ui::win32 {

class Win32DialogWindow : public DialogWindow {
public:
    Win32DialogWindow(DialogProc proc, bool modal) : proc_(proc), modal_(modal) {}
    // A modeless dialog still up is destroyed (WM_DESTROY reaches the procedure).
    ~Win32DialogWindow() override;
    Win32DialogWindow(const Win32DialogWindow&) = delete;
    Win32DialogWindow& operator=(const Win32DialogWindow&) = delete;

    void SetCaption(std::string_view text) override;
    std::string Caption() const override;
    void SetItemText(int id, std::string_view text) override;
    std::string ItemText(int id) const override;
    void SetProgressRange(int id, int low, int high) override;
    void SetProgressPosition(int id, int position) override;
    int ProgressPosition(int id) const override;
    void EndDialog(int result) override;

    HWND Handle() const { return hwnd_; }

    // What the creation call passes as its parameter: the window object and the
    // installer's own creation parameter for InitDialog.
    struct Start {
        Win32DialogWindow* window;
        void* param;
    };
    // The native dialog procedure every installer dialog runs on.
    static INT_PTR CALLBACK NativeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR Dispatch(const DialogMessage& message);

    DialogProc proc_;
    bool modal_;
    HWND hwnd_ = nullptr;
    bool ended_ = false;
    bool destroying_ = false;
};

}  // namespace ui::win32

// The modeless window with one progress bar (0 to 500) that stays up while files are
// written. No message loop runs meanwhile: every SetProgress repaints the bar at once.
#pragma once

#include <memory>

#include "installer/handles.h"
#include "ui/dialog_window.h"

class ProgressWindow {
public:
    static constexpr int kRange = 500;

    ProgressWindow();
    virtual ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // With the window up, changes its caption only; otherwise keeps the text (at most 259
    // characters) for Create.
    virtual void SetText(const char* text);
    // Position = fraction × 500, in single precision and truncated: 0.95 gives 474.
    virtual void SetProgress(float fraction);
    virtual void Create(InstanceHandle instance, WindowHandle owner);
    virtual void OnInitDialog(ui::DialogWindow& window);
    virtual void Destroy();

    const char* Text() const { return caption_; }
    ui::DialogWindow* Window() const { return window_.get(); }

    // The bar position SetProgress gives for `fraction`.
    static int Position(float fraction);

    static int DialogProc(ui::DialogWindow& window, const ui::DialogMessage& message);

private:
    std::unique_ptr<ui::DialogWindow> window_;
    char caption_[260];
};

#include "dialogs/progress_window.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "dialogs/dialog_templates.h"
#include "ui/face.h"

namespace {

constexpr size_t kCaptionMax = 259;

}  // namespace

ProgressWindow::ProgressWindow() { std::strcpy(caption_, "Installing..."); }

ProgressWindow::~ProgressWindow() { Destroy(); }

void ProgressWindow::SetText(const char* text) {
    if (!text) return;
    if (window_) {
        window_->SetCaption(text);
        return;
    }
    const size_t n = std::min(std::strlen(text), kCaptionMax);
    std::memcpy(caption_, text, n);
    caption_[n] = '\0';
}

int ProgressWindow::Position(float fraction) {
    // The fraction arrives in single precision but the product is formed wider, so 0.95
    // (held as 0.949999988) gives 474.99999 and truncates to 474. A float product would
    // round to 475 first.
    return int(double(fraction) * kRange);
}

void ProgressWindow::SetProgress(float fraction) {
    if (window_) window_->SetProgressPosition(IDC_PROGRESS, Position(fraction));
}

void ProgressWindow::Create(InstanceHandle, WindowHandle) {
    Destroy();
    if (const ui::DialogTemplate* dialog = FindDialogTemplate("IDD_PROGRESSBAR"))
        window_ = ui::CurrentFace().CreateModelessDialog(*dialog, &ProgressWindow::DialogProc, this);
}

void ProgressWindow::OnInitDialog(ui::DialogWindow& window) {
    window.SetProgressRange(IDC_PROGRESS, 0, kRange);
    window.SetCaption(caption_);
}

void ProgressWindow::Destroy() {
    window_.reset();
}

int ProgressWindow::DialogProc(ui::DialogWindow& window, const ui::DialogMessage& message) {
    if (message.kind != ui::MessageKind::InitDialog) return 0;
    if (auto* self = static_cast<ProgressWindow*>(message.param)) self->OnInitDialog(window);
    return 1;
}

#include "ui/memory_dialog_window.h"

namespace ui {

MemoryDialogWindow::MemoryDialogWindow(const DialogTemplate& dialog)
    : template_(dialog), caption_(dialog.caption) {
    for (const ControlTemplate& c : dialog.controls)
        if (c.id >= 0) texts_[c.id] = c.text;
}

void MemoryDialogWindow::SetCaption(std::string_view text) {
    caption_ = text;
    if (onCaption) onCaption(caption_);
}

void MemoryDialogWindow::SetItemText(int id, std::string_view text) { texts_[id] = text; }

std::string MemoryDialogWindow::ItemText(int id) const {
    auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
}

void MemoryDialogWindow::SetProgressRange(int id, int low, int high) {
    ranges_[id] = {low, high};
}

std::pair<int, int> MemoryDialogWindow::ProgressRange(int id) const {
    auto it = ranges_.find(id);
    // A fresh progress bar runs from 0 to 100.
    return it == ranges_.end() ? std::pair<int, int>{0, 100} : it->second;
}

void MemoryDialogWindow::SetProgressPosition(int id, int position) {
    const auto [low, high] = ProgressRange(id);
    position = position < low ? low : position > high ? high : position;
    positions_[id] = position;
    if (onProgress) onProgress(id, position);
}

int MemoryDialogWindow::ProgressPosition(int id) const {
    auto it = positions_.find(id);
    return it == positions_.end() ? 0 : it->second;
}

void MemoryDialogWindow::Send(DialogProc proc, const DialogMessage& message) {
    if (!Ended() || message.kind == MessageKind::Destroy) proc(*this, message);
}

void MemoryDialogWindow::Type(DialogProc proc, int id, std::string_view text) {
    SetItemText(id, text);
    Send(proc, {MessageKind::Command, id, EN_CHANGE});
}

void MemoryDialogWindow::Click(DialogProc proc, int id) {
    Send(proc, {MessageKind::Command, id, BN_CLICKED});
}

int FindControl(const DialogTemplate& dialog, ControlClass kind) {
    for (const ControlTemplate& c : dialog.controls)
        if (c.kind == kind && c.id >= 0) return c.id;
    return -1;
}

int FindButton(const DialogTemplate& dialog, std::string_view text) {
    for (const ControlTemplate& c : dialog.controls)
        if ((c.kind == ControlClass::Button || c.kind == ControlClass::DefaultButton) &&
            c.text == text)
            return c.id;
    return -1;
}

}  // namespace ui

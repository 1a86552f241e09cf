#include "ui/win32/win32_dialog_window.h"

#include <commctrl.h>

#include <vector>

#include "ui/win32/wide_text.h"

namespace ui::win32 {
namespace {

std::string WindowText(HWND hwnd) {
    if (!hwnd) return {};
    const int length = ::GetWindowTextLengthW(hwnd);
    std::vector<wchar_t> text(size_t(length) + 1);
    const int n = ::GetWindowTextW(hwnd, text.data(), length + 1);
    return Narrow(std::wstring_view(text.data(), size_t(n > 0 ? n : 0)));
}

}  // namespace

Win32DialogWindow::~Win32DialogWindow() {
    if (hwnd_) ::DestroyWindow(hwnd_);
}

void Win32DialogWindow::SetCaption(std::string_view text) {
    if (hwnd_) ::SetWindowTextW(hwnd_, Widen(text).c_str());
}

std::string Win32DialogWindow::Caption() const { return WindowText(hwnd_); }

void Win32DialogWindow::SetItemText(int id, std::string_view text) {
    if (hwnd_) ::SetDlgItemTextW(hwnd_, id, Widen(text).c_str());
}

std::string Win32DialogWindow::ItemText(int id) const {
    return hwnd_ ? WindowText(::GetDlgItem(hwnd_, id)) : std::string();
}

void Win32DialogWindow::SetProgressRange(int id, int low, int high) {
    if (hwnd_) ::SendDlgItemMessageW(hwnd_, id, PBM_SETRANGE32, WPARAM(low), LPARAM(high));
}

void Win32DialogWindow::SetProgressPosition(int id, int position) {
    if (!hwnd_) return;
    HWND bar = ::GetDlgItem(hwnd_, id);
    if (!bar) return;
    ::SendMessageW(bar, PBM_SETPOS, WPARAM(position), 0);
    // No message loop runs while the bar is up: paint it now.
    ::RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

int Win32DialogWindow::ProgressPosition(int id) const {
    return hwnd_ ? int(::SendDlgItemMessageW(hwnd_, id, PBM_GETPOS, 0, 0)) : 0;
}

void Win32DialogWindow::EndDialog(int result) {
    const bool first = !ended_;
    ended_ = true;
    // A modeless window has no loop to leave; it goes when its owner deletes it.
    if (first && modal_ && hwnd_ && !destroying_) ::EndDialog(hwnd_, result);
}

INT_PTR Win32DialogWindow::Dispatch(const DialogMessage& message) {
    if (ended_ && message.kind != MessageKind::Destroy) return 0;
    return proc_(*this, message);
}

INT_PTR CALLBACK Win32DialogWindow::NativeProc(HWND hwnd, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* start = reinterpret_cast<const Start*>(lParam);
        Win32DialogWindow* self = start->window;
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return self->Dispatch({MessageKind::InitDialog, 0, 0, start->param});
    }
    auto* self = reinterpret_cast<Win32DialogWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return FALSE;
    switch (message) {
    case WM_COMMAND:
        return self->Dispatch({MessageKind::Command, LOWORD(wParam), HIWORD(wParam)});
    case WM_SYSCOMMAND:
        return self->Dispatch({MessageKind::SysCommand, int(wParam)});
    case WM_DESTROY: {
        self->destroying_ = true;
        const INT_PTR result = self->Dispatch({MessageKind::Destroy});
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return result;
    }
    default: return FALSE;
    }
}

}  // namespace ui::win32

// Drives native dialogs from a second thread the way a user would: finds them by caption
// among the windows of the thread that shows them, reads their controls, types and clicks.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace driver {

struct Control {
    HWND hwnd;
    int id;
    std::wstring className;
    std::wstring text;
    LONG style;
};

// A visible dialog (class "#32770") of `thread` whose caption is `caption`; null after
// `timeoutMs` without one.
HWND WaitForDialog(DWORD thread, const std::wstring& caption, DWORD timeoutMs = 20000);
// A visible dialog of `thread` with a control that shows `text`, whatever its caption.
HWND WaitForDialogShowing(DWORD thread, const std::wstring& text, DWORD timeoutMs = 20000);
// Waits until `hwnd` is gone; false after `timeoutMs`.
bool WaitUntilGone(HWND hwnd, DWORD timeoutMs = 20000);
// The dialog's controls in creation (tab) order, and every window below it.
std::vector<Control> Controls(HWND dialog);
std::vector<Control> Descendants(HWND dialog);
std::wstring Text(HWND hwnd);
std::wstring ClassName(HWND hwnd);

// Clicks a button (posted: the click may open another modal window).
void Click(HWND dialog, int id);
// Types `text` into an edit control: its text changes and the dialog is told.
void Type(HWND dialog, int id, const std::wstring& text);
// Posts a key press to `hwnd`, as the keyboard does to the focused control.
void PressKey(HWND hwnd, WPARAM key);
// Waits until `predicate` holds; false after `timeoutMs`.
template <class Predicate>
bool WaitFor(Predicate predicate, DWORD timeoutMs = 20000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (predicate()) return true;
        ::Sleep(20);
    }
    return predicate();
}

// Closes whatever dialogs `thread` still shows (a failed check must not leave the test
// waiting in a modal loop).
void DismissAll(DWORD thread);

}  // namespace driver

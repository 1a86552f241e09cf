#include "dialog_driver.h"

namespace driver {
namespace {

struct Search {
    const std::wstring* caption;
    HWND found = nullptr;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (::IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32770" &&
        (!search->caption || Text(hwnd) == *search->caption)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    auto* out = reinterpret_cast<std::vector<Control>*>(param);
    out->push_back({hwnd, ::GetDlgCtrlID(hwnd), ClassName(hwnd), Text(hwnd),
                    LONG(::GetWindowLongPtrW(hwnd, GWL_STYLE))});
    return TRUE;
}

}  // namespace

std::wstring Text(HWND hwnd) {
    wchar_t text[1024] = {};
    ::SendMessageW(hwnd, WM_GETTEXT, WPARAM(std::size(text)), reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, int(std::size(name)));
    return name;
}

HWND WaitForDialog(DWORD thread, const std::wstring& caption, DWORD timeoutMs) {
    Search search{&caption};
    WaitFor([&] {
        ::EnumThreadWindows(thread, &MatchDialog, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, timeoutMs);
    return search.found;
}

HWND WaitForDialogShowing(DWORD thread, const std::wstring& text, DWORD timeoutMs) {
    struct Showing {
        const std::wstring* text;
        HWND found = nullptr;
    } search{&text};
    WaitFor([&] {
        ::EnumThreadWindows(thread, [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Showing*>(param);
            if (!::IsWindowVisible(hwnd) || ClassName(hwnd) != L"#32770") return TRUE;
            for (const Control& c : Descendants(hwnd))
                if (c.text == *s->text) s->found = hwnd;
            return s->found == nullptr;
        }, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, timeoutMs);
    return search.found;
}

bool WaitUntilGone(HWND hwnd, DWORD timeoutMs) {
    return WaitFor([&] { return !::IsWindow(hwnd); }, timeoutMs);
}

std::vector<Control> Controls(HWND dialog) {
    std::vector<Control> out;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        CollectChild(child, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::vector<Control> Descendants(HWND dialog) {
    std::vector<Control> out;
    ::EnumChildWindows(dialog, &CollectChild, reinterpret_cast<LPARAM>(&out));
    return out;
}

void Click(HWND dialog, int id) {
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void Type(HWND dialog, int id, const std::wstring& text) {
    ::SendMessageW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void PressKey(HWND hwnd, WPARAM key) {
    ::PostMessageW(hwnd, WM_KEYDOWN, key, 1);
    ::PostMessageW(hwnd, WM_KEYUP, key, LPARAM(0xC0000001));
}

void DismissAll(DWORD thread) {
    for (int round = 0; round < 10; ++round) {
        Search search{nullptr};
        ::EnumThreadWindows(thread, &MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (!search.found) return;
        // Whichever of these the dialog has ends it: a box's No or Cancel, the options
        // dialog's Cancel (1002).
        for (int id : {IDCANCEL, IDNO, 1002})
            if (HWND button = ::GetDlgItem(search.found, id)) ::PostMessageW(button, BM_CLICK, 0, 0);
        WaitUntilGone(search.found, 2000);
    }
}

}  // namespace driver

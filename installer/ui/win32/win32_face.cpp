#include "ui/win32/win32_face.h"

#include <algorithm>
#include <iterator>

#include "os/message_box.h"

namespace {
// The installer's box flags and answers, read before the Windows headers define the same
// names as macros; they must be the system's own values.
constexpr unsigned kInstallerBoxValues[] = {
    os::MB_OK, os::MB_OKCANCEL, os::MB_YESNOCANCEL, os::MB_YESNO, os::MB_ICONERROR,
    os::MB_ICONQUESTION, os::MB_ICONWARNING, os::MB_ICONINFORMATION,
    unsigned(os::IDOK), unsigned(os::IDCANCEL), unsigned(os::IDYES), unsigned(os::IDNO)};
}  // namespace

#include "ui/win32/native_dialog_template.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_dialog_window.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
// Our face's method is MessageBox itself; the header's A/W macro would rename it.
#undef MessageBox

namespace ui::win32 {

constexpr unsigned kSystemBoxValues[] = {
    MB_OK, MB_OKCANCEL, MB_YESNOCANCEL, MB_YESNO, MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING,
    MB_ICONINFORMATION, IDOK, IDCANCEL, IDYES, IDNO};
static_assert(std::equal(std::begin(kInstallerBoxValues), std::end(kInstallerBoxValues),
                         std::begin(kSystemBoxValues), std::end(kSystemBoxValues)));
static_assert(kBrowseFlags == (BIF_RETURNONLYFSDIRS | BIF_EDITBOX));

Win32Face::Win32Face() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
}

int Win32Face::MessageBox(const char* text, const char* caption, unsigned type) {
    return ::MessageBoxW(nullptr, Widen(text ? text : "").c_str(),
                         Widen(caption ? caption : "").c_str(), type);
}

int Win32Face::RunModalDialog(const DialogTemplate& dialog, DialogProc proc, void* param) {
    NativeDialogTemplate native(dialog);
    Win32DialogWindow window(proc, true);
    Win32DialogWindow::Start start{&window, param};
    const INT_PTR result =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), native.Template(), nullptr,
                                  &Win32DialogWindow::NativeProc, reinterpret_cast<LPARAM>(&start));
    return result == -1 ? 0 : int(result);
}

std::unique_ptr<DialogWindow> Win32Face::CreateModelessDialog(const DialogTemplate& dialog,
                                                              DialogProc proc, void* param) {
    NativeDialogTemplate native(dialog);
    auto window = std::make_unique<Win32DialogWindow>(proc, false);
    Win32DialogWindow::Start start{window.get(), param};
    HWND hwnd = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), native.Template(),
                                             nullptr, &Win32DialogWindow::NativeProc,
                                             reinterpret_cast<LPARAM>(&start));
    // No loop runs while it is up: paint the whole window once now.
    if (hwnd) ::UpdateWindow(hwnd);
    return window;
}

bool Win32Face::BrowseForFolder(DialogWindow* owner, const char* title, std::string& folder) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const std::wstring wideTitle = Widen(title ? title : "");
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info{};
    if (auto* native = dynamic_cast<Win32DialogWindow*>(owner)) info.hwndOwner = native->Handle();
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = kBrowseFlags;
    bool picked = false;
    if (PIDLIST_ABSOLUTE list = ::SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(list, path) && path[0]) {
            folder = Narrow(path);
            picked = true;
        }
        ::CoTaskMemFree(list);
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return picked;
}

}  // namespace ui::win32

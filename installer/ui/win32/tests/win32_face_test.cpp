// The native face under Wine: every dialog the installer shows is driven from a second
// thread as a user would drive it (found by caption, read control by control, typed into,
// clicked), and the outcome the installer sees is checked, cancelling included. The options
// dialog is saved as a PNG on the way (docs/ takes it from there).
// The installer's headers come before the Windows ones (see win32_dialog_window.h).
#include "dialogs/dialog_templates.h"
#include "dialogs/install_options_dialog.h"
#include "dialogs/progress_window.h"
#include "os/message_box.h"
#include "ui/win32/wide_text.h"
#include "ui/win32/win32_dialog_window.h"
#include "ui/win32/win32_face.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#undef MessageBox  // os::MessageBox, not the header's A/W macro

#include <functional>
#include <thread>

#include "dialog_driver.h"
#include "window_png.h"

using ui::win32::Narrow;
using ui::win32::Widen;

namespace {

const wchar_t* ExpectedClass(ui::ControlClass kind) {
    switch (kind) {
    case ui::ControlClass::Edit: return L"edit";
    case ui::ControlClass::Static: return L"static";
    case ui::ControlClass::Progress: return PROGRESS_CLASSW;
    default: return L"button";
    }
}

// The native controls are the template's, in its order, with its ids and texts.
void ExpectBuiltFromTemplate(HWND dialog, const ui::DialogTemplate& dialogTemplate,
                             const std::wstring& editText) {
    const std::vector<driver::Control> controls = driver::Controls(dialog);
    ASSERT_EQ(controls.size(), dialogTemplate.controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
        const ui::ControlTemplate& expected = dialogTemplate.controls[i];
        SCOPED_TRACE(expected.text);
        EXPECT_EQ(controls[i].id & 0xFFFF, expected.id & 0xFFFF);
        EXPECT_EQ(::lstrcmpiW(controls[i].className.c_str(), ExpectedClass(expected.kind)), 0)
            << Narrow(controls[i].className);
        if (expected.kind == ui::ControlClass::Edit) {
            EXPECT_EQ(controls[i].text, editText);
        } else if (expected.kind != ui::ControlClass::Progress) {
            EXPECT_EQ(Narrow(controls[i].text), expected.text);
        }
        if (expected.kind == ui::ControlClass::DefaultButton) {
            EXPECT_EQ(controls[i].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        }
    }
    const bool systemMenu = ::GetWindowLongPtrW(dialog, GWL_STYLE) & WS_SYSMENU;
    EXPECT_EQ(systemMenu, dialogTemplate.systemMenu);
}

// A folder of the Wine prefix the browser can be pointed at.
std::wstring MakeFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    wchar_t longTemp[MAX_PATH];
    ::GetLongPathNameW(temp, longTemp, MAX_PATH);
    std::wstring folder = std::wstring(longTemp) + name;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// Waits for the shell's browser, checks it shows `title`, then picks `folder` (empty:
// cancels) and waits until it has gone.
void UseBrowser(DWORD thread, const std::string& title, const std::wstring& folder) {
    HWND browser = driver::WaitForDialogShowing(thread, Widen(title));
    ASSERT_TRUE(browser) << "no folder browser showing \"" << title << "\"";
    if (folder.empty()) {
        driver::Click(browser, IDCANCEL);
    } else {
        // Pointed at the folder the way its owner would (BFFM_SETSELECTION); a cold shell
        // may need another try before the tree reaches that deep.
        HWND tree = nullptr;
        for (const driver::Control& c : driver::Descendants(browser))
            if (c.className == WC_TREEVIEWW) tree = c.hwnd;
        ASSERT_TRUE(tree);
        const std::wstring leaf = folder.substr(folder.find_last_of(L'\\') + 1);
        EXPECT_TRUE(driver::WaitFor([&] {
            ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
            wchar_t text[MAX_PATH] = {};
            TVITEMW item{};
            item.mask = TVIF_TEXT;
            item.hItem = TreeView_GetSelection(tree);
            item.pszText = text;
            item.cchTextMax = MAX_PATH;
            return item.hItem && TreeView_GetItem(tree, &item) && leaf == text;
        })) << "the browser would not select " << Narrow(folder);
        driver::Click(browser, IDOK);
    }
    EXPECT_TRUE(driver::WaitUntilGone(browser));
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = wchar_t(::towlower(c));
    return s;
}

class Win32FaceTest : public ::testing::Test {
protected:
    void SetUp() override { previous_ = ui::SetFace(std::make_unique<ui::win32::Win32Face>()); }
    void TearDown() override { ui::SetFace(std::move(previous_)); }

    std::unique_ptr<ui::Face> previous_;
};

// What the installer learns from its options dialog.
std::string OptionsOutcome(const char* initial) {
    InstallOptionsDialog dialog;
    dialog.SetTitle("Demo");
    const bool accepted = dialog.DoModal(nullptr, nullptr, initial);
    return std::string(accepted ? "install " : "declined ") + dialog.GetPath();
}

TEST_F(Win32FaceTest, EveryDialogShowsItsTextsAndGivesTheUsersAnswer) {
    const std::wstring picked = MakeFolder(L"Picked Folder");
    const std::string initial = "C:\\Program Files\\Demo";
    const std::wstring caption = L"Demo Installation Options";
    struct Case {
        const char* name;
        std::function<std::string()> show;  // on the test thread, as the installer does
        std::function<void(DWORD thread)> user;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"typed folder, Escape ignored, Enter installs",
         [&] { return OptionsOutcome(initial.c_str()); },
         [&](DWORD thread) {
             HWND dialog = driver::WaitForDialog(thread, caption);
             ASSERT_TRUE(dialog);
             ExpectBuiltFromTemplate(dialog, InstallDialogTemplate(), Widen(initial));
             ::Sleep(300);  // let it paint before the picture is taken
             EXPECT_TRUE(SaveWindowPng(dialog, Widen(SCREENSHOT_DIR "/options_dialog_win32.png")));
             driver::Type(dialog, IDC_INSTALL_PATH, L"D:\\Typed Folder");
             HWND edit = ::GetDlgItem(dialog, IDC_INSTALL_PATH);
             driver::PressKey(edit, VK_ESCAPE);
             ::Sleep(300);
             EXPECT_TRUE(::IsWindowVisible(dialog)) << "Escape closed the dialog";
             driver::PressKey(edit, VK_RETURN);
             EXPECT_TRUE(driver::WaitUntilGone(dialog));
         },
         "install D:\\Typed Folder"},
        {"Cancel keeps what was typed but installs nothing",
         [&] { return OptionsOutcome(initial.c_str()); },
         [&](DWORD thread) {
             HWND dialog = driver::WaitForDialog(thread, caption);
             ASSERT_TRUE(dialog);
             driver::Type(dialog, IDC_INSTALL_PATH, L"E:\\Elsewhere");
             driver::Click(dialog, IDC_CANCEL);
             EXPECT_TRUE(driver::WaitUntilGone(dialog));
         },
         "declined E:\\Elsewhere"},
        {"the close box installs nothing",
         [&] { return OptionsOutcome(nullptr); },
         [&](DWORD thread) {
             HWND dialog = driver::WaitForDialog(thread, caption);
             ASSERT_TRUE(dialog);
             EXPECT_EQ(driver::Text(::GetDlgItem(dialog, IDC_INSTALL_PATH)), L"");
             ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
             EXPECT_TRUE(driver::WaitUntilGone(dialog));
         },
         "declined "},
        {"Browse... puts the picked folder in the box, Install takes it",
         [&] { return Narrow(Lower(Widen(OptionsOutcome(initial.c_str())))); },
         [&](DWORD thread) {
             HWND dialog = driver::WaitForDialog(thread, caption);
             ASSERT_TRUE(dialog);
             driver::Click(dialog, IDC_BROWSE);
             UseBrowser(thread, "Select Installation Directory", picked);
             HWND edit = ::GetDlgItem(dialog, IDC_INSTALL_PATH);
             EXPECT_TRUE(driver::WaitFor([&] { return Lower(driver::Text(edit)) == Lower(picked); }))
                 << Narrow(driver::Text(edit));
             driver::Click(dialog, IDC_INSTALL);
             EXPECT_TRUE(driver::WaitUntilGone(dialog));
         },
         Narrow(Lower(L"install " + picked))},
        {"a cancelled browser changes nothing",
         [&] { return OptionsOutcome(initial.c_str()); },
         [&](DWORD thread) {
             HWND dialog = driver::WaitForDialog(thread, caption);
             ASSERT_TRUE(dialog);
             driver::Click(dialog, IDC_BROWSE);
             UseBrowser(thread, "Select Installation Directory", L"");
             driver::Click(dialog, IDC_INSTALL);
             EXPECT_TRUE(driver::WaitUntilGone(dialog));
         },
         "install " + initial},
        {"the browser without an owner, picked and cancelled",
         [&] {
             std::string first = "unchanged", second = "unchanged";
             const bool a = ui::CurrentFace().BrowseForFolder(nullptr, "Select Main WinAmp Install Folder", first);
             const bool b = ui::CurrentFace().BrowseForFolder(nullptr, "Select Main WinAmp Install Folder", second);
             return Narrow(Lower(Widen(first))) + (a ? " picked, " : " cancelled, ") + second +
                    (b ? " picked" : " cancelled");
         },
         [&](DWORD thread) {
             UseBrowser(thread, "Select Main WinAmp Install Folder", picked);
             UseBrowser(thread, "Select Main WinAmp Install Folder", L"");
         },
         Narrow(Lower(picked)) + " picked, unchanged cancelled"},
        {"a Yes/No question answered No",
         [&] {
             return std::to_string(os::MessageBox("Would you like to continue?\nSay so.", "Demo",
                                                  MB_YESNO | MB_ICONWARNING));
         },
         [&](DWORD thread) {
             HWND box = driver::WaitForDialog(thread, L"Demo");
             ASSERT_TRUE(box);
             bool textShown = false;
             for (const driver::Control& c : driver::Descendants(box))
                 textShown = textShown || c.text == L"Would you like to continue?\nSay so.";
             EXPECT_TRUE(textShown);
             EXPECT_TRUE(::GetDlgItem(box, IDYES));
             EXPECT_FALSE(::GetDlgItem(box, IDOK));
             driver::Click(box, IDNO);
             EXPECT_TRUE(driver::WaitUntilGone(box));
         },
         std::to_string(IDNO)},
        {"an error box answered OK",
         [&] {
             return std::to_string(os::MessageBox("Nothing was installed.", "Installation Error",
                                                  MB_OK | MB_ICONERROR));
         },
         [&](DWORD thread) {
             HWND box = driver::WaitForDialog(thread, L"Installation Error");
             ASSERT_TRUE(box);
             EXPECT_FALSE(::GetDlgItem(box, IDNO));
             driver::Click(box, IDOK);
             EXPECT_TRUE(driver::WaitUntilGone(box));
         },
         std::to_string(IDOK)},
    };

    const DWORD thisThread = ::GetCurrentThreadId();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::thread user([&] {
            c.user(thisThread);
            driver::DismissAll(thisThread);  // after a failed check only
        });
        const std::string outcome = c.show();
        user.join();
        EXPECT_EQ(outcome, c.expected);
    }
}

// Counts the pixels of the bar's middle row between two fractions of its width that
// differ from `background`.
int PaintedPixels(HWND bar, double from, double to, COLORREF background) {
    RECT client;
    ::GetClientRect(bar, &client);
    HDC dc = ::GetDC(bar);
    int painted = 0;
    const int y = client.bottom / 2;
    for (int x = int(client.right * from); x < int(client.right * to); ++x)
        painted += ::GetPixel(dc, x, y) != background;
    ::ReleaseDC(bar, dc);
    return painted;
}

TEST_F(Win32FaceTest, ProgressWindowIsARealBarPaintedWithoutAMessageLoop) {
    auto progress = std::make_unique<ProgressWindow>();
    progress->SetText("Installing...");
    progress->Create(nullptr, nullptr);
    auto* window = dynamic_cast<ui::win32::Win32DialogWindow*>(progress->Window());
    ASSERT_TRUE(window && window->Handle());
    HWND dialog = window->Handle();
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_EQ(driver::Text(dialog), L"Installing...");
    ExpectBuiltFromTemplate(dialog, ProgressBarTemplate(), L"");
    HWND bar = ::GetDlgItem(dialog, IDC_PROGRESS);
    ASSERT_TRUE(bar);
    PBRANGE range{};
    ::SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, ProgressWindow::kRange);

    progress->SetProgress(0.0f);
    RECT client;
    ::GetClientRect(bar, &client);
    HDC dc = ::GetDC(bar);
    const COLORREF empty = ::GetPixel(dc, client.right / 2, client.bottom / 2);
    ::ReleaseDC(bar, dc);
    EXPECT_EQ(PaintedPixels(bar, 0.05, 0.95, empty), 0);

    // Half way: the left half is filled at once, the right half still empty.
    progress->SetProgress(0.5f);
    EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 250);
    EXPECT_GT(PaintedPixels(bar, 0.05, 0.45, empty), 0);
    EXPECT_EQ(PaintedPixels(bar, 0.55, 0.95, empty), 0);
    progress->SetProgress(0.95f);
    EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 474);
    EXPECT_GT(PaintedPixels(bar, 0.55, 0.9, empty), 0);

    progress->SetText("Installing Demo");  // with the window up: the caption alone changes
    EXPECT_EQ(driver::Text(dialog), L"Installing Demo");
    EXPECT_STREQ(progress->Text(), "Installing...");

    // It cannot be closed by the user, only by the installer.
    ::SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(::IsWindow(dialog));
    progress.reset();
    EXPECT_FALSE(::IsWindow(dialog));
}

}  // namespace

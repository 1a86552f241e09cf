// The graphical face, on FLTK: dialogs are built from their templates (dialog units turned
// into pixels for an 8-point font), message boxes and the folder browser are FLTK's own.
#pragma once

#include <functional>
#include <map>

#include "ui/face.h"

class Fl_Window;
class Fl_Widget;

namespace ui {

class GuiDialogWindow : public DialogWindow {
public:
    GuiDialogWindow(const DialogTemplate& dialog, DialogProc proc, bool modal);
    ~GuiDialogWindow() override;

    void SetCaption(std::string_view text) override;
    std::string Caption() const override;
    void SetItemText(int id, std::string_view text) override;
    std::string ItemText(int id) const override;
    void SetProgressRange(int id, int low, int high) override;
    void SetProgressPosition(int id, int position) override;
    int ProgressPosition(int id) const override;
    void EndDialog(int result) override;

    bool Ended() const { return ended_; }
    int Result() const { return result_; }
    Fl_Window* Window() const { return window_; }
    Fl_Widget* Item(int id) const;

    // Hands a message to the dialog procedure, unless the dialog has ended.
    void Dispatch(const DialogMessage& message);

private:
    static void OnWidget(Fl_Widget* widget, void* data);
    static void OnWindow(Fl_Widget* widget, void* data);

    DialogProc proc_;
    Fl_Window* window_ = nullptr;
    std::map<int, Fl_Widget*> items_;
    bool systemMenu_;
    bool ended_ = false;
    int result_ = 0;
};

class GuiFace : public Face {
public:
    // True when an X display can be opened (DISPLAY set and the server answers).
    static bool DisplayAvailable();

    int MessageBox(const char* text, const char* caption, unsigned type) override;
    int RunModalDialog(const DialogTemplate& dialog, DialogProc proc, void* param) override;
    std::unique_ptr<DialogWindow> CreateModelessDialog(const DialogTemplate& dialog,
                                                       DialogProc proc, void* param) override;
    bool BrowseForFolder(DialogWindow* owner, const char* title, std::string& folder) override;

    // Called once the modal dialog is on screen, from inside its loop (for screenshots and
    // for tests that press keys in it).
    void SetModalShownHook(std::function<void(GuiDialogWindow&)> hook) { hook_ = std::move(hook); }

private:
    std::function<void(GuiDialogWindow&)> hook_;
};

// Sends one key press to the window the way the keyboard would: to the focused widget
// first, then as a shortcut to the others.
void SendKey(Fl_Window* window, int key);

}  // namespace ui

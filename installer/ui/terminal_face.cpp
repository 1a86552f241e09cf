#include "ui/terminal_face.h"

#include <cctype>
#include <string>

#include "os/message_box.h"
#include "ui/memory_dialog_window.h"
#include "ui/unattended_face.h"

namespace ui {
namespace {

constexpr int kBarWidth = 40;

char Lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

// Draws the bar on one line, rewritten in place at every change.
class TerminalProgressWindow : public MemoryDialogWindow {
public:
    TerminalProgressWindow(const DialogTemplate& dialog, std::FILE* out)
        : MemoryDialogWindow(dialog), out_(out) {
        onProgress = [this](int id, int position) { Draw(id, position); };
    }
    ~TerminalProgressWindow() override {
        if (drawn_) std::fputc('\n', out_);
        std::fflush(out_);
    }

private:
    void Draw(int id, int position) {
        const auto [low, high] = ProgressRange(id);
        const double fraction = high > low ? double(position - low) / (high - low) : 0.0;
        const int filled = int(fraction * kBarWidth);
        std::fprintf(out_, "\r%s [%s%s] %3d%%", Caption().c_str(),
                     std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(kBarWidth - filled), ' ').c_str(), int(fraction * 100));
        std::fflush(out_);
        drawn_ = true;
    }

    std::FILE* out_;
    bool drawn_ = false;
};

}  // namespace

bool TerminalFace::ReadLine(std::string& line) {
    line.clear();
    std::fflush(out_);
    int c;
    bool any = false;
    while ((c = std::fgetc(in_)) != EOF) {
        any = true;
        if (c == '\n') return true;
        if (c != '\r') line.push_back(char(c));
    }
    return any;
}

int TerminalFace::MessageBox(const char* text, const char* caption, unsigned type) {
    std::fprintf(out_, "\n[%s] %s\n%s\n", os::MessageBoxIconName(type).c_str(), caption, text);
    const unsigned buttons = type & os::kMessageBoxButtonMask;
    if (buttons == os::MB_OK) return os::IDOK;
    const bool yesNo = buttons == os::MB_YESNO || buttons == os::MB_YESNOCANCEL;
    for (;;) {
        std::fputs(yesNo ? "Answer y (Yes) or n (No): " : "Answer o (OK) or c (Cancel): ", out_);
        std::string line;
        if (!ReadLine(line)) {
            std::fputc('\n', out_);
            return os::DefaultMessageBoxAnswer(type, false);
        }
        const char a = line.empty() ? '\0' : Lower(line[0]);
        if (yesNo && a == 'y') return os::IDYES;
        if (yesNo && a == 'n') return os::IDNO;
        if (!yesNo && a == 'o') return os::IDOK;
        if (!yesNo && a == 'c') return os::IDCANCEL;
    }
}

int TerminalFace::RunModalDialog(const DialogTemplate& dialog, DialogProc proc, void* param) {
    MemoryDialogWindow window(dialog);
    window.Send(proc, {MessageKind::InitDialog, 0, 0, param});
    const int edit = FindControl(dialog, ControlClass::Edit);
    while (!window.Ended()) {
        std::fprintf(out_, "\n== %s ==\n", window.Caption().c_str());
        for (const ControlTemplate& c : dialog.controls)
            if (c.kind == ControlClass::GroupBox || c.kind == ControlClass::Static)
                std::fprintf(out_, "%s\n", c.text.c_str());
        if (edit >= 0) std::fprintf(out_, "  %s\n", window.ItemText(edit).c_str());
        // Buttons answer to their first letter; Enter presses the default one.
        std::string keys;
        for (const ControlTemplate& c : dialog.controls) {
            if (c.kind != ControlClass::Button && c.kind != ControlClass::DefaultButton) continue;
            std::fprintf(out_, "  %c) %s%s\n", Lower(c.text[0]), c.text.c_str(),
                         c.kind == ControlClass::DefaultButton ? " (Enter)" : "");
        }
        if (edit >= 0) std::fputs("  e) type the folder\n", out_);
        std::fputs("> ", out_);
        std::string line;
        if (!ReadLine(line)) {
            std::fputc('\n', out_);
            window.Send(proc, {MessageKind::SysCommand, SC_CLOSE});
            break;
        }
        const char a = line.empty() ? '\0' : Lower(line[0]);
        if (a == 'e' && edit >= 0) {
            std::fputs("Folder: ", out_);
            std::string folder;
            if (ReadLine(folder)) window.Type(proc, edit, folder);
            continue;
        }
        for (const ControlTemplate& c : dialog.controls) {
            const bool button = c.kind == ControlClass::Button || c.kind == ControlClass::DefaultButton;
            if (button && ((a == '\0' && c.kind == ControlClass::DefaultButton) ||
                           (a != '\0' && Lower(c.text[0]) == a))) {
                window.Click(proc, c.id);
                break;
            }
        }
    }
    window.Send(proc, {MessageKind::Destroy});
    return window.Result().value_or(0);
}

std::unique_ptr<DialogWindow> TerminalFace::CreateModelessDialog(const DialogTemplate& dialog,
                                                                 DialogProc proc, void* param) {
    auto window = std::make_unique<TerminalProgressWindow>(dialog, out_);
    window->Send(proc, {MessageKind::InitDialog, 0, 0, param});
    return window;
}

bool TerminalFace::BrowseForFolder(DialogWindow*, const char* title, std::string& folder) {
    std::fprintf(out_, "\n%s (empty to cancel): ", title ? title : "");
    std::string line;
    if (!ReadLine(line) || line.empty()) return false;
    folder = line;
    return true;
}

}  // namespace ui

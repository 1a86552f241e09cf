// The face for a terminal without a display: boxes and dialogs are printed, answers are
// read line by line. When the input ends, every question is answered No or Cancel, and a
// dialog is closed, so a run with nobody at the terminal installs nothing by accident.
#pragma once

#include <cstdio>

#include "ui/face.h"

namespace ui {

class TerminalFace : public Face {
public:
    // Reads answers from `in` and writes to `out` (standard input and error by default).
    explicit TerminalFace(std::FILE* in = stdin, std::FILE* out = stderr) : in_(in), out_(out) {}

    int MessageBox(const char* text, const char* caption, unsigned type) override;
    int RunModalDialog(const DialogTemplate& dialog, DialogProc proc, void* param) override;
    std::unique_ptr<DialogWindow> CreateModelessDialog(const DialogTemplate& dialog,
                                                       DialogProc proc, void* param) override;
    bool BrowseForFolder(DialogWindow* owner, const char* title, std::string& folder) override;

private:
    // One line without its newline; false at the end of the input.
    bool ReadLine(std::string& line);

    std::FILE* in_;
    std::FILE* out_;
};

}  // namespace ui

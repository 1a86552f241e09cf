#include "ui/unattended_face.h"

#include <cstdlib>
#include <fstream>

#include "os/message_box.h"
#include "os/native_path.h"
#include "ui/memory_dialog_window.h"

namespace ui {
namespace {

const char* AnswerName(UnattendedFace::DialogAnswer answer) {
    switch (answer) {
    case UnattendedFace::DialogAnswer::Install: return "install";
    case UnattendedFace::DialogAnswer::Cancel: return "cancel";
    case UnattendedFace::DialogAnswer::Close: return "close";
    }
    return "install";
}

// A modeless window whose changes go to the log.
class LoggedDialogWindow : public MemoryDialogWindow {
public:
    LoggedDialogWindow(const DialogTemplate& dialog, std::function<void(std::vector<std::string>)> log)
        : MemoryDialogWindow(dialog), log_(std::move(log)) {
        onProgress = [this](int, int position) {
            log_({"progress", "position", std::to_string(position)});
        };
        onCaption = [this](std::string_view caption) {
            log_({"progress", "caption", std::string(caption)});
        };
    }
    ~LoggedDialogWindow() override { log_({"progress", "close", Caption()}); }

private:
    std::function<void(std::vector<std::string>)> log_;
};

}  // namespace

UnattendedFace::Settings UnattendedFace::SettingsFromEnvironment() {
    Settings s;
    if (const char* dir = std::getenv("VANTREL_INSTALL_DIR")) s.folder = dir;
    if (const char* answer = std::getenv("VANTREL_DIALOG")) {
        if (os::EqualsIgnoreCase(answer, "cancel")) s.dialogAnswer = DialogAnswer::Cancel;
        else if (os::EqualsIgnoreCase(answer, "close")) s.dialogAnswer = DialogAnswer::Close;
    }
    if (const char* dir = std::getenv("VANTREL_BROWSE_DIR")) s.browseFolder = dir;
    if (const char* answer = std::getenv("VANTREL_ANSWER"))
        s.answerYes = !os::EqualsIgnoreCase(answer, "no");
    if (const char* log = std::getenv("VANTREL_MESSAGE_LOG")) s.logFile = log;
    return s;
}

void UnattendedFace::Log(std::vector<std::string> fields) {
    if (!settings_.logFile.empty()) {
        std::ofstream log(settings_.logFile, std::ios::app);
        for (size_t i = 0; i < fields.size(); ++i)
            log << (i ? "\t" : "") << os::EscapeLogField(fields[i]);
        log << '\n';
    }
    lines_.push_back(std::move(fields));
}

int UnattendedFace::MessageBox(const char* text, const char* caption, unsigned type) {
    Log({"box", os::MessageBoxButtonsName(type), os::MessageBoxIconName(type),
         caption ? caption : "", text ? text : ""});
    return os::DefaultMessageBoxAnswer(type, settings_.answerYes);
}

int UnattendedFace::RunModalDialog(const DialogTemplate& dialog, DialogProc proc, void* param) {
    MemoryDialogWindow window(dialog);
    window.Send(proc, {MessageKind::InitDialog, 0, 0, param});
    const int edit = FindControl(dialog, ControlClass::Edit);
    if (settings_.folder && edit >= 0) window.Type(proc, edit, *settings_.folder);
    switch (settings_.dialogAnswer) {
    case DialogAnswer::Install:
        window.Click(proc, FindControl(dialog, ControlClass::DefaultButton));
        break;
    case DialogAnswer::Cancel: window.Click(proc, FindButton(dialog, "Cancel")); break;
    case DialogAnswer::Close: break;
    }
    // A dialog still open after its answer is closed the way a user would close it.
    window.Send(proc, {MessageKind::SysCommand, SC_CLOSE});
    Log({"dialog", window.Caption(), edit >= 0 ? window.ItemText(edit) : "",
         AnswerName(settings_.dialogAnswer)});
    window.Send(proc, {MessageKind::Destroy});
    return window.Result().value_or(0);
}

std::unique_ptr<DialogWindow> UnattendedFace::CreateModelessDialog(const DialogTemplate& dialog,
                                                                   DialogProc proc,
                                                                   void* param) {
    auto window = std::make_unique<LoggedDialogWindow>(
        dialog, [this](std::vector<std::string> fields) { Log(std::move(fields)); });
    Log({"progress", "open", dialog.caption});
    window->Send(proc, {MessageKind::InitDialog, 0, 0, param});
    return window;
}

bool UnattendedFace::BrowseForFolder(DialogWindow*, const char* title, std::string& folder) {
    Log({"browse", title ? title : "", settings_.browseFolder.value_or("cancel")});
    if (!settings_.browseFolder) return false;
    folder = *settings_.browseFolder;
    return true;
}

}  // namespace ui

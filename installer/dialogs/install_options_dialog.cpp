#include "dialogs/install_options_dialog.h"

#include <cstring>
#include <string>

#include "dialogs/dialog_templates.h"
#include "ui/face.h"

namespace {

constexpr size_t kInitialPathMax = 259;
// The edit box keeps what the buffer holds, never a silently shorter path: a folder too
// long to install into is refused whole once the user presses "Install".
constexpr size_t kEditTextMax = InstallOptionsDialog::kTextSize - 1;
constexpr char kTitleSuffix[] = " Installation Options";

// Copies at most `max` characters and always terminates (`size` bytes at `out`).
void CopyText(char* out, size_t size, const char* text, size_t max) {
    size_t n = std::strlen(text);
    if (n > max) n = max;
    if (n > size - 1) n = size - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

}  // namespace

InstallOptionsDialog::InstallOptionsDialog() {
    CopyText(title_, sizeof title_, "Installation Options", kTextSize);
    path_[0] = '\0';
}

bool InstallOptionsDialog::DoModal(InstanceHandle, WindowHandle, const char* initialPath) {
    if (initialPath) CopyText(path_, sizeof path_, initialPath, kInitialPathMax);
    if (const ui::DialogTemplate* dialog = FindDialogTemplate("IDD_ISNTALLDIALOG"))
        ui::CurrentFace().RunModalDialog(*dialog, &InstallOptionsDialog::DialogProc, this);
    return accepted_ != 0;
}

const char* InstallOptionsDialog::GetPath() { return path_; }

void InstallOptionsDialog::OnInitDialog(ui::DialogWindow& window) {
    window_ = &window;
    window.SetItemText(IDC_INSTALL_PATH, path_);
    window.SetCaption(title_);
}

void InstallOptionsDialog::OnInstall() { accepted_ = 1; }

void InstallOptionsDialog::OnBrowse(ui::DialogWindow& window) {
    std::string folder;
    if (!ui::CurrentFace().BrowseForFolder(&window, "Select Installation Directory", folder))
        return;
    CopyText(path_, sizeof path_, folder.c_str(), kTextSize - 1);
    window.SetItemText(IDC_INSTALL_PATH, path_);
}

void InstallOptionsDialog::SetPath(const char* path) {
    if (path) CopyText(path_, sizeof path_, path, kTextSize - 1);
}

void InstallOptionsDialog::SetTitle(const char* projectName) {
    if (!projectName) return;
    const size_t nameMax = kTextSize - sizeof kTitleSuffix;  // room for suffix and NUL
    CopyText(title_, sizeof title_, projectName, nameMax);
    std::strcat(title_, kTitleSuffix);
}

int InstallOptionsDialog::DialogProc(ui::DialogWindow& window, const ui::DialogMessage& message) {
    using ui::MessageKind;
    if (message.kind == MessageKind::InitDialog) {
        window.SetUserData(message.param);
        if (auto* self = static_cast<InstallOptionsDialog*>(window.UserData()))
            self->OnInitDialog(window);
        return 0;
    }
    if (message.kind == MessageKind::Destroy) {
        window.EndDialog(0);
        return 0;
    }
    auto* self = static_cast<InstallOptionsDialog*>(window.UserData());
    if (!self) return 0;
    if (message.kind == MessageKind::SysCommand) {
        if (message.id == ui::SC_CLOSE) window.EndDialog(0);
        return 0;
    }
    switch (message.id) {
    case IDC_INSTALL:
        self->OnInstall();
        window.EndDialog(0);
        break;
    case IDC_BROWSE: self->OnBrowse(window); break;
    case IDC_INSTALL_PATH:
        if (message.code == ui::EN_CHANGE) {
            const std::string text = window.ItemText(IDC_INSTALL_PATH).substr(0, kEditTextMax);
            self->SetPath(text.c_str());
        }
        break;
    case IDC_CANCEL: window.EndDialog(0); break;
    default: break;
    }
    return 0;
}

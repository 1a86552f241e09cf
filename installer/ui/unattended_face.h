// The face for silent installs and tests: it never asks anyone. It answers from its
// settings (normally read from the environment) and writes one line per event to a log:
//   box<TAB>buttons<TAB>icon<TAB>caption<TAB>text        a message box
//   dialog<TAB>caption<TAB>folder text<TAB>answer       a modal dialog and how it ended
//   browse<TAB>title<TAB>folder, or "cancel"            the folder browser
//   progress<TAB>open|caption|position|close<TAB>value  the progress window
// with backslash, tab, carriage return and newline written as \\, \t, \r and \n.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/face.h"

namespace ui {

class UnattendedFace : public Face {
public:
    enum class DialogAnswer { Install, Cancel, Close };

    struct Settings {
        std::optional<std::string> folder;        // typed into the dialog's edit box
        DialogAnswer dialogAnswer = DialogAnswer::Install;
        std::optional<std::string> browseFolder;  // the browser's pick; none: cancel
        bool answerYes = true;                    // Yes/OK rather than No/Cancel
        std::string logFile;                      // empty: keep the lines in memory only
    };

    // VANTREL_INSTALL_DIR, VANTREL_DIALOG ("install", "cancel" or "close"),
    // VANTREL_BROWSE_DIR, VANTREL_ANSWER ("yes" or "no") and VANTREL_MESSAGE_LOG.
    static Settings SettingsFromEnvironment();

    explicit UnattendedFace(Settings settings) : settings_(std::move(settings)) {}

    int MessageBox(const char* text, const char* caption, unsigned type) override;
    int RunModalDialog(const DialogTemplate& dialog, DialogProc proc, void* param) override;
    std::unique_ptr<DialogWindow> CreateModelessDialog(const DialogTemplate& dialog,
                                                       DialogProc proc, void* param) override;
    bool BrowseForFolder(DialogWindow* owner, const char* title, std::string& folder) override;

    // Every line logged so far, unescaped fields joined by tabs.
    const std::vector<std::vector<std::string>>& Lines() const { return lines_; }
    Settings& CurrentSettings() { return settings_; }

private:
    void Log(std::vector<std::string> fields);

    Settings settings_;
    std::vector<std::vector<std::string>> lines_;
};

}  // namespace ui

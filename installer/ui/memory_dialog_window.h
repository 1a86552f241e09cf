// A dialog window that lives only in memory: the non-graphical faces keep their dialogs'
// state in it, and tests drive dialog procedures through it.
#pragma once

#include <functional>
#include <map>
#include <optional>

#include "ui/dialog_window.h"

namespace ui {

class MemoryDialogWindow : public DialogWindow {
public:
    explicit MemoryDialogWindow(const DialogTemplate& dialog);

    void SetCaption(std::string_view text) override;
    std::string Caption() const override { return caption_; }
    void SetItemText(int id, std::string_view text) override;
    std::string ItemText(int id) const override;
    void SetProgressRange(int id, int low, int high) override;
    void SetProgressPosition(int id, int position) override;
    int ProgressPosition(int id) const override;
    void EndDialog(int result) override { result_ = result; }

    const DialogTemplate& Template() const { return template_; }
    std::optional<int> Result() const { return result_; }
    bool Ended() const { return result_.has_value(); }
    std::pair<int, int> ProgressRange(int id) const;

    // Sends `message` to `proc`, unless the dialog has ended (a modal loop stops then).
    void Send(DialogProc proc, const DialogMessage& message);
    // Types `text` into edit control `id`: the text changes and the procedure is told.
    void Type(DialogProc proc, int id, std::string_view text);
    // Clicks button `id`.
    void Click(DialogProc proc, int id);

    // Called after each position change, for faces that show or record the bar.
    std::function<void(int id, int position)> onProgress;
    std::function<void(std::string_view caption)> onCaption;

private:
    DialogTemplate template_;
    std::string caption_;
    std::map<int, std::string> texts_;
    std::map<int, std::pair<int, int>> ranges_;
    std::map<int, int> positions_;
    std::optional<int> result_;
};

// The id of the first control of `kind` in the template; -1 when there is none.
int FindControl(const DialogTemplate& dialog, ControlClass kind);
// The id of the button whose text is `text`; -1 when there is none.
int FindButton(const DialogTemplate& dialog, std::string_view text);

}  // namespace ui

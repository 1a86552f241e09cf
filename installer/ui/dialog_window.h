// What the installer's dialogs see of a window, whichever face shows it: the few calls a
// Windows dialog procedure makes on its window and controls, addressed by control id.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ui {

// Notification codes and system commands the dialog procedures look at.
inline constexpr int BN_CLICKED = 0;
inline constexpr int EN_CHANGE = 0x0300;
inline constexpr int SC_CLOSE = 0xF060;

enum class ControlClass { Button, DefaultButton, Edit, GroupBox, Static, Progress };

// One control of a dialog template; positions and sizes in dialog units.
struct ControlTemplate {
    int id;  // -1: no id
    ControlClass kind;
    std::string text;
    int x, y, width, height;
};

// A dialog template as a resource holds it: caption, size in dialog units and controls.
struct DialogTemplate {
    std::string name;
    std::string caption;
    int width, height;
    bool systemMenu;  // a close box; without it the window cannot be closed by the user
    std::vector<ControlTemplate> controls;
};

class DialogWindow {
public:
    virtual ~DialogWindow() = default;

    virtual void SetCaption(std::string_view text) = 0;
    virtual std::string Caption() const = 0;
    virtual void SetItemText(int id, std::string_view text) = 0;
    virtual std::string ItemText(int id) const = 0;
    virtual void SetProgressRange(int id, int low, int high) = 0;
    // Moves the bar and repaints it at once: no message loop runs while it is up.
    virtual void SetProgressPosition(int id, int position) = 0;
    virtual int ProgressPosition(int id) const = 0;
    // Ends a modal dialog; the face's loop returns `result` once the procedure returns.
    virtual void EndDialog(int result) = 0;

    // The window's user-data slot, where the dialog procedure keeps its object.
    void SetUserData(void* data) { userData_ = data; }
    void* UserData() const { return userData_; }

private:
    void* userData_ = nullptr;
};

enum class MessageKind { InitDialog, Command, SysCommand, Destroy };

struct DialogMessage {
    MessageKind kind;
    int id = 0;              // Command: control id; SysCommand: the command
    int code = 0;            // Command: notification code
    void* param = nullptr;   // InitDialog: the creation parameter
};

using DialogProc = int (*)(DialogWindow& window, const DialogMessage& message);

}  // namespace ui

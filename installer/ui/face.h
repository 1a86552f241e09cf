// The one interface behind which the installer meets its user: message boxes, the modal
// options dialog, the folder browser and the progress window. Three faces implement it: a
// graphical one (native dialogs on Windows, FLTK elsewhere when there is a display), a
// terminal one when there is a terminal and no display, and an unattended one, set up from
// the environment, that answers by itself and records everything it was shown.
#pragma once

#include <memory>
#include <string>

#include "ui/dialog_window.h"

namespace ui {

class Face {
public:
    virtual ~Face() = default;

    // A Windows-style box: `type` holds the MB_ button and icon flags of os/message_box.h;
    // the answer is an ID code (IDOK, IDYES, ...).
    virtual int MessageBox(const char* text, const char* caption, unsigned type) = 0;

    // Runs the template as a modal dialog. The procedure gets InitDialog (with `param`)
    // first, then the commands the user gives, until it calls EndDialog; then Destroy.
    virtual int RunModalDialog(const DialogTemplate& dialog, DialogProc proc, void* param) = 0;

    // Shows the template as a modeless window and sends InitDialog before returning. The
    // window goes away when the returned object is deleted.
    virtual std::unique_ptr<DialogWindow> CreateModelessDialog(const DialogTemplate& dialog,
                                                               DialogProc proc,
                                                               void* param) = 0;

    // Lets the user pick a folder; false when they cancel. `owner` may be null.
    virtual bool BrowseForFolder(DialogWindow* owner, const char* title, std::string& folder) = 0;
};

// The face in use, chosen on first use (see ChooseFace) unless one was set.
Face& CurrentFace();

// Installs `face` for every later call and routes os::MessageBox (the package reader's
// boxes) through it as well; gives back the previous face. Null: choose again next time.
std::unique_ptr<Face> SetFace(std::unique_ptr<Face> face);

// VANTREL_UNATTENDED set: the unattended face. Otherwise, on Windows, the native face;
// elsewhere the graphical face when an X display can be opened, else the terminal face on
// standard input and error.
std::unique_ptr<Face> ChooseFace();

}  // namespace ui

#include "ui/face.h"

#include <cstdlib>

#include "os/message_box.h"
#if VANTREL_INSTALLER_GUI
#include "ui/gui_face.h"
#endif
#include "ui/terminal_face.h"
#include "ui/unattended_face.h"
#if VANTREL_INSTALLER_WIN32
#include "ui/win32/win32_face.h"
#endif

namespace ui {
namespace {

std::unique_ptr<Face>& Current() {
    static std::unique_ptr<Face> face;
    return face;
}

// The package reader shows its boxes through os::MessageBox; this sends them to our face.
class FaceMessageBoxes : public os::MessageBoxFace {
public:
    int Show(const char* text, const char* caption, unsigned type) override {
        return CurrentFace().MessageBox(text, caption, type);
    }
};

}  // namespace

std::unique_ptr<Face> ChooseFace() {
    if (std::getenv("VANTREL_UNATTENDED"))
        return std::make_unique<UnattendedFace>(UnattendedFace::SettingsFromEnvironment());
#if VANTREL_INSTALLER_WIN32
    // Windows always has a desktop to show dialogs on.
    return std::make_unique<win32::Win32Face>();
#else
#if VANTREL_INSTALLER_GUI
    if (GuiFace::DisplayAvailable()) return std::make_unique<GuiFace>();
#endif
    return std::make_unique<TerminalFace>();
#endif
}

Face& CurrentFace() {
    if (!Current()) SetFace(ChooseFace());
    return *Current();
}

std::unique_ptr<Face> SetFace(std::unique_ptr<Face> face) {
    std::unique_ptr<Face> previous = std::move(Current());
    Current() = std::move(face);
    os::SetMessageBoxFace(std::make_unique<FaceMessageBoxes>());
    return previous;
}

}  // namespace ui

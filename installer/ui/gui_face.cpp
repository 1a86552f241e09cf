#include "ui/gui_face.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <X11/Xlib.h>

#include <cstdlib>

#include "os/message_box.h"

namespace ui {
namespace {

// Dialog units of an 8-point dialog font: four per character width, eight per line height,
// with a character cell of 6 × 13 pixels.
int PixelsX(int du) { return du * 6 / 4; }
int PixelsY(int du) { return du * 13 / 8; }

constexpr int kFontSize = 12;

void SetLabel(Fl_Widget* w, const std::string& text) {
    w->copy_label(text.c_str());
    w->labelsize(kFontSize);
}

}  // namespace

GuiDialogWindow::GuiDialogWindow(const DialogTemplate& dialog, DialogProc proc, bool modal)
    : proc_(proc), systemMenu_(dialog.systemMenu) {
    Fl::scheme("gtk+");
    const int w = PixelsX(dialog.width), h = PixelsY(dialog.height);
    window_ = new Fl_Window((Fl::w() - w) / 2, (Fl::h() - h) / 2, w, h);
    window_->copy_label(dialog.caption.c_str());
    window_->callback(&GuiDialogWindow::OnWindow, this);
    for (const ControlTemplate& c : dialog.controls) {
        const int x = PixelsX(c.x), y = PixelsY(c.y), cw = PixelsX(c.width), ch = PixelsY(c.height);
        Fl_Widget* widget = nullptr;
        switch (c.kind) {
        case ControlClass::DefaultButton: widget = new Fl_Return_Button(x, y, cw, ch); break;
        case ControlClass::Button: widget = new Fl_Button(x, y, cw, ch); break;
        case ControlClass::Edit: {
            auto* input = new Fl_Input(x, y, cw, ch);
            input->textsize(kFontSize);
            input->when(FL_WHEN_CHANGED);
            widget = input;
            break;
        }
        case ControlClass::GroupBox: {
            // The frame starts half a line down so that its title sits on the top edge.
            const int half = PixelsY(4);
            auto* frame = new Fl_Box(FL_ENGRAVED_FRAME, x, y + half, cw, ch - half, nullptr);
            auto* title = new Fl_Box(x + PixelsX(4), y, 0, PixelsY(8));
            SetLabel(title, c.text);
            title->align(FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);
            title->box(FL_FLAT_BOX);
            title->size(int(c.text.size()) * 6 + 6, title->h());
            (void)frame;
            break;
        }
        case ControlClass::Static: {
            auto* label = new Fl_Box(x, y, cw, ch);
            label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);  // our font runs wider than the template's
            widget = label;
            break;
        }
        case ControlClass::Progress: {
            auto* bar = new Fl_Progress(x, y, cw, ch);
            bar->minimum(0);
            bar->maximum(100);
            bar->value(0);
            bar->selection_color(FL_DARK_BLUE);
            widget = bar;
            break;
        }
        }
        if (!widget) continue;
        if (c.kind != ControlClass::Edit && c.kind != ControlClass::Progress) SetLabel(widget, c.text);
        if (c.id >= 0) {
            items_[c.id] = widget;
            if (c.kind == ControlClass::Button || c.kind == ControlClass::DefaultButton ||
                c.kind == ControlClass::Edit) {
                widget->callback(&GuiDialogWindow::OnWidget, this);
            }
        }
    }
    window_->end();
    if (modal) window_->set_modal();
}

GuiDialogWindow::~GuiDialogWindow() {
    window_->hide();
    delete window_;
    Fl::check();
}

Fl_Widget* GuiDialogWindow::Item(int id) const {
    auto it = items_.find(id);
    return it == items_.end() ? nullptr : it->second;
}

void GuiDialogWindow::SetCaption(std::string_view text) {
    window_->copy_label(std::string(text).c_str());
}

std::string GuiDialogWindow::Caption() const {
    return window_->label() ? window_->label() : "";
}

void GuiDialogWindow::SetItemText(int id, std::string_view text) {
    Fl_Widget* w = Item(id);
    if (!w) return;
    if (auto* input = dynamic_cast<Fl_Input*>(w))
        input->value(std::string(text).c_str());
    else
        w->copy_label(std::string(text).c_str());
}

std::string GuiDialogWindow::ItemText(int id) const {
    Fl_Widget* w = Item(id);
    if (!w) return {};
    if (auto* input = dynamic_cast<Fl_Input*>(w)) return input->value();
    return w->label() ? w->label() : "";
}

void GuiDialogWindow::SetProgressRange(int id, int low, int high) {
    if (auto* bar = dynamic_cast<Fl_Progress*>(Item(id))) {
        bar->minimum(float(low));
        bar->maximum(float(high));
    }
}

void GuiDialogWindow::SetProgressPosition(int id, int position) {
    auto* bar = dynamic_cast<Fl_Progress*>(Item(id));
    if (!bar) return;
    bar->value(float(position));
    bar->redraw();
    // No loop runs while the bar is up: draw now, and let the server show it.
    Fl::check();
    Fl::flush();
}

int GuiDialogWindow::ProgressPosition(int id) const {
    auto* bar = dynamic_cast<Fl_Progress*>(Item(id));
    return bar ? int(bar->value()) : 0;
}

void GuiDialogWindow::EndDialog(int result) {
    ended_ = true;
    result_ = result;
}

void GuiDialogWindow::Dispatch(const DialogMessage& message) {
    if (!ended_ || message.kind == MessageKind::Destroy) proc_(*this, message);
}

void GuiDialogWindow::OnWidget(Fl_Widget* widget, void* data) {
    auto* self = static_cast<GuiDialogWindow*>(data);
    int id = -1;
    for (const auto& [itemId, item] : self->items_)
        if (item == widget) id = itemId;
    const bool edit = dynamic_cast<Fl_Input*>(widget) != nullptr;
    self->Dispatch({MessageKind::Command, id, edit ? EN_CHANGE : BN_CLICKED});
}

void GuiDialogWindow::OnWindow(Fl_Widget*, void* data) {
    auto* self = static_cast<GuiDialogWindow*>(data);
    // FLTK closes a window on Escape; these dialogs have no cancel command, so it does nothing.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    if (self->systemMenu_) self->Dispatch({MessageKind::SysCommand, SC_CLOSE});
}

bool GuiFace::DisplayAvailable() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return false;
    Display* display = XOpenDisplay(name);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

int GuiFace::MessageBox(const char* text, const char* caption, unsigned type) {
    fl_message_title(caption);
    Fl_Widget* icon = fl_message_icon();
    switch (type & os::kMessageBoxIconMask) {
    case os::MB_ICONERROR: icon->label("X"); icon->labelcolor(FL_RED); break;
    case os::MB_ICONWARNING: icon->label("!"); icon->labelcolor(FL_DARK_YELLOW); break;
    case os::MB_ICONQUESTION: icon->label("?"); icon->labelcolor(FL_BLUE); break;
    case os::MB_ICONINFORMATION: icon->label("i"); icon->labelcolor(FL_BLUE); break;
    default: icon->label(""); break;
    }
    // fl_choice puts its first button at the right and answers Escape with it.
    switch (type & os::kMessageBoxButtonMask) {
    case os::MB_YESNO: return fl_choice("%s", "No", "Yes", nullptr, text) == 1 ? os::IDYES : os::IDNO;
    case os::MB_OKCANCEL:
        return fl_choice("%s", "Cancel", "OK", nullptr, text) == 1 ? os::IDOK : os::IDCANCEL;
    case os::MB_YESNOCANCEL: {
        const int answer = fl_choice("%s", "Cancel", "Yes", "No", text);
        return answer == 1 ? os::IDYES : answer == 2 ? os::IDNO : os::IDCANCEL;
    }
    default: fl_choice("%s", "OK", nullptr, nullptr, text); return os::IDOK;
    }
}

int GuiFace::RunModalDialog(const DialogTemplate& dialog, DialogProc proc, void* param) {
    GuiDialogWindow window(dialog, proc, true);
    window.Dispatch({MessageKind::InitDialog, 0, 0, param});
    if (!window.Ended()) {
        window.Window()->show();
        bool hooked = false;
        while (!window.Ended() && window.Window()->shown()) {
            Fl::wait(0.05);
            if (!hooked && hook_ && window.Window()->visible()) {
                hooked = true;
                Fl::flush();
                hook_(window);
            }
        }
    }
    window.Dispatch({MessageKind::Destroy});
    return window.Result();
}

std::unique_ptr<DialogWindow> GuiFace::CreateModelessDialog(const DialogTemplate& dialog,
                                                            DialogProc proc, void* param) {
    auto window = std::make_unique<GuiDialogWindow>(dialog, proc, false);
    window->Dispatch({MessageKind::InitDialog, 0, 0, param});
    window->Window()->show();
    Fl::check();
    return window;
}

bool GuiFace::BrowseForFolder(DialogWindow*, const char* title, std::string& folder) {
    const char* picked = fl_dir_chooser(title, nullptr, 0);
    if (!picked || !*picked) return false;
    folder = picked;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return true;
}

void SendKey(Fl_Window* window, int key) {
    static char none[] = "";
    static char enter[] = "\r";
    Fl::e_keysym = key;
    Fl::e_state = 0;
    Fl::e_text = key == FL_Enter ? enter : none;
    Fl::e_length = key == FL_Enter ? 1 : 0;
    Fl::handle(FL_KEYDOWN, window);
}

}  // namespace ui

#include "ui/win32/native_dialog_template.h"

#include <commctrl.h>

#include "ui/win32/wide_text.h"

namespace ui::win32 {
namespace {

// Predefined window classes are named in a template by their atom.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;

}  // namespace

DWORD DialogStyle(const DialogTemplate& dialog) {
    DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
    if (dialog.systemMenu) style |= WS_SYSMENU;
    return style;
}

DWORD ControlStyle(ControlClass kind) {
    const DWORD child = WS_CHILD | WS_VISIBLE;
    switch (kind) {
    case ControlClass::Button: return child | WS_TABSTOP | BS_PUSHBUTTON;
    case ControlClass::DefaultButton: return child | WS_TABSTOP | BS_DEFPUSHBUTTON;
    case ControlClass::Edit: return child | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
    case ControlClass::GroupBox: return child | BS_GROUPBOX;
    case ControlClass::Static: return child | WS_GROUP | SS_LEFT;
    case ControlClass::Progress: return child | WS_BORDER;
    }
    return child;
}

NativeDialogTemplate::NativeDialogTemplate(const DialogTemplate& dialog) {
    Dword(DialogStyle(dialog));
    Dword(0);  // extended style
    Word(WORD(dialog.controls.size()));
    Word(0);  // x, y: DS_CENTER places it
    Word(0);
    Word(WORD(dialog.width));
    Word(WORD(dialog.height));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(Widen(dialog.caption));
    Word(kDialogFontPoints);
    Text(kDialogFont);
    for (const ControlTemplate& c : dialog.controls) {
        AlignToDword();
        Dword(ControlStyle(c.kind));
        Dword(0);
        Word(WORD(c.x));
        Word(WORD(c.y));
        Word(WORD(c.width));
        Word(WORD(c.height));
        Word(WORD(c.id));  // -1 becomes 0xFFFF, the id of a control nobody addresses
        switch (c.kind) {
        case ControlClass::Edit: Word(0xFFFF); Word(kEditAtom); break;
        case ControlClass::Static: Word(0xFFFF); Word(kStaticAtom); break;
        case ControlClass::Progress: Text(PROGRESS_CLASSW); break;
        default: Word(0xFFFF); Word(kButtonAtom); break;
        }
        // The edit box starts empty: the dialog procedure puts the folder in.
        Text(c.kind == ControlClass::Edit ? std::wstring() : Widen(c.text));
        Word(0);  // no creation data
    }
}

void NativeDialogTemplate::Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
}

void NativeDialogTemplate::Text(const std::wstring& text) {
    for (wchar_t ch : text) Word(WORD(ch));
    Word(0);
}

void NativeDialogTemplate::AlignToDword() {
    if (words_.size() % 2) Word(0);
}

}  // namespace ui::win32

// Turns one of the installer's dialog templates into the in-memory DLGTEMPLATE the dialog
// manager reads, so the native dialogs are built from the very templates the other faces
// show (captions, texts, ids, positions and control order are never written twice).
#pragma once

// Before the Windows headers: their BN_CLICKED, EN_CHANGE and SC_CLOSE macros would
// rename the constants it declares.
#include "ui/dialog_window.h"

#include <windows.h>

#include <vector>

namespace ui::win32 {

// The template's font: the dialog units of every position are measured in it.
inline constexpr wchar_t kDialogFont[] = L"MS Sans Serif";
inline constexpr WORD kDialogFontPoints = 8;

// Window styles of the dialog and of each control kind.
DWORD DialogStyle(const DialogTemplate& dialog);
DWORD ControlStyle(ControlClass kind);

// The DLGTEMPLATE with its items, DWORD-aligned as the dialog manager wants it; pass
// Template() of the result to DialogBoxIndirectParamW or CreateDialogIndirectParamW.
class NativeDialogTemplate {
public:
    explicit NativeDialogTemplate(const DialogTemplate& dialog);
    const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d);
    void Text(const std::wstring& text);
    void AlignToDword();

    std::vector<WORD> words_;
};

}  // namespace ui::win32

#pragma once
// The "Open in all IE versions" dialog (322): one icon check box per engine
// version, stored the moment it is clicked as "OpenAll_IE" + the version's
// code, and the address to open, taken from the clipboard when it holds a
// web address, typed, or chosen with "Browse...".
//
// Constructed and run modally by the application's open-in-all command on
// the user-interface thread; it reads `m_strOpenAllURL` after OK and opens
// one tab per checked version. The object lives on the caller's stack.
//
//   CDialogOpenAll dialog;
//   if (dialog.DoModal(mainWindow) == IDOK) Open(dialog.m_strOpenAllURL);
//
// DoModal returns IDOK, IDCANCEL, or -1 when the dialog could not be shown.
#include "core/versions.h"
#include "framework/window.h"

#include <string>

class CDialogOpenAll : public fw::Dialog {
public:
    // The address: from the clipboard at opening, the edit's text after OK.
    std::wstring m_strOpenAllURL;

    INT_PTR DoModal(HWND parent);

    // One check box: its control, its version and the version's icon.
    struct VersionBox {
        int controlId;
        IEVERSION version;
        UINT iconId;
    };
    // The boxes from left to right.
    static const VersionBox kBoxes[6];

    // What clipboard text becomes the address: blanks at both ends and
    // every line break removed; kept only when it then begins with
    // "http://" or "https://" (case-sensitive), else empty.
    static std::wstring AddressFromClipboardText(const std::wstring& text);

protected:
    BOOL OnInitDialog() override;
    bool DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    // The clipboard's text (Unicode, else ANSI converted); empty when the
    // clipboard is held elsewhere, holds no text or holds more than an
    // address could be.
    std::wstring ClipboardText() const;
    void OnVersionBoxClicked(const VersionBox& box) const;
    void OnBrowse();
};

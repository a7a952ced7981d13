#pragma once
// The "Windows" dialog: the list of open tabs, to activate one or close
// several. Modal, on the user-interface thread, owned by the main frame.
#include "framework/mdi.h"

#include <vector>

class CWindowsDialog {
public:
    explicit CWindowsDialog(fw::MDIFrameWnd& frame) : m_frame(frame) {}
    // Shows the dialog until it is closed; returns the dialog's result
    // (-1 when it could not be shown).
    INT_PTR DoModal();

private:
    static INT_PTR CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    void Fill(HWND dialog);
    void Activate(HWND dialog);
    void CloseSelected(HWND dialog);

    fw::MDIFrameWnd& m_frame;
    // The frames listed, in list order (by window handle: a frame may go
    // while the dialog is open).
    std::vector<HWND> m_listed;
};

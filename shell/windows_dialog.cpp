#include "windows_dialog.h"

#include "framework/errors.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

namespace {
void SetTranslatedText(HWND window, UINT id) {
    std::wstring text = TranslatedString(id);
    if (!text.empty()) SetWindowTextW(window, text.c_str());
}
} // namespace

INT_PTR CWindowsDialog::DoModal() {
    return DialogBoxParamW(fw::ResourceModule(), MAKEINTRESOURCEW(IDD_WINDOWS_LIST), m_frame.Handle(), &Proc,
                           reinterpret_cast<LPARAM>(this));
}

void CWindowsDialog::Fill(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_WINDOWS_LIST);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    m_listed.clear();
    const fw::MDIChildFrame* active = m_frame.ActiveFrame();
    for (fw::MDIChildFrame* frame : m_frame.ChildFrames()) {
        std::wstring caption = frame->Text();
        fw::Document* doc = frame->ActiveDocument();
        // A tab whose page has no title yet is known by its version.
        if (caption.empty() && doc && doc->Template()) caption = doc->Template()->DocString(1);
        const LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caption.c_str()));
        if (index < 0) continue;
        m_listed.push_back(frame->Handle());
        if (frame == active) SendMessageW(list, LB_SETSEL, TRUE, index);
    }
}

void CWindowsDialog::Activate(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_WINDOWS_LIST);
    int index = -1;
    if (SendMessageW(list, LB_GETSELITEMS, 1, reinterpret_cast<LPARAM>(&index)) != 1) return;
    if (index < 0 || static_cast<size_t>(index) >= m_listed.size()) return;
    SendMessageW(m_frame.MDIClient(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(m_listed[index]), 0);
    EndDialog(dialog, IDOK);
}

void CWindowsDialog::CloseSelected(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_WINDOWS_LIST);
    const LRESULT count = SendMessageW(list, LB_GETSELCOUNT, 0, 0);
    if (count <= 0) return;
    std::vector<int> selected(static_cast<size_t>(count));
    SendMessageW(list, LB_GETSELITEMS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(selected.data()));
    // Each tab is asked through its close protocol; those that agree go
    // later, so the list is refreshed once their frames are gone.
    for (int index : selected)
        if (index >= 0 && static_cast<size_t>(index) < m_listed.size() && IsWindow(m_listed[index]))
            PostMessageW(m_listed[index], WM_SYSCOMMAND, SC_CLOSE, 0);
    SetTimer(dialog, 1, 300, nullptr);
}

INT_PTR CALLBACK CWindowsDialog::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return fw::Guarded("Windows dialog", INT_PTR{FALSE}, [&]() -> INT_PTR {
        auto self = reinterpret_cast<CWindowsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
        switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            self = reinterpret_cast<CWindowsDialog*>(lParam);
            SetTranslatedText(dialog, IDS_WINDOWS_TITLE);
            SetTranslatedText(GetDlgItem(dialog, IDC_WINDOWS_ACTIVATE), IDS_WINDOWS_ACTIVATE);
            SetTranslatedText(GetDlgItem(dialog, IDC_WINDOWS_CLOSE), IDS_WINDOWS_CLOSE);
            SetTranslatedText(GetDlgItem(dialog, IDOK), IDS_OK_BUTTON);
            self->Fill(dialog);
            return TRUE;
        case WM_TIMER:
            KillTimer(dialog, 1);
            if (self) self->Fill(dialog);
            return TRUE;
        case WM_COMMAND:
            if (!self) return FALSE;
            switch (LOWORD(wParam)) {
            case IDC_WINDOWS_ACTIVATE:
                self->Activate(dialog);
                return TRUE;
            case IDC_WINDOWS_LIST:
                if (HIWORD(wParam) == LBN_DBLCLK) self->Activate(dialog);
                return TRUE;
            case IDC_WINDOWS_CLOSE:
                self->CloseSelected(dialog);
                return TRUE;
            case IDOK:
            case IDCANCEL:
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            default:
                return FALSE;
            }
        default:
            return FALSE;
        }
    });
}

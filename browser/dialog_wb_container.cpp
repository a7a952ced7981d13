#include "dialog_wb_container.h"

#include "res/resource_ids.h"

#include <commctrl.h>

BOOL CDialogWBContainer::OnInitDialog() {
    SetWindowTextW(Item(IDC_PANEL_TITLE), L"");
    if (HWND edit = reinterpret_cast<HWND>(SendMessageW(Item(IDC_ADDRESS_BOX), CBEM_GETEDITCONTROL, 0, 0)))
        SetWindowSubclass(edit, &CDialogWBContainer::AddressEditProc, 0, 0);
    // The first address; an empty one shows a blank page.
    Navigate(m_strURL.empty() ? std::wstring(L"about:blank") : m_strURL);
    RecalcLayout();
    return TRUE;
}

void CDialogWBContainer::Navigate(const std::wstring& url) {
    // The page itself comes with the WebBrowser control; what a navigation
    // start does to the tab (its address enters the address list) happens
    // here already.
    AddUrlToAddressList(url);
}

void CDialogWBContainer::AddUrlToAddressList(const std::wstring& url) {
    HWND box = Item(IDC_ADDRESS_BOX);
    if (!box) return;
    auto index = SendMessageW(box, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>(url.c_str()));
    if (index == CB_ERR) {
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT;
        item.iItem = 0;
        item.pszText = const_cast<wchar_t*>(url.c_str());
        index = SendMessageW(box, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        NotifyString(UWM_TAB_ADDRESS, url, 0);
    }
    if (index != CB_ERR) SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CDialogWBContainer::RecalcLayout() {
    HWND box = Item(IDC_ADDRESS_BOX);
    if (!box) return;
    RECT client{}, boxRect{};
    GetClientRect(Handle(), &client);
    GetWindowRect(box, &boxRect);
    int addressHeight = boxRect.bottom - boxRect.top;
    MoveWindow(box, 0, 0, client.right, addressHeight, TRUE);
}

void CDialogWBContainer::Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam) {
    if (m_bChildProcess) {
        if (m_pOwner) m_pOwner->Notify(message, wParam, lParam);
        return;
    }
    PostMessageW(m_hWndView, message, wParam, static_cast<LPARAM>(static_cast<std::int32_t>(lParam)));
}

void CDialogWBContainer::NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam) {
    if (m_bChildProcess) {
        if (m_pOwner) m_pOwner->NotifyString(message, text, lParam);
        return;
    }
    WPARAM heap = NewStringParam<WPARAM>(text);
    if (!PostMessageW(m_hWndView, message, heap, static_cast<LPARAM>(static_cast<std::int32_t>(lParam))))
        TakeStringParam(heap);  // nobody received it
}

bool CDialogWBContainer::DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
    case WM_SIZE:
        if (m_bChildProcess) MoveWindow(Handle(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        RecalcLayout();
        return true;
    case WM_ERASEBKGND:
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
        result = TRUE;
        return true;
    case WM_CLOSE:
        // A tab's content never closes itself on request; it goes down with
        // the view's window.
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) return true;
        if (LOWORD(wParam) == ID_FOCUS_ADDRESS) {
            SetFocus(Item(IDC_ADDRESS_BOX));
            return true;
        }
        return false;
    case UWM_TAB_GO_ADDRESS: {
        HWND edit = reinterpret_cast<HWND>(SendMessageW(Item(IDC_ADDRESS_BOX), CBEM_GETEDITCONTROL, 0, 0));
        int n = edit ? GetWindowTextLengthW(edit) : 0;
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        if (edit) text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), n + 1)));
        else text.clear();
        if (!text.empty()) Navigate(text);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    }
    case UWM_TAB_NAVIGATE: {
        if (auto url = TakeStringParam(wParam)) Navigate(*url);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 1);
        result = TRUE;
        return true;
    }
    default:
        return false;
    }
}

void CDialogWBContainer::PostNcDestroy() {
    // A child process's dialog was allocated by its start-up; its end is the
    // end of the child's main loop.
    if (m_bChildProcess) {
        PostQuitMessage(0);
        delete this;
    }
}

LRESULT CALLBACK CDialogWBContainer::AddressEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                                     UINT_PTR, DWORD_PTR) {
    LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
    if (message == WM_GETDLGCODE && lParam) {
        auto msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == WM_KEYDOWN) {
            if (msg->wParam == VK_ESCAPE) result |= DLGC_WANTALLKEYS;
            if (msg->wParam == VK_RETURN) {
                result |= DLGC_WANTALLKEYS;
                // Edit field, combo box, address box, dialog.
                HWND dialog = GetParent(GetParent(GetParent(edit)));
                if (dialog) SendMessageW(dialog, UWM_TAB_GO_ADDRESS, 0, 0);
            }
        }
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(edit, &CDialogWBContainer::AddressEditProc, 0);
    return result;
}

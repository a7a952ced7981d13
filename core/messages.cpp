#include "core/messages.h"

#include "res/resource_ids.h"

namespace {

// wParam is unsigned and lParam signed: a 32-bit number widens the same way
// it does when a 32-bit program posts to a 64-bit window.
WPARAM NumberAsWParam(std::uint32_t v) { return static_cast<WPARAM>(v); }
LPARAM NumberAsLParam(std::uint32_t v) { return static_cast<LPARAM>(static_cast<std::int32_t>(v)); }

} // namespace

bool CFNKXProcessMessage::PostTo(HWND hwnd) const {
    std::unique_ptr<std::wstring> wText, lText;
    WPARAM wParam = NumberAsWParam(m_wParam);
    LPARAM lParam = NumberAsLParam(m_lParam);
    if (WParamIsString()) {
        wText = std::make_unique<std::wstring>(m_strWParam);
        wParam = reinterpret_cast<WPARAM>(wText.get());
    }
    if (LParamIsString()) {
        lText = std::make_unique<std::wstring>(m_strLParam);
        lParam = reinterpret_cast<LPARAM>(lText.get());
    }
    if (!PostMessageW(hwnd, m_nMessage, wParam, lParam)) return false; // the strings are freed here
    // Posted: the receiver owns the strings now.
    wText.release();
    lText.release();
    PostMessageW(hwnd, WM_NULL, 0, 0);
    return true;
}

bool CFNKXProcessMessage::IsUpstream() const {
    const bool ws = WParamIsString(), ls = LParamIsString();
    switch (m_nMessage) {
    case UWM_TAB_TITLE:
    case UWM_TAB_STATUS_TEXT:
    case UWM_TAB_NEW_WINDOW:
    case UWM_TAB_ADDRESS:
        return ws && !ls;
    case UWM_TAB_HISTORY_ADD:
        return ws && ls;
    case UWM_TAB_PROGRESS:
    case UWM_TAB_PANEL_STATE:
    case UWM_TAB_MUST_CLOSE:
    case UWM_TAB_CLOSE_REFUSED:
    case UWM_TAB_PICTURE:
    case UWM_TAB_CAPTURED:
    case UWM_TAB_LOAD_FAILED:
    case UWM_ENGINE_CLOSE:
        return !ws && !ls;
    case WM_COMMAND:
        // The one command a child sends: its taskbar thumbnail activates the tab.
        return !ws && !ls && m_wParam == ID_DISABLE_MEDIAS;
    default:
        return false;
    }
}

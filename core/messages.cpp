#include "core/messages.h"

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

bool CFNKXProcessMessage::Follows(TabDirection direction) const {
    const TabMessageRule* rule = FindPipeMessage(m_nMessage, direction);
    if (!rule) return false;
    if (WParamIsString() != (rule->wParam == ParamKind::String)) return false;
    if (LParamIsString() != (rule->lParam == ParamKind::String)) return false;
    return rule->onlyWParam == 0 || (!WParamIsString() && m_wParam == rule->onlyWParam);
}

void ReleaseTabMessageParams(UINT message, TabDirection direction, WPARAM wParam, LPARAM lParam) {
    const TabMessageRule* rule = FindTabMessage(message, direction);
    if (!rule) return;
    if (rule->wParam == ParamKind::String) TakeStringParam(wParam);
    if (rule->lParam == ParamKind::String) TakeStringParam(static_cast<std::uintptr_t>(lParam));
}

#include "tab_content_owner.h"

namespace {
// A number travels as lParam sign-extended, as it does over the pipe.
LPARAM NumberAsLParam(std::uint32_t v) { return static_cast<LPARAM>(static_cast<std::int32_t>(v)); }
} // namespace

void CPostingTabContentOwner::Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam) {
    PostMessageW(m_hWndView, message, wParam, NumberAsLParam(lParam));
}

void CPostingTabContentOwner::NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam) {
    const WPARAM heap = NewStringParam<WPARAM>(text);
    if (!PostMessageW(m_hWndView, message, heap, NumberAsLParam(lParam))) TakeStringParam(heap);
}

void CPostingTabContentOwner::NotifyStrings(UINT message, const std::wstring& first, const std::wstring& second) {
    const WPARAM wParam = NewStringParam<WPARAM>(first);
    const LPARAM lParam = NewStringParam<LPARAM>(second);
    if (!PostMessageW(m_hWndView, message, wParam, lParam)) {
        TakeStringParam(wParam);
        TakeStringParam(static_cast<std::uintptr_t>(lParam));
    }
}

bool CPostingTabContentOwner::OfferBrowser(IStream* stream) {
    return PostMessageW(m_hWndView, UWM_TAB_BROWSER_READY, reinterpret_cast<WPARAM>(stream), 0) != FALSE;
}

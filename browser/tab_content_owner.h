#pragma once
// Where a tab content (dialog_wb_container.h) reports: its notifications to
// the tab view, in the tab protocol's Up messages (core/messages.h). Both
// modes report the same way:
//   in-process   CPostingTabContentOwner posts them to the view's window;
//   child        the child's pipe owner (hosting/child_thread.h) writes them
//                to the pipe, and the parent's proxy posts them to the view.
// Called on the tab content's thread. The owner outlives the tab content.
// Nothing here fails loudly: a notification that cannot be delivered is
// dropped, its strings freed.
#include "core/messages.h"

#include <objidl.h>
#include <windows.h>

#include <cstdint>
#include <string>

class ITabContentOwner {
public:
    virtual void Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam) = 0;
    virtual void NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam) = 0;
    virtual void NotifyStrings(UINT message, const std::wstring& first, const std::wstring& second) = 0;
    // In-process only: the browser marshalled for the view's thread. True
    // when the stream was handed over; otherwise the caller releases it.
    virtual bool OfferBrowser(IStream* /*stream*/) { return false; }

protected:
    ~ITabContentOwner() = default;
};

// Posts the notifications to the tab view's window, strings as heap strings
// that the view takes over.
class CPostingTabContentOwner final : public ITabContentOwner {
public:
    explicit CPostingTabContentOwner(HWND view = nullptr) : m_hWndView(view) {}
    void SetView(HWND view) { m_hWndView = view; }
    HWND View() const { return m_hWndView; }

    void Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam) override;
    void NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam) override;
    void NotifyStrings(UINT message, const std::wstring& first, const std::wstring& second) override;
    bool OfferBrowser(IStream* stream) override;

private:
    HWND m_hWndView;
};

#pragma once
// fw::ToolTip: the common-controls tooltip of a bar window (the status bar
// and the caption bar use it). Its tools are rectangles of the bar's client
// area, each with an id the bar chooses (not 0); the tooltip asks the bar
// for a tool's text each time it shows (TTN_GETDISPINFO), so text changed
// later needs no update of the tooltip.
//
// The bar creates it in WM_CREATE and destroys it in WM_DESTROY (or lets
// the destructor do it); both on the bar's user-interface thread. Without a
// tooltip window (Create failed) every operation does nothing and the bar
// works without tooltips.
//
//   case WM_CREATE: (void)m_tip.Create(Handle()); ...
//   m_tip.SetTools({{1, buttonRect}});         // after each layout
//   case WM_NOTIFY:
//       if (m_tip.AnswerTextRequest(lParam, [&](UINT_PTR id) { return TextOf(id); })) return 0;
#include "handles.h"

#include <utility>
#include <vector>

namespace fw {

class ToolTip {
public:
    ToolTip() = default;
    ~ToolTip() = default;
    ToolTip(const ToolTip&) = delete;
    ToolTip& operator=(const ToolTip&) = delete;

    // Creates the tooltip window, owned by `bar`; false when it cannot be made.
    [[nodiscard]] bool Create(HWND bar);
    // Destroys the tooltip window and forgets its tools.
    void Destroy();
    HWND Handle() const { return m_window.get(); }

    // Replaces every tool by these (id, rectangle) pairs; empty rectangles
    // get no tool.
    void SetTools(const std::vector<std::pair<UINT_PTR, RECT>>& tools);

    // When `lParam` of a WM_NOTIFY is this tooltip's request for a tool's
    // text, answers it with textOf(id) (a `const wchar_t*` that must live
    // until the next message; null is taken as no text) and returns true;
    // false for any other notification.
    template <typename TextOf>
    bool AnswerTextRequest(LPARAM lParam, TextOf textOf) const {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (!header || !m_window || header->hwndFrom != m_window.get() || header->code != TTN_GETDISPINFOW)
            return false;
        const wchar_t* text = textOf(static_cast<UINT_PTR>(header->idFrom));
        reinterpret_cast<NMTTDISPINFOW*>(lParam)->lpszText = const_cast<wchar_t*>(text ? text : L"");
        return true;
    }

private:
    void RemoveTools();
    HWND m_bar = nullptr;
    Owner<HWND, &DestroyWindow> m_window;
    std::vector<UINT_PTR> m_tools;
};

} // namespace fw

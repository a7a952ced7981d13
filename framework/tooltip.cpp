#include "tooltip.h"

#include "visual_scheme.h"

namespace fw {

bool ToolTip::Create(HWND bar) {
    // Registers the tooltip class (again harmlessly); whether it is there,
    // the window's creation says.
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    Destroy();
    m_bar = bar;
    m_window.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, bar, nullptr,
                                   GetModuleHandleW(nullptr), nullptr));
    if (!m_window) return false;
    SendMessageW(m_window.get(), WM_SETFONT, reinterpret_cast<WPARAM>(MessageFont()), FALSE);
    return true;
}

void ToolTip::Destroy() {
    // A tooltip owned by a bar that is being destroyed may be gone already;
    // DestroyWindow then fails harmlessly.
    m_window.reset();
    m_tools.clear();
}

void ToolTip::RemoveTools() {
    for (UINT_PTR id : m_tools) {
        TOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE;
        info.hwnd = m_bar;
        info.uId = id;
        SendMessageW(m_window.get(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    m_tools.clear();
}

void ToolTip::SetTools(const std::vector<std::pair<UINT_PTR, RECT>>& tools) {
    if (!m_window) return;
    RemoveTools();
    for (const auto& [id, rect] : tools) {
        if (IsRectEmpty(&rect)) continue;
        TOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every comctl32 version
        info.uFlags = TTF_SUBCLASS;
        info.hwnd = m_bar;
        info.uId = id;
        info.rect = rect;
        info.lpszText = LPSTR_TEXTCALLBACKW;
        if (SendMessageW(m_window.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info))) m_tools.push_back(id);
    }
}

} // namespace fw

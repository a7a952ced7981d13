#pragma once
// fw::CaptionBar: a notice bar (placed by the frame between the ribbon and the
// tabs) with an icon, a text and one button; the button posts WM_COMMAND
// with its command id to the frame; a close glyph at the right hides the
// bar. Hidden at creation. Showing or hiding it (Show, or the close glyph)
// sends the frame WM_SIZE (SIZE_RESTORED, its client size) so that it lays
// its children out again with the new Height().
//
// Created by the frame and living as long as it; user-interface thread
// only. Drawn with GDI in the current visual scheme (visual_scheme.h).
//
//   fw::CaptionBar notice;
//   if (!notice.Create(frame, ID_CAPTION_BAR)) return -1;
//   notice.SetText(L"A tab closed.");
//   notice.SetButton(L"Reopen tab", ID_REOPEN_TAB, L"Opens it again");
//   notice.Show(true);
#include "handles.h"
#include "window.h"

#include <memory>
#include <string>

namespace fw {

class CaptionBar : public Window {
public:
    CaptionBar();
    ~CaptionBar() override;

    [[nodiscard]] bool Create(HWND frame, UINT id);
    // Height when shown (0 while hidden).
    int Height() const;
    void SetIcon(HICON icon);  // not owned
    void SetText(const std::wstring& text);
    void SetButton(const std::wstring& text, UINT command, const std::wstring& toolTip);
    void Show(bool show);
    bool IsShown() const { return m_bShown; }
    const std::wstring& Text() const { return m_strText; }
    // Where the button and the close glyph are (client coordinates; empty
    // while the bar has no size, and the button's while it has no text).
    RECT ButtonRect() const;
    RECT CloseRect() const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    enum class Part : int;
    void Layout();
    void Paint(HDC dc) const;
    Part HitTest(POINT point) const;
    HICON m_hIcon = nullptr;
    std::wstring m_strText, m_strButton, m_strButtonTip;
    UINT m_nCommand = 0;
    bool m_bShown = false;
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace fw

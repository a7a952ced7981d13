#pragma once
// fw::CaptionBar: a notice bar (placed by the frame between the ribbon and the
// tabs) with an icon, a text and up to two buttons; a button posts
// WM_COMMAND with its command id to the frame; a close glyph at the right
// hides the bar (and posts its command, when it has one). The text is also
// the window's own text, for screen readers. Hidden at creation. Showing or hiding it (Show, or the close glyph)
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
#include <vector>

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
    // The buttons after the text (at most kMaxButtons); SetButton makes one
    // the only one.
    static constexpr size_t kMaxButtons = 2;
    struct ButtonSpec {
        std::wstring text;
        UINT command = 0;
        std::wstring toolTip;
    };
    void SetButton(const std::wstring& text, UINT command, const std::wstring& toolTip);
    void SetButtons(std::vector<ButtonSpec> buttons);
    // The command the close glyph posts to the frame as it hides the bar
    // (0: none).
    void SetCloseCommand(UINT command) { m_nCloseCommand = command; }
    void Show(bool show);
    bool IsShown() const { return m_bShown; }
    const std::wstring& Text() const { return m_strText; }
    // Where the button and the close glyph are (client coordinates; empty
    // while the bar has no size, and the button's while it has no text).
    RECT ButtonRect(size_t index = 0) const;
    RECT CloseRect() const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // A part of the bar: a button's index, or one of these.
    static constexpr int kNoPart = -1;
    static constexpr int kClosePart = -2;
    void Layout();
    void Paint(HDC dc) const;
    int HitTest(POINT point) const;
    HICON m_hIcon = nullptr;
    std::wstring m_strText;
    std::vector<ButtonSpec> m_buttons;
    UINT m_nCloseCommand = 0;
    bool m_bShown = false;
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace fw

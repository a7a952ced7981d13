// CaptionBar: layout, painting and mouse handling of the notice bar.
#include "caption_bar.h"

#include "bar_draw.h"
#include "tooltip.h"

#include <windowsx.h>

#include <algorithm>

namespace fw {

using namespace bar_draw;

namespace {

constexpr int kCaptionMinHeight = 30;  // while shown
constexpr int kIconSize = 16;
constexpr int kCloseSize = 16;
constexpr UINT_PTR kToolId = 1;        // the first button's tooltip tool; the next follow

} // namespace

// ---------------------------------------------------------------------------
// CaptionBar

struct CaptionBar::State {
    ToolTip toolTip;  // the buttons' tools
    RECT icon{}, text{}, close{};
    RECT buttons[kMaxButtons]{};
    int hot = kNoPart, pressed = kNoPart;
    bool tracking = false;
};

CaptionBar::CaptionBar() : m_state(std::make_unique<State>()) {}

CaptionBar::~CaptionBar() = default;

bool CaptionBar::Create(HWND frame, UINT id) {
    RECT client{};
    GetClientRect(frame, &client);
    return Window::Create(0, L"fw.CaptionBar", L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, client.right,
                          std::max(kCaptionMinHeight, FontHeight() + 14), frame,
                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

int CaptionBar::Height() const { return m_bShown ? std::max(kCaptionMinHeight, FontHeight() + 14) : 0; }

void CaptionBar::SetIcon(HICON icon) {
    m_hIcon = icon;
    Layout();
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

void CaptionBar::SetText(const std::wstring& text) {
    m_strText = text;
    if (Handle()) SetWindowTextW(Handle(), text.c_str());
    Layout();
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

void CaptionBar::SetButton(const std::wstring& text, UINT command, const std::wstring& toolTip) {
    SetButtons({ButtonSpec{text, command, toolTip}});
}

void CaptionBar::SetButtons(std::vector<ButtonSpec> buttons) {
    if (buttons.size() > kMaxButtons) buttons.resize(kMaxButtons);
    m_buttons = std::move(buttons);
    m_state->hot = m_state->pressed = kNoPart;
    Layout();
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

void CaptionBar::Show(bool show) {
    if (show == m_bShown) return;
    m_bShown = show;
    if (!Handle()) return;
    m_state->hot = m_state->pressed = kNoPart;
    ReleaseOwnCapture(Handle());
    ShowWindow(Handle(), show ? SW_SHOWNA : SW_HIDE);
    if (HWND parent = GetParent(Handle())) {
        RECT client{};
        GetClientRect(parent, &client);
        SendMessageW(parent, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    }
}

RECT CaptionBar::ButtonRect(size_t index) const { return index < kMaxButtons ? m_state->buttons[index] : RECT{}; }

RECT CaptionBar::CloseRect() const { return m_state->close; }

void CaptionBar::Layout() {
    State& s = *m_state;
    s.icon = s.text = s.close = RECT{};
    for (RECT& r : s.buttons) r = RECT{};
    if (!Handle()) return;
    RECT client{};
    GetClientRect(Handle(), &client);
    if (client.right > 0 && client.bottom > 0) {
        const int middle = (client.bottom - 1) / 2;  // the last row is the bottom line
        int x = 8;
        if (m_hIcon) {
            s.icon = RECT{x, middle - kIconSize / 2, x + kIconSize, middle - kIconSize / 2 + kIconSize};
            x = s.icon.right + 8;
        }
        s.close = RECT{client.right - 6 - kCloseSize, middle - kCloseSize / 2, client.right - 6,
                       middle - kCloseSize / 2 + kCloseSize};
        WindowDC dc(Handle());
        Selection font(dc.get(), MessageFont());
        const int room = std::max(0, static_cast<int>(s.close.left) - 12 - x);
        int textWidth = TextWidth(dc.get(), m_strText);
        // The buttons follow the text; a long text gives way to them.
        int widths[kMaxButtons] = {};
        int buttonsWidth = 0;
        for (size_t i = 0; i < m_buttons.size(); ++i) {
            widths[i] = std::max(76, TextWidth(dc.get(), m_buttons[i].text) + 28);
            buttonsWidth += widths[i] + (i > 0 ? 8 : 0);
        }
        if (!m_buttons.empty()) {
            const int buttonHeight = std::min(static_cast<int>(client.bottom) - 7, FontHeight() + 10);
            textWidth = std::clamp(textWidth, 0, std::max(0, room - buttonsWidth - 14));
            int left = x + textWidth + (textWidth > 0 ? 14 : 0);
            const int top = middle - buttonHeight / 2;
            for (size_t i = 0; i < m_buttons.size(); ++i) {
                RECT& r = s.buttons[i];
                r = RECT{left, top, std::min(left + widths[i], static_cast<int>(s.close.left) - 8), top + buttonHeight};
                if (r.right <= r.left) r = RECT{};
                left += widths[i] + 8;
            }
        } else {
            textWidth = std::min(textWidth, room);
        }
        s.text = RECT{x, 0, x + textWidth, client.bottom - 1};
    }
    std::vector<std::pair<UINT_PTR, RECT>> tools;
    for (size_t i = 0; i < m_buttons.size(); ++i) tools.emplace_back(kToolId + i, s.buttons[i]);
    s.toolTip.SetTools(tools);
}

int CaptionBar::HitTest(POINT point) const {
    for (size_t i = 0; i < m_buttons.size(); ++i)
        if (PtInRect(&m_state->buttons[i], point)) return static_cast<int>(i);
    if (PtInRect(&m_state->close, point)) return kClosePart;
    return kNoPart;
}

void CaptionBar::Paint(HDC dc) const {
    const SchemeColors& colors = CurrentSchemeColors();
    const State& s = *m_state;
    RECT client{};
    GetClientRect(Handle(), &client);
    FillGradient(dc, client, MixColors(colors.noticeFill, kWhite, 0.35), colors.noticeFill);
    const COLORREF shade = MixColors(colors.noticeFill, colors.text, 0.3);
    Line(dc, 0, client.bottom - 1, client.right, client.bottom - 1, shade);

    if (m_hIcon && !IsRectEmpty(&s.icon))
        DrawIconEx(dc, s.icon.left, s.icon.top, m_hIcon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
    PaintText(dc, m_strText, s.text, DT_LEFT | DT_END_ELLIPSIS, colors.text);

    for (size_t i = 0; i < m_buttons.size(); ++i) {
        const RECT& button = s.buttons[i];
        if (IsRectEmpty(&button)) continue;
        const int part = static_cast<int>(i);
        const bool pressed = s.pressed == part && s.hot == part;
        // The status bar's light colours: the frame colour is dark in some schemes.
        COLORREF top = kWhite, bottom = MixColors(colors.statusBottom, kWhite, 0.35),
                 border = MixColors(colors.statusBottom, colors.text, 0.4);
        if (pressed) {
            top = MixColors(colors.pressedFill, kWhite, 0.35);
            bottom = colors.pressedFill;
            border = colors.hotBorder;
        } else if (s.hot == part) {
            top = MixColors(colors.hotFill, kWhite, 0.55);
            bottom = colors.hotFill;
            border = colors.hotBorder;
        }
        RoundBox(dc, button, 5, top, bottom, border);
        RECT text = button;
        if (pressed) OffsetRect(&text, 1, 1);
        PaintText(dc, m_buttons[i].text, text, DT_CENTER | DT_END_ELLIPSIS, colors.text);
    }

    if (!IsRectEmpty(&s.close)) {
        const RECT& r = s.close;
        if (s.hot == kClosePart) {
            const COLORREF fill = s.pressed == kClosePart ? colors.pressedFill : colors.hotFill;
            RoundBox(dc, r, 4, MixColors(fill, kWhite, 0.5), fill, colors.hotBorder);
        }
        // An "x" of two strokes, each two pixels wide.
        const COLORREF glyph = colors.text;
        const int l = r.left + 4, t = r.top + 4, rr = r.right - 5, b = r.bottom - 5;
        for (int dx = 0; dx < 2; ++dx) {
            Line(dc, l + dx, t, rr + dx + 1, b + 1, glyph);
            Line(dc, l + dx, b, rr + dx + 1, t - 1, glyph);
        }
    }
}

LRESULT CaptionBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    State& s = *m_state;
    switch (message) {
    case WM_CREATE:
        // Without a tooltip window the bar works, only without its tooltip.
        (void)s.toolTip.Create(Handle());
        SetWindowTextW(Handle(), m_strText.c_str());
        Layout();
        return 0;
    case WM_DESTROY:
        s.toolTip.Destroy();
        break;
    case WM_SIZE:
        Layout();
        InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND:
    case WM_PAINT:
    case WM_PRINTCLIENT:
        return PaintMessage(Handle(), message, wParam, [this](HDC dc) { Paint(dc); });
    case WM_MOUSEMOVE: {
        if (!s.tracking) {
            TrackLeave(Handle());
            s.tracking = true;
        }
        const int hot = HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (hot != s.hot) {
            s.hot = hot;
            InvalidateRect(Handle(), nullptr, FALSE);
        }
        return 0;
    }
    case WM_MOUSELEAVE:
        s.tracking = false;
        if (s.hot != kNoPart) {
            s.hot = kNoPart;
            InvalidateRect(Handle(), nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const int part = HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (part == kNoPart) return 0;
        s.pressed = s.hot = part;
        SetCapture(Handle());
        InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
    }
    case WM_LBUTTONUP: {
        const int pressed = s.pressed;
        s.pressed = kNoPart;
        ReleaseOwnCapture(Handle());
        InvalidateRect(Handle(), nullptr, FALSE);
        if (pressed == kNoPart || HitTest(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) != pressed)
            return 0;
        HWND parent = GetParent(Handle());
        if (pressed >= 0) {
            const UINT command = m_buttons[static_cast<size_t>(pressed)].command;
            if (parent) PostMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(command), 0), 0);
        } else {
            Show(false);
            if (parent && m_nCloseCommand)
                PostMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(m_nCloseCommand), 0), 0);
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != Handle() && s.pressed != kNoPart) {
            s.pressed = kNoPart;
            InvalidateRect(Handle(), nullptr, FALSE);
        }
        return 0;
    case WM_NOTIFY:
        if (s.toolTip.AnswerTextRequest(lParam, [this](UINT_PTR id) {
                const size_t index = id - kToolId;
                return index < m_buttons.size() ? m_buttons[index].toolTip.c_str() : nullptr;
            }))
            return 0;
        break;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

} // namespace fw

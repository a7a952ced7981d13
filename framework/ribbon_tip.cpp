// The ribbon's tooltip window: shown for the hovered element after a
// delay, with a bold title and a description.
#include "ribbon_internal.h"

namespace fw {

using namespace ribbon_draw;
using namespace ribbon_detail;

// ---------------------------------------------------------------------------
// The tooltip window

SIZE RibbonBar::State::TipWindow::Measure() {
    WindowDC wdc(Handle());
    Selection f(wdc.get(), st.boldFont.get());
    SIZE t = TextExtent(wdc.get(), StripMnemonic(title));
    SIZE size{t.cx + 16, t.cy + 12};
    if (!text.empty()) {
        Selection f2(wdc.get(), st.font.get());
        RECT r{0, 0, 240, 0};
        DrawTextW(wdc.get(), text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        size.cx = std::max<LONG>(size.cx, r.right + 24);
        size.cy += r.bottom + 6;
    }
    return size;
}

LRESULT RibbonBar::State::TipWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_NCHITTEST) return HTTRANSPARENT;
    if (message == WM_PAINT) {
        PaintScope paint(Handle());
        const HDC dc = paint.dc();
        RECT rc;
        GetClientRect(Handle(), &rc);
        FillGradient(dc, rc, RGB(255, 255, 255), RGB(228, 229, 240));
        FrameRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        Selection f(dc, st.boldFont.get());
        RECT t{8, 6, rc.right - 8, 6 + st.lineHeight + 2};
        DrawLabel(dc, StripMnemonic(title), t, DT_SINGLELINE | DT_NOPREFIX, RGB(76, 76, 76));
        if (!text.empty()) {
            Selection f2(dc, st.font.get());
            RECT d{16, t.bottom + 6, rc.right - 8, rc.bottom - 4};
            DrawLabel(dc, text, d, DT_WORDBREAK | DT_NOPREFIX, RGB(76, 76, 76));
        }
        return 0;
    }
    return Default(message, wParam, lParam);
}

// ---------------------------------------------------------------------------
// Tooltips

void RibbonBar::State::ShowTip() {
    KillTimer(bar.Handle(), kTipTimer);
    if (keyTipLevel || (pressed.kind != HitKind::None)) return;
    std::wstring title, text;
    RECT r{};
    if (hot.kind == HitKind::App) {
        title = bar.m_strAppToolTip;
        r = appRect;
    } else if (hot.kind == HitKind::Element && hot.element) {
        RibbonElement* e = hot.element;
        r = e->m_rect;
        auto src = quickSource.find(e);
        if (src != quickSource.end() && src->second) e = const_cast<RibbonElement*>(src->second);
        e->UpdateTooltipInfo();
        title = e->ToolTip().empty() ? e->Text() : e->ToolTip();
        text = e->Description();
    } else {
        return;
    }
    if (title.empty() && text.empty()) return;
    if (!tip) {
        tip = std::make_unique<TipWindow>(*this);
        if (!tip->Create(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kTipClass, L"", WS_POPUP, 0, 0, 0, 0,
                         GetAncestor(bar.Handle(), GA_ROOT), nullptr)) {
            tip.reset();
            return;
        }
    }
    tip->title = title;
    tip->text = text;
    SIZE size = tip->Measure();
    MapWindowPoints(bar.Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    POINT at{r.left, r.bottom + 2};
    // Below the whole bar for elements of the bar's panel area.
    if (hot.surface == bar.Handle() && r.top - 0 >= 0) {
        RECT barRect;
        GetWindowRect(bar.Handle(), &barRect);
        if (hot.element && hot.element->m_rect.top >= kTabRowHeight) at.y = barRect.bottom + 2;
    }
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &mi)) {
        if (at.x + size.cx > mi.rcWork.right) at.x = mi.rcWork.right - size.cx;
        if (at.y + size.cy > mi.rcWork.bottom) at.y = r.top - size.cy - 2;
    }
    SetWindowPos(tip->Handle(), HWND_TOPMOST, at.x, at.y, size.cx, size.cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(tip->Handle(), nullptr, FALSE);
}

void RibbonBar::State::HideTip() {
    if (bar.Handle()) KillTimer(bar.Handle(), kTipTimer);
    if (tip && tip->Handle() && IsWindowVisible(tip->Handle())) ShowWindow(tip->Handle(), SW_HIDE);
}

} // namespace fw

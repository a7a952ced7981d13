// The ribbon's pop-ups: a collapsed panel, the category of a minimized
// ribbon, and the application menu, each with its local message loop.
#include "ribbon_internal.h"

namespace fw {

using namespace ribbon_draw;
using namespace ribbon_detail;

// ---------------------------------------------------------------------------
// Pop-ups

void RibbonBar::State::OpenPanelPopup(RibbonPanel* panel, const RECT& below) {
    if (popup) return;
    auto p = std::make_unique<Popup>(*this, Popup::Kind::Panels);
    {
        WindowDC wdc(bar.Handle());
        Selection f(wdc.get(), font.get());
        p->panels = LayoutPanels(wdc.get(), {panel}, 0, 0, 0, false);
    }
    if (p->panels.empty()) return;
    p->size = {p->panels.front().rect.right + kPanelGap, kPanelAreaHeight};
    p->origin = {below.left, below.bottom + 3};
    p->opener.kind = HitKind::Panel;
    p->opener.panel = panel;
    RunPopup(std::move(p));
}

void RibbonBar::State::OpenCategoryPopup(RibbonCategory* category) {
    if (popup || !category) return;
    auto p = std::make_unique<Popup>(*this, Popup::Kind::Panels);
    RECT client;
    GetClientRect(bar.Handle(), &client);
    {
        WindowDC wdc(bar.Handle());
        Selection f(wdc.get(), font.get());
        p->panels = LayoutPanels(wdc.get(), PanelsOf(category), 0, 0, RectWidth(client), true);
    }
    p->size = {RectWidth(client), kPanelAreaHeight};
    p->origin = {0, kTabRowHeight};
    p->opener.kind = HitKind::Tab;
    p->opener.category = category;
    RunPopup(std::move(p));
    if (pendingPanel) {
        RibbonPanel* panel = pendingPanel;
        pendingPanel = nullptr;
        OpenPanelPopup(panel, pendingRect);
    }
}

void RibbonBar::State::OpenAppMenu() {
    if (popup) return;
    auto p = std::make_unique<Popup>(*this, Popup::Kind::AppMenu);
    Prepare();
    int column = 220, y = 5;
    {
        WindowDC wdc(bar.Handle());
        Selection f(wdc.get(), font.get());
        for (auto& item : bar.m_mainItems)
            column = std::max<int>(column, TextExtent(wdc.get(), item->Text()).cx + 32 + 40);
        for (auto& item : bar.m_mainItems) {
            bool separator = item->Id() == 0 && item->Text().empty();
            int h = separator ? 7 : 40;
            p->items.push_back({item.get(), {5, y, 5 + column, y + h}, true});
            y += h;
        }
        p->mainCount = p->items.size();
        p->itemsRect = {4, 4, 6 + column, y + 1};
        int bottomTop = p->itemsRect.bottom + 4;
        int x = p->itemsRect.right;
        std::vector<Placed> bottom;
        for (auto it = bar.m_mainBottom.rbegin(); it != bar.m_mainBottom.rend(); ++it) {
            int w = ElementWidth(wdc.get(), it->get(), false) + 4;
            bottom.insert(bottom.begin(), {it->get(), {x - w, bottomTop, x, bottomTop + kSmallRow}, false});
            x -= w + 4;
        }
        p->items.insert(p->items.end(), bottom.begin(), bottom.end());
        p->size = {p->itemsRect.right + 4, bottomTop + kSmallRow + 5};
    }
    p->origin = {appRect.left, appRect.bottom + 1};
    p->opener.kind = HitKind::App;
    RunPopup(std::move(p));
}

void RibbonBar::State::RunPopup(std::unique_ptr<Popup> p) {
    if (popup || !bar.Handle()) return;
    HideTip();
    HideKeyTips();
    popupDone = false;
    pendingPanel = nullptr;
    HWND owner = GetAncestor(bar.Handle(), GA_ROOT);
    POINT screen = p->origin;
    ClientToScreen(bar.Handle(), &screen);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (GetMonitorInfoW(MonitorFromPoint(screen, MONITOR_DEFAULTTONEAREST), &mi)) {
        if (screen.x + p->size.cx > mi.rcWork.right) screen.x = std::max(mi.rcWork.left, mi.rcWork.right - p->size.cx);
        POINT back = screen;
        ScreenToClient(bar.Handle(), &back);
        p->origin = back;
    }
    popup = std::move(p);
    if (!popup->Create(WS_EX_TOOLWINDOW, kPopupClass, L"", WS_POPUP | WS_CLIPCHILDREN, screen.x, screen.y,
                       popup->size.cx, popup->size.cy, owner, nullptr)) {
        popup.reset();
        return;
    }
    Layout();
    QueryStates();
    HWND popupWnd = popup->Handle();
    SetWindowPos(popupWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(bar.Handle(), nullptr, FALSE);
    Hit opener = popup->opener;
    if (popup->kind == Popup::Kind::AppMenu) {
        for (size_t i = 0; i < popup->items.size(); ++i)
            if (popup->items[i].element->Id() != 0 || !popup->items[i].element->Text().empty()) {
                popup->selected = static_cast<int>(i);
                break;
            }
    }
    MSG msg;
    while (!popupDone && IsWindow(popupWnd)) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        bool mouseDown = msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN ||
                         msg.message == WM_MBUTTONDOWN || msg.message == WM_LBUTTONDBLCLK ||
                         msg.message == WM_NCLBUTTONDOWN || msg.message == WM_NCRBUTTONDOWN;
        if (mouseDown && msg.hwnd != popupWnd && !IsChild(popupWnd, msg.hwnd)) {
            popupDone = true;
            // A click on what opened the pop-up only closes it (a double
            // click on the tab of a minimized bar restores the bar); any
            // other click still does its work.
            bool onOpener = false;
            if (msg.hwnd == bar.Handle() && msg.message != WM_NCLBUTTONDOWN && msg.message != WM_NCRBUTTONDOWN) {
                POINT pt{static_cast<short>(LOWORD(msg.lParam)), static_cast<short>(HIWORD(msg.lParam))};
                Hit h = HitTestBar(pt);
                onOpener = h.kind == opener.kind && h.category == opener.category && h.panel == opener.panel;
                if (onOpener && msg.message == WM_LBUTTONDBLCLK && h.kind == HitKind::Tab)
                    PostMessageW(bar.Handle(), WM_LBUTTONDBLCLK, msg.wParam, msg.lParam);
            }
            if (!onOpener) PostMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
            break;
        }
        if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
            HWND focus = GetFocus();
            bool inEdit = focus && IsChild(popupWnd, focus);
            if (!inEdit || msg.wParam == VK_ESCAPE) {
                if (inEdit) SetFocus(owner);
                PopupKey(*popup, static_cast<UINT>(msg.wParam));
                continue;
            }
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        HWND fg = GetForegroundWindow();
        if (fg && fg != owner && fg != popupWnd && GetWindow(fg, GW_OWNER) != owner) popupDone = true;
    }
    // Edits shown in the pop-up go back to the bar before the pop-up goes.
    for (auto& pp : popup->panels)
        for (auto& pl : pp.elements)
            if (auto combo = dynamic_cast<RibbonComboBox*>(pl.element); combo && combo->m_hWndEdit) {
                ShowWindow(combo->m_hWndEdit, SW_HIDE);
                SetParent(combo->m_hWndEdit, bar.Handle());
            }
    if (hot.surface == popupWnd) hot = Hit{};
    if (pressed.surface == popupWnd) pressed = Hit{};
    if (GetCapture() == popupWnd) ReleaseCapture();
    std::unique_ptr<Popup> gone = std::move(popup);
    HideTip();
    Layout();
    gone.reset();
    if (bar.Handle()) InvalidateRect(bar.Handle(), nullptr, FALSE);
}

RibbonBar::State::Hit RibbonBar::State::HitTestPopup(const Popup& p, POINT pt) const {
    if (p.kind == Popup::Kind::Panels) return HitTestPanels(p.panels, pt, p.Handle());
    Hit h;
    h.surface = p.Handle();
    for (auto& item : p.items) {
        if (!PtInRect(&item.rect, pt)) continue;
        if (item.element->Id() == 0 && item.element->Text().empty()) return h;
        h.kind = HitKind::Element;
        h.element = item.element;
        auto b = dynamic_cast<RibbonButton*>(item.element);
        if (b && b->HasMenu()) h.part = (!b->m_bDefaultCommand || pt.x >= item.rect.right - 20) ? 1 : 0;
        return h;
    }
    return h;
}

void RibbonBar::State::RunAppItem(Popup& p, size_t index) {
    if (index >= p.items.size()) return;
    RibbonElement* e = p.items[index].element;
    if (!IsEnabledNow(e)) return;
    auto b = dynamic_cast<RibbonButton*>(e);
    if (b && b->HasMenu() && !b->m_bDefaultCommand) {
        b->OnShowPopupMenu();
        ClosePopup();
        return;
    }
    ClosePopup();
    Execute(e);
}

void RibbonBar::State::PopupKey(Popup& p, UINT vk) {
    if (vk == VK_ESCAPE) {
        ClosePopup();
        return;
    }
    if (p.kind != Popup::Kind::AppMenu || p.items.empty()) return;
    auto selectable = [&](size_t i) {
        RibbonElement* e = p.items[i].element;
        return !(e->Id() == 0 && e->Text().empty());
    };
    int n = static_cast<int>(p.items.size());
    if (vk == VK_UP || vk == VK_DOWN || vk == VK_TAB || vk == VK_LEFT || vk == VK_RIGHT) {
        int step = (vk == VK_UP || vk == VK_LEFT || (vk == VK_TAB && (GetKeyState(VK_SHIFT) & 0x8000))) ? -1 : 1;
        int i = p.selected;
        for (int k = 0; k < n; ++k) {
            i = ((i < 0 ? (step > 0 ? -1 : 0) : i) + step + n) % n;
            if (selectable(static_cast<size_t>(i))) break;
        }
        p.selected = i;
        InvalidateRect(p.Handle(), nullptr, FALSE);
        return;
    }
    if (vk == VK_RETURN || vk == VK_SPACE) {
        if (p.selected >= 0) RunAppItem(p, static_cast<size_t>(p.selected));
        return;
    }
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) {
        for (size_t i = 0; i < p.items.size(); ++i) {
            const std::wstring& text = p.items[i].element->Text();
            wchar_t m = MnemonicOf(text);
            std::wstring plain = StripMnemonic(text);
            if (!m && !plain.empty()) m = static_cast<wchar_t>(std::towupper(plain[0]));
            if (m == static_cast<wchar_t>(vk)) {
                RunAppItem(p, i);
                return;
            }
        }
    }
}

void RibbonBar::State::PaintAppMenu(HDC dc, Popup& p) {
    const SchemeColors& c = CurrentSchemeColors();
    const COLORREF white = RGB(255, 255, 255);
    RECT client;
    GetClientRect(p.Handle(), &client);
    FillGradient(dc, client, Mix(c.panelTop, c.frame, 25), Mix(c.panelBottom, c.frame, 30));
    Brush border(CreateSolidBrush(Mix(c.panelBorder, RGB(0, 0, 0), 20)));
    FrameRect(dc, &client, border.get());
    RoundBox(dc, p.itemsRect, 2, Mix(c.panelTop, white, 85), Mix(c.panelTop, white, 55), c.panelBorder);
    COLORREF bottomText = Brightness(Mix(c.panelBottom, c.frame, 30)) < 110 ? c.tabText : c.text;
    for (size_t i = 0; i < p.items.size(); ++i) {
        const Placed& item = p.items[i];
        RibbonElement* e = item.element;
        RECT r = item.rect;
        if (e->Id() == 0 && e->Text().empty()) {
            Line(dc, r.left + 40, (r.top + r.bottom) / 2, r.right - 4, (r.top + r.bottom) / 2, c.panelBorder);
            continue;
        }
        UiState s = StateOf(e);
        bool selected = static_cast<int>(i) == p.selected;
        bool isPressed = pressed.element == e && pressed.surface == p.Handle();
        if ((selected || isPressed) && s.enabled)
            RoundBox(dc, r, 3, Mix(isPressed ? c.pressedFill : c.hotFill, white, 55),
                     isPressed ? c.pressedFill : c.hotFill, c.hotBorder);
        auto b = dynamic_cast<RibbonButton*>(e);
        bool onBand = i >= p.mainCount;
        COLORREF base = onBand ? bottomText : c.text;
        COLORREF color = s.enabled ? base : Mix(base, c.panelBottom, 55);
        if (!onBand) {
            if (b) PaintButtonImage(dc, b, true, r.left + 4, r.top + (RectHeight(r) - 32) / 2, !s.enabled);
            RECT t{r.left + 44, r.top, r.right - 16, r.bottom};
            DrawLabel(dc, e->Text(), t, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS, color);
            if (b && b->HasMenu()) {
                if (b->m_bDefaultCommand) Line(dc, r.right - 20, r.top + 4, r.right - 20, r.bottom - 4, c.panelBorder);
                // A right-pointing arrow: the menu opens beside the item.
                for (int k = 0; k < 4; ++k)
                    Line(dc, r.right - 11 + k, (r.top + r.bottom) / 2 - 3 + k, r.right - 11 + k,
                         (r.top + r.bottom) / 2 + 4 - k, color);
            }
        } else {
            if (b) PaintButtonImage(dc, b, false, r.left + 4, r.top + (RectHeight(r) - 16) / 2, !s.enabled);
            RECT t{r.left + 24, r.top, r.right - 2, r.bottom};
            DrawLabel(dc, e->Text(), t, DT_SINGLELINE | DT_VCENTER, color);
        }
    }
}

LRESULT RibbonBar::State::PopupProc(Popup& p, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_PAINT: {
        PaintScope paint(p.Handle());
        const HDC dc = paint.dc();
        RECT rc;
        GetClientRect(p.Handle(), &rc);
        MemoryDC mem(CreateCompatibleDC(dc));
        Bitmap bmp(CreateCompatibleBitmap(dc, std::max<LONG>(rc.right, 1), std::max<LONG>(rc.bottom, 1)));
        {
            Selection sb(mem.get(), bmp.get());
            Selection sf(mem.get(), font.get());
            SetBkMode(mem.get(), TRANSPARENT);
            if (p.kind == Popup::Kind::AppMenu) {
                PaintAppMenu(mem.get(), p);
            } else {
                const SchemeColors& c = CurrentSchemeColors();
                FillGradient(mem.get(), rc, c.panelTop, c.panelBottom);
                Brush border(CreateSolidBrush(c.panelBorder));
                FrameRect(mem.get(), &rc, border.get());
                PaintPanels(mem.get(), p.panels, p.Handle());
            }
            BitBlt(dc, 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
        }
        return 0;
    }
    case WM_MOUSEMOVE: {
        POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, p.Handle(), 0};
        TrackMouseEvent(&tme);
        Hit h = HitTestPopup(p, pt);
        if (p.kind == Popup::Kind::AppMenu && h.element) {
            for (size_t i = 0; i < p.items.size(); ++i)
                if (p.items[i].element == h.element) p.selected = static_cast<int>(i);
        }
        SetHot(h);
        return 0;
    }
    case WM_MOUSELEAVE:
        if (hot.surface == p.Handle()) SetHot(Hit{});
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        Press(HitTestPopup(p, pt));
        return 0;
    }
    case WM_LBUTTONUP: {
        POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        Release(HitTestPopup(p, pt));
        return 0;
    }
    case WM_TIMER:
        if (wParam == kTipTimer) ShowTip();
        return 0;
    }
    return p.CallDefault(message, wParam, lParam);
}

} // namespace fw

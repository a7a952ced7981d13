#include "ribbon_internal.h"

namespace fw {

using namespace ribbon_draw;
using namespace ribbon_detail;

// ---------------------------------------------------------------------------
// Elements

RibbonButton::RibbonButton(int id, const std::wstring& text, int smallImage, int largeImage)
    : RibbonElement(id), m_nSmallImage(smallImage), m_nLargeImage(largeImage) {
    m_strText = text;
}

void RibbonButton::SetMenu(HMENU menu, bool defaultCommand, bool rightAlign) {
    m_menu.reset(menu);
    m_bDefaultCommand = defaultCommand;
    m_bRightAlign = rightAlign;
}

UINT RibbonButton::OnShowPopupMenu() { return ShowMenu(m_menu.get()); }

UINT RibbonButton::ShowMenu(HMENU menu) {
    if (!menu || !m_pRibbon || !m_pRibbon->Handle()) return 0;
    HMENU popup = GetSubMenu(menu, 0) ? GetSubMenu(menu, 0) : menu;
    RECT r = m_rect;
    MapWindowPoints(m_pRibbon->Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    HWND frame = GetParent(m_pRibbon->Handle());
    UINT flags = TPM_RETURNCMD | TPM_TOPALIGN | TPM_LEFTBUTTON | (m_bRightAlign ? TPM_RIGHTALIGN : TPM_LEFTALIGN);
    UINT command = static_cast<UINT>(
        TrackPopupMenu(popup, flags, m_bRightAlign ? r.right : r.left, r.bottom, 0, frame, nullptr));
    if (command) PostMessageW(frame, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return command;
}

RibbonComboBox::RibbonComboBox(int id, int width, const std::wstring& label) : RibbonElement(id), m_nWidth(width) {
    m_strText = label;
}

RibbonComboBox::~RibbonComboBox() {
    if (m_hWndEdit && IsWindow(m_hWndEdit)) DestroyWindow(m_hWndEdit);
}

std::wstring RibbonComboBox::EditText() const {
    if (!m_hWndEdit) return {};
    int n = GetWindowTextLengthW(m_hWndEdit);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(m_hWndEdit, text.data(), n + 1);
    text.resize(static_cast<size_t>(std::max(n, 0)));
    return text;
}

void RibbonComboBox::SetEditText(const std::wstring& text) {
    if (m_hWndEdit) SetWindowTextW(m_hWndEdit, text.c_str());
}

void RibbonComboBox::OnShow(bool shown) {
    if (m_hWndEdit) ShowWindow(m_hWndEdit, shown ? SW_SHOWNA : SW_HIDE);
}

HWND RibbonComboBox::CreateEdit(HWND parent, DWORD style) {
    return CreateWindowExW(0, L"Edit", L"", style, 0, 0, 0, 0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

RibbonElement* RibbonPanel::Add(std::unique_ptr<RibbonElement> element) {
    m_elements.push_back(std::move(element));
    return m_elements.back().get();
}

RibbonPanel* RibbonCategory::AddPanel(const std::wstring& name, HIMAGELIST icons, int icon) {
    m_panels.push_back(std::make_unique<RibbonPanel>(name, icons, icon));
    return m_panels.back().get();
}

// ---------------------------------------------------------------------------
// RibbonBar

RibbonBar::RibbonBar() : m_state(std::make_unique<State>(*this)) {}

RibbonBar::~RibbonBar() {
    m_state->Unregister();
    if (Handle()) {
        KillTimer(Handle(), kUpdateTimer);
        KillTimer(Handle(), kTipTimer);
    }
    m_state->tip.reset();
}

bool RibbonBar::Create(HWND frame, UINT id) {
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0)) {
        m_state->font.reset(CreateFontIndirectW(&ncm.lfMessageFont));
        ncm.lfMessageFont.lfWeight = FW_BOLD;
        m_state->boldFont.reset(CreateFontIndirectW(&ncm.lfMessageFont));
    }
    if (!m_state->font) {
        LOGFONTW lf{};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
        m_state->font.reset(CreateFontIndirectW(&lf));
        lf.lfWeight = FW_BOLD;
        m_state->boldFont.reset(CreateFontIndirectW(&lf));
    }
    {
        WindowDC screen(nullptr);
        Selection f(screen.get(), m_state->font.get());
        TEXTMETRICW tm{};
        if (GetTextMetricsW(screen.get(), &tm)) m_state->lineHeight = std::min<int>(tm.tmHeight, 15);
    }
    RECT rc{};
    GetClientRect(frame, &rc);
    if (!Window::Create(0, kBarClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, rc.right,
                        Height(), frame, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))))
        return false;
    SetTimer(Handle(), kUpdateTimer, kUpdateInterval, nullptr);
    m_state->Register();
    RecalcLayout();
    return true;
}

int RibbonBar::Height() const { return kTabRowHeight + (m_bMinimized ? 0 : kPanelAreaHeight); }

void RibbonBar::SetApplicationButton(HBITMAP image, const std::wstring& toolTip, const std::wstring& keyTip) {
    m_hAppImage = image;
    m_strAppToolTip = toolTip;
    m_strAppKeyTip = keyTip;
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

RibbonElement* RibbonBar::AddMainItem(std::unique_ptr<RibbonButton> button) {
    button->m_pRibbon = this;
    m_mainItems.push_back(std::move(button));
    return m_mainItems.back().get();
}

RibbonElement* RibbonBar::AddMainBottomButton(std::unique_ptr<RibbonButton> button) {
    button->m_pRibbon = this;
    m_mainBottom.push_back(std::move(button));
    return m_mainBottom.back().get();
}

void RibbonBar::SetMainImages(const RibbonImages& images) {
    m_state->mainImages = images;
    RecalcLayout();
}

RibbonCategory* RibbonBar::AddCategory(const std::wstring& name, const RibbonImages& images) {
    m_categories.push_back(std::make_unique<RibbonCategory>(name, images));
    if (!m_pActive) m_pActive = m_categories.back().get();
    RecalcLayout();
    return m_categories.back().get();
}

RibbonCategory* RibbonBar::ActiveCategory() const { return m_pActive; }

void RibbonBar::SetActiveCategory(RibbonCategory* category) {
    bool ours = std::any_of(m_categories.begin(), m_categories.end(),
                            [&](const std::unique_ptr<RibbonCategory>& c) { return c.get() == category; });
    if (!ours || category == m_pActive) return;
    m_pActive = category;
    m_state->HideTip();
    RecalcLayout();
}

RibbonElement* RibbonBar::AddToTabRow(std::unique_ptr<RibbonElement> element) {
    element->m_pRibbon = this;
    m_tabRowElements.push_back(std::move(element));
    RecalcLayout();
    return m_tabRowElements.back().get();
}

void RibbonBar::SetQuickAccessCommands(const std::vector<int>& commands) {
    m_quickAccess = commands;
    for (auto& q : m_state->quick) m_state->Forget(q.get());
    m_state->quick.clear();
    for (int id : commands) {
        const RibbonElement* source = FindById(id);
        auto button = std::make_unique<RibbonButton>(id, source ? source->Text() : std::wstring());
        button->m_pRibbon = this;
        m_state->quickSource[button.get()] = source;
        m_state->quick.push_back(std::move(button));
    }
    RecalcLayout();
}

void RibbonBar::SetMinimized(bool minimized) {
    if (minimized == m_bMinimized) return;
    m_bMinimized = minimized;
    m_state->HideTip();
    m_state->HideKeyTips();
    if (!Handle()) return;
    HWND frame = GetParent(Handle());
    RECT rc{};
    GetClientRect(frame, &rc);
    RECT mine{};
    GetClientRect(Handle(), &mine);
    SetWindowPos(Handle(), nullptr, 0, 0, mine.right, Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RecalcLayout();
    SendMessageW(frame, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rc.right, rc.bottom));
}

RibbonCategory* RibbonBar::HitTestCategory(POINT point) const {
    for (auto& c : m_categories)
        if (PtInRect(&c->m_tabRect, point)) return c.get();
    return nullptr;
}

RibbonElement* RibbonBar::FindById(int id) const {
    for (auto& c : m_categories)
        for (auto& p : c->m_panels)
            for (auto& e : p->m_elements)
                if (e->Id() == id) return e.get();
    for (auto& e : m_mainItems)
        if (e->Id() == id) return e.get();
    for (auto& e : m_mainBottom)
        if (e->Id() == id) return e.get();
    for (auto& e : m_tabRowElements)
        if (e->Id() == id) return e.get();
    return nullptr;
}

void RibbonBar::RecalcLayout() {
    if (!Handle()) return;
    m_state->Layout();
    InvalidateRect(Handle(), nullptr, FALSE);
}

void RibbonBar::OnLButtonDown(POINT point) {
    m_state->HideKeyTips();
    m_state->Layout();
    m_state->Press(m_state->HitTestBar(point));
}

LRESULT RibbonBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    State& st = *m_state;
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PaintScope paint(Handle());
        const HDC dc = paint.dc();
        RECT rc;
        GetClientRect(Handle(), &rc);
        st.Layout();
        st.QueryStates();
        MemoryDC mem(CreateCompatibleDC(dc));
        Bitmap bmp(CreateCompatibleBitmap(dc, std::max<LONG>(rc.right, 1), std::max<LONG>(rc.bottom, 1)));
        {
            Selection sb(mem.get(), bmp.get());
            Selection sf(mem.get(), st.font.get());
            SetBkMode(mem.get(), TRANSPARENT);
            st.PaintBar(mem.get(), rc);
            BitBlt(dc, 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
        }
        return 0;
    }
    case WM_SIZE:
        st.Layout();
        InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
    case WM_TIMER:
        if (wParam == kUpdateTimer) {
            if (st.QueryStates()) {
                InvalidateRect(Handle(), nullptr, FALSE);
                if (st.popup && st.popup->Handle()) InvalidateRect(st.popup->Handle(), nullptr, FALSE);
            }
            if (st.keyTipLevel && GetActiveWindow() != GetAncestor(Handle(), GA_ROOT)) st.HideKeyTips();
        } else if (wParam == kTipTimer) {
            st.ShowTip();
        }
        return 0;
    case WM_MOUSEMOVE: {
        if (!st.tracking) {
            TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, Handle(), 0};
            st.tracking = TrackMouseEvent(&tme) != FALSE;
        }
        st.SetHot(st.HitTestBar(pt));
        return 0;
    }
    case WM_MOUSELEAVE:
        st.tracking = false;
        if (st.hot.surface == Handle()) st.SetHot(State::Hit{});
        st.HideTip();
        return 0;
    case WM_LBUTTONDOWN: OnLButtonDown(pt); return 0;
    case WM_LBUTTONDBLCLK:
        if (HitTestCategory(pt)) {
            SetMinimized(!m_bMinimized);
            return 0;
        }
        OnLButtonDown(pt);
        return 0;
    case WM_LBUTTONUP: st.Release(st.HitTestBar(pt)); return 0;
    case WM_CAPTURECHANGED:
        if (st.pressed.surface == Handle() && reinterpret_cast<HWND>(lParam) != Handle()) {
            st.pressed = State::Hit{};
            InvalidateRect(Handle(), nullptr, FALSE);
        }
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (st.OnKey(static_cast<UINT>(wParam), true, (lParam & 0x40000000) != 0)) return 0;
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (st.OnKey(static_cast<UINT>(wParam), false, false)) return 0;
        break;
    case WM_DESTROY:
        KillTimer(Handle(), kUpdateTimer);
        KillTimer(Handle(), kTipTimer);
        st.Unregister();
        st.tip.reset();
        break;
    }
    return Default(message, wParam, lParam);
}

} // namespace fw

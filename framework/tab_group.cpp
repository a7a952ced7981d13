// TabGroup: the row of tabs of one group, drawn with GDI, and its mouse
// handling (activation, close button, tab list, drag to another group).
#include "handles.h"
#include "visual_scheme.h"
#include "mdi.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace fw {

namespace {

constexpr int kSlant = 8;           // width of a tab's slanted left side
constexpr int kRowMargin = 4;       // row space left of the first tab
constexpr int kIconSize = 16;
constexpr int kCloseSize = 14;      // box of the close glyph
constexpr int kDropDownWidth = 20;
constexpr int kMinTabWidth = 40;
constexpr int kBandHeight = 3;      // the band under the row, in the active tab's colour
constexpr int kTopMargin = 3;

// Light fills, one per tab in turn.
constexpr COLORREF kTabColors[] = {
    RGB(176, 204, 240), RGB(255, 214, 160), RGB(188, 226, 166), RGB(232, 192, 232),
    RGB(250, 234, 150), RGB(166, 222, 222), RGB(246, 190, 186), RGB(208, 200, 244),
};


int RowHeight() {
    static const int height = [] {
        WindowDC dc(nullptr);
        Selection font(dc.get(), MessageFont());
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc.get(), &metrics);
        return std::max(25, static_cast<int>(metrics.tmHeight) + 12);
    }();
    return height;
}

// Whether a window belongs to this process (framework objects of other
// processes must not be looked up: their pointers mean nothing here).
bool IsOwnWindow(HWND hwnd) {
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    return process == GetCurrentProcessId();
}

} // namespace

MDIChildFrame* TabGroup::Tab(int index) const {
    return index >= 0 && index < Count() ? m_tabs[static_cast<size_t>(index)] : nullptr;
}

int TabGroup::IndexOf(const MDIChildFrame* frame) const {
    auto it = std::find(m_tabs.begin(), m_tabs.end(), frame);
    return it == m_tabs.end() ? -1 : static_cast<int>(it - m_tabs.begin());
}

MDIChildFrame* TabGroup::ActiveTab() const { return Tab(m_active); }

void TabGroup::SetMaxTabWidth(int pixels) {
    m_maxTabWidth = std::max(0, pixels);
    RecalcLayout();
}

RECT TabGroup::TabRect(int index) const {
    if (index < 0 || index >= Count() || index >= static_cast<int>(m_tabRects.size())) return RECT{};
    return m_tabRects[static_cast<size_t>(index)];
}

RECT TabGroup::ContentRect() const {
    RECT area{};
    GetClientRect(Handle(), &area);
    area.top = std::min(static_cast<LONG>(RowHeight()), area.bottom);
    return area;
}

RECT TabGroup::DropDownRect() const {
    RECT area{};
    GetClientRect(Handle(), &area);
    return RECT{area.right - kDropDownWidth - 2, kTopMargin, area.right - 2, RowHeight() - kBandHeight};
}

RECT TabGroup::CloseGlyphRect(int index) const {
    RECT tab = TabRect(index);
    if (IsRectEmpty(&tab)) return RECT{};
    int middle = (tab.top + tab.bottom) / 2;
    const int top = middle - kCloseSize / 2;
    return RECT{tab.right - 5 - kCloseSize, top, tab.right - 5, top + kCloseSize};
}

void TabGroup::RecalcLayout() {
    if (!Handle()) return;
    m_tabRects.assign(m_tabs.size(), RECT{});
    RECT area{};
    GetClientRect(Handle(), &area);
    const int rowHeight = RowHeight();
    // Natural widths: slant, icon, caption, close glyph and padding.
    std::vector<int> widths;
    {
        WindowDC dc(Handle());
        Selection font(dc.get(), MessageFont());
        for (MDIChildFrame* frame : m_tabs) {
            std::wstring caption = frame->Text();
            SIZE size{};
            GetTextExtentPoint32W(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &size);
            int width = kSlant + 4 + kIconSize + 5 + size.cx + 6 + kCloseSize + 5;
            if (m_maxTabWidth > 0) width = std::min(width, m_maxTabWidth);
            widths.push_back(std::max(width, kMinTabWidth));
        }
    }
    // A row too narrow shrinks the tabs to one common width limit (the
    // widest first, every tab alike once they all reach it), never below
    // kMinTabWidth; the tab list menu reaches tabs past the row's end.
    const int room = std::max(0, static_cast<int>(area.right) - kRowMargin - kDropDownWidth - 6);
    auto total = [&widths](int limit) {
        long long sum = 0;
        for (int width : widths) sum += std::min(width, limit);
        return sum;
    };
    if (!widths.empty() && total(INT_MAX) > room) {
        int low = kMinTabWidth, high = *std::max_element(widths.begin(), widths.end());
        while (low < high) {  // the largest limit that fits
            int middle = (low + high + 1) / 2;
            if (total(middle) <= room)
                low = middle;
            else
                high = middle - 1;
        }
        for (int& width : widths) width = std::min(width, low);
    }
    int x = kRowMargin;
    for (size_t i = 0; i < widths.size(); ++i) {
        m_tabRects[i] = RECT{x, kTopMargin, x + widths[i], rowHeight - kBandHeight};
        x += widths[i];
    }
    PlaceFrames();
    RECT row{0, 0, area.right, rowHeight};
    InvalidateRect(Handle(), &row, FALSE);
}

void TabGroup::PlaceFrames() {
    RECT content = ContentRect();
    MDIChildFrame* active = ActiveTab();
    // The new frame is shown before the old one hides: nothing behind flashes.
    if (active && active->Handle())
        SetWindowPos(active->Handle(), HWND_TOP, content.left, content.top, content.right - content.left,
                     content.bottom - content.top, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    for (MDIChildFrame* frame : m_tabs)
        if (frame != active && frame->Handle() && IsWindowVisible(frame->Handle()))
            ShowWindow(frame->Handle(), SW_HIDE);
    if (!active) InvalidateRect(Handle(), &content, TRUE);
}

int TabGroup::HitTab(POINT pt) const {
    RECT dropDown = DropDownRect();
    for (int i = 0; i < Count() && i < static_cast<int>(m_tabRects.size()); ++i) {
        const RECT& tab = m_tabRects[static_cast<size_t>(i)];
        if (tab.left >= dropDown.left) break;  // past the end of the row
        if (pt.x >= tab.left && pt.x < std::min(tab.right, dropDown.left) && pt.y >= 0 && pt.y < RowHeight())
            return i;
    }
    return -1;
}

void TabGroup::Paint(HDC target, int width) {
    const int height = RowHeight();
    if (width <= 0) return;
    // Drawn into a bitmap first and copied at once: no flicker.
    MemoryDC dc(CreateCompatibleDC(target));
    Bitmap bitmap(CreateCompatibleBitmap(target, width, height));
    if (!dc || !bitmap) return;
    Selection selectBitmap(dc.get(), bitmap.get());
    Selection selectFont(dc.get(), MessageFont());
    SetBkMode(dc.get(), TRANSPARENT);

    const bool activeGroup = m_pOwner && m_pOwner->m_pActiveGroup == this;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    RECT all{0, 0, width, height};
    {
        Brush background(CreateSolidBrush(face));
        FillRect(dc.get(), &all, background.get());
    }
    auto fillOf = [&](int index) {
        COLORREF base = kTabColors[m_tabs[static_cast<size_t>(index)]->m_nColor % std::size(kTabColors)];
        if (index != m_active) return MixColors(base, face, 0.45);  // inactive tabs: muted
        return activeGroup ? MixColors(base, RGB(255, 255, 255), 0.2) : MixColors(base, RGB(255, 255, 255), 0.6);
    };
    // The band joins the active tab to the area below the row.
    if (m_active >= 0) {
        Brush band(CreateSolidBrush(fillOf(m_active)));
        RECT bandRect{0, height - kBandHeight, width, height};
        FillRect(dc.get(), &bandRect, band.get());
    }
    const RECT dropDown = DropDownRect();
    Region clip(CreateRectRgn(0, 0, dropDown.left - 2, height));
    SelectClipRgn(dc.get(), clip.get());
    auto drawTab = [&](int index) {
        const RECT& r = m_tabRects[static_cast<size_t>(index)];
        if (r.left >= dropDown.left) return;
        const bool active = index == m_active;
        const COLORREF fill = fillOf(index);
        const int bottom = active ? height : r.bottom;  // the active tab runs into the band
        POINT shape[] = {
            {r.left, bottom},          {r.left + kSlant - 2, r.top + 3}, {r.left + kSlant + 2, r.top},
            {r.right - 4, r.top},      {r.right - 1, r.top + 3},         {r.right - 1, bottom},
        };
        Brush brush(CreateSolidBrush(fill));
        Pen pen(CreatePen(PS_SOLID, 1, active ? MixColors(fill, RGB(0, 0, 0), 0.35) : shadow));
        {
            Selection selectBrush(dc.get(), brush.get());
            Selection selectPen(dc.get(), pen.get());
            Polygon(dc.get(), shape, static_cast<int>(std::size(shape)));
        }
        // A highlight along the top gives the tab its relief.
        Pen light(CreatePen(PS_SOLID, 1, MixColors(fill, RGB(255, 255, 255), 0.6)));
        {
            Selection selectPen(dc.get(), light.get());
            MoveToEx(dc.get(), r.left + kSlant + 2, r.top + 1, nullptr);
            LineTo(dc.get(), r.right - 4, r.top + 1);
        }
        MDIChildFrame* frame = m_tabs[static_cast<size_t>(index)];
        const int middle = (r.top + r.bottom) / 2;
        int x = r.left + kSlant + 3;
        if (HICON icon = frame->Icon())
            DrawIconEx(dc.get(), x, middle - kIconSize / 2, icon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
        x += kIconSize + 5;
        RECT closeBox = CloseGlyphRect(index);
        RECT text{x, r.top, active ? closeBox.left - 2 : r.right - 6, r.bottom};
        std::wstring caption = frame->Text();
        SetTextColor(dc.get(), GetSysColor(activeGroup || !active ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        if (text.right > text.left)
            DrawTextW(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &text,
                      DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | DT_LEFT);
        if (active && closeBox.right - closeBox.left >= kCloseSize && closeBox.left > x) {
            Pen cross(CreatePen(PS_SOLID, 2, MixColors(fill, RGB(0, 0, 0), 0.6)));
            Selection selectPen(dc.get(), cross.get());
            const int inset = 4;
            MoveToEx(dc.get(), closeBox.left + inset, closeBox.top + inset, nullptr);
            LineTo(dc.get(), closeBox.right - inset, closeBox.bottom - inset);
            MoveToEx(dc.get(), closeBox.right - inset, closeBox.top + inset, nullptr);
            LineTo(dc.get(), closeBox.left + inset, closeBox.bottom - inset);
        }
    };
    for (int i = 0; i < Count() && i < static_cast<int>(m_tabRects.size()); ++i)
        if (i != m_active) drawTab(i);
    if (m_active >= 0 && m_active < static_cast<int>(m_tabRects.size())) drawTab(m_active);
    SelectClipRgn(dc.get(), nullptr);

    // The drop-down button: a small arrow under a bar.
    {
        const COLORREF ink = GetSysColor(COLOR_BTNTEXT);
        Brush brush(CreateSolidBrush(ink));
        Pen pen(CreatePen(PS_SOLID, 1, ink));
        Selection selectBrush(dc.get(), brush.get());
        Selection selectPen(dc.get(), pen.get());
        const int cx = (dropDown.left + dropDown.right) / 2;
        const int cy = (dropDown.top + dropDown.bottom) / 2;
        POINT arrow[] = {{cx - 4, cy - 1}, {cx + 4, cy - 1}, {cx, cy + 3}};
        Polygon(dc.get(), arrow, 3);
        MoveToEx(dc.get(), cx - 4, cy - 4, nullptr);
        LineTo(dc.get(), cx + 5, cy - 4);
    }
    BitBlt(target, 0, 0, width, height, dc.get(), 0, 0, SRCCOPY);
}

void TabGroup::ShowTabListMenu() {
    Menu menu(CreatePopupMenu());
    if (!menu) return;
    std::vector<HWND> frames;
    for (int i = 0; i < Count(); ++i) {
        frames.push_back(m_tabs[static_cast<size_t>(i)]->Handle());
        std::wstring caption = m_tabs[static_cast<size_t>(i)]->Text();
        // A tab without a caption yet is listed by its kind of document.
        Document* document = m_tabs[static_cast<size_t>(i)]->ActiveDocument();
        if (caption.empty() && document && document->Template()) caption = document->Template()->DocString(1);
        AppendMenuW(menu.get(), MF_STRING | (i == m_active ? MF_CHECKED : 0), static_cast<UINT_PTR>(i + 1),
                    caption.c_str());
    }
    const TabGroupTexts& texts = m_pOwner->m_texts;
    const UINT windowsItem = static_cast<UINT>(frames.size()) + 1;
    if (texts.windowsCommand) {
        AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu.get(), MF_STRING, windowsItem, texts.windowsDialog.c_str());
    }
    RECT button = DropDownRect();
    POINT corner{button.right, button.bottom};
    ClientToScreen(Handle(), &corner);
    const UINT flags = TPM_RETURNCMD | TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_NONOTIFY;
    UINT chosen = static_cast<UINT>(TrackPopupMenu(menu.get(), flags, corner.x, corner.y, 0, Handle(), nullptr));
    if (texts.windowsCommand && chosen == windowsItem) {
        PostMessageW(m_pOwner->Handle(), WM_COMMAND, texts.windowsCommand, 0);
        return;
    }
    if (chosen == 0 || chosen > frames.size()) return;
    // The tabs may have changed while the menu was open.
    if (auto frame = dynamic_cast<MDIChildFrame*>(FromHandle(frames[chosen - 1])); frame && IndexOf(frame) >= 0)
        m_pOwner->ActivateFrame(frame);
}

void TabGroup::ShowGroupMenu(POINT screen) {
    MDIChildFrame* frame = ActiveTab();
    if (!frame) return;
    const TabGroupTexts& texts = m_pOwner->m_texts;
    Menu menu(CreatePopupMenu());
    if (!menu) return;
    auto add = [&](UINT id, const std::wstring& text, bool enabled) {
        AppendMenuW(menu.get(), MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), id, text.c_str());
    };
    add(FW_ID_NEW_HORZ_TAB_GROUP, texts.newHorizontalGroup, m_pOwner->CanNewTabGroup(false));
    add(FW_ID_NEW_VERT_TAB_GROUP, texts.newVerticalGroup, m_pOwner->CanNewTabGroup(true));
    add(FW_ID_MOVE_TO_NEXT_GROUP, texts.moveToNextGroup, m_pOwner->CanMoveToGroup(false));
    add(FW_ID_MOVE_TO_PREV_GROUP, texts.moveToPreviousGroup, m_pOwner->CanMoveToGroup(true));
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    add(SC_CLOSE, texts.closeTab, true);
    HWND frameWindow = frame->Handle();
    UINT chosen = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                   screen.x, screen.y, 0, Handle(), nullptr));
    if (chosen && IsWindow(frameWindow)) SendMessageW(frameWindow, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
}

void TabGroup::EndDrag(MDIChildFrame* frame, POINT pt) {
    POINT screen = pt;
    ClientToScreen(Handle(), &screen);
    // The group under the cursor: the window there or one of its ancestors
    // (the frames and views of a group, and whatever lives in a view).
    TabGroup* target = nullptr;
    for (HWND h = WindowFromPoint(screen); h && !target; h = GetParent(h)) {
        if (!IsOwnWindow(h)) continue;
        auto group = dynamic_cast<TabGroup*>(FromHandle(h));
        if (group && group->m_pOwner == m_pOwner && m_pOwner->GroupIndex(group) >= 0) target = group;
    }
    if (target && target != this) {
        POINT local = screen;
        ScreenToClient(target->Handle(), &local);
        int index = target->HitTab(local);
        (void)m_pOwner->MoveTab(frame, target, index < 0 ? target->Count() : index);
        return;  // this group may be on its way out now
    }
    if (target == this && pt.y >= 0 && pt.y < RowHeight()) {
        int index = HitTab(pt);
        if (index < 0) index = pt.x < kRowMargin ? 0 : Count() - 1;
        (void)m_pOwner->MoveTab(frame, this, index);
        return;
    }
    ShowGroupMenu(screen);
}

LRESULT TabGroup::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
    case WM_SIZE:
        RecalcLayout();
        return 0;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT covers everything
    case WM_PAINT: {
        PaintScope paint(Handle());
        const HDC dc = paint.dc();
        RECT area{};
        GetClientRect(Handle(), &area);
        Paint(dc, area.right);
        MDIChildFrame* active = ActiveTab();
        if (!active || !IsWindowVisible(active->Handle())) {
            RECT content = ContentRect();
            FillRect(dc, &content, GetSysColorBrush(COLOR_APPWORKSPACE));
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        RECT dropDown = DropDownRect();
        if (PtInRect(&dropDown, pt)) {
            ShowTabListMenu();
            return 0;
        }
        int index = HitTab(pt);
        if (index < 0) {
            // A click on the row outside the tabs makes the group active.
            if (MDIChildFrame* active = ActiveTab()) m_pOwner->ActivateFrame(active);
            return 0;
        }
        MDIChildFrame* frame = m_tabs[static_cast<size_t>(index)];
        RECT closeBox = CloseGlyphRect(index);
        if (index == m_active && PtInRect(&closeBox, pt)) {
            SendMessageW(frame->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        }
        m_pOwner->ActivateFrame(frame);
        m_pressed = IndexOf(frame);
        m_pressPoint = pt;
        m_dragging = false;
        SetCapture(Handle());
        return 0;
    }
    case WM_MOUSEMOVE:
        if (m_pressed >= 0 && !m_dragging && GetCapture() == Handle() &&
            (std::abs(pt.x - m_pressPoint.x) > GetSystemMetrics(SM_CXDRAG) ||
             std::abs(pt.y - m_pressPoint.y) > GetSystemMetrics(SM_CYDRAG))) {
            m_dragging = true;
            SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
        }
        return 0;
    case WM_LBUTTONUP: {
        MDIChildFrame* frame = m_dragging ? Tab(m_pressed) : nullptr;
        m_pressed = -1;
        m_dragging = false;
        if (GetCapture() == Handle()) ReleaseCapture();
        if (frame) EndDrag(frame, pt);
        return 0;
    }
    case WM_CAPTURECHANGED:
        m_pressed = -1;
        m_dragging = false;
        return 0;
    case WM_RBUTTONDOWN:
        if (int index = HitTab(pt); index >= 0) m_pOwner->ActivateFrame(m_tabs[static_cast<size_t>(index)]);
        return 0;
    case WM_RBUTTONUP:
        if (int index = HitTab(pt); index >= 0) {
            m_pOwner->ActivateFrame(m_tabs[static_cast<size_t>(index)]);
            POINT screen = pt;
            ClientToScreen(Handle(), &screen);
            ShowGroupMenu(screen);
        }
        return 0;
    case WM_MBUTTONUP:
        if (int index = HitTab(pt); index >= 0)
            SendMessageW(m_tabs[static_cast<size_t>(index)]->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case kDestroyIfUnused:
        if (Count() == 0 && m_pOwner->GroupIndex(this) < 0) DestroyWindow(Handle());  // deletes this object
        return 0;
    case WM_NCDESTROY:
        m_pOwner->OnGroupDestroyed(this);
        break;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

} // namespace fw

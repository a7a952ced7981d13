// RibbonStatusBar: layout, GDI painting in the current visual scheme, mouse
// handling, tooltips and the configuration menu. The caption bar is in
// caption_bar.cpp; both draw with bar_draw.h.
#include "status_bar.h"

#include "bar_draw.h"
#include "tooltip.h"
#include "profile.h"

#include <windowsx.h>

#include <algorithm>

namespace fw {

using namespace bar_draw;

namespace {

constexpr int kBarMinHeight = 24;
constexpr int kMargin = 4;             // space at both ends of the bar
constexpr int kPanePadding = 7;        // left and right of a pane's text
constexpr int kPaneIcon = 16;          // a pane's icon, square
constexpr int kPaneIconGap = 4;        // between a pane's icon and its text
constexpr int kSeparatorWidth = 9;     // a separator line sits in its middle
constexpr int kZoomButton = 15;        // diameter of the - and + buttons
constexpr int kZoomGap = 4;            // between a zoom button and the track
constexpr int kThumbWidth = 9;
constexpr int kThumbHeight = 15;
constexpr int kDefaultProgressHeight = 12;
constexpr int kMenuTextLimit = 50;     // longer texts are cut in the configuration menu...
constexpr int kMenuTextCut = 49;       // ...to this many characters

// An etched vertical line: a dark line with a light one at its right.
void EtchedLine(HDC dc, int x, int top, int bottom, const SchemeColors& colors) {
    Line(dc, x, top, x, bottom, MixColors(colors.statusBottom, colors.text, 0.28));
    Line(dc, x + 1, top, x + 1, bottom, MixColors(colors.statusTop, kWhite, 0.6));
}

// The parts of a slider element within its rectangle.
struct SliderParts {
    RECT minus{}, plus{}, track{}, thumb{};
};

SliderParts SliderGeometry(const RECT& rect, bool zoomButtons, int minimum, int maximum, int pos) {
    SliderParts parts;
    const int middle = (rect.top + rect.bottom) / 2;
    int left = rect.left, right = rect.right;
    if (zoomButtons) {
        const int top = middle - kZoomButton / 2;
        parts.minus = RECT{rect.left, top, rect.left + kZoomButton, top + kZoomButton};
        parts.plus = RECT{rect.right - kZoomButton, top, rect.right, top + kZoomButton};
        left = parts.minus.right + kZoomGap;
        right = parts.plus.left - kZoomGap;
    }
    right = std::max(left, right);
    const int thumbTop = middle - kThumbHeight / 2;
    parts.track = RECT{left, thumbTop, right, thumbTop + kThumbHeight};
    const int travel = std::max(0, right - left - kThumbWidth);
    const int range = maximum - minimum;
    const int offset = range > 0 ? static_cast<int>(static_cast<long long>(pos - minimum) * travel / range) : 0;
    parts.thumb = RECT{left + offset, thumbTop, left + offset + kThumbWidth, thumbTop + kThumbHeight};
    return parts;
}

// The slider position whose thumb centre is nearest to `x`.
int SliderPosFromX(const SliderParts& parts, int minimum, int maximum, int x) {
    const int travel = parts.track.right - parts.track.left - kThumbWidth;
    if (travel <= 0 || maximum <= minimum) return minimum;
    const int offset = std::clamp(x - static_cast<int>(parts.track.left) - kThumbWidth / 2, 0, travel);
    const long long range = maximum - minimum;
    return minimum + static_cast<int>((offset * range + travel / 2) / travel);
}

} // namespace

// ---------------------------------------------------------------------------
// StatusElement

void StatusElement::SetText(const std::wstring& text) {
    if (text == m_strText) return;
    const bool wasCollapsed = IsCollapsed();
    m_strText = text;
    if (!m_pBar) return;
    // A pane without a fit text is as wide as its text; a collapsed one
    // takes its place back with its first text.
    if (m_kind == Kind::Pane && (m_strFitText.empty() || wasCollapsed != IsCollapsed()))
        m_pBar->RecalcLayout();
    else
        m_pBar->UpdateWindowText();
    if (m_pBar->Handle()) InvalidateRect(m_pBar->Handle(), nullptr, FALSE);
}

void StatusElement::SetIcon(HICON icon) {
    if (icon == m_hIcon) return;
    m_hIcon = icon;
    if (!m_pBar) return;
    m_pBar->RecalcLayout();
    if (m_pBar->Handle()) InvalidateRect(m_pBar->Handle(), nullptr, FALSE);
}

void StatusElement::SetCollapsedWhenEmpty(bool collapsed) {
    if (collapsed == m_bCollapseEmpty) return;
    m_bCollapseEmpty = collapsed;
    if (!m_pBar) return;
    m_pBar->RecalcLayout();
    if (m_pBar->Handle()) InvalidateRect(m_pBar->Handle(), nullptr, FALSE);
}

void StatusElement::SetVisible(bool visible) {
    if (visible == m_bVisible) return;
    m_bVisible = visible;
    if (!m_pBar) return;
    m_pBar->RecalcLayout();
    if (m_pBar->Handle()) InvalidateRect(m_pBar->Handle(), nullptr, FALSE);
}

void StatusElement::SetRange(int minimum, int maximum) {
    if (maximum < minimum) std::swap(minimum, maximum);
    m_nMin = minimum;
    m_nMax = maximum;
    m_nPos = std::clamp(m_nPos, m_nMin, m_nMax);
    if (m_pBar && m_pBar->Handle()) InvalidateRect(m_pBar->Handle(), &m_rect, FALSE);
}

void StatusElement::SetPos(int pos, bool redraw) {
    pos = std::clamp(pos, m_nMin, m_nMax);
    if (pos == m_nPos) return;
    m_nPos = pos;
    if (redraw && m_pBar && m_pBar->Handle()) InvalidateRect(m_pBar->Handle(), &m_rect, FALSE);
}

// ---------------------------------------------------------------------------
// RibbonStatusBar

enum class RibbonStatusBar::Part : int { None, Body, Minus, Plus, Track, Thumb };

struct RibbonStatusBar::Hit {
    int entry = -1;  // index into m_entries
    Part part = Part::None;
    bool operator==(const Hit& other) const { return entry == other.entry && part == other.part; }
};

struct RibbonStatusBar::State {
    ToolTip toolTip;  // one tool per shown element, id = entry index + 1
    std::vector<int> separators;  // x of each separator line
    Hit hot, pressed;
    bool tracking = false;  // WM_MOUSELEAVE requested
    bool dragging = false;  // the pressed slider's thumb follows the mouse
    int dragOffset = 0;     // mouse x minus thumb centre when the drag began
};

RibbonStatusBar::RibbonStatusBar() : m_state(std::make_unique<State>()) {}

RibbonStatusBar::~RibbonStatusBar() = default;

bool RibbonStatusBar::Create(HWND frame, UINT id) {
    RECT client{};
    GetClientRect(frame, &client);
    const int height = Height();
    return Window::Create(0, L"fw.StatusBar", L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0,
                          std::max(0, static_cast<int>(client.bottom) - height), client.right, height, frame,
                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

int RibbonStatusBar::Height() const { return std::max(kBarMinHeight, FontHeight() + 10); }

StatusElement* RibbonStatusBar::AddPane(Area area, int id, const std::wstring& text, const std::wstring& label,
                                        const std::wstring& fitText, bool isStatic) {
    std::unique_ptr<StatusElement> element(new StatusElement(StatusElement::Kind::Pane, id, label));
    element->m_strText = text;
    element->m_strFitText = fitText;
    element->m_bStatic = isStatic;
    element->m_pBar = this;
    StatusElement* result = element.get();
    m_entries.push_back(Entry{area, std::move(element)});
    RecalcLayout();
    return result;
}

StatusElement* RibbonStatusBar::AddProgress(Area area, int id, int width, int height, const std::wstring& label) {
    std::unique_ptr<StatusElement> element(new StatusElement(StatusElement::Kind::Progress, id, label));
    element->m_nWidth = std::max(0, width);
    element->m_nHeight = std::max(0, height);
    element->m_nMin = 0;
    element->m_nMax = 100;
    element->m_pBar = this;
    StatusElement* result = element.get();
    m_entries.push_back(Entry{area, std::move(element)});
    RecalcLayout();
    return result;
}

StatusElement* RibbonStatusBar::AddSlider(Area area, int id, int width, int minimum, int maximum, int page, int pos,
                                          bool zoomButtons, const std::wstring& label) {
    std::unique_ptr<StatusElement> element(new StatusElement(StatusElement::Kind::Slider, id, label));
    element->m_nWidth = std::max(0, width);
    element->m_nMin = std::min(minimum, maximum);
    element->m_nMax = std::max(minimum, maximum);
    element->m_nPage = std::max(1, page);
    element->m_nPos = std::clamp(pos, element->m_nMin, element->m_nMax);
    element->m_bZoomButtons = zoomButtons;
    element->m_pBar = this;
    StatusElement* result = element.get();
    m_entries.push_back(Entry{area, std::move(element)});
    RecalcLayout();
    return result;
}

void RibbonStatusBar::AddSeparator(Area area) {
    m_entries.push_back(Entry{area, nullptr});
    RecalcLayout();
}

StatusElement* RibbonStatusBar::FindById(int id) const {
    for (const Entry& entry : m_entries)
        if (entry.element && entry.element->Id() == id) return entry.element.get();
    return nullptr;
}

void RibbonStatusBar::SetInformation(const std::wstring& text) {
    if (text == m_strInformation) return;
    m_strInformation = text;
    RecalcLayout();
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

void RibbonStatusBar::SaveState(Profile& profile, const std::wstring& section) const {
    const std::wstring key = std::wstring(Profile::kWorkspaceSection) + L"\\" + section;
    for (const Entry& entry : m_entries)
        if (entry.element)
            // A value that cannot be written keeps its element's default.
            (void)profile.WriteInt(key, std::to_wstring(entry.element->Id()), entry.element->IsVisible() ? 1 : 0);
}

void RibbonStatusBar::LoadState(const Profile& profile, const std::wstring& section) {
    const std::wstring key = std::wstring(Profile::kWorkspaceSection) + L"\\" + section;
    for (const Entry& entry : m_entries) {
        if (!entry.element) continue;
        const int value =
            profile.GetInt(key, std::to_wstring(entry.element->Id()), entry.element->IsVisible() ? 1 : 0);
        entry.element->m_bVisible = value != 0;
    }
    RecalcLayout();
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

void RibbonStatusBar::RecalcLayout() {
    for (const Entry& entry : m_entries)
        if (entry.element) entry.element->m_rect = RECT{};
    m_state->separators.clear();
    if (!Handle()) return;
    if (!m_strInformation.empty()) {
        UpdateToolTips();
        UpdateWindowText();
        return;
    }
    RECT client{};
    GetClientRect(Handle(), &client);

    // The visible items of each area, left to right; -1 is a separator line.
    // Separator entries count only between two visible elements of the same
    // area; the extended area has a line between each two of its elements
    // and one before its first while the main area shows something.
    struct Item {
        int entry;
        int width;
    };
    WindowDC dc(Handle());
    Selection font(dc.get(), MessageFont());
    auto widthOf = [&dc](const StatusElement& e) {
        switch (e.m_kind) {
        case StatusElement::Kind::Pane:
            return TextWidth(dc.get(), e.m_strFitText.empty() ? e.m_strText : e.m_strFitText) + 2 * kPanePadding +
                   (e.m_hIcon ? kPaneIcon + kPaneIconGap : 0);
        case StatusElement::Kind::Progress:
            return e.m_nWidth + 2 * kZoomGap;
        case StatusElement::Kind::Slider:
            return e.m_nWidth + (e.m_bZoomButtons ? 2 * (kZoomButton + kZoomGap) : 0) + 2 * kZoomGap;
        }
        return 0;
    };
    auto collect = [&](Area area) {
        std::vector<Item> items;
        bool separatorPending = false;
        for (size_t i = 0; i < m_entries.size(); ++i) {
            const Entry& entry = m_entries[i];
            if (entry.area != area) continue;
            if (!entry.element) {
                separatorPending = !items.empty();
                continue;
            }
            if (!entry.element->m_bVisible || entry.element->IsCollapsed()) continue;
            if (separatorPending || (area == Area::Extended && !items.empty())) items.push_back(Item{-1, 0});
            separatorPending = false;
            items.push_back(Item{static_cast<int>(i), widthOf(*entry.element)});
        }
        return items;
    };
    std::vector<Item> mainItems = collect(Area::Main);
    std::vector<Item> extendedItems = collect(Area::Extended);
    if (!mainItems.empty() && !extendedItems.empty()) extendedItems.insert(extendedItems.begin(), Item{-1, 0});
    for (auto* items : {&mainItems, &extendedItems})
        for (Item& item : *items)
            if (item.entry < 0) item.width = kSeparatorWidth;

    const int top = 1, bottom = client.bottom;  // row 0 is the bar's top line
    auto place = [&](const Item& item, int left) {
        const int right = left + item.width;
        if (item.entry < 0) {
            m_state->separators.push_back(left + kSeparatorWidth / 2);
            return;
        }
        StatusElement& e = *m_entries[static_cast<size_t>(item.entry)].element;
        if (e.m_kind == StatusElement::Kind::Progress) {
            const int height = std::min(e.m_nHeight > 0 ? e.m_nHeight : kDefaultProgressHeight, bottom - top - 4);
            const int y = (top + bottom - height) / 2;
            e.m_rect = RECT{left + kZoomGap, y, right - kZoomGap, y + height};
        } else if (e.m_kind == StatusElement::Kind::Slider) {
            e.m_rect = RECT{left + kZoomGap, top, right - kZoomGap, bottom};
        } else {
            e.m_rect = RECT{left, top, right, bottom};
        }
    };

    // The extended area from the right edge leftwards, in the order added.
    int right = client.right - kMargin;
    for (auto it = extendedItems.rbegin(); it != extendedItems.rend(); ++it) {
        right -= it->width;
        place(*it, right);
    }
    const int extendedLeft = right;
    // The main area: its first element takes whatever the others leave.
    int fixed = 0;
    for (size_t i = 1; i < mainItems.size(); ++i) fixed += mainItems[i].width;
    if (!mainItems.empty() && mainItems.front().entry >= 0)
        mainItems.front().width = std::max(0, extendedLeft - kMargin - fixed);
    int left = kMargin;
    for (const Item& item : mainItems) {
        place(item, left);
        left += item.width;
    }
    // Main elements past the extended area's start are cut off there.
    for (const Entry& entry : m_entries) {
        if (!entry.element || entry.area != Area::Main) continue;
        RECT& r = entry.element->m_rect;
        if (r.right > extendedLeft) r.right = std::max(static_cast<int>(r.left), extendedLeft);
        if (r.left >= r.right) r = RECT{};
    }
    UpdateToolTips();
    UpdateWindowText();
}

void RibbonStatusBar::UpdateWindowText() {
    if (!Handle()) return;
    std::wstring text = m_strInformation;
    if (text.empty()) {
        bool first = true;
        for (const Entry& entry : m_entries) {
            const StatusElement* e = entry.element.get();
            if (!e || e->m_kind != StatusElement::Kind::Pane || IsRectEmpty(&e->m_rect)) continue;
            if (!first) text += L'\t';
            text += e->m_strText;
            first = false;
        }
    }
    // Set only when it changes: the status text changes often.
    if (Text() != text) SetWindowTextW(Handle(), text.c_str());
}

void RibbonStatusBar::UpdateToolTips() {
    std::vector<std::pair<UINT_PTR, RECT>> tools;
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (const StatusElement* e = m_entries[i].element.get()) tools.emplace_back(i + 1, e->m_rect);
    m_state->toolTip.SetTools(tools);
}

RibbonStatusBar::Hit RibbonStatusBar::HitTest(POINT point) const {
    Hit hit;
    if (!m_strInformation.empty()) return hit;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const StatusElement* e = m_entries[i].element.get();
        if (!e || !PtInRect(&e->m_rect, point)) continue;
        hit.entry = static_cast<int>(i);
        hit.part = Part::Body;
        if (e->m_kind == StatusElement::Kind::Slider) {
            SliderParts parts = SliderGeometry(e->m_rect, e->m_bZoomButtons, e->m_nMin, e->m_nMax, e->m_nPos);
            if (PtInRect(&parts.minus, point))
                hit.part = Part::Minus;
            else if (PtInRect(&parts.plus, point))
                hit.part = Part::Plus;
            else if (PtInRect(&parts.thumb, point))
                hit.part = Part::Thumb;
            else if (point.x >= parts.track.left && point.x < parts.track.right)
                hit.part = Part::Track;
            else
                hit.part = Part::None;
        }
        return hit;
    }
    return hit;
}

void RibbonStatusBar::PostCommand(int id) const {
    if (HWND parent = GetParent(Handle()))
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
}

void RibbonStatusBar::MoveSlider(StatusElement& slider, int pos) {
    pos = std::clamp(pos, slider.m_nMin, slider.m_nMax);
    if (pos == slider.m_nPos) return;
    slider.SetPos(pos);
    PostCommand(slider.m_nID);
}

void RibbonStatusBar::OnMouseMove(POINT point) {
    State& s = *m_state;
    if (!s.tracking) {
        TrackLeave(Handle());
        s.tracking = true;
    }
    if (s.dragging && s.pressed.entry >= 0) {
        StatusElement& slider = *m_entries[static_cast<size_t>(s.pressed.entry)].element;
        SliderParts parts =
            SliderGeometry(slider.m_rect, slider.m_bZoomButtons, slider.m_nMin, slider.m_nMax, slider.m_nPos);
        MoveSlider(slider, SliderPosFromX(parts, slider.m_nMin, slider.m_nMax, point.x - s.dragOffset));
        return;
    }
    Hit hit = HitTest(point);
    if (!(hit == s.hot)) {
        s.hot = hit;
        InvalidateRect(Handle(), nullptr, FALSE);
    }
}

void RibbonStatusBar::OnLButtonDown(POINT point) {
    State& s = *m_state;
    Hit hit = HitTest(point);
    if (hit.entry < 0) return;
    StatusElement& e = *m_entries[static_cast<size_t>(hit.entry)].element;
    switch (hit.part) {
    case Part::Body:
        if (e.m_kind != StatusElement::Kind::Pane || e.m_bStatic) return;
        break;
    case Part::Track: {
        // A click beside the thumb moves it by a page toward the click.
        SliderParts parts = SliderGeometry(e.m_rect, e.m_bZoomButtons, e.m_nMin, e.m_nMax, e.m_nPos);
        const int centre = (parts.thumb.left + parts.thumb.right) / 2;
        MoveSlider(e, point.x < centre ? e.m_nPos - e.m_nPage : e.m_nPos + e.m_nPage);
        return;
    }
    case Part::Thumb: {
        SliderParts parts = SliderGeometry(e.m_rect, e.m_bZoomButtons, e.m_nMin, e.m_nMax, e.m_nPos);
        s.dragging = true;
        s.dragOffset = point.x - (parts.thumb.left + kThumbWidth / 2);
        break;
    }
    case Part::Minus:
    case Part::Plus:
        break;
    case Part::None:
        return;
    }
    s.pressed = hit;
    s.hot = hit;
    SetCapture(Handle());
    InvalidateRect(Handle(), nullptr, FALSE);
}

void RibbonStatusBar::OnLButtonUp(POINT point) {
    State& s = *m_state;
    const Hit pressed = s.pressed;
    const bool dragged = s.dragging;
    s.pressed = Hit{};
    s.dragging = false;
    ReleaseOwnCapture(Handle());
    InvalidateRect(Handle(), nullptr, FALSE);
    if (pressed.entry < 0 || dragged || !(HitTest(point) == pressed)) return;
    StatusElement& e = *m_entries[static_cast<size_t>(pressed.entry)].element;
    if (pressed.part == Part::Minus)
        MoveSlider(e, e.m_nPos - e.m_nPage);
    else if (pressed.part == Part::Plus)
        MoveSlider(e, e.m_nPos + e.m_nPage);
    else if (pressed.part == Part::Body)
        PostCommand(e.m_nID);
}

Menu RibbonStatusBar::BuildConfigurationMenu() const {
    Menu menu(CreatePopupMenu());
    if (!menu) return menu;
    MENUITEMINFOW title{};
    title.cbSize = sizeof(title);
    title.fMask = MIIM_STRING | MIIM_STATE | MIIM_ID | MIIM_FTYPE;
    title.fType = MFT_STRING;
    title.fState = MFS_DEFAULT;  // bold
    title.wID = 0;               // chooses nothing
    std::wstring titleText = m_strConfigTitle;
    title.dwTypeData = titleText.data();
    InsertMenuItemW(menu.get(), 0, TRUE, &title);

    bool previousArea = false;  // an earlier area added items
    for (Area area : {Area::Main, Area::Extended}) {
        bool any = false, separatorPending = false;
        for (size_t i = 0; i < m_entries.size(); ++i) {
            const Entry& entry = m_entries[i];
            if (entry.area != area) continue;
            if (!entry.element) {
                separatorPending = any;
                continue;
            }
            if ((separatorPending || (!any && previousArea)))
                AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
            separatorPending = false;
            any = true;
            const StatusElement& e = *entry.element;
            std::wstring text = e.m_strLabel;
            if (!e.m_strText.empty()) {
                text += L'\t';
                text += static_cast<int>(e.m_strText.size()) > kMenuTextLimit ? e.m_strText.substr(0, kMenuTextCut)
                                                                               : e.m_strText;
            }
            AppendMenuW(menu.get(), MF_STRING | (e.m_bVisible ? MF_CHECKED : MF_UNCHECKED), i + 1, text.c_str());
        }
        previousArea = previousArea || any;
    }
    return menu;
}

void RibbonStatusBar::ApplyConfigurationCommand(UINT command) {
    if (command == 0 || command > m_entries.size()) return;
    StatusElement* e = m_entries[command - 1].element.get();
    if (!e) return;
    e->SetVisible(!e->IsVisible());
    // The bar keeps its height: the frame repaints, it needs no new layout.
    if (HWND parent = GetParent(Handle())) RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    InvalidateRect(Handle(), nullptr, FALSE);
}

void RibbonStatusBar::ShowConfigurationMenu(POINT screenPoint) {
    Menu menu = BuildConfigurationMenu();
    if (!menu) return;
    const UINT command = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                          screenPoint.x, screenPoint.y, 0, Handle(), nullptr));
    ApplyConfigurationCommand(command);
}

void RibbonStatusBar::Paint(HDC dc) const {
    const SchemeColors& colors = CurrentSchemeColors();
    RECT client{};
    GetClientRect(Handle(), &client);
    FillGradient(dc, client, colors.statusTop, colors.statusBottom);
    Line(dc, 0, 0, client.right, 0, MixColors(colors.statusTop, colors.text, 0.3));

    if (!m_strInformation.empty()) {
        RECT text{kMargin + kPanePadding, 1, client.right - kMargin - kPanePadding, client.bottom};
        PaintText(dc, m_strInformation, text, DT_LEFT | DT_END_ELLIPSIS, colors.text);
        return;
    }
    for (int x : m_state->separators) EtchedLine(dc, x, 4, client.bottom - 3, colors);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const StatusElement* e = m_entries[i].element.get();
        if (e && !IsRectEmpty(&e->m_rect)) PaintElement(dc, *e, i);
    }
}

void RibbonStatusBar::PaintElement(HDC dc, const StatusElement& e, size_t entry) const {
    const SchemeColors& colors = CurrentSchemeColors();
    const State& s = *m_state;
    const int index = static_cast<int>(entry);
    auto isHot = [&](Part part) { return s.hot.entry == index && s.hot.part == part; };
    auto isPressed = [&](Part part) { return s.pressed.entry == index && s.pressed.part == part && isHot(part); };
    const COLORREF shade = MixColors(colors.statusBottom, colors.text, 0.35);  // outlines

    switch (e.m_kind) {
    case StatusElement::Kind::Pane: {
        RECT r = e.m_rect;
        if (!e.m_bStatic && (isHot(Part::Body) || isPressed(Part::Body))) {
            const COLORREF fill = isPressed(Part::Body) ? colors.pressedFill : colors.hotFill;
            RECT box{r.left + 1, r.top + 2, r.right - 1, r.bottom - 2};
            RoundBox(dc, box, 4, MixColors(fill, kWhite, 0.45), fill, colors.hotBorder);
        }
        r.left += kPanePadding;
        r.right -= kPanePadding;
        if (e.m_hIcon) {
            const int y = (r.top + r.bottom - kPaneIcon) / 2;
            DrawIconEx(dc, r.left, y, e.m_hIcon, kPaneIcon, kPaneIcon, 0, nullptr, DI_NORMAL);
            r.left += kPaneIcon + kPaneIconGap;
        }
        PaintText(dc, e.m_strText, r, DT_LEFT | DT_END_ELLIPSIS, colors.text);
        break;
    }
    case StatusElement::Kind::Progress: {
        const RECT& r = e.m_rect;
        RoundBox(dc, r, 4, MixColors(colors.statusBottom, kWhite, 0.75), kWhite, shade);
        const int range = e.m_nMax - e.m_nMin;
        const int inner = r.right - r.left - 2;
        const int filled =
            range > 0 ? static_cast<int>(static_cast<long long>(e.m_nPos - e.m_nMin) * inner / range) : 0;
        if (filled > 0) {
            RECT bar{r.left + 1, r.top + 1, r.left + 1 + filled, r.bottom - 1};
            // Green reads as progress in every scheme; a touch of the bar's
            // own colour keeps it in tune with the scheme.
            const COLORREF base = MixColors(RGB(62, 166, 70), colors.statusBottom, 0.12);
            Region clip(CreateRoundRectRgn(r.left + 1, r.top + 1, r.right, r.bottom, 3, 3));
            SelectClipRgn(dc, clip.get());
            RECT upper = bar, lower = bar;
            upper.bottom = lower.top = (bar.top + bar.bottom) / 2;
            FillGradient(dc, upper, MixColors(base, kWhite, 0.65), MixColors(base, kWhite, 0.3));
            FillGradient(dc, lower, base, MixColors(base, kWhite, 0.2));
            SelectClipRgn(dc, nullptr);
        }
        break;
    }
    case StatusElement::Kind::Slider: {
        SliderParts parts = SliderGeometry(e.m_rect, e.m_bZoomButtons, e.m_nMin, e.m_nMax, e.m_nPos);
        const int middle = (parts.track.top + parts.track.bottom) / 2;
        // The groove, with a tick at the middle of the range.
        const int grooveLeft = parts.track.left + kThumbWidth / 2, grooveRight = parts.track.right - kThumbWidth / 2;
        Line(dc, grooveLeft, middle, grooveRight, middle, shade);
        Line(dc, grooveLeft, middle + 1, grooveRight, middle + 1, MixColors(colors.statusTop, kWhite, 0.6));
        const int tick = (grooveLeft + grooveRight) / 2;
        Line(dc, tick, middle - 4, tick, middle + 4, shade);
        Line(dc, tick + 1, middle - 4, tick + 1, middle + 4, MixColors(colors.statusTop, kWhite, 0.6));
        // The thumb.
        {
            const bool pressed = isPressed(Part::Thumb) || (s.dragging && s.pressed.entry == index);
            const COLORREF fill = pressed ? colors.pressedFill : isHot(Part::Thumb) ? colors.hotFill : kWhite;
            const COLORREF bottomFill =
                pressed || isHot(Part::Thumb) ? fill : MixColors(colors.statusBottom, kWhite, 0.3);
            RoundBox(dc, parts.thumb, 3, MixColors(fill, kWhite, 0.5), bottomFill,
                     pressed || isHot(Part::Thumb) ? colors.hotBorder : shade);
        }
        // The zoom buttons: a round button with a - or a + in it.
        for (Part part : {Part::Minus, Part::Plus}) {
            if (!e.m_bZoomButtons) continue;
            const RECT& r = part == Part::Minus ? parts.minus : parts.plus;
            COLORREF top = kWhite, bottom = MixColors(colors.statusBottom, kWhite, 0.25), border = shade;
            if (isPressed(part)) {
                top = MixColors(colors.pressedFill, kWhite, 0.3);
                bottom = colors.pressedFill;
                border = colors.hotBorder;
            } else if (isHot(part)) {
                top = MixColors(colors.hotFill, kWhite, 0.5);
                bottom = colors.hotFill;
                border = colors.hotBorder;
            }
            RoundButton(dc, r, top, bottom, border);
            const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
            const COLORREF glyph = colors.text;
            RECT bar{cx - 4, cy - 1, cx + 4, cy + 1};  // a 2-pixel stroke
            FillSolid(dc, bar, glyph);
            if (part == Part::Plus) {
                RECT stem{cx - 1, cy - 4, cx + 1, cy + 4};
                FillSolid(dc, stem, glyph);
            }
        }
        break;
    }
    }
}

LRESULT RibbonStatusBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    State& s = *m_state;
    switch (message) {
    case WM_CREATE:
        // Without a tooltip window the bar works, only without tooltips.
        (void)s.toolTip.Create(Handle());
        RecalcLayout();
        return 0;
    case WM_DESTROY:
        s.toolTip.Destroy();
        break;
    case WM_SIZE:
        RecalcLayout();
        InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
    case WM_ERASEBKGND:
    case WM_PAINT:
    case WM_PRINTCLIENT:
        return PaintMessage(Handle(), message, wParam, [this](HDC dc) { Paint(dc); });
    case WM_MOUSEMOVE:
        OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_MOUSELEAVE:
        s.tracking = false;
        if (s.hot.entry >= 0 && !s.dragging) {
            s.hot = Hit{};
            InvalidateRect(Handle(), nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnLButtonDown(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != Handle() && (s.pressed.entry >= 0 || s.dragging)) {
            s.pressed = Hit{};
            s.dragging = false;
            InvalidateRect(Handle(), nullptr, FALSE);
        }
        return 0;
    case WM_CONTEXTMENU: {
        // Not in the middle of a click, a drag or a press of a button.
        if (IsLeftButtonDown() || s.pressed.entry >= 0 || s.dragging) return 0;
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (point.x == -1 && point.y == -1) {  // from the keyboard
            point = POINT{kMargin, 0};
            ClientToScreen(Handle(), &point);
        }
        ShowConfigurationMenu(point);
        return 0;
    }
    case WM_NOTIFY:
        if (s.toolTip.AnswerTextRequest(lParam, [this](UINT_PTR id) -> const wchar_t* {
                const size_t index = static_cast<size_t>(id) - 1;
                if (index < m_entries.size() && m_entries[index].element)
                    return m_entries[index].element->m_strToolTip.c_str();
                return nullptr;
            }))
            return 0;
        break;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

} // namespace fw

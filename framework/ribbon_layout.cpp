// The ribbon's layout: panel sizes and reduction, the tab row, the
// elements' places and the combo boxes' edits; and the command states.
#include "ribbon_internal.h"

namespace fw {

using namespace ribbon_draw;
using namespace ribbon_detail;

namespace ribbon_detail {

// A two-line label of a large button: split at the space that makes the
// longer line shortest.
std::pair<std::wstring, std::wstring> SplitLabel(HDC dc, const std::wstring& text) {
    std::pair<std::wstring, std::wstring> best{text, L""};
    int bestWidth = TextExtent(dc, text).cx;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L' ') continue;
        std::wstring a = text.substr(0, i), b = text.substr(i + 1);
        int w = std::max(TextExtent(dc, a).cx, TextExtent(dc, b).cx);
        if (best.second.empty() || w < bestWidth) {
            best = {a, b};
            bestWidth = w;
        }
    }
    return best;
}

} // namespace ribbon_detail

// ---------------------------------------------------------------------------
// Layout

void RibbonBar::State::Prepare() {
    HWND hwnd = bar.Handle();
    imagesOf.clear();
    auto attach = [&](RibbonElement* e, const RibbonImages* images) {
        e->m_pRibbon = &bar;
        imagesOf[e] = images;
        auto combo = dynamic_cast<RibbonComboBox*>(e);
        if (combo && !combo->m_hWndEdit && hwnd) {
            combo->m_hWndEdit = combo->CreateEdit(hwnd, WS_CHILD | WS_BORDER | ES_AUTOHSCROLL);
            if (combo->m_hWndEdit) {
                SendMessageW(combo->m_hWndEdit, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
                SetWindowSubclass(combo->m_hWndEdit, &State::EditProc, 1, reinterpret_cast<DWORD_PTR>(combo));
            }
        }
    };
    for (auto& c : bar.m_categories)
        for (auto& p : c->m_panels)
            for (auto& e : p->m_elements) attach(e.get(), &c->m_images);
    const RibbonImages* tabImages = &mainImages;
    if (!mainImages.small && !bar.m_categories.empty()) tabImages = &bar.m_categories.front()->m_images;
    for (auto& e : bar.m_tabRowElements) attach(e.get(), tabImages);
    for (auto& e : bar.m_mainItems) attach(e.get(), &mainImages);
    for (auto& e : bar.m_mainBottom) attach(e.get(), &mainImages);
    for (auto& e : quick) attach(e.get(), nullptr);
}

bool RibbonBar::State::IsLargeIn(const RibbonElement* e, Size size) const {
    auto b = dynamic_cast<const RibbonButton*>(e);
    if (!b) return false;
    return size == Size::Large || b->m_bAlwaysLarge;
}

int RibbonBar::State::ElementWidth(HDC dc, const RibbonElement* e, bool large) const {
    if (auto combo = dynamic_cast<const RibbonComboBox*>(e)) {
        int label = combo->Text().empty() ? 0 : TextExtent(dc, combo->Text()).cx + 5;
        return label + combo->m_nWidth;
    }
    auto b = dynamic_cast<const RibbonButton*>(e);
    bool menu = b && b->HasMenu();
    if (large) {
        auto lines = SplitLabel(dc, e->Text());
        int w = std::max<int>(TextExtent(dc, lines.first).cx,
                              TextExtent(dc, lines.second).cx + (menu ? (lines.second.empty() ? 7 : 11) : 0));
        return std::max(w, 32) + 10;
    }
    int w = 3 + 16 + 4 + TextExtent(dc, e->Text()).cx + 5;
    if (e->Text().empty()) w = 3 + 16 + 3;
    if (!b) w = TextExtent(dc, e->Text()).cx + 10;
    return w + (menu ? kArrowWidth - 2 : 0);
}

int RibbonBar::State::PanelWidth(HDC dc, const RibbonPanel* p, Size size) const {
    int caption = TextExtent(dc, p->m_strName).cx + 12;
    if (size == Size::Collapsed) {
        auto lines = SplitLabel(dc, p->m_strName);
        int w = std::max<int>(TextExtent(dc, lines.first).cx, TextExtent(dc, lines.second).cx + 11);
        return std::max(w, 32) + 14;
    }
    int total = 0, column = 0, rows = 0, columns = 0;
    auto closeColumn = [&] {
        if (rows) {
            total += column;
            ++columns;
        }
        column = rows = 0;
    };
    for (auto& e : p->m_elements) {
        if (IsLargeIn(e.get(), size)) {
            closeColumn();
            total += ElementWidth(dc, e.get(), true);
            ++columns;
            continue;
        }
        if (rows == 3) closeColumn();
        column = std::max(column, ElementWidth(dc, e.get(), false));
        ++rows;
    }
    closeColumn();
    int width = total + 2 * kPanelPad + 2 + std::max(columns - 1, 0) * 2;
    return std::max(width, caption);
}

std::vector<RibbonBar::State::PlacedPanel> RibbonBar::State::LayoutPanels(HDC dc,
                                                                           const std::vector<RibbonPanel*>& source,
                                                                           int left, int top, int width,
                                                                           bool reduce) const {
    std::vector<PlacedPanel> list;
    std::vector<int> large, small, collapsed;
    for (RibbonPanel* p : source) {
        PlacedPanel pp;
        pp.panel = p;
        list.push_back(pp);
        large.push_back(PanelWidth(dc, p, Size::Large));
        small.push_back(PanelWidth(dc, p, Size::Small));
        collapsed.push_back(PanelWidth(dc, p, Size::Collapsed));
    }
    auto widthOf = [&](size_t i) {
        switch (list[i].size) {
        case Size::Large: return large[i];
        case Size::Small: return small[i];
        default: return collapsed[i];
        }
    };
    auto total = [&] {
        int sum = left + kPanelGap;
        for (size_t i = 0; i < list.size(); ++i) sum += widthOf(i) + kPanelGap;
        return sum;
    };
    if (reduce) {
        // Rightmost first: large to small where that saves width, then
        // collapse, one panel at a time, until the panels fit.
        while (total() > left + width) {
            bool changed = false;
            for (size_t i = list.size(); i-- > 0;) {
                if (list[i].size == Size::Large && small[i] < large[i]) {
                    list[i].size = Size::Small;
                    changed = true;
                    break;
                }
            }
            if (!changed) {
                for (size_t i = list.size(); i-- > 0;) {
                    if (list[i].size != Size::Collapsed) {
                        list[i].size = Size::Collapsed;
                        changed = true;
                        break;
                    }
                }
            }
            if (!changed) break;
        }
    }
    int x = left + kPanelGap;
    for (size_t i = 0; i < list.size(); ++i) {
        int w = widthOf(i);
        list[i].rect = {x, top + 3, x + w, top + kPanelAreaHeight - 3};
        x += w + kPanelGap;
        if (list[i].size != Size::Collapsed) PlaceElements(dc, list[i]);
    }
    return list;
}

void RibbonBar::State::PlaceElements(HDC dc, PlacedPanel& pp) const {
    int captionHeight;
    CaptionMetrics(captionHeight);
    int top = pp.rect.top + 2;
    int bottom = pp.rect.bottom - captionHeight - 1;
    int rowHeight = std::min(kSmallRow, (bottom - top) / 3);
    int x = pp.rect.left + kPanelPad + 1;
    std::vector<Placed> column;
    int columnWidth = 0;
    // Columns of small elements start at the top when some column of the
    // panel is full, and are centred when every column is short.
    size_t fullest = 0;
    {
        size_t rows = 0;
        for (auto& e : pp.panel->m_elements) {
            if (IsLargeIn(e.get(), pp.size)) {
                rows = 0;
                continue;
            }
            rows = rows == 3 ? 1 : rows + 1;
            fullest = std::max(fullest, rows);
        }
    }
    auto closeColumn = [&] {
        if (column.empty()) return;
        int y = top + (bottom - top - rowHeight * static_cast<int>(column.size())) / 2;
        if (fullest == 3) y = top;
        for (auto& p : column) {
            p.rect = {x, y, x + columnWidth, y + rowHeight};
            y += rowHeight;
            pp.elements.push_back(p);
        }
        x += columnWidth + 2;
        column.clear();
        columnWidth = 0;
    };
    for (auto& e : pp.panel->m_elements) {
        RibbonElement* el = e.get();
        if (IsLargeIn(el, pp.size)) {
            closeColumn();
            int w = ElementWidth(dc, el, true);
            pp.elements.push_back({el, {x, top, x + w, top + rowHeight * 3}, true});
            x += w + 2;
            continue;
        }
        if (column.size() == 3) closeColumn();
        column.push_back({el, {}, false});
        columnWidth = std::max(columnWidth, ElementWidth(dc, el, false));
    }
    closeColumn();
    // A panel wider than its content (because of its caption) centres it.
    int content = x - 2 - (pp.rect.left + kPanelPad + 1);
    int room = RectWidth(pp.rect) - 2 * kPanelPad - 2;
    if (content < room) {
        int shift = (room - content) / 2;
        for (auto& p : pp.elements) OffsetRect(&p.rect, shift, 0);
    }
}

void RibbonBar::State::LayoutTabRow(HDC dc, int width) {
    tabRow.clear();
    appRect = {3, 2, 3 + kAppButtonWidth, kTabRowHeight - 2};
    int x = appRect.right + 6;
    for (auto& q : quick) {
        tabRow.push_back({q.get(), {x, 2, x + kQuickButton, 2 + kQuickButton}, false});
        x += kQuickButton + 1;
    }
    if (!quick.empty()) x += 8;
    // Elements at the right end.
    int rightWidth = 0;
    std::vector<int> widths;
    for (auto& e : bar.m_tabRowElements) {
        int w = ElementWidth(dc, e.get(), false);
        widths.push_back(w);
        rightWidth += w + 3;
    }
    int right = width - 4 - rightWidth;
    int rx = right + 3;
    for (size_t i = 0; i < bar.m_tabRowElements.size(); ++i) {
        tabRow.push_back({bar.m_tabRowElements[i].get(), {rx, 3, rx + widths[i], kTabRowHeight - 3}, false});
        rx += widths[i] + 3;
    }
    // Tabs, narrowed evenly (down to 30 pixels) when they do not fit.
    std::vector<int> tabWidths;
    int sum = 0;
    for (auto& c : bar.m_categories) {
        tabWidths.push_back(TextExtent(dc, c->m_strName).cx + 24);
        sum += tabWidths.back() + 2;
    }
    int room = right - 8 - x;
    if (sum > room && sum > 0) {
        for (auto& w : tabWidths) w = std::max(30, w * std::max(room, 0) / sum);
    }
    for (size_t i = 0; i < bar.m_categories.size(); ++i) {
        bar.m_categories[i]->m_tabRect = {x, 3, x + tabWidths[i], kTabRowHeight};
        x += tabWidths[i] + 2;
    }
}

void RibbonBar::State::Layout() {
    HWND hwnd = bar.Handle();
    if (!hwnd) return;
    Prepare();
    RECT client;
    GetClientRect(hwnd, &client);
    WindowDC wdc(hwnd);
    Selection f(wdc.get(), font.get());
    LayoutTabRow(wdc.get(), RectWidth(client));

    std::set<RibbonElement*> now;
    auto clear = [](RibbonElement* e) { e->m_rect = RECT{}; };
    for (auto& c : bar.m_categories)
        for (auto& p : c->m_panels) {
            p->m_rect = RECT{};
            for (auto& e : p->m_elements) clear(e.get());
        }
    for (auto& e : bar.m_mainItems) clear(e.get());
    for (auto& e : bar.m_mainBottom) clear(e.get());
    for (auto& p : tabRow) {
        p.element->m_rect = p.rect;
        now.insert(p.element);
    }
    panels.clear();
    RibbonCategory* active = bar.ActiveCategory();
    if (active) {
        panels = LayoutPanels(wdc.get(), PanelsOf(active), 0, kTabRowHeight, RectWidth(client), true);
        for (auto& pp : panels) {
            pp.panel->m_bCollapsed = pp.size == Size::Collapsed;
            pp.panel->m_bSmall = pp.size == Size::Small;
            if (bar.m_bMinimized) continue;
            pp.panel->m_rect = pp.rect;
            for (auto& p : pp.elements) {
                p.element->m_rect = p.rect;
                now.insert(p.element);
            }
        }
        if (bar.m_bMinimized) panels.clear();
    }
    // What an open pop-up shows stays shown, at its place in the pop-up.
    if (popup && popup->Handle()) {
        for (auto& pp : popup->panels)
            for (auto& p : pp.elements) {
                RECT r = p.rect;
                OffsetRect(&r, popup->origin.x, popup->origin.y);
                p.element->m_rect = r;
                now.insert(p.element);
            }
        for (auto& p : popup->items) {
            RECT r = p.rect;
            OffsetRect(&r, popup->origin.x, popup->origin.y);
            p.element->m_rect = r;
        }
    }
    ApplyShown(now);
    PlaceEdits();
}

void RibbonBar::State::ApplyShown(const std::set<RibbonElement*>& now) {
    for (RibbonElement* e : shown)
        if (!now.count(e)) e->OnShow(false);
    for (RibbonElement* e : now)
        if (!shown.count(e)) e->OnShow(true);
    shown = now;
}

// Puts each shown combo box's edit over its box, in the window that shows
// the element (the bar or the pop-up).
void RibbonBar::State::PlaceEdits() {
    auto place = [&](const Placed& p, HWND surface) {
        auto combo = dynamic_cast<RibbonComboBox*>(p.element);
        if (!combo || !combo->m_hWndEdit) return;
        if (GetParent(combo->m_hWndEdit) != surface) SetParent(combo->m_hWndEdit, surface);
        RECT box{p.rect.right - combo->m_nWidth, p.rect.top + 1, p.rect.right - kComboArrow, p.rect.bottom - 1};
        RECT now;
        GetWindowRect(combo->m_hWndEdit, &now);
        MapWindowPoints(nullptr, surface, reinterpret_cast<POINT*>(&now), 2);
        if (!EqualRect(&now, &box))
            SetWindowPos(combo->m_hWndEdit, nullptr, box.left, box.top, RectWidth(box), RectHeight(box),
                         SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (auto& p : tabRow) place(p, bar.Handle());
    for (auto& pp : panels)
        for (auto& p : pp.elements) place(p, bar.Handle());
    if (popup && popup->Handle())
        for (auto& pp : popup->panels)
            for (auto& p : pp.elements) place(p, popup->Handle());
}

// ---------------------------------------------------------------------------
// Command states

RibbonBar::State::UiState RibbonBar::State::StateOf(const RibbonElement* e) const {
    int id = e->Id();
    if (!IsCommand(id) || !bar.m_updater) return {};
    auto it = ui.find(e);
    if (it != ui.end()) return it->second;
    CmdUI cmd = bar.m_updater(static_cast<UINT>(id));
    return {cmd.enabled, cmd.checked || cmd.radio};
}

bool RibbonBar::State::IsEnabledNow(const RibbonElement* e) const {
    if (!IsCommand(e->Id()) || !bar.m_updater) return true;
    return bar.m_updater(static_cast<UINT>(e->Id())).enabled;
}

bool RibbonBar::State::QueryStates() {
    if (!bar.m_updater) return false;
    std::map<const RibbonElement*, UiState> now;
    auto ask = [&](const RibbonElement* e) {
        if (!IsCommand(e->Id())) return;
        CmdUI cmd = bar.m_updater(static_cast<UINT>(e->Id()));
        now[e] = {cmd.enabled, cmd.checked || cmd.radio};
    };
    for (RibbonElement* e : shown) ask(e);
    if (popup)
        for (auto& p : popup->items) ask(p.element);
    bool changed = now.size() != ui.size();
    for (auto& [e, s] : now) {
        auto it = ui.find(e);
        if (it == ui.end() || it->second != s) changed = true;
    }
    ui = std::move(now);
    return changed;
}

} // namespace fw

// The ribbon's mouse input: hit testing, hot and pressed elements,
// clicks, drop-downs; and the keys of the combo boxes' edits.
#include "ribbon_internal.h"

#include "errors.h"

namespace fw {

using namespace ribbon_draw;
using namespace ribbon_detail;

// ---------------------------------------------------------------------------
// Hit testing and clicks

int RibbonBar::State::PartAt(const Placed& p, POINT pt) {
    if (dynamic_cast<RibbonComboBox*>(p.element)) return pt.x >= p.rect.right - kComboArrow ? 1 : 0;
    auto b = dynamic_cast<RibbonButton*>(p.element);
    if (!b || !b->HasMenu()) return 0;
    if (!b->m_bDefaultCommand) return 1;
    if (p.large) return pt.y >= p.rect.top + kLargeLabelTop - 1 ? 1 : 0;
    return pt.x >= p.rect.right - kArrowWidth ? 1 : 0;
}

RibbonBar::State::Hit RibbonBar::State::HitTestPanels(const std::vector<PlacedPanel>& list, POINT pt, HWND surface) {
    Hit h;
    h.surface = surface;
    for (auto& pp : list) {
        if (!PtInRect(&pp.rect, pt)) continue;
        if (pp.size == Size::Collapsed) {
            h.kind = HitKind::Panel;
            h.panel = pp.panel;
            return h;
        }
        for (auto& p : pp.elements) {
            if (!PtInRect(&p.rect, pt)) continue;
            h.kind = HitKind::Element;
            h.element = p.element;
            h.panel = pp.panel;
            h.part = PartAt(p, pt);
            return h;
        }
    }
    return h;
}

RibbonBar::State::Hit RibbonBar::State::HitTestBar(POINT pt) const {
    Hit h;
    h.surface = bar.Handle();
    if (PtInRect(&appRect, pt)) {
        h.kind = HitKind::App;
        return h;
    }
    for (auto& p : tabRow) {
        if (PtInRect(&p.rect, pt)) {
            h.kind = HitKind::Element;
            h.element = p.element;
            h.part = PartAt(p, pt);
            return h;
        }
    }
    if (RibbonCategory* c = bar.HitTestCategory(pt)) {
        h.kind = HitKind::Tab;
        h.category = c;
        return h;
    }
    return HitTestPanels(panels, pt, bar.Handle());
}

void RibbonBar::State::SetHot(const Hit& h) {
    if (h == hot) return;
    bool sameElement = h.element == hot.element && h.kind == hot.kind;
    hot = h;
    if (!sameElement) {
        HideTip();
        if (h.kind == HitKind::Element || h.kind == HitKind::App) SetTimer(bar.Handle(), kTipTimer, kTipDelay, nullptr);
    }
    InvalidateRect(bar.Handle(), nullptr, FALSE);
    if (popup && popup->Handle()) InvalidateRect(popup->Handle(), nullptr, FALSE);
}

void RibbonBar::State::Execute(RibbonElement* e) {
    if (!e || !IsCommand(e->Id()) || !IsEnabledNow(e)) return;
    HWND frame = GetParent(bar.Handle());
    PostMessageW(frame, WM_COMMAND, MAKEWPARAM(static_cast<UINT>(e->Id()) & 0xFFFF, 0), 0);
}

void RibbonBar::State::ComboDropDown(RibbonComboBox* combo) {
    if (combo->m_items.empty()) return;
    Menu menu(CreatePopupMenu());
    for (size_t i = 0; i < combo->m_items.size(); ++i)
        AppendMenuW(menu.get(), MF_STRING, i + 1, combo->m_items[i].c_str());
    RECT r = combo->m_rect;
    MapWindowPoints(bar.Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
    int chosen = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_LEFTBUTTON | TPM_RIGHTALIGN | TPM_TOPALIGN, r.right,
                                r.bottom, 0, bar.Handle(), nullptr);
    if (chosen > 0) {
        combo->SetEditText(combo->m_items[static_cast<size_t>(chosen - 1)]);
        combo->OnSelectItem(chosen - 1);
    }
}

void RibbonBar::State::DropDown(RibbonElement* e, int part) {
    if (auto combo = dynamic_cast<RibbonComboBox*>(e)) {
        if (part == 1)
            ComboDropDown(combo);
        else if (combo->m_hWndEdit)
            SetFocus(combo->m_hWndEdit);
        return;
    }
    if (auto b = dynamic_cast<RibbonButton*>(e); b && b->HasMenu() && part == 1) {
        UINT chosen = b->OnShowPopupMenu();
        if (chosen && popup) ClosePopup();
    }
}

void RibbonBar::State::Press(const Hit& h) {
    HideTip();
    switch (h.kind) {
    case HitKind::App: OpenAppMenu(); break;
    case HitKind::Tab:
        bar.SetActiveCategory(h.category);
        if (bar.m_bMinimized) OpenCategoryPopup(h.category);
        break;
    case HitKind::Panel: {
        RECT r{};
        for (auto& pp : (h.surface == bar.Handle() || !popup) ? panels : popup->panels)
            if (pp.panel == h.panel) r = pp.rect;
        if (popup && h.surface == popup->Handle()) {
            // A collapsed panel inside the minimized category's pop-up: its
            // own pop-up replaces that one.
            OffsetRect(&r, popup->origin.x, popup->origin.y);
            pendingPanel = h.panel;
            pendingRect = r;
            ClosePopup();
        } else {
            OpenPanelPopup(h.panel, r);
        }
        break;
    }
    case HitKind::Element: {
        if (!IsEnabledNow(h.element)) return;
        pressed = h;
        InvalidateRect(h.surface, nullptr, FALSE);
        bool opensMenu = (dynamic_cast<RibbonButton*>(h.element) && h.part == 1) ||
                         dynamic_cast<RibbonComboBox*>(h.element);
        if (opensMenu) {
            UpdateWindow(h.surface);
            DropDown(h.element, h.part);
            pressed = Hit{};
            if (IsWindow(h.surface)) InvalidateRect(h.surface, nullptr, FALSE);
        } else {
            SetCapture(h.surface);
        }
        break;
    }
    case HitKind::None: break;
    }
}

void RibbonBar::State::Release(const Hit& h) {
    if (pressed.kind != HitKind::Element) return;
    Hit was = pressed;
    pressed = Hit{};
    if (GetCapture() == was.surface) ReleaseCapture();
    InvalidateRect(was.surface, nullptr, FALSE);
    if (h.element != was.element || h.surface != was.surface || h.part != was.part) return;
    Execute(was.element);
    if (popup && was.surface == popup->Handle()) ClosePopup();
}

// ---------------------------------------------------------------------------
// Edits of combo boxes

LRESULT CALLBACK RibbonBar::State::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                            DWORD_PTR data) {
    return fw::Guarded("ribbon edit", LRESULT{0}, [&]() -> LRESULT {
        auto combo = reinterpret_cast<RibbonComboBox*>(data);
        switch (message) {
        case WM_KEYDOWN:
            if (wParam == VK_RETURN) {
                combo->OnEnter();
                return 0;
            }
            if (wParam == VK_ESCAPE) {
                HWND frame = combo->m_pRibbon && combo->m_pRibbon->Handle() ? GetParent(combo->m_pRibbon->Handle())
                                                                            : GetAncestor(hwnd, GA_ROOT);
                SetFocus(frame);
                return 0;
            }
            if ((wParam == VK_DOWN && (GetKeyState(VK_MENU) & 0x8000)) || wParam == VK_F4) {
                if (combo->m_pRibbon) combo->m_pRibbon->m_state->ComboDropDown(combo);
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam == L'\r' || wParam == 27) return 0;  // no beep for the keys handled above
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, &State::EditProc, id);
            if (combo->m_hWndEdit == hwnd) combo->m_hWndEdit = nullptr;
            break;
        }
        return DefSubclassProc(hwnd, message, wParam, lParam);
    });
}

} // namespace fw

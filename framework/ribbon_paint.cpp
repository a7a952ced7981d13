// Painting the ribbon: the tab row, the application button, panels and
// their elements, key tips.
#include "ribbon_internal.h"

namespace fw {

using namespace ribbon_draw;
using namespace ribbon_detail;

// ---------------------------------------------------------------------------
// Painting

void RibbonBar::State::ElementBackground(HDC dc, const Placed& p, HWND surface, bool onFrame) {
    const SchemeColors& c = CurrentSchemeColors();
    UiState s = StateOf(p.element);
    bool isHot = hot.kind == HitKind::Element && hot.element == p.element && hot.surface == surface;
    bool isPressed = pressed.kind == HitKind::Element && pressed.element == p.element && pressed.surface == surface;
    if (!s.enabled) isHot = isPressed = false;
    auto b = dynamic_cast<const RibbonButton*>(p.element);
    bool split = b && b->HasMenu() && b->m_bDefaultCommand;
    if (!isHot && !isPressed && !s.checked) return;
    RECT r = p.rect;
    if (s.checked && !isHot && !isPressed) {
        RoundBox(dc, r, 3, Mix(c.pressedFill, RGB(255, 255, 255), 45), c.pressedFill, c.hotBorder);
        return;
    }
    COLORREF fill = isPressed ? c.pressedFill : c.hotFill;
    if (!split) {
        RoundBox(dc, r, 3, Mix(fill, RGB(255, 255, 255), 55), fill, c.hotBorder);
        return;
    }
    // A split button: the whole button lightly, the part under the mouse fully.
    RoundBox(dc, r, 3, Mix(c.hotFill, RGB(255, 255, 255), 70), Mix(c.hotFill, RGB(255, 255, 255), 35), c.hotBorder);
    RECT part = r;
    int activePart = isPressed ? pressed.part : hot.part;
    if (p.large) {
        if (activePart == 0)
            part.bottom = r.top + kLargeLabelTop - 1;
        else
            part.top = r.top + kLargeLabelTop - 1;
    } else {
        if (activePart == 0)
            part.right = r.right - kArrowWidth + 1;
        else
            part.left = r.right - kArrowWidth;
    }
    RoundBox(dc, part, 3, Mix(fill, RGB(255, 255, 255), 55), fill, c.hotBorder);
    (void)onFrame;
}

void RibbonBar::State::PaintButtonImage(HDC dc, const RibbonButton* b, bool large, int x, int y, bool disabled) {
    auto src = quickSource.find(b);
    if (src != quickSource.end()) {
        if (auto sb = dynamic_cast<const RibbonButton*>(src->second)) b = sb;
    }
    int size = large ? 32 : 16;
    if (b->m_hImage) {
        WholeImage(dc, b->m_hImage, {x, y, x + size, y + size}, disabled);
        return;
    }
    auto it = imagesOf.find(b);
    const RibbonImages* images = it != imagesOf.end() ? it->second : nullptr;
    if (!images) return;
    if (large && b->m_nLargeImage >= 0 && images->large) {
        StripImage(dc, images->large, b->m_nLargeImage, 32, x, y, disabled);
    } else if (b->m_nSmallImage >= 0) {
        int off = large ? 8 : 0;
        StripImage(dc, images->small, b->m_nSmallImage, 16, x + off, y + off, disabled);
    }
}

void RibbonBar::State::PaintElement(HDC dc, const Placed& p, HWND surface, bool onFrame) {
    const SchemeColors& c = CurrentSchemeColors();
    UiState s = StateOf(p.element);
    COLORREF textColor = onFrame ? c.tabText : c.text;
    COLORREF disabledText = Mix(textColor, onFrame ? c.frame : c.panelBottom, 55);
    COLORREF color = s.enabled ? textColor : disabledText;
    RECT r = p.rect;
    if (auto combo = dynamic_cast<RibbonComboBox*>(p.element)) {
        RECT label{r.left, r.top, r.right - combo->m_nWidth - 3, r.bottom};
        DrawLabel(dc, combo->Text(), label, DT_SINGLELINE | DT_VCENTER | DT_RIGHT, color);
        RECT box{r.right - combo->m_nWidth, r.top + 1, r.right, r.bottom - 1};
        FillSolid(dc, box, RGB(255, 255, 255));
        RECT arrow{box.right - kComboArrow, box.top, box.right, box.bottom};
        bool isHot = hot.element == combo && hot.surface == surface;
        FillGradient(dc, arrow, isHot ? Mix(c.hotFill, RGB(255, 255, 255), 55) : Mix(c.panelTop, RGB(255, 255, 255), 40),
                     isHot ? c.hotFill : c.panelBottom);
        Brush border(CreateSolidBrush(c.panelBorder));
        FrameRect(dc, &box, border.get());
        FrameRect(dc, &arrow, border.get());
        DownArrow(dc, (arrow.left + arrow.right) / 2, (arrow.top + arrow.bottom) / 2 + 1, c.text);
        return;
    }
    ElementBackground(dc, p, surface, onFrame);
    auto b = dynamic_cast<RibbonButton*>(p.element);
    if (!b) {
        DrawLabel(dc, p.element->Text(), r, DT_SINGLELINE | DT_VCENTER | DT_CENTER, color);
        return;
    }
    bool menu = b->HasMenu();
    if (p.large) {
        PaintButtonImage(dc, b, true, r.left + (RectWidth(r) - 32) / 2, r.top + 2, !s.enabled);
        auto lines = SplitLabel(dc, b->Text());
        RECT l1{r.left, r.top + kLargeLabelTop, r.right, r.top + kLargeLabelTop + lineHeight};
        DrawLabel(dc, lines.first, l1, DT_SINGLELINE | DT_CENTER, color);
        RECT l2 = l1;
        OffsetRect(&l2, 0, lineHeight);
        int w2 = TextExtent(dc, lines.second).cx;
        if (!lines.second.empty()) {
            if (menu) l2.right -= 11;
            DrawLabel(dc, lines.second, l2, DT_SINGLELINE | DT_CENTER, color);
        }
        if (menu) {
            int cx = lines.second.empty() ? (r.left + r.right) / 2 : (l2.left + l2.right + w2) / 2 + 7;
            DownArrow(dc, cx, l2.top + lineHeight / 2 + 1, color);
        }
        if (menu && b->m_bDefaultCommand && (hot.element == b || pressed.element == b))
            Line(dc, r.left + 2, r.top + kLargeLabelTop - 1, r.right - 2, r.top + kLargeLabelTop - 1,
                 c.hotBorder);
        return;
    }
    bool quickButton = quickSource.count(b) != 0;
    int imageX = quickButton ? r.left + (RectWidth(r) - 16) / 2 : r.left + 3;
    PaintButtonImage(dc, b, false, imageX, r.top + (RectHeight(r) - 16) / 2, !s.enabled);
    if (!quickButton && !b->Text().empty()) {
        RECT t{r.left + 23, r.top, r.right - (menu ? kArrowWidth : 2), r.bottom};
        if (!b->m_hImage && b->m_nSmallImage < 0) t.left = r.left + 5;
        DrawLabel(dc, b->Text(), t, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS, color);
    }
    if (menu) {
        DownArrow(dc, r.right - kArrowWidth / 2 - 1, (r.top + r.bottom) / 2 + 1, color);
        if (b->m_bDefaultCommand && (hot.element == b || pressed.element == b))
            Line(dc, r.right - kArrowWidth, r.top + 2, r.right - kArrowWidth, r.bottom - 2, c.hotBorder);
    }
}

void RibbonBar::State::PaintPanel(HDC dc, const PlacedPanel& pp, HWND surface) {
    const SchemeColors& c = CurrentSchemeColors();
    const COLORREF white = RGB(255, 255, 255);
    RECT r = pp.rect;
    if (pp.size == Size::Collapsed) {
        bool isHot = hot.kind == HitKind::Panel && hot.panel == pp.panel && hot.surface == surface;
        bool open = popup && popup->opener.kind == HitKind::Panel && popup->opener.panel == pp.panel;
        if (isHot || open)
            RoundBox(dc, r, 3, Mix(open ? c.pressedFill : c.hotFill, white, 50), open ? c.pressedFill : c.hotFill,
                     c.hotBorder);
        else
            RoundBox(dc, r, 3, Mix(c.panelTop, white, 45), c.panelBottom, c.panelBorder);
        RECT icon{r.left + (RectWidth(r) - 32) / 2, r.top + 5, 0, 0};
        icon.right = icon.left + 32;
        icon.bottom = icon.top + 32;
        RoundBox(dc, icon, 3, white, Mix(c.panelTop, c.panelBottom, 50), c.panelBorder);
        if (pp.panel->m_hIcons && pp.panel->m_nIcon >= 0) {
            int cx = 16, cy = 16;
            ImageList_GetIconSize(pp.panel->m_hIcons, &cx, &cy);
            ImageList_Draw(pp.panel->m_hIcons, pp.panel->m_nIcon, dc, icon.left + (32 - cx) / 2,
                           icon.top + (32 - cy) / 2, ILD_TRANSPARENT);
        }
        auto lines = SplitLabel(dc, pp.panel->m_strName);
        RECT l1{r.left, icon.bottom + 4, r.right, icon.bottom + 4 + lineHeight};
        DrawLabel(dc, lines.first, l1, DT_SINGLELINE | DT_CENTER, c.text);
        RECT l2 = l1;
        OffsetRect(&l2, 0, lineHeight);
        int w2 = TextExtent(dc, lines.second).cx;
        if (!lines.second.empty()) {
            l2.right -= 11;
            DrawLabel(dc, lines.second, l2, DT_SINGLELINE | DT_CENTER, c.text);
        }
        int cx = lines.second.empty() ? (r.left + r.right) / 2 : (l2.left + l2.right + w2) / 2 + 7;
        DownArrow(dc, cx, l2.top + lineHeight / 2 + 1, c.text);
        return;
    }
    RoundBox(dc, r, 3, Mix(c.panelTop, white, 50), Mix(c.panelBottom, c.panelTop, 30), c.panelBorder);
    int captionHeight;
    CaptionMetrics(captionHeight);
    RECT cap{r.left + 1, r.bottom - captionHeight, r.right - 1, r.bottom - 1};
    Region clip(CreateRoundRectRgn(r.left + 1, r.top + 1, r.right, r.bottom, 5, 5));
    ExtSelectClipRgn(dc, clip.get(), RGN_AND);
    FillGradient(dc, cap, Mix(c.panelCaption, white, 20), c.panelCaption);
    SelectClipRgn(dc, nullptr);
    DrawLabel(dc, pp.panel->m_strName, cap, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_END_ELLIPSIS, c.captionText);
    for (auto& p : pp.elements) PaintElement(dc, p, surface, false);
}

void RibbonBar::State::PaintPanels(HDC dc, const std::vector<PlacedPanel>& list, HWND surface) {
    for (auto& pp : list) PaintPanel(dc, pp, surface);
}

void RibbonBar::State::PaintAppButton(HDC dc) {
    const SchemeColors& c = CurrentSchemeColors();
    RECT r = appRect;
    bool isHot = hot.kind == HitKind::App;
    bool open = popup && popup->kind == Popup::Kind::AppMenu;
    // A glossy pill: a dark accent of the scheme with a light upper half.
    COLORREF base;
    switch (CurrentVisualScheme()) {
    case VisualScheme::Office2007Black: base = RGB(38, 38, 40); break;
    case VisualScheme::Office2007Silver: base = RGB(92, 104, 126); break;
    case VisualScheme::Office2007Aqua: base = RGB(22, 128, 140); break;
    case VisualScheme::Base:
    case VisualScheme::Windows: base = GetSysColor(COLOR_HIGHLIGHT); break;
    default: base = RGB(30, 84, 170); break;
    }
    if (open) base = Mix(base, RGB(0, 0, 0), 25);
    else if (isHot) base = Mix(base, RGB(255, 255, 255), 15);
    int radius = RectHeight(r) / 2;
    COLORREF border = Mix(base, RGB(0, 0, 0), 45);
    RoundBox(dc, r, radius, Mix(base, RGB(255, 255, 255), 30), base, border);
    RECT gloss{r.left + 2, r.top + 1, r.right - 2, r.top + RectHeight(r) / 2};
    RoundBox(dc, gloss, radius - 2, Mix(base, RGB(255, 255, 255), 62), Mix(base, RGB(255, 255, 255), 32),
             Mix(base, RGB(255, 255, 255), 45));
    // Warm glow at the bottom, like light through glass.
    RECT glow{r.left + 6, r.bottom - 6, r.right - 6, r.bottom - 1};
    RoundBox(dc, glow, 2, base, Mix(base, RGB(120, 200, 255), 45), Mix(base, RGB(120, 200, 255), 30));
    if (bar.m_hAppImage) {
        BITMAP bm{};
        GetObjectW(bar.m_hAppImage, sizeof(bm), &bm);
        int side = std::min<int>({bm.bmWidth, bm.bmHeight, RectHeight(r) - 4});
        RECT t{(r.left + r.right - side) / 2, (r.top + r.bottom - side) / 2, 0, 0};
        t.right = t.left + side;
        t.bottom = t.top + side;
        WholeImage(dc, bar.m_hAppImage, t, false);
    }
    (void)c;
}

void RibbonBar::State::PaintTabs(HDC dc) {
    const SchemeColors& c = CurrentSchemeColors();
    const COLORREF white = RGB(255, 255, 255);
    RibbonCategory* active = bar.ActiveCategory();
    bool panelsShown = !bar.m_bMinimized || (popup && popup->opener.kind == HitKind::Tab);
    for (auto& cat : bar.m_categories) {
        RECT r = cat->m_tabRect;
        if (r.right <= r.left) continue;
        bool isActive = cat.get() == active && panelsShown;
        bool isHot = hot.kind == HitKind::Tab && hot.category == cat.get();
        int saved = SaveDC(dc);
        IntersectClipRect(dc, r.left, r.top, r.right + 1, isActive ? r.bottom + 1 : r.bottom);
        RECT box = r;
        box.bottom += 8;
        if (isActive) {
            RoundBox(dc, box, 3, isHot ? white : c.activeTab, c.panelTop, c.panelBorder);
        } else if (isHot) {
            RoundBox(dc, box, 3, Mix(c.frame, white, 45), Mix(c.frame, white, 15), Mix(c.panelBorder, c.frame, 20));
        }
        RestoreDC(dc, saved);
        RECT text = r;
        text.left += 4;
        text.right -= 4;
        DrawLabel(dc, cat->m_strName, text, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_END_ELLIPSIS,
             isActive ? c.text : c.tabText);
    }
}

void RibbonBar::State::PaintKeyTips(HDC dc) {
    for (auto& tip : keyTips) {
        if (tip.keys.compare(0, typed.size(), typed) != 0) continue;
        SIZE t = TextExtent(dc, tip.keys);
        int w = std::max<int>(t.cx + 8, 16);
        RECT box{tip.at.x - w / 2, tip.at.y, tip.at.x - w / 2 + w, tip.at.y + lineHeight + 4};
        RoundBox(dc, box, 2, RGB(255, 255, 255), RGB(222, 225, 232), RGB(108, 108, 116));
        DrawLabel(dc, tip.keys, box, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX, RGB(36, 36, 40));
    }
}

void RibbonBar::State::PaintBar(HDC dc, const RECT& client) {
    const SchemeColors& c = CurrentSchemeColors();
    const COLORREF white = RGB(255, 255, 255);
    RECT row{0, 0, client.right, kTabRowHeight};
    FillGradient(dc, row, Mix(c.frame, white, 18), c.frame);
    if (!bar.m_bMinimized) {
        RECT area{0, kTabRowHeight, client.right, client.bottom};
        FillGradient(dc, area, c.panelTop, c.panelBottom);
        Line(dc, 0, kTabRowHeight, client.right, kTabRowHeight, c.panelBorder);
        Line(dc, 0, client.bottom - 1, client.right, client.bottom - 1, Mix(c.panelBorder, c.panelBottom, 30));
    } else {
        Line(dc, 0, client.bottom - 1, client.right, client.bottom - 1, c.panelBorder);
    }
    PaintTabs(dc);
    PaintAppButton(dc);
    for (auto& p : tabRow) PaintElement(dc, p, bar.Handle(), true);
    PaintPanels(dc, panels, bar.Handle());
    PaintKeyTips(dc);
}

} // namespace fw

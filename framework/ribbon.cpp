#include "ribbon.h"

#include "command.h"
#include "ribbon_draw.h"
#include "visual_scheme.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <set>

namespace fw {

using namespace ribbon_draw;

namespace {

constexpr UINT_PTR kUpdateTimer = 1;    // asks the command updater for states
constexpr UINT_PTR kTipTimer = 2;       // shows the tooltip of the hovered element
constexpr UINT kUpdateInterval = 250;
constexpr UINT kTipDelay = 600;
constexpr int kAppButtonWidth = 54;
constexpr int kQuickButton = 22;
constexpr int kSmallRow = 22;          // height of a small button row
constexpr int kLargeLabelTop = 36;     // label of a large button, from its top
constexpr int kArrowWidth = 13;        // arrow part of a small split button
constexpr int kComboArrow = 14;        // drop arrow of a combo box
constexpr int kPanelGap = 3;
constexpr int kPanelPad = 3;
constexpr const wchar_t* kBarClass = L"fw.RibbonBar";
constexpr const wchar_t* kPopupClass = L"fw.RibbonPopup";
constexpr const wchar_t* kTipClass = L"fw.RibbonTip";

bool IsCommand(int id) { return id != 0 && id != -1; }

int RectWidth(const RECT& r) { return r.right - r.left; }
int RectHeight(const RECT& r) { return r.bottom - r.top; }

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

// One keyboard-hook per thread serves every bar of the thread.
thread_local HHOOK t_keyHook = nullptr;
thread_local int t_keyHookUsers = 0;

} // namespace

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
// The bar's private state

struct RibbonBar::State {
    enum class Size { Large, Small, Collapsed };
    enum class HitKind { None, App, Tab, Element, Panel };

    struct Placed {
        RibbonElement* element = nullptr;
        RECT rect{};
        bool large = false;
    };
    struct PlacedPanel {
        RibbonPanel* panel = nullptr;
        RECT rect{};
        Size size = Size::Large;
        std::vector<Placed> elements;
    };
    struct Hit {
        HitKind kind = HitKind::None;
        RibbonElement* element = nullptr;
        RibbonCategory* category = nullptr;
        RibbonPanel* panel = nullptr;
        int part = 0;  // 1: the arrow part of a split button or a combo box
        HWND surface = nullptr;
        bool operator==(const Hit& o) const {
            return kind == o.kind && element == o.element && category == o.category && panel == o.panel &&
                   part == o.part && surface == o.surface;
        }
        bool operator!=(const Hit& o) const { return !(*this == o); }
    };
    struct UiState {
        bool enabled = true;
        bool checked = false;
        bool operator!=(const UiState& o) const { return enabled != o.enabled || checked != o.checked; }
    };
    struct KeyTip {
        std::wstring keys;
        POINT at{};  // top centre, bar client coordinates
        HitKind kind = HitKind::None;
        RibbonCategory* category = nullptr;
        RibbonElement* element = nullptr;
        RibbonPanel* panel = nullptr;
    };

    class Popup;
    class TipWindow;

    explicit State(RibbonBar& owner) : bar(owner) {}

    RibbonBar& bar;
    Font font, boldFont;
    int lineHeight = 13;
    RibbonImages mainImages;
    std::vector<std::unique_ptr<RibbonButton>> quick;  // quick access buttons
    std::map<const RibbonElement*, const RibbonElement*> quickSource;
    std::map<const RibbonElement*, const RibbonImages*> imagesOf;
    RECT appRect{};
    std::vector<Placed> tabRow;  // quick access buttons and the tab-row elements
    std::vector<PlacedPanel> panels;
    std::set<RibbonElement*> shown;
    std::map<const RibbonElement*, UiState> ui;
    Hit hot, pressed;
    bool tracking = false;
    // Tooltip.
    std::unique_ptr<TipWindow> tip;
    const RibbonElement* tipElement = nullptr;
    bool tipApp = false;
    // Key tips: 0 none, 1 application button and tabs, 2 the active category.
    int keyTipLevel = 0;
    std::wstring typed;
    std::vector<KeyTip> keyTips;
    bool altAlone = false;
    // The open pop-up (a collapsed panel, a category while minimized, or
    // the application menu) and its local message loop.
    std::unique_ptr<Popup> popup;
    bool popupDone = false;
    RibbonPanel* pendingPanel = nullptr;
    RECT pendingRect{};

    // Layout.
    static std::vector<RibbonPanel*> PanelsOf(const RibbonCategory* c) {
        std::vector<RibbonPanel*> list;
        for (auto& p : c->m_panels) list.push_back(p.get());
        return list;
    }
    void Prepare();
    void Layout();
    void LayoutTabRow(HDC dc, int width);
    std::vector<PlacedPanel> LayoutPanels(HDC dc, const std::vector<RibbonPanel*>& source, int left, int top,
                                          int width, bool reduce) const;
    int ElementWidth(HDC dc, const RibbonElement* e, bool large) const;
    bool IsLargeIn(const RibbonElement* e, Size size) const;
    int PanelWidth(HDC dc, const RibbonPanel* p, Size size) const;
    void PlaceElements(HDC dc, PlacedPanel& pp) const;
    void ApplyShown(const std::set<RibbonElement*>& now);
    void PlaceEdits();
    void CaptionMetrics(int& captionHeight) const { captionHeight = std::min(lineHeight + 3, 17); }

    // States.
    UiState StateOf(const RibbonElement* e) const;
    bool IsEnabledNow(const RibbonElement* e) const;
    bool QueryStates();

    // Hit testing and clicks.
    Hit HitTestBar(POINT pt) const;
    static Hit HitTestPanels(const std::vector<PlacedPanel>& list, POINT pt, HWND surface);
    static int PartAt(const Placed& p, POINT pt);
    void SetHot(const Hit& h);
    void Press(const Hit& h);
    void Release(const Hit& h);
    void Execute(RibbonElement* e);
    void DropDown(RibbonElement* e, int part);
    void ComboDropDown(RibbonComboBox* combo);

    // Painting.
    void PaintBar(HDC dc, const RECT& client);
    void PaintTabs(HDC dc);
    void PaintAppButton(HDC dc);
    void PaintPanels(HDC dc, const std::vector<PlacedPanel>& list, HWND surface);
    void PaintPanel(HDC dc, const PlacedPanel& pp, HWND surface);
    void PaintElement(HDC dc, const Placed& p, HWND surface, bool onFrame);
    void PaintButtonImage(HDC dc, const RibbonButton* b, bool large, int x, int y, bool disabled);
    void PaintKeyTips(HDC dc);
    void ElementBackground(HDC dc, const Placed& p, HWND surface, bool onFrame);

    // Tooltips.
    void ShowTip();
    void HideTip();

    // Key tips.
    void ShowKeyTips(int level);
    void HideKeyTips();
    bool OnKey(UINT vk, bool down, bool repeat);
    void ActivateKeyTip(const KeyTip& tip);
    static LRESULT CALLBACK KeyboardHook(int code, WPARAM wParam, LPARAM lParam);
    static std::vector<State*>& Bars() {
        static thread_local std::vector<State*> bars;
        return bars;
    }

    // Pop-ups.
    void OpenPanelPopup(RibbonPanel* panel, const RECT& below);
    void OpenCategoryPopup(RibbonCategory* category);
    void OpenAppMenu();
    void RunPopup(std::unique_ptr<Popup> p);
    void ClosePopup() { popupDone = true; }
    LRESULT PopupProc(Popup& p, UINT message, WPARAM wParam, LPARAM lParam);
    void PopupKey(Popup& p, UINT vk);
    void RunAppItem(Popup& p, size_t index);
    void PaintAppMenu(HDC dc, Popup& p);
    Hit HitTestPopup(const Popup& p, POINT pt) const;
    void Forget(const RibbonElement* e);
    void Register();
    void Unregister();
    bool registered = false;

    // Edits of combo boxes.
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
};

// A pop-up showing panels (one collapsed panel, or the active category
// while minimized) or the application menu.
class RibbonBar::State::Popup : public Window {
public:
    enum class Kind { Panels, AppMenu };
    Popup(State& s, Kind k) : st(s), kind(k) {}
    State& st;
    Kind kind;
    POINT origin{};  // the pop-up's client origin in the bar's client coordinates
    std::vector<PlacedPanel> panels;
    std::vector<Placed> items;   // application menu: main items then bottom buttons
    size_t mainCount = 0;
    int selected = -1;
    RECT itemsRect{};
    Hit opener;                  // what opened it (a click there only closes it)
    SIZE size{};
    LRESULT CallDefault(UINT message, WPARAM wParam, LPARAM lParam) { return Default(message, wParam, lParam); }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        return st.PopupProc(*this, message, wParam, lParam);
    }
};

// The tooltip: a bold title and a description below it.
class RibbonBar::State::TipWindow : public Window {
public:
    explicit TipWindow(State& s) : st(s) {}
    State& st;
    std::wstring title, text;

    SIZE Measure() {
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

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_ERASEBKGND) return 1;
        if (message == WM_NCHITTEST) return HTTRANSPARENT;
        if (message == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(Handle(), &ps);
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
            EndPaint(Handle(), &ps);
            return 0;
        }
        return Default(message, wParam, lParam);
    }
};

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
        HBRUSH border = CreateSolidBrush(c.panelBorder);
        FrameRect(dc, &box, border);
        FrameRect(dc, &arrow, border);
        DeleteObject(border);
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

// ---------------------------------------------------------------------------
// Key tips

void RibbonBar::State::ShowKeyTips(int level) {
    HideTip();
    Layout();
    keyTips.clear();
    typed.clear();
    keyTipLevel = level;
    auto letterOf = [](const std::wstring& keyTip, const std::wstring& name) {
        if (!keyTip.empty()) return keyTip;
        wchar_t m = MnemonicOf(name);
        if (!m) {
            std::wstring plain = StripMnemonic(name);
            m = plain.empty() ? L'?' : static_cast<wchar_t>(std::towupper(plain[0]));
        }
        return std::wstring(1, m);
    };
    if (level == 1) {
        KeyTip app;
        app.keys = bar.m_strAppKeyTip.empty() ? L"F" : bar.m_strAppKeyTip;
        app.at = {(appRect.left + appRect.right) / 2, appRect.bottom - 6};
        app.kind = HitKind::App;
        keyTips.push_back(app);
        int n = 1;
        for (auto& p : tabRow) {
            KeyTip t;
            bool isQuick = quickSource.count(p.element) != 0;
            if (isQuick && n <= 9)
                t.keys = std::to_wstring(n++);
            else if (!p.element->KeyTip().empty())
                t.keys = p.element->KeyTip();
            else
                continue;
            t.at = {(p.rect.left + p.rect.right) / 2, p.rect.bottom - 6};
            t.kind = HitKind::Element;
            t.element = p.element;
            keyTips.push_back(t);
        }
        for (auto& cat : bar.m_categories) {
            KeyTip t;
            t.keys = letterOf(cat->m_strKeyTip, cat->m_strName);
            t.at = {(cat->m_tabRect.left + cat->m_tabRect.right) / 2, cat->m_tabRect.bottom - 7};
            t.kind = HitKind::Tab;
            t.category = cat.get();
            keyTips.push_back(t);
        }
    } else {
        std::set<std::wstring> used;
        for (auto& pp : panels)
            for (auto& p : pp.elements)
                if (!p.element->KeyTip().empty()) used.insert(p.element->KeyTip());
        int next = 0;
        const std::wstring sequence = L"123456789ABCDEGHIJKLMNOPQRSTUVWXYZ";
        auto nextKeys = [&] {
            while (next < static_cast<int>(sequence.size())) {
                std::wstring k(1, sequence[static_cast<size_t>(next++)]);
                if (!used.count(k)) return k;
            }
            return std::wstring(L"Z") + std::to_wstring(next++);
        };
        for (auto& pp : panels) {
            if (pp.size == Size::Collapsed) {
                KeyTip t;
                t.keys = nextKeys();
                t.at = {(pp.rect.left + pp.rect.right) / 2, pp.rect.bottom - lineHeight - 6};
                t.kind = HitKind::Panel;
                t.panel = pp.panel;
                keyTips.push_back(t);
                continue;
            }
            for (auto& p : pp.elements) {
                KeyTip t;
                t.keys = p.element->KeyTip().empty() ? nextKeys() : p.element->KeyTip();
                t.at = p.large ? POINT{(p.rect.left + p.rect.right) / 2, p.rect.bottom - 6}
                               : POINT{p.rect.left + 14, p.rect.bottom - 8};
                t.kind = HitKind::Element;
                t.element = p.element;
                t.panel = pp.panel;
                keyTips.push_back(t);
            }
        }
    }
    InvalidateRect(bar.Handle(), nullptr, FALSE);
}

void RibbonBar::State::HideKeyTips() {
    if (!keyTipLevel) return;
    keyTipLevel = 0;
    keyTips.clear();
    typed.clear();
    InvalidateRect(bar.Handle(), nullptr, FALSE);
}

void RibbonBar::State::ActivateKeyTip(const KeyTip& t) {
    switch (t.kind) {
    case HitKind::App:
        HideKeyTips();
        OpenAppMenu();
        break;
    case HitKind::Tab:
        bar.SetActiveCategory(t.category);
        if (bar.m_bMinimized) {
            HideKeyTips();
            OpenCategoryPopup(t.category);
        } else {
            ShowKeyTips(2);
        }
        break;
    case HitKind::Panel: {
        HideKeyTips();
        for (auto& pp : panels)
            if (pp.panel == t.panel) {
                OpenPanelPopup(pp.panel, pp.rect);
                break;
            }
        break;
    }
    case HitKind::Element: {
        HideKeyTips();
        RibbonElement* e = t.element;
        if (!IsEnabledNow(e)) break;
        auto b = dynamic_cast<RibbonButton*>(e);
        if (dynamic_cast<RibbonComboBox*>(e))
            DropDown(e, 0);
        else if (b && b->HasMenu() && !b->m_bDefaultCommand)
            DropDown(e, 1);
        else
            Execute(e);
        break;
    }
    case HitKind::None: break;
    }
}

bool RibbonBar::State::OnKey(UINT vk, bool down, bool repeat) {
    if (vk == VK_MENU) {
        if (down) {
            if (!repeat) altAlone = true;
            return keyTipLevel != 0;
        }
        if (!altAlone) return false;
        altAlone = false;
        if (keyTipLevel)
            HideKeyTips();
        else
            ShowKeyTips(1);
        return true;
    }
    if (down) altAlone = false;
    if (vk == VK_F10 && !(GetKeyState(VK_SHIFT) & 0x8000)) {
        if (down && !repeat) {
            if (keyTipLevel)
                HideKeyTips();
            else
                ShowKeyTips(1);
        }
        return true;
    }
    if (!keyTipLevel) return false;
    if (!down) return true;
    if (vk == VK_ESCAPE) {
        if (keyTipLevel == 2 && typed.empty())
            ShowKeyTips(1);
        else if (!typed.empty()) {
            typed.clear();
            InvalidateRect(bar.Handle(), nullptr, FALSE);
        } else
            HideKeyTips();
        return true;
    }
    wchar_t ch = 0;
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) ch = static_cast<wchar_t>(vk);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) ch = static_cast<wchar_t>('0' + (vk - VK_NUMPAD0));
    if (!ch) {
        if (vk == VK_SHIFT || vk == VK_CONTROL) return true;
        HideKeyTips();
        return false;
    }
    std::wstring now = typed + ch;
    const KeyTip* exact = nullptr;
    bool prefix = false;
    for (auto& t : keyTips) {
        std::wstring upper = t.keys;
        for (auto& x : upper) x = static_cast<wchar_t>(std::towupper(x));
        if (upper == now) exact = &t;
        else if (upper.compare(0, now.size(), now) == 0) prefix = true;
    }
    if (exact) {
        KeyTip t = *exact;
        typed.clear();
        ActivateKeyTip(t);
    } else if (prefix) {
        typed = now;
        InvalidateRect(bar.Handle(), nullptr, FALSE);
    } else {
        MessageBeep(MB_OK);
    }
    return true;
}

LRESULT CALLBACK RibbonBar::State::KeyboardHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        bool up = (lParam & 0x80000000) != 0;
        bool repeat = !up && (lParam & 0x40000000) != 0;
        GUITHREADINFO gti{};
        gti.cbSize = sizeof(gti);
        bool inMenu = GetGUIThreadInfo(GetCurrentThreadId(), &gti) && (gti.flags & GUI_INMENUMODE);
        if (!inMenu) {
            for (State* s : Bars()) {
                HWND hwnd = s->bar.Handle();
                if (!hwnd || s->popup || GetFocus() == hwnd) continue;
                if (GetActiveWindow() != GetAncestor(hwnd, GA_ROOT) || !IsWindowVisible(hwnd)) continue;
                if (s->OnKey(static_cast<UINT>(wParam), !up, repeat)) return 1;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void RibbonBar::State::Register() {
    if (registered) return;
    registered = true;
    Bars().push_back(this);
    if (t_keyHookUsers++ == 0)
        t_keyHook = SetWindowsHookExW(WH_KEYBOARD, &State::KeyboardHook, nullptr, GetCurrentThreadId());
}

void RibbonBar::State::Unregister() {
    if (!registered) return;
    registered = false;
    auto& bars = Bars();
    bars.erase(std::remove(bars.begin(), bars.end(), this), bars.end());
    if (--t_keyHookUsers == 0 && t_keyHook) {
        UnhookWindowsHookEx(t_keyHook);
        t_keyHook = nullptr;
    }
}

void RibbonBar::State::Forget(const RibbonElement* e) {
    shown.erase(const_cast<RibbonElement*>(e));
    ui.erase(e);
    quickSource.erase(e);
    imagesOf.erase(e);
    if (hot.element == e) hot = Hit{};
    if (pressed.element == e) pressed = Hit{};
}

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
    HBRUSH border = CreateSolidBrush(Mix(c.panelBorder, RGB(0, 0, 0), 20));
    FrameRect(dc, &client, border);
    DeleteObject(border);
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
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(p.Handle(), &ps);
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
                HBRUSH border = CreateSolidBrush(c.panelBorder);
                FrameRect(mem.get(), &rc, border);
                DeleteObject(border);
                PaintPanels(mem.get(), p.panels, p.Handle());
            }
            BitBlt(dc, 0, 0, rc.right, rc.bottom, mem.get(), 0, 0, SRCCOPY);
        }
        EndPaint(p.Handle(), &ps);
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

LRESULT CALLBACK RibbonBar::State::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                            DWORD_PTR data) {
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
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Handle(), &ps);
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
        EndPaint(Handle(), &ps);
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

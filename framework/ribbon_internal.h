#pragma once
// The private parts of the ribbon (ribbon.h), shared by the files that
// implement it by job: ribbon.cpp (elements and the bar's public
// operations), ribbon_layout.cpp, ribbon_paint.cpp, ribbon_input.cpp (hit
// testing, clicks, the combo boxes' edits), ribbon_tip.cpp (tooltips),
// ribbon_keytips.cpp and ribbon_popup.cpp. Nothing outside those files
// includes it. User-interface thread only, like the bar.
#include "ribbon.h"

#include "command.h"
#include "ribbon_draw.h"
#include "visual_scheme.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace fw {

namespace ribbon_detail {

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

inline bool IsCommand(int id) { return id != 0 && id != -1; }
inline int RectWidth(const RECT& r) { return r.right - r.left; }
inline int RectHeight(const RECT& r) { return r.bottom - r.top; }

// A two-line label of a large button: split at the space that makes the
// longer line shortest.
std::pair<std::wstring, std::wstring> SplitLabel(HDC dc, const std::wstring& text);

} // namespace ribbon_detail

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
    static bool HookKey(WPARAM wParam, LPARAM lParam);
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


// The tooltip: a bold title and a description below it (ribbon_tip.cpp).
class RibbonBar::State::TipWindow : public Window {
public:
    explicit TipWindow(State& s) : st(s) {}
    State& st;
    std::wstring title, text;
    SIZE Measure();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

} // namespace fw

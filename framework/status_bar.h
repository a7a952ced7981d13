#pragma once
// The ribbon status bar, drawn with GDI in the current visual scheme
// (visual_scheme.h). The caption (notice) bar is in caption_bar.h.
//
// RibbonStatusBar: a bar at the bottom of its frame with a main area (left,
// its first element takes the remaining width) and an extended area (right,
// elements in the order added). Element kinds: text panes, a progress bar
// and a slider with zoom-out (-) and zoom-in (+) buttons at its ends. A
// non-empty information text is drawn across the whole bar instead of the
// elements; an empty one brings them back. A right click opens the
// configuration menu: a title line, then one item per element (the
// element's label, a tab and its current text, cut to 49 characters when
// longer than 50), separators where the areas change, each checked while
// its element is visible; choosing one flips that element's visibility.
// Visibility is saved and restored through SaveState/LoadState.
//
// A slider change (drag, click on its track, or a zoom button, which moves
// it by the page size) posts WM_COMMAND with the slider's id to the frame
// (wParam = id, lParam = 0); SetPos never posts. A pane added with
// isStatic = false highlights under the mouse and a click on it posts
// WM_COMMAND with its id the same way. Elements with tooltip text show it
// while the mouse rests on them. A pane may show a small icon before its
// text (SetIcon), and may be marked to take no place at all while its text
// is empty (SetCollapsedWhenEmpty), as a sign that shows only when it has
// something to say.
//
// The bar's window text is what it shows: the information text while there
// is one, else the texts of the panes shown, left to right, separated by
// tab characters. Screen readers and other processes read it with
// GetWindowText.
//
// It is created by the frame and lives as long as it; user-interface
// thread only; ids and element pointers stay valid for the bar's life.
//
//   fw::RibbonStatusBar bar;
//   if (!bar.Create(frame, ID_STATUSBAR)) return -1;
//   bar.AddPane(fw::RibbonStatusBar::Area::Main, ID_STATUS, L"Ready", L"Status");
#include "handles.h"
#include "window.h"

#include <memory>
#include <string>
#include <vector>

namespace fw {

class Profile;

class StatusElement {
public:
    enum class Kind { Pane, Progress, Slider };
    virtual ~StatusElement() = default;

    int Id() const { return m_nID; }
    Kind GetKind() const { return m_kind; }
    const std::wstring& Label() const { return m_strLabel; }
    const std::wstring& Text() const { return m_strText; }
    void SetText(const std::wstring& text);
    bool IsVisible() const { return m_bVisible; }
    void SetVisible(bool visible);
    void SetToolTip(const std::wstring& tip) { m_strToolTip = tip; }
    // A pane's icon, drawn at 16 x 16 before its text; null for none. The
    // caller keeps the icon alive as long as the pane shows it.
    void SetIcon(HICON icon);
    // A pane that is collapsed takes no place and shows nothing while its
    // text is empty; it stays in the configuration menu.
    void SetCollapsedWhenEmpty(bool collapsed);
    bool IsCollapsed() const { return m_bCollapseEmpty && m_strText.empty(); }
    const RECT& Rect() const { return m_rect; }

    // Progress: range 0..maximum and position. Slider: range and position.
    void SetRange(int minimum, int maximum);
    void SetPos(int pos, bool redraw = true);
    int Pos() const { return m_nPos; }
    int Minimum() const { return m_nMin; }
    int Maximum() const { return m_nMax; }

protected:
    friend class RibbonStatusBar;
    StatusElement(Kind kind, int id, const std::wstring& label) : m_kind(kind), m_nID(id), m_strLabel(label) {}
    Kind m_kind;
    int m_nID;
    std::wstring m_strLabel, m_strText, m_strToolTip;
    std::wstring m_strFitText;  // a pane is sized to fit this text
    int m_nWidth = 0, m_nHeight = 0;
    bool m_bVisible = true;
    bool m_bStatic = true;
    bool m_bCollapseEmpty = false;
    HICON m_hIcon = nullptr;
    int m_nMin = 0, m_nMax = 100, m_nPos = 0, m_nPage = 10;
    bool m_bZoomButtons = false;
    RECT m_rect{};
    class RibbonStatusBar* m_pBar = nullptr;
};

class RibbonStatusBar : public Window {
public:
    enum class Area { Main, Extended };

    RibbonStatusBar();
    ~RibbonStatusBar() override;

    [[nodiscard]] bool Create(HWND frame, UINT id);
    int Height() const;

    // A text pane; `fitText` (when not empty) fixes its width.
    StatusElement* AddPane(Area area, int id, const std::wstring& text, const std::wstring& label,
                           const std::wstring& fitText = {}, bool isStatic = true);
    StatusElement* AddProgress(Area area, int id, int width, int height, const std::wstring& label);
    StatusElement* AddSlider(Area area, int id, int width, int minimum, int maximum, int page, int pos,
                             bool zoomButtons, const std::wstring& label);
    void AddSeparator(Area area);
    StatusElement* FindById(int id) const;

    void SetInformation(const std::wstring& text);
    const std::wstring& Information() const { return m_strInformation; }
    void SetConfigurationTitle(const std::wstring& title) { m_strConfigTitle = title; }

    // Visibility of every element, as one value per element id (the id in
    // decimal as the value name; 1 visible, 0 hidden) in the key
    // "<workspace section>\<section>" of the profile. LoadState keeps the
    // current visibility of elements without a saved value.
    void SaveState(Profile& profile, const std::wstring& section) const;
    void LoadState(const Profile& profile, const std::wstring& section);
    // Places the visible elements (Rect()); hidden elements, and every
    // element while an information text shows, get an empty rectangle.
    void RecalcLayout();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The configuration menu at `screenPoint`; derived bars may replace it.
    virtual void ShowConfigurationMenu(POINT screenPoint);
    // The menu ShowConfigurationMenu shows, and what choosing one of its
    // commands does (flips that element's visibility; other values do
    // nothing). Command ids are private to the bar.
    Menu BuildConfigurationMenu() const;
    void ApplyConfigurationCommand(UINT command);

private:
    friend class StatusElement;
    enum class Part : int;
    // Sets the window text to what the bar shows (see the top of this file).
    void UpdateWindowText();
    struct Hit;
    Hit HitTest(POINT point) const;
    void Paint(HDC dc) const;
    void PaintElement(HDC dc, const StatusElement& element, size_t entry) const;
    void OnMouseMove(POINT point);
    void OnLButtonDown(POINT point);
    void OnLButtonUp(POINT point);
    void MoveSlider(StatusElement& slider, int pos);
    void PostCommand(int id) const;
    void UpdateToolTips();

    struct Entry {
        Area area;
        std::unique_ptr<StatusElement> element;  // null: a separator
    };
    std::vector<Entry> m_entries;
    std::wstring m_strInformation, m_strConfigTitle;
    struct State;
    std::unique_ptr<State> m_state;  // hover, drag, tooltip
};

} // namespace fw

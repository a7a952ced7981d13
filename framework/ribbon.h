#pragma once
// A ribbon of our own, drawn with GDI: a row of category tabs (with the
// application button at its left and some elements at its right), and
// below it the panels of the active category, each a group of elements
// with its caption underneath.
//
// Ownership: the ribbon owns its categories, a category its panels, a panel
// its elements (std::unique_ptr all the way down); pointers handed out stay
// valid as long as the ribbon. Everything runs on the user-interface thread
// of the frame that creates the ribbon.
//
// Commands: a click on an element with a command id (not 0 and not -1)
// posts WM_COMMAND (id, lParam 0) to the ribbon's parent (the frame), which
// routes it. The ribbon asks `SetCommandUpdater`'s function for the state
// (enabled, checked) of every shown element with a command id before it
// paints and at least every 250 ms, and draws disabled and checked elements
// accordingly; a disabled element does not react.
//
// Keyboard: Alt (pressed and released alone) or F10 shows key tips on the
// application button and the category tabs; the tip's letter opens that
// category (or the application menu) and then shows the tips of its
// elements; a letter runs its element. Escape goes back one level.
//
// Layout: the bar is kTabRowHeight + kPanelAreaHeight pixels high, or only
// kTabRowHeight while minimized. Each panel has three widths: large (its
// buttons large, images above labels), small (buttons small, up to three in
// a column) and collapsed (one button). Panels start large; while the sum
// does not fit the bar, the rightmost panel still large (whose small width
// is narrower) turns small; when none is left, the rightmost panel not yet
// collapsed collapses, into one button (the panel's icon and name) that
// shows the panel in a pop-up window below it.
//
// Usage:
//     auto ribbon = std::make_unique<fw::RibbonBar>();
//     ribbon->Create(frameHwnd, 0xE806);
//     fw::RibbonCategory* home = ribbon->AddCategory(L"&Home", smallStrip, largeStrip);
//     fw::RibbonPanel* nav = home->AddPanel(L"Navigate", panelIcons, 29);
//     nav->Add(std::make_unique<fw::RibbonButton>(ID_BACK, L"Previous", 3, 3));
#include "handles.h"
#include "window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fw {

class RibbonBar;
class RibbonPanel;
struct CmdUI;

// Images of a category: one bitmap strip per size, each image square,
// laid out left to right; index n is the n-th square. Magenta (255, 0, 255)
// is transparent. The ribbon does not own the bitmaps.
struct RibbonImages {
    HBITMAP small = nullptr;  // 16 x 16 images
    HBITMAP large = nullptr;  // 32 x 32 images
};

class RibbonElement {
public:
    explicit RibbonElement(int id) : m_nID(id) {}
    virtual ~RibbonElement() = default;
    RibbonElement(const RibbonElement&) = delete;
    RibbonElement& operator=(const RibbonElement&) = delete;

    int Id() const { return m_nID; }
    const std::wstring& Text() const { return m_strText; }
    void SetText(const std::wstring& text) { m_strText = text; }
    // The tooltip's title and its description line.
    const std::wstring& ToolTip() const { return m_strToolTip; }
    const std::wstring& Description() const { return m_strDescription; }
    void SetToolTip(const std::wstring& tip) { m_strToolTip = tip; }
    void SetDescription(const std::wstring& text) { m_strDescription = text; }
    // Called before the tooltip shows; may change tooltip and description.
    virtual void UpdateTooltipInfo() {}
    const std::wstring& KeyTip() const { return m_strKeyTip; }
    void SetKeyTip(const std::wstring& keys) { m_strKeyTip = keys; }
    // Where the element is, in the ribbon's client coordinates (empty while
    // it is not shown).
    const RECT& Rect() const { return m_rect; }
    RibbonBar* Ribbon() const { return m_pRibbon; }
    // Tells the element whether it is shown now (embedded windows show or
    // hide with it).
    virtual void OnShow(bool shown) { (void)shown; }

protected:
    friend class RibbonBar;
    friend class RibbonPanel;
    int m_nID;
    std::wstring m_strText, m_strToolTip, m_strDescription, m_strKeyTip;
    RECT m_rect{};
    RibbonBar* m_pRibbon = nullptr;
};

// A button: large (image above a one- or two-line label) when its panel has
// room, else small (image left of the label). With a menu it shows an arrow:
// when `defaultCommand` is true the button part runs its command and the
// arrow part opens the menu (a split button), otherwise the whole button
// opens the menu. Menu items are posted to the frame as WM_COMMAND.
class RibbonButton : public RibbonElement {
public:
    RibbonButton(int id, const std::wstring& text, int smallImage = -1, int largeImage = -1);

    int SmallImage() const { return m_nSmallImage; }
    int LargeImage() const { return m_nLargeImage; }
    void SetAlwaysLarge(bool large = true) { m_bAlwaysLarge = large; }
    // The drop-down menu (the popup shown is the menu itself, or its first
    // submenu when the menu is a bar with one popup); the button owns it.
    void SetMenu(HMENU menu, bool defaultCommand, bool rightAlign = false);
    HMENU Menu() const { return m_menu.get(); }
    bool HasMenu() const { return static_cast<bool>(m_menu); }
    // Shows the drop-down menu below the button; returns the chosen command
    // (0 when none; the command is also posted to the frame). Derived
    // buttons may fill or translate the menu first, or not show it.
    virtual UINT OnShowPopupMenu();
    // An image of its own instead of the category's strips (the ribbon
    // does not own it).
    void SetImage(HBITMAP image) { m_hImage = image; }

protected:
    friend class RibbonBar;
    // Shows `menu` below the button and posts the chosen command.
    UINT ShowMenu(HMENU menu);

    int m_nSmallImage, m_nLargeImage;
    bool m_bAlwaysLarge = false;
    fw::Menu m_menu;
    bool m_bDefaultCommand = false;
    bool m_bRightAlign = false;
    HBITMAP m_hImage = nullptr;
};

// An edit box with a drop-down list (a combo box), `width` pixels wide,
// with its label before it. The edit is a real child window of the ribbon
// ("Edit" class, created by CreateEdit, which derived elements may
// replace). Enter in the edit calls OnEnter; choosing a list item puts its
// text in the edit and calls OnSelectItem.
class RibbonComboBox : public RibbonElement {
public:
    RibbonComboBox(int id, int width, const std::wstring& label);
    ~RibbonComboBox() override;

    HWND EditWindow() const { return m_hWndEdit; }
    std::wstring EditText() const;
    void SetEditText(const std::wstring& text);
    void AddItem(const std::wstring& text) { m_items.push_back(text); }
    const std::vector<std::wstring>& Items() const { return m_items; }
    int Width() const { return m_nWidth; }
    void OnShow(bool shown) override;

protected:
    friend class RibbonBar;
    // Creates the edit window as a child of `parent`; null on failure (the
    // element then has no edit).
    virtual HWND CreateEdit(HWND parent, DWORD style);
    virtual void OnEnter() {}
    virtual void OnSelectItem(int index) { (void)index; }

    int m_nWidth;
    HWND m_hWndEdit = nullptr;
    std::vector<std::wstring> m_items;
};

class RibbonPanel {
public:
    RibbonPanel(const std::wstring& name, HIMAGELIST icons, int icon) : m_strName(name), m_hIcons(icons), m_nIcon(icon) {}
    const std::wstring& Name() const { return m_strName; }
    RibbonElement* Add(std::unique_ptr<RibbonElement> element);
    const std::vector<std::unique_ptr<RibbonElement>>& Elements() const { return m_elements; }
    // Whether the panel is collapsed into one button at the current width.
    bool IsCollapsed() const { return m_bCollapsed; }
    // Whether its buttons are shown small (image left of the label, up to
    // three in a column) to save width; buttons set always-large stay large.
    bool IsSmall() const { return m_bSmall; }

private:
    friend class RibbonBar;
    std::wstring m_strName;
    HIMAGELIST m_hIcons;
    int m_nIcon;
    std::vector<std::unique_ptr<RibbonElement>> m_elements;
    bool m_bCollapsed = false;
    bool m_bSmall = false;
    RECT m_rect{};
};

class RibbonCategory {
public:
    RibbonCategory(const std::wstring& name, const RibbonImages& images) : m_strName(name), m_images(images) {}
    const std::wstring& Name() const { return m_strName; }
    void SetName(const std::wstring& name) { m_strName = name; }
    RibbonPanel* AddPanel(const std::wstring& name, HIMAGELIST icons = nullptr, int icon = -1);
    const std::vector<std::unique_ptr<RibbonPanel>>& Panels() const { return m_panels; }
    const RibbonImages& Images() const { return m_images; }
    const std::wstring& KeyTip() const { return m_strKeyTip; }

private:
    friend class RibbonBar;
    std::wstring m_strName;
    RibbonImages m_images;
    std::vector<std::unique_ptr<RibbonPanel>> m_panels;
    std::wstring m_strKeyTip;
    RECT m_tabRect{};
};

class RibbonBar : public Window {
public:
    static constexpr int kTabRowHeight = 26;
    static constexpr int kPanelAreaHeight = 94;

    RibbonBar();
    ~RibbonBar() override;

    // Creates the bar as a child of `frame` at the top; false on failure.
    [[nodiscard]] bool Create(HWND frame, UINT id);
    // Height the frame must give the bar now.
    int Height() const;

    // The round application button at the left of the tab row: its image,
    // tooltip and key tip. Its menu lists the main category's items (from
    // top to bottom) and, at the bottom right, the bottom buttons.
    void SetApplicationButton(HBITMAP image, const std::wstring& toolTip, const std::wstring& keyTip);
    RibbonElement* AddMainItem(std::unique_ptr<RibbonButton> button);
    RibbonElement* AddMainBottomButton(std::unique_ptr<RibbonButton> button);
    // Images of the main items and bottom buttons (their large and small
    // image indexes point into these strips), and of the tab-row buttons.
    void SetMainImages(const RibbonImages& images);

    RibbonCategory* AddCategory(const std::wstring& name, const RibbonImages& images);
    const std::vector<std::unique_ptr<RibbonCategory>>& Categories() const { return m_categories; }
    RibbonCategory* ActiveCategory() const;
    void SetActiveCategory(RibbonCategory* category);
    // Elements at the right end of the tab row, left to right.
    RibbonElement* AddToTabRow(std::unique_ptr<RibbonElement> element);
    // Commands shown as small buttons in the quick access toolbar, right of
    // the application button; their images come from the element with the
    // same command elsewhere in the ribbon (or the main category).
    void SetQuickAccessCommands(const std::vector<int>& commands);

    // Minimized: only the tab row shows; a click on a category shows its
    // panels in a pop-up until the next click elsewhere.
    bool IsMinimized() const { return m_bMinimized; }
    void SetMinimized(bool minimized);
    // The category whose tab is under `point` (client coordinates), or null.
    RibbonCategory* HitTestCategory(POINT point) const;
    // Every element of the ribbon (categories, main menu, tab row) with
    // this command id, or null.
    RibbonElement* FindById(int id) const;

    // Where the ribbon gets the state of each command (see the top).
    void SetCommandUpdater(std::function<CmdUI(UINT)> updater) { m_updater = std::move(updater); }
    // Recomputes the layout and repaints.
    void RecalcLayout();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // A left button press in the bar; the default handles tabs and
    // elements. Derived bars may take some presses first.
    virtual void OnLButtonDown(POINT point);

private:
    std::vector<std::unique_ptr<RibbonCategory>> m_categories;
    std::vector<std::unique_ptr<RibbonElement>> m_tabRowElements;
    std::vector<std::unique_ptr<RibbonButton>> m_mainItems, m_mainBottom;
    std::vector<int> m_quickAccess;
    RibbonCategory* m_pActive = nullptr;
    HBITMAP m_hAppImage = nullptr;
    std::wstring m_strAppToolTip, m_strAppKeyTip;
    bool m_bMinimized = false;
    std::function<CmdUI(UINT)> m_updater;
    struct State;
    std::unique_ptr<State> m_state;  // hover, pressed, tooltip, key tips, layout caches
};

} // namespace fw

#pragma once
// The program's own kinds of ribbon elements and bars: buttons whose
// tooltips and menus speak the chosen language (and whose Previous and Next
// menus list the active tab's history), the ribbon with its toggle tab, and
// the web search box. All live on the user-interface thread, owned by the
// ribbon of the main frame.
#include "browser/taskbar_proxy.h"
#include "framework/com_ptr.h"
#include "framework/ribbon.h"
#include "framework/handles.h"
#include "framework/caption_bar.h"
#include "framework/status_bar.h"

#include <shobjidl.h>

#include <string>

// The description (first line) and tooltip (second line) of command `id`'s
// translated string, the tooltip without its mnemonic marks ("&&" stays a
// literal "&"); false when the string is missing or empty.
bool TranslatedTooltip(UINT id, std::wstring& tooltip, std::wstring& description);

class CMyMFCRibbonButton : public fw::RibbonButton {
public:
    using fw::RibbonButton::RibbonButton;
    UINT OnShowPopupMenu() override;
    void UpdateTooltipInfo() override;

private:
    bool m_bMenuTranslated = false;
};

// A button of the application menu's bottom row.
class CMyMFCRibbonMainPanelButton : public fw::RibbonButton {
public:
    using fw::RibbonButton::RibbonButton;
    void UpdateTooltipInfo() override;
};

// The ribbon: a press on the toggle tab minimizes or shows it.
class CMyMFCRibbonBar : public fw::RibbonBar {
public:
    void SetToggleCategory(fw::RibbonCategory* category) { m_pToggleCategory = category; }
    // Names the toggle tab after the minimized state.
    void NameToggleCategory();

protected:
    void OnLButtonDown(POINT point) override;

private:
    fw::RibbonCategory* m_pToggleCategory = nullptr;
};

// The web search box beside the ribbon's tabs.
class CMFCRibbonGoogleSearch : public fw::RibbonComboBox {
public:
    static constexpr int kWidth = 160;
    explicit CMFCRibbonGoogleSearch(const std::wstring& label) : fw::RibbonComboBox(-1, kWidth, label) {}

    // Searches `text` (or the edit's text when null): the trimmed text goes
    // to the main window as UWM_FRAME_WEB_SEARCH and, with `addToList`, to
    // the drop-down list. Nothing happens for an empty text.
    void Search(const wchar_t* text, bool addToList);
    // Selects the whole text of the edit and gives it the keyboard focus.
    void FocusEdit();

protected:
    HWND CreateEdit(HWND parent, DWORD style) override;
    void OnEnter() override { Search(nullptr, true); }
    void OnSelectItem(int) override { Search(nullptr, false); }
};

// The status bar adds nothing to the framework's.
using CMyMFCRibbonStatusBar = fw::RibbonStatusBar;

// The notice bar of a lost tab. While it shows, the main window's taskbar
// button carries an overlay icon where the system offers one; without the
// taskbar interface the notice works without it.
class CMyMFCCaptionBar : public fw::CaptionBar {
public:
    CMyMFCCaptionBar();
    ~CMyMFCCaptionBar() override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    fw::ComPtr<ITaskbarList3> m_pTaskbarList;
    bool m_bOverlayShown = false;
    fw::Icon m_hOverlayIcon;
};

// Percent-encodes `text` for a query: with `encodeReserved` every character
// but the ASCII letters and digits is encoded (UTF-8 bytes for the others).
std::wstring UrlEncode(const std::wstring& text, bool encodeReserved);

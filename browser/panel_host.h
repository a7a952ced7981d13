#pragma once
// The developer-toolbar panel of a tab (fennick_panel.h): the component's
// window on the left of the page, a title line with a close button above
// it, and a splitter bar between it and the page. The title line, the close
// button and the splitter are controls of the tab content's template; this
// part subclasses the splitter and the close button and keeps their state.
//
// Which copy of "panel shown" counts: this part's (IsPanelVisible). The tab
// view keeps a copy for its menu's check mark, which it takes from the
// UWM_TAB_PANEL_STATE this part sends on every change; nothing reads the
// view's copy back.
//
// Created as a member of the tab content (dialog_wb_container.h), which it
// refers to and which destroys it; the content calls OnInitDialog once its
// window exists and ReleasePanel when it goes. Everything runs on the tab
// content's thread. Window code returns bool: CreatePanel gives false (after
// telling the user why) when the component is missing, too old or fails to
// start, and leaves nothing behind, so the next command tries again.
//
//   m_panel.OnInitDialog();                       // in the content's OnInitDialog
//   int left = m_panel.Layout(width, height);     // in its layout: the page's left edge
//   m_panel.TogglePanel();                        // command 2002
//   m_panel.ReleasePanel();                       // in its teardown
#include "browser/fennick_panel.h"
#include "browser/tab_content_part.h"

#include "framework/com_ptr.h"

#include <shobjidl.h>
#include <windows.h>

#include <string>

class CPanelHost : private CTabContentPart {
public:
    explicit CPanelHost(CDialogWBContainer& dialog) : CTabContentPart(dialog) {}

    // Clears the title line and subclasses the splitter and the close
    // button of the content's new window.
    void OnInitDialog();

    // Creates the component hidden; false as described above.
    bool CreatePanel();
    // Shows or hides the panel, creating it on first use; refused in
    // version-9 tabs with a fixed message.
    void TogglePanel();
    // The component shows the page's source in its own window.
    void ViewSource();
    // Hides and closes the component; the panel is hidden afterwards. It
    // holds the page's browser and its window is the content's child, so it
    // goes before the control.
    void ReleasePanel();

    bool IsPanelVisible() const { return m_bPanelVisible; }
    int PanelWidth() const { return m_nPanelWidth; }
    HWND PanelWindow() const { return m_hWndPanel; }

    // The splitter's hooks: the area is the whole client rectangle; a
    // position in percent of the client width becomes the panel's width,
    // stored at once as "VertLeftSplitter". False for a percent outside 0..100.
    bool SetSplitterPosition(int percent);
    bool GetSplitterArea(RECT* area, RECT* limits) const;

    // Places the panel's windows in a client area of width by height while
    // the panel is shown; returns where the page begins (0 when hidden).
    int Layout(int width, int height);
    // WM_DRAWITEM of the close button: normal, pressed or hovered.
    void DrawCloseButton(const DRAWITEMSTRUCT& item) const;

private:
    void ShowPanelParts(int show);
    static LRESULT CALLBACK SplitterProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK CloseButtonProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    // Both interfaces exist whenever m_bPanelVisible is true.
    bool m_bPanelVisible = false;
    HWND m_hWndPanel = nullptr;
    fw::ComPtr<IFennickPanel> m_pPanel;
    fw::ComPtr<IDockingWindow> m_pPanelWindow;
    std::wstring m_strPanelTitle;
    int m_nPanelWidth = 200;
    // Splitter drag and close-button hover state (the two controls are
    // subclassed, their state lives here).
    bool m_bDragging = false;
    HCURSOR m_hSplitterCursor = nullptr;
    bool m_bCloseHover = false;
    bool m_bCloseTracking = false;
};

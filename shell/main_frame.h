#pragma once
// The application's main window: the tabbed window whose tabs are the
// tabs of the engine versions, a menu bar with the program's commands, and
// a status bar with the status text, the download progress and the zoom
// controls of the active tab.
#include "core/settings.h"
#include "framework/handles.h"
#include "framework/mdi.h"

#include <string>

// The frame of one tab; it adds nothing to the framework's.
class CChildFrame : public fw::MDIChildFrame {};

// Created by the application's plain start, on the main thread; deletes
// itself when its window is destroyed. `settings` must outlive the frame.
class CMainFrame : public fw::MDIFrameWnd {
public:
    // Upper limit of a tab's width, for every tab group.
    static constexpr int kMaxTabWidth = 200;
    static constexpr int kZoomSliderMax = 200;
    // Commands of the history entries of a tab.
    static constexpr UINT kFirstHistoryCommand = 4096;

    CMainFrame(const Settings& settings, HACCEL appAccelerators);
    bool PreTranslateMessage(MSG& msg) override;

    // The title rule: frame title + " (" + mode [+ " | " + "Administrator"] + ")".
    static std::wstring ComposeTitle(const std::wstring& frameTitle, bool multiProcessMode, bool elevated);

    // The zoom slider of the status bar (a trackbar, 0 to 200); null when
    // there is none.
    HWND ZoomSlider() const { return m_hWndZoomSlider; }
    // Sets the zoom label of the status bar; false when there is none.
    bool SetZoomLabel(const std::wstring& text);
    HWND StatusBar() const { return m_hWndStatusBar; }

    // The last crashed tab, for the reopen command.
    std::wstring m_strCrashURL;
    IEVERSION m_nCrashVersion = IE4;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCTW* create) override;
    void RecalcLayout() override;
    void PostNcDestroy() override { delete this; }

private:
    bool CreateMenuBar();
    bool CreateStatusBar();
    void LimitTabWidths();
    void ShowProgress(int progress, int maximum);
    void ShowWindowsDialog();
    // Lists the active tab's history at the end of the navigation menu.
    void FillHistoryMenu(HMENU popup);

    const Settings& m_settings;
    // Table 129 of the application, tried before the frame's own table.
    HACCEL m_hAppAccelerators;
    fw::Menu m_menuBar;
    HWND m_hWndStatusBar = nullptr;
    HWND m_hWndProgress = nullptr;
    HWND m_hWndZoomSlider = nullptr;
    std::wstring m_strZoomLabel;
    UINT m_nMoveToTabGroupMessage = 0;
    bool m_bHistoryListed = false;
};

// True when the process runs with an elevated token on Windows Vista or later.
bool IsProcessElevated();

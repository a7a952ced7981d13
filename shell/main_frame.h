#pragma once
// The application's main window: the ribbon with the program's commands,
// the notice bar, the tabbed window whose tabs are the tabs of the engine
// versions, and the status bar with the status text, the download progress
// and the zoom controls of the active tab.
#include "core/settings.h"
#include "framework/handles.h"
#include "framework/mdi.h"
#include "res/resource_ids.h"
#include "ribbon_elements.h"

#include <memory>
#include <string>

// The frame of one tab; it adds nothing to the framework's.
class CChildFrame : public fw::MDIChildFrame {};

// Created by the application's plain start, on the main thread, through
// Open; once its window exists the frame deletes itself when the window is
// destroyed. `settings` must outlive the frame.
class CMainFrame : public fw::MDIFrameWnd {
public:
    // Upper limit of a tab's width, for every tab group.
    static constexpr int kMaxTabWidth = 200;
    static constexpr int kZoomSliderMax = 200;
    // Commands of the history entries of a tab.
    static constexpr UINT kFirstHistoryCommand = 4096;
    // The look of a first start.
    static constexpr int kDefaultLook = ID_LOOK_OFFICE2007_BLUE;

    CMainFrame(const Settings& settings, HACCEL appAccelerators);
    bool PreTranslateMessage(MSG& msg) override;

    // Makes the window of `frame` (resources IDR_MAINFRAME, `style`) and
    // hands the frame to it: from then on the window deletes the frame
    // after its last message. Null when the window could not be made; the
    // frame has then been deleted here, once, whether its window never
    // existed or was destroyed during its creation.
    [[nodiscard]] static CMainFrame* Open(std::unique_ptr<CMainFrame> frame, DWORD style);

    // The title rule: frame title + " (" + mode [+ " | " + "Administrator"] + ")".
    static std::wstring ComposeTitle(const std::wstring& frameTitle, bool multiProcessMode, bool elevated);

    // The zoom slider (0 to 200) and the zoom label of the status bar; null
    // when the status bar has none.
    fw::StatusElement* ZoomSlider() const;
    fw::StatusElement* ZoomLabel() const;
    // The status bar's sign of the active tab's script errors: `count`
    // errors, none shown for 0. The active tab's view calls it.
    void ShowScriptErrorCount(size_t count);

    // Switches the look (commands 210 to 218) and stores it.
    void OnApplicationLook(UINT id);
    int ApplicationLook() const { return m_nAppLook; }

    // The web search of `text` by the "SearchBehaviour" setting.
    void WebSearch(const std::wstring& text);
    // The address searched for `text`.
    static std::wstring SearchAddress(const std::wstring& text);

    // Gives the Favorites button its drop-down menu (the button owns it
    // from now on; whatever it had is destroyed). `menu` is a menu bar whose
    // one popup is the favorites.
    void SetFavoritesMenu(HMENU menu);

    // The last crashed tab, for the reopen command.
    std::wstring m_strCrashURL;
    IEVERSION m_nCrashVersion = IE4;
    // The tab view whose page the notice says does not respond; null while
    // the notice shows none.
    HWND BusyNoticeView() const { return m_hWndBusyView; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(CREATESTRUCTW* create) override;
    void RecalcLayout() override;
    // Deletes the frame, once its window owns it (see Open).
    void PostNcDestroy() override;

private:
    bool LoadArtwork();
    bool CreateRibbon();
    bool CreateStatusBar();
    void LimitTabWidths();
    void ShowStatusText(const std::wstring& text);
    void ShowProgress(int progress, int maximum);
    void ShowWindowsDialog();
    // The notice of a lost tab, and its reopen command.
    void OnTabCrashed(WPARAM version, std::unique_ptr<std::wstring> url);
    void ReopenCrashedTab();
    // The notice of a tab whose page does not respond (`busy`) or answers
    // again, and the user's answer to it (UWM_TAB_BUSY_ANSWER to the view).
    void OnTabNotResponding(bool busy, HWND view);
    void AnswerBusyTab(WPARAM answer);
    // Shows the notice with the version's icon.
    void ShowNotice(IEVERSION version);
    void RegisterCommands();

    const Settings& m_settings;
    // Set by Open when the window took the frame over.
    bool m_bOwnedByWindow = false;
    // Table 129 of the application, tried before the frame's own table.
    HACCEL m_hAppAccelerators;
    int m_nAppLook = kDefaultLook;

    CMyMFCRibbonStatusBar m_wndStatusBar;
    CMyMFCRibbonBar m_wndRibbonBar;
    CMyMFCCaptionBar m_wndCaptionBar;
    fw::ImageList m_PanelImages;
    fw::Bitmap m_bmpRibbonSmall, m_bmpRibbonLarge, m_bmpMainSmall, m_bmpMainLarge, m_bmpAppButton;
    CMyMFCRibbonButton* m_pBackButton = nullptr;
    CMyMFCRibbonButton* m_pForwardButton = nullptr;
    CMyMFCRibbonButton* m_pFavoritesButton = nullptr;
    CMFCRibbonGoogleSearch* m_pSearchBox = nullptr;
    fw::RibbonCategory* m_pToggleCategory = nullptr;
    UINT m_nMoveToTabGroupMessage = 0;
    HWND m_hWndBusyView = nullptr;
};

// True when the process runs with an elevated token on Windows Vista or later.
bool IsProcessElevated();

#pragma once
// The view of one tab: the main-process end of the tab's message protocol.
// It owns the tab's engine thread, turns the user's commands into thread
// messages for it, and turns the engine's notifications into the tab's
// caption, the frame's status text and progress, the tab's history, busy
// flag, zoom, download flags, current address and the script errors of its
// page (the status bar's sign while the tab is the active one; the frame
// lists them when the sign is clicked).
//
// Created by the tab templates on the user-interface thread; deletes itself
// when its window goes. It reaches the engine only by PostThreadMessage to
// the thread's identifier: the thread object deletes itself when its thread
// ends (which in multi-process mode can come before the view goes), so the
// view never touches the object after starting it, and a post to an ended
// thread simply fails.
#include "core/script_error_log.h"
#include "core/versions.h"
#include "framework/document.h"
#include "framework/handles.h"

#include <memory>
#include <string>
#include <vector>

class CIEThread;
class CVantrellDoc;

// One entry of a tab's history.
class CHistoryObj {
public:
    virtual ~CHistoryObj() = default;
    std::wstring m_strTitle;
    std::wstring m_strURL;
    UINT m_nID = 0;
};

class CVantrellView : public fw::View {
public:
    static constexpr size_t kMaxHistory = 10;
    static constexpr DWORD kInitialDownloadFlags = 0x4070;

    CVantrellView();
    ~CVantrellView() override;

    CVantrellDoc* GetDocument() const;
    void OnInitialUpdate() override;
    void OnActivateView(bool activate, fw::View* activated, fw::View* deactivated) override;

    // Posts a thread message to the tab's engine; false when there is no
    // engine thread (any more).
    bool PostToEngine(UINT message, WPARAM wParam, LPARAM lParam) const;

    // The history lists of the Previous and Next drop-downs, nearest first.
    std::vector<const CHistoryObj*> BackList() const;
    std::vector<const CHistoryObj*> ForwardList() const;

    // History: adding a page (URL u, title t) and choosing an entry.
    void AddHistory(const std::wstring& url, const std::wstring& title);
    void SelectHistory(UINT id);

    // The zoom of slider position p, and the position of zoom z.
    static int ZoomOfSliderPos(int pos);
    static int SliderPosOfZoom(int zoom);

    // Who owns each piece of the tab's state. The view owns what the user
    // chose for the tab: the zoom (m_nZoom) and the feature switches
    // (m_dwDownloadFlags); the tab content keeps copies of them, refreshed by
    // UWM_TAB_ZOOM and UWM_TAB_DOWNLOAD_FLAGS, only to apply them. The tab
    // content owns what the page does: its address list (the view's
    // m_strCurrentURL is a copy kept from UWM_TAB_ADDRESS, for the lost-tab
    // notice) and whether the panel shows (m_bPanelShown, a copy kept from
    // UWM_TAB_PANEL_STATE for the check mark). The document owns the version
    // and the first address; the engine thread and the tab content get them
    // at their start and never change them.
    DWORD m_nEngineThreadId = 0;
    std::vector<std::unique_ptr<CHistoryObj>> m_arHistory;
    int m_nHistoryPos = 0;
    bool m_bBusy = false;
    int m_nZoom = 100;
    fw::UniqueHandle m_hThreadDoneEvent;
    bool m_bPanelShown = false;
    // The proxy reported that the tab's child process does not respond.
    bool m_bNotResponding = false;
    DWORD m_dwDownloadFlags = kInitialDownloadFlags;
    std::wstring m_strCurrentURL;
    // The script errors of the page the tab shows, from the tab content's
    // reports; a new page (UWM_TAB_PAGE_STARTED) starts them afresh.
    static constexpr size_t kKeptScriptErrors = 500;
    const ScriptErrorLog& ScriptErrors() const { return m_scriptErrors; }
    // The address of the page on display, from its UWM_TAB_HISTORY_ADD.
    std::wstring m_strPageURL;
    // The tab's link group (tab_links.h); 0 when the tab is not linked.
    // Linked tabs repeat this view's navigation, scrolling, zoom and text
    // size; what a view does because a partner asked is not repeated again.
    int m_nLinkGroup = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void RegisterCommands();
    void EngineCommand(UINT id) const;
    void Navigate(const std::wstring& url) const;
    void ApplyZoomSlider();
    void MoveZoomSlider(int pos);
    // Zoom in or out by one step; nothing at slider position 0 (zoom 10 %).
    void StepZoomSlider(int delta);
    void ToggleDownloadFlag(DWORD bit);
    void OnMustClose(int reason);
    // The frame's sign shows this tab's count while it is the active tab.
    void ShowScriptErrorSign() const;
    // Runs an engine command here and, unless it came posted to this view
    // alone (refresh all), in the linked tabs.
    void FollowedCommand(UINT id);
    // Sets the zoom the user chose and sends it to the engine.
    void SetZoom(int zoom);
    LRESULT OnTabMessage(UINT message, WPARAM wParam, LPARAM lParam);

    ScriptErrorPairReader m_scriptErrorReader;
    ScriptErrorLog m_scriptErrors{kKeptScriptErrors};
    // True while a command posted straight to this view runs.
    bool m_bPostedCommand = false;
};

#pragma once
// The tab content: the window that fills a tab, with the address box above
// the page and the page itself, a WebBrowser control of the tab's engine
// version. It lives on the tab's engine thread (multi-thread mode) or on the
// main thread of the tab's child process, and its window is always a child
// of the tab view's window.
//
// Created by the engine thread (in-process) or the child's start-up, which
// set the public members and call Create(IDD_TAB_CONTENT, view). The control
// is created in OnInitDialog on the dialog's own thread, so the isolation
// layer hands it the thread's engine version. All of the dialog's code runs
// on that thread; it reaches the view only by posted messages (in-process)
// or through its owner (child process), never by a sent one.
// Window and dialog code returns bool; COM-facing code returns HRESULTs;
// nothing throws out of a window procedure or a COM method.
//
// Its parts live in files of their own, each owning its state: the zoom
// and text size (tab_zoom.h), the scroll position that linked tabs follow
// (tab_scroll.h), the developer-toolbar panel (panel_host.h) and the
// taskbar thumbnail (tab_thumbnail.h).
//
// Linked tabs: the content reports the navigations the user starts inside
// the tab (a link, a form, the address box) with UWM_TAB_LINK_NAVIGATE, and
// not those the view asks for (UWM_TAB_NAVIGATE, the engine commands), so a
// navigation that a linked tab repeats is not repeated back. The dialog owns them as
// members, hands them its messages and keeps its public functions for
// them, so callers see one class.
#include "browser/control_site.h"
#include "browser/panel_host.h"
#include "browser/tab_content_owner.h"
#include "browser/tab_scroll.h"
#include "browser/tab_thumbnail.h"
#include "browser/tab_zoom.h"
#include "core/messages.h"
#include "core/versions.h"

#include "framework/com_ptr.h"
#include "framework/ole_control.h"
#include "framework/profile.h"
#include "framework/window.h"

#include <exdisp.h>
#include <mshtml.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>
#include <vector>

// Base of the tab content: the operations a splitter bar on the dialog uses.
class CDialogFNK : public fw::Dialog {
public:
    virtual bool SetSplitterPosition(int /*splitterId*/, int /*percent*/) { return false; }
    virtual bool GetSplitterArea(int /*splitterId*/, RECT* /*area*/, RECT* /*limits*/) { return false; }
};

class CDialogWBContainer : public CDialogFNK {
public:
    CDialogWBContainer();
    ~CDialogWBContainer() override;

    // In a child process the dialog moves itself on WM_SIZE and ends the
    // process's loop when destroyed.
    bool m_bChildProcess = false;
    // Where the notifications go (tab_content_owner.h); set before Create.
    // Not owned; without one they are dropped.
    void SetOwner(ITabContentOwner* owner) { m_pOwner = owner; }
    std::wstring m_strURL;
    IEVERSION m_nVersion = IEDefault;
    HWND m_hWndTopLevel = nullptr;
    DWORD m_dwDownloadFlags = 0x4070;

    // Adds an address to the address list (newest first, no duplicates in
    // any letter case) and tells the view when it is new.
    void AddUrlToAddressList(const std::wstring& url);
    void Navigate(const std::wstring& url);
    void RecalcLayout();
    bool PreTranslateMessage(MSG& msg) override;

    // The developer-toolbar panel on the left of the page (fennick_panel.h),
    // hosted by m_panel (panel_host.h), whose "shown" is the one that counts.
    // Creates the component hidden; false (after telling the user why, when
    // the component is missing, too old or failed to start) leaves the tab
    // without one, so the next command tries again.
    bool CreatePanel() { return m_panel.CreatePanel(); }
    // Commands 2002 and 1018: shows or hides the panel, creating it on first
    // use; refused in version-9 tabs.
    void TogglePanel() { m_panel.TogglePanel(); }
    // Command 328: the component shows the page's source in its own window.
    void ViewSource() { m_panel.ViewSource(); }
    bool IsPanelVisible() const { return m_panel.IsPanelVisible(); }
    int PanelWidth() const { return m_panel.PanelWidth(); }
    HWND PanelWindow() const { return m_panel.PanelWindow(); }
    // The splitter's hooks: the area is the whole client rectangle; a
    // position in percent of the client width becomes the panel's width,
    // stored at once as "VertLeftSplitter". False for a percent outside 0..100.
    bool SetSplitterPosition(int splitterId, int percent) override;
    bool GetSplitterArea(int splitterId, RECT* area, RECT* limits) override;

    // The hosted control, for the commands and for tests; null before
    // OnInitDialog and after teardown.
    IWebBrowser2* Browser() const { return m_pBrowser.get(); }
    HWND BrowserWindow() const { return m_hWndBrowser; }
    // The control's HTML document, or null.
    fw::ComPtr<IHTMLDocument2> Document() const;

    // Notifications to the view, handed to the owner.
    void Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam);
    void NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam);
    void NotifyStrings(UINT message, const std::wstring& first, const std::wstring& second);

    // Scales the page by wrapping its body's content in a DIV with a CSS zoom
    // (found again by its identifier), frames and framesets included;
    // `nested` for frame documents. False when the document's frames could
    // not be visited. Every failing call ends that document's zoom quietly.
    bool ApplyZoom(IHTMLDocument2* document, int percent, bool nested) {
        return m_zoom.ApplyZoom(document, percent, nested);
    }
    // The identifier of the zoom wrapper, which pages may see.
    static constexpr const wchar_t* kZoomWrapperId = CTabZoom::kZoomWrapperId;
    // The last zoom the view sent (UWM_TAB_ZOOM), kept for the next pages;
    // the view's own is the one that counts (tab_zoom.h).
    int Zoom() const { return m_zoom.Zoom(); }

    // UWM_TAB_CAPTURE: draws the page into a picture of `width` by `height`
    // and writes it to `file` as PNG (page_picture.h). The control fills the
    // whole dialog while it is drawn, so the page keeps the width it was laid
    // out for; the address box comes back afterwards. Returns the HRESULT
    // that UWM_TAB_CAPTURED carries; E_NOINTERFACE without a control or when
    // neither the control nor its document can draw itself.
    HRESULT CapturePage(const std::wstring& file, int width, int height);

    // The tab's taskbar thumbnail window (taskbar_proxy.h); null when the
    // thumbnails are off or the system has none.
    HWND TaskbarProxyWindow() const { return m_thumbnail.ProxyWindow(); }

    // The settings profile: the application's, or (in a process without an
    // application object, as in tests) the same key opened directly.
    static const fw::Profile& SettingsProfile();

    // The ambient properties the control reads through its site: the
    // download-control flags.
    bool OnAmbientProperty(DISPID id, VARIANT* value);

    // The events of the control's two event interfaces, by dispatch id.
    HRESULT OnBrowserEvent(DISPID id, DISPPARAMS* params);
    HRESULT OnOldBrowserEvent(DISPID id, DISPPARAMS* params);

protected:
    BOOL OnInitDialog() override;
    bool DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void PostNcDestroy() override;

private:
    static LRESULT CALLBACK AddressEditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    // Makes the address box again when it came without its edit field.
    void EnsureAddressBox();
    static constexpr int kAddressBoxAttempts = 3;
    class EventSink;

    void OnCommand(UINT id);
    void OnDestroy();
    void OnParentNotify(WPARAM wParam, LPARAM lParam);
    // True when the object an event names is the control itself, not a frame.
    bool IsTopLevelBrowser(IDispatch* disp) const;
    // Asks the page's unload handlers; true when the page may go (or the
    // question could not be asked, when `failureAllows`).
    bool MayUnload(bool failureAllows);
    void PostBrowserToView();
    // Navigates for the view: the navigation is not the user's.
    void NavigateForView(const std::wstring& url);
    void ExecPrint(DWORD command);

    ITabContentOwner* m_pOwner = nullptr;
    // The address box's entries, newest first, as the box holds them.
    std::vector<std::wstring> m_arAddresses;
    CDialogWBContainerCustomControlSite m_site;
    fw::OleControl m_wndBrowser;
    fw::ComPtr<IWebBrowser2> m_pBrowser;
    fw::ComPtr<EventSink> m_pEvents;
    fw::ComPtr<EventSink> m_pOldEvents;
    DWORD m_dwEventsCookie = 0;
    HWND m_hWndBrowser = nullptr;
    bool m_bDestroying = false;
    // Set while the view's own request navigates: the engine's
    // BeforeNavigate2 of the page comes during the call.
    bool m_bViewNavigation = false;

    // The parts; OnDestroy takes them down in the order thumbnail, panel,
    // and then the events and the control.
    CTabZoom m_zoom;
    CTabScroll m_scroll;
    CTabThumbnail m_thumbnail;
    CPanelHost m_panel;
};

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
#include "browser/control_site.h"
#include "browser/fennick_panel.h"
#include "browser/tab_content_owner.h"
#include "browser/taskbar_proxy.h"
#include "core/messages.h"
#include "core/versions.h"

#include "framework/com_ptr.h"
#include "framework/ole_control.h"
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
    int m_nZoom = 100;
    DWORD m_dwDownloadFlags = 0x4070;

    // Adds an address to the address list (newest first, no duplicates in
    // any letter case) and tells the view when it is new.
    void AddUrlToAddressList(const std::wstring& url);
    void Navigate(const std::wstring& url);
    void RecalcLayout();
    bool PreTranslateMessage(MSG& msg) override;

    // The developer-toolbar panel on the left of the page (fennick_panel.h).
    // Creates the component hidden; false (after telling the user why, when
    // the component is missing, too old or failed to start) leaves the tab
    // without one, so the next command tries again.
    bool CreatePanel();
    // Commands 2002 and 1018: shows or hides the panel, creating it on first
    // use; refused in version-9 tabs.
    void TogglePanel();
    // Command 328: the component shows the page's source in its own window.
    void ViewSource();
    bool IsPanelVisible() const { return m_bPanelVisible; }
    int PanelWidth() const { return m_nPanelWidth; }
    HWND PanelWindow() const { return m_hWndPanel; }
    // The splitter's hooks: the area is the whole client rectangle; a
    // position in percent of the client width becomes the panel's width,
    // stored at once as "VertLeftSplitter". False for a percent outside 0..100.
    bool SetSplitterPosition(int splitterId, int percent) override;
    bool GetSplitterArea(int splitterId, RECT* area, RECT* limits) override;

    // The hosted control, for the commands and for tests; null before
    // OnInitDialog and after teardown.
    IWebBrowser2* Browser() const { return m_pBrowser.get(); }
    HWND BrowserWindow() const { return m_hWndBrowser; }

    // Notifications to the view, handed to the owner.
    void Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam);
    void NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam);
    void NotifyStrings(UINT message, const std::wstring& first, const std::wstring& second);

    // Scales the page by wrapping its body's content in a DIV with a CSS zoom
    // (found again by its identifier), frames and framesets included;
    // `nested` for frame documents. False when the document's frames could
    // not be visited. Every failing call ends that document's zoom quietly.
    bool ApplyZoom(IHTMLDocument2* document, int percent, bool nested);
    // The identifier of the zoom wrapper, which pages may see.
    static constexpr const wchar_t* kZoomWrapperId = L"__bm__fennickbar__zoom__";

    // UWM_TAB_CAPTURE: draws the page into a picture of `width` by `height`
    // and writes it to `file` as PNG (page_picture.h). The control fills the
    // whole dialog while it is drawn, so the page keeps the width it was laid
    // out for; the address box comes back afterwards. Returns the HRESULT
    // that UWM_TAB_CAPTURED carries; E_NOINTERFACE without a control or when
    // neither the control nor its document can draw itself.
    HRESULT CapturePage(const std::wstring& file, int width, int height);

    // The tab's taskbar thumbnail window (taskbar_proxy.h); null when the
    // thumbnails are off or the system has none.
    HWND TaskbarProxyWindow() const { return m_taskBarProxy.Handle(); }

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
    // The control's HTML document, or null.
    fw::ComPtr<IHTMLDocument2> Document() const;
    // UWM_TAB_ZOOM; the message's result.
    LRESULT OnZoomRequest(int percent);
    // Re-applies the tab's zoom to a newly loaded page.
    void ReapplyZoom();
    bool ZoomFrames(IHTMLDocument2* document, int percent);
    void ExecPrint(DWORD command);
    void SetTextSize(int level);
    void ReleasePanel();
    // Taskbar thumbnail requests relayed by the proxy window, and the
    // picture of the page they answer with.
    void CreateTaskbarProxy();
    void InvalidateTaskbarBitmaps() const;
    void OnTaskbarThumbnail(int maxWidth, int maxHeight) const;
    void OnTaskbarLivePreview() const;
    void OnTaskbarActivate(WPARAM state);
    void OnTaskbarSysCommand(WPARAM command, LPARAM lParam);
    // The page drawn at the size of the control's window; null (with the
    // window's size still set) when it cannot be taken.
    fw::Bitmap CapturePageBitmap(SIZE& size) const;
    void ShowPanelParts(int show);
    // Draws the close button: normal, pressed or hovered.
    void DrawCloseButton(const DRAWITEMSTRUCT& item) const;
    static LRESULT CALLBACK SplitterProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT CALLBACK CloseButtonProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

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

    CTaskBarProxyWnd m_taskBarProxy;
    // The thumbnail shown when no picture of the page can be taken.
    fw::Bitmap m_imgNoPreview;

    // The panel: both interfaces exist whenever m_bPanelVisible is true.
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

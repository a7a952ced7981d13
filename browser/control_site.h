#pragma once
// What the tab content's control site adds to the framework's site: the
// document host handler the engine asks for (border and theme flags, the
// engine's own menus and message boxes, the application's shortcuts inside
// pages, the window.external object) and the ambient properties of the tab.
//
// One per tab content, embedded in it and living as long as it; the handler
// shares the framework site's identity and reference count, so the engine
// keeps the site (not this object) alive through it. Runs on the dialog's
// thread. The process-wide host options are written by start-up (and the
// options sheet) on the main thread and read here.
#include "browser/script_errors.h"
#include "browser/window_external.h"
#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/ole_control.h"

#include <mshtmhst.h>

#include <atomic>

class CDialogWBContainer;

// What every tab's site reads, set by the process's start-up.
struct BrowserHostOptions {
    // Table 129 of the application; null in a child process, whose pages
    // keep every key.
    HACCEL hAccelTable = nullptr;
    // Where the table's commands go; null: the thread's main window (an
    // engine thread has none: the active window). A child process sends
    // them to the parent's main frame.
    HWND hWndAcceleratorTarget = nullptr;
    // Pages get the engine's own window.external instead of the program's.
    // A copy of the live settings' switch, written only by ApplyTabSettings.
    std::atomic<bool> bDisableWindowExternal{false};
};
BrowserHostOptions& GetBrowserHostOptions();
// Makes the stored settings that tabs follow take effect in this process:
// window.external, the filters switch, the home page. Called on the
// process's main thread by start-up, the options sheet and, in a child,
// when the parent announces a change.
struct Settings;
void ApplyTabSettings(const Settings& settings);

class CDialogWBContainerCustomControlSite final : public fw::OleControlSiteOwner {
public:
    explicit CDialogWBContainerCustomControlSite(CDialogWBContainer& dialog);
    CDialogWBContainerCustomControlSite(const CDialogWBContainerCustomControlSite&) = delete;
    CDialogWBContainerCustomControlSite& operator=(const CDialogWBContainerCustomControlSite&) = delete;

    bool OnAmbientProperty(DISPID id, VARIANT* value) override;
    HRESULT QuerySiteInterface(IUnknown* site, REFIID iid, void** out) override;

    // The handler the engine gets from the site.
    // A tear-off of the framework site (its outer, not counted).
    class XDocHostUIHandler final : public fw::TearOff<IDocHostUIHandler> {
    public:
        CCustomWindowExternal* m_pExternal = nullptr;  // the site's own; not counted here

        STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override;
        STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
        STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                            IOleInPlaceUIWindow*) override;
        STDMETHODIMP HideUI() override;
        STDMETHODIMP UpdateUI() override;
        STDMETHODIMP EnableModeless(BOOL) override;
        STDMETHODIMP OnDocWindowActivate(BOOL) override;
        STDMETHODIMP OnFrameWindowActivate(BOOL) override;
        STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
        STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID*, DWORD) override;
        STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override;
        STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override;
        STDMETHODIMP GetExternal(IDispatch** dispatch) override;
        STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override;
        STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override;
    };

private:
    CDialogWBContainer& m_dialog;
    // The one window.external of the tab's pages, for the life of the site.
    fw::ComPtr<CCustomWindowExternal> m_external;
    XDocHostUIHandler m_xDocHostUIHandler;
    // The engine's script errors (script_errors.h), handed on to the view.
    CScriptErrorSink m_xScriptErrors;
};

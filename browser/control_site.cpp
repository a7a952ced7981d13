#include "control_site.h"

#include "core/settings.h"
#include "isolation/isolation.h"

#include "dialog_wb_container.h"

#include "framework/thread.h"

BrowserHostOptions& GetBrowserHostOptions() {
    static BrowserHostOptions options;
    return options;
}

void ApplyTabSettings(const Settings& settings) {
    GetBrowserHostOptions().bDisableWindowExternal = settings.disableWindowExternal;
    SetFiltersDisabled(settings.disableFilters);
    g_strHomePage = settings.homePage;
}

CDialogWBContainerCustomControlSite::CDialogWBContainerCustomControlSite(CDialogWBContainer& dialog)
    : m_dialog(dialog) {
    m_external.attach(CCustomWindowExternal::Create());
    m_xDocHostUIHandler.m_pExternal = m_external.get();
    m_xScriptErrors.m_reporter = [this](const ScriptErrorReport& e) {
        m_dialog.Notify(UWM_TAB_SCRIPT_ERROR_AT, static_cast<std::uint32_t>(e.line), static_cast<std::uint32_t>(e.character));
        m_dialog.NotifyStrings(UWM_TAB_SCRIPT_ERROR, e.message, e.url);
    };
}

bool CDialogWBContainerCustomControlSite::OnAmbientProperty(DISPID id, VARIANT* value) {
    return m_dialog.OnAmbientProperty(id, value);
}

HRESULT CDialogWBContainerCustomControlSite::QuerySiteInterface(IUnknown* site, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IOleCommandTarget)) {
        m_xScriptErrors.SetOuter(site);
        *out = static_cast<IOleCommandTarget*>(&m_xScriptErrors);
        site->AddRef();
        return S_OK;
    }
    if (!IsEqualIID(iid, IID_IDocHostUIHandler)) return E_NOINTERFACE;
    m_xDocHostUIHandler.SetOuter(site);
    *out = static_cast<IDocHostUIHandler*>(&m_xDocHostUIHandler);
    site->AddRef();
    return S_OK;
}

using Handler = CDialogWBContainerCustomControlSite::XDocHostUIHandler;

// The engine shows its own context menu.
STDMETHODIMP Handler::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) { return S_FALSE; }

STDMETHODIMP Handler::GetHostInfo(DOCHOSTUIINFO* info) {
    if (!info) return E_INVALIDARG;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_THEME;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

// The host shows its own interface: nothing of the engine's is merged.
STDMETHODIMP Handler::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                             IOleInPlaceUIWindow*) {
    return S_OK;
}
STDMETHODIMP Handler::HideUI() { return S_OK; }
STDMETHODIMP Handler::UpdateUI() { return S_OK; }
STDMETHODIMP Handler::EnableModeless(BOOL) { return S_OK; }
STDMETHODIMP Handler::OnDocWindowActivate(BOOL) { return E_NOTIMPL; }
STDMETHODIMP Handler::OnFrameWindowActivate(BOOL) { return E_NOTIMPL; }
STDMETHODIMP Handler::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }

// The application's shortcuts work inside pages: a key of its table becomes
// the table's command for the thread's main window (an engine thread has
// none of its own, so the window active as seen from that thread).
STDMETHODIMP Handler::TranslateAccelerator(LPMSG msg, const GUID*, DWORD) {
    HACCEL table = GetBrowserHostOptions().hAccelTable;
    fw::WinThread* thread = fw::WinThread::Current();
    if (!msg || !table || !thread) return S_FALSE;
    HWND target = GetBrowserHostOptions().hWndAcceleratorTarget;
    if (!target) target = thread->MainWindow() ? thread->MainWindow() : GetActiveWindow();
    if (target && ::TranslateAcceleratorW(target, table, msg)) return S_OK;
    return S_FALSE;
}

STDMETHODIMP Handler::GetOptionKeyPath(LPOLESTR* key, DWORD) {
    if (key) *key = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP Handler::GetDropTarget(IDropTarget*, IDropTarget** target) {
    if (target) *target = nullptr;
    return E_NOTIMPL;
}

// Every page of the tab gets the site's one window.external object, unless
// the user switched it off; the engine then gives pages its own.
STDMETHODIMP Handler::GetExternal(IDispatch** dispatch) {
    if (GetBrowserHostOptions().bDisableWindowExternal.load(std::memory_order_relaxed)) return S_FALSE;
    if (!dispatch) return E_INVALIDARG;
    if (!m_pExternal) return S_FALSE;
    *dispatch = m_pExternal;
    m_pExternal->AddRef();
    return S_OK;
}

STDMETHODIMP Handler::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP Handler::FilterDataObject(IDataObject*, IDataObject** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

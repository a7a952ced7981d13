#include "dialog_wb_container.h"

#include "browser/page_picture.h"
#include "core/locations.h"
#include "core/settings.h"
#include "framework/app.h"
#include "framework/com_object.h"
#include "framework/errors.h"
#include "framework/handles.h"
#include "framework/profile.h"
#include "isolation/isolation.h"
#include "res/resource_ids.h"

#include <commctrl.h>
#include <cwchar>
#include <exdispid.h>
#include <mshtmcid.h>
#include <mshtml.h>
#include <olectl.h>

#include <algorithm>
#include <mutex>

namespace {

// The ambient property through which the engine reads its download-control
// flags (DISPID_AMBIENT_DLCONTROL).
constexpr DISPID kAmbientDownloadControl = -5512;
// The old-style NewWindow event of DWebBrowserEvents.
constexpr DISPID kOldNewWindow = 107;
// The command group of the engine's document commands (CGID_MSHTML, which
// the toolchain declares but its libraries do not define).
constexpr GUID kCgidMshtml = {0xDE4BA900, 0x59CA, 0x11CF, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// Refresh2's level for a refresh that bypasses the cache.
constexpr int kRefreshCompletely = 3;

// Argument `index` (in the event's own order) of an event, references
// followed, or null when the event has fewer arguments.
const VARIANT* Argument(const DISPPARAMS* params, UINT index) {
    if (!params || index >= params->cArgs || !params->rgvarg) return nullptr;
    const VARIANT* v = &params->rgvarg[params->cArgs - 1 - index];
    if (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal) v = v->pvarVal;
    return v;
}

std::wstring StringArgument(const DISPPARAMS* params, UINT index) {
    const VARIANT* v = Argument(params, index);
    if (!v) return {};
    if (v->vt == VT_BSTR) return v->bstrVal ? std::wstring(v->bstrVal, SysStringLen(v->bstrVal)) : std::wstring();
    if (v->vt == (VT_BSTR | VT_BYREF) && v->pbstrVal && *v->pbstrVal)
        return std::wstring(*v->pbstrVal, SysStringLen(*v->pbstrVal));
    VARIANT copy;
    VariantInit(&copy);
    std::wstring out;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(v), 0, VT_BSTR)) && copy.bstrVal)
        out.assign(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return out;
}

long NumberArgument(const DISPPARAMS* params, UINT index) {
    const VARIANT* v = Argument(params, index);
    if (!v) return 0;
    VARIANT copy;
    VariantInit(&copy);
    long out = 0;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(v), 0, VT_I4))) out = copy.lVal;
    VariantClear(&copy);
    return out;
}

IDispatch* DispatchArgument(const DISPPARAMS* params, UINT index) {
    const VARIANT* v = Argument(params, index);
    if (!v) return nullptr;
    if (v->vt == VT_DISPATCH) return v->pdispVal;
    if (v->vt == (VT_DISPATCH | VT_BYREF) && v->ppdispVal) return *v->ppdispVal;
    return nullptr;
}

// Sets a by-reference Boolean argument (Cancel, Processed).
void SetBoolArgument(DISPPARAMS* params, UINT index, bool value) {
    if (!params || index >= params->cArgs || !params->rgvarg) return;
    VARIANT* v = &params->rgvarg[params->cArgs - 1 - index];
    if (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal) v = v->pvarVal;
    if (v->vt == (VT_BOOL | VT_BYREF) && v->pboolVal) *v->pboolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    else if (v->vt == VT_BOOL) v->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

std::wstring ToString(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

} // namespace

const fw::Profile& CDialogWBContainer::SettingsProfile() {
    if (fw::WinApp* app = fw::GetApp(); app && app->GetProfile().IsSet()) return app->GetProfile();
    static const fw::Profile fallback = [] {
        fw::Profile p;
        p.SetRegistryKey(kCompanyKey, L"Vantrell");
        return p;
    }();
    return fallback;
}

// A sink for one of the control's event interfaces; it hands every event to
// the dialog while the dialog is there.
class CDialogWBContainer::EventSink final : public fw::DispatchObject<EventSink, IDispatch> {
public:
    EventSink(CDialogWBContainer* dialog, REFIID events, bool oldStyle)
        : m_pDialog(dialog), m_events(events), m_bOldStyle(oldStyle) {}
    void Detach() { m_pDialog = nullptr; }

protected:
    // The event interface it stands for is an IDispatch too.
    HRESULT QueryOtherInterface(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, m_events)) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    // The old-style interface's one method, for callers that ask by name.
    std::span<const fw::DispatchName> DispatchNames() const override {
        static constexpr fw::DispatchName kOldStyle[] = {{L"NewWindow", kOldNewWindow}};
        return m_bOldStyle ? std::span<const fw::DispatchName>(kOldStyle) : std::span<const fw::DispatchName>();
    }
    HRESULT OnInvoke(DISPID id, WORD, DISPPARAMS* params, VARIANT*, UINT*) override {
        if (!m_pDialog) return S_OK;
        return m_bOldStyle ? m_pDialog->OnOldBrowserEvent(id, params) : m_pDialog->OnBrowserEvent(id, params);
    }

private:
    CDialogWBContainer* m_pDialog;
    IID m_events;
    bool m_bOldStyle;
};

CDialogWBContainer::CDialogWBContainer()
    : m_site(*this), m_zoom(*this), m_scroll(*this), m_thumbnail(*this), m_panel(*this) {}

CDialogWBContainer::~CDialogWBContainer() {
    // A dialog whose window never went through WM_DESTROY (creation failed
    // half-way) still lets go of its control here.
    OnDestroy();
}

void CDialogWBContainer::EnsureAddressBox() {
    // Under Wine, with several tabs built at the same moment, the address box
    // now and then comes without its inner combo box and edit field (their
    // creation fails with "invalid window handle", as a tab content's whole
    // CreateDialog sometimes does then), and cannot take an address. It is
    // made again in the same place, with the same style and font.
    for (int attempt = 0; attempt < kAddressBoxAttempts; ++attempt) {
        HWND box = Item(IDC_ADDRESS_BOX);
        if (box && SendMessageW(box, CBEM_GETEDITCONTROL, 0, 0)) return;
        RECT place{0, 0, 316, 150};  // the template's, in dialog units
        MapDialogRect(Handle(), &place);
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_SORT | CBS_AUTOHSCROLL | CBS_DROPDOWN;
        if (box) {
            style = static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE));
            GetWindowRect(box, &place);
            MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&place), 2);
            DestroyWindow(box);
        }
        fw::LogFailure("the address box's edit field", HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE));
        box = CreateWindowExW(0, WC_COMBOBOXEXW, L"", style, place.left, place.top, place.right - place.left,
                              place.bottom - place.top, Handle(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_ADDRESS_BOX)), nullptr, nullptr);
        if (!box) continue;
        SendMessageW(box, WM_SETFONT, SendMessageW(Handle(), WM_GETFONT, 0, 0), FALSE);
        // First in the tab order, as the template puts it.
        SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

BOOL CDialogWBContainer::OnInitDialog() {
    m_panel.OnInitDialog();
    EnsureAddressBox();
    if (HWND edit = reinterpret_cast<HWND>(SendMessageW(Item(IDC_ADDRESS_BOX), CBEM_GETEDITCONTROL, 0, 0)))
        SetWindowSubclass(edit, &CDialogWBContainer::AddressEditProc, 0, 0);

    // The control comes from the class object of this thread, which the
    // isolation layer answers with the tab's engine version.
    if (SUCCEEDED(m_wndBrowser.CreateInPlaceOf(Handle(), IDC_WEB_BROWSER, CLSID_WebBrowser, &m_site))) {
        m_hWndBrowser = m_wndBrowser.Window();
        m_wndBrowser.Query(IID_IWebBrowser2, m_pBrowser);
        m_pEvents = fw::MakeCom<EventSink>(this, DIID_DWebBrowserEvents2, false);
        // Without its events the tab still shows its page, but neither its
        // title nor its progress: worth a line in the log, not a failure.
        if (const HRESULT hr = m_wndBrowser.Advise(DIID_DWebBrowserEvents2, m_pEvents.get(), nullptr); FAILED(hr))
            fw::LogFailure("Advise(DWebBrowserEvents2)", hr);
        if (m_pBrowser) {
            // The old-style interface brings NewWindow, which opens new tabs.
            m_pOldEvents = fw::MakeCom<EventSink>(this, DIID_DWebBrowserEvents, true);
            if (const HRESULT hr = m_wndBrowser.Advise(DIID_DWebBrowserEvents, m_pOldEvents.get(), &m_dwEventsCookie);
                FAILED(hr))
                fw::LogFailure("Advise(DWebBrowserEvents)", hr);
            PostBrowserToView();
            m_pBrowser->put_RegisterAsDropTarget(VARIANT_TRUE);
        }
    }
    // The first address; an empty one shows a blank page.
    NavigateForView(m_strURL.empty() ? std::wstring(L"about:blank") : m_strURL);
    RecalcLayout();
    m_thumbnail.OnInitDialog();
    // In a child process the new tab leaves the keyboard focus where it is:
    // focus inside another process's window ties the main window to that
    // process's answers.
    return m_bChildProcess ? FALSE : TRUE;
}

void CDialogWBContainer::PostBrowserToView() {
    // The view may drive the browser from its own thread through a stream
    // marshalled for it (in-process only); it owns the stream once taken.
    if (!m_pOwner) return;
    fw::ComPtr<IDispatch> application;
    if (FAILED(m_pBrowser->get_Application(application.put())) || !application) return;
    IStream* stream = nullptr;
    if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, application.get(), &stream)) || !stream) return;
    if (!m_pOwner->OfferBrowser(stream)) {
        // Nobody took it: unmarshalling releases the marshalled reference.
        IDispatch* unused = nullptr;
        if (SUCCEEDED(CoGetInterfaceAndReleaseStream(stream, IID_IDispatch, reinterpret_cast<void**>(&unused))) &&
            unused)
            unused->Release();
    }
}

void CDialogWBContainer::Navigate(const std::wstring& url) {
    if (!m_pBrowser) {
        // Without a control the address still enters the list, so the tab
        // shows what it was asked for.
        AddUrlToAddressList(url);
        return;
    }
    BSTR address = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    VARIANT empty;
    VariantInit(&empty);
    m_pBrowser->Navigate(address, &empty, &empty, &empty, &empty);
    SysFreeString(address);
}

void CDialogWBContainer::NavigateForView(const std::wstring& url) {
    const bool outer = m_bViewNavigation;
    m_bViewNavigation = true;
    Navigate(url);
    m_bViewNavigation = outer;
}

void CDialogWBContainer::AddUrlToAddressList(const std::wstring& url) {
    HWND box = Item(IDC_ADDRESS_BOX);
    if (!box) return;
    // Setting the box's text lays the text out. Wine's text layout breaks
    // when several threads do it at the same moment (as tabs that open
    // together do), so one address box at a time, process-wide. Every
    // message below stays on this thread, and the lock is re-entrant for
    // the notifications the box sends back to this dialog.
    static std::recursive_mutex layout;
    std::lock_guard<std::recursive_mutex> hold(layout);
    // The list is looked up in the dialog's own copy of it: Wine's
    // ComboBoxEx search can meet an item it has not finished adding.
    auto same = [&](const std::wstring& entry) {
        return CompareStringOrdinal(entry.c_str(), static_cast<int>(entry.size()), url.c_str(),
                                    static_cast<int>(url.size()), TRUE) == CSTR_EQUAL;
    };
    auto found = std::find_if(m_arAddresses.begin(), m_arAddresses.end(), same);
    LRESULT index = found == m_arAddresses.end() ? CB_ERR : found - m_arAddresses.begin();
    if (index == CB_ERR) {
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT;
        item.iItem = 0;
        item.pszText = const_cast<wchar_t*>(url.c_str());
        index = SendMessageW(box, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        if (index != CB_ERR) m_arAddresses.insert(m_arAddresses.begin(), url);
        NotifyString(UWM_TAB_ADDRESS, url, 0);
    }
    if (index != CB_ERR) SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CDialogWBContainer::RecalcLayout() {
    HWND box = Item(IDC_ADDRESS_BOX);
    if (!box) return;
    RECT client{}, boxRect{};
    GetClientRect(Handle(), &client);
    GetWindowRect(box, &boxRect);
    const int width = client.right, height = client.bottom;
    const int addressHeight = boxRect.bottom - boxRect.top;
    const int left = m_panel.Layout(width, height);
    const int rest = std::max(width - left, 0);
    MoveWindow(box, left, 0, rest, addressHeight, TRUE);
    RECT page{left, addressHeight, left + rest, std::max(height, addressHeight)};
    m_wndBrowser.Move(page);
}

bool CDialogWBContainer::GetSplitterArea(int, RECT* area, RECT* limits) {
    return m_panel.GetSplitterArea(area, limits);
}

bool CDialogWBContainer::SetSplitterPosition(int, int percent) { return m_panel.SetSplitterPosition(percent); }

bool CDialogWBContainer::PreTranslateMessage(MSG& msg) {
    const bool inBrowser =
        m_hWndBrowser && (msg.hwnd == m_hWndBrowser || IsChild(m_hWndBrowser, msg.hwnd));
    if (inBrowser && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        // The page's own keys first (tabbing between links, its accelerators).
        if (m_wndBrowser.TranslateAccelerator(msg)) return true;
        // Enter and Escape belong to the page (a form submits on Enter); the
        // dialog manager would take them as OK and Cancel.
        if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) return false;
    }
    return CDialogFNK::PreTranslateMessage(msg);
}

void CDialogWBContainer::Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam) {
    if (m_pOwner) m_pOwner->Notify(message, wParam, lParam);
}

void CDialogWBContainer::NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam) {
    if (m_pOwner) m_pOwner->NotifyString(message, text, lParam);
}

void CDialogWBContainer::NotifyStrings(UINT message, const std::wstring& first, const std::wstring& second) {
    if (m_pOwner) m_pOwner->NotifyStrings(message, first, second);
}

bool CDialogWBContainer::OnAmbientProperty(DISPID id, VARIANT* value) {
    if (id != kAmbientDownloadControl || !value) return false;
    value->vt = VT_I4;
    value->lVal = static_cast<LONG>(m_dwDownloadFlags);
    return true;
}

bool CDialogWBContainer::IsTopLevelBrowser(IDispatch* disp) const {
    IUnknown* control = m_wndBrowser.Control();
    if (!disp && !control) return true;
    if (!disp || !control) return false;
    fw::ComPtr<IUnknown> a, b;
    if (FAILED(disp->QueryInterface(IID_IUnknown, a.put_void())) ||
        FAILED(control->QueryInterface(IID_IUnknown, b.put_void())))
        return false;
    return a.get() == b.get();
}

HRESULT CDialogWBContainer::OnBrowserEvent(DISPID id, DISPPARAMS* params) {
    switch (id) {
    case DISPID_BEFORENAVIGATE2:
        // Frames inside the page navigate too; only the page itself counts.
        if (IsTopLevelBrowser(DispatchArgument(params, 0))) {
            const std::wstring url = StringArgument(params, 1);
            AddUrlToAddressList(url);
            // The user's own navigation, which linked tabs repeat.
            if (!m_bViewNavigation && !url.empty()) NotifyString(UWM_TAB_LINK_NAVIGATE, url, 0);
        }
        break;
    case DISPID_NAVIGATECOMPLETE2:
        // The page (not a frame) is a new one from here on: the view starts
        // its script errors afresh. A navigation the page cancels never
        // gets here.
        if (IsTopLevelBrowser(DispatchArgument(params, 0))) {
            AddUrlToAddressList(StringArgument(params, 1));
            Notify(UWM_TAB_PAGE_STARTED, 0, 0);
        }
        break;
    case DISPID_NAVIGATEERROR:
        // NavigateError(browser, address, frame, status code, cancel).
        if (IsTopLevelBrowser(DispatchArgument(params, 0))) {
            AddUrlToAddressList(StringArgument(params, 1));
            Notify(UWM_TAB_LOAD_FAILED, static_cast<std::uint32_t>(NumberArgument(params, 3)), 0);
        }
        break;
    case DISPID_DOCUMENTCOMPLETE:
        if (IsTopLevelBrowser(DispatchArgument(params, 0))) {
            std::wstring url = StringArgument(params, 1);
            AddUrlToAddressList(url);
            BSTR name = nullptr;
            if (m_pBrowser) m_pBrowser->get_LocationName(&name);
            NotifyStrings(UWM_TAB_HISTORY_ADD, url, ToString(name));
            SysFreeString(name);
            m_zoom.ReapplyZoom();
            m_scroll.OnDocumentComplete();
            m_thumbnail.InvalidateTaskbarBitmaps();
        }
        break;
    case DISPID_DOWNLOADCOMPLETE:
        m_zoom.ReapplyZoom();
        m_thumbnail.InvalidateTaskbarBitmaps();
        break;
    case DISPID_STATUSTEXTCHANGE:
        NotifyString(UWM_TAB_STATUS_TEXT, StringArgument(params, 0), 0);
        break;
    case DISPID_TITLECHANGE: {
        const std::wstring title = StringArgument(params, 0);
        NotifyString(UWM_TAB_TITLE, title, 0);
        // The thumbnail's caption.
        m_thumbnail.OnTitleChange(title);
        break;
    }
    case DISPID_PROGRESSCHANGE:
        Notify(UWM_TAB_PROGRESS, static_cast<std::uint32_t>(NumberArgument(params, 0)),
               static_cast<std::uint32_t>(NumberArgument(params, 1)));
        break;
    case DISPID_WINDOWCLOSING:
        // window.close() of the page: its unload handlers may keep it.
        if (!MayUnload(true)) SetBoolArgument(params, 1, true);
        break;
    default:
        break;
    }
    return S_OK;
}

HRESULT CDialogWBContainer::OnOldBrowserEvent(DISPID id, DISPPARAMS* params) {
    if (id != kOldNewWindow) return S_OK;
    // A page's new window becomes a new tab of the same version, opened by
    // the view; the engine opens no window of its own.
    const IEENGINE* engine = GetCurrentEngine();
    const std::uint32_t version = engine ? engine->version : static_cast<std::uint32_t>(IEDefault);
    NotifyString(UWM_TAB_NEW_WINDOW, StringArgument(params, 0), version);
    SetBoolArgument(params, 5, true);
    return S_OK;
}

bool CDialogWBContainer::MayUnload(bool failureAllows) {
    if (!m_pBrowser) return failureAllows;
    VARIANT out;
    VariantInit(&out);
    out.vt = VT_BOOL;
    out.boolVal = VARIANT_TRUE;
    if (FAILED(m_pBrowser->ExecWB(OLECMDID_ONUNLOAD, OLECMDEXECOPT_DODEFAULT, nullptr, &out))) return failureAllows;
    const bool may = out.vt == VT_BOOL && out.boolVal != VARIANT_FALSE;
    VariantClear(&out);
    return may;
}

fw::ComPtr<IHTMLDocument2> CDialogWBContainer::Document() const {
    fw::ComPtr<IHTMLDocument2> html;
    fw::ComPtr<IDispatch> document;
    if (m_pBrowser && SUCCEEDED(m_pBrowser->get_Document(document.put())) && document)
        document.As(__uuidof(IHTMLDocument2), html);
    return html;
}

HRESULT CDialogWBContainer::CapturePage(const std::wstring& file, int width, int height) {
    if (!m_pBrowser) return E_NOINTERFACE;
    fw::ComPtr<IViewObject> view;
    if (FAILED(m_wndBrowser.Query(IID_IViewObject, view)) || !view) {
        // An engine whose control does not draw itself may still draw its
        // document.
        if (auto html = Document()) html->QueryInterface(IID_IViewObject, view.put_void());
    }
    if (!view) return E_NOINTERFACE;
    RECT whole{0, 0, width, height};
    m_wndBrowser.Move(whole);
    const HRESULT hr = DrawToPng(view.get(), width, height, file);
    RecalcLayout();
    return hr;
}

void CDialogWBContainer::ExecPrint(DWORD command) {
    fw::ComPtr<IOleCommandTarget> target;
    if (SUCCEEDED(m_wndBrowser.Query(IID_IOleCommandTarget, target)) && target)
        target->Exec(&kCgidMshtml, command, 0, nullptr, nullptr);
}

void CDialogWBContainer::OnCommand(UINT id) {
    switch (id) {
    case ID_FOCUS_ADDRESS:
        SetFocus(Item(IDC_ADDRESS_BOX));
        return;
    case ID_TOGGLE_FENNICK:
    case IDC_PANEL_CLOSE:
        TogglePanel();
        return;
    case ID_VIEW_SOURCE:
        ViewSource();
        return;
    case ID_TASKBAR_TAB_ACTIVE:
        // The view activated this tab: its thumbnail becomes the active one.
        m_thumbnail.SetTabActive();
        return;
    default:
        break;
    }
    if (!m_pBrowser) return;
    // Every command comes from the view: its navigations are not the user's
    // in the page.
    const bool outer = m_bViewNavigation;
    m_bViewNavigation = true;
    switch (id) {
    case ID_BACK: m_pBrowser->GoBack(); break;
    case ID_FORWARD: m_pBrowser->GoForward(); break;
    case ID_REFRESH:
    case ID_MENU_REFRESH:
    case ID_REFRESH_ALL:
        // A refresh fires no NavigateComplete2, but the page runs its
        // scripts again: its script errors start afresh all the same.
        Notify(UWM_TAB_PAGE_STARTED, 0, 0);
        m_pBrowser->Refresh();
        break;
    case ID_REFRESH_NO_CACHE:
    case ID_REFRESH_ALL_NO_CACHE: {
        Notify(UWM_TAB_PAGE_STARTED, 0, 0);
        VARIANT level;
        VariantInit(&level);
        level.vt = VT_I4;
        level.lVal = kRefreshCompletely;
        m_pBrowser->Refresh2(&level);
        break;
    }
    case ID_STOP: m_pBrowser->Stop(); break;
    // The program's home page, not the engine's.
    case ID_HOME: Navigate(g_strHomePage); break;
    case ID_TEXT_SIZE_LARGER: m_zoom.SetTextSize(4); break;
    case ID_TEXT_SIZE_LARGE: m_zoom.SetTextSize(3); break;
    case ID_TEXT_SIZE_MEDIUM: m_zoom.SetTextSize(2); break;
    case ID_TEXT_SIZE_SMALL: m_zoom.SetTextSize(1); break;
    case ID_TEXT_SIZE_SMALLER: m_zoom.SetTextSize(0); break;
    case ID_PRINT: ExecPrint(IDM_PRINT); break;
    case ID_PRINT_PREVIEW: ExecPrint(IDM_PRINTPREVIEW); break;
    default: break;
    }
    m_bViewNavigation = outer;
}

void CDialogWBContainer::OnParentNotify(WPARAM wParam, LPARAM lParam) {
    // The control's window goes from inside when the page closed itself.
    if (m_bDestroying || LOWORD(wParam) != WM_DESTROY || reinterpret_cast<HWND>(lParam) != m_hWndBrowser ||
        !m_hWndBrowser)
        return;
    ShowWindow(Handle(), SW_HIDE);
    SetParent(Handle(), nullptr);
    Notify(UWM_TAB_MUST_CLOSE, CLOSE_PAGE_CLOSED, 0);
    DestroyWindow(Handle());
}

void CDialogWBContainer::OnDestroy() {
    // The thumbnail goes with the tab.
    m_thumbnail.DestroyProxy();
    m_bDestroying = true;
    // The panel goes first: it holds the browser and its window is ours.
    m_panel.ReleasePanel();
    // The page's window events stop with the rest.
    m_scroll.Disconnect();
    // The events stop first, then the control lets go of its site and
    // goes; the sinks may outlive the dialog in the engine's hands, so
    // they are cut off from it.
    if (m_pEvents) m_pEvents->Detach();
    if (m_pOldEvents) m_pOldEvents->Detach();
    m_pBrowser.reset();
    m_wndBrowser.Destroy();
    m_pEvents.reset();
    m_pOldEvents.reset();
    m_dwEventsCookie = 0;
    m_hWndBrowser = nullptr;
}

bool CDialogWBContainer::DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
    case WM_SIZE:
        if (m_bChildProcess) MoveWindow(Handle(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        RecalcLayout();
        return true;
    case WM_ERASEBKGND:
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
        result = TRUE;
        return true;
    case WM_PARENTNOTIFY:
        OnParentNotify(wParam, lParam);
        return false;
    case WM_DRAWITEM:
        if (wParam != IDC_PANEL_CLOSE || !lParam) return false;
        m_panel.DrawCloseButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
        result = TRUE;
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false;
    case WM_CLOSE:
        // In-process, a tab's content never closes itself on request; it
        // goes down with the view's window. In a child process the request
        // comes from the parent's close: the content goes, and with it the
        // child's main loop.
        if (m_bChildProcess) DestroyWindow(Handle());
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) return true;
        OnCommand(LOWORD(wParam));
        return true;
    case UWM_TAB_GO_ADDRESS: {
        HWND edit = reinterpret_cast<HWND>(SendMessageW(Item(IDC_ADDRESS_BOX), CBEM_GETEDITCONTROL, 0, 0));
        int n = edit ? GetWindowTextLengthW(edit) : 0;
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        if (edit) text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), n + 1)));
        else text.clear();
        if (!text.empty()) Navigate(text);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    }
    case UWM_TAB_NAVIGATE: {
        if (auto url = TakeStringParam(wParam)) NavigateForView(*url);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 1);
        result = TRUE;
        return true;
    }
    case UWM_TAB_CAPTURE: {
        // The file name is a string parameter this handler takes over.
        auto file = TakeStringParam(wParam);
        const auto size = static_cast<std::uint32_t>(lParam);
        const HRESULT hr = file ? CapturePage(*file, static_cast<int>(size & 0xFFFF), static_cast<int>(size >> 16))
                                : E_INVALIDARG;
        Notify(UWM_TAB_CAPTURED, static_cast<std::uint32_t>(hr), 0);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 1);
        result = TRUE;
        return true;
    }
    case UWM_TAB_SCROLL_TO:
        m_scroll.ScrollTo(static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case UWM_TAB_ZOOM:
        result = m_zoom.OnZoomRequest(static_cast<int>(wParam));
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, result);
        return true;
    case UWM_TAB_DOWNLOAD_FLAGS: {
        // The control reads the new word at its next load; no reload here.
        m_dwDownloadFlags = static_cast<DWORD>(wParam);
        fw::ComPtr<IOleControl> control;
        if (SUCCEEDED(m_wndBrowser.Query(IID_IOleControl, control)) && control)
            control->OnAmbientPropertyChange(kAmbientDownloadControl);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    }
    case WM_DWMSENDICONICTHUMBNAIL:
        // The largest size allowed: width in the high word, height in the low.
        m_thumbnail.OnTaskbarThumbnail(HIWORD(lParam), LOWORD(lParam));
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case WM_DWMSENDICONICLIVEPREVIEWBITMAP:
        m_thumbnail.OnTaskbarLivePreview();
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case UWM_TAB_TASKBAR_ACTIVATE:
        m_thumbnail.OnTaskbarActivate(wParam);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case UWM_TAB_TASKBAR_SYSCOMMAND:
        m_thumbnail.OnTaskbarSysCommand(wParam, lParam);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case UWM_TAB_TASKBAR_PREVIEW:
        // 1: the thumbnails were switched off; anything else: on again.
        if (wParam == 1) m_thumbnail.DestroyProxy();
        else m_thumbnail.CreateTaskbarProxy();
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case UWM_TAB_SETTINGS_CHANGED:
        // The parent's settings changed: a child process reads them again
        // from where the parent keeps them. In-process the main thread has
        // applied them already.
        if (m_bChildProcess) ApplyTabSettings(ReadSettings(SettingsProfile()));
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case UWM_TAB_QUERY_CLOSE:
        // The user closes the tab: the page may keep it open.
        if (MayUnload(true)) Notify(UWM_TAB_MUST_CLOSE, CLOSE_UNLOAD_ACCEPTED, 0);
        else Notify(UWM_TAB_CLOSE_REFUSED, 0, 0);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    default:
        return false;
    }
}

void CDialogWBContainer::PostNcDestroy() {
    // A child process's dialog was allocated by its start-up; its end is the
    // end of the child's main loop.
    if (m_bChildProcess) {
        PostQuitMessage(0);
        delete this;
    }
}

namespace {
// Wine's text shaping (usp10), which an edit field uses to measure and draw
// its text, crashed in its script cache when the address boxes of several
// engine threads shaped text at the same moment (seen on the i686 build;
// a crash under its lock then left other threads waiting for ever). The
// address boxes of one process therefore do their own processing one at a
// time. Only the edit control's processing is held: the program's own
// handling below, which may wait for other threads, runs outside.
fw::CriticalSection& AddressBoxTextLock() {
    static fw::CriticalSection* lock = new fw::CriticalSection;  // never destroyed: threads may end late
    return *lock;
}
} // namespace

LRESULT CALLBACK CDialogWBContainer::AddressEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                                     UINT_PTR, DWORD_PTR) {
    LRESULT result = 0;
    {
        fw::Lock oneAtATime(AddressBoxTextLock());
        result = DefSubclassProc(edit, message, wParam, lParam);
    }
    if (message == WM_GETDLGCODE && lParam) {
        auto msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == WM_KEYDOWN) {
            if (msg->wParam == VK_ESCAPE) result |= DLGC_WANTALLKEYS;
            if (msg->wParam == VK_RETURN) {
                result |= DLGC_WANTALLKEYS;
                // Edit field, combo box, address box, dialog.
                HWND dialog = GetParent(GetParent(GetParent(edit)));
                if (dialog) SendMessageW(dialog, UWM_TAB_GO_ADDRESS, 0, 0);
            }
        }
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(edit, &CDialogWBContainer::AddressEditProc, 0);
    return result;
}

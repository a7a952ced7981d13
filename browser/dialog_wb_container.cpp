#include "dialog_wb_container.h"

#include "browser/page_picture.h"
#include "core/locations.h"
#include "core/settings.h"
#include "framework/app.h"
#include "framework/profile.h"
#include "framework/strings.h"
#include "isolation/isolation.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>
#include <cwchar>
#include <exdispid.h>
#include <mshtmcid.h>
#include <mshtml.h>
#include <olectl.h>
#include <shellapi.h>
#include <windowsx.h>

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
// The wrapper's attribute text; %d is the percentage.
constexpr const wchar_t* kZoomWrapperAttributes =
    L"ID = \"__bm__fennickbar__zoom__\" NAME=\"__bm__fennickbar__zoom__\" STYLE=\"position: relative;zoom: %d%%\"";
// The engine's tag identifier of a DIV (TAGID_DIV).
constexpr int kTagDiv = 30;
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

// A CSS percentage as a string variant ("150%").
struct PercentText {
    explicit PercentText(int percent) {
        wchar_t text[16];
        swprintf(text, 16, L"%d%%", percent);
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(text);
    }
    ~PercentText() { VariantClear(&value); }
    VARIANT value;
};

// Sets the CSS zoom of a style object that answers IHTMLStyle3.
template <typename Style>
bool SetZoom(Style* style, int percent) {
    if (!style) return false;
    fw::ComPtr<IHTMLStyle3> style3;
    if (FAILED(style->QueryInterface(__uuidof(IHTMLStyle3), style3.put_void())) || !style3) return false;
    PercentText text(percent);
    return SUCCEEDED(style3->put_zoom(text.value));
}

bool SetRuntimeZoom(IHTMLElement* element, int percent) {
    fw::ComPtr<IHTMLElement2> element2;
    if (FAILED(element->QueryInterface(__uuidof(IHTMLElement2), element2.put_void())) || !element2) return false;
    fw::ComPtr<IHTMLStyle> runtime;
    if (FAILED(element2->get_runtimeStyle(runtime.put())) || !runtime) return false;
    return SetZoom(runtime.get(), percent);
}

std::wstring ToString(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// The panel's fixed parts: the title line and close button are 20 pixels
// high, the close button 20 wide, the splitter bar 4 wide.
constexpr int kPanelTitleHeight = 20;
constexpr int kCloseButtonSize = 20;
constexpr int kSplitterWidth = 4;
constexpr int kDefaultPanelWidth = 200;

// The shell's docking-window interface, through which the panel object
// reports and shows its window.
constexpr IID kIidDockingWindow = {0x012DD920, 0x7B26, 0x11D0, {0x8C, 0xA9, 0x00, 0xA0, 0xC9, 0x2D, 0xBF, 0xE8}};

// Shown in version-9 tabs, which have no panel; not translated.
constexpr const wchar_t* kPanelRefusedIn9 = L"Fennick under IE9 tab instance is not yet supported.";

// The settings profile: the application's, or (in a process without an
// application object, as in tests) the same key opened directly.
const fw::Profile& SettingsProfile() {
    if (fw::WinApp* app = fw::GetApp(); app && app->GetProfile().IsSet()) return app->GetProfile();
    static const fw::Profile fallback = [] {
        fw::Profile p;
        p.SetRegistryKey(kCompanyKey, L"Vantrell");
        return p;
    }();
    return fallback;
}

// Message `id` with Yes and No; Yes opens the toolbar's download page in
// the user's browser.
void OfferDownloadPage(HWND owner, UINT id) {
    if (TranslatedMessageBox(owner, id, MB_YESNO | MB_ICONEXCLAMATION) == IDYES)
        ShellExecuteW(nullptr, L"open", kToolbarDownloadAddress, nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

// A sink for one of the control's event interfaces; it hands every event to
// the dialog while the dialog is there.
class CDialogWBContainer::EventSink final : public IDispatch {
public:
    EventSink(CDialogWBContainer* dialog, REFIID events, bool oldStyle)
        : m_pDialog(dialog), m_events(events), m_bOldStyle(oldStyle) {}
    void Detach() { m_pDialog = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, m_events)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&m_refs);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        // The dispatch map's one method, for callers that ask by name.
        if (m_bOldStyle && names && ids && count >= 1 && names[0] && _wcsicmp(names[0], L"NewWindow") == 0) {
            ids[0] = kOldNewWindow;
            for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
        for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (!m_pDialog) return S_OK;
        return m_bOldStyle ? m_pDialog->OnOldBrowserEvent(id, params) : m_pDialog->OnBrowserEvent(id, params);
    }

private:
    ~EventSink() = default;
    LONG m_refs = 1;
    CDialogWBContainer* m_pDialog;
    IID m_events;
    bool m_bOldStyle;
};

CDialogWBContainer::CDialogWBContainer() : m_site(*this) {}

CDialogWBContainer::~CDialogWBContainer() {
    // A dialog whose window never went through WM_DESTROY (creation failed
    // half-way) still lets go of its control here.
    OnDestroy();
}

BOOL CDialogWBContainer::OnInitDialog() {
    SetWindowTextW(Item(IDC_PANEL_TITLE), L"");
    m_hSplitterCursor = LoadCursorW(nullptr, IDC_SIZEWE);
    if (HWND splitter = Item(IDC_PANEL_SPLITTER))
        SetWindowSubclass(splitter, &CDialogWBContainer::SplitterProc, 0, reinterpret_cast<DWORD_PTR>(this));
    if (HWND close = Item(IDC_PANEL_CLOSE)) {
        SetWindowSubclass(close, &CDialogWBContainer::CloseButtonProc, 0, reinterpret_cast<DWORD_PTR>(this));
        SetWindowPos(close, nullptr, 0, 0, kCloseButtonSize, kCloseButtonSize,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
    }
    if (HWND edit = reinterpret_cast<HWND>(SendMessageW(Item(IDC_ADDRESS_BOX), CBEM_GETEDITCONTROL, 0, 0)))
        SetWindowSubclass(edit, &CDialogWBContainer::AddressEditProc, 0, 0);

    // The control comes from the class object of this thread, which the
    // isolation layer answers with the tab's engine version.
    if (SUCCEEDED(m_wndBrowser.CreateInPlaceOf(Handle(), IDC_WEB_BROWSER, CLSID_WebBrowser, &m_site))) {
        m_hWndBrowser = m_wndBrowser.Window();
        m_wndBrowser.Query(IID_IWebBrowser2, m_pBrowser);
        m_pEvents.attach(new EventSink(this, DIID_DWebBrowserEvents2, false));
        m_wndBrowser.Advise(DIID_DWebBrowserEvents2, m_pEvents.get(), nullptr);
        if (m_pBrowser) {
            // The old-style interface brings NewWindow, which opens new tabs.
            m_pOldEvents.attach(new EventSink(this, DIID_DWebBrowserEvents, true));
            m_wndBrowser.Advise(DIID_DWebBrowserEvents, m_pOldEvents.get(), &m_dwEventsCookie);
            PostBrowserToView();
            m_pBrowser->put_RegisterAsDropTarget(VARIANT_TRUE);
        }
    }
    // The first address; an empty one shows a blank page.
    Navigate(m_strURL.empty() ? std::wstring(L"about:blank") : m_strURL);
    RecalcLayout();
    m_imgNoPreview.reset(static_cast<HBITMAP>(
        LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(IDB_NO_PREVIEW), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    // The thumbnail's window comes once the dialog's creation is over, so
    // the taskbar (slow, missing or failing) never takes part in it.
    PostMessageW(Handle(), UWM_TAB_TASKBAR_PREVIEW, 0, 0);
    return TRUE;
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
    int left = 0;
    if (m_bPanelVisible) {
        // The panel on the left, its title line and close button above it,
        // the splitter bar between panel and page.
        int panel = m_nPanelWidth;
        if (panel > width) panel = width - kCloseButtonSize;
        if (panel < 0) panel = 0;
        MoveWindow(Item(IDC_PANEL_TITLE), 0, 0, std::max(panel - kCloseButtonSize, 0), kPanelTitleHeight, TRUE);
        MoveWindow(Item(IDC_PANEL_CLOSE), panel - kCloseButtonSize, 0, kCloseButtonSize, kCloseButtonSize, TRUE);
        if (m_hWndPanel && IsWindow(m_hWndPanel))
            MoveWindow(m_hWndPanel, 0, kPanelTitleHeight, panel, std::max(height - kPanelTitleHeight, 0), TRUE);
        MoveWindow(Item(IDC_PANEL_SPLITTER), panel, 0, kSplitterWidth, height, TRUE);
        left = panel + kSplitterWidth;
    }
    const int rest = std::max(width - left, 0);
    MoveWindow(box, left, 0, rest, addressHeight, TRUE);
    RECT page{left, addressHeight, left + rest, std::max(height, addressHeight)};
    m_wndBrowser.Move(page);
}

bool CDialogWBContainer::CreatePanel() {
    fw::ComPtr<IWebBrowser2> browser;
    if (FAILED(m_wndBrowser.Query(IID_IWebBrowser2, browser)) || !browser) return false;

    // The version the component is told: the thread's engine, or the
    // installed one for the system's engine.
    const IEENGINE* engine = GetCurrentEngine();
    IEVERSION version = engine ? static_cast<IEVERSION>(engine->version) : IEDefault;
    if (version == IEDefault) version = GetInstalledIEVersion();
    HMODULE urlmon = engine ? engine->hUrlmon : nullptr;

    fw::ComPtr<IDispatch> object;
    if (FAILED(CoCreateInstance(CLSID_FennickPanel, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                object.put_void())) ||
        !object) {
        object.reset();
        OfferDownloadPage(Handle(), IDS_FENNICK_NOT_FOUND);
        return false;
    }
    if (FAILED(object->QueryInterface(IID_IFennickPanel, m_pPanel.put_void())) || !m_pPanel) {
        m_pPanel.reset();
        object.reset();
        OfferDownloadPage(Handle(), IDS_FENNICK_TOO_OLD);
        return false;
    }
    if (FAILED(object->QueryInterface(kIidDockingWindow, m_pPanelWindow.put_void())) || !m_pPanelWindow) {
        m_pPanelWindow.reset();
        m_pPanel.reset();
        object.reset();
        OfferDownloadPage(Handle(), IDS_FENNICK_TOO_OLD);
        return false;
    }
    BSTR title = nullptr;
    if (m_pPanel->Initialize(Handle(), browser.get(), static_cast<DWORD>(version), &title) != S_OK) {
        SysFreeString(title);
        m_pPanelWindow.reset();
        m_pPanel.reset();
        object.reset();
        TranslatedMessageBox(Handle(), IDS_FENNICK_PANEL_ERROR, MB_OK | MB_ICONERROR);
        return false;
    }
    m_strPanelTitle = ToString(title);
    SysFreeString(title);
    SetWindowTextW(Item(IDC_PANEL_TITLE), (L"  " + m_strPanelTitle).c_str());
    HWND panelWindow = nullptr;
    m_hWndPanel = SUCCEEDED(m_pPanelWindow->GetWindow(&panelWindow)) ? panelWindow : nullptr;
    m_pPanel->SetMainWindow(m_hWndTopLevel);
    m_pPanel->SetEngineModule(urlmon);
    m_pPanel->Start();
    return true;
}

void CDialogWBContainer::ShowPanelParts(int show) {
    for (int id : {IDC_PANEL_SPLITTER, IDC_PANEL_CLOSE, IDC_PANEL_TITLE}) ShowWindow(Item(id), show);
}

void CDialogWBContainer::TogglePanel() {
    if (m_nVersion == IE9) {
        fw::AppMessageBox(Handle(), kPanelRefusedIn9, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (m_bPanelVisible) {
        m_bPanelVisible = false;
        m_pPanelWindow->ShowDW(FALSE);
        ShowPanelParts(SW_HIDE);
        RecalcLayout();
        Notify(UWM_TAB_PANEL_STATE, 0, 0);
        return;
    }
    if (!m_pPanel && !CreatePanel()) return;
    m_bPanelVisible = true;
    m_pPanelWindow->ShowDW(TRUE);
    ShowPanelParts(SW_SHOW);
    m_nPanelWidth = SettingsProfile().GetInt(setting::kSection, setting::kVertLeftSplitter, kDefaultPanelWidth);
    RecalcLayout();
    Notify(UWM_TAB_PANEL_STATE, 1, 0);
}

void CDialogWBContainer::ViewSource() {
    if (!m_pPanel && !CreatePanel()) return;
    m_pPanel->ShowSource(-1);
}

bool CDialogWBContainer::GetSplitterArea(int, RECT* area, RECT* limits) {
    RECT client{};
    GetClientRect(Handle(), &client);
    if (area) *area = client;
    if (limits) *limits = client;
    return true;
}

bool CDialogWBContainer::SetSplitterPosition(int, int percent) {
    if (static_cast<unsigned>(percent) > 100u) return false;
    RECT client{};
    GetClientRect(Handle(), &client);
    m_nPanelWidth = percent * client.right / 100;
    (void)SettingsProfile().WriteInt(setting::kSection, setting::kVertLeftSplitter, m_nPanelWidth);
    RecalcLayout();
    return true;
}

void CDialogWBContainer::ReleasePanel() {
    if (m_pPanelWindow) {
        m_pPanelWindow->ShowDW(FALSE);
        m_pPanelWindow.reset();
    }
    if (m_pPanel) {
        m_pPanel->Close();
        m_pPanel.reset();
    }
    m_hWndPanel = nullptr;
    m_bPanelVisible = false;
}

void CDialogWBContainer::DrawCloseButton(const DRAWITEMSTRUCT& item) const {
    // A white cross on a red rounded square: darker while pressed, brighter
    // while the pointer rests on it.
    const RECT& r = item.rcItem;
    FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    COLORREF fill = RGB(196, 43, 28);
    if (item.itemState & ODS_SELECTED) fill = RGB(140, 24, 16);
    else if (m_bCloseHover) fill = RGB(232, 72, 56);
    HBRUSH brush = CreateSolidBrush(fill);
    HPEN edge = CreatePen(PS_SOLID, 1, fill);
    HGDIOBJ oldBrush = SelectObject(item.hDC, brush);
    HGDIOBJ oldPen = SelectObject(item.hDC, edge);
    RoundRect(item.hDC, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, 6, 6);
    HPEN cross = CreatePen(PS_SOLID, 2, RGB(255, 255, 255));
    SelectObject(item.hDC, cross);
    const int inset = (r.right - r.left) * 3 / 10;
    MoveToEx(item.hDC, r.left + inset, r.top + inset, nullptr);
    LineTo(item.hDC, r.right - inset, r.bottom - inset);
    MoveToEx(item.hDC, r.right - inset - 1, r.top + inset, nullptr);
    LineTo(item.hDC, r.left + inset - 1, r.bottom - inset);
    SelectObject(item.hDC, oldPen);
    SelectObject(item.hDC, oldBrush);
    DeleteObject(cross);
    DeleteObject(edge);
    DeleteObject(brush);
}

LRESULT CALLBACK CDialogWBContainer::SplitterProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                  DWORD_PTR data) {
    auto* self = reinterpret_cast<CDialogWBContainer*>(data);
    switch (message) {
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == hwnd && self->m_hSplitterCursor) {
            SetCursor(self->m_hSplitterCursor);
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        SetCapture(hwnd);
        self->m_bDragging = true;
        break;
    case WM_MOUSEMOVE:
        if (self->m_bDragging) {
            RECT area{}, limits{};
            self->GetSplitterArea(0, &area, &limits);
            POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(hwnd, &pt);
            ScreenToClient(self->Handle(), &pt);
            const int x = std::clamp(static_cast<int>(pt.x), static_cast<int>(limits.left),
                                     static_cast<int>(std::max(limits.left, limits.right)));
            const int areaWidth = area.right - area.left;
            const int percent = areaWidth == 0 ? 0 : (x - area.left) * 100 / areaWidth;
            self->SetSplitterPosition(0, percent);
        }
        break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (self->m_bDragging) {
            self->m_bDragging = false;
            ReleaseCapture();
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &CDialogWBContainer::SplitterProc, 0);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CDialogWBContainer::CloseButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                                     UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<CDialogWBContainer*>(data);
    switch (message) {
    case WM_MOUSEMOVE:
        if (!self->m_bCloseTracking) {
            TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, hwnd, 1};
            self->m_bCloseTracking = TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER:
        self->m_bCloseHover = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_MOUSELEAVE:
        self->m_bCloseTracking = false;
        self->m_bCloseHover = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &CDialogWBContainer::CloseButtonProc, 0);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

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
    case DISPID_NAVIGATECOMPLETE2:
        // Frames inside the page navigate too; only the page itself counts.
        if (IsTopLevelBrowser(DispatchArgument(params, 0))) AddUrlToAddressList(StringArgument(params, 1));
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
            ReapplyZoom();
            InvalidateTaskbarBitmaps();
        }
        break;
    case DISPID_DOWNLOADCOMPLETE:
        ReapplyZoom();
        InvalidateTaskbarBitmaps();
        break;
    case DISPID_STATUSTEXTCHANGE:
        NotifyString(UWM_TAB_STATUS_TEXT, StringArgument(params, 0), 0);
        break;
    case DISPID_TITLECHANGE: {
        const std::wstring title = StringArgument(params, 0);
        NotifyString(UWM_TAB_TITLE, title, 0);
        // The thumbnail's caption.
        if (HWND proxy = m_taskBarProxy.Handle()) SetWindowTextW(proxy, title.c_str());
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

LRESULT CDialogWBContainer::OnZoomRequest(int percent) {
    if (!m_pBrowser) return 1;
    fw::ComPtr<IDispatch> document;
    if (FAILED(m_pBrowser->get_Document(document.put())) || !document) return 1;
    fw::ComPtr<IHTMLDocument2> html;
    // Not an HTML page: the tab keeps its zoom.
    if (FAILED(document.As(__uuidof(IHTMLDocument2), html)) || !html) return 0;
    m_nZoom = percent;
    ApplyZoom(html.get(), percent, false);
    return 0;
}

void CDialogWBContainer::ReapplyZoom() {
    if (m_nZoom == 100) return;
    if (auto html = Document()) ApplyZoom(html.get(), m_nZoom, false);
}

bool CDialogWBContainer::ApplyZoom(IHTMLDocument2* document, int percent, bool nested) {
    if (!document || percent <= 0) return false;
    fw::ComPtr<IHTMLElement> body;
    if (FAILED(document->get_body(body.put())) || !body) return false;

    fw::ComPtr<IHTMLBodyElement> bodyElement;
    if (SUCCEEDED(body.As(__uuidof(IHTMLBodyElement), bodyElement)) && bodyElement) {
        // Inside a frame the frame's own scaling is undone on its body, so
        // that the wrapper's zoom is the page's only one.
        if (nested) SetRuntimeZoom(body.get(), 10000 / percent);

        fw::ComPtr<IDispatch> allDispatch;
        fw::ComPtr<IHTMLElementCollection> all;
        if (FAILED(body->get_all(allDispatch.put())) || !allDispatch ||
            FAILED(allDispatch.As(__uuidof(IHTMLElementCollection), all)) || !all)
            return false;
        VARIANT zero;
        VariantInit(&zero);
        zero.vt = VT_I4;
        zero.lVal = 0;
        fw::ComPtr<IDispatch> firstDispatch;
        fw::ComPtr<IHTMLElement> first;
        BSTR id = nullptr;
        if (SUCCEEDED(all->item(zero, zero, firstDispatch.put())) && firstDispatch &&
            SUCCEEDED(firstDispatch.As(__uuidof(IHTMLElement), first)) && first && SUCCEEDED(first->get_id(&id)) &&
            id && ToString(id) == kZoomWrapperId) {
            SysFreeString(id);
            fw::ComPtr<IHTMLStyle> style;
            if (FAILED(first->get_style(style.put())) || !SetZoom(style.get(), percent)) return false;
            return ZoomFrames(document, percent);
        }
        SysFreeString(id);

        // No wrapper yet (or something was put before it): wrap the whole
        // content of the body in a new one.
        fw::ComPtr<IMarkupServices> markup;
        fw::ComPtr<IMarkupContainer> container;
        if (FAILED(document->QueryInterface(__uuidof(IMarkupServices), markup.put_void())) || !markup ||
            FAILED(document->QueryInterface(__uuidof(IMarkupContainer), container.put_void())) || !container)
            return false;
        fw::ComPtr<IMarkupPointer> begin, end;
        if (FAILED(markup->CreateMarkupPointer(begin.put())) || !begin ||
            FAILED(markup->CreateMarkupPointer(end.put())) || !end)
            return false;
        if (FAILED(begin->MoveAdjacentToElement(body.get(), ELEM_ADJ_AfterBegin)) ||
            FAILED(end->MoveAdjacentToElement(body.get(), ELEM_ADJ_BeforeEnd)))
            return false;
        wchar_t attributes[160];
        swprintf(attributes, 160, kZoomWrapperAttributes, percent);
        fw::ComPtr<IHTMLElement> wrapper;
        if (FAILED(markup->CreateElement(static_cast<ELEMENT_TAG_ID>(kTagDiv), attributes, wrapper.put())) ||
            !wrapper)
            return false;
        if (FAILED(markup->InsertElement(wrapper.get(), begin.get(), end.get()))) return false;
        return ZoomFrames(document, percent);
    }

    // A frameset: its frames are scaled each on their own.
    if (nested) return ZoomFrames(document, percent);
    fw::ComPtr<IHTMLFrameSetElement> frameset;
    if (FAILED(body.As(__uuidof(IHTMLFrameSetElement), frameset)) || !frameset) return false;
    if (!SetRuntimeZoom(body.get(), percent)) return false;
    return ZoomFrames(document, percent);
}

bool CDialogWBContainer::ZoomFrames(IHTMLDocument2* document, int percent) {
    fw::ComPtr<IHTMLFramesCollection2> frames;
    long length = 0;
    if (FAILED(document->get_frames(frames.put())) || !frames || FAILED(frames->get_length(&length))) return false;
    for (long i = 0; i < length; ++i) {
        VARIANT index, item;
        VariantInit(&index);
        VariantInit(&item);
        index.vt = VT_I4;
        index.lVal = i;
        if (SUCCEEDED(frames->item(&index, &item)) && item.vt == VT_DISPATCH && item.pdispVal) {
            fw::ComPtr<IHTMLWindow2> window;
            fw::ComPtr<IHTMLDocument2> frameDocument;
            if (SUCCEEDED(item.pdispVal->QueryInterface(__uuidof(IHTMLWindow2), window.put_void())) && window &&
                SUCCEEDED(window->get_document(frameDocument.put())) && frameDocument)
                ApplyZoom(frameDocument.get(), percent, true);
        }
        VariantClear(&item);
    }
    return true;
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

void CDialogWBContainer::CreateTaskbarProxy() {
    if (m_taskBarProxy.Handle()) return;
    m_taskBarProxy.CreateProxy(m_nVersion, Handle(), m_hWndTopLevel, SettingsProfile());
    // A page whose title came before the thumbnail still captions it.
    BSTR name = nullptr;
    if (HWND proxy = m_taskBarProxy.Handle(); proxy && m_pBrowser && SUCCEEDED(m_pBrowser->get_LocationName(&name)) && name)
        SetWindowTextW(proxy, name);
    SysFreeString(name);
}

void CDialogWBContainer::InvalidateTaskbarBitmaps() const {
    if (HWND proxy = m_taskBarProxy.Handle()) CallDwmInvalidateIconicBitmaps(proxy);
}

fw::Bitmap CDialogWBContainer::CapturePageBitmap(SIZE& size) const {
    RECT area{};
    if (!m_hWndBrowser || !GetWindowRect(m_hWndBrowser, &area)) return {};
    size = {area.right - area.left, area.bottom - area.top};
    return CaptureBrowserBitmap(m_pBrowser.get(), size.cx, size.cy);
}

namespace {

// A GDI+ copy of `picture` as a 32-bit bitmap on opaque black, scaled to
// width by height when both are given; null when GDI+ cannot make it.
fw::Bitmap ThumbnailOf(HBITMAP picture, UINT width = 0, UINT height = 0) {
    Gdiplus::Bitmap source(picture, nullptr);
    if (source.GetLastStatus() != Gdiplus::Ok) return {};
    std::unique_ptr<Gdiplus::Image> scaled;
    Gdiplus::Bitmap* result = &source;
    if (width && height) {
        scaled.reset(source.GetThumbnailImage(width, height, nullptr, nullptr));
        if (!scaled || scaled->GetLastStatus() != Gdiplus::Ok) return {};
        result = static_cast<Gdiplus::Bitmap*>(scaled.get());
    }
    HBITMAP out = nullptr;
    if (result->GetHBITMAP(Gdiplus::Color(0xFF000000), &out) != Gdiplus::Ok) return {};
    return fw::Bitmap(out);
}

} // namespace

void CDialogWBContainer::OnTaskbarThumbnail(int maxWidth, int maxHeight) const {
    HWND proxy = m_taskBarProxy.Handle();
    if (!proxy) return;
    SIZE size{};
    fw::Bitmap thumbnail;
    if (maxWidth > 0 && maxHeight > 0) {
        if (fw::Bitmap page = CapturePageBitmap(size)) {
            // As large as the request allows, keeping the page's proportions.
            const double ratio = std::max(static_cast<double>(size.cx) / maxWidth,
                                          static_cast<double>(size.cy) / maxHeight);
            const auto width = std::max(1, static_cast<int>(size.cx / ratio));
            const auto height = std::max(1, static_cast<int>(size.cy / ratio));
            thumbnail = ThumbnailOf(page.get(), static_cast<UINT>(width), static_cast<UINT>(height));
        }
    }
    CallDwmSetIconicThumbnail(proxy, thumbnail ? thumbnail.get() : m_imgNoPreview.get(), 0);
}

void CDialogWBContainer::OnTaskbarLivePreview() const {
    HWND proxy = m_taskBarProxy.Handle();
    if (!proxy) return;
    // The page's place inside the main window, as the preview shows it.
    RECT top{}, client{}, own{};
    GetWindowRect(m_hWndTopLevel, &top);
    GetClientRect(m_hWndTopLevel, &client);
    GetWindowRect(Handle(), &own);
    POINT offset{own.left - top.left - ((top.right - top.left) - (client.right - client.left)) / 2, 0};
    RECT browser{};
    if (m_hWndBrowser && GetWindowRect(m_hWndBrowser, &browser)) {
        offset.y = browser.top - top.top;
        SIZE size{};
        fw::Bitmap page = CapturePageBitmap(size);
        fw::Bitmap preview = page ? ThumbnailOf(page.get()) : fw::Bitmap{};
        if (preview) {
            CallDwmSetIconicLivePreviewBitmap(proxy, preview.get(), &offset, 0);
            return;
        }
    }
    CallDwmSetIconicThumbnail(proxy, m_imgNoPreview.get(), 0);
}

void CDialogWBContainer::OnTaskbarActivate(WPARAM state) {
    if (state == WA_INACTIVE) return;
    // The main window belongs to another thread (or process): asynchronous
    // calls only, so this thread never waits for it.
    if (IsIconic(m_hWndTopLevel)) ShowWindowAsync(m_hWndTopLevel, SW_RESTORE);
    SetForegroundWindow(m_hWndTopLevel);
    Notify(WM_COMMAND, ID_TASKBAR_TAB_ACTIVE, 0);
}

void CDialogWBContainer::OnTaskbarSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) == SC_CLOSE) {
        // Closed from its thumbnail: at once, without the page's question.
        Notify(UWM_TAB_MUST_CLOSE, CLOSE_TASKBAR, 0);
        return;
    }
    SetForegroundWindow(m_hWndTopLevel);
    PostMessageW(m_hWndTopLevel, WM_SYSCOMMAND, command, lParam);
}

void CDialogWBContainer::ExecPrint(DWORD command) {
    fw::ComPtr<IOleCommandTarget> target;
    if (SUCCEEDED(m_wndBrowser.Query(IID_IOleCommandTarget, target)) && target)
        target->Exec(&kCgidMshtml, command, 0, nullptr, nullptr);
}

void CDialogWBContainer::SetTextSize(int level) {
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_I4;
    in.lVal = level;
    m_pBrowser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &in, nullptr);
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
        m_taskBarProxy.SetTabActive();
        return;
    default:
        break;
    }
    if (!m_pBrowser) return;
    switch (id) {
    case ID_BACK: m_pBrowser->GoBack(); break;
    case ID_FORWARD: m_pBrowser->GoForward(); break;
    case ID_REFRESH:
    case ID_MENU_REFRESH:
    case ID_REFRESH_ALL: m_pBrowser->Refresh(); break;
    case ID_REFRESH_NO_CACHE:
    case ID_REFRESH_ALL_NO_CACHE: {
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
    case ID_TEXT_SIZE_LARGER: SetTextSize(4); break;
    case ID_TEXT_SIZE_LARGE: SetTextSize(3); break;
    case ID_TEXT_SIZE_MEDIUM: SetTextSize(2); break;
    case ID_TEXT_SIZE_SMALL: SetTextSize(1); break;
    case ID_TEXT_SIZE_SMALLER: SetTextSize(0); break;
    case ID_PRINT: ExecPrint(IDM_PRINT); break;
    case ID_PRINT_PREVIEW: ExecPrint(IDM_PRINTPREVIEW); break;
    default: break;
    }
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
    m_taskBarProxy.DestroyProxy();
    m_bDestroying = true;
    // The panel goes first: it holds the browser and its window is ours.
    ReleasePanel();
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
        DrawCloseButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
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
        if (auto url = TakeStringParam(wParam)) Navigate(*url);
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
    case UWM_TAB_ZOOM:
        result = OnZoomRequest(static_cast<int>(wParam));
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
        OnTaskbarThumbnail(HIWORD(lParam), LOWORD(lParam));
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case WM_DWMSENDICONICLIVEPREVIEWBITMAP:
        OnTaskbarLivePreview();
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case UWM_TAB_TASKBAR_ACTIVATE:
        OnTaskbarActivate(wParam);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case UWM_TAB_TASKBAR_SYSCOMMAND:
        OnTaskbarSysCommand(wParam, lParam);
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
        return true;
    case UWM_TAB_TASKBAR_PREVIEW:
        // 1: the thumbnails were switched off; anything else: on again.
        if (wParam == 1) m_taskBarProxy.DestroyProxy();
        else CreateTaskbarProxy();
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

LRESULT CALLBACK CDialogWBContainer::AddressEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                                     UINT_PTR, DWORD_PTR) {
    LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
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

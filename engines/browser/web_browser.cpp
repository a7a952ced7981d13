// The stand-in WebBrowser control's COM surface: identity, the automation
// interface by vtable and by dispatch identifier, embedding (IOleObject and
// the in-place interfaces), persistence and the control's view.
#include "engines/browser/web_browser.h"

#include "engines/browser/browser_control.h"

#include <olectl.h>

#include <algorithm>
#include <cwchar>
#include <new>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace standin {

LONG g_liveObjects = 0;

LONG LiveBrowserObjects() { return g_liveObjects; }

HRESULT CreateWebBrowser(int version, REFCLSID requested, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (version < 5 || version > 9) version = 8;
    WebBrowser* browser = new (std::nothrow) WebBrowser(version, requested);
    if (!browser) return E_OUTOFMEMORY;
    const HRESULT hr = browser->QueryInterface(iid, out);
    browser->Release();
    return hr;
}

WebBrowser::WebBrowser(int version, REFCLSID requested)
    : version_(version), requestedClsid_(requested), events2_(*this, kDiidWebBrowserEvents2), events_(*this, kDiidWebBrowserEvents),
      context_(std::make_shared<DocumentContext>()) {
    // A change of the tree or of a style (a host's zoom wrapper, a script)
    // shows at once; the next paint lays the page out again.
    context_->changed = [this] {
        contentMeasured_ = false;
        if (window_) InvalidateRect(window_, nullptr, FALSE);
    };
    context_->viewport = [this] { return Viewport(); };
    context_->scrollTo = [this](long, long top) { ScrollTo(static_cast<int>(top)); };
}

WebBrowser::~WebBrowser() {
    CancelLoad();
    DestroyControlWindow();
    if (notify_) DestroyWindow(notify_);
    if (context_) {
        context_->changed = nullptr;
        context_->viewport = nullptr;
        context_->scrollTo = nullptr;
        context_->topPage = nullptr;
        context_->windowSinks.clear();
    }
    for (auto& [name, value] : properties_) VariantClear(&value);
}

// ---------------------------------------------------------------------------
// IUnknown

HRESULT WebBrowser::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser ||
        iid == IID_IWebBrowserApp || iid == IID_IWebBrowser2)
        *out = static_cast<IWebBrowser2*>(this);
    else if (iid == IID_IOleObject)
        *out = static_cast<IOleObject*>(this);
    else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject)
        *out = static_cast<IOleInPlaceObject*>(this);
    else if (iid == IID_IOleInPlaceActiveObject)
        *out = static_cast<IOleInPlaceActiveObject*>(this);
    else if (iid == IID_IOleControl)
        *out = static_cast<IOleControl*>(this);
    else if (iid == IID_IPersist || iid == IID_IPersistStreamInit)
        *out = static_cast<IPersistStreamInit*>(this);
    else if (iid == IID_IViewObject || iid == IID_IViewObject2)
        *out = static_cast<IViewObject2*>(this);
    else if (iid == IID_IConnectionPointContainer)
        *out = static_cast<IConnectionPointContainer*>(this);
    else if (iid == IID_IOleCommandTarget)
        *out = static_cast<IOleCommandTarget*>(this);
    else if (iid == IID_IStandInObject)
        *out = static_cast<IStandInObject*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG WebBrowser::AddRef() { return InterlockedIncrement(&refs_); }

ULONG WebBrowser::Release() {
    const ULONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
}

// ---------------------------------------------------------------------------
// IDispatch: the automation interface by dispatch identifier

namespace {

struct DispatchName {
    const wchar_t* name;
    DISPID id;
};

constexpr DispatchName kDispatchNames[] = {
    {L"GoBack", 100},        {L"GoForward", 101},     {L"GoHome", 102},
    {L"GoSearch", 103},      {L"Navigate", 104},      {L"Refresh", DISPID_REFRESH},
    {L"Refresh2", 105},      {L"Stop", 106},          {L"Application", 200},
    {L"Parent", 201},        {L"Container", 202},     {L"Document", 203},
    {L"TopLevelContainer", 204}, {L"Type", 205},     {L"Left", 206},
    {L"Top", 207},           {L"Width", 208},         {L"Height", 209},
    {L"LocationName", 210},  {L"LocationURL", 211},   {L"Busy", 212},
    {L"Quit", 300},          {L"PutProperty", 302},   {L"GetProperty", 303},
    {L"Name", 0},            {L"HWND", DISPID_HWND},  {L"Visible", 402},
    {L"Navigate2", 500},     {L"QueryStatusWB", 501}, {L"ExecWB", 502},
    {L"ReadyState", DISPID_READYSTATE}, {L"Offline", 550}, {L"Silent", 551},
    {L"RegisterAsBrowser", 552}, {L"RegisterAsDropTarget", 553},
};

// The argument at source position `index` of `count` (DISPPARAMS holds them
// in reverse order), or null when the caller left it out.
VARIANT* Argument(DISPPARAMS* params, UINT index) {
    if (!params || index >= params->cArgs) return nullptr;
    VARIANT* arg = &params->rgvarg[params->cArgs - 1 - index];
    if (V_VT(arg) == VT_ERROR && V_ERROR(arg) == DISP_E_PARAMNOTFOUND) return nullptr;
    return arg;
}

// A Boolean property value: the new value of a property put.
bool PutValue(DISPPARAMS* params, bool* value) {
    if (!params || params->cArgs < 1) return false;
    *value = VariantLong(&params->rgvarg[0], 0) != 0;
    return true;
}

HRESULT ReturnBool(VARIANT* result, VARIANT_BOOL value) {
    if (result) {
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = value;
    }
    return S_OK;
}

}  // namespace

HRESULT WebBrowser::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT WebBrowser::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT WebBrowser::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (i > 0) {  // named arguments are not supported
            hr = DISP_E_UNKNOWNNAME;
            continue;
        }
        for (const auto& entry : kDispatchNames) {
            if (names[i] && _wcsicmp(names[i], entry.name) == 0) ids[i] = entry.id;
        }
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT WebBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO*, UINT* argError) {
    if (argError) *argError = 0;
    if (result) VariantInit(result);
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;

    auto returnDispatch = [&](HRESULT (STDMETHODCALLTYPE WebBrowser::*getter)(IDispatch**)) -> HRESULT {
        IDispatch* value = nullptr;
        HRESULT hr = (this->*getter)(&value);
        if (FAILED(hr)) return hr;
        if (result) {
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = value;
        } else if (value) {
            value->Release();
        }
        return S_OK;
    };
    auto returnString = [&](HRESULT (STDMETHODCALLTYPE WebBrowser::*getter)(BSTR*)) -> HRESULT {
        BSTR value = nullptr;
        HRESULT hr = (this->*getter)(&value);
        if (FAILED(hr)) return hr;
        if (result) {
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = value;
        } else {
            SysFreeString(value);
        }
        return S_OK;
    };
    auto returnLong = [&](HRESULT (STDMETHODCALLTYPE WebBrowser::*getter)(LONG*)) -> HRESULT {
        LONG value = 0;
        HRESULT hr = (this->*getter)(&value);
        if (FAILED(hr)) return hr;
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = value;
        }
        return S_OK;
    };
    auto boolProperty = [&](HRESULT (STDMETHODCALLTYPE WebBrowser::*getter)(VARIANT_BOOL*),
                            HRESULT (STDMETHODCALLTYPE WebBrowser::*setter)(VARIANT_BOOL)) -> HRESULT {
        if (put && setter) {
            bool value = false;
            if (!PutValue(params, &value)) return DISP_E_BADPARAMCOUNT;
            return (this->*setter)(value ? VARIANT_TRUE : VARIANT_FALSE);
        }
        VARIANT_BOOL value = VARIANT_FALSE;
        HRESULT hr = (this->*getter)(&value);
        if (FAILED(hr)) return hr;
        return ReturnBool(result, value);
    };

    switch (id) {
    case 100: return GoBack();
    case 101: return GoForward();
    case 102: return GoHome();
    case 103: return GoSearch();
    case 104: {  // Navigate(URL, Flags, TargetFrameName, PostData, Headers)
        VARIANT* url = Argument(params, 0);
        if (!url) return DISP_E_PARAMNOTFOUND;
        const std::wstring address = VariantText(url);
        BSTR text = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
        HRESULT hr = Navigate(text, Argument(params, 1), Argument(params, 2), Argument(params, 3),
                              Argument(params, 4));
        SysFreeString(text);
        return hr;
    }
    case 500:  // Navigate2
        if (!Argument(params, 0)) return DISP_E_PARAMNOTFOUND;
        return Navigate2(Argument(params, 0), Argument(params, 1), Argument(params, 2),
                         Argument(params, 3), Argument(params, 4));
    case DISPID_REFRESH: return Refresh();
    case 105: return Refresh2(Argument(params, 0));
    case 106: return Stop();
    case 200: return returnDispatch(&WebBrowser::get_Application);
    case 201: return returnDispatch(&WebBrowser::get_Parent);
    case 202: return returnDispatch(&WebBrowser::get_Container);
    case 203: return returnDispatch(&WebBrowser::get_Document);
    case 204: return boolProperty(&WebBrowser::get_TopLevelContainer, nullptr);
    case 205: return returnString(&WebBrowser::get_Type);
    case 206: return returnLong(&WebBrowser::get_Left);
    case 207: return returnLong(&WebBrowser::get_Top);
    case 208: return returnLong(&WebBrowser::get_Width);
    case 209: return returnLong(&WebBrowser::get_Height);
    case 210: return returnString(&WebBrowser::get_LocationName);
    case 211: return returnString(&WebBrowser::get_LocationURL);
    case 212: return boolProperty(&WebBrowser::get_Busy, nullptr);
    case 0: return returnString(&WebBrowser::get_Name);
    case 402: return boolProperty(&WebBrowser::get_Visible, &WebBrowser::put_Visible);
    case 302: {
        VARIANT* name = Argument(params, 0);
        VARIANT* value = Argument(params, 1);
        if (!name || !value) return DISP_E_PARAMNOTFOUND;
        BSTR text = SysAllocString(VariantText(name).c_str());
        HRESULT hr = PutProperty(text, *value);
        SysFreeString(text);
        return hr;
    }
    case 303: {
        VARIANT* name = Argument(params, 0);
        if (!name) return DISP_E_PARAMNOTFOUND;
        BSTR text = SysAllocString(VariantText(name).c_str());
        VARIANT value;
        VariantInit(&value);
        HRESULT hr = GetProperty(text, &value);
        SysFreeString(text);
        if (SUCCEEDED(hr) && result) *result = value;
        else VariantClear(&value);
        return hr;
    }
    case 501: {  // QueryStatusWB(cmdID) -> OLECMDF
        OLECMDF status = OLECMDF(0);
        HRESULT hr = QueryStatusWB(OLECMDID(VariantLong(Argument(params, 0), 0)), &status);
        if (SUCCEEDED(hr) && result) {
            V_VT(result) = VT_I4;
            V_I4(result) = status;
        }
        return hr;
    }
    case 502: {  // ExecWB(cmdID, cmdexecopt, pvaIn, pvaOut)
        VARIANT* out = Argument(params, 3);
        if (out && V_VT(out) == (VT_BYREF | VT_VARIANT)) out = V_VARIANTREF(out);
        VARIANT* in = Argument(params, 2);
        return ExecWB(OLECMDID(VariantLong(Argument(params, 0), 0)),
                      OLECMDEXECOPT(VariantLong(Argument(params, 1), 0)), in, out);
    }
    case DISPID_READYSTATE: {
        READYSTATE state = READYSTATE_UNINITIALIZED;
        get_ReadyState(&state);
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = state;
        }
        return S_OK;
    }
    case 550: return boolProperty(&WebBrowser::get_Offline, &WebBrowser::put_Offline);
    case 551: return boolProperty(&WebBrowser::get_Silent, &WebBrowser::put_Silent);
    case 552: return boolProperty(&WebBrowser::get_RegisterAsBrowser, &WebBrowser::put_RegisterAsBrowser);
    case 553:
        return boolProperty(&WebBrowser::get_RegisterAsDropTarget, &WebBrowser::put_RegisterAsDropTarget);
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

// ---------------------------------------------------------------------------
// IWebBrowser2 properties

HRESULT WebBrowser::get_Application(IDispatch** out) {
    if (!out) return E_POINTER;
    *out = Self();
    AddRef();
    return S_OK;
}

HRESULT WebBrowser::get_Parent(IDispatch** out) { return get_Application(out); }

HRESULT WebBrowser::get_Container(IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return S_OK;
}

HRESULT WebBrowser::get_Document(IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!document_) return S_FALSE;
    return document_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
}

HRESULT WebBrowser::get_TopLevelContainer(VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = VARIANT_TRUE;
    return S_OK;
}

HRESULT WebBrowser::get_Type(BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!page_) return E_FAIL;
    return ReturnBstr(page_->isHtml ? L"HTML Document" : L"Text Document", out);
}

HRESULT WebBrowser::get_Left(LONG* out) {
    if (!out) return E_POINTER;
    *out = position_.left;
    return S_OK;
}

HRESULT WebBrowser::get_Top(LONG* out) {
    if (!out) return E_POINTER;
    *out = position_.top;
    return S_OK;
}

HRESULT WebBrowser::get_Width(LONG* out) {
    if (!out) return E_POINTER;
    *out = position_.right - position_.left;
    return S_OK;
}

HRESULT WebBrowser::get_Height(LONG* out) {
    if (!out) return E_POINTER;
    *out = position_.bottom - position_.top;
    return S_OK;
}

HRESULT WebBrowser::get_LocationName(BSTR* out) { return ReturnBstr(Title(), out); }

HRESULT WebBrowser::get_LocationURL(BSTR* out) { return ReturnBstr(url_, out); }

HRESULT WebBrowser::get_Busy(VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = job_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::PutProperty(BSTR name, VARIANT value) {
    if (!name) return E_INVALIDARG;
    VARIANT& slot = properties_[FromBstr(name)];
    VariantClear(&slot);
    return VariantCopy(&slot, &value);
}

HRESULT WebBrowser::GetProperty(BSTR name, VARIANT* value) {
    if (!name || !value) return E_POINTER;
    VariantInit(value);
    auto it = properties_.find(FromBstr(name));
    if (it == properties_.end()) return S_OK;  // an unknown property reads as empty
    return VariantCopy(value, &it->second);
}

HRESULT WebBrowser::get_Name(BSTR* out) { return ReturnBstr(L"Microsoft Web Browser Control", out); }

HRESULT WebBrowser::get_HWND(SHANDLE_PTR* out) {
    if (!out) return E_POINTER;
    *out = 0;
    return E_FAIL;  // a control has no top-level window of its own
}

HRESULT WebBrowser::get_Visible(VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = visible_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::put_Visible(VARIANT_BOOL value) {
    visible_ = value != VARIANT_FALSE;
    if (window_) ShowWindow(window_, visible_ ? SW_SHOWNA : SW_HIDE);
    return S_OK;
}

HRESULT WebBrowser::get_ReadyState(READYSTATE* out) {
    if (!out) return E_POINTER;
    *out = readyState_;
    return S_OK;
}

HRESULT WebBrowser::get_Offline(VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = offline_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::put_Offline(VARIANT_BOOL value) {
    offline_ = value != VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::get_Silent(VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = silent_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::put_Silent(VARIANT_BOOL value) {
    silent_ = value != VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::get_RegisterAsBrowser(VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = registerAsBrowser_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::put_RegisterAsBrowser(VARIANT_BOOL value) {
    registerAsBrowser_ = value != VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::get_RegisterAsDropTarget(VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    *out = registerAsDropTarget_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::put_RegisterAsDropTarget(VARIANT_BOOL value) {
    registerAsDropTarget_ = value != VARIANT_FALSE;
    return S_OK;
}

HRESULT WebBrowser::QueryStatusWB(OLECMDID command, OLECMDF* status) {
    if (!status) return E_POINTER;
    OLECMD cmd{static_cast<ULONG>(command), 0};
    HRESULT hr = QueryStatus(nullptr, 1, &cmd, nullptr);
    *status = OLECMDF(cmd.cmdf);
    return hr;
}

HRESULT WebBrowser::ExecWB(OLECMDID command, OLECMDEXECOPT option, VARIANT* in, VARIANT* out) {
    return Exec(nullptr, command, option, in, out);
}

// ---------------------------------------------------------------------------
// IOleObject

HRESULT WebBrowser::SetClientSite(IOleClientSite* site) {
    site_ = ComPtr<IOleClientSite>(site);
    uiHandler_.Reset();
    if (site_) {
        // The host's customisations, asked for once per site like the real engine.
        uiHandler_ = site_.As<IDocHostUIHandler>(kIidDocHostUIHandler);
    }
    return S_OK;
}

HRESULT WebBrowser::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    return site_.CopyTo(site);
}

HRESULT WebBrowser::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT WebBrowser::Close(DWORD) {
    CancelLoad();
    InPlaceDeactivate();
    if (oleAdvise_) oleAdvise_->OnClose();
    oleAdvise_.Reset();
    return S_OK;
}

HRESULT WebBrowser::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND, LPCRECT) {
    IOleClientSite* site = activeSite ? activeSite : site_.Get();
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_OPEN:
        return InPlaceActivate(site, true);
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(site, true);
    case OLEIVERB_INPLACEACTIVATE:
        return InPlaceActivate(site, false);
    case OLEIVERB_HIDE:
        if (window_) ShowWindow(window_, SW_HIDE);
        return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT WebBrowser::EnumVerbs(IEnumOLEVERB** out) {
    if (out) *out = nullptr;
    return OLE_S_USEREG;
}

HRESULT WebBrowser::Update() { return S_OK; }
HRESULT WebBrowser::IsUpToDate() { return S_OK; }

HRESULT WebBrowser::GetUserClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = kClsidWebBrowser;
    return S_OK;
}

HRESULT WebBrowser::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    extent_ = *size;
    return S_OK;
}

HRESULT WebBrowser::GetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    *size = extent_;
    return S_OK;
}

HRESULT WebBrowser::Advise(IAdviseSink* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    oleAdvise_ = ComPtr<IAdviseSink>(sink);
    *cookie = 1;
    return S_OK;
}

HRESULT WebBrowser::Unadvise(DWORD cookie) {
    if (cookie != 1 || !oleAdvise_) return OLE_E_NOCONNECTION;
    oleAdvise_.Reset();
    return S_OK;
}

HRESULT WebBrowser::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
}

// ---------------------------------------------------------------------------
// IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

HRESULT WebBrowser::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
}

HRESULT WebBrowser::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT WebBrowser::InPlaceDeactivate() {
    if (!inPlaceSite_ && !window_) return S_OK;
    UIDeactivate();
    DestroyControlWindow();
    if (inPlaceSite_) inPlaceSite_->OnInPlaceDeactivate();
    inPlaceSite_.Reset();
    frame_.Reset();
    return S_OK;
}

HRESULT WebBrowser::UIDeactivate() {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT WebBrowser::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    position_ = *position;
    if (window_)
        SetWindowPos(window_, nullptr, position->left, position->top, position->right - position->left,
                     position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
    return S_OK;
}

HRESULT WebBrowser::TranslateAccelerator(LPMSG msg) {
    if (!msg) return E_INVALIDARG;
    const bool key = msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST;
    if (!key) return S_FALSE;
    // The host sees every key first; a key it translates is done.
    if (uiHandler_) {
        ComPtr<IDocHostUIHandler> handler = uiHandler_;
        if (handler->TranslateAccelerator(msg, &kCgidMshtml, 0) == S_OK) return S_OK;
    }
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return S_FALSE;
    const bool alt = (GetKeyState(VK_MENU) & 0x8000) != 0;
    const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    switch (msg->wParam) {
    case VK_F5:
        if (ctrl) Refresh2(nullptr);
        else Refresh();
        return S_OK;
    case VK_LEFT:
        if (alt) {
            GoBack();
            return S_OK;
        }
        break;
    case VK_RIGHT:
        if (alt) {
            GoForward();
            return S_OK;
        }
        break;
    case VK_BROWSER_BACK:
        GoBack();
        return S_OK;
    case VK_BROWSER_FORWARD:
        GoForward();
        return S_OK;
    case 'P':
        if (ctrl) {
            Print(true);
            return S_OK;
        }
        break;
    default:
        break;
    }
    return S_FALSE;
}

HRESULT WebBrowser::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT WebBrowser::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT WebBrowser::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT WebBrowser::EnableModeless(BOOL) { return S_OK; }

// ---------------------------------------------------------------------------
// IOleControl

HRESULT WebBrowser::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT WebBrowser::OnAmbientPropertyChange(DISPID id) {
    // New download-control flags apply from the next load, as in the real
    // engine; the page on display is not reloaded.
    if (id == DISPID_AMBIENT_DLCONTROL || id == DISPID_UNKNOWN) downloadFlags_ = AmbientDownloadFlags();
    return S_OK;
}

HRESULT WebBrowser::FreezeEvents(BOOL freeze) {
    eventsFrozen_ = freeze != FALSE;
    return S_OK;
}

// ---------------------------------------------------------------------------
// IPersistStreamInit: the control keeps no persisted state of its own; a
// host's saved state (such as a dialog template's) is read and accepted.

HRESULT WebBrowser::GetClassID(CLSID* clsid) { return GetUserClassID(clsid); }
HRESULT WebBrowser::IsDirty() { return S_FALSE; }

HRESULT WebBrowser::Load(LPSTREAM stream) {
    if (!stream) return E_POINTER;
    BYTE buffer[512];
    ULONG read = 0;
    for (int guard = 0; guard < 4096; ++guard) {  // at most 2 MB of state
        if (FAILED(stream->Read(buffer, sizeof(buffer), &read)) || read == 0) break;
    }
    return S_OK;
}

HRESULT WebBrowser::Save(LPSTREAM stream, BOOL) { return stream ? S_OK : E_POINTER; }

HRESULT WebBrowser::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
}

HRESULT WebBrowser::InitNew() { return S_OK; }

// ---------------------------------------------------------------------------
// IViewObject2: the control's picture is the page it shows.

HRESULT WebBrowser::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds,
                         LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!dc || !bounds) return E_INVALIDARG;
    const RECT area{bounds->left, bounds->top, bounds->right, bounds->bottom};
    if (page_) {
        PaintPage(*page_, dc, area, context_->settings);
    } else {
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    return S_OK;
}

HRESULT WebBrowser::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    viewAdvise_ = ComPtr<IAdviseSink>(sink);
    viewAdviseAspects_ = aspects;
    viewAdviseFlags_ = flags;
    return S_OK;
}

HRESULT WebBrowser::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = viewAdviseAspects_;
    if (flags) *flags = viewAdviseFlags_;
    if (sink) viewAdvise_.CopyTo(sink);
    return S_OK;
}

HRESULT WebBrowser::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

// ---------------------------------------------------------------------------
// IConnectionPointContainer

HRESULT WebBrowser::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ConnectionPoint* point = nullptr;
    if (iid == kDiidWebBrowserEvents2) point = &events2_;
    else if (iid == kDiidWebBrowserEvents) point = &events_;
    if (!point) return CONNECT_E_NOCONNECTION;
    *out = point;
    point->AddRef();
    return S_OK;
}

// ---------------------------------------------------------------------------
// IStandInObject: lets tests see which version's library made the control.

HRESULT WebBrowser::GetOrigin(BSTR* moduleFileName) {
    if (!moduleFileName) return E_POINTER;
    *moduleFileName = nullptr;
    WCHAR path[MAX_PATH * 2];
    const DWORD length =
        GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path)) return E_FAIL;
    *moduleFileName = SysAllocStringLen(path, length);
    return *moduleFileName ? S_OK : E_OUTOFMEMORY;
}

HRESULT WebBrowser::GetClassId(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = requestedClsid_;
    return S_OK;
}

HRESULT WebBrowser::GetVersionCode(WCHAR* code) {
    if (!code) return E_POINTER;
    code[0] = static_cast<WCHAR>(L'0' + version_);
    code[1] = L'\0';
    return S_OK;
}

}  // namespace standin

// The stand-in control's outgoing events: its two connection points
// (DWebBrowserEvents2 and the old-style DWebBrowserEvents) and the events
// with the parameters and types the real engine passes.
#include "engines/browser/browser_control.h"

#include <exdispid.h>

namespace standin {

// ---------------------------------------------------------------------------
// ConnectionPoint: lives inside the control and shares its reference count.

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

ULONG ConnectionPoint::AddRef() { return owner_.AddRef(); }
ULONG ConnectionPoint::Release() { return owner_.Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out) return E_POINTER;
    return owner_.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    // A sink answers the event interface itself, or at least IDispatch.
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(dispatch.Put()))) || !dispatch) {
        if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Put()))) ||
            !dispatch)
            return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = nextCookie_++;
    sinks_.emplace_back(*cookie, std::move(dispatch));
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->first == cookie) {
            ComPtr<IDispatch> released = std::move(it->second);
            sinks_.erase(it);
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

std::vector<ComPtr<IDispatch>> ConnectionPoint::Sinks() const {
    std::vector<ComPtr<IDispatch>> result;
    for (const auto& entry : sinks_) result.push_back(entry.second);
    return result;
}

// ---------------------------------------------------------------------------
// Firing

namespace {

VARIANT Bstr(const std::wstring& text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

VARIANT Long(long value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT Bool(bool value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT Dispatch(IDispatch* value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = value;  // not owned: the caller keeps it alive during the event
    return v;
}

VARIANT RefVariant(VARIANT* target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = target;
    return v;
}

VARIANT RefBool(VARIANT_BOOL* target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&v) = target;
    return v;
}

VARIANT RefDispatch(IDispatch** target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&v) = target;
    return v;
}

// Frees what the argument list owns: BSTRs and the values behind VT_VARIANT
// references are cleared by the caller that made them.
void ClearOwned(std::vector<VARIANT>& args) {
    for (VARIANT& v : args) {
        if (V_VT(&v) == VT_BSTR) VariantClear(&v);
    }
}

struct OwnedVariant {
    VARIANT value;
    OwnedVariant() { VariantInit(&value); }
    explicit OwnedVariant(VARIANT v) : value(v) {}
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(&value); }
};

}  // namespace

void WebBrowser::Fire(ConnectionPoint& point, DISPID id, std::vector<VARIANT>& args) {
    if (eventsFrozen_) return;
    // DISPPARAMS wants the last argument first.
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    // Sinks may disconnect or release the control while an event runs.
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    for (const ComPtr<IDispatch>& sink : point.Sinks()) {
        VARIANT result;
        VariantInit(&result);
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                     nullptr);
        VariantClear(&result);
    }
}

bool WebBrowser::FireBeforeNavigate(IDispatch* source, const std::wstring& url, const std::wstring& target) {
    OwnedVariant urlValue(Bstr(url)), flags(Long(0)), frame(Bstr(target)), postData, headers(Bstr(L""));
    VARIANT_BOOL cancel = VARIANT_FALSE;
    std::vector<VARIANT> args{Dispatch(source),          RefVariant(&urlValue.value),
                              RefVariant(&flags.value),  RefVariant(&frame.value),
                              RefVariant(&postData.value), RefVariant(&headers.value),
                              RefBool(&cancel)};
    Fire(events2_, DISPID_BEFORENAVIGATE2, args);
    if (cancel != VARIANT_FALSE) return false;
    if (source != Self()) return true;  // the old-style interface knows only the top page

    VARIANT_BOOL oldCancel = VARIANT_FALSE;
    OwnedVariant oldPostData;
    std::vector<VARIANT> old{Bstr(url), Long(0), Bstr(target), RefVariant(&oldPostData.value),
                             Bstr(L""), RefBool(&oldCancel)};
    Fire(events_, DISPID_BEFORENAVIGATE, old);
    ClearOwned(old);
    return oldCancel == VARIANT_FALSE;
}

void WebBrowser::FireNavigateComplete(IDispatch* source, const std::wstring& url) {
    OwnedVariant urlValue(Bstr(url));
    std::vector<VARIANT> args{Dispatch(source), RefVariant(&urlValue.value)};
    Fire(events2_, DISPID_NAVIGATECOMPLETE2, args);
    if (source == Self()) {
        std::vector<VARIANT> old{Bstr(url)};
        Fire(events_, DISPID_NAVIGATECOMPLETE, old);
        ClearOwned(old);
    }
}

void WebBrowser::FireDocumentComplete(IDispatch* source, const std::wstring& url) {
    OwnedVariant urlValue(Bstr(url));
    std::vector<VARIANT> args{Dispatch(source), RefVariant(&urlValue.value)};
    Fire(events2_, DISPID_DOCUMENTCOMPLETE, args);
}

bool WebBrowser::FireNavigateError(IDispatch* source, const std::wstring& url, const std::wstring& frameName,
                                   long status) {
    OwnedVariant urlValue(Bstr(url)), frame(Bstr(frameName)), code(Long(status));
    VARIANT_BOOL cancel = VARIANT_FALSE;
    std::vector<VARIANT> args{Dispatch(source), RefVariant(&urlValue.value), RefVariant(&frame.value),
                              RefVariant(&code.value), RefBool(&cancel)};
    Fire(events2_, DISPID_NAVIGATEERROR, args);
    return cancel != VARIANT_FALSE;
}

void WebBrowser::FireStatusText(const std::wstring& text) {
    statusText_ = text;
    std::vector<VARIANT> args{Bstr(text)};
    Fire(events2_, DISPID_STATUSTEXTCHANGE, args);
    Fire(events_, DISPID_STATUSTEXTCHANGE, args);
    ClearOwned(args);
}

void WebBrowser::FireTitle(const std::wstring& title) {
    std::vector<VARIANT> args{Bstr(title)};
    Fire(events2_, DISPID_TITLECHANGE, args);
    Fire(events_, DISPID_TITLECHANGE, args);
    ClearOwned(args);
}

void WebBrowser::FireProgress(long progress, long maximum) {
    std::vector<VARIANT> args{Long(progress), Long(maximum)};
    Fire(events2_, DISPID_PROGRESSCHANGE, args);
    Fire(events_, DISPID_PROGRESSCHANGE, args);
}

void WebBrowser::FireDownloadBegin() {
    std::vector<VARIANT> args;
    Fire(events2_, DISPID_DOWNLOADBEGIN, args);
    Fire(events_, DISPID_DOWNLOADBEGIN, args);
}

void WebBrowser::FireDownloadComplete() {
    std::vector<VARIANT> args;
    Fire(events2_, DISPID_DOWNLOADCOMPLETE, args);
    Fire(events_, DISPID_DOWNLOADCOMPLETE, args);
}

void WebBrowser::FireCommandState(long command, bool enabled) {
    std::vector<VARIANT> args{Long(command), Bool(enabled)};
    Fire(events2_, DISPID_COMMANDSTATECHANGE, args);
    Fire(events_, DISPID_COMMANDSTATECHANGE, args);
}

bool WebBrowser::FireNewWindow(const std::wstring& url, const std::wstring& target) {
    // Old-style NewWindow(URL, Flags, TargetFrameName, PostData, Headers, Processed).
    VARIANT_BOOL processed = VARIANT_FALSE;
    OwnedVariant postData;
    std::vector<VARIANT> args{Bstr(url), Long(0), Bstr(target), RefVariant(&postData.value), Bstr(L""),
                              RefBool(&processed)};
    Fire(events_, DISPID_NEWWINDOW, args);
    ClearOwned(args);
    return processed != VARIANT_FALSE;
}

bool WebBrowser::FireNewWindow2(IDispatch** browser) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    *browser = nullptr;
    std::vector<VARIANT> args{RefDispatch(browser), RefBool(&cancel)};
    Fire(events2_, DISPID_NEWWINDOW2, args);
    return cancel != VARIANT_FALSE;
}

bool WebBrowser::FireWindowClosing() {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    std::vector<VARIANT> args{Bool(false), RefBool(&cancel)};
    Fire(events2_, DISPID_WINDOWCLOSING, args);
    return cancel != VARIANT_FALSE;
}

}  // namespace standin

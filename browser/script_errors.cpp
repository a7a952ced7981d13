#include "script_errors.h"

#include "framework/com_ptr.h"

#include <mshtml.h>

namespace {

// A property of an IDispatch by name, or VT_EMPTY.
bool GetProperty(IDispatch* object, const wchar_t* name, VARIANT& value) {
    VariantInit(&value);
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
    DISPPARAMS none{};
    return SUCCEEDED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                                    nullptr));
}

long NumberProperty(IDispatch* object, const wchar_t* name) {
    VARIANT value;
    long out = 0;
    if (GetProperty(object, name, value)) {
        VARIANT number;
        VariantInit(&number);
        if (SUCCEEDED(VariantChangeType(&number, &value, 0, VT_I4))) out = V_I4(&number);
        VariantClear(&number);
    }
    VariantClear(&value);
    return out;
}

std::wstring TextProperty(IDispatch* object, const wchar_t* name) {
    VARIANT value;
    std::wstring out;
    if (GetProperty(object, name, value)) {
        VARIANT text;
        VariantInit(&text);
        if (SUCCEEDED(VariantChangeType(&text, &value, 0, VT_BSTR)) && V_BSTR(&text))
            out.assign(V_BSTR(&text), SysStringLen(V_BSTR(&text)));
        VariantClear(&text);
    }
    VariantClear(&value);
    return out;
}

} // namespace

bool ReadScriptError(IUnknown* document, ScriptErrorReport& out) {
    out = ScriptErrorReport{};
    if (!document) return false;
    fw::ComPtr<IHTMLDocument2> doc;
    fw::ComPtr<IHTMLWindow2> window;
    fw::ComPtr<IHTMLEventObj> event;
    fw::ComPtr<IDispatch> details;
    if (FAILED(document->QueryInterface(IID_IHTMLDocument2, doc.put_void())) || !doc ||
        FAILED(doc->get_parentWindow(window.put())) || !window || FAILED(window->get_event(event.put())) || !event ||
        FAILED(event->QueryInterface(IID_IDispatch, details.put_void())) || !details)
        return false;
    out.message = TextProperty(details.get(), L"errorMessage");
    out.line = NumberProperty(details.get(), L"errorLine");
    out.character = NumberProperty(details.get(), L"errorCharacter");
    out.code = NumberProperty(details.get(), L"errorCode");
    out.url = TextProperty(details.get(), L"errorUrl");
    return true;
}

STDMETHODIMP CScriptErrorSink::QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT*) {
    if (!commands) return E_POINTER;
    if (group) return OLECMDERR_E_UNKNOWNGROUP;
    for (ULONG i = 0; i < count; ++i)
        commands[i].cmdf = commands[i].cmdID == OLECMDID_SHOWSCRIPTERROR ? OLECMDF_SUPPORTED | OLECMDF_ENABLED : 0;
    return S_OK;
}

STDMETHODIMP CScriptErrorSink::Exec(const GUID* group, DWORD id, DWORD, VARIANT* in, VARIANT* out) {
    if (group) return OLECMDERR_E_UNKNOWNGROUP;
    if (id != OLECMDID_SHOWSCRIPTERROR) return OLECMDERR_E_NOTSUPPORTED;
    ScriptErrorReport report;
    IUnknown* document = in && (V_VT(in) == VT_UNKNOWN || V_VT(in) == VT_DISPATCH) ? V_UNKNOWN(in) : nullptr;
    if (!ReadScriptError(document, report) && report.message.empty()) report.message = L"script error";
    ++m_count;
    try {
        if (m_errors.size() < kKeptErrors) m_errors.push_back(report);
        if (m_reporter) m_reporter(report);
    } catch (...) {
        // Out of memory: the error stays counted.
    }
    // The page's scripts go on, as after the engine's own dialog.
    if (out) {
        VariantClear(out);
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = VARIANT_TRUE;
    }
    return S_OK;
}

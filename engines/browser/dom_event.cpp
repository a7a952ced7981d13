// The event object of a script error (dom.h): what window.event answers
// while the control reports the error to its host.
#include "engines/browser/dom_internal.h"

#include "standin_stubs.h"

#include <cwctype>

namespace standin::dom {
namespace {

constexpr DISPID kErrorMessage = 1, kErrorLine = 2, kErrorCharacter = 3, kErrorCode = 4, kErrorUrl = 5;

class ScriptErrorEvent final : public ComObject<IHTMLEventObjStubs> {
public:
    ScriptErrorEvent(std::wstring message, long line, long character, std::wstring url)
        : message_(std::move(message)), line_(line), character_(character), url_(std::move(url)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
            !IsEqualIID(iid, __uuidof(IHTMLEventObj)))
            return E_NOINTERFACE;
        *out = static_cast<IHTMLEventObj*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids) return E_POINTER;
        static const struct {
            const wchar_t* name;
            DISPID id;
        } kNames[] = {{L"errorMessage", kErrorMessage},
                      {L"errorLine", kErrorLine},
                      {L"errorCharacter", kErrorCharacter},
                      {L"errorCode", kErrorCode},
                      {L"errorUrl", kErrorUrl}};
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (const auto& n : kNames)
                if (names[i] && _wcsicmp(names[i], n.name) == 0) ids[i] = n.id;
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (!result) return E_POINTER;
        VariantInit(result);
        switch (id) {
        case kErrorMessage: return Text(message_, result);
        case kErrorUrl: return Text(url_, result);
        case kErrorLine: return Number(line_, result);
        case kErrorCharacter: return Number(character_, result);
        case kErrorCode: return Number(0, result);
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }
    HRESULT STDMETHODCALLTYPE get_type(BSTR* p) override { return ReturnBstr(L"error", p); }

private:
    static HRESULT Text(const std::wstring& text, VARIANT* result) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return V_BSTR(result) ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Number(long value, VARIANT* result) {
        V_VT(result) = VT_I4;
        V_I4(result) = value;
        return S_OK;
    }

    std::wstring message_;
    long line_;
    long character_;
    std::wstring url_;
};

}  // namespace
}  // namespace standin::dom

namespace standin {

HRESULT CreateScriptErrorEvent(const std::wstring& message, long line, long character, const std::wstring& url,
                               IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return dom::NewObject<dom::ScriptErrorEvent>(IID_IDispatch, reinterpret_cast<void**>(out), message, line,
                                                 character, url);
}

}  // namespace standin

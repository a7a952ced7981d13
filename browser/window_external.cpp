#include "window_external.h"

#include "core/settings.h"
#include "framework/app.h"
#include "isolation/isolation.h"

#include <iterator>
#include <string>
#include <vector>

namespace {

// Parameter lists, each ending in VT_EMPTY.
constexpr VARTYPE kNone[] = {VT_EMPTY};
constexpr VARTYPE kString[] = {VT_BSTR, VT_EMPTY};
constexpr VARTYPE kTwoStrings[] = {VT_BSTR, VT_BSTR, VT_EMPTY};
constexpr VARTYPE kThreeStrings[] = {VT_BSTR, VT_BSTR, VT_BSTR, VT_EMPTY};
constexpr VARTYPE kDesktopComponent[] = {VT_BSTR, VT_BSTR, VT_I4, VT_I4, VT_I4, VT_I4, VT_EMPTY};
constexpr VARTYPE kObject[] = {VT_DISPATCH, VT_EMPTY};
constexpr VARTYPE kBoolString[] = {VT_BOOL, VT_BSTR, VT_EMPTY};
constexpr VARTYPE kStringVariant[] = {VT_BSTR, VT_VARIANT, VT_EMPTY};

using Method = CCustomWindowExternal::Method;

// A method's dispatch identifier is its position in its table.
constexpr Method kTable55[] = {
    {L"AddChannel", kString},           {L"AddFavorite", kTwoStrings},
    {L"AddDesktopComponent", kDesktopComponent}, {L"AutoCompleteSaveForm", kObject},
    {L"AutoScan", kThreeStrings},       {L"ImportExportFavorites", kBoolString},
    {L"IsSubscribed", kString},         {L"NavigateAndFind", kThreeStrings},
    {L"ShowBrowserUI", kStringVariant},
};
constexpr Method kTable7[] = {
    {L"AddFavorite", kTwoStrings},      {L"AddDesktopComponent", kDesktopComponent},
    {L"AddSearchProvider", kString},    {L"AutoCompleteSaveForm", kObject},
    {L"AutoScan", kThreeStrings},       {L"ImportExportFavorites", kBoolString},
    {L"IsSearchProviderInstalled", kString}, {L"NavigateAndFind", kThreeStrings},
    {L"ShowBrowserUI", kStringVariant},
};
constexpr Method kTable8[] = {
    {L"AddFavorite", kTwoStrings},      {L"AddDesktopComponent", kDesktopComponent},
    {L"AddSearchProvider", kString},    {L"AddToFavoritesBar", kThreeStrings},
    {L"AutoCompleteSaveForm", kObject}, {L"AutoScan", kThreeStrings},
    {L"ContentDiscoveryReset", kNone},  {L"InPrivateFilteringEnabled", kNone},
    {L"IsSearchProviderInstalled", kString}, {L"IsServiceInstalled", kTwoStrings},
    {L"NavigateAndFind", kThreeStrings}, {L"ShowBrowserUI", kStringVariant},
};

unsigned CountOf(const VARTYPE* parameters) {
    unsigned n = 0;
    while (parameters[n] != VT_EMPTY) ++n;
    return n;
}

} // namespace

CCustomWindowExternal* CCustomWindowExternal::Create() { return fw::MakeCom<CCustomWindowExternal>().detach(); }

CCustomWindowExternal::MethodTable CCustomWindowExternal::TableFor(IEVERSION version) {
    switch (version) {
    case IE55:
    case IE6: return {kTable55, static_cast<unsigned>(std::size(kTable55))};
    case IE7: return {kTable7, static_cast<unsigned>(std::size(kTable7))};
    default: return {kTable8, static_cast<unsigned>(std::size(kTable8))};
    }
}

IEVERSION CCustomWindowExternal::CallingVersion() {
    const IEENGINE* engine = GetCurrentEngine();
    if (!engine || engine->version == static_cast<DWORD>(IEDefault)) return GetInstalledIEVersion();
    return static_cast<IEVERSION>(engine->version);
}

std::span<const fw::DispatchName> CCustomWindowExternal::DispatchNames() const {
    // One name list per method table, made once; the tables never change.
    struct Names {
        explicit Names(MethodTable table) : methods(table.methods) {
            for (unsigned m = 0; m < table.count; ++m) list.push_back({table.methods[m].name, static_cast<DISPID>(m)});
        }
        const Method* methods;
        std::vector<fw::DispatchName> list;
    };
    static const Names names55(TableFor(IE55)), names7(TableFor(IE7)), names8(TableFor(IE8));
    const MethodTable table = TableFor(CallingVersion());
    for (const Names* n : {&names55, &names7, &names8})
        if (n->methods == table.methods) return n->list;
    return {};
}

HRESULT CCustomWindowExternal::OnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argError) {
    const MethodTable table = TableFor(CallingVersion());
    if (id < 0 || static_cast<unsigned>(id) >= table.count) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    const Method& method = table.methods[id];
    const unsigned expected = CountOf(method.parameters);
    const unsigned given = params ? params->cArgs : 0;
    if (given > expected) return DISP_E_BADPARAMCOUNT;
    if (given > 0 && !params->rgvarg) return E_INVALIDARG;

    // Every argument converts to its parameter's type, or the call fails
    // with the conversion's error; only a variant parameter may be missing.
    for (unsigned i = 0; i < expected; ++i) {
        const VARTYPE type = method.parameters[i];
        if (i >= given) {
            if (type == VT_VARIANT) continue;
            return DISP_E_PARAMNOTOPTIONAL;
        }
        if (type == VT_VARIANT) continue;
        VARIANT converted;
        VariantInit(&converted);
        VARIANT& argument = params->rgvarg[given - 1 - i];
        HRESULT hr = VariantChangeType(&converted, &argument, 0, type);
        VariantClear(&converted);
        if (FAILED(hr)) {
            if (argError) *argError = given - 1 - i;
            return hr;
        }
    }

    fw::AppMessageBox(nullptr, std::wstring(L"window.external.") + method.name + L" method called",
                      MB_OK | MB_ICONEXCLAMATION);
    if (result) VariantInit(result);
    return S_OK;
}

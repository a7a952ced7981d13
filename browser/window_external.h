#pragma once
// The program's window.external: an automation object without a type
// library that offers the method names of the tab's engine version. A call
// of one of them only shows a message box naming the call and returns
// nothing; wrong calls are refused with the automation errors a script sees
// as script errors (unknown name, wrong argument count, an argument that
// cannot be converted), without a message box.
//
// One per tab content's control site, created with it; reference counted,
// so the engine may keep it as long as it likes (it has no state). Used only
// on the tab's thread, whose engine record (from the isolation layer) picks
// the method table on every lookup and call.
#include "core/versions.h"

#include <oaidl.h>

class CCustomWindowExternal final : public IDispatch {
public:
    // A new object with one reference for the caller.
    static CCustomWindowExternal* Create();

    // The method table of a version: 5.5 and 6 share one, 7 has its own,
    // every other version (8, 9 and the rest) gets the newest.
    struct Method {
        const wchar_t* name;
        const VARTYPE* parameters;  // VT_EMPTY-terminated
    };
    struct MethodTable {
        const Method* methods;
        unsigned count;
    };
    static MethodTable TableFor(IEVERSION version);
    // The version whose table the calling thread gets: its engine record's,
    // or the installed engine's for the system's engine or no record.
    static IEVERSION CallingVersion();

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

private:
    CCustomWindowExternal() = default;
    ~CCustomWindowExternal() = default;
    LONG m_refs = 1;
};

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
#include "framework/com_object.h"

#include <oaidl.h>

class CCustomWindowExternal final : public fw::DispatchObject<CCustomWindowExternal, IDispatch> {
public:
    // A new object with one reference for the caller; null when memory is short.
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

    // Made through Create (fw::MakeCom); public for it.
    CCustomWindowExternal() = default;

protected:
    // The calling thread's table, a method's identifier its position.
    std::span<const fw::DispatchName> DispatchNames() const override;
    HRESULT OnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argError) override;
};

#pragma once
// Whether the process runs under Wine (its ntdll exports wine_get_version).
// Only code that stands in for a Windows mechanism Wine lacks asks this; the
// answer never changes during a run, so it is read once.
#include <windows.h>

namespace fw {

inline bool RunningUnderWine() {
    static const bool underWine = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return underWine;
}

} // namespace fw

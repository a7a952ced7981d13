#pragma once
// The detoured system functions: their saved originals (`Real...`, the
// trampoline once attached) and the replacements (`Hooked...`).
#include <windows.h>
#include <objbase.h>
#include <string>

struct ISOLATION_UNICODE_STRING {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};
using NTSTATUS_T = LONG;
// What an Ldr detour answers when it stopped an exception (STATUS_INTERNAL_ERROR).
constexpr NTSTATUS_T kStatusInternalError = static_cast<NTSTATUS_T>(0xC00000E5);

using PFN_LdrGetDllHandle = NTSTATUS_T(NTAPI*)(PWSTR, PULONG, ISOLATION_UNICODE_STRING*, PVOID*);
using PFN_LdrGetDllHandleEx = NTSTATUS_T(NTAPI*)(ULONG, PCWSTR, PULONG, const ISOLATION_UNICODE_STRING*, PVOID*);
using PFN_ZwQueryKey = NTSTATUS_T(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

extern decltype(&CoCreateInstance) RealCoCreateInstance;
extern decltype(&CoCreateInstanceEx) RealCoCreateInstanceEx;
extern decltype(&CoGetClassObject) RealCoGetClassObject;
extern decltype(&LoadLibraryA) RealLoadLibraryA;
extern decltype(&LoadLibraryW) RealLoadLibraryW;
extern decltype(&FreeLibrary) RealFreeLibrary;
extern decltype(&RegOpenKeyW) RealRegOpenKeyW;
extern decltype(&RegCloseKey) RealRegCloseKey;
extern decltype(&RegQueryValueExW) RealRegQueryValueExW;
extern decltype(&RegQueryValueW) RealRegQueryValueW;
extern PFN_LdrGetDllHandle RealLdrGetDllHandle;
extern PFN_LdrGetDllHandleEx RealLdrGetDllHandleEx;
extern decltype(&CreateThread) RealCreateThread;
extern PFN_ZwQueryKey RealZwQueryKey;

HRESULT WINAPI HookedCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);
HRESULT WINAPI HookedCoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD context, COSERVERINFO* server,
                                        DWORD count, MULTI_QI* results);
HRESULT WINAPI HookedCoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO* server, REFIID iid,
                                      LPVOID* object);
HMODULE WINAPI HookedLoadLibraryA(LPCSTR name);
HMODULE WINAPI HookedLoadLibraryW(LPCWSTR name);
BOOL WINAPI HookedFreeLibrary(HMODULE module);
LSTATUS WINAPI HookedRegOpenKeyW(HKEY key, LPCWSTR subKey, PHKEY result);
LSTATUS WINAPI HookedRegCloseKey(HKEY key);
LSTATUS WINAPI HookedRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                      LPDWORD size);
LSTATUS WINAPI HookedRegQueryValueW(HKEY key, LPCWSTR subKey, LPWSTR data, PLONG size);
NTSTATUS_T NTAPI HookedLdrGetDllHandle(PWSTR path, PULONG characteristics, ISOLATION_UNICODE_STRING* name,
                                       PVOID* handle);
// Newer systems (and Wine) answer GetModuleHandle through this extended
// lookup without passing through LdrGetDllHandle; it gets the same rule.
NTSTATUS_T NTAPI HookedLdrGetDllHandleEx(ULONG flags, PCWSTR path, PULONG characteristics,
                                         const ISOLATION_UNICODE_STRING* name, PVOID* handle);
HANDLE WINAPI HookedCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                                 LPVOID parameter, DWORD flags, LPDWORD threadId);

#pragma once
// Stand-in engine libraries: what tests may call in them.
//
// The real engine files are not available on build and test machines. The
// stand-ins under engines/ take their names and folders so that tests can
// prove the isolation layer sends each thread's library loads, COM
// creations, thread creations and registry reads to the right version's
// files. Product code never depends on anything declared here.
//
// Every stand-in exports, undecorated:
//   DllGetClassObject, DllCanUnloadNow   (the engine contract)
//   StandInLoadLibraryA, StandInLoadLibraryW, StandInFreeLibrary,
//   StandInGetModuleHandleW, StandInCoCreate, StandInCoGetClassObject,
//   StandInCreateThread, StandInRegOpenKeyW, StandInRegCloseKey,
//   StandInRegQueryValueW, StandInIdentity
// The StandIn functions call the system function of the same purpose
// through the stand-in's own imports, so they behave like engine code
// running on the calling thread.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

// {BB9E6132-DF24-473D-A70D-3F7CC2DDC995}
inline constexpr IID IID_IStandInObject = {
    0xbb9e6132, 0xdf24, 0x473d, {0xa7, 0x0d, 0x3f, 0x7c, 0xc2, 0xdd, 0xc9, 0x95}};

// The probe interface of every object a stand-in's class factory makes.
MIDL_INTERFACE("BB9E6132-DF24-473D-A70D-3F7CC2DDC995")
IStandInObject : public IUnknown {
    // Full path of the library that made the object (its own module file
    // name). The caller frees the string with SysFreeString.
    virtual HRESULT STDMETHODCALLTYPE GetOrigin(BSTR* moduleFileName) = 0;
    // The class identifier the factory was asked for.
    virtual HRESULT STDMETHODCALLTYPE GetClassId(CLSID* clsid) = 0;
    // The library's version code ("5", "6", "7", "8" or "9") with its
    // terminator; `code` has room for at least 2 characters.
    virtual HRESULT STDMETHODCALLTYPE GetVersionCode(WCHAR* code) = 0;
};
__CRT_UUID_DECL(IStandInObject, 0xbb9e6132, 0xdf24, 0x473d, 0xa7, 0x0d, 0x3f, 0x7c, 0xc2, 0xdd, 0xc9, 0x95)

// Export names and their types, for GetProcAddress.
using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID clsid, REFIID iid, void** out);
using DllCanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

using StandInLoadLibraryAFn = HMODULE(WINAPI*)(const char* name);
using StandInLoadLibraryWFn = HMODULE(WINAPI*)(const wchar_t* name);
using StandInFreeLibraryFn = BOOL(WINAPI*)(HMODULE module);
using StandInGetModuleHandleWFn = HMODULE(WINAPI*)(const wchar_t* name);
// CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out).
using StandInCoCreateFn = HRESULT(WINAPI*)(REFCLSID clsid, REFIID iid, void** out);
// CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, iid, out).
using StandInCoGetClassObjectFn = HRESULT(WINAPI*)(REFCLSID clsid, REFIID iid, void** out);
// CreateThread(nullptr, 0, proc, param, flags, threadId); threadId may be null.
using StandInCreateThreadFn = HANDLE(WINAPI*)(DWORD flags, DWORD* threadId,
                                              LPTHREAD_START_ROUTINE proc, void* param);
using StandInRegOpenKeyWFn = LONG(WINAPI*)(HKEY key, const wchar_t* subKey, HKEY* out);
using StandInRegCloseKeyFn = LONG(WINAPI*)(HKEY key);
using StandInRegQueryValueWFn = LONG(WINAPI*)(HKEY key, const wchar_t* subKey,
                                              wchar_t* data, LONG* size);
// Copies the version code and the library role ("shell", "mshtml",
// "jscript", "urlmon", "wininet", "mshtmled", "vbscript", "dxtmsft",
// "dxtrans", "imgutil", "pngfilt" or "shdoclc") into buffers of `size`
// characters each, truncating and always terminating when size > 0.
using StandInIdentityFn = void(WINAPI*)(wchar_t* versionCode, wchar_t* role, DWORD size);

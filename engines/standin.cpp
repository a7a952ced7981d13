// One stand-in engine library. The build compiles this file once per staged
// file, telling it its version code (STANDIN_VERSION_CODE, such as "7") and
// its library role (STANDIN_ROLE, such as "mshtml").
//
// DllGetClassObject serves every class that the isolation layer routes to
// this role; each served class makes a small probe object (IStandInObject).
// The StandIn exports run system functions through this library's own
// imports, as engine code would on the calling thread.
#include "engines/standin.h"

#ifdef STANDIN_WITH_BROWSER
#include "engines/browser/web_browser.h"
#endif

#include <new>

#ifndef STANDIN_VERSION_CODE
#error "STANDIN_VERSION_CODE must name the version code"
#endif
#ifndef STANDIN_ROLE
#error "STANDIN_ROLE must name the library role"
#endif

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr wchar_t kVersionCode[] = L"" STANDIN_VERSION_CODE;
constexpr wchar_t kRole[] = L"" STANDIN_ROLE;
static_assert(sizeof(kVersionCode) == 2 * sizeof(wchar_t), "a version code is one character");

HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

// Live objects (factories and probe objects) and server locks.
LONG g_objects = 0;
LONG g_locks = 0;

// ---------------------------------------------------------------------------
// Classes per role

// Makes the object of one served class. `clsid` is the identifier the
// caller asked for (it may differ from the listed one in its last 8 bytes).
using CreateFn = HRESULT (*)(REFCLSID clsid, REFIID iid, void** out);

HRESULT CreateProbeObject(REFCLSID clsid, REFIID iid, void** out);

#ifdef STANDIN_WITH_BROWSER
// The shell libraries serve a real (stand-in) WebBrowser control.
HRESULT CreateBrowserObject(REFCLSID clsid, REFIID iid, void** out) {
    return standin::CreateWebBrowser(kVersionCode[0] - L'0', clsid, iid, out);
}
#define STANDIN_WEBBROWSER_CREATE CreateBrowserObject
#else
#define STANDIN_WEBBROWSER_CREATE CreateProbeObject
#endif

struct ServedClass {
    CLSID clsid;
    CreateFn create;   // a richer object for a class plugs in here
};

struct RoleClasses {
    const wchar_t* role;
    const ServedClass* classes;
    int count;
};

#define STANDIN_CLASS(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    ServedClass { CLSID{l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}, CreateProbeObject }

// The shell library: object creation and class-object routes together. The
// WebBrowser control {8856F961-340A-11D0-A96B-00C04FD705A2} comes first.
constexpr ServedClass kShellClasses[] = {
    ServedClass{CLSID{0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}},
                STANDIN_WEBBROWSER_CREATE},
    STANDIN_CLASS(0x7057E952, 0xBD1B, 0x11D1, 0x89, 0x19, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36),
    STANDIN_CLASS(0xE569BDE7, 0xA8DC, 0x47F3, 0x89, 0x3F, 0xFD, 0x2B, 0x31, 0xB3, 0xEE, 0xFD),
    STANDIN_CLASS(0xCFBFAE00, 0x17A6, 0x11D0, 0x99, 0xCB, 0x00, 0xC0, 0x4F, 0xD6, 0x44, 0x97),
    STANDIN_CLASS(0x3C374A40, 0xBAE4, 0x11CF, 0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE),
    STANDIN_CLASS(0x871C5380, 0x42A0, 0x1069, 0xA2, 0xEA, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D),
    STANDIN_CLASS(0xE7E4BC40, 0xE76A, 0x11CE, 0xA9, 0xBB, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37),
    STANDIN_CLASS(0xFF393560, 0xC2A7, 0x11CF, 0xBF, 0xF4, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00),
    STANDIN_CLASS(0xFBF23B40, 0xE3F0, 0x101B, 0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8),
    STANDIN_CLASS(0xB45FF030, 0x4447, 0x11D2, 0x85, 0xDE, 0x00, 0xC0, 0x4F, 0xA3, 0x5C, 0x89),
    STANDIN_CLASS(0xAE054212, 0x3535, 0x4430, 0x83, 0xED, 0xD5, 0x01, 0xAA, 0x66, 0x80, 0xE6),
    STANDIN_CLASS(0x06EEE834, 0x461C, 0x42C2, 0x8D, 0xCF, 0x15, 0x02, 0xB5, 0x27, 0xB1, 0xF9),
    STANDIN_CLASS(0x942BC614, 0x676C, 0x464E, 0xB3, 0x84, 0xD3, 0x20, 0x2A, 0xAA, 0x02, 0xDA),
};

constexpr ServedClass kMshtmlClasses[] = {
    STANDIN_CLASS(0x25336920, 0x03F9, 0x11CF, 0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13),
    STANDIN_CLASS(0x3050F406, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F3B2, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F3DA, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F3BC, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x76E67A63, 0x06E9, 0x11D2, 0xA8, 0x40, 0x00, 0x60, 0x08, 0x05, 0x93, 0x82),
    STANDIN_CLASS(0x3050F3B4, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F499, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0xB196B28D, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07),
    STANDIN_CLASS(0x3050F4F8, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F667, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F67D, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F391, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F3B3, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F3BB, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
    STANDIN_CLASS(0x3050F3C2, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
};

constexpr ServedClass kJscriptClasses[] = {
    STANDIN_CLASS(0xF414C260, 0x6AC0, 0x11CF, 0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58),
    STANDIN_CLASS(0xF414C261, 0x6AC0, 0x11CF, 0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58),
};

constexpr ServedClass kVbscriptClasses[] = {
    STANDIN_CLASS(0xB54F3741, 0x5B07, 0x11CF, 0xA4, 0xB0, 0x00, 0xAA, 0x00, 0x4A, 0x55, 0xE8),
};

constexpr ServedClass kMshtmledClasses[] = {
    STANDIN_CLASS(0x3050F4F5, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B),
};

constexpr ServedClass kUrlmonClasses[] = {
    STANDIN_CLASS(0x8F6B0360, 0xB80D, 0x11D0, 0xA9, 0xB3, 0x00, 0x60, 0x97, 0x94, 0x23, 0x11),
    STANDIN_CLASS(0x7B8A2D94, 0x0AC9, 0x11D1, 0x89, 0x6C, 0x00, 0xC0, 0x4F, 0xB6, 0xBF, 0xC4),
    STANDIN_CLASS(0xDF2FCE13, 0x25EC, 0x45BB, 0x9D, 0x4C, 0xCE, 0xCD, 0x47, 0xC2, 0x43, 0x0C),
    STANDIN_CLASS(0x7B8A2D95, 0x0AC9, 0x11D1, 0x89, 0x6C, 0x00, 0xC0, 0x4F, 0xB6, 0xBF, 0xC4),
    STANDIN_CLASS(0xA4741943, 0x6C4B, 0x4CF7, 0xBF, 0x44, 0xA0, 0xF4, 0x20, 0x7D, 0x13, 0x30),
    STANDIN_CLASS(0x6F237DF9, 0x9DDB, 0x47AD, 0xB2, 0x18, 0x40, 0x0D, 0x54, 0xC2, 0x86, 0xAD),
    STANDIN_CLASS(0x79EAC9F2, 0xBAF9, 0x11CE, 0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B),
    STANDIN_CLASS(0x79EAC9E2, 0xBAF9, 0x11CE, 0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B),
    STANDIN_CLASS(0x79EAC9E5, 0xBAF9, 0x11CE, 0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B),
};

constexpr ServedClass kDxtransClasses[] = {
    STANDIN_CLASS(0x81397204, 0xF51A, 0x4571, 0x8D, 0x7B, 0xDC, 0x03, 0x05, 0x21, 0xAA, 0xBD),
    STANDIN_CLASS(0xD1FE6762, 0xFC48, 0x11D0, 0x88, 0x3A, 0x3C, 0x8B, 0x00, 0xC1, 0x00, 0x00),
    STANDIN_CLASS(0xA7EE7F34, 0x3BD1, 0x427F, 0x92, 0x31, 0xF9, 0x41, 0xE9, 0xB7, 0xE1, 0xFE),
    STANDIN_CLASS(0x4CB26C03, 0xFF93, 0x11D0, 0x81, 0x7E, 0x00, 0x00, 0xF8, 0x75, 0x57, 0xDB),
    STANDIN_CLASS(0x555278E2, 0x05DB, 0x11D1, 0x88, 0x3A, 0x3C, 0x8B, 0x00, 0xC1, 0x00, 0x00),
    STANDIN_CLASS(0x385A91BC, 0x1E8A, 0x4E4A, 0xA7, 0xA6, 0xF4, 0xFC, 0x1E, 0x6C, 0xA1, 0xBD),
    STANDIN_CLASS(0x0E890F83, 0x5F79, 0x11D1, 0x90, 0x43, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D),
};

constexpr ServedClass kDxtmsftClasses[] = {
    STANDIN_CLASS(0x0C7EFBDE, 0x0303, 0x4C6F, 0xA4, 0xF7, 0x31, 0xFA, 0x2B, 0xE5, 0xE3, 0x97),
    STANDIN_CLASS(0xADC6CB82, 0x424C, 0x11D2, 0x95, 0x2A, 0x00, 0xC0, 0x4F, 0xA3, 0x4F, 0x05),
    STANDIN_CLASS(0xAF279B30, 0x86EB, 0x11D1, 0x81, 0xBF, 0x00, 0x00, 0xF8, 0x75, 0x57, 0xDB),
};

constexpr ServedClass kImgutilClasses[] = {
    STANDIN_CLASS(0x30C3B080, 0x30FB, 0x11D0, 0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01),
    STANDIN_CLASS(0x6A01FDA0, 0x30DF, 0x11D0, 0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01),
};

constexpr ServedClass kPngfiltClasses[] = {
    STANDIN_CLASS(0xA3CCEDF7, 0x2DE2, 0x11D0, 0x86, 0xF4, 0x00, 0xA0, 0xC9, 0x13, 0xF7, 0x50),
};

#undef STANDIN_CLASS

template <int N>
constexpr RoleClasses Role(const wchar_t* name, const ServedClass (&classes)[N]) {
    return RoleClasses{name, classes, N};
}

// wininet and shdoclc are loaded but serve no class.
constexpr RoleClasses kRoles[] = {
    Role(L"shell", kShellClasses),
    Role(L"mshtml", kMshtmlClasses),
    Role(L"jscript", kJscriptClasses),
    Role(L"urlmon", kUrlmonClasses),
    RoleClasses{L"wininet", nullptr, 0},
    Role(L"mshtmled", kMshtmledClasses),
    Role(L"vbscript", kVbscriptClasses),
    Role(L"dxtmsft", kDxtmsftClasses),
    Role(L"dxtrans", kDxtransClasses),
    Role(L"imgutil", kImgutilClasses),
    Role(L"pngfilt", kPngfiltClasses),
    RoleClasses{L"shdoclc", nullptr, 0},
};

constexpr bool SameText(const wchar_t* a, const wchar_t* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr int FindRole(const wchar_t* name) {
    for (int i = 0; i < static_cast<int>(sizeof(kRoles) / sizeof(kRoles[0])); ++i) {
        if (SameText(kRoles[i].role, name)) return i;
    }
    return -1;
}

constexpr int kRoleIndex = FindRole(kRole);
static_assert(kRoleIndex >= 0, "STANDIN_ROLE names no known library role");
constexpr const RoleClasses& kThisRole = kRoles[kRoleIndex];

// A class is served when Data1, Data2 and Data3 equal those of a listed one.
const ServedClass* FindServedClass(REFCLSID clsid) {
    for (int i = 0; i < kThisRole.count; ++i) {
        const CLSID& listed = kThisRole.classes[i].clsid;
        if (listed.Data1 == clsid.Data1 && listed.Data2 == clsid.Data2 &&
            listed.Data3 == clsid.Data3)
            return &kThisRole.classes[i];
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Objects

template <typename T, typename... Args>
T* NewObject(Args&&... args) {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
    return memory ? new (memory) T(static_cast<Args&&>(args)...) : nullptr;
}

template <typename T>
void DeleteObject(T* object) {
    object->~T();
    HeapFree(GetProcessHeap(), 0, object);
}

class ProbeObject final : public IStandInObject {
public:
    explicit ProbeObject(REFCLSID clsid) : m_clsid(clsid) { InterlockedIncrement(&g_objects); }
    ~ProbeObject() { InterlockedDecrement(&g_objects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IStandInObject)) {
            *out = static_cast<IStandInObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) DeleteObject(this);
        return refs;
    }

    HRESULT STDMETHODCALLTYPE GetOrigin(BSTR* moduleFileName) override {
        if (!moduleFileName) return E_POINTER;
        *moduleFileName = nullptr;
        WCHAR path[MAX_PATH * 2];
        const DWORD length = GetModuleFileNameW(ThisModule(), path, ARRAYSIZE(path));
        if (length == 0 || length >= ARRAYSIZE(path)) return E_FAIL;
        *moduleFileName = SysAllocStringLen(path, length);
        return *moduleFileName ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetClassId(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = m_clsid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVersionCode(WCHAR* code) override {
        if (!code) return E_POINTER;
        code[0] = kVersionCode[0];
        code[1] = L'\0';
        return S_OK;
    }

private:
    LONG m_refs = 1;
    CLSID m_clsid;
};

HRESULT CreateProbeObject(REFCLSID clsid, REFIID iid, void** out) {
    ProbeObject* object = NewObject<ProbeObject>(clsid);
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

class ClassFactory final : public IClassFactory {
public:
    ClassFactory(REFCLSID clsid, CreateFn create) : m_clsid(clsid), m_create(create) {
        InterlockedIncrement(&g_objects);
    }
    ~ClassFactory() { InterlockedDecrement(&g_objects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) DeleteObject(this);
        return refs;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return m_create(m_clsid, iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            InterlockedIncrement(&g_locks);
        else
            InterlockedDecrement(&g_locks);
        return S_OK;
    }

private:
    LONG m_refs = 1;
    CLSID m_clsid;
    CreateFn m_create;
};

void CopyText(wchar_t* target, const wchar_t* text, DWORD size) {
    if (!target || size == 0) return;
    DWORD i = 0;
    for (; i + 1 < size && text[i]; ++i) target[i] = text[i];
    target[i] = L'\0';
}

}  // namespace

// ---------------------------------------------------------------------------
// The engine contract

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const ServedClass* served = FindServedClass(clsid);
    if (!served) return CLASS_E_CLASSNOTAVAILABLE;
    if (!IsEqualIID(iid, IID_IClassFactory) && !IsEqualIID(iid, IID_IUnknown))
        return E_NOINTERFACE;
    ClassFactory* factory = NewObject<ClassFactory>(clsid, served->create);
    if (!factory) return E_OUTOFMEMORY;
    *out = static_cast<IClassFactory*>(factory);
    return S_OK;
}

STDAPI DllCanUnloadNow() {
#ifdef STANDIN_WITH_BROWSER
    if (standin::LiveBrowserObjects() != 0) return S_FALSE;
#endif
    return (g_objects == 0 && g_locks == 0) ? S_OK : S_FALSE;
}

// ---------------------------------------------------------------------------
// Engine behaviour on the calling thread, through this library's imports

extern "C" {

HMODULE WINAPI StandInLoadLibraryA(const char* name) { return LoadLibraryA(name); }

HMODULE WINAPI StandInLoadLibraryW(const wchar_t* name) { return LoadLibraryW(name); }

BOOL WINAPI StandInFreeLibrary(HMODULE module) { return FreeLibrary(module); }

HMODULE WINAPI StandInGetModuleHandleW(const wchar_t* name) { return GetModuleHandleW(name); }

HRESULT WINAPI StandInCoCreate(REFCLSID clsid, REFIID iid, void** out) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

HRESULT WINAPI StandInCoGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, iid, out);
}

HANDLE WINAPI StandInCreateThread(DWORD flags, DWORD* threadId, LPTHREAD_START_ROUTINE proc,
                                  void* param) {
    return CreateThread(nullptr, 0, proc, param, flags, threadId);
}

LONG WINAPI StandInRegOpenKeyW(HKEY key, const wchar_t* subKey, HKEY* out) {
    return RegOpenKeyW(key, subKey, out);
}

LONG WINAPI StandInRegCloseKey(HKEY key) { return RegCloseKey(key); }

LONG WINAPI StandInRegQueryValueW(HKEY key, const wchar_t* subKey, wchar_t* data, LONG* size) {
    return RegQueryValueW(key, subKey, data, size);
}

void WINAPI StandInIdentity(wchar_t* versionCode, wchar_t* role, DWORD size) {
    CopyText(versionCode, kVersionCode, size);
    CopyText(role, kRole, size);
}

}  // extern "C"

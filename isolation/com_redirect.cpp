// COM creation on a bound thread: classes that belong to the engine come
// from the version's own libraries, through their DllGetClassObject entry
// points; every other class goes to the system.
#include "isolation.h"

#include "detours.h"

#include "framework/errors.h"

#include "framework/com_ptr.h"

#include <cstring>

namespace {

using PFN_DllGetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);

// Entry-point slots of IEENGINE::pfnGetClassObject.
enum Library { Shell = 0, Mshtml, Jscript, Urlmon, Mshtmled, Vbscript, Dxtmsft, Dxtrans, Imgutil, Pngfilt };

enum class Condition { None, EntryPresent, Filters };

constexpr CLSID G(unsigned long d1, unsigned short d2, unsigned short d3, unsigned char a, unsigned char b,
                  unsigned char c, unsigned char d, unsigned char e, unsigned char f, unsigned char g,
                  unsigned char h) {
    return CLSID{d1, d2, d3, {a, b, c, d, e, f, g, h}};
}

// The mshtml family {3050Fxxx-98B5-11CF-BB82-00AA00BDCE0B}.
constexpr CLSID Html(unsigned long d1) { return G(d1, 0x98B5, 0x11CF, 0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B); }

const CLSID kWebBrowser = G(0x8856F961, 0x340A, 0x11D0, 0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2);
// Shell classes served by both tables.
#define SHELL_COMMON                                                                  \
    G(0xE569BDE7, 0xA8DC, 0x47F3, 0x89, 0x3F, 0xFD, 0x2B, 0x31, 0xB3, 0xEE, 0xFD),    \
        G(0xCFBFAE00, 0x17A6, 0x11D0, 0x99, 0xCB, 0x00, 0xC0, 0x4F, 0xD6, 0x44, 0x97), \
        G(0x3C374A40, 0xBAE4, 0x11CF, 0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE), \
        G(0x871C5380, 0x42A0, 0x1069, 0xA2, 0xEA, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D), \
        G(0xE7E4BC40, 0xE76A, 0x11CE, 0xA9, 0xBB, 0x00, 0xAA, 0x00, 0x4A, 0xE8, 0x37), \
        G(0xFF393560, 0xC2A7, 0x11CF, 0xBF, 0xF4, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00), \
        G(0xFBF23B40, 0xE3F0, 0x101B, 0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8), \
        G(0xB45FF030, 0x4447, 0x11D2, 0x85, 0xDE, 0x00, 0xC0, 0x4F, 0xA3, 0x5C, 0x89)

#define MSHTML_COMMON                                                                                            \
    G(0x25336920, 0x03F9, 0x11CF, 0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13), Html(0x3050F406),             \
        Html(0x3050F3B2), Html(0x3050F3DA), Html(0x3050F3BC),                                                    \
        G(0x76E67A63, 0x06E9, 0x11D2, 0xA8, 0x40, 0x00, 0x60, 0x08, 0x05, 0x93, 0x82), Html(0x3050F3B4),          \
        Html(0x3050F499), G(0xB196B28D, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07),          \
        Html(0x3050F4F8), Html(0x3050F667), Html(0x3050F67D), Html(0x3050F391)

#define URLMON_COMMON                                                                 \
    G(0x8F6B0360, 0xB80D, 0x11D0, 0xA9, 0xB3, 0x00, 0x60, 0x97, 0x94, 0x23, 0x11),    \
        G(0x7B8A2D94, 0x0AC9, 0x11D1, 0x89, 0x6C, 0x00, 0xC0, 0x4F, 0xB6, 0xBF, 0xC4), \
        G(0xDF2FCE13, 0x25EC, 0x45BB, 0x9D, 0x4C, 0xCE, 0xCD, 0x47, 0xC2, 0x43, 0x0C), \
        G(0x7B8A2D95, 0x0AC9, 0x11D1, 0x89, 0x6C, 0x00, 0xC0, 0x4F, 0xB6, 0xBF, 0xC4), \
        G(0xA4741943, 0x6C4B, 0x4CF7, 0xBF, 0x44, 0xA0, 0xF4, 0x20, 0x7D, 0x13, 0x30), \
        G(0x6F237DF9, 0x9DDB, 0x47AD, 0xB2, 0x18, 0x40, 0x0D, 0x54, 0xC2, 0x86, 0xAD), \
        G(0x79EAC9F2, 0xBAF9, 0x11CE, 0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B)

const CLSID kJscript = G(0xF414C260, 0x6AC0, 0x11CF, 0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58);
// The second JScript class is compared on all sixteen bytes.
const CLSID kJscriptExact = G(0xF414C261, 0x6AC0, 0x11CF, 0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58);
const CLSID kVbscript = G(0xB54F3741, 0x5B07, 0x11CF, 0xA4, 0xB0, 0x00, 0xAA, 0x00, 0x4A, 0x55, 0xE8);
const CLSID kMshtmled = Html(0x3050F4F5);

const CLSID kCreateShell[] = {G(0x7057E952, 0xBD1B, 0x11D1, 0x89, 0x19, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36),
                              SHELL_COMMON,
                              G(0xAE054212, 0x3535, 0x4430, 0x83, 0xED, 0xD5, 0x01, 0xAA, 0x66, 0x80, 0xE6),
                              G(0x06EEE834, 0x461C, 0x42C2, 0x8D, 0xCF, 0x15, 0x02, 0xB5, 0x27, 0xB1, 0xF9),
                              G(0x942BC614, 0x676C, 0x464E, 0xB3, 0x84, 0xD3, 0x20, 0x2A, 0xAA, 0x02, 0xDA)};
const CLSID kCreateMshtml[] = {MSHTML_COMMON, Html(0x3050F3B3), Html(0x3050F3BB), Html(0x3050F3C2)};
const CLSID kCreateUrlmon[] = {URLMON_COMMON};
const CLSID kDxtrans[] = {G(0x81397204, 0xF51A, 0x4571, 0x8D, 0x7B, 0xDC, 0x03, 0x05, 0x21, 0xAA, 0xBD),
                          G(0xD1FE6762, 0xFC48, 0x11D0, 0x88, 0x3A, 0x3C, 0x8B, 0x00, 0xC1, 0x00, 0x00),
                          G(0xA7EE7F34, 0x3BD1, 0x427F, 0x92, 0x31, 0xF9, 0x41, 0xE9, 0xB7, 0xE1, 0xFE),
                          G(0x4CB26C03, 0xFF93, 0x11D0, 0x81, 0x7E, 0x00, 0x00, 0xF8, 0x75, 0x57, 0xDB),
                          G(0x555278E2, 0x05DB, 0x11D1, 0x88, 0x3A, 0x3C, 0x8B, 0x00, 0xC1, 0x00, 0x00),
                          G(0x385A91BC, 0x1E8A, 0x4E4A, 0xA7, 0xA6, 0xF4, 0xFC, 0x1E, 0x6C, 0xA1, 0xBD),
                          G(0x0E890F83, 0x5F79, 0x11D1, 0x90, 0x43, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D)};
const CLSID kDxtmsft[] = {G(0x0C7EFBDE, 0x0303, 0x4C6F, 0xA4, 0xF7, 0x31, 0xFA, 0x2B, 0xE5, 0xE3, 0x97),
                          G(0xADC6CB82, 0x424C, 0x11D2, 0x95, 0x2A, 0x00, 0xC0, 0x4F, 0xA3, 0x4F, 0x05),
                          G(0xAF279B30, 0x86EB, 0x11D1, 0x81, 0xBF, 0x00, 0x00, 0xF8, 0x75, 0x57, 0xDB)};
const CLSID kImgutil[] = {G(0x30C3B080, 0x30FB, 0x11D0, 0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01),
                          G(0x6A01FDA0, 0x30DF, 0x11D0, 0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01)};
const CLSID kPngfilt[] = {G(0xA3CCEDF7, 0x2DE2, 0x11D0, 0x86, 0xF4, 0x00, 0xA0, 0xC9, 0x13, 0xF7, 0x50)};

const CLSID kQueryShell[] = {kWebBrowser, SHELL_COMMON};
const CLSID kQueryMshtml[] = {MSHTML_COMMON};
const CLSID kQueryUrlmon[] = {URLMON_COMMON,
                              G(0x79EAC9E2, 0xBAF9, 0x11CE, 0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B),
                              G(0x79EAC9E5, 0xBAF9, 0x11CE, 0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B)};

struct Route {
    Library library;
    const CLSID* classes;
    size_t count;
    Condition condition;
    // Classes compared on all sixteen bytes.
    const CLSID* exact = nullptr;
    size_t exactCount = 0;
};

template <size_t N>
constexpr Route R(Library lib, const CLSID (&list)[N], Condition c) {
    return Route{lib, list, N, c};
}

const Route kCreateRoutes[] = {
    R(Shell, kCreateShell, Condition::None),
    R(Mshtml, kCreateMshtml, Condition::None),
    Route{Jscript, &kJscript, 1, Condition::None, &kJscriptExact, 1},
    Route{Vbscript, &kVbscript, 1, Condition::EntryPresent},
    Route{Mshtmled, &kMshtmled, 1, Condition::EntryPresent},
    R(Urlmon, kCreateUrlmon, Condition::None),
    R(Dxtrans, kDxtrans, Condition::Filters),
    R(Dxtmsft, kDxtmsft, Condition::Filters),
    R(Imgutil, kImgutil, Condition::Filters),
    R(Pngfilt, kPngfilt, Condition::Filters),
};

const Route kQueryRoutes[] = {
    R(Shell, kQueryShell, Condition::None),
    R(Mshtml, kQueryMshtml, Condition::None),
    Route{Jscript, &kJscript, 1, Condition::None},
    Route{Vbscript, &kVbscript, 1, Condition::EntryPresent},
    Route{Mshtmled, &kMshtmled, 1, Condition::EntryPresent},
    R(Urlmon, kQueryUrlmon, Condition::None),
};

bool Holds(const Route& route, REFCLSID clsid) {
    for (size_t i = 0; i < route.count; ++i)
        if (ClsidMatches(route.classes[i], clsid)) return true;
    for (size_t i = 0; i < route.exactCount; ++i)
        if (IsEqualGUID(route.exact[i], clsid)) return true;
    return false;
}

// The entry point that serves `clsid` for this engine, or null when the
// class goes to the system. The lists are disjoint, so the first route
// holding the class decides; a failed condition sends it to the system.
template <size_t N>
PFN_DllGetClassObject FindEntry(const Route (&routes)[N], const IEENGINE& engine, REFCLSID clsid, int* routeIndex) {
    for (size_t i = 0; i < N; ++i) {
        const Route& r = routes[i];
        if (!Holds(r, clsid)) continue;
        if (r.condition == Condition::Filters && (g_filtersDisabled || engine.version == IE6)) return nullptr;
        auto entry = reinterpret_cast<PFN_DllGetClassObject>(
            reinterpret_cast<void*>(engine.pfnGetClassObject[r.library]));
        if (routeIndex) *routeIndex = static_cast<int>(i) + 1;
        return entry;  // null for an absent entry point: the system serves it
    }
    return nullptr;
}

} // namespace

bool ClsidMatches(REFCLSID a, REFCLSID b) { return std::memcmp(&a, &b, 8) == 0; }

HRESULT WINAPI HookedCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    return fw::Guarded("CoCreateInstance detour", HRESULT{E_UNEXPECTED}, [&]() -> HRESULT {
        IEENGINE* engine = GetCurrentEngine();
        if (!engine || engine->useSystem == 1) return RealCoCreateInstance(clsid, outer, context, iid, object);

        int route = 0;
        PFN_DllGetClassObject entry = FindEntry(kCreateRoutes, *engine, clsid, &route);
        if (!entry) return RealCoCreateInstance(clsid, outer, context, iid, object);

        fw::ComPtr<IClassFactory> factory;
        HRESULT hr = entry(clsid, IID_IClassFactory, factory.put_void());
        if (route == 1) {
            if (FAILED(hr)) return hr;
            if (!factory || reinterpret_cast<UINT_PTR>(factory.get()) == ~static_cast<UINT_PTR>(0)) {
                // An all-ones pointer is no object: never release it.
                (void)factory.detach();
                return E_FAIL;
            }
        } else if (route == 2) {
            if (FAILED(hr)) return hr;
        } else if (hr != S_OK) {
            return hr;
        }
        if (!factory) return E_FAIL;  // a success without a factory: nothing to create with
        return factory->CreateInstance(outer, iid, object);
    });
}

HRESULT WINAPI HookedCoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD context, COSERVERINFO* server,
                                        DWORD count, MULTI_QI* results) {
    return fw::Guarded("CoCreateInstanceEx detour", HRESULT{E_UNEXPECTED}, [&]() -> HRESULT {
        return RealCoCreateInstanceEx(clsid, outer, context, server, count, results);
    });
}

HRESULT WINAPI HookedCoGetClassObject(REFCLSID clsid, DWORD context, COSERVERINFO* server, REFIID iid,
                                      LPVOID* object) {
    return fw::Guarded("CoGetClassObject detour", HRESULT{E_UNEXPECTED}, [&]() -> HRESULT {
        IEENGINE* engine = GetCurrentEngine();
        if (!engine || engine->useSystem == 1) return RealCoGetClassObject(clsid, context, server, iid, object);
        PFN_DllGetClassObject entry = FindEntry(kQueryRoutes, *engine, clsid, nullptr);
        if (!entry) return RealCoGetClassObject(clsid, context, server, iid, object);
        if (!object) return E_INVALIDARG;
        *object = nullptr;
        // The library is always asked for its class factory; a caller that
        // wants another interface of the class object gets it from the factory.
        fw::ComPtr<IClassFactory> factory;
        HRESULT hr = entry(clsid, IID_IClassFactory, factory.put_void());
        if (FAILED(hr) || !factory) return FAILED(hr) ? hr : E_FAIL;
        if (IsEqualIID(iid, IID_IClassFactory)) {
            *object = factory.detach();
            return hr;
        }
        return factory->QueryInterface(iid, object);
    });
}

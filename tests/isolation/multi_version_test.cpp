// The isolation layer in multi-version mode, as the main process installs
// it: 6, 5.5, 7, 8 and the system's engine in one process, each thread
// answered from its own version's stand-in files.
#include "isolation_support.h"

#include "engines/browser/tests/http_server.h"
#include "engines/browser/tests/test_container.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <atomic>
#include <cstring>

using namespace isolation_test;

namespace {

class MultiVersion : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        SetCurrentDirectoryW(testing_support::StageFolder().c_str());
        EXPECT_EQ(InstallEngineHooks(IE6, false, false), NO_ERROR);
    }
    static void TearDownTestSuite() {
        EXPECT_EQ(RemoveEngineHooks(), NO_ERROR);
        OleUninitialize();
    }
    void TearDown() override { SetFiltersDisabled(false); }
};

TEST_F(MultiVersion, LoadsTheFourVersionsAndTheSystemEngine) {
    ASSERT_TRUE(AreEngineHooksAttached());
    for (IEVERSION v : {IE55, IE6, IE7, IE8}) {
        const IEENGINE& e = g_engines[v];
        EXPECT_EQ(e.loaded, 1u) << v;
        EXPECT_EQ(e.version, static_cast<DWORD>(v));
        EXPECT_EQ(e.useSystem, 0u);
        std::wstring code = g_versionCodes[v];
        EXPECT_EQ(ModuleName(e.hShell), code + (v >= IE7 ? L"eframe.dll" : L"hdocvw.dll"));
        EXPECT_EQ(ModuleName(e.hMshtml), code + L"shtml.dll");
        EXPECT_EQ(ModuleName(e.hJscript), code + L"script.dll");
        EXPECT_EQ(ModuleName(e.hUrlmon), code + L"rlmon.dll");
        EXPECT_EQ(ModuleName(e.hWininet), code + L"ininet.dll");
        EXPECT_EQ(ModuleName(e.hMshtmled), code + L"shtmled.dll");
        EXPECT_EQ(ModuleName(e.hVbscript), code + L"bscript.dll");
        for (int i = 0; i < 6; ++i) EXPECT_NE(e.pfnGetClassObject[i], nullptr) << v << " entry " << i;
        if (v == IE6) {
            EXPECT_EQ(e.hDxtmsft, nullptr);
            EXPECT_EQ(e.hPngfilt, nullptr);
            EXPECT_EQ(e.pfnGetClassObject[9], nullptr);
        } else {
            EXPECT_EQ(ModuleName(e.hDxtrans), code + L"xtrans.dll");
            EXPECT_EQ(ModuleName(e.hPngfilt), code + L"ngfilt.dll");
            EXPECT_NE(e.pfnGetClassObject[9], nullptr);
        }
    }
    const IEENGINE& d = g_engines[IEDefault];
    EXPECT_EQ(d.loaded, 1u);
    EXPECT_EQ(d.useSystem, 1u);
    EXPECT_EQ(ModuleName(d.hUrlmon), L"urlmon.dll");
    EXPECT_EQ(ModuleName(d.hWininet), L"wininet.dll");
    EXPECT_EQ(d.hMshtml, nullptr);
    for (IEVERSION v : {IE4, IE5, IE9}) EXPECT_EQ(g_engines[v].loaded, 0u) << v;
    EXPECT_NE(g_hInetCpl, nullptr);
    EXPECT_FALSE(g_singleVersionMode);
}

TEST_F(MultiVersion, ThreadsSeeOnlyTheirOwnVersion) {
    EXPECT_EQ(GetCurrentEngine(), nullptr);  // the test's own thread is unbound
    for (IEVERSION v : {IE55, IE6, IE7, IE8, IEDefault}) {
        IEENGINE* seen = nullptr;
        OnThread(v, [&] { seen = GetCurrentEngine(); });
        EXPECT_EQ(seen, &g_engines[v]) << v;
    }
    // A version that is not loaded gives no record, whatever the binding says.
    for (IEVERSION v : {IE9, IE4}) {
        IEENGINE* seen = &g_engines[0];
        OnThread(v, [&] { seen = GetCurrentEngine(); });
        EXPECT_EQ(seen, nullptr) << v;
    }
    // Re-binding replaces; unbinding removes.
    OnThread(IE7, [&] {
        EXPECT_TRUE(BindThreadToVersion(0, IE8));
        EXPECT_EQ(GetCurrentEngine(), &g_engines[IE8]);
        EXPECT_TRUE(UnbindCurrentThread());
        EXPECT_EQ(GetCurrentEngine(), nullptr);
        EXPECT_FALSE(UnbindCurrentThread());
        BindThreadToVersion(0, IE7);
    });
}

TEST_F(MultiVersion, NarrowLoadsOfEngineNamesGetTheVersionsModule) {
    OnThread(IE7, [&] {
        EXPECT_EQ(LoadLibraryA("MSHTML.DLL"), g_engines[IE7].hMshtml);
        EXPECT_EQ(LoadLibraryA("mshtml.dll"), g_engines[IE7].hMshtml);
        EXPECT_EQ(LoadLibraryA("ieframe.dll"), g_engines[IE7].hShell);
        EXPECT_EQ(LoadLibraryA("shdocvw.dll"), g_engines[IE7].hShell);
        EXPECT_EQ(LoadLibraryA("Wininet.dll"), g_engines[IE7].hWininet);
        // A path never matches: the system loads its own library.
        HMODULE system = LoadLibraryA("C:\\windows\\system32\\mshtml.dll");
        EXPECT_NE(system, g_engines[IE7].hMshtml);
        EXPECT_EQ(ModuleName(system), L"mshtml.dll");
        FreeLibrary(system);
    });
    // Engine code loading by bare name through its own imports.
    OnThread(IE55, [&] {
        auto load = reinterpret_cast<StandInLoadLibraryAFn>(
            reinterpret_cast<void*>(GetProcAddress(g_engines[IE55].hMshtml, "StandInLoadLibraryA")));
        ASSERT_NE(load, nullptr);
        EXPECT_EQ(load("urlmon.dll"), g_engines[IE55].hUrlmon);
        EXPECT_EQ(ModuleName(load("mshtml.dll")), L"5shtml.dll");
    });
}

TEST_F(MultiVersion, WideLoadsRedirectOnlyThreeNames) {
    OnThread(IE8, [&] {
        EXPECT_EQ(LoadLibraryW(L"urlmon.dll"), g_engines[IE8].hUrlmon);
        EXPECT_EQ(LoadLibraryW(L"MSHTML.dll"), g_engines[IE8].hMshtml);
        EXPECT_EQ(LoadLibraryW(L"wininet.dll"), g_engines[IE8].hWininet);
        HMODULE frame = LoadLibraryW(L"ieframe.dll");
        EXPECT_NE(frame, g_engines[IE8].hShell);
        EXPECT_EQ(ModuleName(frame), L"ieframe.dll");
        FreeLibrary(frame);
    });
}

TEST_F(MultiVersion, UnboundAndSystemThreadsShareTheDefaultRecordsModules) {
    EXPECT_EQ(LoadLibraryA("urlmon.dll"), g_engines[IEDefault].hUrlmon);
    EXPECT_EQ(LoadLibraryW(L"wininet.dll"), g_engines[IEDefault].hWininet);
    OnThread(IEDefault, [&] { EXPECT_EQ(LoadLibraryA("urlmon.dll"), g_engines[IEDefault].hUrlmon); });
    HMODULE html = LoadLibraryA("mshtml.dll");
    EXPECT_EQ(ModuleName(html), L"mshtml.dll");
    for (const IEENGINE& e : g_engines) EXPECT_NE(html, e.hMshtml);
    FreeLibrary(html);
}

TEST_F(MultiVersion, EngineModulesCannotBeFreed) {
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(FreeLibrary(g_engines[IE7].hMshtml));
    EXPECT_EQ(GetModuleHandleW(L"7shtml.dll"), g_engines[IE7].hMshtml);
    EXPECT_TRUE(FreeLibrary(nullptr));  // the empty records hold null handles
    // The filter modules are not protected: a free of an extra reference works.
    HMODULE filter = LoadLibraryW(L"7xtrans.dll");
    ASSERT_EQ(filter, g_engines[IE7].hDxtrans);
    EXPECT_TRUE(FreeLibrary(filter));
    EXPECT_EQ(GetModuleHandleW(L"7xtrans.dll"), g_engines[IE7].hDxtrans);
}

TEST_F(MultiVersion, ResourceLibraryOfVersions55And6) {
    OnThread(IE6, [&] {
        HMODULE res = LoadLibraryW(L"C:\\somewhere\\shdoclc.dll");
        EXPECT_EQ(ModuleName(res), L"6hdoclc.dll");
        FreeLibrary(res);
    });
    OnThread(IE55, [&] {
        HMODULE res = LoadLibraryW(L"shdoclc.dll");
        EXPECT_EQ(ModuleName(res), L"5hdoclc.dll");
        FreeLibrary(res);
    });
    OnThread(IE7, [&] {
        HMODULE res = LoadLibraryW(L"shdoclc.dll");
        EXPECT_NE(ModuleName(res), L"5hdoclc.dll");
        EXPECT_NE(ModuleName(res), L"6hdoclc.dll");
        if (res) FreeLibrary(res);
    });
}

TEST_F(MultiVersion, ModuleLookupsAnswerWithTheVersionsModules) {
    OnThread(IE7, [&] {
        EXPECT_EQ(GetModuleHandleW(L"mshtml"), g_engines[IE7].hMshtml);
        EXPECT_EQ(GetModuleHandleW(L"JSCRIPT.DLL"), g_engines[IE7].hJscript);
        EXPECT_EQ(GetModuleHandleW(L"ieframe"), g_engines[IE7].hShell);
        EXPECT_EQ(GetModuleHandleW(L"shdocvw.dll"), g_engines[IE7].hShell);
        EXPECT_EQ(GetModuleHandleW(L"vbscript"), g_engines[IE7].hVbscript);
        EXPECT_EQ(GetModuleHandleW(L"kernel32.dll"), GetModuleHandleW(L"kernel32"));
        // The native lookup itself, as the system's own code calls it.
        using LdrGetDllHandleFn = LONG(NTAPI*)(PWSTR, PULONG, ISOLATION_UNICODE_STRING*, PVOID*);
        auto ldr = reinterpret_cast<LdrGetDllHandleFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrGetDllHandle")));
        ASSERT_NE(ldr, nullptr);
        wchar_t text[] = L"MSHTML.dll";
        ISOLATION_UNICODE_STRING name{sizeof(text) - sizeof(wchar_t), sizeof(text), text};
        PVOID found = nullptr;
        EXPECT_EQ(ldr(nullptr, nullptr, &name, &found), 0);
        EXPECT_EQ(found, g_engines[IE7].hMshtml);
        auto lookup = reinterpret_cast<StandInGetModuleHandleWFn>(
            reinterpret_cast<void*>(GetProcAddress(g_engines[IE7].hShell, "StandInGetModuleHandleW")));
        ASSERT_NE(lookup, nullptr);
        EXPECT_EQ(lookup(L"urlmon.dll"), g_engines[IE7].hUrlmon);
    });
    // The system's engine and unbound threads get the system's answer.
    HMODULE unbound = GetModuleHandleW(L"urlmon.dll");
    EXPECT_EQ(unbound, g_engines[IEDefault].hUrlmon);
    OnThread(IEDefault, [&] { EXPECT_EQ(GetModuleHandleW(L"urlmon.dll"), unbound); });
}

HRESULT Create(REFCLSID clsid, IUnknown** out) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(out));
}

TEST_F(MultiVersion, ObjectCreationComesFromTheVersionsLibraries) {
    for (IEVERSION v : {IE55, IE6, IE7, IE8}) {
        OnThread(v, [&] {
            IUnknown* doc = nullptr;
            ASSERT_EQ(Create(kHtmlDocument, &doc), S_OK) << v;
            EXPECT_EQ(OriginOf(doc), std::wstring(g_versionCodes[v]) + L"shtml.dll");
            doc->Release();
        });
    }
    OnThread(IE8, [&] {
        // Data4 is not compared...
        CLSID variant = kHtmlDocument;
        variant.Data4[7] ^= 0xFF;
        IUnknown* obj = nullptr;
        ASSERT_EQ(Create(variant, &obj), S_OK);
        EXPECT_EQ(OriginOf(obj), L"8shtml.dll");
        obj->Release();
        // ...except for the second JScript class.
        ASSERT_EQ(Create(kJscriptSecond, &obj), S_OK);
        EXPECT_EQ(OriginOf(obj), L"8script.dll");
        obj->Release();
        CLSID otherScript = kJscriptSecond;
        otherScript.Data4[0] ^= 0xFF;
        EXPECT_EQ(Create(otherScript, &obj), REGDB_E_CLASSNOTREG);
        // The vbscript and editing routes have their entry points here.
        ASSERT_EQ(Create(kVbscriptClass, &obj), S_OK);
        EXPECT_EQ(OriginOf(obj), L"8bscript.dll");
        obj->Release();
        // Engine code creating through its own imports.
        auto create = reinterpret_cast<StandInCoCreateFn>(
            reinterpret_cast<void*>(GetProcAddress(g_engines[IE8].hShell, "StandInCoCreate")));
        ASSERT_NE(create, nullptr);
        ASSERT_EQ(create(kHtmlDocument, IID_IUnknown, reinterpret_cast<void**>(&obj)), S_OK);
        EXPECT_EQ(OriginOf(obj), L"8shtml.dll");
        obj->Release();
    });
}

TEST_F(MultiVersion, UnboundThreadsAndTheSystemEngineCreateThroughTheSystem) {
    // A routed class that the system does not register shows which way the call went.
    IUnknown* obj = nullptr;
    EXPECT_EQ(Create(kFilterClass, &obj), REGDB_E_CLASSNOTREG);
    OnThread(IEDefault, [&] { EXPECT_EQ(Create(kFilterClass, &obj), REGDB_E_CLASSNOTREG); });
    OnThread(IE7, [&] {
        ASSERT_EQ(Create(kFilterClass, &obj), S_OK);
        EXPECT_EQ(OriginOf(obj), L"7xtrans.dll");
        obj->Release();
    });
}

TEST_F(MultiVersion, FilterSwitchAndVersion6) {
    IUnknown* obj = nullptr;
    SetFiltersDisabled(true);
    OnThread(IE7, [&] { EXPECT_EQ(Create(kFilterClass, &obj), REGDB_E_CLASSNOTREG); });
    SetFiltersDisabled(false);
    OnThread(IE7, [&] {
        ASSERT_EQ(Create(kFilterClass, &obj), S_OK);
        obj->Release();
    });
    // Version 6 never serves the filter classes.
    OnThread(IE6, [&] { EXPECT_EQ(Create(kFilterClass, &obj), REGDB_E_CLASSNOTREG); });
}

TEST_F(MultiVersion, ClassObjectQueryServesTheWebBrowserControl) {
    OnThread(IE8, [&] {
        IClassFactory* factory = nullptr;
        ASSERT_EQ(CoGetClassObject(kWebBrowser, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)),
                  S_OK);
        EXPECT_EQ(ModuleNameOf(*reinterpret_cast<void**>(factory)), L"8eframe.dll");
        IUnknown* control = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&control)), S_OK);
        EXPECT_EQ(OriginOf(control), L"8eframe.dll");
        control->Release();
        factory->Release();
        // Another interface of the class object comes from the same factory;
        // one the factory lacks is refused, not answered with the factory.
        IUnknown* unknown = nullptr;
        ASSERT_EQ(CoGetClassObject(kWebBrowser, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                                   reinterpret_cast<void**>(&unknown)),
                  S_OK);
        EXPECT_EQ(ModuleNameOf(*reinterpret_cast<void**>(unknown)), L"8eframe.dll");
        unknown->Release();
        void* none = &none;
        EXPECT_EQ(CoGetClassObject(kWebBrowser, CLSCTX_INPROC_SERVER, nullptr, IID_IDispatch, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
        // Filter classes are not in the class-object table.
        EXPECT_EQ(CoGetClassObject(kFilterClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&factory)),
                  REGDB_E_CLASSNOTREG);
    });
    // An unbound thread gets the system's control.
    IClassFactory* system = nullptr;
    if (SUCCEEDED(CoGetClassObject(kWebBrowser, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   reinterpret_cast<void**>(&system)))) {
        std::wstring module = ModuleNameOf(*reinterpret_cast<void**>(system));
        EXPECT_FALSE(module.empty());
        EXPECT_TRUE(module[0] < L'5' || module[0] > L'9') << "a stand-in served an unbound thread: " << module.c_str();
        system->Release();
    }
}

struct ThreadProbe {
    std::atomic<bool> ran{false};
    IEENGINE* engine = nullptr;
    DWORD id = 0;
};

DWORD WINAPI Probe(void* p) {
    auto probe = static_cast<ThreadProbe*>(p);
    probe->engine = GetCurrentEngine();
    probe->id = GetCurrentThreadId();
    probe->ran = true;
    return 0;
}

TEST_F(MultiVersion, ThreadsCreatedByABoundThreadInheritItsVersion) {
    OnThread(IE7, [&] {
        ThreadProbe probe;
        DWORD id = 0;
        HANDLE h = CreateThread(nullptr, 0, Probe, &probe, 0, &id);
        ASSERT_NE(h, nullptr);
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
        EXPECT_EQ(probe.engine, &g_engines[IE7]);
        EXPECT_EQ(probe.id, id);

        // A null identifier pointer: bound all the same.
        ThreadProbe anonymous;
        h = CreateThread(nullptr, 0, Probe, &anonymous, 0, nullptr);
        ASSERT_NE(h, nullptr);
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
        EXPECT_EQ(anonymous.engine, &g_engines[IE7]);

        // Through the engine's own imports, and propagating to grandchildren.
        auto create = reinterpret_cast<StandInCreateThreadFn>(
            reinterpret_cast<void*>(GetProcAddress(g_engines[IE7].hMshtml, "StandInCreateThread")));
        ASSERT_NE(create, nullptr);
        ThreadProbe viaEngine;
        h = create(0, nullptr, Probe, &viaEngine);
        ASSERT_NE(h, nullptr);
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
        EXPECT_EQ(viaEngine.engine, &g_engines[IE7]);
    });
}

TEST_F(MultiVersion, SuspendedThreadsStaySuspendedButAreAlreadyBound) {
    OnThread(IE8, [&] {
        ThreadProbe probe;
        DWORD id = 0;
        HANDLE h = CreateThread(nullptr, 0, Probe, &probe, CREATE_SUSPENDED, &id);
        ASSERT_NE(h, nullptr);
        // Still suspended exactly once (a further suspension counts up from
        // 1), so it has not run.
        EXPECT_EQ(SuspendThread(h), 1u);
        EXPECT_FALSE(probe.ran);
        IEVERSION bound = IE4;
        EXPECT_TRUE(IsThreadBound(id, &bound));
        EXPECT_EQ(bound, IE8);
        EXPECT_EQ(ResumeThread(h), 2u);
        EXPECT_EQ(ResumeThread(h), 1u);  // it was suspended exactly once
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
        EXPECT_TRUE(probe.ran);
        EXPECT_EQ(probe.engine, &g_engines[IE8]);
    });
}

TEST_F(MultiVersion, BindingsOfEndedThreadsAreForgotten) {
    DWORD id = 0;
    OnThread(IE7, [&] {
        ThreadProbe probe;
        HANDLE h = CreateThread(nullptr, 0, Probe, &probe, 0, &id);
        ASSERT_NE(h, nullptr);
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
    });
    EXPECT_NE(id, 0u);
    EXPECT_FALSE(IsThreadBound(id));
}

TEST_F(MultiVersion, UnboundThreadsCreateUnboundThreads) {
    ThreadProbe probe;
    DWORD id = 0;
    HANDLE h = CreateThread(nullptr, 0, Probe, &probe, 0, &id);
    ASSERT_NE(h, nullptr);
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    EXPECT_EQ(probe.engine, nullptr);
}

const wchar_t kVersionVector[] = L"SOFTWARE\\Microsoft\\Internet Explorer\\Version Vector";

TEST_F(MultiVersion, TheVersionVectorIsHiddenFromEveryThread) {
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kVersionVector, 0, nullptr, 0, KEY_READ, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);
    auto check = [&] {
        HKEY key = reinterpret_cast<HKEY>(0x1234);
        EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, L"software\\microsoft\\internet explorer\\VERSION VECTOR", &key),
                  ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(key, reinterpret_cast<HKEY>(0x1234));  // left untouched
        EXPECT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, kVersionVector, &key), ERROR_FILE_NOT_FOUND);
        // The extended open function is not intercepted.
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kVersionVector, 0, KEY_READ, &key), ERROR_SUCCESS);
        RegCloseKey(key);
    };
    check();
    OnThread(IE7, check);
    OnThread(IE55, check);
    RegDeleteKeyW(HKEY_CURRENT_USER, kVersionVector);
}

const wchar_t kTypeLib[] = L"{527A4DA4-7F2C-11D2-B12D-0000F81F5995}";

TEST_F(MultiVersion, Version55SeesTheFakeTypeLibraryChain) {
    OnThread(IE55, [&] {
        HKEY typeLibs = nullptr;
        ASSERT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, L"TypeLib", &typeLibs), ERROR_SUCCESS);
        std::wstring name = GetRegistryKeyName(typeLibs);
        ASSERT_GE(name.size(), 8u);
        EXPECT_EQ(_wcsicmp(name.substr(name.size() - 8).c_str(), L"\\TypeLib"), 0) << name.c_str();

        HKEY k1 = nullptr, k2 = nullptr, k3 = nullptr, k4 = nullptr, k5 = nullptr;
        ASSERT_EQ(RegOpenKeyW(typeLibs, L"{527a4da4-7f2c-11d2-b12d-0000f81f5995}", &k1), ERROR_SUCCESS);
        EXPECT_EQ(k1, reinterpret_cast<HKEY>(1));
        ASSERT_EQ(RegOpenKeyW(k1, L"1.0", &k2), ERROR_SUCCESS);
        EXPECT_EQ(k2, reinterpret_cast<HKEY>(2));
        ASSERT_EQ(RegOpenKeyW(k2, L"0", &k3), ERROR_SUCCESS);
        EXPECT_EQ(k3, reinterpret_cast<HKEY>(3));
        ASSERT_EQ(RegOpenKeyW(k3, L"WIN32", &k4), ERROR_SUCCESS);
        EXPECT_EQ(k4, reinterpret_cast<HKEY>(4));
        EXPECT_EQ(g_engines[IE55].hFakeKey[3], reinterpret_cast<HKEY>(4));
        // Below the last fake key, and every value query, the system answers.
        EXPECT_NE(RegOpenKeyW(k4, L"anything", &k5), ERROR_SUCCESS);
        // (Small numbers can be real handles under Wine, so the answer is
        // whatever the system says for that number.)
        wchar_t value[64] = {}, viaSystem[64] = {};
        LONG size = sizeof(value), systemSize = sizeof(viaSystem);
        EXPECT_EQ(RegQueryValueW(k4, nullptr, value, &size), RealRegQueryValueW(k4, nullptr, viaSystem, &systemSize));
        // Closing frees the slot; a second close reaches the system.
        EXPECT_EQ(RegCloseKey(k3), ERROR_SUCCESS);
        EXPECT_EQ(g_engines[IE55].hFakeKey[2], nullptr);
        EXPECT_NE(RegCloseKey(k3), ERROR_SUCCESS);
        for (HKEY k : {k4, k2, k1}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
        for (HKEY slot : g_engines[IE55].hFakeKey) EXPECT_EQ(slot, nullptr);

        // The predefined root has no native name: no fake key there.
        HKEY direct = nullptr;
        EXPECT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, kTypeLib, &direct), ERROR_FILE_NOT_FOUND);
        // A null sub-key goes to the system unchanged.
        HKEY same = nullptr;
        EXPECT_EQ(RegOpenKeyW(typeLibs, nullptr, &same), ERROR_SUCCESS);
        if (same && same != typeLibs) RegCloseKey(same);
        RegCloseKey(typeLibs);
    });
}

TEST_F(MultiVersion, OtherVersionsReachTheSystemForTheTypeLibrary) {
    OnThread(IE6, [&] {
        HKEY typeLibs = nullptr, k1 = nullptr;
        ASSERT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, L"TypeLib", &typeLibs), ERROR_SUCCESS);
        EXPECT_EQ(RegOpenKeyW(typeLibs, kTypeLib, &k1), ERROR_FILE_NOT_FOUND);
        RegCloseKey(typeLibs);
    });
    for (HKEY slot : g_engines[IE6].hFakeKey) EXPECT_EQ(slot, nullptr);
}

TEST(ClsidMatching, ComparesTheFirstEightBytes) {
    CLSID a = kHtmlDocument, b = kHtmlDocument;
    EXPECT_TRUE(ClsidMatches(a, b));
    b.Data4[0] ^= 1;
    EXPECT_TRUE(ClsidMatches(a, b));
    b = a;
    b.Data3 ^= 1;
    EXPECT_FALSE(ClsidMatches(a, b));
    b = a;
    b.Data1 ^= 0x80000000;
    EXPECT_FALSE(ClsidMatches(a, b));
}

} // namespace

namespace {

// A host on a bound thread creates the WebBrowser control through COM as a
// tab does, embeds it, navigates it and hears its events; the control comes
// from that thread's version.
TEST_F(MultiVersion, EachBoundThreadEmbedsAndNavigatesItsVersionsControl) {
    testing_support::HttpServer server;
    server.Serve("/page.html", 200, "text/html", "<title>Served</title><p>served</p>");
    const char* tokens[] = {"", "", "MSIE 5.5;", "MSIE 6.0;", "MSIE 7.0;", "MSIE 8.0;"};
    for (IEVERSION v : {IE55, IE6, IE7, IE8}) {
        OnThread(v, [&] {
            ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
            {
                IClassFactory* factory = nullptr;
                ASSERT_EQ(CoGetClassObject(kWebBrowser, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                           reinterpret_cast<void**>(&factory)),
                          S_OK);
                IUnknown* control = nullptr;
                ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&control)), S_OK);
                factory->Release();
                std::wstring expected = std::wstring(g_versionCodes[v]) + (v >= IE7 ? L"eframe.dll" : L"hdocvw.dll");
                EXPECT_EQ(OriginOf(control), expected);

                browser_test::Container host;
                ASSERT_EQ(host.Embed(control), S_OK);
                control->Release();
                EXPECT_TRUE(host.NavigateAndWait(L"about:blank"));
                EXPECT_GE(host.Find(DISPID_BEFORENAVIGATE2), 0);
                EXPECT_GE(host.Find(DISPID_NAVIGATECOMPLETE2), 0);
                EXPECT_GT(host.ambientReads, 0);
                BSTR url = nullptr;
                host.Browser()->get_LocationURL(&url);
                EXPECT_STREQ(url, L"about:blank");
                SysFreeString(url);
                // The page loads over http on the control's own worker
                // thread, which inherits the binding, with the version's agent.
                const size_t seen = server.Requests().size();
                ASSERT_TRUE(host.NavigateAndWait(server.Url("/page.html")));
                const auto requests = server.Requests();
                ASSERT_GT(requests.size(), seen);
                const auto& headers = requests.back().headers;
                const std::string agent = headers.count("user-agent") ? headers.at("user-agent") : "";
                EXPECT_NE(agent.find(tokens[v]), std::string::npos) << agent;
                BSTR name = nullptr;
                host.Browser()->get_LocationName(&name);
                EXPECT_STREQ(name, L"Served");
                SysFreeString(name);
                host.Close();
            }
            OleUninitialize();
        });
    }
}

}  // namespace

// Loading a version's libraries, and the detours that make library loads
// and module lookups on a bound thread answer with that version's modules.
#include "isolation.h"

#include "detours.h"

#include "core/locations.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr DWORD kPathBuffer = 360;

struct EngineFile {
    const wchar_t* remainder;
    HMODULE IEENGINE::*field;
};

// Clears the modules of a version that failed to load.
void ClearRecord(IEENGINE& record) {
    for (HMODULE* m : EngineModules(record)) {
        if (*m) ::FreeLibrary(*m);
        *m = nullptr;
    }
    std::memset(record.pfnGetClassObject, 0, sizeof(record.pfnGetClassObject));
    record.loaded = 0;
}

FARPROC ClassObjectEntry(HMODULE module) {
    return module ? GetProcAddress(module, "DllGetClassObject") : nullptr;
}

bool IsBareName(const wchar_t* name, const wchar_t* expected) { return _wcsicmp(name, expected) == 0; }

} // namespace

bool LoadEngine(IEVERSION version, IEENGINE& record) {
    if (!IsValidVersion(version)) return false;

    if (version == IE9) {
        record.version = IE9;
        record.hUrlmon = ::LoadLibraryA("vantrell.client.exe.local\\urlmon.dll");
        record.loaded = 1;
        return true;
    }
    if (version == IEDefault) {
        record.useSystem = 1;
        record.version = IEDefault;
        record.hUrlmon = ::LoadLibraryA("urlmon.dll");
        record.hWininet = ::LoadLibraryA("wininet.dll");
        record.loaded = 1;
        return true;
    }

    wchar_t dir[kPathBuffer] = {};
    DWORD n = GetCurrentDirectoryW(kPathBuffer, dir);
    if (n == 0 || n >= kPathBuffer) return false;
    const std::wstring base = std::wstring(dir) + L"\\" + g_versionCodes[version];
    // The longest remainder must fit too, with the terminator.
    if (base.size() + std::wcslen(L"shtmled.dll") + 1 > kPathBuffer) return false;

    auto load = [&](const wchar_t* remainder) { return ::LoadLibraryW((base + remainder).c_str()); };

    const wchar_t* shell = version >= IE7 ? L"eframe.dll" : L"hdocvw.dll";
    record.hShell = load(shell);
    if (!record.hShell) record.hShell = load(shell);
    if (!record.hShell) {
        ClearRecord(record);
        return false;
    }

    const EngineFile required[] = {{L"shtml.dll", &IEENGINE::hMshtml},
                                   {L"script.dll", &IEENGINE::hJscript},
                                   {L"rlmon.dll", &IEENGINE::hUrlmon},
                                   {L"ininet.dll", &IEENGINE::hWininet}};
    for (const EngineFile& f : required) {
        record.*f.field = load(f.remainder);
        if (!(record.*f.field)) {
            ClearRecord(record);
            return false;
        }
    }

    record.hMshtmled = load(L"shtmled.dll");
    record.hVbscript = load(L"bscript.dll");
    if (version != IE6) {
        record.hDxtmsft = load(L"xtmsft.dll");
        record.hDxtrans = load(L"xtrans.dll");
        record.hImgutil = load(L"mgutil.dll");
        record.hPngfilt = load(L"ngfilt.dll");
    }

    // Entry points in the order of the record: shell, mshtml, jscript,
    // urlmon (required), then the optional ones.
    const HMODULE requiredModules[] = {record.hShell, record.hMshtml, record.hJscript, record.hUrlmon};
    for (int i = 0; i < 4; ++i) {
        record.pfnGetClassObject[i] = ClassObjectEntry(requiredModules[i]);
        if (!record.pfnGetClassObject[i]) {
            ClearRecord(record);
            return false;
        }
    }
    const HMODULE optionalModules[] = {record.hMshtmled, record.hVbscript, record.hDxtmsft,
                                       record.hDxtrans,  record.hImgutil,  record.hPngfilt};
    for (int i = 0; i < 6; ++i) record.pfnGetClassObject[4 + i] = ClassObjectEntry(optionalModules[i]);

    record.version = version;
    record.loaded = 1;
    return true;
}

HMODULE WINAPI HookedLoadLibraryA(LPCSTR name) {
    if (name) {
        const struct {
            const char* name;
            HMODULE IEENGINE::*field;
        } redirected[] = {{"urlmon.dll", &IEENGINE::hUrlmon},
                          {"wininet.dll", &IEENGINE::hWininet},
                          {"mshtml.dll", &IEENGINE::hMshtml},
                          {"ieframe.dll", &IEENGINE::hShell},
                          {"shdocvw.dll", &IEENGINE::hShell}};
        for (const auto& r : redirected) {
            if (_stricmp(name, r.name) != 0) continue;
            IEENGINE* engine = GetCurrentEngine();
            if (engine && engine->useSystem != 1) return engine->*r.field;
            // Unbound threads and the system's engine share the modules that
            // the default record holds.
            const IEENGINE& system = g_engines[IEDefault];
            if (r.field == &IEENGINE::hUrlmon && system.hUrlmon) return system.hUrlmon;
            if (r.field == &IEENGINE::hWininet && system.hWininet) return system.hWininet;
            break;
        }
    }
    return RealLoadLibraryA(name);
}

HMODULE WINAPI HookedLoadLibraryW(LPCWSTR name) {
    if (name) {
        if (IsBareName(name, L"urlmon.dll")) return HookedLoadLibraryA("urlmon.dll");
        if (IsBareName(name, L"wininet.dll")) return HookedLoadLibraryA("wininet.dll");
        if (IsBareName(name, L"mshtml.dll")) return HookedLoadLibraryA("mshtml.dll");
        if (std::wcsstr(name, kShdoclcName)) {
            if (IEENGINE* engine = GetCurrentEngine()) {
                if (engine->version == IE55) return RealLoadLibraryW(L"5hdoclc.dll");
                if (engine->version == IE6) return RealLoadLibraryW(L"6hdoclc.dll");
            }
        }
    }
    return RealLoadLibraryW(name);
}

BOOL WINAPI HookedFreeLibrary(HMODULE module) {
    for (const IEENGINE& e : g_engines) {
        if (module == e.hShell || module == e.hMshtml || module == e.hJscript || module == e.hUrlmon ||
            module == e.hMshtmled || module == e.hWininet || module == e.hVbscript)
            return TRUE;
    }
    return RealFreeLibrary(module);
}

namespace {

// The engine module that answers a module lookup of `name` on a thread of
// `engine`, or null when the system must answer.
HMODULE LookupEngineModule(const IEENGINE* engine, const ISOLATION_UNICODE_STRING* name) {
    if (!engine || engine->version == IEDefault || !name || !name->Buffer) return nullptr;
    const std::wstring text(name->Buffer, name->Length / sizeof(wchar_t));
    const struct {
        HMODULE IEENGINE::*field;
        const wchar_t* names[4];
    } groups[] = {
        {&IEENGINE::hShell, {L"ieframe", L"ieframe.dll", L"shdocvw", L"shdocvw.dll"}},
        {&IEENGINE::hMshtml, {L"mshtml", L"mshtml.dll"}},
        {&IEENGINE::hJscript, {L"jscript", L"jscript.dll"}},
        {&IEENGINE::hUrlmon, {L"urlmon", L"urlmon.dll"}},
        {&IEENGINE::hMshtmled, {L"mshtmled", L"mshtmled.dll"}},
        {&IEENGINE::hWininet, {L"wininet", L"wininet.dll"}},
        {&IEENGINE::hVbscript, {L"vbscript", L"vbscript.dll"}},
    };
    for (const auto& g : groups) {
        HMODULE module = engine->*g.field;
        if (!module) continue;
        for (const wchar_t* candidate : g.names) {
            if (candidate && _wcsicmp(text.c_str(), candidate) == 0) return module;
        }
    }
    return nullptr;
}

} // namespace

NTSTATUS_T NTAPI HookedLdrGetDllHandle(PWSTR path, PULONG characteristics, ISOLATION_UNICODE_STRING* name,
                                       PVOID* handle) {
    if (handle) {
        if (HMODULE module = LookupEngineModule(GetCurrentEngine(), name)) {
            *handle = module;
            return 0;
        }
    }
    return RealLdrGetDllHandle(path, characteristics, name, handle);
}

NTSTATUS_T NTAPI HookedLdrGetDllHandleEx(ULONG flags, PCWSTR path, PULONG characteristics,
                                         const ISOLATION_UNICODE_STRING* name, PVOID* handle) {
    if (handle) {
        // The layer holds its own reference to every engine module, so the
        // caller's reference-count flags change nothing.
        if (HMODULE module = LookupEngineModule(GetCurrentEngine(), name)) {
            *handle = module;
            return 0;
        }
    }
    return RealLdrGetDllHandleEx(flags, path, characteristics, name, handle);
}

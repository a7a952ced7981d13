// Loading a version's libraries, and the detours that make library loads
// and module lookups on a bound thread answer with that version's modules.
#include "isolation.h"

#include "detours.h"

#include "framework/errors.h"

#include "core/locations.h"
#include "framework/handles.h"
#include "framework/strings.h"
#include "framework/wine.h"

#include <cstdint>
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

// Name comparisons of the detours. Every library load and module lookup of
// the process passes through them, and almost none is of an engine file, so
// they must say "no" in a few instructions: no allocation, no call into the
// C runtime. The names looked for are lower-case ASCII, and a unit of the
// caller's name that is ASCII matches one of them exactly when its ASCII
// lower case does, whatever the locale. A unit outside ASCII is left to
// _wcsicmp or _stricmp, which fold it as the runtime's locale says.

constexpr unsigned FoldAscii(unsigned c) { return c - 'A' < 26u ? c + ('a' - 'A') : c; }

// True when the first `n` units of `text` (none of them 0) equal the
// lower-case ASCII `name` of length `n`, ignoring case as _wcsnicmp does.
bool SameName(const wchar_t* text, const wchar_t* name, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0x80) return _wcsnicmp(text, name, n) == 0;
        if (FoldAscii(c) != static_cast<unsigned>(name[i])) return false;
    }
    return true;
}

// _wcsicmp(text, name) == 0 for a 0-terminated text and a lower-case ASCII
// name, reading the text no further than a mismatch.
bool IsBareName(const wchar_t* text, const wchar_t* name) {
    for (size_t i = 0;; ++i) {
        const unsigned c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0x80) return _wcsicmp(text, name) == 0;
        if (FoldAscii(c) != static_cast<unsigned>(name[i])) return false;
        if (c == 0) return true;
    }
}

// The same for narrow names and _stricmp.
bool IsBareName(const char* text, const char* name) {
    for (size_t i = 0;; ++i) {
        const unsigned c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) return _stricmp(text, name) == 0;
        if (FoldAscii(c) != static_cast<unsigned char>(name[i])) return false;
        if (c == 0) return true;
    }
}

// std::wcsstr(text, kShdoclcName) != nullptr, without the call.
bool ContainsResourceLibraryName(const wchar_t* text) {
    const wchar_t* wanted = kShdoclcName;
    for (; *text; ++text) {
        if (*text != wanted[0]) continue;
        size_t i = 1;
        while (wanted[i] && text[i] == wanted[i]) ++i;
        if (!wanted[i]) return true;
    }
    return false;
}

// Narrow names whose load a bound thread gets from its version, and the
// module of the record that answers.
struct RedirectedName {
    const char* name;
    HMODULE IEENGINE::*field;
};
constexpr RedirectedName kRedirectedNames[] = {{"urlmon.dll", &IEENGINE::hUrlmon},
                                               {"wininet.dll", &IEENGINE::hWininet},
                                               {"mshtml.dll", &IEENGINE::hMshtml},
                                               {"ieframe.dll", &IEENGINE::hShell},
                                               {"shdocvw.dll", &IEENGINE::hShell}};

// The load of a redirected name: the module that answers it, or null with
// `answered` false when the system must load `r.name` itself.
HMODULE RedirectedLoad(const RedirectedName& r, bool& answered) {
    answered = true;
    IEENGINE* engine = GetCurrentEngine();
    if (engine && engine->useSystem != 1) return engine->*r.field;
    // Unbound threads and the system's engine share the modules that the
    // default record holds.
    const IEENGINE& system = g_engines[IEDefault];
    if (r.field == &IEENGINE::hUrlmon && system.hUrlmon) return system.hUrlmon;
    if (r.field == &IEENGINE::hWininet && system.hWininet) return system.hWininet;
    answered = false;
    return nullptr;
}


// The file-name remainders (after the version code) of a version's shell
// library and of the libraries without which the version cannot run.
const wchar_t* ShellRemainder(IEVERSION version) { return version >= IE7 ? L"eframe.dll" : L"hdocvw.dll"; }
const EngineFile kRequiredFiles[] = {{L"shtml.dll", &IEENGINE::hMshtml},
                                     {L"script.dll", &IEENGINE::hJscript},
                                     {L"rlmon.dll", &IEENGINE::hUrlmon},
                                     {L"ininet.dll", &IEENGINE::hWininet}};

// Version 9's libraries keep the system's names. On Windows the version-9
// child gets them from its per-application redirection folder
// ("<executable>.local"); Wine has no such folder, and it answers those names
// with its own built-in libraries even when a full path is given, unless its
// library overrides for the executable say "native". These are the libraries
// the child loads itself from that folder under Wine; the network library
// stays Wine's own, which the version-9 control fetches its pages with.
constexpr const wchar_t* kIE9OwnLibraries[] = {L"ieframe", L"mshtml", L"jscript", L"urlmon"};

// Under Wine: the record of version 9 from the folder "<own path>.local",
// every library loaded by full path. False (and an empty record) when one
// of them is missing or is not the folder's own file.
bool LoadIE9FromRedirectionFolder(IEENGINE& record) {
    const std::wstring exe = fw::ModuleFileName(nullptr, kPathBuffer);
    if (exe.empty()) return false;
    const std::wstring folder = exe + L".local\\";
    HMODULE IEENGINE::*const fields[] = {&IEENGINE::hShell, &IEENGINE::hMshtml, &IEENGINE::hJscript,
                                         &IEENGINE::hUrlmon};
    for (int i = 0; i < 4; ++i) {
        const std::wstring path = folder + kIE9OwnLibraries[i] + L".dll";
        HMODULE module = ::LoadLibraryW(path.c_str());
        // A built-in library answering the path would be Wine's engine, not
        // version 9: accept only the folder's own file.
        if (!module || _wcsicmp(fw::ModuleFileName(module, kPathBuffer).c_str(), path.c_str()) != 0 ||
            !ClassObjectEntry(module)) {
            if (module) ::FreeLibrary(module);
            ClearRecord(record);
            return false;
        }
        record.*fields[i] = module;
        record.pfnGetClassObject[i] = ClassObjectEntry(module);
    }
    record.hWininet = ::LoadLibraryW(L"wininet.dll");
    record.version = IE9;
    record.loaded = 1;
    return true;
}

} // namespace

bool EngineFilesPresent(IEVERSION version) {
    if (version == IEDefault) return true;
    if (version < IE55 || version > IE8) return false;
    wchar_t dir[kPathBuffer] = {};
    DWORD n = GetCurrentDirectoryW(kPathBuffer, dir);
    if (n == 0 || n >= kPathBuffer) return false;
    const std::wstring base = std::wstring(dir) + L"\\" + g_versionCodes[version];
    auto present = [&](const wchar_t* remainder) {
        const DWORD attributes = GetFileAttributesW((base + remainder).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (!present(ShellRemainder(version))) return false;
    for (const EngineFile& f : kRequiredFiles)
        if (!present(f.remainder)) return false;
    return true;
}

bool PrepareIE9ChildUnderWine() {
    if (!fw::RunningUnderWine()) return true;
    const wchar_t* exe = std::wcsrchr(kIE9Executable, L'\\');
    const std::wstring keyName =
        std::wstring(L"Software\\Wine\\AppDefaults\\") + (exe ? exe + 1 : kIE9Executable) + L"\\DllOverrides";
    fw::RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    static constexpr wchar_t kNative[] = L"native,builtin";
    for (const wchar_t* name : kIE9OwnLibraries) {
        wchar_t current[32] = {};
        DWORD size = sizeof(current) - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(current), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ && std::wcscmp(current, kNative) == 0)
            continue;
        if (RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(kNative), sizeof(kNative)) !=
            ERROR_SUCCESS)
            return false;
    }
    return true;
}

bool LoadEngine(IEVERSION version, IEENGINE& record) {
    if (!IsValidVersion(version)) return false;

    if (version == IE9) {
        // Without its folder (not a version-9 child) the record counts as on
        // Windows, where the system supplies the libraries.
        if (fw::RunningUnderWine() && LoadIE9FromRedirectionFolder(record)) return true;
        record.version = IE9;
        record.hUrlmon = ::LoadLibraryW(kIE9Urlmon);
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

    const wchar_t* shell = ShellRemainder(version);
    record.hShell = load(shell);
    if (!record.hShell) record.hShell = load(shell);
    if (!record.hShell) {
        ClearRecord(record);
        return false;
    }

    for (const EngineFile& f : kRequiredFiles) {
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
    return fw::Guarded("LoadLibraryA detour", HMODULE{nullptr}, DWORD{ERROR_NOT_ENOUGH_MEMORY}, [&]() -> HMODULE {
        if (name) {
            for (const RedirectedName& r : kRedirectedNames) {
                if (!IsBareName(name, r.name)) continue;
                bool answered = false;
                HMODULE module = RedirectedLoad(r, answered);
                if (answered) return module;
                break;
            }
        }
        return RealLoadLibraryA(name);
    });
}

HMODULE WINAPI HookedLoadLibraryW(LPCWSTR name) {
    return fw::Guarded("LoadLibraryW detour", HMODULE{nullptr}, DWORD{ERROR_NOT_ENOUGH_MEMORY}, [&]() -> HMODULE {
        if (name) {
            // The three bare names a wide load redirects, loaded by their narrow
            // name when the system answers.
            static_assert(kRedirectedNames[0].field == &IEENGINE::hUrlmon &&
                          kRedirectedNames[1].field == &IEENGINE::hWininet &&
                          kRedirectedNames[2].field == &IEENGINE::hMshtml);
            static constexpr const wchar_t* kWide[] = {L"urlmon.dll", L"wininet.dll", L"mshtml.dll"};
            for (int i = 0; i < 3; ++i) {
                if (!IsBareName(name, kWide[i])) continue;
                bool answered = false;
                HMODULE module = RedirectedLoad(kRedirectedNames[i], answered);
                return answered ? module : RealLoadLibraryA(kRedirectedNames[i].name);
            }
            if (ContainsResourceLibraryName(name)) {
                if (IEENGINE* engine = GetCurrentEngine()) {
                    if (engine->version == IE55) return RealLoadLibraryW(L"5hdoclc.dll");
                    if (engine->version == IE6) return RealLoadLibraryW(L"6hdoclc.dll");
                }
            }
        }
        return RealLoadLibraryW(name);
    });
}

BOOL WINAPI HookedFreeLibrary(HMODULE module) {
    return fw::Guarded("FreeLibrary detour", BOOL{FALSE}, DWORD{ERROR_NOT_ENOUGH_MEMORY}, [&]() -> BOOL {
        for (const IEENGINE& e : g_engines) {
            if (module == e.hShell || module == e.hMshtml || module == e.hJscript || module == e.hUrlmon ||
                module == e.hMshtmled || module == e.hWininet || module == e.hVbscript)
                return TRUE;
        }
        return RealFreeLibrary(module);
    });
}

namespace {

// Names a module lookup answers with a version's module: each stem alone or
// followed by ".dll".
struct LookupName {
    HMODULE IEENGINE::*field;
    const wchar_t* stem;
    size_t length;
};
constexpr LookupName kLookupNames[] = {
    {&IEENGINE::hShell, L"ieframe", 7},    {&IEENGINE::hShell, L"shdocvw", 7},
    {&IEENGINE::hMshtml, L"mshtml", 6},    {&IEENGINE::hJscript, L"jscript", 7},
    {&IEENGINE::hUrlmon, L"urlmon", 6},    {&IEENGINE::hMshtmled, L"mshtmled", 8},
    {&IEENGINE::hWininet, L"wininet", 7},  {&IEENGINE::hVbscript, L"vbscript", 8},
};
constexpr size_t kShortestLookupName = 6;
constexpr size_t kLongestLookupName = 8 + 4;

// The record field named by a module lookup, or null. The name is the
// counted string up to its first 0 unit, if it has one.
HMODULE IEENGINE::*LookupField(const ISOLATION_UNICODE_STRING* name) {
    if (!name || !name->Buffer) return nullptr;
    const wchar_t* text = name->Buffer;
    // Units counted up to one past the longest name: a longer one matches nothing.
    const size_t limit = name->Length / sizeof(wchar_t);
    size_t n = 0;
    while (n < limit && n <= kLongestLookupName && text[n]) ++n;
    if (n < kShortestLookupName || n > kLongestLookupName) return nullptr;
    for (const LookupName& l : kLookupNames) {
        if (n == l.length) {
            if (SameName(text, l.stem, n)) return l.field;
        } else if (n == l.length + 4) {
            if (SameName(text, l.stem, l.length) && SameName(text + l.length, L".dll", 4)) return l.field;
        }
    }
    return nullptr;
}

// The module of the calling thread's version that answers a module lookup
// of `name`, or null when the system must answer. The name is looked at
// first: most lookups are of other modules, and need no engine at all.
HMODULE LookupEngineModule(const ISOLATION_UNICODE_STRING* name) {
    HMODULE IEENGINE::*field = LookupField(name);
    if (!field) return nullptr;
    const IEENGINE* engine = GetCurrentEngine();
    if (!engine || engine->version == IEDefault) return nullptr;
    return engine->*field;
}

} // namespace

NTSTATUS_T NTAPI HookedLdrGetDllHandle(PWSTR path, PULONG characteristics, ISOLATION_UNICODE_STRING* name,
                                       PVOID* handle) {
    return fw::Guarded("LdrGetDllHandle detour", NTSTATUS_T{kStatusInternalError}, [&]() -> NTSTATUS_T {
        if (handle) {
            if (HMODULE module = LookupEngineModule(name)) {
                *handle = module;
                return 0;
            }
        }
        return RealLdrGetDllHandle(path, characteristics, name, handle);
    });
}

NTSTATUS_T NTAPI HookedLdrGetDllHandleEx(ULONG flags, PCWSTR path, PULONG characteristics,
                                         const ISOLATION_UNICODE_STRING* name, PVOID* handle) {
    return fw::Guarded("LdrGetDllHandleEx detour", NTSTATUS_T{kStatusInternalError}, [&]() -> NTSTATUS_T {
        if (handle) {
            // The layer holds its own reference to every engine module, so the
            // caller's reference-count flags change nothing.
            if (HMODULE module = LookupEngineModule(name)) {
                *handle = module;
                return 0;
            }
        }
        return RealLdrGetDllHandleEx(flags, path, characteristics, name, handle);
    });
}

#pragma once
// Engine versions: the enumeration every per-version table is indexed by,
// the one-character version codes, and the per-version engine record that
// the isolation layer fills.
#include <windows.h>
#include <array>

enum IEVERSION : int {
    IE4 = 0,
    IE5 = 1,
    IE55 = 2,
    IE6 = 3,
    IE7 = 4,
    IE8 = 5,
    IE9 = 6,
    IEDefault = 7,
};

constexpr int kVersionCount = 8;

// Library file-name prefix, child-argument code and setting-name suffix.
extern const wchar_t* const g_versionCodes[kVersionCount];

// What the program knows of each version.
struct VersionInfo {
    IEVERSION version;
    const char* flag;           // command-line flag after "-" or "/"
    UINT templateId;            // document template and icon resource id
    bool templateRegistered;    // IE4 and IE5 have ids but no template
    UINT newTabCommand;         // ribbon command that opens a tab of the version
    const wchar_t* name;        // name shown to the user
};
extern const std::array<VersionInfo, kVersionCount> g_versionInfo;

inline bool IsValidVersion(int v) { return v >= 0 && v < kVersionCount; }

// The version's template id (also its icon id): 312, 313, 315, 314, 317,
// 319, 334, 316.
UINT TemplateIdOfVersion(IEVERSION v);
// The version whose template id is `id`; false when none has it.
bool VersionOfTemplateId(UINT id, IEVERSION& version);

// Per-version engine record; every field is 32 bits wide on the x86 build.
struct IEENGINE {
    DWORD version;
    DWORD loaded;
    DWORD useSystem;
    HMODULE hShell;
    HMODULE hMshtml;
    HMODULE hJscript;
    HMODULE hUrlmon;
    HMODULE hMshtmled;
    HMODULE hWininet;
    HMODULE hVbscript;
    HMODULE hDxtmsft;
    HMODULE hDxtrans;
    HMODULE hImgutil;
    HMODULE hPngfilt;
    FARPROC pfnGetClassObject[10];
    HKEY hFakeKey[4];
};

// The eleven module fields of a record, in record order.
inline std::array<HMODULE*, 11> EngineModules(IEENGINE& e) {
    return {&e.hShell,   &e.hMshtml,   &e.hJscript, &e.hUrlmon,  &e.hMshtmled, &e.hWininet,
            &e.hVbscript, &e.hDxtmsft, &e.hDxtrans, &e.hImgutil, &e.hPngfilt};
}

// The engine table, owned by the isolation layer and zero-filled whenever
// that layer is installed or removed.
extern IEENGINE g_engines[kVersionCount];

// A version is available in multi-process mode always; otherwise exactly
// when its engine record is loaded.
bool IsVersionAvailable(IEVERSION v, bool multiProcessMode);

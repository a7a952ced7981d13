#pragma once
// The engine table: one record per engine version with the version's module
// handles, class-object entry points and fake registry keys. The isolation
// layer owns it, fills it at installation and zero-fills it at installation
// and removal; everybody else only reads it, on the main thread or under the
// rule that a record never changes while engine threads run.
#include "core/versions.h"

#include <windows.h>
#include <array>

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

extern IEENGINE g_engines[kVersionCount];

// A version is available in multi-process mode always; otherwise exactly
// when its engine record is loaded.
bool IsVersionAvailable(IEVERSION v, bool multiProcessMode);

#pragma once
// What the shell needs from the application object, which lives in the
// layer above: the process's mode, the one operation that opens a tab, the
// favorites, and what the options sheet changes in the running program. The
// application implements it; the shell reaches it through GetShellApp().
//
// Errors in shell/: window and dialog code returns bool (creation -1 from OnCreate), COM-facing code
// an HRESULT; exceptions stop at the framework's window and dialog procedures (framework/errors.h).
#include "core/settings.h"
#include "core/versions.h"

#include <windows.h>
#include <string>

namespace fw { class Document; }

class IShellApp {
public:
    // Multi-process mode: each tab's engine runs in a child process.
    virtual bool IsMultiProcessMode() const = 0;
    // Opens a new tab of `version` with `url` as its first address; null
    // when the version has no tab kind or the tab could not be opened.
    virtual fw::Document* OpenTabForVersion(IEVERSION version, LPCWSTR url) = 0;
    // The address of favorite command `id` (3584 to 4095); empty when the
    // command names no favorite.
    virtual std::wstring FavoriteAddress(UINT id) const = 0;
    // The settings the running program follows (home page, search
    // behaviour, switches); the options pages change them as they store them.
    virtual Settings& LiveSettings() = 0;
    // Tells every open tab whether its taskbar thumbnail is switched off.
    virtual void NotifyTaskbarSetting(bool off) = 0;
    // The live settings changed: applies them in this process and tells
    // every open tab (child processes read them again).
    virtual void NotifySettingsChanged() = 0;

protected:
    ~IShellApp() = default;
};

// The process's application object as the shell sees it; null when the
// process's application does not offer it (a test host).
IShellApp* GetShellApp();

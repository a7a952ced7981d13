#pragma once
// The engine isolation layer: process-wide detours of library loading, COM
// creation, registry reads and thread creation that answer each thread from
// the libraries of the engine version the thread is bound to.
#include "isolation/engine_table.h"

#include <windows.h>
#include <objbase.h>
#include <string>

// Installs the layer (counted; only the first call does anything). In
// multi-version mode `version` is ignored and 6, 5.5, 7, 8 and the system's
// engine are loaded; in single-version mode only `version` is. Call on the
// main thread, after OLE is initialised and the executable's folder is the
// current directory.
// Returns NO_ERROR, or the interception engine's error code when the detours
// could not be attached; then nothing of the layer remains (no detour, no
// engine module, the count back where it was). A version whose files are
// missing is not an error: its record simply stays unloaded.
[[nodiscard]] LONG InstallEngineHooks(IEVERSION version, bool disableFilters, bool singleVersion);
// Removes the layer when the last installation is removed: detaches, frees
// every engine module and empties the engine table. Returns NO_ERROR, or the
// interception engine's error code when the detours could not be removed;
// then they stay attached with their saved entry points and modules (never a
// detour calling through a null pointer), and the installation still counts,
// so the removal may be tried again.
[[nodiscard]] LONG RemoveEngineHooks();

// The engine record of the calling thread's version, or null.
IEENGINE* GetCurrentEngine();
// Binds a thread (0: the calling one) to a version; false when the map
// cannot grow.
bool BindThreadToVersion(DWORD threadId, IEVERSION version);
// Removes the calling thread's binding; true when there was one.
bool UnbindCurrentThread();
void SetFiltersDisabled(bool disabled);

// Loads one version's libraries into its record; true when it is usable.
// Under Wine, version 9 comes from the folder "<executable>.local" of the
// calling (version-9 child) process when it holds the libraries; see
// PrepareIE9ChildUnderWine.
bool LoadEngine(IEVERSION version, IEENGINE& record);
// Under Wine: makes Wine load version 9's own libraries, not its built-in
// ones of the same names, in the version-9 child, through Wine's library
// overrides for that executable's name only (Wine has no per-application
// redirection folder, and drops its override variable from a child's
// environment block). Call before the child starts: Wine reads them when a
// process starts. Does nothing on Windows. False when the overrides could
// not be written.
bool PrepareIE9ChildUnderWine();
// Whether the files LoadEngine needs for `version` lie in the current
// directory, without loading them: for a process that runs its engines in
// child processes. True for the system's engine; false for 4, 5 and 9 (9
// has a folder of its own, which the caller looks at).
bool EngineFilesPresent(IEVERSION version);

// "inetcpl.cpl", loaded in multi-version mode for the Internet Options command.
extern HMODULE g_hInetCpl;
extern volatile LONG g_hookRefCount;
extern bool g_filtersDisabled;
extern bool g_singleVersionMode;
extern IEVERSION g_singleVersion;

// Class identifiers match on Data1, Data2 and Data3 only.
bool ClsidMatches(REFCLSID a, REFCLSID b);
// Full native name of an open registry key, or empty.
std::wstring GetRegistryKeyName(HKEY key);

// Diagnostics for tests and benchmarks.
bool IsThreadBound(DWORD threadId, IEVERSION* version = nullptr);
// True while the detours are attached.
bool AreEngineHooksAttached();

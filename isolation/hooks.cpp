// Installation and removal of the detours, the thread-to-version map and
// the thread-creation detour.
#include "isolation.h"

#include "detours.h"

#include "interception/interception.h"

#include <cstring>
#include <new>
#include <unordered_map>

volatile LONG g_hookRefCount = 0;
bool g_filtersDisabled = false;
bool g_singleVersionMode = false;
IEVERSION g_singleVersion = IE4;
HMODULE g_hInetCpl = nullptr;

decltype(&CoCreateInstance) RealCoCreateInstance = nullptr;
decltype(&CoCreateInstanceEx) RealCoCreateInstanceEx = nullptr;
decltype(&CoGetClassObject) RealCoGetClassObject = nullptr;
decltype(&LoadLibraryA) RealLoadLibraryA = nullptr;
decltype(&LoadLibraryW) RealLoadLibraryW = nullptr;
decltype(&FreeLibrary) RealFreeLibrary = nullptr;
decltype(&RegOpenKeyW) RealRegOpenKeyW = nullptr;
decltype(&RegCloseKey) RealRegCloseKey = nullptr;
decltype(&RegQueryValueExW) RealRegQueryValueExW = nullptr;
decltype(&RegQueryValueW) RealRegQueryValueW = nullptr;
PFN_LdrGetDllHandle RealLdrGetDllHandle = nullptr;
PFN_LdrGetDllHandleEx RealLdrGetDllHandleEx = nullptr;
decltype(&CreateThread) RealCreateThread = nullptr;
PFN_ZwQueryKey RealZwQueryKey = nullptr;

namespace {

// The map and its lock. The critical section is re-entrant, so a detour
// running inside another detour on the same thread cannot deadlock; it is
// held for one lookup or one change and nothing else.
struct ThreadMap {
    ThreadMap() { InitializeCriticalSection(&lock); }
    ~ThreadMap() { DeleteCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    std::unordered_map<DWORD, IEVERSION> versions;
};

// Never destroyed: threads may still end (and look themselves up) while
// the process runs its static destructors.
ThreadMap& Threads() {
    static ThreadMap* map = new ThreadMap;
    return *map;
}

struct Lock {
    explicit Lock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
    ~Lock() { LeaveCriticalSection(&m_cs); }
    CRITICAL_SECTION& m_cs;
};

// One row of the detour table.
struct DetourEntry {
    const wchar_t* module;
    const char* function;
    void** real;
    void* detour;
    bool multiVersionOnly;
};

template <typename T>
void** Slot(T& pointer) {
    return reinterpret_cast<void**>(&pointer);
}

const DetourEntry kDetours[] = {
    {L"ole32.dll", "CoCreateInstance", Slot(RealCoCreateInstance), reinterpret_cast<void*>(&HookedCoCreateInstance), false},
    {L"ole32.dll", "CoCreateInstanceEx", Slot(RealCoCreateInstanceEx), reinterpret_cast<void*>(&HookedCoCreateInstanceEx), false},
    {L"ole32.dll", "CoGetClassObject", Slot(RealCoGetClassObject), reinterpret_cast<void*>(&HookedCoGetClassObject), false},
    {L"kernel32.dll", "LoadLibraryA", Slot(RealLoadLibraryA), reinterpret_cast<void*>(&HookedLoadLibraryA), false},
    {L"kernel32.dll", "LoadLibraryW", Slot(RealLoadLibraryW), reinterpret_cast<void*>(&HookedLoadLibraryW), false},
    {L"kernel32.dll", "FreeLibrary", Slot(RealFreeLibrary), reinterpret_cast<void*>(&HookedFreeLibrary), false},
    {L"advapi32.dll", "RegOpenKeyW", Slot(RealRegOpenKeyW), reinterpret_cast<void*>(&HookedRegOpenKeyW), false},
    {L"advapi32.dll", "RegCloseKey", Slot(RealRegCloseKey), reinterpret_cast<void*>(&HookedRegCloseKey), false},
    {L"advapi32.dll", "RegQueryValueExW", Slot(RealRegQueryValueExW), reinterpret_cast<void*>(&HookedRegQueryValueExW), false},
    {L"advapi32.dll", "RegQueryValueW", Slot(RealRegQueryValueW), reinterpret_cast<void*>(&HookedRegQueryValueW), false},
    {L"ntdll.dll", "LdrGetDllHandle", Slot(RealLdrGetDllHandle), reinterpret_cast<void*>(&HookedLdrGetDllHandle), false},
    {L"ntdll.dll", "LdrGetDllHandleEx", Slot(RealLdrGetDllHandleEx), reinterpret_cast<void*>(&HookedLdrGetDllHandleEx), false},
    {L"kernel32.dll", "CreateThread", Slot(RealCreateThread), reinterpret_cast<void*>(&HookedCreateThread), true},
};

bool g_attached = false;

void ReleaseModule(HMODULE& module) {
    if (module) ::FreeLibrary(module);
    module = nullptr;
}

} // namespace

namespace {

// Frees every module of the engine table and of the Internet Options applet
// and empties the table.
void FreeEngines() {
    for (IEENGINE& e : g_engines) {
        for (HMODULE* m : EngineModules(e)) ReleaseModule(*m);
    }
    std::memset(g_engines, 0, sizeof(g_engines));
    ReleaseModule(g_hInetCpl);
}

} // namespace

LONG InstallEngineHooks(IEVERSION version, bool disableFilters, bool singleVersion) {
    if (InterlockedIncrement(&g_hookRefCount) != 1) return NO_ERROR;

    g_filtersDisabled = disableFilters;
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll"))
        RealZwQueryKey = reinterpret_cast<PFN_ZwQueryKey>(reinterpret_cast<void*>(GetProcAddress(ntdll, "ZwQueryKey")));
    std::memset(g_engines, 0, sizeof(g_engines));

    // Every library of this step is loaded before any detour exists.
    if (!singleVersion) {
        g_hInetCpl = ::LoadLibraryW(L"inetcpl.cpl");
        for (IEVERSION v : {IE6, IE55, IE7, IE8, IEDefault}) LoadEngine(v, g_engines[v]);
    } else {
        g_singleVersionMode = true;
        g_singleVersion = version;
        if (IsValidVersion(version)) LoadEngine(version, g_engines[version]);
        if (version == IEDefault || version == IE9) return NO_ERROR;
    }

    for (const DetourEntry& d : kDetours) {
        *d.real = nullptr;
        if (d.multiVersionOnly && singleVersion) continue;
        HMODULE module = GetModuleHandleW(d.module);
        *d.real = module ? reinterpret_cast<void*>(GetProcAddress(module, d.function)) : nullptr;
    }
    // No engine thread exists yet, so no thread needs to be named here; the
    // interception engine suspends every other thread during the commit.
    // The commit is all or nothing: a failed Attach makes it write nothing
    // and return that first error.
    LONG error = interception::TransactionBegin();
    if (error == NO_ERROR) {
        for (const DetourEntry& d : kDetours) {
            if (*d.real) interception::Attach(d.real, d.detour);
        }
        error = interception::TransactionCommit();
    }
    if (error != NO_ERROR) {
        // Nothing is attached: undo the rest, so that the process never runs
        // with half a layer and a later installation starts afresh.
        for (const DetourEntry& d : kDetours) *d.real = nullptr;
        FreeEngines();
        InterlockedDecrement(&g_hookRefCount);
        return error;
    }
    g_attached = true;
    return NO_ERROR;
}

LONG RemoveEngineHooks() {
    if (InterlockedDecrement(&g_hookRefCount) != 0) return NO_ERROR;

    if (g_attached) {
        LONG error = interception::TransactionBegin();
        if (error == NO_ERROR) {
            for (const DetourEntry& d : kDetours) {
                if (*d.real) interception::Detach(d.real, d.detour);
            }
            error = interception::TransactionCommit();
        }
        if (error != NO_ERROR) {
            // The detours are still in place and call through the saved
            // entry points, which therefore stay, and so do the modules
            // they hand out. The layer counts as installed once more, so
            // the removal can be tried again.
            InterlockedIncrement(&g_hookRefCount);
            return error;
        }
        g_attached = false;
    }
    for (const DetourEntry& d : kDetours) *d.real = nullptr;
    FreeEngines();
    return NO_ERROR;
}

bool AreEngineHooksAttached() { return g_attached; }

IEENGINE* GetCurrentEngine() {
    if (g_singleVersionMode) return IsValidVersion(g_singleVersion) ? &g_engines[g_singleVersion] : nullptr;

    DWORD id = GetCurrentThreadId();
    IEVERSION version = IE4;
    bool found = false;
    {
        ThreadMap& map = Threads();
        Lock lock(map.lock);
        auto it = map.versions.find(id);
        if (it != map.versions.end()) {
            version = it->second;
            found = true;
        }
    }
    if (found && IsValidVersion(version) && g_engines[version].loaded == 1) return &g_engines[version];
    return nullptr;
}

bool BindThreadToVersion(DWORD threadId, IEVERSION version) {
    if (threadId == 0) threadId = GetCurrentThreadId();
    ThreadMap& map = Threads();
    Lock lock(map.lock);
    try {
        map.versions[threadId] = version;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool UnbindCurrentThread() {
    ThreadMap& map = Threads();
    Lock lock(map.lock);
    return map.versions.erase(GetCurrentThreadId()) != 0;
}

bool IsThreadBound(DWORD threadId, IEVERSION* version) {
    ThreadMap& map = Threads();
    Lock lock(map.lock);
    auto it = map.versions.find(threadId);
    if (it == map.versions.end()) return false;
    if (version) *version = it->second;
    return true;
}

void SetFiltersDisabled(bool disabled) { g_filtersDisabled = disabled; }

HANDLE WINAPI HookedCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                                 LPVOID parameter, DWORD flags, LPDWORD threadId) {
    IEENGINE* engine = GetCurrentEngine();
    if (!engine) return RealCreateThread(security, stackSize, start, parameter, flags, threadId);

    DWORD id = 0;
    HANDLE thread = RealCreateThread(security, stackSize, start, parameter, flags | CREATE_SUSPENDED, &id);
    if (threadId) *threadId = id;
    // Bound while still suspended: the thread never runs a single
    // instruction unbound.
    if (id != 0) BindThreadToVersion(id, static_cast<IEVERSION>(engine->version));
    if (!(flags & CREATE_SUSPENDED) && thread) ResumeThread(thread);
    return thread;
}

// A thread's binding dies with the thread. Without this a later thread that
// happens to get the identifier of a dead bound thread would inherit its
// version. The callback runs for every thread of the process as it ends.
namespace {
void NTAPI ForgetEndingThread(PVOID, DWORD reason, PVOID) {
    if (reason != DLL_THREAD_DETACH) return;
    ThreadMap& map = Threads();
    Lock lock(map.lock);
    map.versions.erase(GetCurrentThreadId());
}
} // namespace

extern "C" {
// Placed among the image's thread-local-storage callbacks.
__attribute__((section(".CRT$XLY"), used)) PIMAGE_TLS_CALLBACK g_isolationThreadCallback = ForgetEndingThread;
}

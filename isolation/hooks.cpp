// Installation and removal of the detours, the thread-to-version map and
// the thread-creation detour.
#include "isolation.h"

#include "detours.h"

#include "framework/errors.h"
#include "framework/handles.h"

#include "interception/interception.h"

#include <winternl.h>

#include <atomic>
#include <climits>
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

// A thread's binding. Every thread that has been bound, or has asked for its
// engine, has one record: the map finds it by thread identifier (binding
// another thread, the diagnostics), and the thread itself keeps a pointer to
// it in a TLS slot, so that GetCurrentEngine, which every detour calls, costs
// neither a lock nor a search. A record is never moved or replaced while its
// thread lives; binding from another thread changes it in place. Only the
// thread's own end (ForgetEndingThread) removes and frees it.
struct ThreadBinding {
    std::atomic<int> version;  // an IEVERSION, or kUnbound
};
// A value no caller means as a version.
constexpr int kUnbound = INT_MIN;

// Answers the lookups a thread makes after its record is gone, while it
// ends: unbound, without creating a record again.
ThreadBinding g_endedThread{kUnbound};

// The map and its lock. The critical section is re-entrant, so a detour
// running inside another detour on the same thread cannot deadlock; it is
// held for one lookup or one change and nothing else.
struct ThreadMap {
    fw::CriticalSection lock;
    std::unordered_map<DWORD, ThreadBinding*> records;
};

// The TLS slot holding each thread's record; TLS_OUT_OF_INDEXES until the
// map exists (or when the process has no slot left: then every lookup goes
// through the map).
std::atomic<DWORD> g_bindingSlot{TLS_OUT_OF_INDEXES};

// Never destroyed: threads may still end (and look themselves up) while
// the process runs its static destructors.
ThreadMap& Threads() {
    static ThreadMap* map = [] {
        auto created = new ThreadMap;
        g_bindingSlot.store(TlsAlloc(), std::memory_order_release);
        return created;
    }();
    return *map;
}

// The calling thread's environment block. (NtCurrentTeb does the same, but
// its memory operand at a constant address makes GCC warn about bounds.)
const TEB* OwnTeb() {
    const TEB* teb;
#if defined(_WIN64)
    __asm__("movq %%gs:0x30, %0" : "=r"(teb));
#else
    __asm__("movl %%fs:0x18, %0" : "=r"(teb));
#endif
    return teb;
}

// The calling thread's value of a TLS slot, read from its thread block the
// way TlsGetValue reads it, but without the call and without TlsGetValue's
// side effect of clearing the last error, which a detour must leave alone.
void* ReadSlot(DWORD slot) {
    const TEB* teb = OwnTeb();
    if (slot < TLS_MINIMUM_AVAILABLE) return teb->TlsSlots[slot];
    // Slots past the first 64 live in a block the system allocates the first
    // time the thread stores one; before that every such slot reads null.
    auto expansion = static_cast<void* const*>(teb->TlsExpansionSlots);
    return expansion ? expansion[slot - TLS_MINIMUM_AVAILABLE] : nullptr;
}

// Points the calling thread's slot at `record`. Failure only costs speed:
// the thread is then looked up in the map again next time.
void RememberOwnRecord(ThreadBinding* record) {
    DWORD slot = g_bindingSlot.load(std::memory_order_acquire);
    if (slot != TLS_OUT_OF_INDEXES) TlsSetValue(slot, record);
}

// With the map locked: the record of a thread, or null.
ThreadBinding* FindRecord(ThreadMap& map, DWORD threadId) {
    auto it = map.records.find(threadId);
    return it == map.records.end() ? nullptr : it->second;
}

// With the map locked: the record of a thread, created unbound when there is
// none; null when memory is short.
ThreadBinding* FindOrAddRecord(ThreadMap& map, DWORD threadId) {
    if (ThreadBinding* found = FindRecord(map, threadId)) return found;
    auto record = new (std::nothrow) ThreadBinding{kUnbound};
    if (!record) return nullptr;
    try {
        map.records.emplace(threadId, record);
    } catch (const std::bad_alloc&) {
        delete record;
        return nullptr;
    }
    return record;
}

// The calling thread's version (or kUnbound) when its slot does not know it
// yet: from the map, remembering the record in the slot for next time.
int OwnVersionFromMap() {
    ThreadMap& map = Threads();
    const bool haveSlot = g_bindingSlot.load(std::memory_order_acquire) != TLS_OUT_OF_INDEXES;
    fw::Lock lock(map.lock);
    const DWORD id = GetCurrentThreadId();
    // Without a slot there is nothing to remember, so no record is made for
    // a thread nobody bound.
    ThreadBinding* record = haveSlot ? FindOrAddRecord(map, id) : FindRecord(map, id);
    if (!record) return kUnbound;
    RememberOwnRecord(record);
    return record->version.load(std::memory_order_acquire);
}

// The calling thread's version, or kUnbound.
inline int OwnVersion() {
    const DWORD slot = g_bindingSlot.load(std::memory_order_acquire);
    if (slot != TLS_OUT_OF_INDEXES) {
        if (auto record = static_cast<const ThreadBinding*>(ReadSlot(slot)))
            return record->version.load(std::memory_order_acquire);
    }
    return OwnVersionFromMap();
}

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

// Queues Attach or Detach of every detour with a saved entry point in the
// open transaction and commits it. The first queuing error aborts the
// transaction (nothing is written) and is returned; otherwise the commit's.
LONG QueueAll(LONG (*queue)(void**, void*)) {
    for (const DetourEntry& d : kDetours) {
        if (!*d.real) continue;
        const LONG error = queue(d.real, d.detour);
        if (error != NO_ERROR) {
            // The queuing error is the one that tells what went wrong; the
            // abort of a transaction this thread opened cannot fail.
            static_cast<void>(interception::TransactionAbort());
            return error;
        }
    }
    return interception::TransactionCommit();
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
        // The system's engine needs no detour, nor does version 9 on Windows,
        // whose child gets its libraries from its redirection folder. Under
        // Wine the version-9 record holds the folder's libraries itself, and
        // the detours hand them out as for the other versions.
        if (version == IEDefault || (version == IE9 && !g_engines[IE9].hShell)) return NO_ERROR;
    }

    for (const DetourEntry& d : kDetours) {
        *d.real = nullptr;
        if (d.multiVersionOnly && singleVersion) continue;
        HMODULE module = GetModuleHandleW(d.module);
        *d.real = module ? reinterpret_cast<void*>(GetProcAddress(module, d.function)) : nullptr;
    }
    // No engine thread exists yet, so no thread needs to be named here; the
    // interception engine suspends every other thread during the commit.
    // All or nothing: the first failed Attach ends the transaction unwritten,
    // and its error is the one reported.
    LONG error = interception::TransactionBegin();
    if (error == NO_ERROR) error = QueueAll(&interception::Attach);
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
        if (error == NO_ERROR) error = QueueAll(&interception::Detach);
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
    // The saved entry points stay: after the detach they hold the functions
    // themselves again, so a thread that was on its way into a detour while
    // the removal committed still reaches the system.
    FreeEngines();
    return NO_ERROR;
}

bool AreEngineHooksAttached() { return g_attached; }

IEENGINE* GetCurrentEngine() {
    if (g_singleVersionMode) return IsValidVersion(g_singleVersion) ? &g_engines[g_singleVersion] : nullptr;

    const int version = OwnVersion();
    if (version != kUnbound && IsValidVersion(version) && g_engines[version].loaded == 1) return &g_engines[version];
    return nullptr;
}

bool BindThreadToVersion(DWORD threadId, IEVERSION version) {
    const DWORD self = GetCurrentThreadId();
    if (threadId == 0) threadId = self;
    ThreadMap& map = Threads();
    fw::Lock lock(map.lock);
    ThreadBinding* record = FindOrAddRecord(map, threadId);
    if (!record) return false;
    // Stored under the lock: the thread's end removes its record under the
    // same lock, so a record found here is still alive.
    record->version.store(version, std::memory_order_release);
    if (threadId == self) RememberOwnRecord(record);
    return true;
}

bool UnbindCurrentThread() {
    ThreadMap& map = Threads();
    fw::Lock lock(map.lock);
    ThreadBinding* record = FindRecord(map, GetCurrentThreadId());
    return record && record->version.exchange(kUnbound, std::memory_order_acq_rel) != kUnbound;
}

bool IsThreadBound(DWORD threadId, IEVERSION* version) {
    ThreadMap& map = Threads();
    fw::Lock lock(map.lock);
    ThreadBinding* record = FindRecord(map, threadId);
    const int bound = record ? record->version.load(std::memory_order_acquire) : kUnbound;
    if (bound == kUnbound) return false;
    if (version) *version = static_cast<IEVERSION>(bound);
    return true;
}

void SetFiltersDisabled(bool disabled) { g_filtersDisabled = disabled; }

HANDLE WINAPI HookedCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                                 LPVOID parameter, DWORD flags, LPDWORD threadId) {
    return fw::Guarded("CreateThread detour", HANDLE{nullptr}, DWORD{ERROR_NOT_ENOUGH_MEMORY}, [&]() -> HANDLE {
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
    });
}

// A thread's binding dies with the thread. Without this a later thread that
// happens to get the identifier of a dead bound thread would inherit its
// version. The callback runs for every thread of the process as it ends.
namespace {
void NTAPI ForgetEndingThread(PVOID, DWORD reason, PVOID) {
    if (reason != DLL_THREAD_DETACH) return;
    ThreadMap& map = Threads();
    ThreadBinding* record = nullptr;
    {
        fw::Lock lock(map.lock);
        auto it = map.records.find(GetCurrentThreadId());
        if (it != map.records.end()) {
            record = it->second;
            map.records.erase(it);
        }
    }
    // Later lookups of this thread (other libraries' thread-end code may
    // still load or look up modules) answer unbound and add nothing.
    RememberOwnRecord(&g_endedThread);
    delete record;
}
} // namespace

extern "C" {
// Placed among the image's thread-local-storage callbacks.
__attribute__((section(".CRT$XLY"), used)) PIMAGE_TLS_CALLBACK g_isolationThreadCallback = ForgetEndingThread;
}
